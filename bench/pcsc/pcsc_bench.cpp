// One 16-byte MIFARE Classic block read three ways against the same simulated
// reader in the same run: through pcscd and the driver (libpcsclite), through
// the driver's slot in this process (no pcscd), and through the library alone.
// The second minus the third is the driver's own work; the first minus the
// second is pcscd's IPC. bench/pcsc/run_bench.sh starts the simulator and pcscd.
//
//   pcsc_bench PORT "READER NAME" [READS]
#include "contactless_slot.h"
#include "varrok.h"

#include <winscard.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using namespace varrok_ifd;

namespace {

const std::uint8_t kLoadKey[] = {0xFF, 0x82, 0x00, 0x00, 0x06, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
const std::uint8_t kAuth[] = {0xFF, 0x86, 0x00, 0x00, 0x05, 0x01, 0x00, 0x04, 0x60, 0x00};
const std::uint8_t kRead[] = {0xFF, 0xB0, 0x00, 0x04, 0x10};

using Read = std::function<bool()>;

// The median microseconds of each way of reading; the ways take turns read by
// read, each starting a round in its turn. Exits when a read fails.
std::vector<double> medians(int reads, const std::vector<std::pair<const char*, Read>>& ways) {
    std::vector<std::vector<double>> times(ways.size());
    for (int i = 0; i < reads; ++i) {
        for (std::size_t turn = 0; turn < ways.size(); ++turn) {
            const std::size_t w = (turn + static_cast<std::size_t>(i)) % ways.size();
            const auto start = std::chrono::steady_clock::now();
            if (!ways[w].second()) {
                std::fprintf(stderr, "%s: read %d failed\n", ways[w].first, i);
                std::exit(1);
            }
            times[w].push_back(
                std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        }
    }
    std::vector<double> result;
    for (auto& t : times) {
        std::nth_element(t.begin(), t.begin() + t.size() / 2, t.end());
        result.push_back(t[t.size() / 2]);
    }
    return result;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: pcsc_bench PORT \"READER NAME\" [READS]\n");
        return 2;
    }
    const int port = std::atoi(argv[1]);
    const int reads = argc > 3 ? std::atoi(argv[3]) : 500;

    // Through pcscd. The card stays connected and mid-conversation to the
    // end, so pcscd's presence checks leave the field alone.
    SCARDCONTEXT context = 0;
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    if (SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context) != SCARD_S_SUCCESS ||
        SCardConnect(context, argv[2], SCARD_SHARE_SHARED, SCARD_PROTOCOL_T1, &card, &protocol) !=
            SCARD_S_SUCCESS) {
        std::fprintf(stderr, "no card in \"%s\"\n", argv[2]);
        return 1;
    }
    const auto pcscTransmit = [&](const std::uint8_t* apdu, std::size_t size) {
        std::uint8_t answer[258];
        DWORD len = sizeof answer;
        return SCardTransmit(card, SCARD_PCI_T1, apdu, static_cast<DWORD>(size), nullptr, answer, &len) ==
                   SCARD_S_SUCCESS &&
               len >= 2 && answer[len - 2] == 0x90;
    };
    if (!pcscTransmit(kLoadKey, sizeof kLoadKey) || !pcscTransmit(kAuth, sizeof kAuth)) return 1;

    // The driver's slot in this process, on a connection of its own.
    Link link(*DeviceName::parse("TCP://127.0.0.1:" + std::to_string(port)));
    KeyStore keys;
    ContactlessSlot slot(link, keys);
    if (slot.presence() != Presence::Present || !slot.powerUp()) return 1;
    const auto slotTransmit = [&](const std::uint8_t* apdu, std::size_t size) {
        const Reply r = slot.transmit(apdu, size);
        return r.status == Reply::Status::Ok && r.data.size() >= 2 && r.data[r.data.size() - 2] == 0x90;
    };
    if (!slotTransmit(kLoadKey, sizeof kLoadKey) || !slotTransmit(kAuth, sizeof kAuth)) return 1;
    // The library alone reads on the driver's connection, in the same session.
    const unsigned short icdev = link.icdev();
    unsigned char block[16];

    // pcscd on its own: a read through it leaves the simulator busy for a
    // moment, which would weigh on whichever way came next. The driver and
    // the library alone take turns, so a busy machine weighs on both alike.
    const double viaPcscd = medians(reads, {{"pcscd", [&] { return pcscTransmit(kRead, sizeof kRead); }}})[0];
    const auto m = medians(reads, {{"driver", [&] { return slotTransmit(kRead, sizeof kRead); }},
                                   {"library", [&] { return rf_M1_Read(icdev, 4, block) == 0; }}});
    const double viaDriver = m[0], direct = m[1];

    SCardDisconnect(card, SCARD_RESET_CARD);
    SCardReleaseContext(context);
    std::printf("one 16-byte Classic block, median of %d reads each:\n", reads);
    std::printf("  library alone            %8.1f us\n", direct);
    std::printf("  driver in-process        %8.1f us  (driver's own work %.1f us, %.1f%% of a read)\n",
                viaDriver, viaDriver - direct, 100.0 * (viaDriver - direct) / viaDriver);
    std::printf("  pcscd + driver           %8.1f us  (pcscd's IPC %.1f us)\n", viaPcscd,
                viaPcscd - viaDriver);
    std::printf("  pcscd + driver / library %8.2fx\n", viaPcscd / direct);
    return 0;
}
