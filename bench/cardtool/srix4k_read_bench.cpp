// Times Read Card on the card tool's SRIX4K page against the simulator, over
// the pseudo-terminal (COM1) and over TCP: from the click to the last block
// shown (block 127 filled, and once more after the window has repainted), and
// how much of it the 128 library calls take (the reader's exchanges). The
// rest is the page's own work. For comparison it also times the same 128
// calls made straight through the library, without the page.
//
//   srix4k_read_bench [runs]        (default 20 runs per transport)
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise. The tool's settings
// go to a temporary folder; the library is the one the build puts in bin/.
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/app.h"
#include "app/main_frame.h"
#include "app/view.h"
#include "bench_tool.h"
#include "pages/st_pages.h"
#include "simulator/commands/families.h"
#include "simulator/reader/reader.h"
#include "simulator/scenario/scenario.h"
#include "simulator/servers/pty_server.h"
#include "simulator/servers/tcp_server.h"

namespace {

using Clock = std::chrono::steady_clock;

// The time spent inside rf_srix4k_readblock: the page's calls go through this.
decltype(ReaderApi::rf_srix4k_readblock.fn) realReadBlock = nullptr;
Clock::duration insideLibrary{};
int librarySteps = 0;

int timedReadBlock(unsigned short icdev, unsigned char block, unsigned char* data, unsigned char* length) {
    const auto start = Clock::now();
    const int code = realReadBlock(icdev, block, data, length);
    insideLibrary += Clock::now() - start;
    ++librarySteps;
    return code;
}

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Figures {
    std::vector<double> toLastBlock, toRepainted, library, bareLibrary;
};

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

bool measure(CTavistoApp& app, int runs, Figures& figures) {
    CMainFrame* frame = app.mainFrame();
    frame->OnCardType(4);
    auto* page = qobject_cast<CSrix4kDlg*>(frame->view()->page());
    if (page == nullptr) return false;
    page->findChild<QPushButton*>("searchCard")->click();
    if (frame->resultLine()->text() != QLatin1String("Search card successfully")) {
        std::fprintf(stderr, "search failed: %s\n", qPrintable(frame->resultLine()->text()));
        return false;
    }
    QPushButton* read = page->findChild<QPushButton*>("readCard");
    HexEdit* last = page->blockField(127);
    Clock::time_point lastShown;
    QObject::connect(last, &QLineEdit::textChanged, [&](const QString& text) {
        if (!text.isEmpty()) lastShown = Clock::now();
    });

    auto& api = const_cast<ReaderApi&>(app.api());
    realReadBlock = api.rf_srix4k_readblock.fn;
    api.rf_srix4k_readblock.fn = &timedReadBlock;
    for (int run = 0; run < runs; ++run) {
        QCoreApplication::processEvents();
        insideLibrary = {};
        librarySteps = 0;
        lastShown = {};
        const auto clicked = Clock::now();
        read->click();
        QCoreApplication::processEvents(); // the fields repaint
        const auto repainted = Clock::now();
        if (librarySteps != 128 || lastShown == Clock::time_point{} ||
            frame->resultLine()->text() != QLatin1String("Read card successfully")) {
            std::fprintf(stderr, "read failed: %s\n", qPrintable(frame->resultLine()->text()));
            api.rf_srix4k_readblock.fn = realReadBlock;
            return false;
        }
        figures.toLastBlock.push_back(ms(lastShown - clicked));
        figures.toRepainted.push_back(ms(repainted - clicked));
        figures.library.push_back(ms(insideLibrary));
    }
    api.rf_srix4k_readblock.fn = realReadBlock;

    // The same 128 calls without the page.
    const unsigned short icdev = app.CurrentConnection.icdev();
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        for (int block = 0; block < 128; ++block) {
            unsigned char data[8] = {};
            unsigned char length = 0;
            if (api.rf_srix4k_readblock(icdev, static_cast<unsigned char>(block), data, &length) != 0)
                return false;
        }
        figures.bareLibrary.push_back(ms(Clock::now() - start));
    }
    return true;
}

void report(const char* transport, const Figures& f) {
    const double total = median(f.toLastBlock);
    const double library = median(f.library);
    std::printf(
        "%-4s click -> block 127 shown: median %7.2f ms (min %.2f, max %.2f); after repaint %7.2f ms\n",
        transport, total, *std::min_element(f.toLastBlock.begin(), f.toLastBlock.end()),
        *std::max_element(f.toLastBlock.begin(), f.toLastBlock.end()), median(f.toRepainted));
    std::printf("     inside the 128 library calls (reader exchanges): %7.2f ms = %.3f ms each\n", library,
                library / 128);
    std::printf("     not the reader's exchanges (page work): %7.2f ms = %4.1f %% of click -> block 127, "
                "%4.1f %% of click -> repainted\n",
                total - library, total > 0 ? 100 * (total - library) / total : 0,
                median(f.toRepainted) > 0 ? 100 * (median(f.toRepainted) - library) / median(f.toRepainted)
                                          : 0);
    std::printf("     the same 128 calls without the page: %7.2f ms\n", median(f.bareLibrary));
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    QApplication application(argc, argv);
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());

    sim::Reader reader;
    sim::Equipment equipment = sim::installAllFamilies(reader);
    sim::applyScenario(
        sim::parseScenario(R"({"cards": [{"kind": "srix4k", "serial": 4660}]})", sim::allCardKinds()),
        reader);
    sim::PtyServer pty(reader);
    sim::TcpServer tcp(reader);
    pty.start();
    tcp.start(0);
    BenchTool tool(pty.path());
    if (!tool.start()) return 1;
    CTavistoApp& app = tool.app;
    std::printf("SRIX4K Read Card, %d runs per transport (128 blocks, one exchange each)\n", runs);

    Figures serial;
    if (!measure(app, runs, serial)) return 1;
    report("pty", serial);

    CMainFrame* frame = app.mainFrame();
    frame->OnDisconnect();
    ConnectionInfo net(kTcpPort, 1);
    net.ipAddr = QStringLiteral("127.0.0.1");
    net.tcpPort = tcp.port();
    app.CurrentConnection = net;
    frame->OnConnect();
    if (!app.CurrentConnection.IsConnected()) {
        std::fprintf(stderr, "the tool did not connect to TCP port %d\n", tcp.port());
        return 1;
    }
    frame->OnCardType(3); // away and back: measure() starts on a fresh SRIX4K page
    Figures network;
    if (!measure(app, runs, network)) return 1;
    report("tcp", network);

    // On a real serial line the bytes alone take their time: a request of 9
    // bytes and an answer of 13, ten bits a byte.
    for (const int baud : {19200, 115200})
        std::printf("for comparison, the bytes of 128 exchanges on a serial line at %d baud: %.0f ms\n", baud,
                    128 * 22 * 10 * 1000.0 / baud);
    app.ExitInstance();
    tcp.stop();
    pty.stop();
    return 0;
}
