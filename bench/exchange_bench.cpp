// What one exchange costs: the same 16-byte card read (a MIFARE Classic
// block) through the library and through a bare loopback socket that only
// sends the request and receives the answer, against one simulated reader in
// the same run. Prints both times, their ratio and, when strace is installed,
// the system calls each exchange takes on each road (the bench runs itself
// under strace; only the main thread is traced, so the simulator's own
// threads do not count). The library's road over the simulator's
// pseudo-terminal (as COM1) is timed and counted as well, and so is the TCP
// road with the frame trace off, on as text and on as pcap, each in a process
// of its own.
//
//   exchange_bench [count]        (default 20000 exchanges per road)
#include "link/packet.h"
#include "simulator/commands/families.h"
#include "simulator/servers/pty_server.h"
#include "simulator/reader/reader.h"
#include "simulator/scenario/scenario.h"
#include "simulator/servers/tcp_server.h"
#include "varrok.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::uint8_t kBlock = 4;

struct Simulated {
    sim::Reader reader;
    sim::TcpServer tcp{reader};
    sim::PtyServer pty{reader};
    Simulated() {
        sim::installAllFamilies(reader);
        sim::applyScenario(sim::parseScenario(R"({"cards": [{"kind": "classic1k", "uid": "11223344"}]})",
                                              sim::allCardKinds()),
                           reader);
        tcp.start(0);
        pty.start();
        ::setenv("VARROK_COM1", pty.path().c_str(), 1);
    }
};

// Selects the card and opens sector 1 with the transport key, so that the
// block read is one plain exchange from then on.
bool prepareCard(const std::string& text) {
    ReaderClose(0);
    if (ReaderOpen(text.c_str()) <= 0) return false;
    unsigned char answer[16], length = 0;
    unsigned char key[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    return rf_ISO14443A_GetCard(0, 0x26, answer, &length) == 0 && rf_M1_Authentication(0, 0x60, kBlock, key) == 0;
}

int libraryReads(int count) {
    unsigned char data[16];
    int failures = 0;
    for (int i = 0; i < count; ++i)
        failures += rf_M1_Read(0, kBlock, data) != 0;
    return failures;
}

// The least any program can do: send the frame, receive until the answer
// is complete. No purge, no time-out, no checks.
int bareReads(int port, int count) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) return count;
    varrok::CCommPacket request(0, 0x13, &kBlock, 1);
    const std::size_t answerLength = 4 + 4 + 16 + 1; // header, address/command/status, data, checksum
    std::uint8_t answer[512];
    int failures = 0;
    for (int i = 0; i < count; ++i) {
        if (::send(s, request.buffer(), request.length(), 0) != static_cast<ssize_t>(request.length())) return count;
        std::size_t got = 0;
        while (got < answerLength) {
            const ssize_t r = ::recv(s, answer + got, sizeof answer - got, 0);
            if (r <= 0) return count;
            got += static_cast<std::size_t>(r);
        }
        failures += got != answerLength;
    }
    ::close(s);
    return failures;
}

double timed(const auto& run) {
    const auto start = std::chrono::steady_clock::now();
    if (run() != 0) {
        std::fprintf(stderr, "reads failed\n");
        std::exit(1);
    }
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
}

std::string tcpText(const Simulated& s) { return "TCP://127.0.0.1:" + std::to_string(s.tcp.port()); }

// One road, `count` times, for strace to count: "lib", "libpty" or "bare".
int runRoad(const std::string& road, int count) {
    Simulated simulated;
    if (!prepareCard(road == "libpty" ? "COM1:115200" : tcpText(simulated))) return 1;
    const int failures = road == "bare" ? bareReads(simulated.tcp.port(), count) : libraryReads(count);
    ReaderClose(0);
    return failures == 0 ? 0 : 1;
}

