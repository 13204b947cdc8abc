// Exchanges per second of one reader driven from one thread against two
// readers driven from two threads, each reader a simulator of its own on
// loopback TCP. Readers do not wait for each other, so the second figure
// should come close to twice the first. Measured twice: with the simulator
// answering at once, where the cores are the limit (every exchange keeps a
// library thread and a simulator thread busy), and with every answer 1 ms
// late, about what a reader on a serial line takes, where waiting is.
//
//   threads_bench [exchanges per thread at once, default 20000]
#include "simulator/reader/reader.h"
#include "simulator/servers/tcp_server.h"
#include "simulator/wire/fault.h"
#include "varrok.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Simulated {
    explicit Simulated(std::uint16_t address) {
        reader.access([&](sim::ReaderState& s, sim::Field&) { s.address = address; });
        server.start(0);
    }
    sim::Reader reader;
    sim::TcpServer server{reader};
};

// Runs `count` beeps on each address, one thread per address; exchanges per second.
double rate(const std::vector<unsigned short>& addresses, int count, std::atomic<int>& failures) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (const unsigned short icdev : addresses)
        threads.emplace_back([&, icdev] {
            for (int i = 0; i < count; ++i)
                failures += rf_beep(icdev, 1) != 0;
        });
    for (auto& t : threads)
        t.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return addresses.size() * count / seconds;
}

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 20000;
    Simulated first(0x0001), second(0x0002);
    const long long a = ReaderOpen(("TCP://127.0.0.1:" + std::to_string(first.server.port())).c_str());
    const long long b = ReaderOpen(("TCP://127.0.0.1:" + std::to_string(second.server.port())).c_str());
    if (a <= 0 || b <= 0 || ReaderHandshake(a, 0x0001) != 0 || ReaderHandshake(b, 0x0002) != 0) {
        std::fprintf(stderr, "cannot open the simulated readers\n");
        return 1;
    }
    std::atomic<int> failures{0};
    rate({0x0001}, count / 10, failures); // warm-up
    std::printf("rf_beep, one reader from one thread against two readers from two threads, %u cores\n",
                std::thread::hardware_concurrency());
    const auto measure = [&](const char* what, int n) {
        const double one = rate({0x0001}, n, failures);
        const double two = rate({0x0001, 0x0002}, n, failures);
        std::printf("%-22s %6d per thread: %8.0f vs %8.0f exchanges/s, ratio %.2f\n", what, n, one, two,
                    two / one);
    };
    measure("answers at once", count);
    for (auto* r : {&first, &second})
        r->reader.faults().always(sim::Fault::late(std::chrono::milliseconds(1)));
    measure("answers 1 ms late", std::max(1, count / 20));
    if (failures != 0) std::printf("%d exchanges failed\n", failures.load());
    ReaderClose(0);
    return failures == 0 ? 0 : 1;
}
