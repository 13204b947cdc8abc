// The INI reader against the files readers and users actually write, and against files that are not INI
// files at all.
#include "services/ini_file.h"
#include "tool_fixture.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <climits>

class IniFileTest : public QObject {
    Q_OBJECT

    static constexpr int kMiB = 1024 * 1024;

    // Headers for `count` sections whose names are `width` characters long; the names go to `names`.
    static QByteArray headers(int count, int width, QStringList& names, char fill = 'n') {
        QByteArray content;
        for (int i = 0; i < count; ++i) {
            names.append(QString::number(i).leftJustified(width, QLatin1Char(fill)));
            content += '[' + names.last().toLatin1() + "]\n";
        }
        return content;
    }

    static QByteArray noise(int size, quint32 seed) {
        QByteArray bytes(size, '\0');
        QRandomGenerator random(seed);
        for (char& b : bytes)
            b = char(random.bounded(256));
        bytes[size / 2] = '\0';
        return bytes;
    }

  private slots:
    void sectionNames_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("bufferSize");
        QTest::addColumn<QStringList>("expected");
        const auto row = [](const char* name, const QByteArray& content, int size,
                            const QStringList& expected) {
            QTest::newRow(name) << content << size << expected;
        };
        row("file order, duplicates kept", "[b]\n[a]\n[B]\n[b]\n", 4096, {"b", "a", "B", "b"});
        row("blanks trimmed, text after ] ignored", "  [ Reader 1 ] ; note\r\n[x]y]\r\n", 4096,
            {"Reader 1", "x"});
        row("keys, comments, unclosed headers", "k=[v]\n;[c]\n[open\n[z]\n", 4096, {"z"});
        row("an empty name ends the list", "[a]\n[]\n[b]\n", 4096, {"a"});
        row("last name cut to fit", "[abc]\n[def]\n", 7, {"abc", "d"});
        row("no room for a cut name", "[abc]\n[def]\n", 6, {"abc"});
        row("buffer of two", "[abc]\n", 2, {});
        row("a 1 MiB name", "[" + QByteArray(kMiB, 'x') + "]\n[b]\n", 4096,
            {QString(4094, QLatin1Char('x'))});

