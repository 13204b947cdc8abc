// The command book on its own: the file format, the adding rules, the files a
// user's disk may hold (short, damaged, hostile), replacing the old file, the
// book's window, and the tool-tip of an entry too long for the list.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include "chrome/list_tips.h"
#include "services/catalog.h"
#include "tool_fixture.h"
#include "widgets/command_book.h"

namespace {

QByteArray u32(quint32 v) {
    QByteArray bytes(4, '\0');
    qToLittleEndian(v, bytes.data());
    return bytes;
}

QByteArray entry(const QByteArray& text) { return u32(static_cast<quint32>(text.size())) + text; }

QStringList loadedFrom(const QByteArray& file) {
    QTemporaryDir dir;
    const QString path = dir.filePath("cosbooks.j");
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(file) != file.size()) return {"(could not write)"};
    out.close();
    CommandBook book(path);
    book.load();
    return book.entries();
}

} // namespace

class CommandBookTest : public QObject {
    Q_OBJECT
  private slots:
    void fileHoldsCountThenLengthAndTextOfEachEntry() {
        CommandBook book("unused");
        for (const char* text : {"0084000008", "", "00A4040007F056524B415050"})
            book.add(text);
        QBuffer file;
        file.open(QIODevice::ReadWrite);
        book.writeTo(file);
        QCOMPARE(file.data().toHex(), QByteArray("03000000"
                                                 "0a000000") +
                                          QByteArray("0084000008").toHex() + "00000000" + "18000000" +
                                          QByteArray("00A4040007F056524B415050").toHex());
        file.seek(0);
        CommandBook again("unused");
        again.readFrom(file);
        QCOMPARE(again.entries(), book.entries());
    }

    void addingDropsOnlyARepeatOfTheLastEntry_data() {
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<QStringList>("kept");
        QTest::newRow("same twice") << QStringList{"A0", "A0"} << QStringList{"A0"};
        QTest::newRow("A B A") << QStringList{"A0", "B0", "A0"} << QStringList{"A0", "B0", "A0"};
        QTest::newRow("case differs") << QStringList{"ab", "AB"} << QStringList{"ab", "AB"};
        QTest::newRow("same length") << QStringList{"AA", "AB", "AB"} << QStringList{"AA", "AB"};
    }
    void addingDropsOnlyARepeatOfTheLastEntry() {
        QFETCH(QStringList, added);
        QFETCH(QStringList, kept);
        CommandBook book("unused");
        for (const QString& text : added)
            book.add(text);
        QCOMPARE(book.entries(), kept);
    }

    void aFullBookForgetsItsOldestEntry() {
        CommandBook book("unused");
        for (int i = 0; i < CommandBook::kMaxEntries; ++i)
            book.add(QString::number(i));
        QCOMPARE(book.entries().size(), 201);
        book.add("200"); // a repeat of the last: nothing goes
        QCOMPARE(book.entries().first(), QString("0"));
        book.add("new");
        QCOMPARE(book.entries().size(), 201);
        QCOMPARE(book.entries().first(), QString("1"));
        QCOMPARE(book.entries().last(), QString("new"));

        // A file of more entries keeps the newest 201, the rules being those of adding.
        QByteArray file = u32(300);
        for (int i = 0; i < 300; ++i)
            file += entry(QByteArray::number(i));
        const QStringList loaded = loadedFrom(file);
        QCOMPARE(loaded.size(), 201);
        QCOMPARE(loaded.first(), QString("99"));
    }

