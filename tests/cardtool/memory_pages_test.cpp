// The Ultralight and ICODE1 pages end to end: search, read every page, write
// one page, a read that fails part way, and buttons that refuse to work
// without a reader (nothing reaches it).
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include "app/app.h"
#include "app/main_frame.h"
#include "tool_fixture.h"

using namespace tooltest;

namespace {

constexpr const char* kCards = R"({"cards": [
    {"kind": "ultralight", "uid": "04 A1 B2 C3 D4 E5 F6", "pages": {"4": "DEADBEEF", "15": "0F0F0F0F"}},
    {"kind": "icode1", "serial": "0102030405060708", "data": "F0FFFFFF 00000000 11223344"}]})";

QString field(const RunningTool& tool, const QString& name) { return tool.find<QLineEdit>(name)->text(); }

void choosePage(const RunningTool& tool, int page) {
    auto* list = tool.find<QComboBox>("pageAddress");
    list->setCurrentIndex(list->findData(page));
}

} // namespace

class MemoryPagesTest : public QObject {
    Q_OBJECT
  private slots:
    void pageListsOfferNeitherSerialPage_data() {
        QTest::addColumn<int>("cardType");
        QTest::addColumn<int>("last");
        QTest::newRow("Ultralight") << 0 << 15;
        QTest::newRow("ICODE1") << 9 << 31;
    }
    void pageListsOfferNeitherSerialPage() {
        QFETCH(int, cardType);
        QFETCH(int, last);
        RunningTool tool(kCards);
        tool.app->mainFrame()->OnCardType(cardType);
        auto* list = tool.find<QComboBox>("pageAddress");
        QCOMPARE(list->count(), last - 1);
        QCOMPARE(list->itemData(0).toInt(), 2);
        QCOMPARE(list->itemData(list->count() - 1).toInt(), last);
        QCOMPARE(list->currentData().toInt(), 4);
        QCOMPARE(tool.find<QLineEdit>("page4")->maxLength(), 8);
    }

    void ultralightSearchReadWrite() {
        RunningTool tool(kCards);
        tool.app->mainFrame()->OnCardType(0);
        tool.find<QLineEdit>("page7")->setText("77");
        tool.click("searchCard");
        QCOMPARE(tool.resultText(), QString("Search card successfully"));
        QCOMPARE(field(tool, "serialNumber"), QString("04A1B2C3D4E5F6"));
        QVERIFY(field(tool, "page7").isEmpty());

        tool.click("readCard");
        QCOMPARE(tool.resultText(), QString("Read card successfully"));
        QCOMPARE(field(tool, "page4"), QString("DEADBEEF"));
        QCOMPARE(field(tool, "page15"), QString("0F0F0F0F"));
        QCOMPARE(field(tool, "page0").left(6), QString("04A1B2"));
        QCOMPARE(field(tool, "page2").size(), 4);
        QCOMPARE(field(tool, "page2High").size(), 4);

        // A short entry is padded with zeros.
        tool.find<QLineEdit>("page4")->setText("01");
        tool.click("writeCard");
        QCOMPARE(tool.resultText(), QString("Write card successfully"));
        choosePage(tool, 15);
        tool.find<QLineEdit>("page15")->setText("");
        tool.click("writeCard");
        tool.click("readCard");
        QCOMPARE(field(tool, "page4"), QString("01000000"));
        QCOMPARE(field(tool, "page15"), QString("00000000"));

        // The third group of four pages fails: the first two stay shown.
        tool.sim.reader.faults().onceAfter(2, sim::Fault::badChecksum());
        tool.click("readCard");
        QCOMPARE(tool.resultText(), QString("Error: fc ,Function: Read page: 2 failed!"));
        QCOMPARE(field(tool, "page4"), QString("01000000"));
        QVERIFY(field(tool, "page8").isEmpty());
    }

    void icode1SearchReadWrite() {
        RunningTool tool(kCards);
        tool.app->mainFrame()->OnCardType(9);
        tool.click("searchCard");
        QCOMPARE(tool.resultText(), QString("Search card successfully"));
        QCOMPARE(field(tool, "serialNumber"), QString("0102030405060708"));
        tool.click("readCard");
        QCOMPARE(tool.resultText(), QString("Read card successfully"));
        QCOMPARE(field(tool, "page4"), QString("11223344"));
        QCOMPARE(field(tool, "page31"), QString("00000000"));

        // An empty field writes zeros.
        choosePage(tool, 4);
        tool.find<QLineEdit>("page4")->clear();
        tool.click("writeCard");
        QCOMPARE(tool.resultText(), QString("Write card successfully"));
        choosePage(tool, 5);
        tool.find<QLineEdit>("page5")->setText("ABCDEF");
        tool.click("writeCard");
        tool.click("readCard");
        QCOMPARE(field(tool, "page4"), QString("00000000"));
        QCOMPARE(field(tool, "page5"), QString("ABCDEF00"));

        tool.sim.reader.faults().onceAfter(10, sim::Fault::badChecksum());
        tool.click("readCard");
        QCOMPARE(tool.resultText(), QString("Error: fc ,Function: Read page: 10 failed!"));
        QCOMPARE(field(tool, "page9"), QString("00000000"));
        QVERIFY(field(tool, "page10").isEmpty());
    }

    void withoutReaderNothingIsSent_data() {
        QTest::addColumn<int>("cardType");
        QTest::addColumn<QString>("button");
        QTest::newRow("Ultralight search") << 0 << "searchCard";
        QTest::newRow("Ultralight write") << 0 << "writeCard";
        QTest::newRow("ICODE1 search") << 9 << "searchCard";
        QTest::newRow("ICODE1 write") << 9 << "writeCard";
    }
    void withoutReaderNothingIsSent() {
        QFETCH(int, cardType);
        QFETCH(QString, button);
        RunningTool tool(kCards);
        tool.app->mainFrame()->OnCardType(cardType);
        tool.app->mainFrame()->OnDisconnect();
        const std::size_t before = tool.sim.requests();
        tool.click(button);
        QCOMPARE(tool.resultText(), QString("Error: Cannot connect to device"));
        QCOMPARE(tool.sim.requests(), before);
    }

    void searchWithNoCardReportsTheFailingCall_data() {
        QTest::addColumn<int>("cardType");
        QTest::addColumn<QString>("function");
        QTest::newRow("Ultralight") << 0 << "rf_request";
        QTest::newRow("ICODE1") << 9 << "rf_ICODE1_Request";
    }
    void searchWithNoCardReportsTheFailingCall() {
        QFETCH(int, cardType);
        QFETCH(QString, function);
        RunningTool tool;
        tool.app->mainFrame()->OnCardType(cardType);
        tool.find<QLineEdit>("serialNumber")->setText("AA");
        tool.click("searchCard");
        QVERIFY2(tool.resultText().endsWith(" ,Function: " + function), qPrintable(tool.resultText()));
        QVERIFY(field(tool, "serialNumber").isEmpty());
    }
};

OSKELLE_TEST(MemoryPagesTest);
#include "memory_pages_test.moc"
