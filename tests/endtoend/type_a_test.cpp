// ISO 14443 Type A, MIFARE Classic and Ultralight through the library, on a
// simulated reader served over loopback TCP: the calls an application makes,
// and what the cards remember between them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simulator/cards/classic.h"
#include "simulator/cards/ultralight.h"
#include "simulator/commands/type_a_commands.h"
#include "simulator/reader/reader.h"
#include "simulator/servers/tcp_server.h"
#include "varrok.h"

namespace {

using sim::Bytes;
using sim::ClassicCard;
using sim::Field;
using sim::ReaderState;
using sim::UltralightCard;
namespace classic = sim::classic;

constexpr unsigned short kDev = 0;
constexpr int code(sim::Status s) { return static_cast<int>(s); }

const Bytes kUid4{0x11, 0x22, 0x33, 0x44};
const Bytes kUid7{0x04, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};
const Bytes kUlUid{0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};

class TypeAEndToEnd : public testing::Test {
  protected:
    void SetUp() override {
        reader.install(sim::installTypeA);
        server.start(0);
        ASSERT_GT(ReaderOpen(("TCP://127.0.0.1:" + std::to_string(server.port())).c_str()), 0);
        // What an application does before a Type A search: the field in Type A, freshly powered.
        ASSERT_EQ(rf_antenna_sta(kDev, 0), 0);
        ASSERT_EQ(rf_init_type(kDev, 'A'), 0);
        ASSERT_EQ(rf_antenna_sta(kDev, 1), 0);
    }
    void TearDown() override {
        ReaderClose(0);
        server.stop();
    }

    template <class C, class... Args> C& add(Args&&... args) {
        return reader.access(
            [&](ReaderState&, Field& f) -> C& { return f.emplace<C>(std::forward<Args>(args)...); });
    }
    // rf_search_type_a: the UID of the card found, empty on failure.
    Bytes search(unsigned char mode = 0x52) {
        unsigned char data[250] = {}, len = 0, uidlen = 0;
        if (rf_search_type_a(kDev, mode, data, &len, &uidlen) != 0) return {};
        return Bytes(data + 3, data + 3 + uidlen);
    }
    int auth(unsigned char mode, unsigned char block, Bytes key) {
        return rf_M1_Authentication(kDev, mode, block, key.data());
    }
    Bytes read(unsigned char block, int expected = 0) {
        unsigned char data[16] = {};
        EXPECT_EQ(rf_M1_Read(kDev, block, data), expected) << "block " << int(block);
        return Bytes(data, data + 16);
    }
    int purse(unsigned char block) {
        unsigned char value[4] = {};
        EXPECT_EQ(rf_M1_PurseRead(kDev, block, value), 0) << "block " << int(block);
        return static_cast<int>(value[0] | value[1] << 8 | value[2] << 16 |
                                static_cast<unsigned>(value[3]) << 24);
    }

