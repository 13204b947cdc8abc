// The SR176 and SRIX4K pages end to end through the library and the
// simulator: search, Read Card (whole and failing part way), Write Card and
// the writes that do nothing, the lock register with its confirmation, the
// SRIX4K UID and its block grid with two views laid out for the screen width;
// and the missing reader, which sends nothing.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

#include "app/app.h"
#include "app/main_frame.h"
#include "app/view.h"
#include "pages/st_pages.h"
#include "simulator/cards/st_tags.h"
#include "simulator/reader/desk.h"
#include "tool_fixture.h"

using namespace tooltest;

namespace {

constexpr int kSr176Page = 3;
constexpr int kSrix4kPage = 4;

constexpr const char* kSr176 = R"({"cards": [
    {"kind": "sr176", "uid": "10203040506002D0", "chip_id": 5, "blocks": {"4": "A1A2", "14": "E1E2"}}]})";
constexpr const char* kSrix4k = R"({"cards": [
    {"kind": "srix4k", "serial": 4660, "blocks": {"16": "DEADBEEF", "127": "7F7F7F7F"}}]})";
// One of each on the reader, as in the demo field.
constexpr const char* kBoth = R"({"cards": [
    {"kind": "sr176", "uid": "10203040506002D0", "chip_id": 5, "blocks": {"4": "A1A2"}},
    {"kind": "srix4k", "serial": 4660, "blocks": {"16": "DEADBEEF"}}]})";

struct StTool : RunningTool {
    StTool(int cardType, const char* scenario) : RunningTool(scenario) {
        app->mainFrame()->OnCardType(cardType);
    }
    QString text(const QString& name) const { return find<QLineEdit>(name)->text(); }
    void set(const QString& name, const QString& value) const { find<QLineEdit>(name)->setText(value); }
    void chooseBlock(int block) const {
        auto* list = find<QComboBox>("blockAddress");
        list->setCurrentIndex(list->findData(block));
    }
    // Clicks and checks that nothing at all happened: no box, no request, no result.
    void clickForNothing(const QString& button) {
        app->mainFrame()->ShowSuccess("before");
        const std::size_t before = sim.requests();
        const qsizetype boxesBefore = boxes.shown.size();
        click(button);
        QCOMPARE(sim.requests(), before);
        QCOMPARE(boxes.shown.size(), boxesBefore);
        QCOMPARE(resultText(), QString("before"));
    }
};

QString srixUid(std::uint64_t serial) {
    const sim::StUid uid = sim::Srix4k(serial).uid();
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(uid.data()), 8).toHex().toUpper());
}

} // namespace

class StPagesTest : public QObject {
    Q_OBJECT
  private slots:
    // ---- SR176 ----------------------------------------------------------------

    void sr176StartsWithItsListAndFields() {
        StTool tool(kSr176Page, kSr176);
        QVERIFY(qobject_cast<CSr176Dlg*>(tool.page()) != nullptr);
        auto* list = tool.find<QComboBox>("blockAddress");
        QCOMPARE(list->count(), 11);
        QCOMPARE(list->itemData(0).toInt(), 4);
        QCOMPARE(list->itemData(10).toInt(), 14);
        QCOMPARE(list->currentData().toInt(), 4);
        for (int block = 0; block < 16; ++block)
            QCOMPARE(tool.find<QLineEdit>(QStringLiteral("block%1").arg(block))->maxLength(), 4);
        QCOMPARE(tool.find<QLineEdit>("lockRegister")->maxLength(), 2);
        QCOMPARE(tool.find<QLabel>("blockHeader")->text(), QString("Byte1-Byte0"));
        QCOMPARE(tool.find<QLineEdit>("block15")->accessibleName(), QString("Block15"));
    }

