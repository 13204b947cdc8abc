// The AT88RF020 page end to end through the library and the simulator: the
// search with its two attempts, the password check, Lock and Count with their
// read-backs, Read Card over every page but the password page, Write Card with
// its page list and split fields, DeSlect and the continuous search; the input
// checks and the missing reader, which send nothing.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/app.h"
#include "app/main_frame.h"
#include "pages/at88rf020_page.h"
#include "tool_fixture.h"
#include "widgets/continuous_toggle.h"

using namespace tooltest;

namespace {

constexpr int kAt88Page = 2;

constexpr const char* kTag = R"({"cards": [
    {"kind": "at88rf020", "pupi": "CAFEBABE", "password": "0102030405060708",
     "pages": {"1": "1111111111111111", "4": "4444444444444444", "31": "3131313131313131"}}]})";

struct At88Tool : RunningTool {
    explicit At88Tool(const char* scenario = kTag, const QString& language = QString())
        : RunningTool(scenario, language) {
        app->mainFrame()->OnCardType(kAt88Page);
    }
    CAt88rf020Dlg* at88() const { return qobject_cast<CAt88rf020Dlg*>(page()); }
    QString text(const QString& name) const { return find<QLineEdit>(name)->text(); }
    void set(const QString& name, const QString& value) const { find<QLineEdit>(name)->setText(value); }
    void choosePage(int page) const {
        auto* list = find<QComboBox>("pageAddress");
        list->setCurrentIndex(list->findData(page));
    }
    void searchAndCheck() const {
        click("searchCard");
        set("password", "0102030405060708");
        click("checkButton");
    }
};

} // namespace

class At88rf020PageTest : public QObject {
    Q_OBJECT
  private slots:
    void startsWithItsFieldsAndLists() {
        At88Tool tool;
        QVERIFY(tool.at88() != nullptr);
        auto* list = tool.find<QComboBox>("pageAddress");
        QCOMPARE(list->count(), 30);
        QCOMPARE(list->currentData().toInt(), 1);
        QCOMPARE(list->itemData(1).toInt(), 3);
        QCOMPARE(list->itemData(29).toInt(), 31);
        QCOMPARE(list->findData(0), -1);
        QCOMPARE(list->findData(2), -1);
        QCOMPARE(tool.text("password"), QString("0000000000000000"));
        const struct {
            const char* name;
            int digits;
        } widths[] = {{"password", 16}, {"lock", 8},   {"counter", 12},  {"page0", 8},
                      {"page0High", 8}, {"page1", 8},  {"page1High", 8}, {"page2", 12},
                      {"page2High", 4}, {"page3", 16}, {"page31", 16}};
        for (const auto& w : widths)
            QCOMPARE(tool.find<QLineEdit>(w.name)->maxLength(), w.digits);
        QCOMPARE(tool.find<QPushButton>("contSearch")->text(), QString("Cont Search"));
        QCOMPARE(tool.find<QLineEdit>("pupi")->accessibleName(), QString("PUPI"));
    }

    void searchShowsThePupiAndKeepsPage3() {
        At88Tool tool;
        tool.set("page3", "33");
        tool.set("page4", "44");
        tool.set("page0High", "AA");
        const std::size_t before = tool.sim.requests();
        tool.click("searchCard");
        QCOMPARE(tool.resultText(), QString("Search card successfully"));
        QCOMPARE(tool.text("pupi"), QString("CAFEBABE"));
        QVERIFY(tool.at88()->cardFound());
        QCOMPARE(tool.sim.requests() - before, std::size_t{2}); // rf_init_type, rf_atqb
        QCOMPARE(tool.text("page3"), QString("33"));
        QVERIFY(tool.text("page4").isEmpty());
        QVERIFY(tool.text("page0High").isEmpty());
        QCOMPARE(tool.page()->focusWidget(), tool.find<QLineEdit>("password"));
    }

