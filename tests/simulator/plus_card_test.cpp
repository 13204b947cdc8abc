// The MIFARE Plus model on its own: personalisation, levels, AES
// authentication, level-3 blocks and purses, and level 1 through its
// Classic engine.

#include <gtest/gtest.h>

#include <memory>

#include "simulator/cards/mifare_plus.h"

namespace {

using sim::Bytes;
using sim::MifarePlusCard;
using sim::Status;
using Size = MifarePlusCard::Size;

sim::plus::Key key(std::uint8_t fill) {
    sim::plus::Key k;
    k.fill(fill);
    return k;
}

const sim::plus::Key kFF = key(0xFF);
const Bytes kUid4{0x04, 0x11, 0x22, 0x33};
const Bytes kUid7{0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};

// Personalises the keys commit needs, each with its own value, and commits.
void personaliseAndCommit(MifarePlusCard& card) {
    for (const std::uint16_t address : {0x9000, 0x9001, 0x9002, 0x9003})
        ASSERT_EQ(card.writePerso(address, key(static_cast<std::uint8_t>(address))), Status::Ok);
    ASSERT_EQ(card.commitPerso(), Status::Ok);
}

TEST(MifarePlusCardModel, IdentityFollowsSizeUidLengthAndLevel) {
    const struct {
        Size size;
        Bytes uid;
        int level;
        std::array<std::uint8_t, 2> atqa;
        std::uint8_t sak;
    } cases[] = {
        {Size::TwoK, kUid4, 0, {0x04, 0x00}, 0x20},  {Size::TwoK, kUid7, 3, {0x44, 0x00}, 0x20},
        {Size::TwoK, kUid4, 1, {0x04, 0x00}, 0x08},  {Size::TwoK, kUid4, 2, {0x04, 0x00}, 0x10},
        {Size::FourK, kUid4, 0, {0x02, 0x00}, 0x20}, {Size::FourK, kUid7, 3, {0x42, 0x00}, 0x20},
        {Size::FourK, kUid7, 1, {0x42, 0x00}, 0x18}, {Size::FourK, kUid4, 2, {0x02, 0x00}, 0x11},
    };
    for (const auto& c : cases) {
        const MifarePlusCard card(c.size, c.uid, c.level);
        EXPECT_EQ(card.atqa(), c.atqa) << card.describe();
        EXPECT_EQ(card.sak(), c.sak) << card.describe();
        const Bytes ats = card.ats();
        ASSERT_GE(ats.size(), 8u);
        EXPECT_EQ(Bytes(ats.begin() + 4, ats.begin() + 8), (Bytes{0xC1, 0x05, 0x2F, 0x2F}));
        // Block 0 tells the level-1 identity: SAK then ATQA after the UID (and BCC).
        const auto& zero = card.classic().block(0);
        const std::size_t at = c.uid.size() == 4 ? 5 : 7;
        EXPECT_EQ(zero[at], c.size == Size::TwoK ? 0x08 : 0x18);
        EXPECT_EQ(zero[at + 1], c.atqa[0]);
    }
    EXPECT_THROW(MifarePlusCard(Size::TwoK, kUid4, 4), std::invalid_argument);
    EXPECT_THROW(MifarePlusCard(Size::TwoK, Bytes{1, 2, 3}), std::invalid_argument);
}

TEST(MifarePlusCardModel, PersonalisationAddresses) {
    const struct {
        std::uint16_t address;
        Status twoK, fourK;
    } cases[] = {
        {0x9000, Status::Ok, Status::Ok},
        {0x9004, Status::Ok, Status::Ok},
        {0x9005, Status::CardAddressInvalid, Status::CardAddressInvalid},
        {0x4000, Status::Ok, Status::Ok},
        {0x403F, Status::Ok, Status::Ok},
        {0x4040, Status::CardAddressInvalid, Status::Ok},
        {0x404F, Status::CardAddressInvalid, Status::Ok},
        {0x4050, Status::CardAddressInvalid, Status::CardAddressInvalid},
        {0x0000, Status::AccessDenied, Status::AccessDenied},
        {0x0001, Status::Ok, Status::Ok},
        {0x007F, Status::Ok, Status::Ok},
        {0x0080, Status::CardAddressInvalid, Status::Ok},
        {0x0100, Status::CardAddressInvalid, Status::CardAddressInvalid},
        {0xB000, Status::CardAddressInvalid, Status::CardAddressInvalid},
    };
    for (const Size size : {Size::TwoK, Size::FourK}) {
        MifarePlusCard card(size, kUid4);
        for (const auto& c : cases) {
            const Status expected = size == Size::TwoK ? c.twoK : c.fourK;
            EXPECT_EQ(card.writePerso(c.address, key(0x5A)), expected) << card.describe() << " " << c.address;
            if (expected == Status::Ok && c.address >= 0x4000) {
                EXPECT_EQ(card.key(c.address), key(0x5A));
            }
        }
    }
}

TEST(MifarePlusCardModel, CommitNeedsTheMasterConfigurationAndLevel3Keys) {
    const struct {
        std::vector<std::uint16_t> written;
        Status expected;
    } cases[] = {
        {{}, Status::WrongCardState},
        {{0x9000, 0x9001}, Status::WrongCardState},
        {{0x9000, 0x9003}, Status::WrongCardState},
        {{0x9001, 0x9002, 0x9003}, Status::WrongCardState},
        {{0x9000, 0x9001, 0x9003}, Status::Ok},
    };
    for (const auto& c : cases) {
        MifarePlusCard card(Size::TwoK, kUid4);
        for (const std::uint16_t address : c.written)
            ASSERT_EQ(card.writePerso(address, kFF), Status::Ok);
        EXPECT_EQ(card.commitPerso(), c.expected) << c.written.size() << " keys";
        EXPECT_EQ(card.securityLevel(), c.expected == Status::Ok ? 1 : 0);
    }
    MifarePlusCard card(Size::FourK, kUid4);
    personaliseAndCommit(card);
    EXPECT_EQ(card.sak(), 0x18);
    EXPECT_EQ(card.commitPerso(), Status::WrongCardState);
    EXPECT_EQ(card.writePerso(0x9000, kFF), Status::WrongCardState) << "personalisation is over";
}

TEST(MifarePlusCardModel, LevelSwitchesNeedTheSwitchKeyAndOnlyGoUp) {
    MifarePlusCard fresh(Size::TwoK, kUid4);
    EXPECT_EQ(fresh.switchLevel(3, kFF), Status::WrongCardState) << "level 0 must commit first";

    MifarePlusCard card(Size::TwoK, kUid4);
    personaliseAndCommit(card);
    const struct {
        std::uint8_t level;
        sim::plus::Key key;
        Status expected;
        int levelAfter;
    } steps[] = {
        {1, key(0x02), Status::BadParameter, 1}, {4, key(0x03), Status::BadParameter, 1},
        {2, key(0x03), Status::AuthFailed, 1},   {2, key(0x02), Status::Ok, 2},
        {2, key(0x02), Status::BadParameter, 2}, {3, key(0x02), Status::AuthFailed, 2},
        {3, key(0x03), Status::Ok, 3},           {2, key(0x02), Status::BadParameter, 3},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(card.switchLevel(s.level, s.key), s.expected) << "to level " << int(s.level);
        EXPECT_EQ(card.securityLevel(), s.levelAfter);
    }
    EXPECT_EQ(card.sak(), 0x20);

    // A first authentication with the level-3 switch key switches a level-1 card too.
    MifarePlusCard other(Size::TwoK, kUid4);
    personaliseAndCommit(other);
    EXPECT_EQ(other.firstAuthentication(0x9003, key(0x04)), Status::AuthFailed);
    EXPECT_EQ(other.securityLevel(), 1);
    EXPECT_EQ(other.firstAuthentication(0x9003, key(0x03)), Status::Ok);
    EXPECT_EQ(other.securityLevel(), 3);
}

// A level-3 card whose sector keys are key(0x40 + n) for key address 0x4000 + n.
std::unique_ptr<MifarePlusCard> levelThreeCard(Size size = Size::TwoK) {
    auto made = std::make_unique<MifarePlusCard>(size, kUid4);
    MifarePlusCard& card = *made;
    for (std::uint16_t n = 0; n < 2 * card.sectorCount(); ++n)
        EXPECT_EQ(
            card.writePerso(static_cast<std::uint16_t>(0x4000 + n), key(static_cast<std::uint8_t>(0x40 + n))),
            Status::Ok);
    personaliseAndCommit(card);
    EXPECT_EQ(card.switchLevel(3, key(0x03)), Status::Ok);
    return made;
}

TEST(MifarePlusCardModel, AesAuthenticationFirstFollowingAndByBlock) {
    const auto owned = levelThreeCard();
    MifarePlusCard& card = *owned;
    const struct {
        const char* what;
        Status (*run)(MifarePlusCard&);
        Status expected;
        std::optional<std::uint16_t> session;
    } steps[] = {
        {"following without a session",
         [](MifarePlusCard& c) { return c.followingAuthentication(0x4002, key(0x42)); },
         Status::NotAuthenticated, std::nullopt},
        {"first, sector 1 key A", [](MifarePlusCard& c) { return c.firstAuthentication(0x4002, key(0x42)); },
         Status::Ok, 0x4002},
        {"following, sector 2 key B",
         [](MifarePlusCard& c) { return c.followingAuthentication(0x4005, key(0x45)); }, Status::Ok, 0x4005},
        {"following with a wrong key",
         [](MifarePlusCard& c) { return c.followingAuthentication(0x4004, key(0x45)); }, Status::AuthFailed,
         std::nullopt},
        {"block 9 key B", [](MifarePlusCard& c) { return c.authenticateBlock(1, 9, key(0x45)); }, Status::Ok,
         0x4005},
        {"block 9 key A, wrong key", [](MifarePlusCard& c) { return c.authenticateBlock(0, 9, key(0x45)); },
         Status::AuthFailed, std::nullopt},
        {"key type 2", [](MifarePlusCard& c) { return c.authenticateBlock(2, 9, key(0x45)); },
         Status::BadParameter, std::nullopt},
        {"block beyond the 2K", [](MifarePlusCard& c) { return c.authenticateBlock(0, 128, key(0x40)); },
         Status::CardAddressInvalid, std::nullopt},
        {"card master key", [](MifarePlusCard& c) { return c.firstAuthentication(0x9000, key(0x00)); },
         Status::Ok, 0x9000},
        {"no key there", [](MifarePlusCard& c) { return c.firstAuthentication(0x4040, key(0x40)); },
         Status::CardAddressInvalid, 0x9000},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(s.run(card), s.expected) << s.what;
        EXPECT_EQ(card.sessionKey(), s.session) << s.what;
    }

    MifarePlusCard levelOne(Size::TwoK, kUid4);
    EXPECT_EQ(levelOne.firstAuthentication(0x4000, kFF), Status::WrongCardState) << "level 0";
    personaliseAndCommit(levelOne);
    EXPECT_EQ(levelOne.firstAuthentication(0x4000, kFF), Status::WrongCardState)
        << "level 1 sectors use Crypto1";
    EXPECT_EQ(levelOne.authenticateBlock(0, 4, kFF), Status::WrongCardState);
    EXPECT_EQ(levelOne.firstAuthentication(0x9004, kFF), Status::Ok);
}

TEST(MifarePlusCardModel, LevelThreeBlocksNeedTheSectorsKey) {
    const auto owned = levelThreeCard(Size::FourK);
    MifarePlusCard& card = *owned;
    Bytes out;
    EXPECT_EQ(card.readBlocks(4, 1, out), Status::NotAuthenticated);
    ASSERT_EQ(card.authenticateBlock(0, 4, key(0x42)), Status::Ok);
    Bytes three(48);
    for (std::size_t i = 0; i < three.size(); ++i)
        three[i] = static_cast<std::uint8_t>(i);
    ASSERT_EQ(card.writeBlocks(4, 3, three), Status::Ok);
    ASSERT_EQ(card.readBlocks(4, 3, out), Status::Ok);
    EXPECT_EQ(out, three);

    const struct {
        std::uint16_t block;
        std::uint8_t count;
        Status expected;
    } writes[] = {
        {4, 0, Status::BadParameter},
        {4, 4, Status::BadParameter},
        {6, 3, Status::NotAuthenticated}, // runs into sector 2
    };
    for (const auto& w : writes) {
        ASSERT_EQ(card.authenticateBlock(0, 4, key(0x42)), Status::Ok);
        EXPECT_EQ(card.writeBlocks(w.block, w.count, Bytes(16 * w.count, 0xEE)), w.expected)
            << w.block << "x" << int(w.count);
        EXPECT_FALSE(card.sessionKey()) << "a refusal ends the session";
    }
    ASSERT_EQ(card.authenticateBlock(0, 4, key(0x42)), Status::Ok);
    ASSERT_EQ(card.readBlocks(4, 1, out), Status::Ok);
    EXPECT_EQ(out, Bytes(three.begin(), three.begin() + 16)) << "a refused multi-block write writes nothing";

    // The 16-block sectors of the 4K: sector 39 holds blocks 240-255, key A at 0x404E.
    ASSERT_EQ(card.firstAuthentication(0x404E, key(0x40 + 78)), Status::Ok);
    ASSERT_EQ(card.writeBlocks(250, 1, Bytes(16, 0x39)), Status::Ok);
    ASSERT_EQ(card.readBlocks(250, 1, out), Status::Ok);
    EXPECT_EQ(out, Bytes(16, 0x39));
    EXPECT_EQ(card.writeBlocks(0, 1, Bytes(16, 0)), Status::NotAuthenticated);
    ASSERT_EQ(card.firstAuthentication(0x4000, key(0x40)), Status::Ok);
    EXPECT_EQ(card.writeBlocks(0, 1, Bytes(16, 0)), Status::AccessDenied) << "the manufacturer block";
}

TEST(MifarePlusCardModel, TrailerAccessConditionsHoldForTheAesKeys) {
    MifarePlusCard card(Size::TwoK, kUid4);
    // Sector 1: data blocks writable with key B only (100), trailer 011.
    const std::array<std::uint8_t, 16> trailer{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0x78, 0x77,
                                               0x88, 0x69, 0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5};
    ASSERT_EQ(card.writePerso(7, trailer), Status::Ok);
    personaliseAndCommit(card);
    ASSERT_EQ(card.switchLevel(3, key(0x03)), Status::Ok);

    ASSERT_EQ(card.authenticateBlock(0, 4, kFF), Status::Ok); // key A never personalised: 16 x FF
    EXPECT_EQ(card.writeBlocks(4, 1, Bytes(16, 1)), Status::AccessDenied);
    ASSERT_EQ(card.authenticateBlock(1, 4, kFF), Status::Ok);
    EXPECT_EQ(card.writeBlocks(4, 1, Bytes(16, 1)), Status::Ok);
    Bytes out;
    ASSERT_EQ(card.readBlocks(7, 1, out), Status::Ok);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 6), Bytes(6, 0)) << "key A never reads back";
    EXPECT_EQ(Bytes(out.begin() + 6, out.begin() + 10), (Bytes{0x78, 0x77, 0x88, 0x69}));
}

