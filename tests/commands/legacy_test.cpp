// The older generation of names: each must put the same bytes on the wire
// and hand back the same result as the newer call it stands for, apart from
// its own documented reshaping (a length written first, a one-byte block, a
// PUPI given as an integer).
#include "support/reader_fixture.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <vector>

using namespace testing_support;

namespace {

using Call = std::function<int(unsigned char* out, unsigned char* len)>;

constexpr unsigned char kUntouched = 0xEE;

Bytes filler(std::size_t n, unsigned first = 1) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>((first - 1 + i) % 0xED + 1);
    return b;
}

// What one call left behind: its result, its request and its outputs.
struct Outcome {
    int rc;
    std::string request;
    std::array<unsigned char, 256> out;
    unsigned char len;
    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
    return os << "rc " << o.rc << ", request [" << o.request << "], len " << int(o.len) << ", out "
              << toHex(Bytes(o.out.begin(), o.out.begin() + 24)) << " ...";
}

class LegacyNames : public ReaderOnPeer {
  protected:
    Outcome run(const Call& call, const Bytes& reply) {
        peer.script(reply);
        Outcome o{};
        o.out.fill(kUntouched);
        o.len = kUntouched;
        o.rc = call(o.out.data(), &o.len);
        o.request = lastRequest();
        return o;
    }
};

// One older name beside its newer call, with arguments that mean the same to both.
struct Pair {
    const char* what;
    Call older, current;
    std::string request; // what both must send
    Bytes fits;          // answer data the newer call accepts
};