        // 81 names of 49 characters take 4050 bytes with their NULs; the 82nd has 45 bytes left of 4095.
        QStringList names;
        QByteArray content = headers(100, 49, names);
        row("4096: the rest dropped, the last cut", content, 4096, names.mid(0, 81) << names[81].left(44));
        names.clear();
        content = headers(81, 49, names);
        content += headers(1, 44, names, 't') + "[next]\n";
        row("4096: an exact fit, the next dropped", content, 4096, names);
    }
    void sectionNames() {
        QFETCH(QByteArray, content);
        QFETCH(int, bufferSize);
        QTEST(IniFile::fromBytes(content).sectionNames(bufferSize), "expected");
    }

    void readString_data() {
        const QByteArray longValue(300, 'v');
        const QByteArray file =
            "top=before any section\n"
            "[Reader]\n Port = COM3 \r\nName=\"Desk reader\"\nQuote='single'\nPadded=\"  x  \"\n"
            "Mixed=\"no match'\nLone=\"\nEmpty=\n;Hidden=1\n  ; Indented=1\nnoequals\nLong=" +
            longValue + "\n[reader]\nPort=second\nExtra=only here\n[Other]\nport=first\nPort=x\n";
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("defaultValue");
        QTest::addColumn<int>("bufferSize");
        QTest::addColumn<QString>("expected");
        const auto row = [&file](const char* name, const char* section, const char* key, const char* def,
                                 int size, const QString& expected) {
            QTest::newRow(name) << file << QString(section) << QString(key) << QString(def) << size
                                << expected;
        };
        row("value trimmed", "Reader", "Port", "-", 64, "COM3");
        row("names ignore case", "rEADER", "pORT", "-", 64, "COM3");
        row("first matching section wins", "reader", "Port", "-", 64, "COM3");
        row("key only in a later duplicate section", "Reader", "Extra", "-", 64, "-");
        row("first matching key wins", "Other", "PORT", "-", 64, "first");
        row("missing section", "Nowhere", "Port", "-", 64, "-");
        row("missing key", "Reader", "Baud", "9600", 64, "9600");
        row("key before any section", "", "top", "-", 64, "-");
        row("double quotes removed", "Reader", "Name", "-", 64, "Desk reader");
        row("single quotes removed", "Reader", "Quote", "-", 64, "single");
        row("blanks inside quotes kept", "Reader", "Padded", "-", 64, "  x  ");
        row("unmatched quotes kept", "Reader", "Mixed", "-", 64, "\"no match'");
        row("a lone quote kept", "Reader", "Lone", "-", 64, "\"");
        row("an empty value is a value", "Reader", "Empty", "-", 64, "");
        row("comment", "Reader", ";Hidden", "-", 64, "-");
        row("indented comment", "Reader", "; Indented", "-", 64, "-");
        row("line without =", "Reader", "noequals", "-", 64, "-");
        row("300 characters cut to 15", "Reader", "Long", "-", 16, QString(15, QLatin1Char('v')));
        row("300 characters fit in 301", "Reader", "Long", "-", 301, QString::fromLatin1(longValue));
        row("the default is cut too", "Reader", "Baud", "default", 4, "def");
        row("buffer of one", "Reader", "Port", "-", 1, "");
        row("buffer of zero", "Reader", "Port", "-", 0, "");
    }
    void readString() {
        QFETCH(QByteArray, content);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, defaultValue);
        QFETCH(int, bufferSize);
        QTEST(IniFile::fromBytes(content).readString(section, key, defaultValue, bufferSize), "expected");
    }

    void readInt_data() {
        QTest::addColumn<QByteArray>("value"); // null: no such key
        QTest::addColumn<int>("expected");
        const QByteArray huge(40, '9');
        // clang-format off
        const QList<std::pair<QByteArray, int>> rows = {
            {"12abc", 12}, {"\"  7\"", 7}, {"\"\t7\"", 7}, {"-3", -3}, {"+5", 5}, {"abc", 0}, {"-", 0},
            {"1 2", 1}, {"0x1F", 0}, {"", 42}, {"\"\"", 42}, {{}, 42},
            {"2147483647", INT_MAX}, {"2147483648", INT_MAX}, {"-2147483648", INT_MIN},
            {huge, INT_MAX}, {"-" + huge, INT_MIN}};
        // clang-format on
        for (const auto& [value, expected] : rows) {
            const char* tag = value.isNull() ? "missing" : value.isEmpty() ? "empty" : value.constData();
            QTest::newRow(tag) << value << expected;
        }
    }
    void readInt() {
        QFETCH(QByteArray, value);
        const QByteArray content = "[s]\n" + (value.isNull() ? QByteArray() : "k=" + value + "\n");
        QTEST(IniFile::fromBytes(content).readInt("s", "k", 42), "expected");
    }

    // Files that are not what they claim: each must still answer, and never beyond the caller's buffer.
    void untrustedContent_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QByteArray& content, const char* section, const char* key,
                            const QString& expected) {
            QTest::newRow(name) << content << QString(section) << QString(key) << expected;
        };
        const QByteArray bigLine = "[s]\nk=" + QByteArray(kMiB, 'x') + "\n[t]\nj=1\n";
        row("empty", "", "s", "k", "-");
        row("UTF-8", "[Lecteur]\nNom=caf\xc3\xa9\n", "lecteur", "nom", "café");
        row("Latin-1", "[Lecteur]\nNom=caf\xe9\n", "lecteur", "nom", "café");
        row("binary around a section", noise(4096, 1) + "\n[Known]\nk=v\n" + noise(4096, 2), "Known", "k",
            "v");
        row("1 MiB line, cut", bigLine, "s", "k", QString(15, QLatin1Char('x')));
        row("1 MiB line, the next section", bigLine, "t", "j", "1");
    }
    void untrustedContent() {
        QFETCH(QByteArray, content);
        QFETCH(QString, section);
        QFETCH(QString, key);
        const IniFile ini = IniFile::fromBytes(content);
        QTEST(ini.readString(section, key, "-", 16), "expected");
        qsizetype used = 1;
        for (const QString& name : ini.sectionNames(4096))
            used += name.size() + 1;
        QVERIFY(used <= 4096);
    }

    void fromFile_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<QString>("expected");
        const QByteArray entry = "[s]\nk=v\n";
        const QByteArray atCap = entry + QByteArray(16 * kMiB - entry.size(), ' ');
        QTest::newRow("missing") << "missing" << QByteArray() << false << "-";
        QTest::newRow("a directory") << "directory" << QByteArray() << false << "-";
        QTest::newRow("empty") << "file" << QByteArray() << true << "-";
        QTest::newRow("at the size cap") << "file" << atCap << true << "v";
        QTest::newRow("over the size cap") << "file" << atCap + ' ' << false << "-";
    }
    void fromFile() {
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QFETCH(bool, loaded);
        QTemporaryDir dir;
        const QString path = dir.filePath("reader.ini");
        QFile file(path);
        if (kind == "directory") QVERIFY(QDir(dir.path()).mkdir("reader.ini"));
        if (kind == "file")
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush());
        const IniFile ini(path);
        QCOMPARE(ini.loaded(), loaded);
        QTEST(ini.readString("s", "k", "-", 16), "expected");
        if (kind == "file") QCOMPARE(IniFile::fromBytes(content).loaded(), loaded);
    }
};

OSKELLE_TEST(IniFileTest);
#include "ini_file_test.moc"