    void sr176SearchAndReadCard() {
        StTool tool(kSr176Page, kSr176);
        tool.set("block4", "FF");
        std::size_t before = tool.sim.requests();
        tool.click("searchCard");
        QCOMPARE(tool.resultText(), QString("Search card successfully"));
        QCOMPARE(tool.sim.requests() - before, std::size_t{4});
        QCOMPARE(tool.text("chipId"), QString("05"));
        QVERIFY(tool.text("block4").isEmpty());

        before = tool.sim.requests();
        tool.click("readCard");
        QCOMPARE(tool.resultText(), QString("Read card successfully"));
        QCOMPARE(tool.sim.requests() - before, std::size_t{16});
        QCOMPARE(tool.text("block0"), QString("1020"));
        QCOMPARE(tool.text("block3"), QString("02D0"));
        QCOMPARE(tool.text("block4"), QString("A1A2"));
        QCOMPARE(tool.text("block5"), QString("0000"));
        QCOMPARE(tool.text("block14"), QString("E1E2"));
        QCOMPARE(tool.text("block15"), QString("0500")); // chip ID, lock register

        // Block 9's answer is spoilt: blocks 0-8 stay shown.
        tool.sim.reader.faults().onceAfter(9, sim::Fault::badChecksum());
        tool.click("readCard");
        QCOMPARE(tool.resultText(), QString("Error: fc ,Function: Read Block: 9 failed!"));
        QCOMPARE(tool.text("block8"), QString("0000"));
        QCOMPARE(tool.text("block4"), QString("A1A2"));
        QVERIFY(tool.text("block9").isEmpty());
        QVERIFY(tool.text("block15").isEmpty());
    }

    void sr176SearchWithoutATagNamesTheSelect() {
        StTool tool(kSr176Page, R"({"cards": []})");
        tool.set("chipId", "77");
        const std::size_t before = tool.sim.requests();
        tool.click("searchCard");
        QCOMPARE(tool.resultText(), QString("Error: 1 ,Function: rf_st_select"));
        QCOMPARE(tool.sim.requests() - before, std::size_t{8}); // two attempts of four calls
        QVERIFY(tool.text("chipId").isEmpty());
    }

    void sr176WriteCardAndTheWritesThatDoNothing() {
        StTool tool(kSr176Page, kSr176);
        tool.click("searchCard");
        tool.chooseBlock(6);
        tool.set("block6", "1234");
        tool.click("writeCard");
        QCOMPARE(tool.resultText(), QString("Write card successfully"));
        tool.click("readCard");
        QCOMPARE(tool.text("block6"), QString("1234"));

        // Anything but exactly 2 bytes: no message, no card access.
        for (const char* entry : {"", "1", "123"}) {
            tool.set("block6", entry);
            tool.clickForNothing("writeCard");
        }
        // The block comes from the list, not from the field last typed in.
        tool.chooseBlock(14);
        tool.set("block14", "ABCD");
        tool.set("block6", "99");
        tool.click("writeCard");
        tool.click("readCard");
        QCOMPARE(tool.text("block14"), QString("ABCD"));
        QCOMPARE(tool.text("block6"), QString("1234"));
    }

    void sr176LockBlockAndTheLockRegister() {
        StTool tool(kSr176Page, kSr176);
        tool.click("searchCard");
        tool.click("readLockReg");
        QCOMPARE(tool.resultText(), QString::fromUtf8("rf_sr176_getprotectreg 成功"));
        QCOMPARE(tool.text("lockRegister"), QString("00000000"));
        // A 32-bit value is not one byte: Lock Block does nothing.
        tool.clickForNothing("lockBlock");

        // Cancelled: the question is asked, nothing is sent.
        tool.set("lockRegister", "08");
        QCOMPARE(tool.find<QLineEdit>("lockRegister")->maxLength(), 8);
        tool.boxes.answers = {MessageBoxes::AnswerCancel};
        std::size_t before = tool.sim.requests();
        tool.click("lockBlock");
        QCOMPARE(tool.boxes.shown.size(), 1);
        QCOMPARE(tool.boxes.shown[0].text, QString("Do you really need to lock block?"));
        QCOMPARE(tool.boxes.shown[0].caption, QString("Warning"));
        QCOMPARE(tool.boxes.shown[0].icon, MessageBoxes::Question);
        QCOMPARE(tool.boxes.shown[0].buttons, MessageBoxes::OkCancel);
        QCOMPARE(tool.sim.requests(), before);

        // Bit 3 protects blocks 6 and 7 from the next select on.
        tool.click("lockBlock");
        QCOMPARE(tool.resultText(), QString("Lock block success"));
        tool.click("readLockReg");
        QCOMPARE(tool.text("lockRegister"), QString("08000000"));
        tool.click("searchCard");
        tool.chooseBlock(6);
        tool.set("block6", "0101");
        tool.click("writeCard");
        QCOMPARE(tool.resultText(), QString("Error: 4 ,Function: rf_sr176_writeblock"));

        // Typing cuts the field back to one byte.
        auto* field = tool.find<QLineEdit>("lockRegister");
        field->setFocus();
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(field, "0F");
        QCOMPARE(field->text(), QString("0F"));
        QCOMPARE(field->maxLength(), 2);
        QTest::keyClicks(field, "1");
        QCOMPARE(field->text(), QString("0F"));

        // The field takes one byte at most: only shorter entries are left to try.
        for (const char* entry : {"", "1"}) {
            tool.set("lockRegister", entry);
            tool.clickForNothing("lockBlock");
        }
    }

