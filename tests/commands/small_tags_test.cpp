// ST SR176/SRIX, AT88RF020/080 and USSEN tags on the wire.
#include "support/wire_table.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <functional>
#include <vector>

using namespace testing_support;

namespace {

class SmallTagsWire : public WireTable {};

// ---------------------------------------------------------------------------

unsigned char kBlock2[2] = {0x12, 0x34};
unsigned char kBlock4[4] = {0xA1, 0xA2, 0xAA, 0xA4};
unsigned char kSix[6] = {0x61, 0x62, 0x63, 0x64, 0x65, 0x66};
unsigned char kEight[8] = {0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88};
unsigned char kOneToEight[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
const Bytes kData = filler(250, 0x09);

std::string dataHex(std::size_t n) {
    return toHex(Bytes(kData.begin(), kData.begin() + static_cast<long>(n)));
}

// clang-format off
std::vector<Row> smallTagRows() {
    static Bytes data = kData;
    using K = Kind;
    return {
        {"ST select", [](auto o, auto) { return rf_ST_GetCard(0, o); }, "00 00 29", K::Exact, 1},
        {"ST completion", [](auto, auto) { return rf_ST_Completion(0); }, "00 00 2A", K::None},
        {"SR176 read block", [](auto o, auto) { return rf_ST_SR176_ReadBlock(0, 5, o); }, "00 00 2B 05", K::Exact, 2},
        {"SR176 write block", [](auto, auto) { return rf_ST_SR176_WriteBlock(0, 5, kBlock2); }, "00 00 2C 05 12 34", K::None},
        {"SR176 protect", [](auto, auto) { return rf_ST_SR176_ProtectBlock(0, 0x3C); }, "00 00 2D 3C", K::None},
        {"SR176 protection register", [](auto o, auto) { return rf_ST_SR176_GetProtectReg(0, o); }, "00 00 83", K::Exact, 1},
        {"SR176 read 4 blocks", [](auto o, auto l) { return rf_ST_SR176_MultiRead(0, 0, 4, o, l); }, "00 00 8C 00 04", K::Counted, 8},
        {"SR176 write 2 blocks", [](auto, auto) { return rf_ST_SR176_MultiWrite(0, 1, 2, data.data()); }, "00 00 89 01 02 " + dataHex(4), K::None},
        {"SR176 write 124 blocks", [](auto, auto) { return rf_ST_SR176_MultiWrite(0, 0, 124, data.data()); }, "00 00 89 00 7C " + dataHex(248), K::None},
        {"SRIX read block", [](auto o, auto) { return rf_ST_SRI_ReadBlock(0, 7, o); }, "00 00 2E 07", K::Exact, 4},
        {"SRIX write block", [](auto, auto) { return rf_ST_SRI_WriteBlock(0, 7, kBlock4); }, "00 00 2F 07 A1 A2 AA A4", K::None},
        {"SRIX4K authenticate", [](auto o, auto) { return rf_ST_SRIX_Authenticate(0, kSix, o); }, "00 00 30 61 62 63 64 65 66", K::Exact, 3},
        {"SRIX UID", [](auto o, auto) { return rf_ST_SRI_GetUID(0, o); }, "00 00 31", K::Exact, 8},
        {"SRIX lock register", [](auto, auto) { return rf_ST_SRI_WriteLockReg(0, 0x0F); }, "00 00 32 0F", K::None},
        {"SRIX read 4 blocks", [](auto o, auto l) { return rf_ST_SRI_MultiRead(0, 7, 4, o, l); }, "00 00 8E 07 04", K::Counted, 16},
        {"SRIX write 2 blocks", [](auto, auto) { return rf_ST_SRI_MultiWrite(0, 7, 2, kOneToEight); },
         "00 00 89 07 02 01 02 03 04 05 06 07 08", K::None},
        {"SRIX write 62 blocks", [](auto, auto) { return rf_ST_SRI_MultiWrite(0, 0, 62, data.data()); }, "00 00 89 00 3E " + dataHex(248), K::None},
        {"AT88RF020 check", [](auto, auto) { return rf_AT88RF020_Check(0, kEight); }, "00 00 21 81 82 83 84 85 86 87 88", K::None},
        {"AT88RF020 read page", [](auto o, auto) { return rf_AT88RF020_Read(0, 3, o); }, "00 00 22 03", K::Exact, 8},
        {"AT88RF020 write page", [](auto, auto) { return rf_AT88RF020_write(0, 3, kEight); }, "00 00 23 03 81 82 83 84 85 86 87 88", K::None},
        {"AT88RF020 lock", [](auto, auto) { return rf_AT88RF020_Lock(0, kBlock4); }, "00 00 24 A1 A2 AA A4", K::None},
        {"AT88RF020 count", [](auto, auto) { return rf_AT88RF020_Count(0, kSix); }, "00 00 25 61 62 63 64 65 66", K::None},
        {"AT88RF020 deselect", [](auto, auto) { return rf_AT88RF020_Deselect(0); }, "00 00 26", K::None},
        {"AT88RF020 read 4 pages", [](auto o, auto l) { return rf_AT88RF020_MultiRead(0, 0, 4, o, l); }, "00 00 8A 00 04", K::Counted, 32},
        {"AT88RF020 write 2 pages", [](auto, auto) { return rf_AT88RF020_MultiWrite(0, 1, 2, data.data()); }, "00 00 8B 01 02 " + dataHex(16), K::None},
        {"AT88RF020 write 31 pages", [](auto, auto) { return rf_AT88RF020_MultiWrite(0, 0, 31, data.data()); }, "00 00 8B 00 1F " + dataHex(248), K::None},
        {"USSEN idle card", [](auto o, auto l) { return rf_USSEN_GetCard(0, 0x26, o, l); }, "00 00 E0 01 26", K::Variable, 10},
        {"USSEN any card", [](auto o, auto l) { return rf_USSEN_GetCard(0, 0x52, o, l); }, "00 00 E0 01 52", K::Variable, 10},
        {"USSEN mode 00 asks any card", [](auto o, auto l) { return rf_USSEN_GetCard(0, 0x00, o, l); }, "00 00 E0 01 52", K::Variable, 10},
        {"USSEN card with parameters", [](auto o, auto l) { return rf_USSEN_GetCard_D(0, 0x26, o, l, 0x0A0B0C, 1, 2, 3, 4); },
         "00 00 E0 02 26 0C 0B 0A 01 02 03 04", K::Variable, 10},
        {"USSEN parameter keeps 24 bits", [](auto o, auto l) { return rf_USSEN_GetCard_D(0, 0x00, o, l, 0xFF0A0B0C, 5, 6, 7, 8); },
         "00 00 E0 02 52 0C 0B 0A 05 06 07 08", K::Variable, 10},
        {"USSEN write memory", [](auto, auto) { return rf_USSEN_SetMem(0, data.data(), 3); }, "00 00 E0 12 03 " + dataHex(3), K::None},
        {"USSEN write 249 bytes", [](auto, auto) { return rf_USSEN_SetMem(0, data.data(), 249); }, "00 00 E0 12 F9 " + dataHex(249), K::None},
    };
}
// clang-format on

TEST_F(SmallTagsWire, EveryCommandByteForByte) {
    for (const Row& row : smallTagRows())
        check(row);
}

TEST_F(SmallTagsWire, WithoutReaderEveryCommandIsMinusOne) { checkWithoutReader(smallTagRows()); }

TEST_F(SmallTagsWire, RefusedArgumentsSendNothing) {
    static Bytes data = filler(32 * 8);
    unsigned char* o = out;
    // clang-format off
    checkRefusals({
        {"SR176 write 125 blocks", [] { return rf_ST_SR176_MultiWrite(0, 0, 125, data.data()); }, -5, false},
        {"SRIX write 63 blocks", [] { return rf_ST_SRI_MultiWrite(0, 0, 63, data.data()); }, -5, false},
        {"AT88RF020 write 32 pages", [] { return rf_AT88RF020_MultiWrite(0, 0, 32, data.data()); }, -5, false},
        {"USSEN write 250 bytes", [] { return rf_USSEN_SetMem(0, data.data(), 250); }, -5, false},
        {"USSEN read memory without a length", [=] { return rf_USSEN_GetMem(0, o, nullptr); }, -5, false},
        {"AT88RF080 without a length", [=] { return rf_AT88RF080_Request(0, 1, 2, o, nullptr); }, -5, false},
        {"ST select without a buffer", [] { return rf_ST_GetCard(0, nullptr); }, -5, false},
        {"SR176 write without data", [] { return rf_ST_SR176_WriteBlock(0, 1, nullptr); }, -5, false},
        {"SRIX multi read without a length", [=] { return rf_ST_SRI_MultiRead(0, 0, 1, o, nullptr); }, -5, false},
    });
    // clang-format on
}

TEST_F(SmallTagsWire, At88rf080LengthIsWrittenOnlyWithTheEightBytes) {
    const struct {
        const char* what;
        Bytes reply;
        int rc;
    } cases[] = {
        {"eight bytes", answer(0, filler(8, 0x40)), 0},
        {"seven bytes", answer(0, filler(7, 0x40)), -5},
        {"nine bytes", answer(0, filler(9, 0x40)), -5},
        {"reader status", answer(0x04, filler(8, 0x40)), 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        clearOut();
        peer.script(c.reply);
        EXPECT_EQ(rf_AT88RF080_Request(0, 0x12, 0x34, out, &len), c.rc);
        EXPECT_EQ(lastRequest(), "00 00 70 12 34");
        EXPECT_EQ(len, c.rc == 0 ? 8 : kUntouched);
        EXPECT_EQ(outBytes(8), c.rc == 0 ? filler(8, 0x40) : Bytes(8, kUntouched));
        EXPECT_TRUE(untouchedFrom(8));
    }
}

TEST_F(SmallTagsWire, UssenMemoryReadAsksForTheLengthItIsGiven) {
    const struct {
        unsigned char asked;
        std::string request;
        Bytes reply;
        int rc;
        unsigned char lenAfter;
    } cases[] = {
        {16, "00 00 E0 13 10", answer(0, filler(16)), 0, 16},
        {16, "00 00 E0 13 10", answer(0, filler(12)), 0, 12},
        {0, "00 00 E0 13 00", answer(0), 0, 0},
        {200, "00 00 E0 13 C8", answer(0, filler(200)), 0, 200},
        {16, "00 00 E0 13 10", answer(0x05, filler(16)), 5, 16},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        clearOut();
        len = c.asked;
        peer.script(c.reply);
        EXPECT_EQ(rf_USSEN_GetMem(0, out, &len), c.rc);
        EXPECT_EQ(lastRequest(), c.request);
        EXPECT_EQ(len, c.lenAfter);
        const std::size_t copied = c.rc == 0 ? c.lenAfter : 0;
        EXPECT_EQ(outBytes(copied), filler(copied));
        EXPECT_TRUE(untouchedFrom(copied));
    }
}

TEST_F(SmallTagsWire, StatusBytesPassThrough) {
    unsigned char reg = kUntouched;
    peer.script(answer(0x03));
    EXPECT_EQ(rf_ST_SR176_GetProtectReg(0, &reg), 3);
    EXPECT_EQ(lastRequest(), "00 00 83");
    EXPECT_EQ(reg, kUntouched);
    peer.script(answer(0xFF, {0x01}));
    EXPECT_EQ(rf_ST_GetCard(0, &reg), 0xFF);
    EXPECT_EQ(lastRequest(), "00 00 29");
    EXPECT_EQ(reg, kUntouched);
}

TEST_F(SmallTagsWire, DeselectIsAShortCommandAndUssenALongOne) {
    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    EXPECT_EQ(rf_AT88RF020_Deselect(0), 9);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_GE(ms, 95);
    EXPECT_LT(ms, 190);
    lastRequest();
    // The USSEN card gets 800 ms: an answer after 300 ms still counts.
    peer.script(Reply{answer(0, {0x01, 0x02}), 300});
    start = Clock::now();
    EXPECT_EQ(rf_USSEN_GetCard(0, 0x26, out, &len), 0);
    ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_GE(ms, 300);
    EXPECT_EQ(len, 2);
    lastRequest();
}

} // namespace
