// Type A cards, MIFARE Classic and Ultralight on the wire, byte for byte.
#include "support/wire_table.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <functional>
#include <vector>

using namespace testing_support;

namespace {

class TypeAWire : public WireTable {};

// ---------------------------------------------------------------------------

unsigned char kKey[6] = {0xA0, 0xA1, 0xAA, 0xA3, 0xA4, 0xA5};
unsigned char kUid4[4] = {0x11, 0x22, 0x33, 0x44};
unsigned char kUid7[7] = {0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
unsigned char kPage[4] = {0x01, 0x02, 0x03, 0x04};
const Bytes kBlock = filler(16, 0x10);
const Bytes kBlocks = filler(15 * 16, 0x40);

std::string hexOf(const Bytes& b) { return toHex(b); }

// clang-format off
std::vector<Row> typeARows() {
    static Bytes block = kBlock, blocks = kBlocks;
    using K = Kind;
    return {
        {"request, idle cards", [](auto o, auto) { return rf_ISO14443A_Request(0, 0x26, o); }, "00 00 0C 26", K::Exact, 2},
        {"request, all cards", [](auto o, auto) { return rf_ISO14443A_Request(0, 0x52, o); }, "00 00 0C 52", K::Exact, 2},
        {"request mode 00 asks all cards", [](auto o, auto) { return rf_ISO14443A_Request(0, 0x00, o); }, "00 00 0C 52", K::Exact, 2},
        {"request mode 27 asks all cards", [](auto o, auto) { return rf_ISO14443A_Request(0, 0x27, o); }, "00 00 0C 52", K::Exact, 2},
        {"get card at another address", [](auto o, auto l) { return rf_ISO14443A_GetCard(0x1234, 0x26, o, l); }, "12 34 10 26", K::Variable, 7},
        {"get card passes its mode", [](auto o, auto l) { return rf_ISO14443A_GetCard(0, 0x01, o, l); }, "00 00 10 01", K::Variable, 10},
        {"anticollision level 1", [](auto o, auto) { return rf_ISO14443A_AnticollisionLevel1(0, o); }, "00 00 80 01", K::Exact, 4},
        {"anticollision level 2", [](auto o, auto) { return rf_ISO14443A_AnticollisionLevel2(0, o); }, "00 00 80 02", K::Exact, 4},
        {"anticollision level 3", [](auto o, auto) { return rf_ISO14443A_AnticollisionLevel3(0, o); }, "00 00 80 03", K::Exact, 4},
        {"anticollision, level 1 as argument", [](auto o, auto) { return rf_anticollCLn(0, 1, o); }, "00 00 80 01", K::Exact, 4},
        {"anticollision, level 3 as argument", [](auto o, auto) { return rf_anticollCLn(0, 3, o); }, "00 00 80 03", K::Exact, 4},
        {"select level 1", [](auto o, auto) { return rf_ISO14443A_SelectLevel1(0, kUid4, o); }, "00 00 81 01 11 22 33 44", K::Exact, 1},
        {"select level 2", [](auto o, auto) { return rf_ISO14443A_SelectLevel2(0, kUid4, o); }, "00 00 81 02 11 22 33 44", K::Exact, 1},
        {"select level 3", [](auto o, auto) { return rf_ISO14443A_SelectLevel3(0, kUid4, o); }, "00 00 81 03 11 22 33 44", K::Exact, 1},
        {"select, level 2 as argument", [](auto o, auto) { return rf_selectCLn(0, 2, kUid4, o); }, "00 00 81 02 11 22 33 44", K::Exact, 1},
        {"anticollision and select", [](auto o, auto l) { return rf_ISO14443A_AnticollisionAndSelect(0, o, l); }, "00 00 94", K::Variable, 8},
        {"anticoll for a 4-byte UID", [](auto o, auto l) { return rf_anticoll(0, 4, o, l); }, "00 00 0D 04", K::Variable, 4},
        {"anticoll for a 7-byte UID", [](auto o, auto l) { return rf_anticoll(0, 7, o, l); }, "00 00 0D 07", K::Variable, 7},
        {"anticoll for a 10-byte UID", [](auto o, auto l) { return rf_anticoll(0, 10, o, l); }, "00 00 0D 0A", K::Variable, 10},
        {"select a 4-byte UID", [](auto o, auto) { return rf_select(0, kUid4, 4, o); }, "00 00 0E 11 22 33 44", K::Exact, 1},
        {"select a 7-byte UID", [](auto o, auto) { return rf_select(0, kUid7, 7, o); }, "00 00 0E 04 11 22 33 44 55 66", K::Exact, 1},
        {"halt", [](auto, auto) { return rf_ISO14443A_Halt(0); }, "00 00 0F", K::None},
        {"type A reset", [](auto o, auto l) { return rf_typea_rst(0, 0x52, o, l); }, "00 00 1B 52", K::Variable, 5},
        {"type A reset passes its mode", [](auto o, auto l) { return rf_typea_rst(0, 0x07, o, l); }, "00 00 1B 07", K::Variable, 5},
        {"authenticate with key A", [](auto, auto) { return rf_M1_Authentication(0, 0x60, 4, kKey); }, "00 00 12 60 04 A0 A1 AA A3 A4 A5", K::None},
        {"authenticate with key B", [](auto, auto) { return rf_M1_Authentication(0x00AA, 0x61, 0x3F, kKey); }, "00 AA 12 61 3F A0 A1 AA A3 A4 A5", K::None},
        {"authenticate with stored key 31", [](auto, auto) { return rf_M1_AuthenticateByDownloadedKey(0, 0x61, 8, 31); }, "00 00 11 61 08 1F", K::None},
        {"authenticate with stored key 0", [](auto, auto) { return rf_M1_AuthenticateByDownloadedKey(0, 0x60, 0, 0); }, "00 00 11 60 00 00", K::None},
        {"download key to slot 31", [](auto, auto) { return rf_M1_DownloadKeyToReader(0, 31, kKey); }, "00 00 82 1F A0 A1 AA A3 A4 A5", K::None},
        {"download key to slot 0", [](auto, auto) { return rf_M1_DownloadKeyToReader(0, 0, kKey); }, "00 00 82 00 A0 A1 AA A3 A4 A5", K::None},
        {"read block", [](auto o, auto) { return rf_M1_Read(0, 4, o); }, "00 00 13 04", K::Exact, 16},
        {"ultralight read", [](auto o, auto) { return rf_UltraLight_Read(0, 4, o); }, "00 00 13 04", K::Exact, 16},
        {"write block", [](auto, auto) { return rf_M1_Write(0, 5, block.data()); }, "00 00 14 05 " + hexOf(kBlock), K::None},
        {"read 3 blocks", [](auto o, auto l) { return rf_M1_MultiRead(0, 4, 3, o, l); }, "00 00 88 04 03", K::Counted, 48},
        {"read 1 block", [](auto o, auto l) { return rf_M1_MultiRead(0, 0x3C, 1, o, l); }, "00 00 88 3C 01", K::Counted, 16},
        {"write 2 blocks", [](auto, auto) { return rf_M1_MultiWrite(0, 4, 2, blocks.data()); },
         "00 00 89 04 02 " + hexOf(Bytes(kBlocks.begin(), kBlocks.begin() + 32)), K::None},
        {"write 15 blocks, a full frame", [](auto, auto) { return rf_M1_MultiWrite(0, 0, 15, blocks.data()); },
         "00 00 89 00 0F " + hexOf(kBlocks), K::None},
        {"purse create", [](auto, auto) { return rf_M1_PurseCreate(0, 5, 0x12345678); }, "00 00 15 05 78 56 34 12", K::None},
        {"purse read", [](auto o, auto) { return rf_M1_PurseRead(0, 5, o); }, "00 00 16 05", K::Exact, 4},
        {"purse decrement by -2", [](auto, auto) { return rf_M1_PurseDecrement(0, 6, -2); }, "00 00 17 06 FE FF FF FF", K::None},
        {"purse increment by 1000", [](auto, auto) { return rf_M1_PurseIncrement(0, 5, 1000); }, "00 00 18 05 E8 03 00 00", K::None},
        {"purse increment by -1", [](auto, auto) { return rf_M1_PurseIncrement(0, 5, -1); }, "00 00 18 05 FF FF FF FF", K::None},
        {"purse restore", [](auto, auto) { return rf_M1_PurseRestore(0, 5); }, "00 00 19 05", K::None},
        {"purse transfer", [](auto, auto) { return rf_M1_PurseTransfer(0, 6); }, "00 00 1A 06", K::None},
        {"ultralight write", [](auto, auto) { return rf_UltraLight_Write(0, 4, kPage); }, "00 00 34 04 01 02 03 04", K::None},
        {"ultralight C authentication", [](auto, auto) { return rf_UltraLightC_Authentication(0, block.data()); },
         "00 00 36 " + hexOf(kBlock), K::None},
    };
}
// clang-format on

TEST_F(TypeAWire, EveryCommandByteForByte) {
    for (const Row& row : typeARows())
        check(row);
}

TEST_F(TypeAWire, WithoutReaderEveryCommandIsMinusOne) { checkWithoutReader(typeARows()); }

TEST_F(TypeAWire, RefusedArgumentsSendNothing) {
    unsigned char* o = out;
    unsigned char* l = &len;
    static Bytes blocks = filler(16 * 16);
    // clang-format off
    checkRefusals({
        {"request without atqa", [] { return rf_ISO14443A_Request(0, 0x26, nullptr); }, -5, true},
        {"authenticate with mode 62", [] { return rf_M1_Authentication(0, 0x62, 4, kKey); }, -5, true},
        {"authenticate with mode 00", [] { return rf_M1_Authentication(0, 0x00, 4, kKey); }, -5, true},
        {"stored-key authenticate with mode 62", [] { return rf_M1_AuthenticateByDownloadedKey(0, 0x62, 4, 0); }, -1, true},
        {"anticoll for 5 bytes", [=] { return rf_anticoll(0, 5, o, l); }, -5, false},
        {"anticoll for 0 bytes", [=] { return rf_anticoll(0, 0, o, l); }, -5, false},
        {"anticoll for 11 bytes", [=] { return rf_anticoll(0, 11, o, l); }, -5, false},
        {"anticollision level 0", [=] { return rf_anticollCLn(0, 0, o); }, -5, false},
        {"anticollision level 4", [=] { return rf_anticollCLn(0, 4, o); }, -5, false},
        {"select level 0", [=] { return rf_selectCLn(0, 0, kUid4, o); }, -5, false},
        {"select level 4", [=] { return rf_selectCLn(0, 4, kUid4, o); }, -5, false},
        {"download key to slot 32", [] { return rf_M1_DownloadKeyToReader(0, 32, kKey); }, -5, false},
        {"download key to slot 255", [] { return rf_M1_DownloadKeyToReader(0, 255, kKey); }, -5, false},
        {"write 16 blocks", [] { return rf_M1_MultiWrite(0, 0, 16, blocks.data()); }, -5, false},
        {"write 255 blocks", [] { return rf_M1_MultiWrite(0, 0, 255, blocks.data()); }, -5, false},
        {"read without a buffer", [] { return rf_M1_Read(0, 4, nullptr); }, -5, false},
        {"write without data", [] { return rf_M1_Write(0, 4, nullptr); }, -5, false},
        {"authenticate without a key", [] { return rf_M1_Authentication(0, 0x60, 4, nullptr); }, -5, false},
        {"get card without a length", [=] { return rf_ISO14443A_GetCard(0, 0x52, o, nullptr); }, -5, false},
        {"select without a SAK byte", [] { return rf_select(0, kUid4, 4, nullptr); }, -5, false},
        {"multi read without a length", [=] { return rf_M1_MultiRead(0, 0, 1, o, nullptr); }, -5, false},
        {"ultralight select without uid", [=] { return rf_ul_select(0, nullptr, l); }, -5, false},
        {"search without uid length", [=] { return rf_search_type_a(0, 0x52, o, l, nullptr); }, -5, false},
        {"card info without uid", [=] { return rf_getlockcardinfo(0, 0x52, nullptr, l, o + 100); }, -1, true},
        {"card info without uid length", [=] { return rf_getlockcardinfo(0, 0x52, o, nullptr, o + 100); }, -1, true},
        {"card info without atqa", [=] { return rf_getlockcardinfo(0, 0x52, o, l, nullptr); }, -1, true},
    });
    // clang-format on
}

TEST_F(TypeAWire, SixteenBlocksCanNeverBeRead) {
    // 16 x 16 bytes do not fit one answer: even the longest answer is wrong.
    clearOut();
    peer.script(answer(0, filler(250)));
    EXPECT_EQ(rf_M1_MultiRead(0, 0, 16, out, &len), -5);
    EXPECT_EQ(lastRequest(), "00 00 88 00 10");
    EXPECT_EQ(len, 250);
    EXPECT_TRUE(untouchedFrom(0));
}

TEST_F(TypeAWire, SearchGivesTheUidLength) {
    unsigned char uidlen = kUntouched;
    const struct {
        const char* what;
        Bytes reply;
        int rc;
        unsigned char uidlen;
    } cases[] = {
        {"7-byte UID", answer(0, filler(10)), 0, 7},
        {"4-byte UID", answer(0, filler(7)), 0, 4},
        {"10-byte UID", answer(0, filler(13)), 0, 10},
        {"no card", answer(0x01), 1, kUntouched},
        {"wrong checksum", withBadChecksum(answer(0, filler(10))), 252, kUntouched},
    };
    for (const auto& c : cases) {
        clearOut();
        uidlen = kUntouched;
        peer.script(c.reply);
        EXPECT_EQ(rf_search_type_a(0, 0x26, out, &len, &uidlen), c.rc) << c.what;
        EXPECT_EQ(lastRequest(), "00 00 10 26") << c.what;
        EXPECT_EQ(uidlen, c.uidlen) << c.what;
        if (c.rc == 0) {
            EXPECT_EQ(len, c.uidlen + 3) << c.what;
            EXPECT_EQ(outBytes(len), filler(len)) << c.what;
        } else {
            EXPECT_TRUE(untouchedFrom(0)) << c.what;
        }
    }
}

TEST_F(TypeAWire, UltralightSelectHandsOutTheUidAloneAndAtMost61Bytes) {
    // The caller's uid buffer is documented as 61 bytes; guard bytes follow it.
    std::array<unsigned char, 61 + 16> uid;
    unsigned char uidlen;
    const struct {
        std::size_t answerLength;
        int rc;
        std::size_t uidLength;
    } cases[] = {
        {7, 0, 4},    {10, 0, 7},   {13, 0, 10}, {64, 0, 61}, {65, 0, 61},
        {100, 0, 61}, {250, 0, 61}, {2, 0, 0}, // too short to carry a UID: nothing is read before it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("answer of " + std::to_string(c.answerLength));
        uid.fill(kUntouched);
        uidlen = kUntouched;
        const Bytes reply = filler(c.answerLength);
        peer.script(answer(0, reply));
        EXPECT_EQ(rf_ul_select(0, uid.data(), &uidlen), c.rc);
        EXPECT_EQ(lastRequest(), "00 00 10 52");
        EXPECT_EQ(uidlen, c.uidLength);
        EXPECT_EQ(Bytes(uid.begin(), uid.begin() + static_cast<long>(c.uidLength)),
                  Bytes(reply.begin() + std::min<long>(3, static_cast<long>(reply.size())),
                        reply.begin() + std::min<long>(3, static_cast<long>(reply.size())) +
                            static_cast<long>(c.uidLength)));
        EXPECT_TRUE(std::all_of(uid.begin() + static_cast<long>(c.uidLength), uid.end(),
                                [](unsigned char b) { return b == kUntouched; }));
    }
    // A failed search leaves both outputs alone.
    uid.fill(kUntouched);
    uidlen = kUntouched;
    peer.script(answer(0x02));
    EXPECT_EQ(rf_ul_select(0, uid.data(), &uidlen), 2);
    EXPECT_EQ(lastRequest(), "00 00 10 52");
    EXPECT_EQ(uidlen, kUntouched);
    EXPECT_EQ(uid[0], kUntouched);
}

TEST_F(TypeAWire, PurseBackupIsRestoreThenTransferAndHidesTheCause) {
    const Bytes ok = answer(0);
    const Bytes garbage = hex("AA BC 05 FA"); // a broken header: link error 9
    const struct {
        const char* what;
        std::vector<Bytes> replies;
        int rc;
        std::vector<std::string> requests;
    } cases[] = {
        {"both steps succeed", {ok, ok}, 0, {"00 00 19 05", "00 00 1A 06"}},
        {"restore refused with status 4: no transfer", {answer(4)}, -5, {"00 00 19 05"}},
        {"restore broken on the link: no transfer", {garbage}, -5, {"00 00 19 05"}},
        {"transfer refused", {ok, answer(8)}, -5, {"00 00 19 05", "00 00 1A 06"}},
        {"transfer with a wrong checksum", {ok, withBadChecksum(ok)}, -5, {"00 00 19 05", "00 00 1A 06"}},
    };
    for (const auto& c : cases) {
        for (const Bytes& r : c.replies)
            peer.script(r);
        EXPECT_EQ(rf_M1_PurseBackup(0, 5, 6), c.rc) << c.what;
        EXPECT_EQ(requestsSince(c.requests.size()), c.requests) << c.what;
    }
    ReaderClose(0);
    EXPECT_EQ(rf_M1_PurseBackup(0, 5, 6), -5) << "no reader is a failed restore too";
}

TEST_F(TypeAWire, LockCardInfoRoads) {
    const Bytes classicAtqa = {0x04, 0x00}, ultralightAtqa = {0x44, 0x00};
    const Bytes uid4(kUid4, kUid4 + 4), uid7(kUid7, kUid7 + 7);
    auto card = [](const Bytes& atqa, const Bytes& uid) {
        Bytes data = atqa;
        data.push_back(0x00); // SAK
        data.insert(data.end(), uid.begin(), uid.end());
        return answer(0, data);
    };
    const std::string request = "00 00 0C 52", anticoll = "00 00 0D 04", select = "00 00 0E 11 22 33 44",
                      search = "00 00 10 52";
    const struct {
        const char* what;
        std::vector<Bytes> replies;
        int rc;
        std::vector<std::string> requests;
        Bytes uid; // expected in uid and (length) in uidlen; empty: untouched
        Bytes atqa;
    } cases[] = {
        {"ultralight with a 7-byte UID",
         {answer(0, ultralightAtqa), card(ultralightAtqa, uid7)},
         0,
         {request, search},
         uid7,
         ultralightAtqa},
        {"ultralight road, 4-byte UID",
         {answer(0, ultralightAtqa), card(ultralightAtqa, uid4)},
         -6,
         {request, search},
         uid4,
         ultralightAtqa},
        {"ultralight road, select fails",
         {answer(0, ultralightAtqa), answer(0x01)},
         -5,
         {request, search},
         {},
         ultralightAtqa},
        {"classic with a 4-byte UID",
         {answer(0, classicAtqa), answer(0, uid4), answer(0, {0x08})},
         0,
         {request, anticoll, select},
         uid4,
         classicAtqa},
        {"classic road, anticoll fails",
         {answer(0, classicAtqa), answer(0x02)},
         -2,
         {request, anticoll},
         {},
         classicAtqa},
        {"classic road, 7-byte UID",
         {answer(0, classicAtqa), answer(0, uid7)},
         -3,
         {request, anticoll},
         uid7,
         classicAtqa},
        {"classic road, select fails",
         {answer(0, classicAtqa), answer(0, uid4), answer(0x03)},
         -4,
         {request, anticoll, select},
         uid4,
         classicAtqa},
        {"ATQA 44 01 is not an ultralight",
         {answer(0, {0x44, 0x01}), answer(0, uid4), answer(0, {0x08})},
         0,
         {request, anticoll, select},
         uid4,
         {0x44, 0x01}},
        {"request fails once, then the card answers",
         {answer(0x01), answer(0, classicAtqa), answer(0, uid4), answer(0, {0x08})},
         0,
         {request, request, anticoll, select},
         uid4,
         classicAtqa},
        {"request fails twice", {answer(0x01), answer(0x01)}, -1, {request, request}, {}, {}},
        {"request answers with a 1-byte ATQA twice",
         {answer(0, {0x44}), answer(0, {0x44})},
         -1,
         {request, request},
         {},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::array<unsigned char, 250 + 8> uid;
        uid.fill(kUntouched);
        unsigned char uidlen = kUntouched;
        // The atqa buffer is 2 bytes: the bytes behind it (zero here) decide nothing.
        std::array<unsigned char, 4> atqa = {kUntouched, kUntouched, 0x00, 0x00};
        for (const Bytes& r : c.replies)
            peer.script(r);
        EXPECT_EQ(rf_getlockcardinfo(0, 0x52, uid.data(), &uidlen, atqa.data()), c.rc);
        EXPECT_EQ(requestsSince(c.requests.size()), c.requests);
        if (c.uid.empty()) {
            EXPECT_EQ(uidlen, kUntouched);
        } else {
            EXPECT_EQ(uidlen, c.uid.size());
            EXPECT_EQ(Bytes(uid.begin(), uid.begin() + static_cast<long>(c.uid.size())), c.uid);
        }
        EXPECT_TRUE(std::all_of(uid.begin() + static_cast<long>(c.uid.size()), uid.end(),
                                [](unsigned char b) { return b == kUntouched; }));
        if (c.atqa.empty()) {
            EXPECT_EQ(atqa[0], kUntouched);
        } else {
            EXPECT_EQ(Bytes(atqa.begin(), atqa.begin() + 2), c.atqa);
        }
        EXPECT_EQ(atqa[2], 0x00);
        EXPECT_EQ(atqa[3], 0x00);
    }

    // The card's mode goes to the request unchanged when it is an idle-only search.
    unsigned char uid[250], uidlen, atqa[2];
    peer.script(answer(0, classicAtqa));
    peer.script(answer(0, uid4));
    peer.script(answer(0, {0x08}));
    EXPECT_EQ(rf_getlockcardinfo(0, 0x26, uid, &uidlen, atqa), 0);
    EXPECT_EQ(requestsSince(3), (std::vector<std::string>{"00 00 0C 26", anticoll, select}));

    ReaderClose(0);
    EXPECT_EQ(rf_getlockcardinfo(0, 0x52, uid, &uidlen, atqa), -1);
}

TEST_F(TypeAWire, ShortCommandsGiveUpSoonerThanCardCommands) {
    using Clock = std::chrono::steady_clock;
    unsigned char buf[16];
    const struct {
        const char* what;
        std::function<int()> call;
        int fromMs, belowMs;
    } cases[] = {
        {"request (100 ms)", [&] { return rf_ISO14443A_Request(0, 0x52, buf); }, 95, 190},
        {"halt (100 ms)", [] { return rf_ISO14443A_Halt(0); }, 95, 190},
        {"anticollision level 2 (100 ms)", [&] { return rf_ISO14443A_AnticollisionLevel2(0, buf); }, 95, 190},
        {"anticollision with level argument (200 ms)", [&] { return rf_anticollCLn(0, 2, buf); }, 195, 400},
        {"read block (200 ms)", [&] { return rf_M1_Read(0, 1, buf); }, 195, 400},
    };
    for (const auto& c : cases) {
        const auto start = Clock::now();
        EXPECT_EQ(c.call(), 9) << c.what << ": a silent reader is a missing header";
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        EXPECT_GE(ms, c.fromMs) << c.what;
        EXPECT_LT(ms, c.belowMs) << c.what;
        lastRequest();
    }
}

} // namespace