    void sr176LockRegisterWithoutASelectedTag() {
        StTool tool(kSr176Page, kSr176);
        tool.click("readLockReg"); // the field still runs Type A: no ST tag hears the reader
        QCOMPARE(tool.resultText(), QString("Error: 1 ,Function: rf_sr176_getprotectreg"));
        tool.set("lockRegister", "01");
        tool.click("lockBlock");
        QCOMPARE(tool.resultText(), QString("Error: 1 ,Function: rf_sr176_protectblock"));
    }

    // ---- SRIX4K ---------------------------------------------------------------

    void srix4kGridHasTwoViewsUnderTabs() {
        StTool tool(kSrix4kPage, kSrix4k);
        auto* page = qobject_cast<CSrix4kDlg*>(tool.page());
        QVERIFY(page != nullptr);
        // Sized to the view and given the screen width.
        QCOMPARE(page->geometry(), tool.app->mainFrame()->view()->rect());
        QVERIFY(page->screenWidth() > 0);

        auto* list = tool.find<QComboBox>("blockAddress");
        QCOMPARE(list->count(), 128);
        QCOMPARE(list->currentData().toInt(), 0);
        QCOMPARE(list->itemData(127).toInt(), 127);
        for (int block = 0; block < 128; ++block) {
            auto* field = tool.find<QLineEdit>(QStringLiteral("block%1").arg(block));
            QVERIFY(field != nullptr);
            QCOMPARE(field->maxLength(), 8);
            QCOMPARE(field->property("controlId").toInt(), 5000 + block);
            auto* label = tool.find<QLabel>(QStringLiteral("block%1Label").arg(block));
            QCOMPARE(label->text(), QStringLiteral("Block%1").arg(block));
            QCOMPARE(label->property("controlId").toInt(), 5500 + block);
            QCOMPARE(field->accessibleName(), label->text());
        }
        for (int column = 0; column < 4; ++column) {
            auto* header = tool.find<QLabel>(QStringLiteral("blockHeader%1").arg(column));
            QCOMPARE(header->text(), QString("Byte3...Byte0"));
            QCOMPARE(header->property("controlId").toInt(), 6000 + column);
        }
        QTabBar* tabs = page->viewTabs();
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(tabs->tabText(0), QString("First Page"));
        QCOMPARE(tabs->tabText(1), QString("Second Page"));
        QCOMPARE(tool.find<QLineEdit>("uid")->accessibleName(), QString("UID"));

        const auto field = [&](int block) {
            return tool.find<QLineEdit>(QStringLiteral("block%1").arg(block));
        };
        const auto shown = [&](int block) { return field(block)->isVisibleTo(page); };
        // Four columns of sixteen.
        QCOMPARE(field(15)->x(), field(0)->x());
        QVERIFY(field(16)->x() > field(15)->x() + field(15)->width());
        QCOMPARE(field(16)->y(), field(0)->y());
        QVERIFY(field(1)->y() >= field(0)->y() + field(0)->height());
        QVERIFY(field(63)->geometry().bottom() <= page->blockGrid()->height());

        QCOMPARE(page->currentView(), 0);
        QVERIFY(shown(0) && shown(63) && !shown(64) && !shown(127));
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
        QCOMPARE(page->currentView(), 1);
        QVERIFY(!shown(0) && !shown(63) && shown(64) && shown(127));
        QCOMPARE(field(64)->geometry(), field(0)->geometry());
        QCOMPARE(tool.find<QLabel>("block64Label")->isVisibleTo(page), true);
        QCOMPARE(tool.find<QLabel>("block0Label")->isVisibleTo(page), false);
        // Clicking it again changes nothing.
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
        QCOMPARE(page->currentView(), 1);
        QVERIFY(!shown(0) && shown(64));
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
        QVERIFY(shown(0) && !shown(64));
    }

