// How fast the card tool starts and switches card pages, offscreen, against
// the simulator on COM1: from process start (fork and exec included) to the
// main window shown, and one card-type switch; medians of several runs.
//
//   start_bench [runs]
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "app/app.h"
#include "app/main_frame.h"
#include "services/message_boxes.h"
#include "simulator/commands/families.h"
#include "simulator/scenario/scenario.h"
#include "simulator/servers/pty_server.h"

namespace {

using Clock = std::chrono::steady_clock;

long long nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

class SilentBoxes : public MessageBoxes {
  public:
    Answer show(QWidget*, const QString& text, const QString&, Icon, Buttons) override {
        std::fprintf(stderr, "box: %s\n", qPrintable(text));
        return AnswerOk;
    }
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One start of the tool: prints "<start ms> <switch ms>".
int child(long long startedNs) {
    int argc = 1;
    char name[] = "start_bench";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    SilentBoxes boxes;
    CTavistoApp app(QStringLiteral(OSKELLE_BIN_DIR), boxes);
    if (!app.InitInstance()) return 1;
    // Shown means exposed: the window system has the window on screen.
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!(app.mainFrame()->windowHandle() && app.mainFrame()->windowHandle()->isExposed())) {
        if (Clock::now() > deadline) return 1;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    const double startMs = (nowNs() - startedNs) / 1e6;
    std::vector<double> switches;
    for (int round = 0; round < 5; ++round)
        for (int type : {0, 9, 1}) {
            const auto before = Clock::now();
            app.mainFrame()->OnCardType(type);
            QApplication::processEvents();
            switches.push_back(std::chrono::duration<double, std::milli>(Clock::now() - before).count());
        }
    std::printf("%.1f %.2f\n", startMs, median(switches));
    app.ExitInstance();
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc == 3 && std::string(argv[1]) == "--child") return child(std::atoll(argv[2]));
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;

    sim::Reader reader;
    const sim::Equipment equipment = sim::installAllFamilies(reader);
    sim::PtyServer pty(reader);
    pty.start();
    QTemporaryDir config;
    ::setenv("VARROK_COM1", pty.path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QTemporaryDir runtime;
    ::setenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit().constData(), 1);

    std::vector<double> starts;
    std::vector<double> switches;
    for (int run = 0; run < runs; ++run) {
        int pipeFds[2];
        if (::pipe(pipeFds) != 0) return 1;
        const std::string started = std::to_string(nowNs());
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(pipeFds[1], STDOUT_FILENO);
            ::execl("/proc/self/exe", argv[0], "--child", started.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        ::close(pipeFds[1]);
        char line[128] = {};
        const ssize_t got = ::read(pipeFds[0], line, sizeof line - 1);
        ::close(pipeFds[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        double startMs = 0;
        double switchMs = 0;
        if (got <= 0 || std::sscanf(line, "%lf %lf", &startMs, &switchMs) != 2) {
            std::fprintf(stderr, "run %d failed\n", run);
            return 1;
        }
        starts.push_back(startMs);
        switches.push_back(switchMs);
    }
    std::printf("card tool, %d runs, offscreen, simulator on COM1 (pty)\n", runs);
    std::printf("  start to main window shown: median %.1f ms (min %.1f, max %.1f)\n", median(starts),
                *std::min_element(starts.begin(), starts.end()),
                *std::max_element(starts.begin(), starts.end()));
    std::printf("  card-type switch:           median %.2f ms\n", median(switches));
    return 0;
}