TEST(MifarePlusCardModel, LevelThreePurses) {
    const auto owned = levelThreeCard();
    MifarePlusCard& card = *owned;
    const auto auth = [&card] { ASSERT_EQ(card.authenticateBlock(0, 8, key(0x44)), Status::Ok); };
    auth();
    ASSERT_EQ(card.createValue(8, 100), Status::Ok);
    ASSERT_EQ(card.increment(8, 5), Status::Ok);
    ASSERT_EQ(card.decrement(8, 10), Status::Ok);
    std::int32_t value = 0;
    ASSERT_EQ(card.readValue(8, value), Status::Ok);
    EXPECT_EQ(value, 95);
    ASSERT_EQ(card.backup(8, 9), Status::Ok);
    ASSERT_EQ(card.readValue(9, value), Status::Ok);
    EXPECT_EQ(value, 95);
    Bytes raw;
    ASSERT_EQ(card.readBlocks(8, 1, raw), Status::Ok);
    EXPECT_EQ(raw, (Bytes{0x5F, 0, 0, 0, 0xA0, 0xFF, 0xFF, 0xFF, 0x5F, 0, 0, 0, 8, 0xF7, 8, 0xF7}));

    const struct {
        const char* what;
        Status (*run)(MifarePlusCard&);
        Status expected;
    } refusals[] = {
        {"not a value block",
         [](MifarePlusCard& c) {
             std::int32_t v;
             return c.readValue(10, v);
         },
         Status::NotValueBlock},
        {"overflow", [](MifarePlusCard& c) { return c.increment(8, 0x7FFFFFFF); }, Status::CardRefused},
        {"backup into another sector", [](MifarePlusCard& c) { return c.backup(8, 12); },
         Status::NotAuthenticated},
        {"purse on the trailer", [](MifarePlusCard& c) { return c.createValue(11, 1); },
         Status::AccessDenied},
    };
    for (const auto& r : refusals) {
        auth();
        EXPECT_EQ(r.run(card), r.expected) << r.what;
    }
    auth();
    ASSERT_EQ(card.readValue(8, value), Status::Ok);
    EXPECT_EQ(value, 95) << "a refused increment leaves the purse alone";
}