    void srix4kGridFollowsTheScreenWidth() {
        StTool tool(kSrix4kPage, kSrix4k);
        auto* page = qobject_cast<CSrix4kDlg*>(tool.page());
        const auto right = [&](int block) {
            return tool.find<QLineEdit>(QStringLiteral("block%1").arg(block))->geometry().right() +
                   page->blockGrid()->x();
        };
        const auto left = [&](int block) {
            return tool.find<QLineEdit>(QStringLiteral("block%1").arg(block))->x();
        };
        QVERIFY(page->blockGrid()->width() > 700);
        page->layOutFor(640);
        QCOMPARE(page->screenWidth(), 640);
        QVERIFY2(right(48) <= 640, qPrintable(QString::number(right(48))));
        const int narrow = left(16) - left(0);
        page->layOutFor(1920);
        QVERIFY(left(16) - left(0) > narrow);
        QVERIFY(right(48) <= page->width());
    }

    void srix4kSearchReadUidAndReadCard() {
        StTool tool(kSrix4kPage, kSrix4k);
        tool.set("block16", "01");
        tool.click("searchCard");
        QCOMPARE(tool.resultText(), QString("Search card successfully"));
        QCOMPARE(tool.text("chipId").size(), 2);
        QVERIFY(tool.text("block16").isEmpty());

        tool.click("readUid");
        QCOMPARE(tool.resultText(), QString("Read UID success"));
        QCOMPARE(tool.text("uid"), srixUid(4660));
        QVERIFY(tool.text("uid").endsWith("02D0"));

        const std::size_t before = tool.sim.requests();
        tool.click("readCard");
        QCOMPARE(tool.resultText(), QString("Read card successfully"));
        QCOMPARE(tool.sim.requests() - before, std::size_t{128});
        QCOMPARE(tool.text("block0"), QString("FFFFFFFF")); // OTP area
        QCOMPARE(tool.text("block5"), QString("FEFFFFFF")); // counters
        QCOMPARE(tool.text("block6"), QString("FFFFFFFF"));
        QCOMPARE(tool.text("block16"), QString("DEADBEEF"));
        QCOMPARE(tool.text("block127"), QString("7F7F7F7F"));
    }

    void srix4kReadFailingAtBlock70KeepsBlocks0To69() {
        StTool tool(kSrix4kPage, kSrix4k);
        tool.click("searchCard");
        tool.sim.reader.faults().onceAfter(70, sim::Fault::badChecksum());
        tool.click("readCard");
        QCOMPARE(tool.resultText(), QString("Error: fc ,Function: Read Block: 70 failed!"));
        QCOMPARE(tool.text("block16"), QString("DEADBEEF"));
        QCOMPARE(tool.text("block69"), QString("00000000"));
        QVERIFY(tool.text("block70").isEmpty());
        QVERIFY(tool.text("block127").isEmpty());

        // With the antenna off no tag hears the reader.
        tool.sim.reader.access([](sim::ReaderState&, sim::Field& field) { field.setAntenna(false); });
        tool.click("readUid");
        QCOMPARE(tool.resultText(), QString("Error: 1 ,Function: rf_srix4k_getuid"));
        tool.click("readCard");
        QCOMPARE(tool.resultText(), QString("Error: 1 ,Function: Read Block: 0 failed!"));
    }

    void srix4kWriteCardFollowsTheBlockKinds() {
        StTool tool(kSrix4kPage, kSrix4k);
        tool.click("searchCard");
        tool.chooseBlock(20);
        tool.set("block20", "01020304");
        tool.click("writeCard");
        QCOMPARE(tool.resultText(), QString("Write card successfully"));
        // OTP block 0 only clears bits.
        tool.chooseBlock(0);
        tool.set("block0", "0F0F0F0F");
        tool.click("writeCard");
        QCOMPARE(tool.resultText(), QString("Write card successfully"));
        // A counter only counts down.
        tool.chooseBlock(5);
        tool.set("block5", "FFFFFFFF");
        tool.click("writeCard");
        QCOMPARE(tool.resultText(), QString("Error: 4 ,Function: rf_srix4k_writeblock"));
        tool.click("readCard");
        QCOMPARE(tool.text("block20"), QString("01020304"));
        QCOMPARE(tool.text("block0"), QString("0F0F0F0F"));
        QCOMPARE(tool.text("block5"), QString("FEFFFFFF"));

        tool.chooseBlock(20);
        for (const char* entry : {"", "010203", "0102030"}) {
            tool.set("block20", entry);
            tool.clickForNothing("writeCard");
        }
    }

