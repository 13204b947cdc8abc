// Long operations end to end through the library and the simulator: a reader
// that goes silent in the middle of the SRIX4K read while the window keeps
// answering, refuses a second click and stops on Stop with what was read kept;
// closing the window under a call; a continuous search that stops on one click
// while the reader is silent; the flash test's messages each painted; and the
// frame trace pane, which traces only while it is open.
#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include "app/app.h"
#include "app/main_frame.h"
#include "app/operation_bar.h"
#include "app/trace_pane.h"
#include "connection/setting_dlg.h"
#include "services/library_calls.h"
#include "tool_fixture.h"

using namespace tooltest;

namespace {

constexpr int kSrix4kPage = 4;
constexpr const char* kSrix4k =
    R"({"cards": [{"kind": "srix4k", "serial": 4660, "blocks": {"3": "DEADBEEF"}}]})";
constexpr int kAnsweredBlocks = 10;

// Counts the ticks of a 10 ms timer: the GUI thread answers as long as they come.
struct Ticker {
    Ticker() {
        QObject::connect(&timer, &QTimer::timeout, [this] { ++ticks; });
        timer.start(10);
    }
    QTimer timer;
    int ticks = 0;
};

// The SRIX4K page after a search. A read then answers kAnsweredBlocks blocks
// at once; from then on the reader commits the fault given, and then() runs
// on the GUI thread after the delay given, in the middle of the read.
struct SlowRead : RunningTool {
    SlowRead() : RunningTool(kSrix4k) {
        app->mainFrame()->OnCardType(kSrix4kPage);
        click("searchCard");
        QObject::connect(&app->library.calls(), &LibraryCalls::progress, [this](int exchanges, qint64) {
            if (exchanges != kAnsweredBlocks || !then_) return;
            sim.reader.faults().always(fault_);
            QTimer::singleShot(delayMs_, app->mainFrame(), std::exchange(then_, {}));
        });
    }
    void afterBlocks(sim::Fault fault, int delayMs, std::function<void()> then) {
        fault_ = fault;
        delayMs_ = delayMs;
        then_ = std::move(then);
    }
    QString block(int n) const { return find<QLineEdit>(QStringLiteral("block%1").arg(n))->text(); }

    sim::Fault fault_;
    int delayMs_ = 0;
    std::function<void()> then_;
};

} // namespace

class LongOperationsTest : public QObject {
    Q_OBJECT
  private slots:
    void stopDuringASilentReadKeepsWhatWasReadAndRefusesOtherClicks() {
        SlowRead tool;
        Ticker ticker;
        int ticksWhileSlow = -1;
        // Each block now takes 100 ms; the reader is still in the middle of one when Stop comes.
        tool.afterBlocks(sim::Fault::late(std::chrono::milliseconds(100)), 450, [&] {
            ticksWhileSlow = ticker.ticks;
            // Refused, not queued: a second read, a search and another card type.
            tool.click("readCard");
            tool.click("searchCard");
            QTest::mouseClick(tool.app->mainFrame()->cardToolBar()->widgetForAction(
                                  tool.app->mainFrame()->cardTypeAction(1)),
                              Qt::LeftButton);
            QTest::mouseClick(tool.app->mainFrame()->operationBar()->stopButton(), Qt::LeftButton);
        });
        tool.click("readCard");
        // The window answered all along: the 10 ms timer ticked through the slow blocks.
        QVERIFY2(ticksWhileSlow > 20, qPrintable(tool.resultText()));
        QTRY_VERIFY2(tool.resultText().startsWith("Stopped by the user after "),
                     qPrintable(tool.resultText()));
        const QString stopped = tool.resultText();
        QCOMPARE(tool.block(3), QString("DEADBEEF"));
        QVERIFY(!tool.block(0).isEmpty());
        QVERIFY(tool.block(127).isEmpty());
        QVERIFY(tool.find<QLineEdit>("block3") != nullptr); // still the SRIX4K page
        // Nothing queued runs afterwards.
        QTest::qWait(300);
        QCOMPARE(tool.resultText(), stopped);
        QVERIFY(tool.app->mainFrame()->operationBar()->isHidden());

        // Escape stops as well, and the next operation starts afresh.
        tool.afterBlocks(sim::Fault::late(std::chrono::milliseconds(100)), 250,
                         [&] { QTest::keyClick(tool.app->mainFrame(), Qt::Key_Escape); });
        tool.click("readCard");
        QTRY_VERIFY(tool.resultText().startsWith("Stopped by the user"));
    }

    void closingUnderACallWaitsForIt() {
        SlowRead tool;
        bool visibleAfterClose = false;
        // The reader goes silent: the call in flight waits for its time-out.
        tool.afterBlocks(sim::Fault::silent(), 50, [&] {
            tool.app->mainFrame()->close();
            visibleAfterClose = tool.app->mainFrame()->isVisible();
        });
        tool.click("readCard");
        QVERIFY(visibleAfterClose);
        QTRY_VERIFY(!tool.app->mainFrame()->isVisible());
        QTRY_VERIFY(!tool.app->library.calls().operationRunning());
    }

