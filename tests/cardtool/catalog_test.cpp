// The catalog reader against shipped and broken catalogs, and the translation of windows and menus.
#include "services/catalog.h"
#include "tool_fixture.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

class CatalogTest : public QObject {
    Q_OBJECT

    static constexpr int kMiB = 1024 * 1024;

    static Catalog chinese() {
        Catalog catalog;
        catalog.loadFromBytes("msgid \"Connect\"\nmsgstr \"连接\"\nmsgid \"Port\"\nmsgstr \"端口\"\n"
                              "msgid \"Settings\"\nmsgstr \"设置\"\nmsgid \"File\"\nmsgstr \"文件\"\n"
                              "msgid \"Recent\"\nmsgstr \"最近\"\nmsgid \"Help\"\nmsgstr \"帮助\"\n");
        return catalog;
    }

    // Every action text of the bar, its menus and their submenus, in order.
    static QStringList menuTexts(const QList<QAction*>& actions) {
        QStringList texts;
        for (QAction* action : actions)
            texts << action->text()
                  << (action->menu() ? menuTexts(action->menu()->actions()) : QStringList());
        return texts;
    }

  private slots:
    void translate_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("entries"); // -1: not checked
        const auto row = [](const char* name, const QByteArray& content, const QString& text,
                            const QString& expected,
                            int entries) { QTest::newRow(name) << content << text << expected << entries; };
        const QByteArray connect = "msgid \"Connect\"\nmsgstr \"连接\"\n";
        row("translated", connect, "Connect", "连接", 1);
        row("untranslated text passes", connect, "Disconnect", "Disconnect", 1);
        row("empty msgstr keeps English", "msgid \"Open\"\nmsgstr \"\"\n", "Open", "Open", 0);
        row("multi-line msgstr", "msgid \"Two\"\nmsgstr \"First line\nsecond line\"\n", "Two",
            "First line\r\nsecond line", 1);
        row("multi-line msgstr, CRLF file", "msgid \"Two\"\r\nmsgstr \"First line\r\nsecond line\"\r\n",
            "Two", "First line\r\nsecond line", 1);
        row("literal \\r\\n", "msgid \"Two\"\nmsgstr \"a\\r\\nb\"\n", "Two", "a\r\nb", 1);
        row("later duplicate replaces", "msgid \"P\"\nmsgstr \"one\"\nmsgid \"P\"\nmsgstr \"two\"\n", "P",
            "two", 1);
        row("escaped quote kept", "msgid \"Say\"\nmsgstr \"say \\\"hi\\\"\"\n", "Say", "say \\\"hi\\\"", 1);
        row("the key outlives its msgstr", "msgid \"A\"\nmsgstr \"x\"\nmsgstr \"y\"\n", "A", "y", 1);
        row("comments and header skipped",
            "# msgid \"X\"\nmsgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain\\n\"\n\n#: page.cpp\n"
            "msgid \"Save\"\nmsgstr \"保存\"\n",
            "Save", "保存", 1);
        row("msgid alone", "msgid \"Lonely\"\n", "Lonely", "Lonely", 0);
        row("msgstr alone", "msgstr \"orphan\"\n", "", "orphan", 1);
        row("one-character lines", "m\n\"\nx\n", "m", "m", 0);
        row("a bare msgid empties the key", "msgid \"Keep\"\nmsgid\nmsgstr \"v\"\n", "Keep", "Keep", 1);
        row("msgstr never closed", "msgid \"K\"\nmsgstr \"open\nmore\nend", "K", "open\r\nmore\r\nen", 1);
        row("bare msgstr at the end", "msgid \"K\"\nmsgstr", "K", "K", 0);

        QByteArray endless = "msgid \"Long\"\nmsgstr \"start\n";
        QString joined = "start";
        for (int i = 1; i <= 2000; ++i) {
            endless += QByteArray::number(i) + '\n';
            if (i <= 1025) joined += "\r\n" + QString::number(i);
        }
        endless += "msgid \"After\"\nmsgstr \"after\"\n";
        row("continuation stops after 1025 lines", endless, "Long", joined.chopped(1), 2);
        row("entries after a stopped continuation", endless, "After", "after", 2);

        QStringEncoder gb18030("GB18030"); // a null row is skipped where this Qt has no such codec
        const QByteArray gb =
            gb18030.isValid() ? QByteArray(gb18030(QString::fromUtf8(connect))) : QByteArray();
        row("GB18030 file", gb, "Connect", "连接", 1);
        // The stray pair reads as one GB18030 character, and the file as GB18030 whole.
        row("UTF-8 with a stray byte", "# \x81@\n" + connect, "Connect", "连接", 1);