TEST(MifarePlusCardModel, LevelOneIsTheClassicCardAndSharesItsMemory) {
    MifarePlusCard card(Size::TwoK, kUid4);
    ASSERT_EQ(card.writePerso(5, key(0x55)), Status::Ok);
    personaliseAndCommit(card);
    sim::ClassicCard& classic = card.classic();
    const std::array<std::uint8_t, 6> transport{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    ASSERT_EQ(classic.authenticate(sim::classic::KeyType::A, 4, transport), Status::Ok);
    sim::classic::Block block{};
    ASSERT_EQ(classic.read(5, block), Status::Ok);
    EXPECT_EQ(Bytes(block.begin(), block.end()), Bytes(16, 0x55));
    block.fill(0x66);
    ASSERT_EQ(classic.write(6, block), Status::Ok);

    ASSERT_EQ(card.switchLevel(3, key(0x03)), Status::Ok);
    EXPECT_FALSE(classic.authenticated()) << "the switch ends the level-1 session";
    ASSERT_EQ(card.authenticateBlock(0, 4, kFF), Status::Ok);
    Bytes out;
    ASSERT_EQ(card.readBlocks(6, 1, out), Status::Ok);
    EXPECT_EQ(out, Bytes(16, 0x66));
    card.powerCycle();
    EXPECT_FALSE(card.sessionKey());
}

TEST(MifarePlusCardModel, LevelTwoOpensASectorToCrypto1AfterItsAesKey) {
    MifarePlusCard card(Size::TwoK, kUid4);
    ASSERT_EQ(card.writePerso(0x4002, key(0x42)), Status::Ok);
    personaliseAndCommit(card);
    ASSERT_EQ(card.switchLevel(2, key(0x02)), Status::Ok);
    const struct {
        const char* what;
        Status (*run)(MifarePlusCard&);
        Status expected;
    } steps[] = {
        {"no AES authentication yet", [](MifarePlusCard& c) { return c.crypto1Access(4); },
         Status::NotAuthenticated},
        {"sector 1 key A", [](MifarePlusCard& c) { return c.firstAuthentication(0x4002, key(0x42)); },
         Status::Ok},
        {"a block of sector 1", [](MifarePlusCard& c) { return c.crypto1Access(7); }, Status::Ok},
        {"a block of sector 2", [](MifarePlusCard& c) { return c.crypto1Access(8); },
         Status::NotAuthenticated},
        {"beyond the 2K", [](MifarePlusCard& c) { return c.crypto1Access(128); }, Status::CardAddressInvalid},
        {"sector 2 by block", [](MifarePlusCard& c) { return c.authenticateBlock(1, 9, kFF); }, Status::Ok},
        {"now sector 2", [](MifarePlusCard& c) { return c.crypto1Access(8); }, Status::Ok},
    };
    for (const auto& s : steps)
        EXPECT_EQ(s.run(card), s.expected) << s.what;
    EXPECT_FALSE(card.classic().authenticated()) << "the AES key alone opens no block";
    card.powerCycle();
    EXPECT_EQ(card.crypto1Access(8), Status::NotAuthenticated);

    ASSERT_EQ(card.switchLevel(3, key(0x03)), Status::Ok);
    EXPECT_EQ(card.crypto1Access(8), Status::WrongCardState);
}

} // namespace