    void damagedFilesKeepWhatCameBeforeTheDamage_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("kept");
        const QByteArray one = entry("0084000008");
        QTest::newRow("empty file") << QByteArray() << QStringList{};
        QTest::newRow("count cut short") << QByteArray("\x01\x00", 2) << QStringList{};
        QTest::newRow("count 0") << u32(0) + one << QStringList{};
        QTest::newRow("length cut short")
            << u32(2) + one + QByteArray("\x05\x00", 2) << QStringList{"0084000008"};
        QTest::newRow("text cut short") << u32(2) + one + u32(10) + "00A4" << QStringList{"0084000008"};
        QTest::newRow("count of 4 G") << u32(0xFFFFFFFF) + one + one << QStringList{"0084000008"};
        QTest::newRow("length of 4 G")
            << u32(2) + one + u32(0xFFFFFFFF) + QByteArray(64, 'A') << QStringList{"0084000008"};
        QTest::newRow("length beyond the file") << u32(1) + u32(1000) + QByteArray(999, '0') << QStringList{};
        QTest::newRow("repeats are dropped")
            << u32(3) + one + one + entry("9000") << QStringList{"0084000008", "9000"};
        QTest::newRow("not hex, kept as text") << u32(2) + entry(QByteArray("hello \x01\xff", 8)) + entry("")
                                               << QStringList{QString::fromLatin1("hello \x01\xff", 8), ""};
    }
    void damagedFilesKeepWhatCameBeforeTheDamage() {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, kept);
        QCOMPARE(loadedFrom(file), kept);
    }

    void savingReplacesTheFileWholeOrNotAtAll() {
        QTemporaryDir dir;
        const QString path = dir.filePath("samcosbooks.j");
        CommandBook missing(path);
        missing.load();
        QVERIFY(missing.entries().isEmpty());
        QVERIFY(!missing.changed());

        CommandBook book(path);
        book.add("0084000008");
        QVERIFY(book.changed());
        QVERIFY(book.save());
        QVERIFY(!book.changed());
        book.add("9000");
        QVERIFY(book.save());
        CommandBook reread(path);
        reread.load();
        QCOMPARE(reread.entries(), (QStringList{"0084000008", "9000"}));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"samcosbooks.j"});

        // Where the file cannot be replaced nothing changes, and no stray file is left.
        QVERIFY(QDir(dir.path()).mkdir("cosbooks.j"));
        CommandBook blocked(dir.filePath("cosbooks.j"));
        blocked.load();
        blocked.add("00");
        QVERIFY(!blocked.save());
        QVERIFY(QFileInfo(dir.filePath("cosbooks.j")).isDir());
        CommandBook nowhere(dir.filePath("no such folder/cosbooks.j"));
        nowhere.add("00");
        QVERIFY(!nowhere.save());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"samcosbooks.j"});
    }

    void dialogHandsBackTheDoubleClickedEntryAndClears() {
        CommandBook book("unused");
        for (const char* text : {"0084000008", "00A4040007F056524B415050", "80CA9F7F00"})
            book.add(text);
        Catalog catalog;
        {
            CommandBookDialog dialog(book, catalog, nullptr);
            QCOMPARE(dialog.windowTitle(), QString("COS Command"));
            QCOMPARE(dialog.list()->count(), 3);
            QCOMPARE(dialog.list()->visualItemRect(dialog.list()->item(0)).height(), 18);
            QSignalSpy chosen(&dialog, &CommandBookDialog::entryChosen);
            dialog.show();
            QListWidget* list = dialog.list();
            const QPoint at = list->visualItemRect(list->item(1)).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
            QCOMPARE(chosen.count(), 1);
            QCOMPARE(chosen.first().first().toString(), QString("00A4040007F056524B415050"));
            QVERIFY(!dialog.isVisible());
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
        CommandBookDialog dialog(book, catalog, nullptr);
        dialog.findChild<QPushButton*>("clearBook")->click();
        QCOMPARE(dialog.list()->count(), 0);
        QVERIFY(book.entries().isEmpty());
        QVERIFY(book.changed());
    }

    void onlyAnEntryTooLongForTheListGetsATip() {
        QListWidget list;
        list.addItems({"9000", QString(120, 'A')});
        list.resize(160, 120);
        list.show();
        showTipsForLongEntries(&list);
        const QPoint shortEntry = list.visualItemRect(list.item(0)).center();
        const QPoint longEntry = list.visualItemRect(list.item(1)).center();
        QCOMPARE(longEntryTip(&list, shortEntry), QString());
        QCOMPARE(longEntryTip(&list, longEntry), QString(120, 'A'));
        QCOMPARE(longEntryTip(&list, QPoint(5, 110)), QString());
        list.resize(2000, 120);
        QCOMPARE(longEntryTip(&list, longEntry), QString());
    }
};

OSKELLE_TEST(CommandBookTest);
#include "command_book_test.moc"
