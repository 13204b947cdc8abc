// ISO 15693 vicinity tags and ICODE1 labels on the wire.
#include "support/wire_table.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <vector>

using namespace testing_support;

namespace {

class VicinityWire : public WireTable {};

// ---------------------------------------------------------------------------

unsigned char kUid[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
unsigned char kBlock[4] = {0xAA, 0xBB, 0xCC, 0xDD};
const std::string uid = "01 02 03 04 05 06 07 08";

// clang-format off
std::vector<Row> vicinityRows() {
    using K = Kind;
    return {
        {"inventory", [](auto o, auto l) { return rf_ISO15693_Inventory(0, o, l); }, "00 00 40", K::Counted, 9},
        {"multi inventory", [](auto o, auto l) { return rf_ISO15693_MultiInventory(0, 0x06, 0x00, o, l); }, "00 00 4D 06 00", K::Variable, 18},
        {"stay quiet", [](auto, auto) { return rf_ISO15693_StayQuiet(0, kUid); }, "00 00 41 " + uid, K::None},
        {"select has no flags byte", [](auto, auto) { return rf_ISO15693_Select(0x0102, kUid); }, "01 02 42 " + uid, K::None},
        {"reset to ready", [](auto, auto) { return rf_ISO15693_ResetToReady(0, 0x22, kUid); }, "00 00 43 22 " + uid, K::None},
        {"read 15 blocks", [](auto o, auto l) { return rf_ISO15693_Read(0, 0x22, kUid, 3, 15, o, l); }, "00 00 44 22 " + uid + " 03 0F", K::Variable, 60},
        {"read 1 block", [](auto o, auto l) { return rf_ISO15693_Read(0, 0x02, kUid, 0xFF, 0, o, l); }, "00 00 44 02 " + uid + " FF 00", K::Variable, 4},
        {"write", [](auto, auto) { return rf_ISO15693_Write(0, 0x22, kUid, 5, kBlock); }, "00 00 45 22 " + uid + " 05 AA BB CC DD", K::None},
        {"lock block", [](auto, auto) { return rf_ISO15693_LockBlock(0, 0x22, kUid, 7); }, "00 00 46 22 " + uid + " 07", K::None},
        {"write AFI", [](auto, auto) { return rf_ISO15693_WriteAFI(0, 0x22, kUid, 0x12); }, "00 00 47 22 " + uid + " 12", K::None},
        {"lock AFI", [](auto, auto) { return rf_ISO15693_LockAFI(0, 0x22, kUid); }, "00 00 48 22 " + uid, K::None},
        {"write DSFID", [](auto, auto) { return rf_ISO15693_WriteDSFID(0, 0x22, kUid, 0x34); }, "00 00 49 22 " + uid + " 34", K::None},
        {"lock DSFID", [](auto, auto) { return rf_ISO15693_LockDSFID(0, 0x62, kUid); }, "00 00 4A 62 " + uid, K::None},
        {"system information", [](auto o, auto l) { return rf_ISO15693_GetSystemInfomation(0, 0x22, kUid, o, l); }, "00 00 4B 22 " + uid, K::Variable, 15},
        {"block security of 63 blocks", [](auto o, auto l) { return rf_ISO15693_GetBlockSecurity(0, 0x22, kUid, 0, 63, o, l); }, "00 00 4C 22 " + uid + " 00 3F", K::Variable, 63},
        {"ICODE1 request", [](auto o, auto) { return rf_ICODE1_Request(0, o); }, "00 00 A0", K::Exact, 8},
        {"ICODE1 read", [](auto o, auto) { return rf_ICODE1_Read(0, 2, o); }, "00 00 A1 02", K::Exact, 4},
        {"ICODE1 write", [](auto, auto) { return rf_ICODE1_Write(0, 2, kBlock); }, "00 00 A2 02 AA BB CC DD", K::None},
        {"ICODE1 halt", [](auto, auto) { return rf_ICODE1_Halt(0); }, "00 00 A3", K::None},
    };
}
// clang-format on

TEST_F(VicinityWire, EveryCommandByteForByte) {
    for (const Row& row : vicinityRows())
        check(row);
}

TEST_F(VicinityWire, WithoutReaderEveryCommandIsMinusOne) { checkWithoutReader(vicinityRows()); }

TEST_F(VicinityWire, RefusedArgumentsSendNothing) {
    unsigned char* o = out;
    unsigned char* l = &len;
    // clang-format off
    checkRefusals({
        {"read 16 blocks", [=] { return rf_ISO15693_Read(0, 0x22, kUid, 0, 16, o, l); }, -5, false},
        {"read 255 blocks", [=] { return rf_ISO15693_Read(0, 0x22, kUid, 0, 255, o, l); }, -5, false},
        {"security of 64 blocks", [=] { return rf_ISO15693_GetBlockSecurity(0, 0x22, kUid, 0, 64, o, l); }, -1, false},
        {"security of 255 blocks", [=] { return rf_ISO15693_GetBlockSecurity(0, 0x22, kUid, 0, 255, o, l); }, -1, false},
        {"select without a UID", [] { return rf_ISO15693_Select(0, nullptr); }, -5, false},
        {"write without a UID", [] { return rf_ISO15693_Write(0, 0x22, nullptr, 5, kBlock); }, -5, false},
        {"write without data", [] { return rf_ISO15693_Write(0, 0x22, kUid, 5, nullptr); }, -5, false},
        {"inventory without a length", [=] { return rf_ISO15693_Inventory(0, o, nullptr); }, -5, false},
        {"read without a buffer", [=] { return rf_ISO15693_Read(0, 0x22, kUid, 0, 1, nullptr, l); }, -5, false},
        {"ICODE1 read without a buffer", [] { return rf_ICODE1_Read(0, 2, nullptr); }, -5, false},
    });
    // clang-format on
}

TEST_F(VicinityWire, BlockBytesEqualToTheStartByteAreStuffed) {
    peer.script(answer(0));
    ASSERT_EQ(rf_ISO15693_Write(0, 0x22, kUid, 5, kBlock), 0);
    EXPECT_EQ(lastRequest(), "00 00 45 22 " + uid + " 05 AA BB CC DD");
    // 14 data bytes: L = 18 (12 hex), so the raw frame carries one stuffing byte after the data's AA.
    const Bytes raw = peer.requests().back();
    const std::string wire = toHex(raw);
    EXPECT_EQ(wire.substr(0, 17), "AA BB 12 ED 00 00") << wire;
    EXPECT_NE(wire.find("05 AA 00 BB CC DD"), std::string::npos) << wire;
    EXPECT_EQ(raw.size(), 2u + 2 + 3 + 14 + 1 + 1);
}

TEST_F(VicinityWire, InventoryLengthIsWrittenEvenWhenWrong) {
    clearOut();
    peer.script(answer(0, filler(8)));
    EXPECT_EQ(rf_ISO15693_Inventory(0, out, &len), -5);
    EXPECT_EQ(lastRequest(), "00 00 40");
    EXPECT_EQ(len, 8);
    EXPECT_TRUE(untouchedFrom(0));
}

} // namespace