unsigned char kKey6[6] = {0xA0, 0xA1, 0xAA, 0xA3, 0xA4, 0xA5};
unsigned char kUid8[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
unsigned char kFour[4] = {0x01, 0x02, 0x03, 0x04};
unsigned char kEight[8] = {0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88};
const Bytes kData = filler(250, 0x30);

std::string dataHex(std::size_t n) {
    return toHex(Bytes(kData.begin(), kData.begin() + static_cast<long>(n)));
}

// clang-format off
std::vector<Pair> pairs() {
    static Bytes d = kData;
    const std::string uid = " 01 02 03 04 05 06 07 08";
    return {
        // Type A, MIFARE Classic, Ultralight.
        {"rf_request", [](auto o, auto) { return rf_request(0, 0x26, o); }, [](auto o, auto) { return rf_ISO14443A_Request(0, 0x26, o); }, "00 00 0C 26", filler(2)},
        {"rf_request, other mode", [](auto o, auto) { return rf_request(0, 0x01, o); }, [](auto o, auto) { return rf_ISO14443A_Request(0, 0x01, o); }, "00 00 0C 52", filler(2)},
        {"rf_halt", [](auto, auto) { return rf_halt(0); }, [](auto, auto) { return rf_ISO14443A_Halt(0); }, "00 00 0F", {}},
        {"rf_M1_authentication1", [](auto, auto) { return rf_M1_authentication1(0, 0x60, 4, 7); },
         [](auto, auto) { return rf_M1_AuthenticateByDownloadedKey(0, 0x60, 4, 7); }, "00 00 11 60 04 07", {}},
        {"rf_M1_authentication2", [](auto, auto) { return rf_M1_authentication2(0, 0x61, 4, kKey6); },
         [](auto, auto) { return rf_M1_Authentication(0, 0x61, 4, kKey6); }, "00 00 12 61 04 A0 A1 AA A3 A4 A5", {}},
        {"rf_download_key", [](auto, auto) { return rf_download_key(0, 31, kKey6); },
         [](auto, auto) { return rf_M1_DownloadKeyToReader(0, 31, kKey6); }, "00 00 82 1F A0 A1 AA A3 A4 A5", {}},
        {"rf_M1_write", [](auto, auto) { return rf_M1_write(0, 5, d.data()); }, [](auto, auto) { return rf_M1_Write(0, 5, d.data()); },
         "00 00 14 05 " + dataHex(16), {}},
        {"rf_M1_multi_read", [](auto o, auto l) { return rf_M1_multi_read(0, 4, 2, o, l); },
         [](auto o, auto l) { return rf_M1_MultiRead(0, 4, 2, o, l); }, "00 00 88 04 02", filler(32)},
        {"rf_M1_multi_write", [](auto, auto) { return rf_M1_multi_write(0, 4, 2, d.data()); },
         [](auto, auto) { return rf_M1_MultiWrite(0, 4, 2, d.data()); }, "00 00 89 04 02 " + dataHex(32), {}},
        {"rf_M1_initval", [](auto, auto) { return rf_M1_initval(0, 5, 1000); }, [](auto, auto) { return rf_M1_PurseCreate(0, 5, 1000); },
         "00 00 15 05 E8 03 00 00", {}},
        {"rf_M1_readval", [](auto o, auto) { return rf_M1_readval(0, 5, o); }, [](auto o, auto) { return rf_M1_PurseRead(0, 5, o); },
         "00 00 16 05", filler(4)},
        {"rf_M1_increment", [](auto, auto) { return rf_M1_increment(0, 5, -1); }, [](auto, auto) { return rf_M1_PurseIncrement(0, 5, -1); },
         "00 00 18 05 FF FF FF FF", {}},
        {"rf_M1_decrement", [](auto, auto) { return rf_M1_decrement(0, 5, 2); }, [](auto, auto) { return rf_M1_PurseDecrement(0, 5, 2); },
         "00 00 17 05 02 00 00 00", {}},
        {"rf_M1_restore", [](auto, auto) { return rf_M1_restore(0, 5); }, [](auto, auto) { return rf_M1_PurseRestore(0, 5); }, "00 00 19 05", {}},
        {"rf_M1_transfer", [](auto, auto) { return rf_M1_transfer(0, 6); }, [](auto, auto) { return rf_M1_PurseTransfer(0, 6); }, "00 00 1A 06", {}},
        {"rf_UltraLight_Read", [](auto o, auto) { return rf_UltraLight_Read(0, 4, o); }, [](auto o, auto) { return rf_M1_Read(0, 4, o); },
         "00 00 13 04", filler(16)},
        {"rf_ul_write", [](auto, auto) { return rf_ul_write(0, 4, kFour); }, [](auto, auto) { return rf_UltraLight_Write(0, 4, kFour); },
         "00 00 34 04 01 02 03 04", {}},
        // Type B, ISO 14443-4, ID cards.
        {"rf_attrib", [](auto, auto) { return rf_attrib(0, 0x04030201u, 0x08); },
         [](auto, auto) { return rf_ISO14443B_Attribute(0, kFour, 0x08); }, "00 00 1E 01 02 03 04 08", {}},
        {"rf_attrib, PUPI with AA", [](auto, auto) { return rf_attrib(0, 0xAA00FF10u, 0x00); },
         [](auto, auto) {
             unsigned char pupi[4] = {0x10, 0xFF, 0x00, 0xAA};
             return rf_ISO14443B_Attribute(0, pupi, 0x00);
         }, "00 00 1E 10 FF 00 AA 00", {}},
        {"rf_hltb", [](auto, auto) { return rf_hltb(0, 0x04030201u); }, [](auto, auto) { return rf_ISO14443B_Halt(0, kFour); },
         "00 00 20 01 02 03 04", {}},
        {"rf_iso14443_4_type_a_reset", [](auto o, auto l) { return rf_iso14443_4_type_a_reset(0, o, l); },
         [](auto o, auto l) { return rf_ISO14443_4_TypeA_RATS(0, o, l); }, "00 00 1F", filler(6)},
        {"rf_request_Identify",
         [](auto o, auto l) { int n = 99; const int rc = rf_request_Identify(0, o, &n); *l = static_cast<unsigned char>(n); return rc; },
         [](auto o, auto l) { int n = 99; const int rc = rf_IDCard_Request(0, o, &n); *l = static_cast<unsigned char>(n); return rc; },
         "00 00 FD", filler(9)},
        {"rf_sendcos_Identify",
         [](auto o, auto l) { int n = 99; const int rc = rf_sendcos_Identify(0, kFour, 4, o, &n); *l = static_cast<unsigned char>(n); return rc; },
         [](auto o, auto l) { int n = 99; const int rc = rf_IDCard_COS(0, kFour, 4, o, &n); *l = static_cast<unsigned char>(n); return rc; },
         "00 00 FE 01 02 03 04", filler(5)},
        // ISO 15693.
        {"ISO15693_Inventory", [](auto o, auto l) { return ISO15693_Inventory(0, o, l); }, [](auto o, auto l) { return rf_ISO15693_Inventory(0, o, l); },
         "00 00 40", filler(9)},
        {"ISO15693_MultiInventory", [](auto o, auto l) { return ISO15693_MultiInventory(0, 6, 0, o, l); },
         [](auto o, auto l) { return rf_ISO15693_MultiInventory(0, 6, 0, o, l); }, "00 00 4D 06 00", filler(18)},
        {"ISO15693_Stay_Quiet", [](auto, auto) { return ISO15693_Stay_Quiet(0, kUid8); }, [](auto, auto) { return rf_ISO15693_StayQuiet(0, kUid8); },
         "00 00 41" + uid, {}},
        {"ISO15693_Select", [](auto, auto) { return ISO15693_Select(0, kUid8); }, [](auto, auto) { return rf_ISO15693_Select(0, kUid8); },
         "00 00 42" + uid, {}},
        {"ISO15693_Reset_To_Ready", [](auto, auto) { return ISO15693_Reset_To_Ready(0, 0x22, kUid8); },
         [](auto, auto) { return rf_ISO15693_ResetToReady(0, 0x22, kUid8); }, "00 00 43 22" + uid, {}},
        {"ISO15693_Read", [](auto o, auto l) { return ISO15693_Read(0, 0x22, kUid8, 3, 2, o, l); },
         [](auto o, auto l) { return rf_ISO15693_Read(0, 0x22, kUid8, 3, 2, o, l); }, "00 00 44 22" + uid + " 03 02", filler(8)},
        {"ISO15693_Write", [](auto, auto) { return ISO15693_Write(0, 0x22, kUid8, 5, kFour); },
         [](auto, auto) { return rf_ISO15693_Write(0, 0x22, kUid8, 5, kFour); }, "00 00 45 22" + uid + " 05 01 02 03 04", {}},
        {"ISO15693_Lock_Block", [](auto, auto) { return ISO15693_Lock_Block(0, 0x22, kUid8, 7); },
         [](auto, auto) { return rf_ISO15693_LockBlock(0, 0x22, kUid8, 7); }, "00 00 46 22" + uid + " 07", {}},
        {"ISO15693_Write_AFI", [](auto, auto) { return ISO15693_Write_AFI(0, 0x22, kUid8, 0x12); },
         [](auto, auto) { return rf_ISO15693_WriteAFI(0, 0x22, kUid8, 0x12); }, "00 00 47 22" + uid + " 12", {}},
        {"ISO15693_Lock_AFI", [](auto, auto) { return ISO15693_Lock_AFI(0, 0x22, kUid8); },
         [](auto, auto) { return rf_ISO15693_LockAFI(0, 0x22, kUid8); }, "00 00 48 22" + uid, {}},
        {"ISO15693_Write_DSFID", [](auto, auto) { return ISO15693_Write_DSFID(0, 0x22, kUid8, 0x34); },
         [](auto, auto) { return rf_ISO15693_WriteDSFID(0, 0x22, kUid8, 0x34); }, "00 00 49 22" + uid + " 34", {}},
        {"ISO15693_Lock_DSFID", [](auto, auto) { return ISO15693_Lock_DSFID(0, 0x22, kUid8); },
         [](auto, auto) { return rf_ISO15693_LockDSFID(0, 0x22, kUid8); }, "00 00 4A 22" + uid, {}},
        {"ISO15693_Get_System_Information", [](auto o, auto l) { return ISO15693_Get_System_Information(0, 0x22, kUid8, o, l); },
         [](auto o, auto l) { return rf_ISO15693_GetSystemInfomation(0, 0x22, kUid8, o, l); }, "00 00 4B 22" + uid, filler(15)},
        {"ISO15693_Get_Block_Security", [](auto o, auto l) { return ISO15693_Get_Block_Security(0, 0x22, kUid8, 0, 4, o, l); },
         [](auto o, auto l) { return rf_ISO15693_GetBlockSecurity(0, 0x22, kUid8, 0, 4, o, l); }, "00 00 4C 22" + uid + " 00 04", filler(4)},
        // MIFARE Plus; the byte-block names send the block as 00 and the byte.
        {"MFP_L0WritePerso", [](auto, auto) { return MFP_L0WritePerso(0, 0x9001, d.data()); },
         [](auto, auto) { return rf_MFP_L0WritePerso(0, 0x9001, d.data()); }, "00 00 70 90 01 " + dataHex(16), {}},
        {"MFP_L0CommitPerso", [](auto, auto) { return MFP_L0CommitPerso(0); }, [](auto, auto) { return rf_MFP_L0CommitPerso(0); }, "00 00 71", {}},
        {"MFP_SwitchToHighLevel", [](auto, auto) { return MFP_SwitchToHighLevel(0, 2, d.data()); },
         [](auto, auto) { return rf_MFP_SwitchToHighLevel(0, 2, d.data()); }, "00 00 72 02 " + dataHex(16), {}},
        {"MFP_FirstAuthentication", [](auto, auto) { return MFP_FirstAuthentication(0, 0x4002, d.data()); },
         [](auto, auto) { return rf_MFP_FirstAuthentication(0, 0x4002, d.data()); }, "00 00 7B 40 02 " + dataHex(16), {}},
        {"MFP_FollowingAuthentication", [](auto, auto) { return MFP_FollowingAuthentication(0, 0x4003, d.data()); },
         [](auto, auto) { return rf_MFP_FollowingAuthentication(0, 0x4003, d.data()); }, "00 00 7C 40 03 " + dataHex(16), {}},
        {"MFP_DataBlockAuthentication", [](auto, auto) { return MFP_DataBlockAuthentication(0, 1, 5, d.data()); },
         [](auto, auto) { return rf_MFP_DataBlockAuthentication(0, 1, 5, d.data()); }, "00 00 73 01 00 05 " + dataHex(16), {}},
        {"MFP_L3ReadDataBlock", [](auto o, auto) { return MFP_L3ReadDataBlock(0, 5, 1, o); },
         [](auto o, auto) { return rf_MFP_L3Read(0, 5, 1, o); }, "00 00 74 00 05 01", filler(16)},
        {"MFP_L3ReadDataBlock, block 255", [](auto o, auto) { return MFP_L3ReadDataBlock(0, 0xFF, 2, o); },
         [](auto o, auto) { return rf_MFP_L3Read(0, 0x00FF, 2, o); }, "00 00 74 00 FF 02", filler(32)},
        {"MFP_L3CommonRead", [](auto o, auto) { return MFP_L3CommonRead(0, 6, 1, o); },
         [](auto o, auto) { return rf_MFP_L3Read(0, 6, 1, o); }, "00 00 74 00 06 01", filler(16)},
        {"MFP_L3WriteDataBlock", [](auto, auto) { return MFP_L3WriteDataBlock(0, 5, 1, d.data()); },
         [](auto, auto) { return rf_MFP_L3Write(0, 5, 1, d.data()); }, "00 00 75 00 05 01 " + dataHex(16), {}},
        {"MFP_L3CommonWrite", [](auto, auto) { return MFP_L3CommonWrite(0, 5, 2, d.data()); },
         [](auto, auto) { return rf_MFP_L3Write(0, 5, 2, d.data()); }, "00 00 75 00 05 02 " + dataHex(32), {}},
        {"MFP_L3PurseInitial", [](auto, auto) { return MFP_L3PurseInitial(0, 9, 100); },
         [](auto, auto) { return rf_MFP_L3PurseCreate(0, 9, 100); }, "00 00 76 00 09 64 00 00 00", {}},
        {"MFP_L3PurseRead", [](auto o, auto) { return MFP_L3PurseRead(0, 9, o); }, [](auto o, auto) { return rf_MFP_L3PurseRead(0, 9, o); },
         "00 00 77 00 09", filler(4)},
        {"MFP_L3PurseIncrement", [](auto, auto) { return MFP_L3PurseIncrement(0, 9, 0x01020304); },
         [](auto, auto) { return rf_MFP_L3PurseIncrement(0, 9, 0x01020304); }, "00 00 78 00 09 04 03 02 01", {}},
        {"MFP_L3PurseDecrement", [](auto, auto) { return MFP_L3PurseDecrement(0, 0xAA, 1); },
         [](auto, auto) { return rf_MFP_L3PurseDecrement(0, 0xAA, 1); }, "00 00 79 00 AA 01 00 00 00", {}},
        {"MFP_L3PurseBackup", [](auto, auto) { return MFP_L3PurseBackup(0, 9, 10); },
         [](auto, auto) { return rf_MFP_L3PurseBackup(0, 9, 10); }, "00 00 7A 00 09 00 0A", {}},
        // ST SR176 and SRIX.
        {"rf_st_select", [](auto o, auto) { return rf_st_select(0, o); }, [](auto o, auto) { return rf_ST_GetCard(0, o); }, "00 00 29", filler(1)},
        {"rf_ST_Select", [](auto o, auto) { return rf_ST_Select(0, o); }, [](auto o, auto) { return rf_ST_GetCard(0, o); }, "00 00 29", filler(1)},
        {"rf_ST_SR176_Select", [](auto o, auto) { return rf_ST_SR176_Select(0, o); }, [](auto o, auto) { return rf_ST_GetCard(0, o); }, "00 00 29", filler(1)},
        {"rf_ST_SRI_Select", [](auto o, auto) { return rf_ST_SRI_Select(0, o); }, [](auto o, auto) { return rf_ST_GetCard(0, o); }, "00 00 29", filler(1)},
        {"rf_st_completion", [](auto, auto) { return rf_st_completion(0); }, [](auto, auto) { return rf_ST_Completion(0); }, "00 00 2A", {}},
        {"rf_ST_SR176_Completion", [](auto, auto) { return rf_ST_SR176_Completion(0); }, [](auto, auto) { return rf_ST_Completion(0); }, "00 00 2A", {}},
        {"rf_ST_SRI_Completion", [](auto, auto) { return rf_ST_SRI_Completion(0); }, [](auto, auto) { return rf_ST_Completion(0); }, "00 00 2A", {}},
        {"rf_sr176_writeblock", [](auto, auto) { return rf_sr176_writeblock(0, 5, kFour); },
         [](auto, auto) { return rf_ST_SR176_WriteBlock(0, 5, kFour); }, "00 00 2C 05 01 02", {}},
        {"rf_sr176_multi_read", [](auto o, auto l) { return rf_sr176_multi_read(0, 0, 4, o, l); },
         [](auto o, auto l) { return rf_ST_SR176_MultiRead(0, 0, 4, o, l); }, "00 00 8C 00 04", filler(8)},
        {"rf_sr176_multi_write", [](auto, auto) { return rf_sr176_multi_write(0, 1, 2, d.data()); },
         [](auto, auto) { return rf_ST_SR176_MultiWrite(0, 1, 2, d.data()); }, "00 00 89 01 02 " + dataHex(4), {}},
        {"rf_sr176_protectblock", [](auto, auto) { return rf_sr176_protectblock(0, 0x3C); },
         [](auto, auto) { return rf_ST_SR176_ProtectBlock(0, 0x3C); }, "00 00 2D 3C", {}},
        {"rf_sr176_getprotectreg", [](auto o, auto) { return rf_sr176_getprotectreg(0, o); },
         [](auto o, auto) { return rf_ST_SR176_GetProtectReg(0, o); }, "00 00 83", filler(1)},
        {"rf_srix4k_writeblock", [](auto, auto) { return rf_srix4k_writeblock(0, 7, kFour); },
         [](auto, auto) { return rf_ST_SRI_WriteBlock(0, 7, kFour); }, "00 00 2F 07 01 02 03 04", {}},
        {"rf_srix4k_multi_read", [](auto o, auto l) { return rf_srix4k_multi_read(0, 7, 4, o, l); },
         [](auto o, auto l) { return rf_ST_SRI_MultiRead(0, 7, 4, o, l); }, "00 00 8E 07 04", filler(16)},
        {"rf_srix4k_multi_write", [](auto, auto) { return rf_srix4k_multi_write(0, 7, 2, d.data()); },
         [](auto, auto) { return rf_ST_SRI_MultiWrite(0, 7, 2, d.data()); }, "00 00 89 07 02 " + dataHex(8), {}},
        {"rf_srix4k_writelockreg", [](auto, auto) { return rf_srix4k_writelockreg(0, 0x0F); },
         [](auto, auto) { return rf_ST_SRI_WriteLockReg(0, 0x0F); }, "00 00 32 0F", {}},
        // AT88RF020 and AT88RF080.
        {"rf_at020_check", [](auto, auto) { return rf_at020_check(0, kEight); }, [](auto, auto) { return rf_AT88RF020_Check(0, kEight); },
         "00 00 21 81 82 83 84 85 86 87 88", {}},
        {"rf_at020_write", [](auto, auto) { return rf_at020_write(0, 3, kEight); }, [](auto, auto) { return rf_AT88RF020_write(0, 3, kEight); },
         "00 00 23 03 81 82 83 84 85 86 87 88", {}},
        {"rf_at020_multi_read", [](auto o, auto l) { return rf_at020_multi_read(0, 0, 4, o, l); },
         [](auto o, auto l) { return rf_AT88RF020_MultiRead(0, 0, 4, o, l); }, "00 00 8A 00 04", filler(32)},
        {"rf_at020_multi_write", [](auto, auto) { return rf_at020_multi_write(0, 1, 2, d.data()); },
         [](auto, auto) { return rf_AT88RF020_MultiWrite(0, 1, 2, d.data()); }, "00 00 8B 01 02 " + dataHex(16), {}},
        {"rf_at020_lock", [](auto, auto) { return rf_at020_lock(0, kFour); }, [](auto, auto) { return rf_AT88RF020_Lock(0, kFour); },
         "00 00 24 01 02 03 04", {}},
        {"rf_at020_count", [](auto, auto) { return rf_at020_count(0, kEight); }, [](auto, auto) { return rf_AT88RF020_Count(0, kEight); },
         "00 00 25 81 82 83 84 85 86", {}},
        {"rf_at020_deselect", [](auto, auto) { return rf_at020_deselect(0); }, [](auto, auto) { return rf_AT88RF020_Deselect(0); }, "00 00 26", {}},
        {"rf_request_080", [](auto o, auto l) { return rf_request_080(0, 0x12, 0x34, o, l); },
         [](auto o, auto l) { return rf_AT88RF080_Request(0, 0x12, 0x34, o, l); }, "00 00 70 12 34", filler(8)},
    };
}
// clang-format on

TEST_F(LegacyNames, SameRequestAndSameResultAsTheNewerCall) {
    for (const Pair& p : pairs()) {
        SCOPED_TRACE(p.what);
        Bytes tooLong = p.fits;
        tooLong.push_back(0x5C);
        const struct {
            const char* what;
            Bytes reply;
        } replies[] = {
            {"answer that fits", answer(0, p.fits)},
            {"one byte too many", answer(0, tooLong)},
            {"reader status", answer(0x0A, p.fits)},
        };
        for (const auto& r : replies) {
            const Outcome older = run(p.older, r.reply);
            const Outcome current = run(p.current, r.reply);
            EXPECT_EQ(older, current) << r.what;
            EXPECT_EQ(older.request, p.request) << r.what;
        }
        const Outcome fits = run(p.older, answer(0, p.fits));
        EXPECT_EQ(fits.rc, 0);
    }
}

TEST_F(LegacyNames, WithoutReaderEveryOlderNameIsMinusOne) {
    ReaderClose(0);
    for (const Pair& p : pairs()) {
        std::array<unsigned char, 256> out;
        out.fill(kUntouched);
        unsigned char len = kUntouched;
        EXPECT_EQ(p.older(out.data(), &len), -1) << p.what;
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](unsigned char b) { return b == kUntouched; }))
            << p.what;
        // The ID-card names clear their length; every other name leaves it alone.
        const bool clearsLength = std::string(p.what).find("Identify") != std::string::npos;
        EXPECT_EQ(len, clearsLength ? 0 : kUntouched) << p.what;
    }
    EXPECT_TRUE(nothingSent());
}

