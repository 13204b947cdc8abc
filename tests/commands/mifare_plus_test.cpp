// MIFARE Plus personalisation, authentication and level-3 blocks on the wire.
#include "support/wire_table.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <vector>

using namespace testing_support;

namespace {

class MifarePlusWire : public WireTable {};

// ---------------------------------------------------------------------------

const Bytes kKeyBytes = filler(16, 0xA0);
const Bytes kBlocksBytes = filler(48, 0x30);
const std::string key = toHex(kKeyBytes);

// clang-format off
std::vector<Row> mifarePlusRows() {
    static Bytes k = kKeyBytes, blocks = kBlocksBytes;
    using K = Kind;
    return {
        {"write perso", [](auto, auto) { return rf_MFP_L0WritePerso(0, 0x9000, k.data()); }, "00 00 70 90 00 " + key, K::None},
        {"commit perso", [](auto, auto) { return rf_MFP_L0CommitPerso(0); }, "00 00 71", K::None},
        {"switch to level 3", [](auto, auto) { return rf_MFP_SwitchToHighLevel(0, 3, k.data()); }, "00 00 72 03 " + key, K::None},
        {"data block authentication", [](auto, auto) { return rf_MFP_DataBlockAuthentication(0, 1, 0x0105, k.data()); },
         "00 00 73 01 01 05 " + key, K::None},
        {"first authentication", [](auto, auto) { return rf_MFP_FirstAuthentication(0, 0x4002, k.data()); }, "00 00 7B 40 02 " + key, K::None},
        {"following authentication", [](auto, auto) { return rf_MFP_FollowingAuthentication(0x0A0B, 0x4003, k.data()); },
         "0A 0B 7C 40 03 " + key, K::None},
        {"read 2 blocks", [](auto o, auto) { return rf_MFP_L3Read(0, 0x0102, 2, o); }, "00 00 74 01 02 02", K::Exact, 32},
        {"read 1 block", [](auto o, auto) { return rf_MFP_L3Read(0, 0x4000, 1, o); }, "00 00 74 40 00 01", K::Exact, 16},
        {"write 3 blocks", [](auto, auto) { return rf_MFP_L3Write(0, 5, 3, blocks.data()); }, "00 00 75 00 05 03 " + toHex(kBlocksBytes), K::None},
        {"write 1 block", [](auto, auto) { return rf_MFP_L3Write(0, 0xFF, 1, blocks.data()); },
         "00 00 75 00 FF 01 " + toHex(Bytes(kBlocksBytes.begin(), kBlocksBytes.begin() + 16)), K::None},
        {"purse create", [](auto, auto) { return rf_MFP_L3PurseCreate(0, 0x4001, 100); }, "00 00 76 40 01 64 00 00 00", K::None},
        {"purse read", [](auto o, auto) { return rf_MFP_L3PurseRead(0, 0x4001, o); }, "00 00 77 40 01", K::Exact, 4},
        {"purse increment", [](auto, auto) { return rf_MFP_L3PurseIncrement(0, 0x4001, 0x01020304); }, "00 00 78 40 01 04 03 02 01", K::None},
        {"purse decrement by 1", [](auto, auto) { return rf_MFP_L3PurseDecrement(0, 0x4001, 1); }, "00 00 79 40 01 01 00 00 00", K::None},
        {"purse decrement by -2", [](auto, auto) { return rf_MFP_L3PurseDecrement(0, 0x0010, -2); }, "00 00 79 00 10 FE FF FF FF", K::None},
        {"purse backup", [](auto, auto) { return rf_MFP_L3PurseBackup(0, 0x4001, 0x4102); }, "00 00 7A 40 01 41 02", K::None},
    };
}
// clang-format on

TEST_F(MifarePlusWire, EveryCommandByteForByte) {
    for (const Row& row : mifarePlusRows())
        check(row);
}

TEST_F(MifarePlusWire, WithoutReaderEveryCommandIsMinusOne) { checkWithoutReader(mifarePlusRows()); }

TEST_F(MifarePlusWire, RefusedArgumentsSendNothing) {
    static Bytes blocks = filler(16 * 16);
    // clang-format off
    checkRefusals({
        {"write 4 blocks", [] { return rf_MFP_L3Write(0, 5, 4, blocks.data()); }, -1, false},
        {"write 16 blocks", [] { return rf_MFP_L3Write(0, 5, 16, blocks.data()); }, -1, false},
        {"write without data", [] { return rf_MFP_L3Write(0, 5, 1, nullptr); }, -5, false},
        {"first authentication without a key", [] { return rf_MFP_FirstAuthentication(0, 0x4000, nullptr); }, -5, false},
        {"read without a buffer", [] { return rf_MFP_L3Read(0, 1, 1, nullptr); }, -5, false},
        {"purse read without a buffer", [] { return rf_MFP_L3PurseRead(0, 1, nullptr); }, -5, false},
    });
    // clang-format on
}

TEST_F(MifarePlusWire, PurseReadHandsOutAWholeValueOrNothing) {
    const struct {
        std::size_t size;
        int rc;
    } answers[] = {{4, 0}, {0, -5}, {1, -5}, {3, -5}, {5, -5}, {16, -5}};
    for (const auto& a : answers) {
        SCOPED_TRACE("answer of " + std::to_string(a.size) + " bytes");
        clearOut();
        peer.script(answer(0, filler(a.size, 0x50)));
        EXPECT_EQ(rf_MFP_L3PurseRead(0, 0x4001, out), a.rc);
        EXPECT_EQ(lastRequest(), "00 00 77 40 01");
        EXPECT_EQ(outBytes(4), a.rc == 0 ? filler(4, 0x50) : Bytes(4, kUntouched));
        EXPECT_TRUE(untouchedFrom(4));
    }
}

TEST_F(MifarePlusWire, ReadOfTwoBlocksWantsThirtyTwoBytes) {
    clearOut();
    peer.script(answer(0, filler(16)));
    EXPECT_EQ(rf_MFP_L3Read(0, 1, 2, out), -5);
    EXPECT_EQ(lastRequest(), "00 00 74 00 01 02");
    EXPECT_TRUE(untouchedFrom(0)) << "nothing of a short answer is copied";
}

} // namespace
