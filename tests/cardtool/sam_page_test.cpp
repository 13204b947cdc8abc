// The SAM page end to end: the slot and the rates chosen in the lists reach
// the reader, the answer to reset and PPS, APDUs with a book of their own,
// the name each failing call gets, and what is refused before anything is sent.
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>

#include "app/app.h"
#include "app/main_frame.h"
#include "pages/sam_page.h"
#include "simulator/reader/sam_slots.h"
#include "table_row.h"
#include "tool_fixture.h"
#include "widgets/command_book.h"

using namespace tooltest;

namespace {

constexpr int kPage = 7;
// SAMs of our own make in slots 1 and 3; the one in slot 3 sends its ATR at 55800.
constexpr const char* kSlots = R"({"sams": [{"slot": 1}, {"slot": 3, "atrbaud": 55800}]})";

QString hex(const sim::Bytes& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()))
        .toHex()
        .toUpper();
}

QString samError(std::uint8_t status, const char* function) {
    return QStringLiteral("Error: %1 ,Function: %2").arg(status, 0, 16).arg(function);
}

void choose(const RunningTool& tool, const char* list, const QString& item) {
    auto* combo = tool.find<QComboBox>(list);
    combo->setCurrentIndex(combo->findText(item));
}

} // namespace

class SamPageTest : public QObject {
    Q_OBJECT
  private slots:
    void resetAndPpsUseTheChosenSlotAndRates_data() {
        QTest::addColumn<QString>("slot");
        QTest::addColumn<QString>("resetRate");
        QTest::addColumn<QString>("ppsRate");
        QTest::addColumn<QString>("reset");
        QTest::addColumn<bool>("atr");
        QTest::addColumn<QString>("pps");
        const char* ok = "Reset operation success";
        const char* ppsOk = "rf_set_sam_PPS_byid Success!";
        const char* pps = "rf_set_sam_PPS_byid";
        using namespace sim::sam_status;
        row("SAM1 at 9600", "SAM1", "9600", "115200", ok, true, ppsOk);
        row("SAM3 at 55800", "SAM3", "55800", "57600", ok, true, ppsOk);
        row("faster than the SAM allows", "SAM1", "9600", "230400", ok, true, samError(PpsRefused, pps));
        row("ATR at another rate", "SAM3", "9600", "9600", samError(Mute, "rf_sam_rst"), false,
            samError(NotActivated, pps));
        row("empty slot", "SAM2", "9600", "9600", samError(Absent, "rf_sam_rst"), false,
            samError(Absent, pps));
    }
    void resetAndPpsUseTheChosenSlotAndRates() {
        QFETCH(QString, slot);
        QFETCH(QString, resetRate);
        QFETCH(QString, ppsRate);
        QFETCH(QString, reset);
        QFETCH(bool, atr);
        QFETCH(QString, pps);
        RunningTool tool(kSlots);
        tool.app->mainFrame()->OnCardType(kPage);
        choose(tool, "samNo", slot);
        choose(tool, "resetRate", resetRate);
        choose(tool, "ppsRate", ppsRate);
        QCOMPARE(int(qobject_cast<CSamDlg*>(tool.page())->slot()), slot.back().digitValue());
        tool.find<QLineEdit>("resetInfo")->setText("EE");
        tool.click("reset");
        QCOMPARE(tool.resultText(), reset);
        QCOMPARE(tool.find<QLineEdit>("resetInfo")->text(), atr ? hex(sim::buildAtr({})) : QString());
        tool.click("setPps");
        QCOMPARE(tool.resultText(), pps);
    }

    void eachFailingCallIsNamed_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("spared");
        QTest::addColumn<QString>("function");
        row("rate for the reset", "reset", 0, "rf_init_sam");
        row("reset", "reset", 1, "rf_sam_rst");
        row("PPS", "setPps", 0, "rf_set_sam_PPS_byid");
        row("APDU", "send", 0, "rf_sam_cos");
    }
    void eachFailingCallIsNamed() {
        QFETCH(QString, button);
        QFETCH(int, spared);
        QFETCH(QString, function);
        RunningTool tool(kSlots);
        tool.app->mainFrame()->OnCardType(kPage);
        tool.click("reset");
        tool.find<QLineEdit>("cosCommand")->setText("0084000008");
        tool.sim.reader.faults().onceAfter(static_cast<std::size_t>(spared), sim::Fault::badChecksum());
        tool.click(button);
        QCOMPARE(tool.resultText(), "Error: fc ,Function: " + function);
    }

    void sendLogsAnswersInABookOfItsOwn() {
        RunningTool tool(kSlots);
        tool.app->mainFrame()->OnCardType(kPage);
        QCOMPARE(tool.find<QComboBox>("resetRate")->count(), 7);
        QCOMPARE(tool.find<QComboBox>("ppsRate")->itemText(3), QString("55800"));
        QVERIFY(tool.find<QLineEdit>("resetInfo")->isReadOnly());
        QVERIFY(tool.find<QRadioButton>("samRate9600")->isChecked());
        QVERIFY(!tool.find<QRadioButton>("samRate9600")->isVisible());
        QCOMPARE(tool.find<QLineEdit>("timeout")->text(), QString("2000"));

        tool.click("reset");
        const QString select = "00A4040C" + hex({static_cast<std::uint8_t>(sim::Sam::standardAid().size())}) +
                               hex(sim::Sam::standardAid());
        tool.find<QLineEdit>("cosCommand")->setText(select);
        tool.click("send");
        QCOMPARE(tool.resultText(), QString("Send operation success"));
        tool.find<QLineEdit>("cosCommand")->setText("00B0000002");
        tool.click("send");
        auto* answers = tool.find<QPlainTextEdit>("answers");
        QCOMPARE(answers->toPlainText(), QString("9000\n\n00009000\n\n"));
        tool.click("clear");
        QVERIFY(answers->toPlainText().isEmpty());

        // Refused before anything is sent: the book stays as it was.
        const std::size_t requests = tool.sim.requests();
        tool.find<QLineEdit>("cosCommand")->clear();
        tool.click("send");
        QCOMPARE(tool.boxes.shown.size(), 1);
        QCOMPARE(tool.boxes.shown[0].text, QString("COS command is NULL!"));
        QCOMPARE(tool.boxes.shown[0].caption, QString("Error"));
        tool.app->mainFrame()->OnDisconnect();
        for (const char* button : {"reset", "setPps", "send"}) {
            tool.find<QLineEdit>("cosCommand")->setText("00");
            tool.click(button);
            QCOMPARE(tool.resultText(), QString("Error: Cannot connect to device"));
        }
        QCOMPARE(tool.sim.requests(), requests);

        tool.app->mainFrame()->OnCardType(1);
        CommandBook book(tool.folder.path() + "/samcosbooks.j");
        book.load();
        QCOMPARE(book.entries(), (QStringList{select, "00B0000002"}));
        QVERIFY(!QFile::exists(tool.folder.path() + "/cosbooks.j"));
    }
};

OSKELLE_TEST(SamPageTest);
#include "sam_page_test.moc"
