// The Mifare One page end to end on a simulated MIFARE Classic 1K: search with
// the serial number on the reader's display, the purse with its balance on the
// display, reading and writing sectors, the next-card search, and the checks
// that stop a button before anything reaches the reader.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/app.h"
#include "app/main_frame.h"
#include "pages/classic_sector_ops.h"
#include "tool_fixture.h"
#include "widgets/purse_group.h"

using namespace tooltest;

namespace {

// Sector 1 holds a greeting and a purse of 100; a second card lies beside it.
constexpr const char* kCards = R"({"cards": [
    {"kind": "classic1k", "uid": "11223344",
     "blocks": {"4": "48656C6C6F2C20636172642072656164",
                "5": "64000000 9BFFFFFF 64000000 05FA05FA"}},
    {"kind": "classic1k", "uid": "55667788"}]})";

constexpr int kMifareOne = 1;

struct MifareOneTool : RunningTool {
    explicit MifareOneTool(const char* cards = kCards) : RunningTool(cards) {
        app->mainFrame()->OnCardType(kMifareOne);
    }

    QString text(const QString& name) const { return find<QLineEdit>(name)->text(); }
    void type(const QString& name, const QString& text) const { find<QLineEdit>(name)->setText(text); }
    void choose(const QString& list, int value) const {
        auto* box = find<QComboBox>(list);
        box->setCurrentIndex(box->findData(value));
    }
    QByteArray display() {
        return sim.reader.access([](sim::ReaderState& r, sim::Field&) {
            return QByteArray(reinterpret_cast<const char*>(r.display.data()), int(r.display.size()));
        });
    }
    unsigned beeps() {
        return sim.reader.access([](sim::ReaderState& r, sim::Field&) { return r.beeps; });
    }
};

} // namespace

class MifareOnePageTest : public QObject {
    Q_OBJECT
  private slots:
    void listsFieldsAndTheirLinks() {
        MifareOneTool tool;
        QCOMPARE(tool.find<QComboBox>("window3Sector")->count(), 64);
        QCOMPARE(tool.find<QComboBox>("window3Sector")->itemText(63), QString("63"));
        QCOMPARE(tool.find<QComboBox>("window1WriteBlock")->count(), 4);
        QCOMPARE(tool.text("purseKey"), QString("FFFFFFFFFFFF"));
        QCOMPARE(tool.text("window2Key"), QString("FFFFFFFFFFFF"));
        QCOMPARE(tool.find<QLineEdit>("purseDecimal")->maxLength(), 8);
        // A long balance is shown whole; the typing limit comes back after it.
        auto* purse = tool.page()->findChild<PurseGroup*>();
        purse->showValue(-2147483647);
        QCOMPARE(tool.text("purseDecimal"), QString("-2147483647"));
        purse->clearValue();
        QCOMPARE(tool.find<QLineEdit>("purseDecimal")->maxLength(), 8);
        QCOMPARE(tool.find<QLineEdit>("purseBytes")->maxLength(), 8);
        QCOMPARE(tool.find<QLineEdit>("window1TrailerAccess")->maxLength(), 8);
        QCOMPARE(tool.find<QLineEdit>("window1TrailerKeyB")->maxLength(), 12);

        // Sector 0 never offers the manufacturer block as a purse; the block stays where it can.
        auto* blocks = tool.find<QComboBox>("purseBlock");
        QCOMPARE(blocks->count(), 2);
        QCOMPARE(blocks->currentData().toInt(), 1);
        tool.choose("purseSector", 3);
        QCOMPARE(blocks->count(), 3);
        tool.choose("purseBlock", 2);
        tool.choose("purseSector", 4);
        QCOMPARE(blocks->currentData().toInt(), 2);
        tool.choose("purseBlock", 0);
        tool.choose("purseSector", 0);
        QCOMPARE(blocks->currentData().toInt(), 1);

        // The two value fields follow each other as the user types.
        QTest::keyClicks(tool.find<QLineEdit>("purseDecimal"), "1000");
        QCOMPARE(tool.text("purseBytes"), QString("E8030000"));
        tool.find<QLineEdit>("purseBytes")->clear();
        QTest::keyClicks(tool.find<QLineEdit>("purseBytes"), "FFFFFFFF");
        QCOMPARE(tool.text("purseDecimal"), QString("-1"));
        QTest::keyClicks(tool.find<QLineEdit>("purseDecimal"), "\b\b");
        QCOMPARE(tool.text("purseBytes"), QString("FFFFFFFF"));

        // Write Card stays off for the manufacturer block.
        auto* write = tool.find<QPushButton>("window1WriteCard");
        QVERIFY(!write->isEnabled());
        tool.choose("window1WriteBlock", 1);
        QVERIFY(write->isEnabled());
        tool.choose("window1WriteBlock", 0);
        QVERIFY(!write->isEnabled());
        tool.choose("window1Sector", 2);
        QVERIFY(write->isEnabled());
    }

