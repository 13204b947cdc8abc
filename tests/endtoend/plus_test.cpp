// MIFARE Plus through the library, on a simulated reader served over
// loopback TCP: the card tool's walk from a blank card to level 3, and level
// 1 as a MIFARE Classic.

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "simulator/cards/mifare_plus.h"
#include "simulator/commands/plus_commands.h"
#include "simulator/commands/small_tag_commands.h"
#include "simulator/commands/type_a_commands.h"
#include "simulator/commands/type_b_commands.h"
#include "simulator/reader/reader.h"
#include "simulator/servers/tcp_server.h"
#include "varrok.h"

namespace {

using sim::MifarePlusCard;

constexpr unsigned short kDev = 0;
constexpr int kAuthFailed = static_cast<int>(sim::Status::AuthFailed);
constexpr int kNotAuthenticated = static_cast<int>(sim::Status::NotAuthenticated);
constexpr int kWrongCardState = static_cast<int>(sim::Status::WrongCardState);
constexpr int kNotValueBlock = static_cast<int>(sim::Status::NotValueBlock);

using Key = std::array<unsigned char, 16>;
Key key(unsigned char fill) {
    Key k;
    k.fill(fill);
    return k;
}

class PlusEndToEnd : public testing::Test {
  protected:
    void SetUp() override {
        // The Plus handlers go first: the Type A family refuses Classic
        // commands to any card that is not its own.
        reader.install(sim::installMifarePlus);
        reader.install(sim::installTypeA);
        reader.install([](sim::Dispatcher& d) { sim::installTypeB(d); });
        reader.install(sim::installSmallTags);
        server.start(0);
        ASSERT_GT(ReaderOpen(("TCP://127.0.0.1:" + std::to_string(server.port())).c_str()), 0);
    }
    void TearDown() override {
        ReaderClose(0);
        server.stop();
    }

    MifarePlusCard& put(MifarePlusCard::Size size, int level = 0) {
        return reader.access([&](sim::ReaderState&, sim::Field& f) -> MifarePlusCard& {
            return f.emplace<MifarePlusCard>(size, sim::Bytes{0x04, 0x5A, 0x6B, 0x7C}, level);
        });
    }
    // The card tool's search: antenna off, protocol A, antenna on, search.
    // Returns the SAK.
    int search() {
        unsigned char data[32] = {}, len = 0, uidLen = 0;
        EXPECT_EQ(rf_antenna_sta(kDev, 0), 0);
        EXPECT_EQ(rf_init_type(kDev, 'A'), 0);
        EXPECT_EQ(rf_antenna_sta(kDev, 1), 0);
        EXPECT_EQ(rf_search_type_a(kDev, 0x52, data, &len, &uidLen), 0);
        EXPECT_EQ(uidLen, 4);
        return data[2];
    }

