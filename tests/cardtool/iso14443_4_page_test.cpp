// The ISO 14443-4 page end to end: resets of both card types on both kinds of
// reader, APDUs and their log, the command book from file to window and back,
// the inputs refused before anything is sent, and the continuous reset.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include "app/app.h"
#include "app/main_frame.h"
#include "pages/iso14443_4_page.h"
#include "table_row.h"
#include "tool_fixture.h"
#include "widgets/command_book.h"
#include "widgets/continuous_toggle.h"

using namespace tooltest;

namespace {

constexpr int kPage = 5;
const QString kSelect = "00A4040C07F056524B415050"; // selects the sample application, no answer data

QString scenario(const char* firmware, const char* card) {
    return QStringLiteral(R"({"reader": {"firmware": "%1"}, "cards": [%2]})").arg(firmware, card);
}

const char* const kNew = "01 35"; // model word 0x3501: finds the card and sends RATS in two commands
const char* const kOld = "01 02";
const char* const kSmartA = R"({"kind": "iso14443_4a", "uid": "04 11 22 33 44 55 66", "historical": "AABB"})";
const char* const kClassic = R"({"kind": "classic1k", "uid": "11223344"})";
const char* const kTypeB = R"({"kind": "typeb", "pupi": "A1B2C3D4"})";

QString error(sim::Status status, const char* function) {
    return QStringLiteral("Error: %1 ,Function: %2").arg(int(status), 0, 16).arg(function);
}

QString text(const RunningTool& tool, const char* name) { return tool.find<QLineEdit>(name)->text(); }

QByteArray bookFile(const QStringList& entries) {
    QByteArray file(4, '\0');
    qToLittleEndian<quint32>(static_cast<quint32>(entries.size()), file.data());
    for (const QString& entry : entries) {
        QByteArray length(4, '\0');
        qToLittleEndian<quint32>(static_cast<quint32>(entry.size()), length.data());
        file += length + entry.toLatin1();
    }
    return file;
}

QStringList bookIn(const RunningTool& tool, const char* name) {
    CommandBook book(tool.folder.path() + "/" + name);
    book.load();
    return book.entries();
}

// Double-clicks entry `row` of the book window that the next click opens.
void chooseFromBookWhenOpen(int row) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, row, tries = 0]() mutable {
        auto* dialog = qobject_cast<CommandBookDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr && ++tries < 300) return;
        poll->deleteLater();
        poll->stop();
        if (dialog == nullptr) return;
        QListWidget* list = dialog->list();
        if (row < list->count()) {
            const QPoint at = list->visualItemRect(list->item(row)).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        }
        if (dialog->isVisible()) dialog->reject();
    });
    poll->start();
}

void send(const RunningTool& tool, const QString& command) {
    tool.find<QLineEdit>("cosCommand")->setText(command);
    tool.click("send");
}

} // namespace