    void searchShowsTheSerialNumberOnTheDisplay() {
        MifareOneTool tool;
        tool.find<QCheckBox>("velmo")->setChecked(true);
        tool.click("searchCard");
        QCOMPARE(tool.resultText(), QString("Operation success"));
        QCOMPARE(tool.text("cardNumber"), QString("11223344"));
        // Digits 1 1 2 2 3 3 4 4 as seven-segment codes.
        QCOMPARE(tool.display(), QByteArray::fromHex("30306D6D79793333"));

        // A display that fails says so; the search still counts.
        tool.sim.reader.faults().onceAfter(4, sim::Fault::badChecksum());
        tool.click("searchCard");
        QCOMPARE(tool.boxes.shown.size(), 1);
        QCOMPARE(tool.boxes.shown[0].text, QString("Digtal display fail"));
        QCOMPARE(tool.boxes.shown[0].caption, QString("Oskelle"));
        QCOMPARE(tool.resultText(), QString("Operation success"));
    }

    void purseWithTheBalanceOnTheDisplay() {
        MifareOneTool tool;
        tool.find<QCheckBox>("velmo")->setChecked(true);
        tool.choose("purseSector", 2);
        tool.choose("purseBlock", 1);
        tool.type("purseDecimal", "1000");
        tool.click("purseInitialize");
        QCOMPARE(tool.resultText(), QString("Initialize purse successfullly"));
        tool.click("purseBalance");
        QCOMPARE(tool.resultText(), QString("Read successfully"));
        QCOMPARE(tool.text("purseDecimal"), QString("1000"));
        QCOMPARE(tool.text("purseBytes"), QString("E8030000"));
        // Digit mode, right-aligned, the point lit on the sixth digit: 0000 10.00
        QCOMPARE(tool.display(), QByteArray::fromHex("7E7E7E7E30FE7E7E"));

        tool.type("purseDecimal", "500");
        tool.click("purseIncrease");
        QCOMPARE(tool.resultText(), QString("Add successfully"));
        tool.type("purseDecimal", "1700");
        tool.click("purseDecrease");
        QCOMPARE(tool.resultText(), QString("Decrement successfully"));
        tool.click("purseBalance");
        QCOMPARE(tool.text("purseDecimal"), QString("-200"));
        QCOMPARE(tool.text("purseBytes"), QString("38FFFFFF"));
        // No minus sign on eight digits: the display is not sent a wrong number.
        QCOMPARE(tool.boxes.shown.size(), 1);
        QCOMPARE(tool.boxes.shown[0].text, QString("Digtal display fail"));
        QCOMPARE(tool.display(), QByteArray::fromHex("7E7E7E7E30FE7E7E"));

        // The amount is asked for only once the sector has opened.
        tool.type("purseDecimal", "");
        const std::size_t before = tool.sim.requests();
        tool.click("purseInitialize");
        QCOMPARE(tool.boxes.shown.last().text, QString("Please input data in data area"));
        QCOMPARE(tool.boxes.shown.last().caption, QString("Warning"));
        QCOMPARE(tool.sim.requests(), before + 1);
    }