    sim::Reader reader;
    sim::TcpServer server{reader};
};

TEST_F(PlusEndToEnd, PersonaliseCommitSwitchAndWorkAtLevelThree) {
    auto& card = put(MifarePlusCard::Size::TwoK);
    EXPECT_EQ(search(), 0x20);
    unsigned char ats[64] = {}, atsLen = 0;
    ASSERT_EQ(rf_iso14443_4_type_a_reset(kDev, ats, &atsLen), 0);
    ASSERT_GE(atsLen, 8);
    EXPECT_EQ(ats[4], 0xC1);

    // The Level0 page's "Write default": the card keys, then every sector key.
    Key ff = key(0xFF);
    for (unsigned short address = 0x9000; address <= 0x9003; ++address)
        ASSERT_EQ(MFP_L0WritePerso(kDev, address, ff.data()), 0) << address;
    for (unsigned short address = 0x4000; address <= 0x403F; ++address) {
        Key sectorKey = key(static_cast<unsigned char>(address));
        ASSERT_EQ(rf_MFP_L0WritePerso(kDev, address, sectorKey.data()), 0) << address;
    }
    Key level3 = key(0x33);
    ASSERT_EQ(rf_MFP_L0WritePerso(kDev, 0x9003, level3.data()), 0);
    ASSERT_EQ(rf_MFP_L0CommitPerso(kDev), 0);
    EXPECT_EQ(card.securityLevel(), 1);
    EXPECT_EQ(search(), 0x08);

    ASSERT_EQ(rf_MFP_SwitchToHighLevel(kDev, 3, ff.data()), kAuthFailed);
    EXPECT_EQ(card.securityLevel(), 1);
    ASSERT_EQ(rf_MFP_SwitchToHighLevel(kDev, 3, level3.data()), 0);
    EXPECT_EQ(search(), 0x20);
    ASSERT_EQ(rf_iso14443_4_type_a_reset(kDev, ats, &atsLen), 0);

    // Sector 2 (blocks 8-11): key A is the one personalised at 0x4004.
    Key wrong = key(0x05), sector2A = key(0x04);
    EXPECT_EQ(MFP_DataBlockAuthentication(kDev, 0, 8, wrong.data()), kAuthFailed);
    std::array<unsigned char, 48> data{};
    EXPECT_EQ(MFP_L3ReadDataBlock(kDev, 8, 1, data.data()), kNotAuthenticated);
    ASSERT_EQ(MFP_DataBlockAuthentication(kDev, 0, 8, sector2A.data()), 0);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<unsigned char>(0x80 + i);
    ASSERT_EQ(rf_MFP_L3Write(kDev, 8, 3, data.data()), 0);
    std::array<unsigned char, 48> back{};
    ASSERT_EQ(rf_MFP_L3Read(kDev, 8, 3, back.data()), 0);
    EXPECT_EQ(back, data);
    EXPECT_EQ(rf_MFP_L3Write(kDev, 8, 4, data.data()), -1) << "the library's own limit";

    // First and following authentication, then the common read and write.
    Key sector3A = key(0x06);
    ASSERT_EQ(MFP_FirstAuthentication(kDev, 0x4004, sector2A.data()), 0);
    ASSERT_EQ(MFP_FollowingAuthentication(kDev, 0x4006, sector3A.data()), 0);
    ASSERT_EQ(MFP_L3CommonWrite(kDev, 13, 1, data.data()), 0);
    std::array<unsigned char, 16> one{};
    ASSERT_EQ(MFP_L3CommonRead(kDev, 13, 1, one.data()), 0);
    EXPECT_TRUE(std::equal(one.begin(), one.end(), data.begin()));
    EXPECT_EQ(MFP_L3CommonRead(kDev, 9, 1, one.data()), kNotAuthenticated) << "sector 2 is no longer open";
}

TEST_F(PlusEndToEnd, LevelThreePurses) {
    put(MifarePlusCard::Size::FourK, 3);
    search();
    Key ff = key(0xFF);
    ASSERT_EQ(MFP_DataBlockAuthentication(kDev, 0, 20, ff.data()), 0);
    ASSERT_EQ(rf_MFP_L3PurseCreate(kDev, 20, 1000), 0);
    ASSERT_EQ(rf_MFP_L3PurseIncrement(kDev, 20, 250), 0);
    ASSERT_EQ(MFP_L3PurseDecrement(kDev, 20, 1), 0);
    unsigned char value[4] = {};
    ASSERT_EQ(rf_MFP_L3PurseRead(kDev, 20, value), 0);
    EXPECT_EQ(value[0] | value[1] << 8 | value[2] << 16 | value[3] << 24, 1249);
    ASSERT_EQ(rf_MFP_L3PurseBackup(kDev, 20, 21), 0);
    unsigned char copy[4] = {};
    ASSERT_EQ(MFP_L3PurseRead(kDev, 21, copy), 0);
    EXPECT_TRUE(std::equal(copy, copy + 4, value));
    ASSERT_EQ(rf_MFP_L3PurseCreate(kDev, 22, -5), 0);
    ASSERT_EQ(rf_MFP_L3PurseRead(kDev, 22, value), 0);
    EXPECT_EQ(value[0] | value[1] << 8 | value[2] << 16 | value[3] << 24, -5);

    ASSERT_EQ(MFP_DataBlockAuthentication(kDev, 0, 24, ff.data()), 0);
    unsigned char untouched[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(rf_MFP_L3PurseRead(kDev, 24, untouched), kNotValueBlock) << "a blank block holds no value";
    EXPECT_EQ(untouched[0], 0xEE);
}

TEST_F(PlusEndToEnd, LevelOneIsAClassicCard) {
    put(MifarePlusCard::Size::TwoK, 1);
    EXPECT_EQ(search(), 0x08);
    unsigned char transport[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    ASSERT_EQ(rf_M1_authentication2(kDev, 0x60, 4, transport), 0);
    unsigned char block[16], len = 0;
    for (unsigned char i = 0; i < 16; ++i)
        block[i] = static_cast<unsigned char>(0xA0 + i);
    ASSERT_EQ(rf_M1_write(kDev, 5, block), 0);
    unsigned char back[16] = {};
    ASSERT_EQ(rf_M1_read(kDev, 5, back, &len), 0);
    EXPECT_EQ(len, 16);
    EXPECT_TRUE(std::equal(back, back + 16, block));
    ASSERT_EQ(rf_M1_initval(kDev, 6, 40), 0);
    ASSERT_EQ(rf_M1_decrement(kDev, 6, 15), 0);
    unsigned char value[4] = {};
    ASSERT_EQ(rf_M1_readval(kDev, 6, value), 0);
    EXPECT_EQ(value[0], 25);
    ASSERT_EQ(rf_M1_PurseBackup(kDev, 6, 4), 0);
    ASSERT_EQ(rf_M1_readval(kDev, 4, value), 0);
    EXPECT_EQ(value[0], 25);

    // A key from the reader's own store opens the sector as well; a wrong one does not.
    unsigned char other[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(rf_M1_DownloadKeyToReader(kDev, 7, other), 0);
    EXPECT_NE(rf_M1_AuthenticateByDownloadedKey(kDev, 0x60, 4, 7), 0);
    EXPECT_EQ(search(), 0x08);
    ASSERT_EQ(rf_M1_DownloadKeyToReader(kDev, 8, transport), 0);
    ASSERT_EQ(rf_M1_AuthenticateByDownloadedKey(kDev, 0x60, 4, 8), 0);
    ASSERT_EQ(rf_M1_readval(kDev, 6, value), 0);
    EXPECT_EQ(value[0], 25);

    // The level-3 commands are not for a level-1 card.
    Key ff = key(0xFF);
    EXPECT_EQ(MFP_DataBlockAuthentication(kDev, 0, 4, ff.data()), kWrongCardState);
    ASSERT_EQ(rf_MFP_SwitchToHighLevel(kDev, 3, ff.data()), 0);
    EXPECT_EQ(search(), 0x20);
    EXPECT_EQ(rf_M1_authentication2(kDev, 0x60, 4, transport), kWrongCardState);
}

} // namespace