// Older names that write the answer's fixed length to an extra argument
// before anything else, whatever the call then returns.
struct LengthFirst {
    const char* what;
    Call older;   // passes len as the extra argument
    Call current; // the newer call, without it
    std::string request;
    unsigned char length;
};

// clang-format off
std::vector<LengthFirst> lengthFirstNames() {
    static unsigned char six[6] = {0x61, 0x62, 0x63, 0x64, 0x65, 0x66};
    return {
        {"rf_M1_read", [](auto o, auto l) { return rf_M1_read(0, 4, o, l); }, [](auto o, auto) { return rf_M1_Read(0, 4, o); }, "00 00 13 04", 16},
        {"rf_atqb", [](auto o, auto l) { return rf_atqb(0, 1, o, l); }, [](auto o, auto) { return rf_ISO14443B_Request(0, 1, o); }, "00 00 1D 01", 12},
        {"rf_sr176_readblock", [](auto o, auto l) { return rf_sr176_readblock(0, 5, o, l); },
         [](auto o, auto) { return rf_ST_SR176_ReadBlock(0, 5, o); }, "00 00 2B 05", 2},
        {"rf_srix4k_getuid", [](auto o, auto l) { return rf_srix4k_getuid(0, o, l); }, [](auto o, auto) { return rf_ST_SRI_GetUID(0, o); }, "00 00 31", 8},
        {"rf_srix4k_readblock", [](auto o, auto l) { return rf_srix4k_readblock(0, 7, o, l); },
         [](auto o, auto) { return rf_ST_SRI_ReadBlock(0, 7, o); }, "00 00 2E 07", 4},
        {"rf_srix4k_authenticate", [](auto o, auto l) { return rf_srix4k_authenticate(0, six, o, l); },
         [](auto o, auto) { return rf_ST_SRIX_Authenticate(0, six, o); }, "00 00 30 61 62 63 64 65 66", 3},
        {"rf_at020_read", [](auto o, auto l) { return rf_at020_read(0, 3, o, l); }, [](auto o, auto) { return rf_AT88RF020_Read(0, 3, o); }, "00 00 22 03", 8},
    };
}
// clang-format on

