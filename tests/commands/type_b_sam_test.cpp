// Type B cards, APDUs to ISO 14443-4 cards, ID cards and the SAM slots on the wire.
#include "support/wire_table.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <functional>
#include <vector>

using namespace testing_support;

namespace {

class TypeBWire : public WireTable {};

// ---------------------------------------------------------------------------

unsigned char kApdu[5] = {0x00, 0x84, 0x00, 0x00, 0x08};
unsigned char kPupi[4] = {0x01, 0x02, 0x03, 0x04};
const Bytes kLongApdu = filler(251, 0x20);

// clang-format off
std::vector<Row> typeBRows() {
    static Bytes longApdu = kLongApdu;
    using K = Kind;
    const std::string apdu = "00 84 00 00 08";
    return {
        {"type B request, mode 0", [](auto o, auto) { return rf_ISO14443B_Request(0, 0, o); }, "00 00 1D 00", K::Exact, 12},
        {"type B request, mode 1", [](auto o, auto) { return rf_ISO14443B_Request(0x0201, 1, o); }, "02 01 1D 01", K::Exact, 12},
        {"type B get card", [](auto o, auto) { return rf_ISO14443B_GetCard(0, 1, 0x22, 0x33, o); }, "00 00 97 01 22 33", K::Exact, 12},
        {"attrib", [](auto, auto) { return rf_ISO14443B_Attribute(0, kPupi, 0x08); }, "00 00 1E 01 02 03 04 08", K::None},
        {"type B halt", [](auto, auto) { return rf_ISO14443B_Halt(0, kPupi); }, "00 00 20 01 02 03 04", K::None},
        {"RATS", [](auto o, auto l) { return rf_ISO14443_4_TypeA_RATS(0, o, l); }, "00 00 1F", K::Variable, 6},
        {"APDU", [](auto o, auto l) { return rf_ISO14443_4_COS(0, kApdu, 5, o, l, 300); }, "00 00 1C " + apdu, K::Variable, 10},
        {"APDU of 251 bytes, a full frame", [](auto o, auto l) { return rf_ISO14443_4_COS(0, longApdu.data(), 251, o, l, 0); },
         "00 00 1C " + toHex(kLongApdu), K::Variable, 2},
        {"APDU, default time-out", [](auto o, auto l) { return rf_cos_command(0, kApdu, 5, o, l); }, "00 00 1C " + apdu, K::Variable, 2},
        {"APDU behind a lead byte", [](auto o, auto l) { return rf_typeb_cos(0, 0x02, kApdu, 5, o, l); }, "00 00 1C 02 " + apdu, K::Variable, 10},
        {"lead byte alone", [](auto o, auto l) { return rf_typeb_cos(0, 0x0A, kApdu, 0, o, l); }, "00 00 1C 0A", K::Variable, 2},
        {"lead byte and 250 APDU bytes", [](auto o, auto l) { return rf_typeb_cos(0, 0x03, longApdu.data(), 250, o, l); },
         "00 00 1C 03 " + toHex(Bytes(kLongApdu.begin(), kLongApdu.end() - 1)), K::Variable, 2},
        {"deselect", [](auto, auto) { return rf_cl_deselect(0); }, "00 00 28", K::None},
        {"SAM baud rate", [](auto, auto) { return rf_init_sam(0, 5); }, "00 00 07 05", K::None},
        {"SAM 1 baud rate", [](auto, auto) { return rf_init_sam_byid(0, 1, 4); }, "00 00 07 04", K::None},
        {"SAM 2 baud rate", [](auto, auto) { return rf_init_sam_byid(0, 2, 4); }, "00 00 6C 04", K::None},
        {"SAM 3 baud rate", [](auto, auto) { return rf_init_sam_byid(0, 3, 4); }, "00 00 6D 04", K::None},
        {"SAM 4 baud rate", [](auto, auto) { return rf_init_sam_byid(0, 4, 4); }, "00 00 6E 04", K::None},
        {"SAM 0 baud rate goes to slot 1", [](auto, auto) { return rf_init_sam_byid(0, 0, 1); }, "00 00 07 01", K::None},
        {"SAM 9 baud rate goes to slot 1", [](auto, auto) { return rf_init_sam_byid(0, 9, 1); }, "00 00 07 01", K::None},
        {"SAM reset", [](auto o, auto l) { return rf_sam_rst(0, o, l); }, "00 00 08", K::Variable, 12},
        {"SAM 1 reset", [](auto o, auto l) { return rf_sam_rst_byid(0, 1, o, l); }, "00 00 08", K::Variable, 12},
        {"SAM 2 reset", [](auto o, auto l) { return rf_sam_rst_byid(0, 2, o, l); }, "00 00 66", K::Variable, 12},
        {"SAM 3 reset", [](auto o, auto l) { return rf_sam_rst_byid(0, 3, o, l); }, "00 00 68", K::Variable, 12},
        {"SAM 4 reset", [](auto o, auto l) { return rf_sam_rst_byid(0, 4, o, l); }, "00 00 6A", K::Variable, 12},
        {"SAM 5 reset goes to slot 1", [](auto o, auto l) { return rf_sam_rst_byid(0, 5, o, l); }, "00 00 08", K::Variable, 12},
        {"SAM APDU", [](auto o, auto l) { return rf_sam_cos(0, kApdu, 5, o, l); }, "00 00 09 " + apdu, K::Variable, 10},
        {"SAM 1 APDU", [](auto o, auto l) { return rf_sam_cos_byid(0, 1, kApdu, 5, o, l); }, "00 00 09 " + apdu, K::Variable, 10},
        {"SAM 2 APDU", [](auto o, auto l) { return rf_sam_cos_byid(0, 2, kApdu, 5, o, l); }, "00 00 67 " + apdu, K::Variable, 10},
        {"SAM 3 APDU", [](auto o, auto l) { return rf_sam_cos_byid(0, 3, kApdu, 5, o, l); }, "00 00 69 " + apdu, K::Variable, 10},
        {"SAM 4 APDU", [](auto o, auto l) { return rf_sam_cos_byid(0, 4, kApdu, 5, o, l); }, "00 00 6B " + apdu, K::Variable, 10},
        {"SAM 7 APDU goes to slot 1", [](auto o, auto l) { return rf_sam_cos_byid(0, 7, kApdu, 5, o, l); }, "00 00 09 " + apdu, K::Variable, 10},
        {"SAM 1 PPS", [](auto, auto) { return rf_set_sam_pps_byid(0, 1, 3); }, "00 00 84 03", K::None},
        {"SAM 2 PPS", [](auto, auto) { return rf_set_sam_pps_byid(0, 2, 3); }, "00 00 85 03", K::None},
        {"SAM 3 PPS", [](auto, auto) { return rf_set_sam_pps_byid(0, 3, 3); }, "00 00 86 03", K::None},
        {"SAM 4 PPS", [](auto, auto) { return rf_set_sam_pps_byid(0, 4, 3); }, "00 00 87 03", K::None},
        {"SAM 0 PPS goes to slot 1", [](auto, auto) { return rf_set_sam_pps_byid(0, 0, 6); }, "00 00 84 06", K::None},
        {"SAM protocol", [](auto, auto) { return rf_sam_set_protocol_byid(0, 2, 1); }, "00 00 6A 02 01", K::None},
        {"any-slot baud rate, slot 1", [](auto, auto) { return rf_SAM_InitBaudrate(0, 1, 19200); }, "00 00 07 02", K::None},
        {"any-slot baud rate, slot 2", [](auto, auto) { return rf_SAM_InitBaudrate(0, 2, 115200); }, "00 00 6C 05", K::None},
        {"any-slot baud rate, slot 4", [](auto, auto) { return rf_SAM_InitBaudrate(0, 4, 230400); }, "00 00 6E 06", K::None},
        {"any-slot baud rate, slot 5", [](auto, auto) { return rf_SAM_InitBaudrate(0, 5, 38400); }, "00 00 90 05 01", K::None},
        {"any-slot baud rate, slot 255", [](auto, auto) { return rf_SAM_InitBaudrate(0, 255, 9600); }, "00 00 90 FF 00", K::None},
        {"any-slot reset, slot 1", [](auto o, auto l) { return rf_SAM_RST(0, 1, o, l); }, "00 00 08", K::Variable, 10},
        {"any-slot reset, slot 2", [](auto o, auto l) { return rf_SAM_RST(0, 2, o, l); }, "00 00 66", K::Variable, 10},
        {"any-slot reset, slot 5", [](auto o, auto l) { return rf_SAM_RST(0, 5, o, l); }, "00 00 91 05", K::Variable, 10},
        {"any-slot PPS, slot 3", [](auto, auto) { return rf_SAM_SetPPS(0, 3, 57600); }, "00 00 86 04", K::None},
        {"any-slot PPS, slot 7", [](auto, auto) { return rf_SAM_SetPPS(0, 7, 55800); }, "00 00 92 07 03", K::None},
        {"any-slot APDU, slot 3", [](auto o, auto l) { return rf_SAM_COS(0, 3, kApdu, 5, o, l, 4000); }, "00 00 69 " + apdu, K::Variable, 4},
        {"any-slot APDU, slot 6", [](auto o, auto l) { return rf_SAM_COS(0, 6, kApdu, 5, o, l, 0); }, "00 00 93 06 " + apdu, K::Variable, 4},
    };
}
// clang-format on

TEST_F(TypeBWire, EveryCommandByteForByte) {
    for (const Row& row : typeBRows())
        check(row);
}

TEST_F(TypeBWire, WithoutReaderEveryCommandIsMinusOne) { checkWithoutReader(typeBRows()); }

TEST_F(TypeBWire, RefusedArgumentsSendNothing) {
    unsigned char* o = out;
    unsigned char* l = &len;
    static Bytes big = filler(255);
    // clang-format off
    checkRefusals({
        {"type B request, mode 2", [=] { return rf_ISO14443B_Request(0, 2, o); }, -5, false},
        {"type B request, mode 255", [=] { return rf_ISO14443B_Request(0, 255, o); }, -5, false},
        {"type B get card, mode 2", [=] { return rf_ISO14443B_GetCard(0, 2, 0, 0, o); }, -5, false},
        {"lead byte and 251 APDU bytes", [=] { return rf_typeb_cos(0, 0x02, big.data(), 251, o, l); }, -5, false},
        {"lead byte and 255 APDU bytes", [=] { return rf_typeb_cos(0, 0x02, big.data(), 255, o, l); }, -5, false},
        {"lead byte without its APDU", [=] { return rf_typeb_cos(0, 0x02, nullptr, 5, o, l); }, -5, false},
        {"APDU without its bytes", [=] { return rf_ISO14443_4_COS(0, nullptr, 5, o, l, 300); }, -5, false},
        {"APDU without an answer length", [=] { return rf_ISO14443_4_COS(0, kApdu, 5, o, nullptr, 300); }, -5, false},
        {"type B request without a buffer", [] { return rf_ISO14443B_Request(0, 0, nullptr); }, -5, false},
        {"attrib without a PUPI", [] { return rf_ISO14443B_Attribute(0, nullptr, 0); }, -5, false},
        {"SAM APDU without an answer buffer", [=] { return rf_sam_cos(0, kApdu, 5, nullptr, l); }, -5, false},
        {"SAM 0 baud rate", [] { return rf_SAM_InitBaudrate(0, 0, 9600); }, -1, true},
        {"SAM 0 reset", [=] { return rf_SAM_RST(0, 0, o, l); }, -1, true},
        {"SAM 0 PPS", [] { return rf_SAM_SetPPS(0, 0, 9600); }, -1, true},
        {"SAM 0 APDU", [=] { return rf_SAM_COS(0, 0, kApdu, 5, o, l, 0); }, -1, true},
    });
    // clang-format on
}

TEST_F(TypeBWire, BaudRateIdentifiers) {
    const std::pair<unsigned, unsigned char> table[] = {
        {9600, 0},  {12345, 0},  {0, 0},      {19200, 2},  {38400, 1}, {55800, 3},
        {57600, 4}, {115200, 5}, {230400, 6}, {460800, 0}, {19201, 0},
    };
    for (const auto& [baud, id] : table)
        EXPECT_EQ(rf_SAM_GetBaudID(baud), id) << baud;
    EXPECT_TRUE(nothingSent());
}

TEST_F(TypeBWire, IdCardLengthsAreIntsClearedFirst) {
    unsigned char cmd[3] = {0x01, 0x02, 0xAA};
    int n = -7;
    const struct {
        const char* what;
        std::function<int()> call;
        std::string request;
    } calls[] = {
        {"request", [&] { return rf_IDCard_Request(0, out, &n); }, "00 00 FD"},
        {"command", [&] { return rf_IDCard_COS(0, cmd, 3, out, &n); }, "00 00 FE 01 02 AA"},
        {"empty command", [&] { return rf_IDCard_COS(0, cmd, 0, out, &n); }, "00 00 FE"},
    };
    for (const auto& c : calls) {
        SCOPED_TRACE(c.what);
        for (const std::size_t size : {20u, 250u, 0u}) {
            clearOut();
            n = -7;
            peer.script(answer(0, filler(size)));
            EXPECT_EQ(c.call(), 0);
            EXPECT_EQ(lastRequest(), c.request);
            EXPECT_EQ(n, static_cast<int>(size));
            EXPECT_EQ(outBytes(size), filler(size));
            EXPECT_TRUE(untouchedFrom(size));
        }
        clearOut();
        n = -7;
        peer.script(answer(0x03, filler(4)));
        EXPECT_EQ(c.call(), 3);
        EXPECT_EQ(lastRequest(), c.request);
        EXPECT_EQ(n, 0) << "a failed call still leaves the length cleared";
        EXPECT_TRUE(untouchedFrom(0));
    }
    n = -7;
    EXPECT_EQ(rf_IDCard_COS(0, cmd, -1, out, &n), -5);
    EXPECT_EQ(n, 0);
    EXPECT_TRUE(nothingSent());

    ReaderClose(0);
    for (const auto& c : calls) {
        n = -7;
        EXPECT_EQ(c.call(), -1) << c.what;
        EXPECT_EQ(n, 0) << c.what;
    }
}

using Clock = std::chrono::steady_clock;

long long millisecondsOf(const std::function<int()>& call, int& rc) {
    const auto start = Clock::now();
    rc = call();
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST_F(TypeBWire, SilentReaderIsGivenUpAfterTheCommandsTimeOut) {
    const struct {
        const char* what;
        std::function<int()> call;
        int fromMs, belowMs;
    } cases[] = {
        {"APDU with 300 ms", [this] { return rf_ISO14443_4_COS(0, kApdu, 5, out, &len, 300); }, 295, 480},
        {"slot 6 APDU with 300 ms", [this] { return rf_SAM_COS(0, 6, kApdu, 5, out, &len, 300); }, 295, 480},
        {"SAM reset (100 ms)", [this] { return rf_sam_rst(0, out, &len); }, 95, 190},
        {"slot 5 baud rate (100 ms)", [] { return rf_SAM_InitBaudrate(0, 5, 9600); }, 95, 190},
        {"slot 5 PPS (100 ms)", [] { return rf_SAM_SetPPS(0, 5, 9600); }, 95, 190},
        {"SAM baud rate (200 ms)", [] { return rf_init_sam(0, 0); }, 195, 400},
    };
    for (const auto& c : cases) {
        int rc = 0;
        const long long ms = millisecondsOf(c.call, rc);
        EXPECT_EQ(rc, 9) << c.what;
        EXPECT_GE(ms, c.fromMs) << c.what;
        EXPECT_LT(ms, c.belowMs) << c.what;
        lastRequest();
    }
}

TEST_F(TypeBWire, LongTimeOutsOutwaitASlowCard) {
    // Each of these waits longer than any short time-out, so an answer that
    // takes 300 ms (400 ms where the caller asked for 300) still arrives.
    const struct {
        const char* what;
        std::function<int()> call;
        int delayMs;
    } cases[] = {
        {"APDU with the default 5100 ms", [this] { return rf_ISO14443_4_COS(0, kApdu, 5, out, &len, 0); },
         300},
        {"APDU command", [this] { return rf_cos_command(0, kApdu, 5, out, &len); }, 300},
        {"APDU behind a lead byte", [this] { return rf_typeb_cos(0, 2, kApdu, 5, out, &len); }, 300},
        {"slot 2 reset (3000 ms)", [this] { return rf_SAM_RST(0, 2, out, &len); }, 300},
        {"slot 3 reset (3000 ms)", [this] { return rf_sam_rst_byid(0, 3, out, &len); }, 300},
        {"slot 5 reset (3000 ms)", [this] { return rf_SAM_RST(0, 5, out, &len); }, 300},
        {"SAM APDU (1500 ms)", [this] { return rf_sam_cos(0, kApdu, 5, out, &len); }, 300},
        {"slot 2 APDU (1500 ms)", [this] { return rf_sam_cos_byid(0, 2, kApdu, 5, out, &len); }, 300},
        {"slot 6 APDU with the default 1500 ms", [this] { return rf_SAM_COS(0, 6, kApdu, 5, out, &len, 0); },
         300},
        {"slot 3 APDU ignores the caller's 300 ms",
         [this] { return rf_SAM_COS(0, 3, kApdu, 5, out, &len, 300); }, 400},
    };
    for (const auto& c : cases) {
        peer.script(Reply{answer(0, {0x90, 0x00}), c.delayMs});
        int rc = -99;
        const long long ms = millisecondsOf(c.call, rc);
        EXPECT_EQ(rc, 0) << c.what;
        EXPECT_GE(ms, c.delayMs) << c.what;
        lastRequest();
    }
}

TEST_F(TypeBWire, SlotOneToFourApduKeepsItsOwnTimeOut) {
    // The caller's 4000 ms is not used for slot 3: the reader gets 1500 ms.
    int rc = 0;
    const long long ms = millisecondsOf([this] { return rf_SAM_COS(0, 3, kApdu, 5, out, &len, 4000); }, rc);
    EXPECT_EQ(rc, 9);
    EXPECT_EQ(lastRequest(), "00 00 69 00 84 00 00 08");
    EXPECT_GE(ms, 1495);
    EXPECT_LT(ms, 2500);
}

} // namespace