    void readAndWriteSectors() {
        MifareOneTool tool;
        tool.choose("window2Sector", 1);
        tool.type("window2Block2", "AA");
        tool.click("window2ReadCard");
        QCOMPARE(tool.resultText(), QString("Read card successfully"));
        QCOMPARE(tool.text("window2Block0"), QString("48656C6C6F2C20636172642072656164"));
        QCOMPARE(tool.text("window2Block1"), QString("640000009BFFFFFF6400000005FA05FA"));
        QCOMPARE(tool.text("window2Block2"), QString(32, u'0'));
        // Key A never reads back; the access bits and key B of a transport trailer do.
        QCOMPARE(tool.text("window2TrailerKeyA"), QString("000000000000"));
        QCOMPARE(tool.text("window2TrailerAccess"), QString("FF078069"));
        QCOMPARE(tool.text("window2TrailerKeyB"), QString("FFFFFFFFFFFF"));
        QCOMPARE(tool.beeps(), 1u);

        // A short entry is written with zeros after it.
        tool.choose("window2WriteBlock", 2);
        tool.type("window2Block2", "ABCD");
        tool.click("window2WriteCard");
        QCOMPARE(tool.resultText(), QString("Write card successfully"));

        // The trailer asks first; Cancel sends nothing, not even the authentication.
        tool.choose("window2WriteBlock", 3);
        tool.type("window2TrailerKeyA", "FFFFFFFFFFFF");
        tool.boxes.answers << MessageBoxes::AnswerCancel;
        const std::size_t before = tool.sim.requests();
        tool.click("window2WriteCard");
        QCOMPARE(tool.sim.requests(), before);
        QCOMPARE(tool.boxes.shown.last().text, QString("Do you really write third block data?"));
        QCOMPARE(tool.boxes.shown.last().caption, QString("Warning"));
        // With OK the trailer gets a new key B.
        tool.type("window2TrailerKeyB", "B0B1B2B3B4B5");
        tool.click("window2WriteCard");
        QCOMPARE(tool.resultText(), QString("Write card successfully"));

        tool.click("window2ReadCard");
        QCOMPARE(tool.text("window2Block2"), QString("ABCD") + QString(28, u'0'));
        QCOMPARE(tool.text("window2TrailerKeyB"), QString("B0B1B2B3B4B5"));
    }