    sim::Reader reader;
    sim::TcpServer server{reader};
};

const Bytes kKeyFF(6, 0xFF);

TEST_F(TypeAEndToEnd, SearchFindsFourAndSevenByteUids) {
    struct Case {
        const char* what;
        ClassicCard::Model model;
        Bytes uid;
        Bytes info; // ATQA, SAK
    } const cases[] = {
        {"1K, 4-byte UID", ClassicCard::Model::Classic1K, kUid4, {0x04, 0x00, 0x08}},
        {"1K, 7-byte UID", ClassicCard::Model::Classic1K, kUid7, {0x44, 0x00, 0x08}},
        {"4K, 4-byte UID", ClassicCard::Model::Classic4K, kUid4, {0x02, 0x00, 0x18}},
        {"Mini", ClassicCard::Model::Mini, kUid4, {0x04, 0x00, 0x09}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reader.access([](ReaderState&, Field& f) { f.clear(); });
        add<ClassicCard>(c.model, c.uid);

        unsigned char atqa[2] = {};
        ASSERT_EQ(rf_ISO14443A_Request(kDev, 0x26, atqa), 0);
        EXPECT_EQ(Bytes(atqa, atqa + 2), Bytes(c.info.begin(), c.info.begin() + 2));

        unsigned char data[250] = {}, len = 0, uidlen = 0;
        ASSERT_EQ(rf_ISO14443A_GetCard(kDev, 0x26, data, &len), 0);
        ASSERT_EQ(len, 3 + c.uid.size());
        ASSERT_EQ(rf_ISO14443A_Halt(kDev), 0);
        ASSERT_EQ(rf_search_type_a(kDev, 0x52, data, &len, &uidlen), 0);
        EXPECT_EQ(uidlen, c.uid.size());
        Bytes expected = c.info;
        expected.insert(expected.end(), c.uid.begin(), c.uid.end());
        EXPECT_EQ(Bytes(data, data + len), expected);
    }
    reader.access([](ReaderState&, Field& f) { f.clear(); });
    unsigned char data[250] = {}, len = 0, uidlen = 0;
    EXPECT_EQ(rf_search_type_a(kDev, 0x52, data, &len, &uidlen), code(sim::Status::NoCard)) << "empty field";
}

TEST_F(TypeAEndToEnd, TwoCardsAreFoundOneAfterTheOtherAndHaltedOnesOnlyWakeWithWupa) {
    add<ClassicCard>(ClassicCard::Model::Classic1K, kUid4);
    add<UltralightCard>(UltralightCard::Model::Ultralight, kUlUid);

    EXPECT_EQ(search(0x26), kUlUid) << "the lowest UID wins the anticollision";
    EXPECT_EQ(search(0x26), kUlUid) << "and keeps winning";
    ASSERT_EQ(rf_ISO14443A_Halt(kDev), 0);
    EXPECT_EQ(search(0x26), kUid4);
    ASSERT_EQ(rf_ISO14443A_Halt(kDev), 0);

    unsigned char atqa[2] = {};
    EXPECT_EQ(rf_ISO14443A_Request(kDev, 0x26, atqa), code(sim::Status::NoCard)) << "both cards are halted";
    ASSERT_EQ(rf_ISO14443A_Request(kDev, 0x52, atqa), 0);
    EXPECT_EQ(atqa[0], 0x44) << "both answer: 04 | 44";
    EXPECT_EQ(rf_ISO14443A_Request(kDev, 0x26, atqa), 0) << "awake again after the WUPA";
    EXPECT_EQ(search(0x26), kUlUid);
}

TEST_F(TypeAEndToEnd, CascadeLevelsAndSelectByUid) {
    add<ClassicCard>(ClassicCard::Model::Classic1K, kUid7);
    unsigned char atqa[2] = {}, uid[4] = {}, sak = 0;
    ASSERT_EQ(rf_ISO14443A_Request(kDev, 0x52, atqa), 0);
    ASSERT_EQ(rf_ISO14443A_AnticollisionLevel1(kDev, uid), 0);
    EXPECT_EQ(Bytes(uid, uid + 4), (Bytes{0x88, 0x04, 0xA1, 0xA2}));
    ASSERT_EQ(rf_ISO14443A_SelectLevel1(kDev, uid, &sak), 0);
    EXPECT_EQ(sak, 0x04);
    ASSERT_EQ(rf_anticollCLn(kDev, 2, uid), 0);
    EXPECT_EQ(Bytes(uid, uid + 4), (Bytes{0xA3, 0xA4, 0xA5, 0xA6}));
    ASSERT_EQ(rf_selectCLn(kDev, 2, uid, &sak), 0);
    EXPECT_EQ(sak, 0x08);
    EXPECT_EQ(auth(0x60, 4, kKeyFF), 0) << "the card is selected";

    unsigned char full[250] = {}, len = 0;
    ASSERT_EQ(rf_ISO14443A_Request(kDev, 0x52, atqa), 0);
    ASSERT_EQ(rf_anticoll(kDev, 7, full, &len), 0);
    ASSERT_EQ(len, 7);
    EXPECT_EQ(Bytes(full, full + 7), kUid7);
    ASSERT_EQ(rf_select(kDev, full, 7, &sak), 0);
    EXPECT_EQ(sak, 0x08);

    ASSERT_EQ(rf_ISO14443A_Request(kDev, 0x52, atqa), 0);
    ASSERT_EQ(rf_ISO14443A_AnticollisionAndSelect(kDev, full, &len), 0);
    EXPECT_EQ(Bytes(full, full + len), (Bytes{0x08, 0x04, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6}));
}

TEST_F(TypeAEndToEnd, SectorReadsAndWritesNeedTheRightKey) {
    auto& card = add<ClassicCard>(ClassicCard::Model::Classic1K, kUid4);
    ASSERT_EQ(search(), kUid4);
    EXPECT_EQ(auth(0x60, 4, {1, 2, 3, 4, 5, 6}), code(sim::Status::AuthFailed));
    EXPECT_EQ(read(4, code(sim::Status::NoCard)), Bytes(16, 0))
        << "after a failed authentication the card is idle";

    ASSERT_EQ(search(), kUid4);
    ASSERT_EQ(auth(0x60, 4, kKeyFF), 0);
    Bytes data(16);
    for (std::size_t i = 0; i < 16; ++i)
        data[i] = static_cast<unsigned char>(0xC0 + i);
    ASSERT_EQ(rf_M1_Write(kDev, 5, data.data()), 0);
    EXPECT_EQ(read(5), data);
    // The transport trailer reads with key A hidden and key B shown.
    EXPECT_EQ(read(7), (Bytes{0, 0, 0, 0, 0, 0, 0xFF, 0x07, 0x80, 0x69, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(read(8, code(sim::Status::NotAuthenticated)), Bytes(16, 0)) << "another sector";

    // The data persists beyond the session and the card's power.
    ASSERT_EQ(rf_antenna_sta(kDev, 0), 0);
    ASSERT_EQ(rf_antenna_sta(kDev, 1), 0);
    ASSERT_EQ(search(), kUid4);
    ASSERT_EQ(auth(0x60, 5, kKeyFF), 0);
    EXPECT_EQ(read(5), data);
    reader.access(
        [&](ReaderState&, Field&) { EXPECT_EQ(Bytes(card.block(5).begin(), card.block(5).end()), data); });
}

TEST_F(TypeAEndToEnd, AccessBitsRefuseWhatTheKeyMayNotDo) {
    const Bytes keyA{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}, keyB{0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5};
    add<ClassicCard>(ClassicCard::Model::Classic1K, kUid4);
    ASSERT_EQ(search(), kUid4);
    ASSERT_EQ(auth(0x60, 8, kKeyFF), 0);
    // Sector 2 becomes read-only for key A, writable for key B (78 77 88).
    Bytes trailer = keyA;
    trailer.insert(trailer.end(), {0x78, 0x77, 0x88, 0x69});
    trailer.insert(trailer.end(), keyB.begin(), keyB.end());
    ASSERT_EQ(rf_M1_Write(kDev, 11, trailer.data()), 0);

    ASSERT_EQ(auth(0x60, 8, keyA), 0);
    EXPECT_EQ(read(8), Bytes(16, 0));
    const Bytes data(16, 0x5A);
    EXPECT_EQ(rf_M1_Write(kDev, 8, const_cast<unsigned char*>(data.data())), code(sim::Status::AccessDenied));
    ASSERT_EQ(search(), kUid4);
    EXPECT_EQ(auth(0x60, 8, kKeyFF), code(sim::Status::AuthFailed)) << "the key changed";
    ASSERT_EQ(search(), kUid4);
    ASSERT_EQ(auth(0x61, 8, keyB), 0);
    ASSERT_EQ(rf_M1_Write(kDev, 8, const_cast<unsigned char*>(data.data())), 0);
    EXPECT_EQ(read(8), data);
    EXPECT_EQ(read(11), (Bytes{0, 0, 0, 0, 0, 0, 0x78, 0x77, 0x88, 0x69, 0, 0, 0, 0, 0, 0}))
        << "key B stays secret under this condition";
}

TEST_F(TypeAEndToEnd, PurseLifeCycle) {
    add<ClassicCard>(ClassicCard::Model::Classic1K, kUid4);
    ASSERT_EQ(search(), kUid4);
    ASSERT_EQ(auth(0x60, 4, kKeyFF), 0);

    ASSERT_EQ(rf_M1_PurseCreate(kDev, 5, 100), 0);
    EXPECT_EQ(read(5), (Bytes{0x64, 0, 0, 0, 0x9B, 0xFF, 0xFF, 0xFF, 0x64, 0, 0, 0, 0x05, 0xFA, 0x05, 0xFA}));
    ASSERT_EQ(rf_M1_PurseIncrement(kDev, 5, 1000), 0);
    EXPECT_EQ(purse(5), 1100);
    ASSERT_EQ(rf_M1_PurseDecrement(kDev, 5, 1150), 0);
    EXPECT_EQ(purse(5), -50);

    ASSERT_EQ(rf_M1_PurseBackup(kDev, 5, 6), 0);
    EXPECT_EQ(purse(6), -50);
    ASSERT_EQ(rf_M1_PurseIncrement(kDev, 6, 75), 0);
    ASSERT_EQ(rf_M1_PurseRestore(kDev, 6), 0);
    ASSERT_EQ(rf_M1_PurseTransfer(kDev, 5), 0);
    EXPECT_EQ(purse(5), 25);

    // Block 4 holds no purse: value operations are refused, and a backup
    // reports it as -5 without the transfer.
    EXPECT_EQ(rf_M1_PurseIncrement(kDev, 4, 1), code(sim::Status::NotValueBlock));
    ASSERT_EQ(search(), kUid4);
    ASSERT_EQ(auth(0x60, 4, kKeyFF), 0);
    EXPECT_EQ(rf_M1_PurseBackup(kDev, 4, 6), -5);
    ASSERT_EQ(search(), kUid4);
    ASSERT_EQ(auth(0x60, 4, kKeyFF), 0);
    EXPECT_EQ(purse(6), 25) << "the failed backup left its destination alone";
}

TEST_F(TypeAEndToEnd, KeyStoreAndMultiBlockCommands) {
    add<ClassicCard>(ClassicCard::Model::Classic4K, kUid4);
    unsigned char key[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    ASSERT_EQ(rf_M1_DownloadKeyToReader(kDev, 17, key), 0);
    ASSERT_EQ(search(), kUid4);
    ASSERT_EQ(rf_M1_AuthenticateByDownloadedKey(kDev, 0x60, 130, 17), 0); // sector 32: 16 blocks

    std::vector<unsigned char> blocks(15 * 16);
    for (std::size_t i = 0; i < blocks.size(); ++i)
        blocks[i] = static_cast<unsigned char>(i);
    ASSERT_EQ(rf_M1_MultiWrite(kDev, 128, 15, blocks.data()), 0);
    std::vector<unsigned char> back(250);
    unsigned char len = 0;
    ASSERT_EQ(rf_M1_MultiRead(kDev, 128, 15, back.data(), &len), 0);
    EXPECT_EQ(len, 240);
    EXPECT_EQ(std::vector<unsigned char>(back.begin(), back.begin() + 240), blocks);
    EXPECT_EQ(rf_M1_MultiWrite(kDev, 128, 16, blocks.data()), -5) << "does not fit one frame";
}

TEST_F(TypeAEndToEnd, UltralightPagesReadWriteAndWrap) {
    auto& card = add<UltralightCard>(UltralightCard::Model::Ultralight, kUlUid);
    unsigned char uid[61] = {}, uidlen = 0;
    ASSERT_EQ(rf_ul_select(kDev, uid, &uidlen), 0);
    ASSERT_EQ(Bytes(uid, uid + uidlen), kUlUid);

    for (unsigned char page = 4; page < 16; ++page) {
        unsigned char data[4] = {page, 0x10, 0x20, static_cast<unsigned char>(0xF0 | page)};
        ASSERT_EQ(rf_UltraLight_Write(kDev, page, data), 0) << int(page);
    }
    // All 16 pages, four at a time.
    Bytes all;
    for (unsigned char page = 0; page < 16; page += 4) {
        unsigned char data[16] = {};
        ASSERT_EQ(rf_UltraLight_Read(kDev, page, data), 0);
        all.insert(all.end(), data, data + 16);
    }
    reader.access([&](ReaderState&, Field&) {
        for (std::size_t p = 0; p < 16; ++p)
            EXPECT_EQ(Bytes(all.begin() + 4 * p, all.begin() + 4 * p + 4),
                      Bytes(card.page(p).begin(), card.page(p).end()))
                << "page " << p;
    });
    EXPECT_EQ(Bytes(all.begin(), all.begin() + 3), (Bytes{0x04, 0x11, 0x22}));
    EXPECT_EQ(all[63], 0xFF);

    unsigned char wrapped[16] = {};
    ASSERT_EQ(rf_UltraLight_Read(kDev, 14, wrapped), 0);
    Bytes pages14to1(all.begin() + 56, all.end());
    pages14to1.insert(pages14to1.end(), all.begin(), all.begin() + 8);
    EXPECT_EQ(Bytes(wrapped, wrapped + 16), pages14to1) << "pages 14, 15, 0, 1";

    unsigned char data[4] = {1, 2, 3, 4};
    EXPECT_EQ(rf_UltraLight_Write(kDev, 1, data), code(sim::Status::AccessDenied)) << "serial number page";
    ASSERT_EQ(rf_ul_select(kDev, uid, &uidlen), 0);
    unsigned char otp1[4] = {0x01, 0, 0, 0}, otp2[4] = {0x02, 0, 0, 0};
    ASSERT_EQ(rf_UltraLight_Write(kDev, 3, otp1), 0);
    ASSERT_EQ(rf_UltraLight_Write(kDev, 3, otp2), 0);
    unsigned char page3[16] = {};
    ASSERT_EQ(rf_UltraLight_Read(kDev, 3, page3), 0);
    EXPECT_EQ(page3[0], 0x03) << "OTP bits only add up";
}

TEST_F(TypeAEndToEnd, UltralightCAuthenticationOpensProtectedPages) {
    auto& card = add<UltralightCard>(UltralightCard::Model::UltralightC, kUlUid);
    reader.access([&](ReaderState&, Field&) { card.setPage(sim::ultralight::kCAuth0Page, {0x20, 0, 0, 0}); });
    unsigned char uid[61] = {}, uidlen = 0, data[16] = {};
    ASSERT_EQ(rf_ul_select(kDev, uid, &uidlen), 0);
    EXPECT_EQ(rf_UltraLight_Read(kDev, 0x20, data), code(sim::Status::AccessDenied));

    ASSERT_EQ(rf_ul_select(kDev, uid, &uidlen), 0);
    sim::ultralight::Key wrong = sim::ultralight::kDefaultKey;
    wrong[0] ^= 0xFF;
    EXPECT_EQ(rf_UltraLightC_Authentication(kDev, wrong.data()), code(sim::Status::AuthFailed));
    ASSERT_EQ(rf_ul_select(kDev, uid, &uidlen), 0);
    sim::ultralight::Key right = sim::ultralight::kDefaultKey;
    ASSERT_EQ(rf_UltraLightC_Authentication(kDev, right.data()), 0);
    EXPECT_EQ(rf_UltraLight_Read(kDev, 0x20, data), 0);
}

TEST_F(TypeAEndToEnd, LockCardInfoTellsClassicFromUltralight) {
    enum Kind { Classic1K, Classic4K, Ultralight };
    struct Case {
        const char* what;
        Kind kind;
        Bytes uid;
        int result;
        Bytes atqa;
    } const cases[] = {
        {"Classic, 4-byte UID: anticollision and select", Classic1K, kUid4, 0, {0x04, 0x00}},
        {"Ultralight: ATQA 44 00, 7-byte UID", Ultralight, kUlUid, 0, {0x44, 0x00}},
        // A 1K with a 7-byte UID answers 44 00 as well and passes as an Ultralight.
        {"Classic 1K, 7-byte UID", Classic1K, kUid7, 0, {0x44, 0x00}},
        // A 4K with a 7-byte UID answers 42 00: the Classic road, whose
        // anticollision finds 7 bytes where it wants 4.
        {"Classic 4K, 7-byte UID", Classic4K, kUid7, -3, {0x42, 0x00}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reader.access([](ReaderState&, Field& f) { f.clear(); });
        if (c.kind == Ultralight)
            add<UltralightCard>(UltralightCard::Model::Ultralight, c.uid);
        else
            add<ClassicCard>(
                c.kind == Classic1K ? ClassicCard::Model::Classic1K : ClassicCard::Model::Classic4K, c.uid);
        unsigned char uid[250] = {}, uidlen = 0, atqa[2] = {};
        EXPECT_EQ(rf_getlockcardinfo(kDev, 0x52, uid, &uidlen, atqa), c.result);
        EXPECT_EQ(Bytes(atqa, atqa + 2), c.atqa);
        EXPECT_EQ(Bytes(uid, uid + uidlen), c.uid);
    }
    reader.access([](ReaderState&, Field& f) { f.clear(); });
    unsigned char uid[250] = {}, uidlen = 0, atqa[2] = {};
    EXPECT_EQ(rf_getlockcardinfo(kDev, 0x52, uid, &uidlen, atqa), -1) << "empty field";
}

TEST_F(TypeAEndToEnd, NoCardAnswersWithTheAntennaOffOrInAnotherProtocol) {
    add<ClassicCard>(ClassicCard::Model::Classic1K, kUid4);
    ASSERT_EQ(search(), kUid4);
    ASSERT_EQ(auth(0x60, 4, kKeyFF), 0);

    ASSERT_EQ(rf_antenna_sta(kDev, 0), 0);
    unsigned char atqa[2] = {};
    EXPECT_EQ(rf_ISO14443A_Request(kDev, 0x52, atqa), code(sim::Status::NoCard));
    EXPECT_EQ(read(4, code(sim::Status::NoCard)), Bytes(16, 0));
    EXPECT_EQ(search(), Bytes{});
    ASSERT_EQ(rf_antenna_sta(kDev, 1), 0);

    ASSERT_EQ(rf_init_type(kDev, 'B'), 0);
    EXPECT_EQ(rf_ISO14443A_Request(kDev, 0x52, atqa), code(sim::Status::NoCard));
    ASSERT_EQ(rf_init_type(kDev, 'A'), 0);
    EXPECT_EQ(rf_ISO14443A_Request(kDev, 0x52, atqa), 0);
}

} // namespace
