// The vicinity card models on their own: ISO 15693 tags and ICODE1 labels.

#include <gtest/gtest.h>

#include <functional>

#include "simulator/cards/icode1.h"
#include "simulator/cards/iso15693.h"

namespace {

using sim::Bytes;
using sim::Icode1Label;
using sim::Iso15693Tag;
using sim::Status;
namespace iso15693 = sim::iso15693;

TEST(Iso15693Tag, UidAndSystemInformationFollowTheModel) {
    struct Case {
        const iso15693::Iso15693Model& model;
        Bytes info; // serial 0x0102030405, DSFID 0x11, AFI 0x22
    } const cases[] = {
        {iso15693::kLabel28,
         {0x0F, 0x05, 0x04, 0x03, 0x02, 0x01, 0x01, 0x04, 0xE0, 0x11, 0x22, 0x1B, 0x03, 0x01}},
        {iso15693::kTag64,
         {0x0F, 0x05, 0x04, 0x03, 0x02, 0x01, 0xC4, 0x07, 0xE0, 0x11, 0x22, 0x3F, 0x03, 0x00}},
    };
    for (const auto& c : cases) {
        Iso15693Tag tag(c.model, 0xFF0102030405); // bits above 40 are not part of the UID
        ASSERT_EQ(tag.writeDsfid(0x11), Status::Ok);
        ASSERT_EQ(tag.writeAfi(0x22), Status::Ok);
        EXPECT_EQ(tag.systemInformation(), c.info) << c.model.name;
        EXPECT_EQ(tag.maker(), c.model.maker) << c.model.name;
    }
    EXPECT_THROW(Iso15693Tag(iso15693::makeUid(4, 1, 1), 0), std::invalid_argument);
    EXPECT_THROW(Iso15693Tag(iso15693::makeUid(4, 1, 1), 257), std::invalid_argument);
}

TEST(Iso15693Tag, BlockRangesAreCheckedAgainstTheMemory) {
    struct Case {
        std::size_t first, count;
        Status expected;
    } const cases[] = {
        {0, 28, Status::Ok},
        {27, 1, Status::Ok},
        {27, 2, Status::CardAddressInvalid},
        {28, 1, Status::CardAddressInvalid},
        {255, 255, Status::CardAddressInvalid},
        {0, 0, Status::BadParameter},
    };
    Iso15693Tag tag(iso15693::kLabel28, 1);
    for (const auto& c : cases) {
        Bytes data, security;
        EXPECT_EQ(tag.read(c.first, c.count, false, data), c.expected) << c.first << "+" << c.count;
        EXPECT_EQ(tag.blockSecurity(c.first, c.count, security), c.expected) << c.first << "+" << c.count;
        if (c.expected == Status::Ok) {
            EXPECT_EQ(data.size(), 4 * security.size());
        }
    }
    EXPECT_EQ(tag.write(28, Bytes{1, 2, 3, 4}), Status::CardAddressInvalid);
    EXPECT_EQ(tag.lock(28), Status::CardAddressInvalid);
}

// Blocks, AFI and DSFID: writable until locked, locked for good, each on its own.
TEST(Iso15693Tag, LocksAreOneWayAndLockOnlyTheirOwnItem) {
    const Bytes before{0xDE, 0xAD, 0xBE, 0xEF}, after{1, 2, 3, 4};
    struct Item {
        const char* name;
        std::function<Status(Iso15693Tag&, const Bytes&)> write;
        std::function<Status(Iso15693Tag&)> lock;
        std::function<std::uint8_t(const Iso15693Tag&)> value;
    } const items[] = {
        {"block 5", [](Iso15693Tag& t, const Bytes& d) { return t.write(5, d); },
         [](Iso15693Tag& t) { return t.lock(5); }, [](const Iso15693Tag& t) { return t.block(5)[0]; }},
        {"AFI", [](Iso15693Tag& t, const Bytes& d) { return t.writeAfi(d[0]); }, &Iso15693Tag::lockAfi,
         &Iso15693Tag::afi},
        {"DSFID", [](Iso15693Tag& t, const Bytes& d) { return t.writeDsfid(d[0]); }, &Iso15693Tag::lockDsfid,
         &Iso15693Tag::dsfid},
    };
    for (const Item& locked : items) {
        SCOPED_TRACE(locked.name);
        Iso15693Tag tag(iso15693::kTag64, 7);
        for (const Item& item : items)
            ASSERT_EQ(item.write(tag, before), Status::Ok);
        ASSERT_EQ(locked.lock(tag), Status::Ok);
        EXPECT_EQ(locked.lock(tag), Status::AccessDenied) << "locking twice";
        tag.powerCycle();
        for (const Item& item : items) {
            const bool same = &item == &locked;
            EXPECT_EQ(item.write(tag, after), same ? Status::AccessDenied : Status::Ok) << item.name;
            EXPECT_EQ(item.value(tag), same ? before[0] : after[0]) << item.name;
        }
    }
    Iso15693Tag tag(iso15693::kTag64, 7);
    tag.load(4, Bytes{0, 0, 0, 4, 5, 0, 0, 0});
    tag.lockAtFactory(5);
    Bytes data;
    ASSERT_EQ(tag.read(4, 2, true, data), Status::Ok);
    EXPECT_EQ(data, (Bytes{0x00, 0, 0, 0, 4, 0x01, 5, 0, 0, 0}));
    ASSERT_EQ(tag.blockSecurity(3, 4, data), Status::Ok);
    EXPECT_EQ(data, (Bytes{0, 0, 1, 0}));
}

TEST(Icode1Label, AccessConditionsProtectPagesAndOnlyEverTighten) {
    const Icode1Label::Serial serial{0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87};
    Icode1Label label(serial);
    EXPECT_EQ(label.page(1), (Bytes{0x54, 0x65, 0x76, 0x87}));
    EXPECT_EQ(label.page(2), (Bytes{0xF0, 0xFF, 0xFF, 0xFF}));
    const Bytes data{0xA1, 0xB2, 0xC3, 0xD4};

    // Delivered state, then after page 2 was written with 3F FF 3C FF (pages 3, 8 and 11 lose their bits).
    struct Case {
        std::size_t page;
        Status delivered, tightened;
    } const cases[] = {
        {0, Status::AccessDenied, Status::AccessDenied},
        {1, Status::AccessDenied, Status::AccessDenied},
        {3, Status::Ok, Status::AccessDenied},
        {7, Status::Ok, Status::Ok},
        {8, Status::Ok, Status::AccessDenied},
        {11, Status::Ok, Status::AccessDenied},
        {16, Status::Ok, Status::Ok}, // beyond what page 2 covers
        {31, Status::Ok, Status::Ok},
        {32, Status::CardAddressInvalid, Status::CardAddressInvalid},
    };
    for (const auto& c : cases)
        EXPECT_EQ(label.write(c.page, data), c.delivered) << "page " << c.page;
    ASSERT_EQ(label.write(2, Bytes{0x3F, 0xFF, 0x3C, 0xFF}), Status::Ok);
    EXPECT_EQ(label.page(2), (Bytes{0x30, 0xFF, 0x3C, 0xFF}));
    for (const auto& c : cases)
        EXPECT_EQ(label.write(c.page, Bytes{9, 9, 9, 9}), c.tightened) << "page " << c.page;
    EXPECT_EQ(label.serial(), serial);
    EXPECT_EQ(label.page(3), data) << "a refused write changed the page";

    // Setting bits again lifts nothing; clearing page 2's own bits freezes it.
    ASSERT_EQ(label.write(2, Bytes{0xCF, 0xFF, 0xFF, 0xFF}), Status::Ok);
    EXPECT_EQ(label.page(2), (Bytes{0x00, 0xFF, 0x3C, 0xFF}));
    EXPECT_EQ(label.write(2, Bytes{0xFF, 0xFF, 0xFF, 0xFF}), Status::AccessDenied);
}

} // namespace