    void searchWithoutATagTriesTwiceAndClearsThePupi() {
        At88Tool tool(kTag);
        tool.click("searchCard");
        QVERIFY(tool.at88()->cardFound());
        tool.sim.reader.access([](sim::ReaderState&, sim::Field& field) { field.clear(); });
        const std::size_t before = tool.sim.requests();
        tool.click("searchCard");
        QCOMPARE(tool.resultText(), QString("Error: 1 ,Function: rf_atqb"));
        QCOMPARE(tool.sim.requests() - before, std::size_t{4});
        QVERIFY(tool.text("pupi").isEmpty());
        QVERIFY(!tool.at88()->cardFound());
    }

    void checkPresentsThePassword() {
        At88Tool tool;
        tool.click("searchCard");
        tool.click("checkButton"); // the initial all-zero password
        QCOMPARE(tool.resultText(), QString("Error: 2 ,Function: rf_at020_check"));
        tool.set("password", "0102030405060708");
        tool.click("checkButton");
        QCOMPARE(tool.resultText(), QString("Check operation success"));

        // Seven bytes (and fifteen digits) are refused before any card access.
        for (const char* shortKey : {"01020304050607", "010203040506070"}) {
            tool.set("password", shortKey);
            const std::size_t before = tool.sim.requests();
            tool.boxes.shown.clear();
            tool.click("checkButton");
            QCOMPARE(tool.boxes.shown.size(), 1);
            QCOMPARE(tool.boxes.shown[0].text, QString("Please input 8 bytes key"));
            QCOMPARE(tool.boxes.shown[0].caption, QString("Error"));
            QCOMPARE(tool.boxes.shown[0].icon, MessageBoxes::Stop);
            QCOMPARE(tool.sim.requests(), before);
        }
    }

    void readCardSkipsPage3AndNeedsThePassword() {
        At88Tool tool;
        tool.click("searchCard");
        tool.set("page3", "33");
        // Without the password the protected pages refuse: pages 0-2 stay shown.
        tool.click("readCard");
        QCOMPARE(tool.resultText(), QString("Error: 3 ,Function: Read page: 4 failed!"));
        QCOMPARE(tool.text("page0"), QString("CAFEBABE"));
        QCOMPARE(tool.text("page0High"), QString("00000000"));
        QCOMPARE(tool.text("page1"), QString("11111111"));
        QCOMPARE(tool.text("page2"), QString("000000000000"));
        QCOMPARE(tool.text("page2High"), QString("0000"));
        QVERIFY(tool.text("page3").isEmpty());
        QVERIFY(tool.text("page4").isEmpty());

        tool.set("password", "0102030405060708");
        tool.click("checkButton");
        const std::size_t before = tool.sim.requests();
        tool.click("readCard");
        QCOMPARE(tool.resultText(), QString("Read card successfully"));
        QCOMPARE(tool.sim.requests() - before, std::size_t{31});
        QCOMPARE(tool.text("page1High"), QString("11111111"));
        QCOMPARE(tool.text("page4"), QString("4444444444444444"));
        QCOMPARE(tool.text("page5"), QString("0000000000000000"));
        QCOMPARE(tool.text("page31"), QString("3131313131313131"));
        QVERIFY(tool.text("page3").isEmpty());
    }

    void aReadThatFailsPartWayKeepsTheEarlierPages() {
        At88Tool tool;
        tool.searchAndCheck();
        // Pages 0, 1, 2, 4 and 5 are answered; page 6's answer is spoilt.
        tool.sim.reader.faults().onceAfter(5, sim::Fault::badChecksum());
        tool.click("readCard");
        QCOMPARE(tool.resultText(), QString("Error: fc ,Function: Read page: 6 failed!"));
        QCOMPARE(tool.text("page4"), QString("4444444444444444"));
        QCOMPARE(tool.text("page5"), QString("0000000000000000"));
        QVERIFY(tool.text("page6").isEmpty());
        QVERIFY(tool.text("page31").isEmpty());
    }