    void srix4kLockBlockWithItsConfirmation() {
        StTool tool(kSrix4kPage, kSrix4k);
        tool.click("searchCard");
        tool.set("lockRegister", "FE");
        tool.boxes.answers = {MessageBoxes::AnswerCancel};
        const std::size_t before = tool.sim.requests();
        tool.click("lockBlock");
        QCOMPARE(tool.boxes.shown.size(), 1);
        QCOMPARE(tool.boxes.shown[0].text, QString("Do you really need to lock block?"));
        QCOMPARE(tool.boxes.shown[0].caption, QString("Warning"));
        QCOMPARE(tool.sim.requests(), before);

        // Bit 0 cleared locks blocks 7 and 8.
        tool.click("lockBlock");
        QCOMPARE(tool.resultText(), QString("Lock block success"));
        tool.chooseBlock(7);
        tool.set("block7", "01020304");
        tool.click("writeCard");
        QCOMPARE(tool.resultText(), QString("Error: 4 ,Function: rf_srix4k_writeblock"));
        tool.chooseBlock(9);
        tool.set("block9", "01020304");
        tool.click("writeCard");
        QCOMPARE(tool.resultText(), QString("Write card successfully"));

        for (const char* entry : {"", "F"}) {
            tool.set("lockRegister", entry);
            tool.clickForNothing("lockBlock");
        }
    }

    // ---- both ------------------------------------------------------------------

    void withOneTagOfEachTheOtherIsReachedOffTheDesk() {
        StTool tool(kSrix4kPage, kBoth);
        sim::Desk desk(tool.sim.reader);
        // Both on the reader: the SR176 answers the select, and is no SRIX4K.
        tool.click("searchCard");
        QCOMPARE(tool.resultText(), QString("Search card successfully"));
        QCOMPARE(tool.text("chipId"), QString("05"));
        tool.click("readCard");
        QCOMPARE(tool.resultText(), QString("Error: 8 ,Function: Read Block: 0 failed!"));

        desk.command("only 2");
        tool.click("searchCard");
        tool.click("readUid");
        QCOMPARE(tool.text("uid"), srixUid(4660));
        tool.click("readCard");
        QCOMPARE(tool.resultText(), QString("Read card successfully"));
        QCOMPARE(tool.text("block16"), QString("DEADBEEF"));

        desk.command("only 1");
        tool.app->mainFrame()->OnCardType(kSr176Page);
        tool.click("searchCard");
        QCOMPARE(tool.text("chipId"), QString("05"));
        tool.click("readCard");
        QCOMPARE(tool.resultText(), QString("Read card successfully"));
        QCOMPARE(tool.text("block4"), QString("A1A2"));
    }

    void withoutReaderNothingIsSent_data() {
        QTest::addColumn<int>("cardType");
        QTest::addColumn<QString>("button");
        for (const char* button : {"searchCard", "readCard", "writeCard", "readLockReg", "lockBlock"})
            QTest::newRow(qPrintable(QStringLiteral("SR176 ") + button)) << kSr176Page << button;
        for (const char* button : {"searchCard", "readUid", "readCard", "writeCard", "lockBlock"})
            QTest::newRow(qPrintable(QStringLiteral("SRIX4K ") + button)) << kSrix4kPage << button;
    }
    void withoutReaderNothingIsSent() {
        QFETCH(int, cardType);
        QFETCH(QString, button);
        StTool tool(cardType, kBoth);
        tool.app->mainFrame()->OnDisconnect();
        tool.set("lockRegister", "01");
        tool.set("block0", cardType == kSr176Page ? "0102" : "01020304");
        const std::size_t before = tool.sim.requests();
        tool.click(button);
        QCOMPARE(tool.resultText(), QString("Error: Cannot connect to device"));
        QCOMPARE(tool.sim.requests(), before);
        QVERIFY(tool.boxes.shown.isEmpty());
    }
};

OSKELLE_TEST(StPagesTest);
#include "st_pages_test.moc"
