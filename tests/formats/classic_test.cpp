// MIFARE Classic layout, access bits and block 0, as a restore checks them before writing.
#include "formats/dump.h"

#include <gtest/gtest.h>

using namespace varrok::dump;

TEST(Classic, LayoutAcrossTheFourKBoundary) {
    struct Row {
        std::size_t block, sector, first, trailer, group;
    };
    for (auto r : std::vector<Row>{{0, 0, 0, 3, 0},
                                   {6, 1, 4, 7, 2},
                                   {127, 31, 124, 127, 3},
                                   {128, 32, 128, 143, 0},
                                   {135, 32, 128, 143, 1},
                                   {142, 32, 128, 143, 2},
                                   {143, 32, 128, 143, 3},
                                   {255, 39, 240, 255, 3}}) {
        SCOPED_TRACE(r.block);
        EXPECT_EQ(classic::sectorOf(r.block), r.sector);
        EXPECT_EQ(classic::firstBlock(r.sector), r.first);
        EXPECT_EQ(classic::trailerOf(r.sector), r.trailer);
        EXPECT_EQ(classic::isTrailer(r.block), r.block == r.trailer);
        EXPECT_EQ(classic::accessGroup(r.block), r.group);
    }
    EXPECT_EQ(classic::sectorCount(20), 5u);
    EXPECT_EQ(classic::sectorCount(256), 40u);
    EXPECT_EQ(classic::sectorCount(255), 0u);
}

TEST(Classic, AccessBitsMustCarryTheirInvertedCopy) {
    struct Row {
        Bytes access;
        bool valid;
        std::uint8_t data, trailer; // C1 C2 C3 of groups 0 and 3
    };
    for (const auto& r : std::vector<Row>{{{0xFF, 0x07, 0x80}, true, 0b000, 0b001}, // transport
                                          {{0x78, 0x77, 0x88}, true, 0b100, 0b011},
                                          {{0x08, 0x77, 0x8F}, true, 0b110, 0b011},
                                          {{0xFF, 0x07, 0x08}, false, 0, 0},
                                          {{0x7F, 0x07, 0x80}, false, 0, 0},
                                          {{0xFF, 0x07}, false, 0, 0}}) {
        SCOPED_TRACE(testing::PrintToString(r.access));
        EXPECT_EQ(classic::accessBitsValid(r.access), r.valid);
        if (!r.valid) continue;
        EXPECT_EQ(classic::accessConditions(r.access, 0), r.data);
        EXPECT_EQ(classic::accessConditions(r.access, 3), r.trailer);
    }
}

TEST(Classic, Block0CarriesTheUidAndItsCheckByte) {
    Card card = blankCard(Family::Classic, 64);
    const Bytes block0{0xDE, 0xAD, 0xBE, 0xEF, 0x22, 0x08, 0x04, 0x00};
    std::copy(block0.begin(), block0.end(), card.memory.begin());
    EXPECT_TRUE(classic::block0Valid(card));
    EXPECT_EQ(uidFromMemory(card), (Bytes{0xDE, 0xAD, 0xBE, 0xEF}));
    card.uid = {0xDE, 0xAD, 0xBE, 0xEF};
    EXPECT_TRUE(classic::block0Valid(card));
    card.uid = {0xDE, 0xAD, 0xBE, 0xEE};
    EXPECT_FALSE(classic::block0Valid(card)); // the dump's UID is not the one in block 0
    card.uid = {0xDE, 0xAD, 0xBE, 0xEF, 0x22, 0x08, 0x04};
    EXPECT_TRUE(classic::block0Valid(card)); // a 7-byte UID has no check byte there
    card.uid.clear();
    card.memory[4] ^= 1;
    EXPECT_FALSE(classic::block0Valid(card));
    EXPECT_TRUE(uidFromMemory(card).empty());
    card.memory[4] ^= 1;
    card.known[0] = false;
    EXPECT_FALSE(classic::block0Valid(card));
}