class Iso14443_4PageTest : public QObject {
    Q_OBJECT
  private slots:
    void resetFillsTheCardFields_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("typeB");
        QTest::addColumn<QString>("csn");
        QTest::addColumn<QString>("pupi");
        QTest::addColumn<QString>("resetInfo");
        QTest::addColumn<QString>("result");
        const char* ok = "Reset operation success";
        row("new reader, Type A", scenario(kNew, kSmartA), false, "04112233445566", "", "0778008102AABB", ok);
        row("older reader, answer split after 4 bytes", scenario(kOld, kSmartA), false, "04112233", "",
            "4455660778008102AABB", ok);
        row("older reader, 4 bytes fill the serial number only", scenario(kOld, kClassic), false, "11223344",
            "", "", ok);
        row("Type B", scenario(kOld, kTypeB), true, "", "A1B2C3D4", "50A1B2C3D400000000008181", ok);
        row("new reader, a card without RATS", scenario(kNew, kClassic), false, "11223344", "", "",
            error(sim::Status::CardRefused, "rf_iso14443_4_type_a_reset"));
        row("new reader, no card", scenario(kNew, ""), false, "", "", "",
            error(sim::Status::NoCard, "rf_search_type_a"));
        row("older reader, no card", scenario(kOld, ""), false, "", "", "",
            error(sim::Status::NoCard, "rf_typea_rst"));
        row("Type B, no card", scenario(kOld, kSmartA), true, "", "", "",
            error(sim::Status::NoCard, "rf_atqb"));
    }
    void resetFillsTheCardFields() {
        QFETCH(QString, field);
        QFETCH(bool, typeB);
        QFETCH(QString, csn);
        QFETCH(QString, pupi);
        QFETCH(QString, resetInfo);
        QFETCH(QString, result);
        RunningTool tool(field.toUtf8().constData());
        tool.app->mainFrame()->OnCardType(kPage);
        for (const char* name : {"csn", "pupi", "resetInfo"})
            tool.find<QLineEdit>(name)->setText("EE");
        tool.find<QRadioButton>(typeB ? "typeB" : "typeA")->setChecked(true);
        tool.click("reset");
        QCOMPARE(tool.resultText(), result);
        QCOMPARE(text(tool, "csn"), csn);
        QCOMPARE(text(tool, "pupi"), pupi);
        QCOMPARE(text(tool, "resetInfo"), resetInfo);
        if (!typeB) QCOMPARE(CIso14443_4Dlg::newReader(), field.contains(kNew));
    }

    void sendLogsAnswersAndKeepsTheBook() {
        RunningTool tool(scenario(kOld, kTypeB).toUtf8().constData());
        // A book from an earlier run, with an entry that a hand edit left not hex.
        const QStringList earlier{"0084000008", QString::fromLatin1("not hex \xff")};
        tool.folder.put("cosbooks.j", bookFile(earlier));
        tool.app->mainFrame()->OnCardType(kPage);
        QCOMPARE(text(tool, "timeout"), QString("2000"));
        QVERIFY(tool.find<QRadioButton>("typeA")->isChecked());
        tool.find<QRadioButton>("typeB")->setChecked(true);
        tool.click("reset");
        auto* answers = tool.find<QPlainTextEdit>("answers");
        send(tool, kSelect.toLower());
        QCOMPARE(tool.resultText(), QString("Send operation success"));
        send(tool, kSelect);
        send(tool, "00B0000002");
        QCOMPARE(answers->toPlainText(), QString("9000\n\n9000\n\n00009000\n\n"));
        tool.click("clear");
        QCOMPARE(tool.resultText(), QString("Clear display info successful!"));
        QVERIFY(answers->toPlainText().isEmpty());

        // An entry that is not hex is refused: the field keeps what it showed.
        chooseFromBookWhenOpen(1);
        tool.click("commandBook");
        QCOMPARE(text(tool, "cosCommand"), QString("00B0000002"));
        // A command that fails is booked all the same.
        tool.sim.reader.access([](sim::ReaderState&, sim::Field& f) { f.clear(); });
        send(tool, "0084000008");
        QCOMPARE(tool.resultText(), error(sim::Status::NoCard, "rf_cos_command"));

        tool.app->mainFrame()->OnCardType(1);
        QCOMPARE(bookIn(tool, "cosbooks.j"), (earlier + QStringList{kSelect, "00B0000002", "0084000008"}));
        QVERIFY(!QFile::exists(tool.folder.path() + "/samcosbooks.j"));

        // A book that cannot be written is not kept, and nothing else suffers.
        QFile::remove(tool.folder.path() + "/cosbooks.j");
        QVERIFY(QDir(tool.folder.path()).mkdir("cosbooks.j"));
        tool.app->mainFrame()->OnCardType(kPage);
        send(tool, kSelect);
        QCOMPARE(tool.resultText(), error(sim::Status::NoCard, "rf_cos_command"));
        tool.app->mainFrame()->OnCardType(1);
        QVERIFY(QFileInfo(tool.folder.path() + "/cosbooks.j").isDir());
    }

    void refusedInputSendsNothing_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("timeout");
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("result");
        const char* range = "Please enter an integer between 0 and 100000.";
        const char* unconnected = "Error: Cannot connect to device";
        row("no command", "send", "2000", "", true, "COS command is NULL!", "");
        row("time-out not a number", "send", "2 s", kSelect, true, range, "");
        row("time-out empty", "send", "", kSelect, true, range, "");
        row("time-out negative", "send", "-1", kSelect, true, range, "");
        row("time-out too long", "send", "100001", kSelect, true, range, "");
        row("command too long", "send", "100000", QString(512, 'A'), true,
            "COS command is longer than 255 bytes!", "");
        row("send, not connected", "send", "0", kSelect, false, "", unconnected);
        row("reset, not connected", "reset", "0", kSelect, false, "", unconnected);
    }
    void refusedInputSendsNothing() {
        QFETCH(QString, button);
        QFETCH(QString, timeout);
        QFETCH(QString, command);
        QFETCH(bool, connected);
        QFETCH(QString, box);
        QFETCH(QString, result);
        RunningTool tool(scenario(kOld, kTypeB).toUtf8().constData());
        tool.app->mainFrame()->OnCardType(kPage);
        if (!connected) tool.app->mainFrame()->OnDisconnect();
        tool.find<QLineEdit>("timeout")->setText(timeout);
        tool.find<QLineEdit>("cosCommand")->setText(command);
        const QString before = tool.resultText();
        const std::size_t requests = tool.sim.requests();
        tool.click(button);
        QCOMPARE(tool.sim.requests(), requests);
        QCOMPARE(tool.resultText(), result.isEmpty() ? before : result);
        QCOMPARE(tool.boxes.shown.size(), box.isEmpty() ? 0 : 1);
        if (!box.isEmpty()) {
            QCOMPARE(tool.boxes.shown[0].text, box);
            QCOMPARE(tool.boxes.shown[0].caption, QString("Error"));
            QCOMPARE(tool.boxes.shown[0].icon, MessageBoxes::Stop);
        }
        QVERIFY(qobject_cast<CIso14443_4Dlg*>(tool.page())->book().entries().isEmpty());
    }

    void continuousResetRepeatsUntilStopped() {
        RunningTool tool(scenario(kOld, kSmartA).toUtf8().constData());
        tool.app->mainFrame()->OnCardType(kPage);
        auto* toggle = tool.find<QPushButton>("continuousReset");
        QVERIFY(!tool.find<QPushButton>("halt")->isVisible());
        const std::size_t before = tool.sim.requests();
        tool.click("continuousReset");
        QCOMPARE(toggle->text(), QString("Stop"));
        // A reset takes five requests: antenna off, protocol, antenna on, model, card reset.
        QTRY_VERIFY(tool.sim.requests() >= before + 15);
        QCOMPARE(text(tool, "csn"), QString("04112233"));
        tool.click("continuousReset");
        QCOMPARE(toggle->text(), QString("Continuous Reset"));
        QVERIFY(!toggle->findChild<ContinuousToggle*>()->running());
    }
};

OSKELLE_TEST(Iso14443_4PageTest);
#include "iso14443_4_page_test.moc"