// System calls of the main thread for `count` exchanges on a road, less those
// of a run with none: what the exchanges alone cost.
double syscallsPerExchange(const char* self, const char* road, int count) {
    auto total = [&](int n) {
        const std::string out = "/tmp/exchange_bench_strace." + std::to_string(::getpid());
        const std::string command = "strace -c -o " + out + " " + self + " --road " + road + " " +
                                    std::to_string(n) + " >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) return -1.0;
        FILE* f = std::fopen(out.c_str(), "r");
        if (f == nullptr) return -1.0;
        char line[256];
        double calls = -1;
        while (std::fgets(line, sizeof line, f) != nullptr) {
            // The closing line: "100.00  <seconds>  <usecs/call>  <calls>  <errors>  total"
            if (std::strstr(line, "total") == nullptr) continue;
            double percent, seconds;
            long long usecs = 0, count = 0;
            if (std::sscanf(line, "%lf %lf %lld %lld", &percent, &seconds, &usecs, &count) == 4)
                calls = static_cast<double>(count);
        }
        std::fclose(f);
        std::remove(out.c_str());
        return calls;
    };
    const double with = total(count), without = total(0);
    return with < 0 || without < 0 ? -1 : (with - without) / count;
}

// The library's TCP road timed in a child process under `environment`; microseconds per exchange.
double tracedRoad(const char* self, const std::string& environment, int count) {
    const std::string command = "env " + environment + " " + self + " --timed " + std::to_string(count);
    FILE* child = ::popen(command.c_str(), "r");
    if (child == nullptr) return -1;
    double perExchange = -1;
    if (std::fscanf(child, "%lf", &perExchange) != 1) perExchange = -1;
    return ::pclose(child) == 0 ? perExchange : -1;
}

int timedRoad(int count) {
    Simulated simulated;
    if (!prepareCard(tcpText(simulated))) return 1;
    libraryReads(500);
    std::printf("%.3f\n", timed([&] { return libraryReads(count); }) / count);
    ReaderClose(0);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--road") == 0) return runRoad(argv[2], std::atoi(argv[3]));
    if (argc == 3 && std::strcmp(argv[1], "--timed") == 0) return timedRoad(std::atoi(argv[2]));
    const int count = argc > 1 ? std::atoi(argv[1]) : 20000;

    Simulated simulated;
    if (!prepareCard("COM1:115200")) {
        std::fprintf(stderr, "the simulated card could not be selected\n");
        return 1;
    }
    libraryReads(500); // warm up
    const double pty = timed([&] { return libraryReads(count); }) / count;
    if (!prepareCard(tcpText(simulated))) return 1;
    libraryReads(500);
    bareReads(simulated.tcp.port(), 500);
    const double library = timed([&] { return libraryReads(count); }) / count;
    const double bare = timed([&] { return bareReads(simulated.tcp.port(), count); }) / count;
    ReaderClose(0);
    std::printf("16-byte block read, %d exchanges each:\n", count);
    std::printf("  library, TCP          %7.1f us per exchange\n", library);
    std::printf("  bare socket, TCP      %7.1f us per exchange\n", bare);
    std::printf("  ratio                 %7.2f\n", library / bare);
    std::printf("  library, pty as COM1  %7.1f us per exchange\n", pty);
    const std::string traceFile = "/tmp/exchange_bench_trace." + std::to_string(::getpid());
    const double off = tracedRoad(argv[0], "-u VARROK_TRACE", count);
    const double text = tracedRoad(argv[0], "VARROK_TRACE=" + traceFile, count);
    const double pcap = tracedRoad(argv[0], "VARROK_TRACE_FORMAT=pcap VARROK_TRACE=" + traceFile, count);
    std::remove(traceFile.c_str());
    std::printf("frame trace (library, TCP, a process each):\n");
    std::printf("  off                   %7.1f us per exchange\n", off);
    std::printf("  on, text              %7.1f us per exchange\n", text);
    std::printf("  on, pcap              %7.1f us per exchange\n", pcap);

    if (std::system("command -v strace >/dev/null 2>&1") != 0) {
        std::printf("system calls: install strace to count them\n");
        return 0;
    }
    const int counted = count < 2000 ? count : 2000;
    std::printf("system calls per exchange (strace, main thread only):\n");
    std::printf("  library, TCP          %5.2f\n", syscallsPerExchange(argv[0], "lib", counted));
    std::printf("  bare socket, TCP      %5.2f\n", syscallsPerExchange(argv[0], "bare", counted));
    std::printf("  library, pty as COM1  %5.2f\n", syscallsPerExchange(argv[0], "libpty", counted));
    return 0;
}
