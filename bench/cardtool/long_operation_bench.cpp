// How long the card tool's window goes without answering during its long
// operations: the SRIX4K Read Card (128 exchanges) and the MifarePlus
// level-0 "Write default" (68 writes), against a reader that answers, one
// that goes silent part way for good (--fault) and one that misses a single
// answer part way (--fault-once). A 10 ms timer ticks on the GUI thread all
// along; the longest gap between two ticks is the longest stall.
//
//   long_operation_bench [runs] [--fault | --fault-once]   (default 10 runs, reader answering)
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise; the simulator is on
// COM1 (a pseudo-terminal). It builds on the tool from before its calls left
// the GUI thread too, for comparison.
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "app/app.h"
#include "app/main_frame.h"
#include "app/view.h"
#include "bench_tool.h"
#include "simulator/commands/families.h"
#include "simulator/reader/reader.h"
#include "simulator/scenario/scenario.h"
#include "simulator/servers/pty_server.h"

namespace {

constexpr std::size_t kAnsweredFirst = 20; // exchanges answered before the fault

enum class Fault { None, Lasting, Once };

// The longest gap between ticks of a 10 ms timer while it runs.
class StallMeter {
  public:
    StallMeter() {
        QObject::connect(&timer_, &QTimer::timeout,
                         [this] { longest_ = std::max(longest_, clock_.restart()); });
    }
    void start() {
        longest_ = 0;
        clock_.start();
        timer_.start(10);
    }
    qint64 stop() {
        timer_.stop();
        return std::max(longest_, clock_.elapsed());
    }

  private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 longest_ = 0;
};

struct Operation {
    const char* name;
    int cardType;
    const char* search; // the button that finds the card first
    const char* button;
    int tab; // the level tab the button is on, or -1
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void run(CTavistoApp& app, sim::Reader& reader, const Operation& op, Fault fault, int runs) {
    CMainFrame* frame = app.mainFrame();
    frame->OnCardType(op.cardType);
    QWidget* page = frame->view()->page();
    page->findChild<QPushButton*>(op.search)->click();
    if (op.tab >= 0) page->findChild<QTabWidget*>("levelTabs")->setCurrentIndex(op.tab);
    QPushButton* button = page->findChild<QPushButton*>(op.button);
    std::vector<double> times, stalls;
    for (int i = 0; i < runs; ++i) {
        reader.faults().clear();
        const std::size_t before = reader.requestCount();
        std::atomic<bool> done{false};
        std::thread silencer;
        if (fault == Fault::Once) reader.faults().onceAfter(kAnsweredFirst, sim::Fault::silent());
        if (fault == Fault::Lasting)
            silencer = std::thread([&] {
                while (!done && reader.requestCount() < before + kAnsweredFirst)
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
                reader.faults().always(sim::Fault::silent());
            });
        StallMeter meter;
        meter.start();
        QElapsedTimer clock;
        clock.start();
        button->click();
        // The operation ends once the event loop is idle again; the meter runs until then.
        for (int spin = 0; spin < 5; ++spin)
            QCoreApplication::processEvents();
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
        stalls.push_back(double(meter.stop()));
        done = true;
        if (silencer.joinable()) silencer.join();
        reader.faults().clear();
    }
    std::printf(
        "%-22s %-11s median %8.1f ms (min %8.1f, max %8.1f); longest stall: median %6.1f ms, max %6.1f ms\n",
        op.name,
        fault == Fault::None   ? "answering"
        : fault == Fault::Once ? "fault-once"
                               : "fault",
        median(times), *std::min_element(times.begin(), times.end()),
        *std::max_element(times.begin(), times.end()), median(stalls),
        *std::max_element(stalls.begin(), stalls.end()));
    std::printf("%-22s last result: %s\n", "", qPrintable(frame->resultLine()->text()));
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int runs = 10;
    Fault fault = Fault::None;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--fault") == 0)
            fault = Fault::Lasting;
        else if (std::strcmp(argv[i], "--fault-once") == 0)
            fault = Fault::Once;
        else
            runs = std::max(1, std::atoi(argv[i]));
    }
    QApplication application(argc, argv);
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());

    sim::Reader reader;
    sim::Equipment equipment = sim::installAllFamilies(reader);
    sim::applyScenario(sim::parseScenario(R"({"cards": [{"kind": "srix4k", "serial": 4660},
        {"kind": "mifareplus2k", "uid": "04A1B2C3", "level": 0}]})",
                                          sim::allCardKinds()),
                       reader);
    sim::PtyServer pty(reader);
    pty.start();
    BenchTool tool(pty.path());
    if (!tool.start()) return 1;
    CTavistoApp& app = tool.app;
    std::printf("%d runs each, simulator on COM1 (pty), fault after %zu exchanges\n", runs, kAnsweredFirst);
    run(app, reader, {"SRIX4K Read Card", 4, "searchCard", "readCard", -1}, fault, runs);
    run(app, reader, {"MifarePlus Write default", 8, "searchCard", "writeDefault", 0}, fault, runs);
    app.ExitInstance();
    pty.stop();
    return 0;
}
