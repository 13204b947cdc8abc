// Times reader exchanges: opens the reader given on the command line and
// reads its serial number N times. Run under `strace -c` to count the system
// calls one exchange costs.
#include "varrok.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: exchange_bench TCP://127.0.0.1:<port>|COM<n>:<baud> [count]\n");
        return 2;
    }
    const int count = argc > 2 ? std::atoi(argv[2]) : 1000;
    if (ReaderOpen(argv[1]) == -1) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    unsigned char sn[8];
    int failures = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i)
        failures += rf_Reader_GetSN(0, sn) != 0;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // GetSN sleeps 10 ms after each success, as readers need; take it out of the figure.
    const double perExchangeUs = (seconds - count * 0.010) / count * 1e6;
    std::printf("%d exchanges, %d failed, %.1f us each (10 ms settle excluded)\n", count, failures,
                perExchangeUs);
    ReaderClose(0);
    return failures == 0 ? 0 : 1;
}