TEST_F(LegacyNames, LengthFirstNamesWriteTheLengthWhateverHappens) {
    for (const LengthFirst& n : lengthFirstNames()) {
        SCOPED_TRACE(n.what);
        const Bytes fits = filler(n.length, 0x21);
        const Bytes replies[] = {answer(0, fits), answer(0, filler(n.length + 1u)),
                                 answer(0, filler(n.length - 1u)), answer(0x0A, fits), answer(0)};
        const int expected[] = {0, -5, -5, 10, -5};
        for (std::size_t i = 0; i < std::size(replies); ++i) {
            Outcome older = run(n.older, replies[i]);
            const Outcome current = run(n.current, replies[i]);
            EXPECT_EQ(older.rc, expected[i]) << "reply " << i;
            EXPECT_EQ(older.len, n.length) << "reply " << i;
            older.len = kUntouched; // the only difference allowed
            EXPECT_EQ(older, current) << "reply " << i;
            EXPECT_EQ(older.request, n.request) << "reply " << i;
        }
    }
    // A refused argument of the newer call still leaves the length written.
    unsigned char atqb[12], len = 0;
    EXPECT_EQ(rf_atqb(0, 2, atqb, &len), -5);
    EXPECT_EQ(len, 12);
    EXPECT_TRUE(nothingSent());

    ReaderClose(0);
    for (const LengthFirst& n : lengthFirstNames()) {
        std::array<unsigned char, 32> out;
        out.fill(kUntouched);
        unsigned char l = kUntouched;
        EXPECT_EQ(n.older(out.data(), &l), -1) << n.what;
        EXPECT_EQ(l, n.length) << n.what << ": written even with no reader open";
        EXPECT_EQ(out[0], kUntouched) << n.what;
    }
}