    void continuousSearchStopsOnTheFirstClickUnderASilentReader() {
        RunningTool tool;
        tool.app->mainFrame()->OnCardType(1); // Mifare One
        auto* toggle = tool.find<QPushButton>("continuousSearch");
        tool.sim.reader.faults().always(sim::Fault::silent());
        std::size_t requestsAtClick = 0;
        const std::size_t before = tool.sim.requests();
        // The click comes while a search waits for the silent reader, after a few of them.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!tool.app->library.calls().inCall() || tool.sim.requests() < before + 2) return;
            poll.stop();
            requestsAtClick = tool.sim.requests();
            QTest::mouseClick(toggle, Qt::LeftButton);
        });
        poll.start(5);
        tool.click("continuousSearch");
        QTRY_VERIFY(requestsAtClick > 0);
        QTRY_VERIFY(tool.resultText().startsWith("Stopped by the user"));
        QCOMPARE(toggle->text(), QString("Continuous Search"));
        QTest::qWait(300);
        QCOMPARE(tool.sim.requests(), requestsAtClick);
    }

    void flashTestPaintsEachMessage() {
        RunningTool tool;
        CSettingDlg dialog(*tool.app, tool.app->mainFrame());
        Ticker ticker;
        QList<QPair<QString, int>> shown;
        QObject::connect(tool.app->mainFrame()->resultLine(), &ResultLine::shown, [&](const QString& text) {
            shown.append({text, ticker.ticks});
        });
        QTest::mouseClick(dialog.findChild<QPushButton*>("flashTest"), Qt::LeftButton);
        QCOMPARE(shown.size(), 3);
        QCOMPARE(shown[0].first, QString("Write flash successfully"));
        QCOMPARE(shown[1].first, QString("Read flash successfully"));
        QCOMPARE(shown[2].first, QString("Test flash successfully"));
        // The window went on ticking (and painting) while each message stood.
        QVERIFY(shown[1].second - shown[0].second >= 20);
        QVERIFY(shown[2].second - shown[1].second >= 20);
    }

    void stoppedWriteDefaultListsNoAddressItDidNotTry() {
        RunningTool tool(R"({"cards": [{"kind": "mifareplus2k", "uid": "04A1B2C3", "level": 0}]})");
        tool.app->mainFrame()->OnCardType(8); // MifarePlus
        tool.click("searchCard");
        QTRY_VERIFY(!tool.app->library.calls().operationRunning());
        QObject::connect(&tool.app->library.calls(), &LibraryCalls::progress, [&](int exchanges, qint64) {
            if (exchanges == 5) tool.app->library.calls().requestStop();
        });
        tool.find<QTabWidget>("levelTabs")->setCurrentIndex(0);
        tool.click("writeDefault");
        QTRY_COMPARE(tool.resultText(), QString("Stopped by the user after 5 exchanges"));
        QCOMPARE(tool.find<QListWidget>("errBlockList")->count(), 0);
    }

    void tracePaneShowsTheFramesOfASearchWhileOpen() {
        qunsetenv("VARROK_TRACE");
        const auto traceFolders = [] { return QDir::temp().entryList({"oskelle-trace-*"}).size(); };
        const auto foldersBefore = traceFolders();
        RunningTool tool;
        tool.app->mainFrame()->OnCardType(1); // Mifare One
        TracePane* pane = tool.app->mainFrame()->tracePane();
        QCOMPARE(traceFolders(), foldersBefore); // a run that never opens the pane leaves nothing behind
        QAction* view = tool.app->mainFrame()->findChild<QAction*>("frameTrace");
        QVERIFY(view != nullptr && pane->isHidden());
        tool.click("searchCard");
        pane->refresh();
        QVERIFY(pane->frames().isEmpty()); // closed: nothing traced

        view->trigger();
        QVERIFY(pane->tracing() && !qgetenv("VARROK_TRACE").isEmpty());
        const std::size_t before = tool.sim.requests();
        tool.click("searchCard");
        const int sent = int(tool.sim.requests() - before);
        QTRY_COMPARE(pane->frames().size(), 2 * sent); // each request and its answer
        const TraceFrame& request = pane->frames()[0];
        const TraceFrame& reply = pane->frames()[1];
        QVERIFY(request.sent && !reply.sent);
        QCOMPARE(request.command, reply.command);
        QVERIFY2(reply.status.startsWith("status 00 ok"), qPrintable(reply.status));
        QCOMPARE(request.frame.left(2), QByteArray("\xAA\xBB", 2));
        const QAbstractItemModel* model = pane->table()->model();
        QCOMPARE(model->data(model->index(1, 1)).toString(), QString("Received"));
        QCOMPARE(model->data(model->index(0, 2)).toString(), request.command);

        QTemporaryDir dir;
        QVERIFY(pane->saveText(dir.filePath("frames.txt")) && pane->savePcap(dir.filePath("frames.pcap")));
        QFile text(dir.filePath("frames.txt")), pcap(dir.filePath("frames.pcap"));
        QVERIFY(text.open(QIODevice::ReadOnly) && pcap.open(QIODevice::ReadOnly));
        const QByteArray lines = text.readAll();
        QCOMPARE(lines.count('\n'), pane->frames().size());
        QVERIFY(lines.startsWith(request.line.toUtf8() + '\n'));
        const QByteArray packets = pcap.readAll();
        const QByteArray name = request.reader.toLatin1();
        QCOMPARE(packets.mid(24 + 16, 2 + name.size()), char(0) + (char(name.size()) + name));
        QCOMPARE(packets.mid(24 + 18 + name.size(), request.frame.size()), request.frame);
        pane->table()->selectRow(1);
        QTest::mouseClick(pane->findChild<QPushButton*>("copyTrace"), Qt::LeftButton);
        QCOMPARE(QGuiApplication::clipboard()->text(), reply.line + '\n');
        QTest::mouseClick(pane->findChild<QPushButton*>("clearTrace"), Qt::LeftButton);
        QCOMPARE(pane->table()->model()->rowCount(), 0);

        view->trigger(); // closed again: the variable goes, and so do the frames
        QVERIFY(!pane->tracing() && qgetenv("VARROK_TRACE").isEmpty());
        tool.click("searchCard");
        pane->refresh();
        QCOMPARE(pane->frames().size(), 0);
    }
};

OSKELLE_TEST(LongOperationsTest);
#include "long_operations_test.moc"