    void failuresNameTheCallAndForgetTheCard_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("spared"); // answers before a spoiled one, -1 for none
        QTest::addColumn<QString>("expected");
        QTest::newRow("wrong key") << "window1ReadCard"
                                   << "window1Key"
                                   << "000000000000" << -1 << "Error: 2 ,Function: rf_M1_authentication2";
        QTest::newRow("third block") << "window1ReadCard"
                                     << ""
                                     << "" << 3 << "Error: fc ,Function: rf_M1_read";
        QTest::newRow("write") << "window1WriteCard"
                               << ""
                               << "" << 1 << "Error: fc ,Function: rf_M1_write";
        QTest::newRow("not a value block") << "purseBalance"
                                           << ""
                                           << "" << -1 << "Error: 5 ,Function: rf_M1_readval";
        QTest::newRow("initialize") << "purseInitialize"
                                    << "purseDecimal"
                                    << "7" << 1 << "Error: fc ,Function: rf_M1_initval";
        QTest::newRow("increase") << "purseIncrease"
                                  << "purseDecimal"
                                  << "7" << 1 << "Error: fc ,Function: rf_M1_increment";
        QTest::newRow("decrease") << "purseDecrease"
                                  << "purseDecimal"
                                  << "7" << 1 << "Error: fc ,Function: rf_M1_decrement";
    }
    void failuresNameTheCallAndForgetTheCard() {
        QFETCH(QString, button);
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(int, spared);
        QFETCH(QString, expected);
        MifareOneTool tool;
        tool.choose("window1Sector", 1);
        tool.choose("window1WriteBlock", 1);
        tool.choose("purseSector", 2);
        tool.click("searchCard");
        if (!field.isEmpty()) tool.type(field, text);
        if (spared >= 0) tool.sim.reader.faults().onceAfter(spared, sim::Fault::badChecksum());
        tool.click(button);
        QCOMPARE(tool.resultText(), expected);

        // The card is searched for again (once) before the next operation.
        tool.type("window1Key", "FFFFFFFFFFFF");
        const std::size_t before = tool.sim.requests();
        tool.click("window1ReadCard");
        QCOMPARE(tool.resultText(), QString("Read card successfully"));
        QCOMPARE(tool.sim.requests(), before + 4 + 1 + 4 + 1);
    }

    void refusedInputSendsNothing_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("block");
        const QString key = "Please input 6 bytes key";
        const QString access = ClassicMessages().badAccessBits;
        QTest::newRow("purse key") << "purseKey"
                                   << "FFFFFFFFFF"
                                   << "purseIncrease" << key << 1;
        QTest::newRow("window key") << "window3Key"
                                    << ""
                                    << "window3ReadCard" << key << 1;
        QTest::newRow("write key") << "window2Key"
                                   << "FFFFFFFFFFF"
                                   << "window2WriteCard" << key << 1;
        // A trailer whose access bytes disagree with their inverted copies would lock the sector.
        QTest::newRow("access bits, a digit short") << "window2TrailerAccess"
                                                    << "FF078"
                                                    << "window2WriteCard" << access << 3;
        QTest::newRow("access bits inconsistent") << "window2TrailerAccess"
                                                  << "FF078169"
                                                  << "window2WriteCard" << access << 3;
    }
    void refusedInputSendsNothing() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, button);
        QFETCH(QString, box);
        QFETCH(int, block);
        MifareOneTool tool;
        tool.choose("window2WriteBlock", block);
        tool.click("searchCard");
        tool.type(field, text);
        const std::size_t before = tool.sim.requests();
        tool.click(button);
        QCOMPARE(tool.sim.requests(), before);
        QCOMPARE(tool.boxes.shown.size(), 1);
        QCOMPARE(tool.boxes.shown[0].text, box);
        QCOMPARE(tool.boxes.shown[0].caption, QString("Error"));
    }

    void nextCardAndContinuousSearch() {
        MifareOneTool tool;
        tool.click("searchCard");
        QCOMPARE(tool.text("cardNumber"), QString("11223344"));
        // The found card is halted; only the other one still answers an idle request.
        tool.click("getNextCard");
        QCOMPARE(tool.resultText(), QString("Operation success"));
        QCOMPARE(tool.text("cardNumber"), QString("55667788"));
        tool.click("getNextCard");
        QCOMPARE(tool.resultText(), QString("Error: 1 ,Function: rf_search_type_a"));
        QVERIFY(tool.text("cardNumber").isEmpty());

        // Repeated idle requests go on failing until stopped.
        auto* toggle = tool.find<QPushButton>("continuousSearch");
        const std::size_t before = tool.sim.requests();
        tool.click("continuousSearch");
        QCOMPARE(toggle->text(), QString("Stop"));
        QTRY_VERIFY(tool.sim.requests() >= before + 3);
        tool.click("continuousSearch");
        QCOMPARE(toggle->text(), QString("Continuous Search"));
        QCOMPARE(tool.resultText(), QString("Error: 1 ,Function: rf_search_type_a"));

        // Without a reader nothing is sent, and the card number goes.
        tool.click("searchCard");
        tool.app->mainFrame()->OnDisconnect();
        const std::size_t offline = tool.sim.requests();
        for (const char* button : {"searchCard", "getNextCard", "window1ReadCard", "purseBalance"}) {
            tool.click(button);
            QCOMPARE(tool.resultText(), QString("Error: Reader isn't connected!"));
        }
        QVERIFY(tool.text("cardNumber").isEmpty());
        QCOMPARE(tool.sim.requests(), offline);
    }
};

OSKELLE_TEST(MifareOnePageTest);
#include "mifare_one_page_test.moc"