TEST_F(LegacyNames, OlderNamesKeepTheArgumentChecksOfTheirTargets) {
    unsigned char out[16];
    const struct {
        const char* what;
        std::function<int()> older;
        int rc;
    } refused[] = {
        {"rf_M1_authentication2, mode 62", [] { return rf_M1_authentication2(0, 0x62, 4, kKey6); }, -5},
        {"rf_M1_authentication1, mode 62", [] { return rf_M1_authentication1(0, 0x62, 4, 0); }, -1},
        {"rf_download_key, slot 32", [] { return rf_download_key(0, 32, kKey6); }, -5},
        {"rf_M1_multi_write, 16 blocks",
         [] { return rf_M1_multi_write(0, 0, 16, const_cast<unsigned char*>(kData.data())); }, -5},
        {"ISO15693_Read, 16 blocks",
         [&] {
             unsigned char l;
             return ISO15693_Read(0, 0x22, kUid8, 0, 16, out, &l);
         },
         -5},
        {"ISO15693_Get_Block_Security, 64 blocks",
         [&] {
             unsigned char l;
             return ISO15693_Get_Block_Security(0, 0x22, kUid8, 0, 64, out, &l);
         },
         -1},
        {"MFP_L3WriteDataBlock, 4 blocks",
         [] { return MFP_L3WriteDataBlock(0, 0, 4, const_cast<unsigned char*>(kData.data())); }, -1},
        {"MFP_L3CommonWrite, 4 blocks",
         [] { return MFP_L3CommonWrite(0, 0, 4, const_cast<unsigned char*>(kData.data())); }, -1},
        {"rf_request without atqa", [] { return rf_request(0, 0x26, nullptr); }, -5},
    };
    for (const auto& r : refused)
        EXPECT_EQ(r.older(), r.rc) << r.what;
    EXPECT_TRUE(nothingSent());
}

} // namespace