    void writeCardTakesThePageAndItsFields() {
        At88Tool tool;
        tool.searchAndCheck();
        // Page 1 from its two halves, a short half padded with zeros.
        tool.choosePage(1);
        tool.set("page1", "AABBCCDD");
        tool.set("page1High", "EE");
        tool.click("writeCard");
        QCOMPARE(tool.resultText(), QString("Write card successfully"));
        tool.choosePage(5);
        tool.set("page5", "0102");
        tool.click("writeCard");
        tool.choosePage(30);
        tool.set("page30", "");
        tool.click("writeCard");
        tool.click("readCard");
        QCOMPARE(tool.text("page1"), QString("AABBCCDD"));
        QCOMPARE(tool.text("page1High"), QString("EE000000"));
        QCOMPARE(tool.text("page5"), QString("0102000000000000"));
        QCOMPARE(tool.text("page30"), QString("0000000000000000"));

        // Page 3 is the password: written, never read.
        tool.choosePage(3);
        tool.set("page3", "0807060504030201");
        tool.click("writeCard");
        QCOMPARE(tool.resultText(), QString("Write card successfully"));
        tool.click("checkButton");
        QCOMPARE(tool.resultText(), QString("Error: 2 ,Function: rf_at020_check"));
        tool.set("password", "0807060504030201");
        tool.click("checkButton");
        QCOMPARE(tool.resultText(), QString("Check operation success"));

        // A failed check closes the tag again.
        tool.set("password", "0000000000000000");
        tool.click("checkButton");
        tool.choosePage(5);
        tool.click("writeCard");
        QCOMPARE(tool.resultText(), QString("Error: 3 ,Function: rf_at020_write"));
    }

    void lockSetsLockBitsAndReadsPage0Back() {
        At88Tool tool;
        tool.click("searchCard");
        tool.set("lock", "20000000");
        tool.click("lockButton");
        QCOMPARE(tool.resultText(), QString("Error: 3 ,Function: rf_at020_lock"));

        tool.set("password", "0102030405060708");
        tool.click("checkButton");
        tool.set("page0", "99");
        tool.click("lockButton");
        QCOMPARE(tool.resultText(), QString("LOCK operation success"));
        QCOMPARE(tool.text("page0"), QString("CAFEBABE"));
        QCOMPARE(tool.text("page0High"), QString("20000000"));
        // Bit 5 of the first lock byte locks page 5.
        tool.choosePage(5);
        tool.set("page5", "01");
        tool.click("writeCard");
        QCOMPARE(tool.resultText(), QString("Error: 4 ,Function: rf_at020_write"));

        // The lock goes through, the read-back does not.
        tool.set("lock", "00000001");
        tool.sim.reader.faults().onceAfter(1, sim::Fault::badChecksum());
        tool.click("lockButton");
        QCOMPARE(tool.resultText(), QString("Error: fc ,Function: rf_at020_read"));
        QVERIFY(tool.text("page0").isEmpty());
        QVERIFY(tool.text("page0High").isEmpty());

        // Anything but 4 bytes is refused before any card access; Page0 is cleared first.
        tool.click("readCard");
        tool.set("lock", "010203");
        const std::size_t before = tool.sim.requests();
        tool.click("lockButton");
        QCOMPARE(tool.boxes.shown.last().text, QString("Please input 4 bytes in lock area!"));
        QCOMPARE(tool.boxes.shown.last().caption, QString("Error"));
        QCOMPARE(tool.sim.requests(), before);
        QVERIFY(tool.text("page0").isEmpty());
        QCOMPARE(tool.text("page1"), QString("11111111"));
    }

    void countAdvancesTheCounterAndReadsPage2Back() {
        At88Tool tool;
        tool.click("searchCard");
        tool.set("counter", "A1A2A3A4A5A6");
        tool.click("countButton");
        QCOMPARE(tool.resultText(), QString("Error: 3 ,Function: rf_at020_count"));

        tool.set("password", "0102030405060708");
        tool.click("checkButton");
        tool.click("countButton");
        QCOMPARE(tool.resultText(), QString("Count operation success"));
        QCOMPARE(tool.text("page2"), QString("A1A2A3A4A5A6"));
        QCOMPARE(tool.text("page2High"), QString("0100"));
        tool.set("counter", "B1B2B3B4B5B6");
        tool.click("countButton");
        QCOMPARE(tool.text("page2"), QString("B1B2B3B4B5B6"));
        QCOMPARE(tool.text("page2High"), QString("0200"));

        tool.set("counter", "0102030405");
        const std::size_t before = tool.sim.requests();
        tool.click("countButton");
        QCOMPARE(tool.boxes.shown.last().text, QString("Please input 6 bytes in Idiograph area!"));
        QCOMPARE(tool.boxes.shown.last().caption, QString("Error"));
        QCOMPARE(tool.sim.requests(), before);
        QVERIFY(tool.text("page2").isEmpty());
    }