        QByteArray binary(64 * 1024, '\0');
        QRandomGenerator random(7);
        for (char& b : binary)
            b = char(random.bounded(256));
        row("binary after an entry", "msgid \"Known\"\nmsgstr \"known\"\n" + binary, "Known", "known", -1);
        row("1 MiB msgstr", "msgid \"Big\"\nmsgstr \"" + QByteArray(kMiB, 'x') + "\"\n", "Big",
            QString(kMiB, QLatin1Char('x')), 1);
        row("1 MiB msgid", "msgid \"" + QByteArray(kMiB, 'y') + "\"\nmsgstr \"z\"\n",
            QString(kMiB, QLatin1Char('y')), "z", 1);
    }
    void translate() {
        QFETCH(QByteArray, content);
        QFETCH(QString, text);
        QFETCH(int, entries);
        if (content.isNull()) QSKIP("this Qt build has no GB18030 codec");
        Catalog catalog = chinese(); // loading empties it first
        catalog.loadFromBytes(content);
        if (entries >= 0) QCOMPARE(catalog.size(), entries);
        QTEST(catalog.translate(text), "expected");
    }

    // Every load starts from an empty catalog, whatever the file turns out to be.
    void load_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("entries");
        const QByteArray save = "msgid \"Save\"\nmsgstr \"保存\"\n";
        const QByteArray atCap = save + QByteArray(16 * kMiB - save.size(), '\n');
        QTest::newRow("missing") << "missing" << QByteArray() << 0;
        QTest::newRow("a directory") << "directory" << QByteArray() << 0;
        QTest::newRow("another catalog") << "file" << save << 1;
        QTest::newRow("at the size cap") << "file" << atCap << 1;
        QTest::newRow("over the size cap") << "file" << atCap + '\n' << 0;
    }
    void load() {
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath("zh_CN.po");
        QFile file(path);
        if (kind == "directory") QVERIFY(QDir(dir.path()).mkdir("zh_CN.po"));
        if (kind == "file")
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush());
        Catalog catalog = chinese();
        catalog.load(path);
        QTEST(catalog.size(), "entries");
        QCOMPARE(catalog.translate("Connect"), "Connect");
    }

    void recorder() {
        Catalog catalog = chinese();
        QStringList seen;
        catalog.setRecorder([&seen](const QString& text) { seen << text; });
        QWidget window;
        window.setWindowTitle("Settings");
        new QPushButton("Connect", &window);
        new QLabel("Baud", &window);
        new QLabel(&window);
        new QLineEdit("Port", &window);
        catalog.translateWindow(&window);
        catalog.translate("Help");
        catalog.setRecorder(nullptr);
        catalog.translate("File");
        QCOMPARE(seen, QStringList({"Connect", "Baud", "Settings", "Help"}));
    }

    // Each row reads one caption back from the same window after translation.
    void translateWindow_data() {
        QTest::addColumn<QString>("widget");
        QTest::addColumn<QString>("expected");
        QTest::newRow("push button") << "button"
                                     << "连接";
        QTest::newRow("unknown caption") << "beep"
                                         << "Beep";
        QTest::newRow("label") << "label"
                               << "端口";
        QTest::newRow("group box") << "group"
                                   << "端口";
        QTest::newRow("second tab") << "tab"
                                    << "端口";
        QTest::newRow("button inside a group box") << "nested"
                                                   << "连接";
        QTest::newRow("window title") << "window"
                                      << "设置";
        QTest::newRow("line edit is data") << "edit"
                                           << "Connect";
        QTest::newRow("combo box is data") << "combo"
                                           << "Connect";
    }
    void translateWindow() {
        QWidget window;
        window.setWindowTitle("Settings");
        auto* button = new QPushButton("Connect", &window);
        auto* beep = new QPushButton("Beep", &window);
        auto* label = new QLabel("Port", &window);
        auto* group = new QGroupBox("Port", &window);
        auto* nested = new QPushButton("Connect", group);
        auto* tabs = new QTabWidget(&window);
        tabs->addTab(new QWidget, "Other");
        tabs->addTab(new QWidget, "Port");
        auto* edit = new QLineEdit("Connect", &window);
        auto* combo = new QComboBox(&window);
        combo->setEditable(true);
        combo->addItem("Connect");
        chinese().translateWindow(&window);

        const QHash<QString, QString> captions = {
            {"button", button->text()},       {"beep", beep->text()},    {"label", label->text()},
            {"group", group->title()},        {"tab", tabs->tabText(1)}, {"nested", nested->text()},
            {"window", window.windowTitle()}, {"edit", edit->text()},    {"combo", combo->currentText()}};
        QFETCH(QString, widget);
        QTEST(captions.value(widget), "expected");
    }

    void translateMenu_data() {
        QTest::addColumn<QString>("languageId");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("English") << "en_US"
                                 << QStringList{"File", "Connect", "", "Recent", "Connect", "Help"};
        QTest::newRow("Chinese") << "zh_CN" << QStringList{"文件", "连接", "", "最近", "Connect", "帮助"};
    }
    void translateMenu() {
        QFETCH(QString, languageId);
        QMenuBar bar;
        QMenu* file = bar.addMenu("File");
        file->addAction("Connect");
        file->addSeparator();
        file->addMenu("Recent")->addAction("Connect");
        bar.addAction("Help");
        chinese().translateMenu(&bar, languageId);
        QTEST(menuTexts(bar.actions()), "expected");
    }
};

OSKELLE_TEST(CatalogTest);
#include "catalog_test.moc"
