// The MIFARE Classic model on its own: access bits, the rights tables, value
// blocks, the memory layout and what a session may do.

#include <gtest/gtest.h>

#include "simulator/cards/classic.h"

namespace {

using sim::Bytes;
using sim::ClassicCard;
using sim::Status;
namespace classic = sim::classic;
using classic::Block;
using classic::KeyType;

constexpr classic::Key kTransportKey{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

Block blockOf(std::initializer_list<std::uint8_t> bytes) {
    Block b{};
    std::copy(bytes.begin(), bytes.end(), b.begin());
    return b;
}

Block trailer(const classic::Key& a, std::array<std::uint8_t, 3> access, std::uint8_t gpb,
              const classic::Key& b) {
    Block t{};
    std::copy(a.begin(), a.end(), t.begin());
    std::copy(access.begin(), access.end(), t.begin() + 6);
    t[9] = gpb;
    std::copy(b.begin(), b.end(), t.begin() + 10);
    return t;
}

TEST(ClassicAccessBits, DecodesAndEncodesTheKnownByteSets) {
    struct Case {
        std::array<std::uint8_t, 3> bytes;
        std::array<classic::Condition, 4> conditions;
    } const cases[] = {
        {{0xFF, 0x07, 0x80}, {0b000, 0b000, 0b000, 0b001}}, // transport
        {{0x78, 0x77, 0x88}, {0b100, 0b100, 0b100, 0b011}}, // data read A/B, write B
        {{0x08, 0x77, 0x8F}, {0b110, 0b110, 0b110, 0b011}}, // value blocks
        {{0xF0, 0xFF, 0x00}, {0b100, 0b100, 0b100, 0b100}},
        {{0x0F, 0x00, 0xFF}, {0b011, 0b011, 0b011, 0b011}},
    };
    for (const auto& c : cases) {
        const auto decoded = classic::decodeAccessBits(c.bytes);
        ASSERT_TRUE(decoded) << sim::toHex(c.bytes);
        EXPECT_EQ(*decoded, c.conditions) << sim::toHex(c.bytes);
        EXPECT_EQ(classic::encodeAccessBits(c.conditions), c.bytes);
    }
}

TEST(ClassicAccessBits, EveryConditionSetSurvivesTheRoundTripAndABrokenCopyIsRejected) {
    for (unsigned packed = 0; packed < 4096; ++packed) {
        const std::array<classic::Condition, 4> conditions{static_cast<classic::Condition>(packed & 7),
                                                           static_cast<classic::Condition>(packed >> 3 & 7),
                                                           static_cast<classic::Condition>(packed >> 6 & 7),
                                                           static_cast<classic::Condition>(packed >> 9 & 7)};
        const auto bytes = classic::encodeAccessBits(conditions);
        ASSERT_EQ(classic::decodeAccessBits(bytes), conditions);
        // Flipping any single bit breaks the inverted copy.
        for (int bit = 0; bit < 24; ++bit) {
            auto broken = bytes;
            broken[bit / 8] ^= static_cast<std::uint8_t>(1 << (bit % 8));
            ASSERT_FALSE(classic::decodeAccessBits(broken)) << sim::toHex(broken);
        }
    }
}

TEST(ClassicAccessBits, DataBlockRightsFollowTheTable) {
    // Trailer condition 011 keeps key B secret, so both keys count.
    constexpr classic::Condition kSecretB = 0b011;
    struct Case {
        classic::Condition data;
        classic::DataRights a, b; // read, write, increment, decrement/transfer/restore
    } const cases[] = {
        {0b000, {true, true, true, true}, {true, true, true, true}},
        {0b010, {true, false, false, false}, {true, false, false, false}},
        {0b100, {true, false, false, false}, {true, true, false, false}},
        {0b110, {true, false, false, true}, {true, true, true, true}},
        {0b001, {true, false, false, true}, {true, false, false, true}},
        {0b011, {false, false, false, false}, {true, true, false, false}},
        {0b101, {false, false, false, false}, {true, false, false, false}},
        {0b111, {false, false, false, false}, {false, false, false, false}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(classic::dataRights(c.data, kSecretB, KeyType::A), c.a) << int(c.data);
        EXPECT_EQ(classic::dataRights(c.data, kSecretB, KeyType::B), c.b) << int(c.data);
    }
    // Where the trailer lets key A read key B, key B is data and opens nothing.
    for (const classic::Condition readableB : {0b000, 0b010, 0b001}) {
        EXPECT_TRUE(classic::keyBReadable(readableB));
        EXPECT_EQ(classic::dataRights(0b000, readableB, KeyType::B), classic::DataRights{});
        EXPECT_EQ(classic::dataRights(0b000, readableB, KeyType::A),
                  (classic::DataRights{true, true, true, true}));
    }
    for (const classic::Condition secretB : {0b100, 0b110, 0b011, 0b101, 0b111})
        EXPECT_FALSE(classic::keyBReadable(secretB));
}

TEST(ClassicAccessBits, TrailerRightsFollowTheTable) {
    // writeKeyA, readAccess, writeAccess, readKeyB, writeKeyB
    struct Case {
        classic::Condition trailer;
        classic::TrailerRights a, b;
    } const cases[] = {
        {0b000, {true, true, false, true, true}, {}},
        {0b010, {false, true, false, true, false}, {}},
        {0b100, {false, true, false, false, false}, {true, true, false, false, true}},
        {0b110, {false, true, false, false, false}, {false, true, false, false, false}},
        {0b001, {true, true, true, true, true}, {}},
        {0b011, {false, true, false, false, false}, {true, true, true, false, true}},
        {0b101, {false, true, false, false, false}, {false, true, true, false, false}},
        {0b111, {false, true, false, false, false}, {false, true, false, false, false}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(classic::trailerRights(c.trailer, KeyType::A), c.a) << int(c.trailer);
        EXPECT_EQ(classic::trailerRights(c.trailer, KeyType::B), c.b) << int(c.trailer);
    }
}

TEST(ClassicValueBlock, EncodesTheExampleAndRejectsBrokenCopies) {
    const Block example = blockOf(
        {0x64, 0x00, 0x00, 0x00, 0x9B, 0xFF, 0xFF, 0xFF, 0x64, 0x00, 0x00, 0x00, 0x05, 0xFA, 0x05, 0xFA});
    EXPECT_EQ(classic::valueBlock(100, 5), example);
    EXPECT_EQ(classic::valueOf(example), 100);
    EXPECT_EQ(classic::valueOf(classic::valueBlock(-1, 9)), -1);
    EXPECT_EQ(classic::valueOf(classic::valueBlock(INT32_MIN, 200)), INT32_MIN);

    for (std::size_t i = 0; i < 16; ++i) {
        Block broken = example;
        broken[i] ^= 0x01;
        EXPECT_FALSE(classic::valueOf(broken)) << "byte " << i;
    }
    EXPECT_FALSE(classic::valueOf(Block{})) << "an empty block is not a value block";
}

TEST(ClassicLayout, SectorsBlocksAndBlockZero) {
    struct Case {
        ClassicCard::Model model;
        std::size_t blocks, sectors;
        std::uint8_t sak, atqa4, atqa7;
    } const cases[] = {
        {ClassicCard::Model::Mini, 20, 5, 0x09, 0x04, 0x44},
        {ClassicCard::Model::Classic1K, 64, 16, 0x08, 0x04, 0x44},
        {ClassicCard::Model::Classic4K, 256, 40, 0x18, 0x02, 0x42},
    };
    for (const auto& c : cases) {
        ClassicCard four(c.model, {0x11, 0x22, 0x33, 0x44});
        EXPECT_EQ(four.blockCount(), c.blocks);
        EXPECT_EQ(four.sectorCount(), c.sectors);
        EXPECT_EQ(four.sak(), c.sak);
        EXPECT_EQ(four.atqa()[0], c.atqa4);
        ClassicCard seven(c.model, {0x04, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06});
        EXPECT_EQ(seven.atqa()[0], c.atqa7);
        for (std::size_t s = 0; s < four.sectorCount(); ++s)
            EXPECT_EQ(four.block(four.trailerOf(s)), classic::transportTrailer()) << "sector " << s;
    }

    ClassicCard big(ClassicCard::Model::Classic4K, {0x11, 0x22, 0x33, 0x44});
    const std::pair<std::size_t, std::size_t> blockSector[] = {{0, 0},    {3, 0},    {127, 31}, {128, 32},
                                                               {143, 32}, {144, 33}, {255, 39}};
    for (const auto& [block, sector] : blockSector)
        EXPECT_EQ(big.sectorOf(block), sector) << "block " << block;
    EXPECT_EQ(big.trailerOf(31), 127u);
    EXPECT_EQ(big.trailerOf(32), 143u);
    EXPECT_EQ(big.trailerOf(39), 255u);
    EXPECT_TRUE(big.isTrailer(143));
    EXPECT_FALSE(big.isTrailer(142));

    ClassicCard one(ClassicCard::Model::Classic1K, {0x11, 0x22, 0x33, 0x44});
    EXPECT_EQ(one.block(0), blockOf({0x11, 0x22, 0x33, 0x44, 0x44, 0x08, 0x04, 0x00, 0x62, 0x63, 0x64, 0x65,
                                     0x66, 0x67, 0x68, 0x69}));
    ClassicCard seven(ClassicCard::Model::Classic1K, {0x04, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6},
                      {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(seven.block(0),
              blockOf({0x04, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0x08, 0x44, 0x00, 1, 2, 3, 4, 5, 6}));

    EXPECT_THROW(ClassicCard(ClassicCard::Model::Classic1K, {1, 2, 3}), std::invalid_argument);
    EXPECT_THROW(ClassicCard(ClassicCard::Model::Classic1K, {1, 2, 3, 4}, {1, 2}), std::invalid_argument);
}

class ClassicSession : public testing::Test {
  protected:
    Status auth(KeyType type, std::uint8_t block, const classic::Key& key = kTransportKey) {
        return card.authenticate(type, block, key);
    }
    ClassicCard card{ClassicCard::Model::Classic1K, {0x11, 0x22, 0x33, 0x44}};
    Block out{};
};

TEST_F(ClassicSession, AuthenticationBindsTheSessionToOneSector) {
    EXPECT_EQ(card.read(4, out), Status::NotAuthenticated);
    ASSERT_EQ(auth(KeyType::A, 5), Status::Ok);
    EXPECT_EQ(card.read(4, out), Status::Ok);
    EXPECT_EQ(card.read(7, out), Status::Ok);
    EXPECT_EQ(card.read(8, out), Status::NotAuthenticated) << "sector 2 needs its own authentication";
    EXPECT_FALSE(card.authenticated()) << "the refusal ended the session";

    ASSERT_EQ(auth(KeyType::A, 8), Status::Ok);
    EXPECT_EQ(auth(KeyType::A, 8, {1, 2, 3, 4, 5, 6}), Status::AuthFailed);
    EXPECT_FALSE(card.authenticated());
    EXPECT_EQ(card.read(8, out), Status::NotAuthenticated);
    EXPECT_EQ(auth(KeyType::A, 64), Status::CardAddressInvalid);
}

TEST_F(ClassicSession, WritesPersistAndBlockZeroStaysReadOnly) {
    ASSERT_EQ(auth(KeyType::A, 4), Status::Ok);
    const Block data = blockOf({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
    ASSERT_EQ(card.write(6, data), Status::Ok);
    ASSERT_EQ(card.read(6, out), Status::Ok);
    EXPECT_EQ(out, data);

    ASSERT_EQ(auth(KeyType::A, 0), Status::Ok);
    const Block zero = card.block(0);
    EXPECT_EQ(card.write(0, data), Status::AccessDenied);
    EXPECT_EQ(card.block(0), zero);
}

TEST_F(ClassicSession, TrailerReadsHideKeyAAndFollowTheConditionForTheRest) {
    const classic::Key keyA{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}, keyB{0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5};
    card.setBlock(7, trailer(keyA, {0xFF, 0x07, 0x80}, 0x69, keyB));  // transport: key B readable by A
    card.setBlock(11, trailer(keyA, {0x78, 0x77, 0x88}, 0x42, keyB)); // 011: key B secret

    ASSERT_EQ(auth(KeyType::A, 7, keyA), Status::Ok);
    ASSERT_EQ(card.read(7, out), Status::Ok);
    EXPECT_EQ(out, blockOf({0, 0, 0, 0, 0, 0, 0xFF, 0x07, 0x80, 0x69, 0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5}));

    ASSERT_EQ(auth(KeyType::A, 11, keyA), Status::Ok);
    ASSERT_EQ(card.read(11, out), Status::Ok);
    EXPECT_EQ(out, blockOf({0, 0, 0, 0, 0, 0, 0x78, 0x77, 0x88, 0x42, 0, 0, 0, 0, 0, 0}));
    ASSERT_EQ(auth(KeyType::B, 11, keyB), Status::Ok);
    ASSERT_EQ(card.read(11, out), Status::Ok);
    EXPECT_EQ(out, blockOf({0, 0, 0, 0, 0, 0, 0x78, 0x77, 0x88, 0x42, 0, 0, 0, 0, 0, 0}));
}

TEST_F(ClassicSession, DataAccessFollowsTheSectorConditions) {
    const classic::Key keyA{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}, keyB{0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5};
    card.setBlock(7, trailer(keyA, {0x78, 0x77, 0x88}, 0x69, keyB)); // data 100: read A/B, write B only
    const Block data = blockOf({0xDE, 0xAD});

    ASSERT_EQ(auth(KeyType::A, 4, keyA), Status::Ok);
    EXPECT_EQ(card.read(4, out), Status::Ok);
    EXPECT_EQ(card.write(4, data), Status::AccessDenied);
    EXPECT_FALSE(card.authenticated()) << "the card's NAK ends the session";

    ASSERT_EQ(auth(KeyType::B, 4, keyB), Status::Ok);
    EXPECT_EQ(card.write(4, data), Status::Ok);
    EXPECT_EQ(card.block(4), data);

    // Key B where it is readable is only data: it authenticates but opens nothing.
    card.setBlock(11, trailer(keyA, {0xFF, 0x07, 0x80}, 0x69, keyB));
    ASSERT_EQ(auth(KeyType::B, 8, keyB), Status::Ok);
    EXPECT_EQ(card.read(8, out), Status::AccessDenied);
}

TEST_F(ClassicSession, TrailerWritesChangeOnlyThePartsTheConditionAllows) {
    const classic::Key keyA{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}, keyB{0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5};
    const classic::Key newKey{1, 2, 3, 4, 5, 6};
    const Block wanted = trailer(newKey, {0xFF, 0x07, 0x80}, 0x11, newKey);

    // 011: key B writes both keys and the access bits; key A writes nothing.
    card.setBlock(7, trailer(keyA, {0x78, 0x77, 0x88}, 0x69, keyB));
    ASSERT_EQ(auth(KeyType::A, 7, keyA), Status::Ok);
    EXPECT_EQ(card.write(7, wanted), Status::AccessDenied);
    ASSERT_EQ(auth(KeyType::B, 7, keyB), Status::Ok);
    ASSERT_EQ(card.write(7, wanted), Status::Ok);
    EXPECT_EQ(card.block(7), wanted);

    // 100: key B writes the keys but not the access bits (nor the GPB with them).
    card.setBlock(11, trailer(keyA, {0xF0, 0xFF, 0x00}, 0x69, keyB));
    ASSERT_EQ(auth(KeyType::B, 11, keyB), Status::Ok);
    ASSERT_EQ(card.write(11, wanted), Status::Ok);
    EXPECT_EQ(card.block(11), trailer(newKey, {0xF0, 0xFF, 0x00}, 0x69, newKey));
}

TEST_F(ClassicSession, ASectorWithBrokenAccessBitsIsUnusable) {
    card.setBlock(7, trailer(kTransportKey, {0xFF, 0x07, 0x81}, 0x69, kTransportKey));
    ASSERT_EQ(auth(KeyType::A, 4), Status::Ok);
    EXPECT_EQ(card.read(4, out), Status::AccessDenied);
    ASSERT_EQ(auth(KeyType::A, 4), Status::Ok);
    EXPECT_EQ(card.write(5, Block{}), Status::AccessDenied);
}

TEST_F(ClassicSession, PurseOperationsGoThroughTheTransferBuffer) {
    ASSERT_EQ(auth(KeyType::A, 4), Status::Ok);
    ASSERT_EQ(card.createValue(5, 100), Status::Ok);
    EXPECT_EQ(card.block(5), classic::valueBlock(100, 5));

    ASSERT_EQ(card.increment(5, 50), Status::Ok);
    EXPECT_EQ(classic::valueOf(card.block(5)), 100) << "nothing changes before the transfer";
    ASSERT_EQ(card.transfer(5), Status::Ok);
    std::int32_t value = 0;
    ASSERT_EQ(card.readValue(5, value), Status::Ok);
    EXPECT_EQ(value, 150);

    ASSERT_EQ(card.decrement(5, 200), Status::Ok);
    ASSERT_EQ(card.transfer(5), Status::Ok);
    ASSERT_EQ(card.readValue(5, value), Status::Ok);
    EXPECT_EQ(value, -50);

    // Backup: restore into the buffer, transfer into a fresh block. The address
    // bytes come with the value.
    ASSERT_EQ(card.restore(5), Status::Ok);
    ASSERT_EQ(card.transfer(6), Status::Ok);
    EXPECT_EQ(card.block(6), classic::valueBlock(-50, 5));
}

TEST_F(ClassicSession, PurseOperationsRefuseWhatIsNotAPurse) {
    struct Case {
        const char* what;
        Status (*run)(ClassicCard&);
        Status expected;
    } const cases[] = {
        {"increment of an empty block", [](ClassicCard& c) { return c.increment(4, 1); },
         Status::NotValueBlock},
        {"decrement of an empty block", [](ClassicCard& c) { return c.decrement(4, 1); },
         Status::NotValueBlock},
        {"restore of an empty block", [](ClassicCard& c) { return c.restore(4); }, Status::NotValueBlock},
        {"read value of an empty block",
         [](ClassicCard& c) {
             std::int32_t v;
             return c.readValue(4, v);
         },
         Status::NotValueBlock},
        {"transfer with nothing loaded", [](ClassicCard& c) { return c.transfer(5); },
         Status::WrongCardState},
        {"value on the trailer", [](ClassicCard& c) { return c.createValue(7, 1); }, Status::AccessDenied},
        {"transfer to the trailer",
         [](ClassicCard& c) {
             c.restore(6);
             return c.transfer(7);
         },
         Status::AccessDenied},
        {"overflow", [](ClassicCard& c) { return c.increment(6, 1); }, Status::CardRefused},
        {"underflow", [](ClassicCard& c) { return c.decrement(5, INT32_MAX); }, Status::CardRefused},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(auth(KeyType::A, 4), Status::Ok);
        card.setBlock(4, Block{});
        card.setBlock(5, classic::valueBlock(-10, 5));
        card.setBlock(6, classic::valueBlock(INT32_MAX, 6));
        EXPECT_EQ(c.run(card), c.expected) << c.what;
        EXPECT_FALSE(card.authenticated()) << c.what;
        EXPECT_EQ(classic::valueOf(card.block(5)), -10) << c.what;
        EXPECT_EQ(card.block(7), classic::transportTrailer()) << c.what;
    }
}

TEST_F(ClassicSession, ValueBlockConditionsLimitKeyAToDecrement) {
    const classic::Key keyA{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}, keyB{0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5};
    card.setBlock(7, trailer(keyA, {0x08, 0x77, 0x8F}, 0x69, keyB)); // 110: value blocks
    card.setBlock(4, classic::valueBlock(10, 4));

    ASSERT_EQ(auth(KeyType::A, 4, keyA), Status::Ok);
    ASSERT_EQ(card.decrement(4, 3), Status::Ok);
    ASSERT_EQ(card.transfer(4), Status::Ok);
    EXPECT_EQ(card.increment(4, 3), Status::AccessDenied);
    ASSERT_EQ(auth(KeyType::A, 4, keyA), Status::Ok);
    EXPECT_EQ(card.createValue(4, 1000), Status::AccessDenied);
    ASSERT_EQ(auth(KeyType::B, 4, keyB), Status::Ok);
    ASSERT_EQ(card.increment(4, 5), Status::Ok);
    ASSERT_EQ(card.transfer(4), Status::Ok);
    EXPECT_EQ(classic::valueOf(card.block(4)), 12);
}

TEST_F(ClassicSession, FourKLargeSectorsUseGroupsOfFiveBlocks) {
    ClassicCard big(ClassicCard::Model::Classic4K, {0x11, 0x22, 0x33, 0x44});
    // Sector 32 (blocks 128-143): group 0 free, group 1 read-only (010), group 2 never (111).
    big.setBlock(143, trailer(kTransportKey, classic::encodeAccessBits({0b000, 0b010, 0b111, 0b001}), 0x69,
                              kTransportKey));
    const Block data = blockOf({7});
    struct Case {
        std::uint8_t block;
        Status read, write;
    } const cases[] = {{128, Status::Ok, Status::Ok},
                       {132, Status::Ok, Status::Ok},
                       {133, Status::Ok, Status::AccessDenied},
                       {137, Status::Ok, Status::AccessDenied},
                       {138, Status::AccessDenied, Status::AccessDenied},
                       {142, Status::AccessDenied, Status::AccessDenied}};
    for (const auto& c : cases) {
        ASSERT_EQ(big.authenticate(KeyType::A, 128, kTransportKey), Status::Ok);
        EXPECT_EQ(big.read(c.block, out), c.read) << int(c.block);
        ASSERT_EQ(big.authenticate(KeyType::A, 128, kTransportKey), Status::Ok);
        EXPECT_EQ(big.write(c.block, data), c.write) << int(c.block);
    }
}

} // namespace