    void deselectSendsTheTagToSleepUntilTheNextSearch() {
        At88Tool tool;
        tool.searchAndCheck();
        tool.click("deselect");
        QCOMPARE(tool.resultText(), QString("Operation Success!"));
        tool.click("checkButton");
        QCOMPARE(tool.resultText(), QString("Error: 1 ,Function: rf_at020_check"));
        tool.click("deselect");
        QCOMPARE(tool.resultText(), QString("Error: 1 ,Function: rf_at020_deselect"));
        // The search wakes it (WUPB); the password must be presented again.
        tool.click("searchCard");
        QCOMPARE(tool.resultText(), QString("Search card successfully"));
        tool.click("readCard");
        QCOMPARE(tool.resultText(), QString("Error: 3 ,Function: Read page: 4 failed!"));
        tool.click("checkButton");
        QCOMPARE(tool.resultText(), QString("Check operation success"));
    }

    void continuousSearchRepeatsUntilStopped() {
        At88Tool tool;
        auto* button = tool.find<QPushButton>("contSearch");
        tool.click("contSearch");
        QCOMPARE(button->text(), QString("Stop"));
        QVERIFY(tool.at88()->continuousSearch()->running());
        const std::size_t before = tool.sim.requests();
        QTRY_VERIFY_WITH_TIMEOUT(tool.sim.requests() >= before + 6, 5000); // three searches
        QCOMPARE(tool.resultText(), QString("Search card successfully"));
        QCOMPARE(tool.text("pupi"), QString("CAFEBABE"));
        tool.click("contSearch");
        QCOMPARE(button->text(), QString("Cont earch"));
        QVERIFY(!tool.at88()->continuousSearch()->running());
        const std::size_t stopped = tool.sim.requests();
        QTest::qWait(200);
        QCOMPARE(tool.sim.requests(), stopped);

        // Failures are shown and the repetition goes on.
        tool.sim.reader.access([](sim::ReaderState&, sim::Field& field) { field.clear(); });
        tool.click("contSearch");
        QTRY_VERIFY_WITH_TIMEOUT(tool.sim.requests() >= stopped + 8, 5000);
        QCOMPARE(tool.resultText(), QString("Error: 1 ,Function: rf_atqb"));
        QVERIFY(tool.at88()->continuousSearch()->running());
        tool.click("contSearch");
    }

    void continuousSearchCaptionsInChinese() {
        At88Tool tool(kTag, "zh_CN");
        auto* button = tool.find<QPushButton>("contSearch");
        const QString start = QString::fromUtf8("连续寻卡");
        QCOMPARE(button->text(), start);
        tool.click("contSearch");
        QCOMPARE(button->text(), QString::fromUtf8("停止"));
        tool.click("contSearch");
        QCOMPARE(button->text(), start);
        QCOMPARE(tool.find<QPushButton>("checkButton")->text(), QString::fromUtf8("验证密码"));
        QCOMPARE(tool.find<QLineEdit>("pupi")->accessibleName(), QString("PUPI"));
    }

    void withoutReaderNothingIsSent_data() {
        QTest::addColumn<QString>("button");
        for (const char* button :
             {"searchCard", "checkButton", "lockButton", "countButton", "readCard", "writeCard", "deselect"})
            QTest::newRow(button) << button;
    }
    void withoutReaderNothingIsSent() {
        QFETCH(QString, button);
        At88Tool tool;
        tool.app->mainFrame()->OnDisconnect();
        tool.set("lock", "01"); // a wrong length too: the connection is tested first
        const std::size_t before = tool.sim.requests();
        tool.click(button);
        QCOMPARE(tool.resultText(), QString("Error: Cannot connect to device"));
        QCOMPARE(tool.sim.requests(), before);
        QVERIFY(tool.boxes.shown.isEmpty());
    }
};

OSKELLE_TEST(At88rf020PageTest);
#include "at88rf020_page_test.moc"
