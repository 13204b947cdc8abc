// The small tag models on their own: ST SR176 and SRIX4K, AT88RF020 and
// USSEN memory, without the reader around them.

#include <gtest/gtest.h>

#include <set>

#include "simulator/cards/at88rf020.h"
#include "simulator/cards/st_tags.h"
#include "simulator/cards/ussen.h"

namespace {

using sim::Bytes;
using sim::Status;

const sim::StUid kSr176Uid{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x02, 0xD0};

Status writeSr(sim::Sr176& tag, std::uint8_t block, Bytes data = {0xAB, 0xCD}) {
    return tag.writeBlock(block, data);
}

TEST(Sr176Tag, UidBlocksChipIdAndWhichBlocksTakeWrites) {
    sim::Sr176 tag(kSr176Uid, 0x1A); // only the low nibble is the chip ID
    EXPECT_EQ(tag.initiate(), 0x0A);
    Bytes out;
    for (std::uint8_t b = 0; b < 4; ++b) {
        ASSERT_EQ(tag.readBlock(b, out), Status::Ok);
        EXPECT_EQ(out, (Bytes{kSr176Uid[2 * b], kSr176Uid[2 * b + 1]})) << "block " << int(b);
    }
    const struct {
        std::uint8_t block;
        Status expected;
    } cases[] = {{0, Status::AccessDenied},
                 {3, Status::AccessDenied},
                 {4, Status::Ok},
                 {14, Status::Ok},
                 {15, Status::AccessDenied},
                 {16, Status::CardAddressInvalid},
                 {255, Status::CardAddressInvalid}};
    for (const auto& c : cases) {
        EXPECT_EQ(writeSr(tag, c.block), c.expected) << "block " << int(c.block);
        if (c.expected == Status::Ok) {
            ASSERT_EQ(tag.readBlock(c.block, out), Status::Ok);
            EXPECT_EQ(out, (Bytes{0xAB, 0xCD}));
        }
    }
    EXPECT_EQ(tag.readBlock(16, out), Status::CardAddressInvalid);
}

TEST(Sr176Tag, ProtectionIsOneWayAndStartsAtTheNextSelect) {
    sim::Sr176 tag(kSr176Uid, 3);
    tag.initiate();
    ASSERT_EQ(tag.protect(0x04), Status::Ok); // blocks 4 and 5
    EXPECT_EQ(tag.protectRegister(), 0x04);
    EXPECT_EQ(writeSr(tag, 4), Status::Ok) << "protection waits for a new select";
    tag.initiate();
    EXPECT_EQ(writeSr(tag, 4), Status::AccessDenied);
    EXPECT_EQ(writeSr(tag, 5), Status::AccessDenied);
    EXPECT_EQ(writeSr(tag, 6), Status::Ok);

    ASSERT_EQ(tag.protect(0x00), Status::Ok);
    ASSERT_EQ(tag.protect(0x08), Status::Ok);
    EXPECT_EQ(tag.protectRegister(), 0x0C) << "bits are ORed in, never cleared";
    Bytes block15;
    ASSERT_EQ(tag.readBlock(15, block15), Status::Ok);
    EXPECT_EQ(block15, (Bytes{0x03, 0x0C}));

    tag.powerCycle(); // power-up loads the register too
    EXPECT_EQ(writeSr(tag, 6), Status::AccessDenied);

    // Protecting blocks 14-15 freezes the register that lives in block 15.
    ASSERT_EQ(tag.protect(0x80), Status::Ok);
    tag.initiate();
    EXPECT_EQ(tag.protect(0x01), Status::AccessDenied);
    EXPECT_EQ(tag.protectRegister(), 0x8C);
}

TEST(Srix4kTag, UidLayoutAndChipIdsThatChangePerActivation) {
    sim::Srix4k tag(0x2ABCDEF0123);
    const sim::StUid& uid = tag.uid();
    EXPECT_EQ(uid[7], 0xD0);
    EXPECT_EQ(uid[6], 0x02);
    EXPECT_EQ(uid[5] >> 2, sim::Srix4k::kIcCode);
    std::uint64_t serial = 0;
    for (int i = 5; i >= 0; --i)
        serial = serial << 8 | uid[i];
    EXPECT_EQ(serial & ((std::uint64_t{1} << 42) - 1), 0x2ABCDEF0123u);

    std::set<std::uint8_t> ids;
    for (int i = 0; i < 8; ++i)
        ids.insert(tag.initiate());
    EXPECT_GT(ids.size(), 1u);
}

TEST(Srix4kTag, OtpCountersLocksAndPlainBlocks) {
    sim::Srix4k tag(7);
    const auto write = [&tag](std::uint8_t block, Bytes data) { return tag.writeBlock(block, data); };
    const auto read = [&tag](std::uint8_t block) {
        Bytes out;
        EXPECT_EQ(tag.readBlock(block, out), Status::Ok) << "block " << int(block);
        return out;
    };
    // Resettable OTP: bits only go from 1 to 0.
    ASSERT_EQ(write(0, {0x0F, 0xF0, 0x00, 0xFF}), Status::Ok);
    ASSERT_EQ(write(0, {0xFF, 0xFF, 0x3C, 0x0F}), Status::Ok);
    EXPECT_EQ(read(0), (Bytes{0x0F, 0xF0, 0x00, 0x0F}));

    // Count-down counters accept only smaller values.
    EXPECT_EQ(read(5), (Bytes{0xFE, 0xFF, 0xFF, 0xFF}));
    const struct {
        std::uint8_t block;
        Bytes value;
        Status expected;
    } counters[] = {
        {5, {0xFF, 0xFF, 0xFF, 0xFF}, Status::AccessDenied},
        {5, {0xFE, 0xFF, 0xFF, 0xFF}, Status::AccessDenied},
        {5, {0x00, 0x00, 0x00, 0x80}, Status::Ok},
        {5, {0x01, 0x00, 0x00, 0x80}, Status::AccessDenied},
        {6, {0xFE, 0xFF, 0xFF, 0xFF}, Status::Ok},
    };
    for (const auto& c : counters)
        EXPECT_EQ(write(c.block, c.value), c.expected)
            << "block " << int(c.block) << " " << sim::toHex(c.value);
    EXPECT_EQ(read(5), (Bytes{0x00, 0x00, 0x00, 0x80}));
    EXPECT_EQ(read(0), (Bytes{0xFF, 0xFF, 0xFF, 0xFF})) << "a block 6 count-down reloads the OTP area";

    // Lock register: 0 = locked; bit 0 covers blocks 7 and 8, bit n block 8 + n.
    tag.writeLockRegister(0xFE);
    tag.writeLockRegister(0xFF); // cannot unlock
    ASSERT_EQ(tag.writeBlock(255, Bytes{0x00, 0x00, 0x00, 0x7F}), Status::Ok);
    EXPECT_EQ(read(255), (Bytes{0xFF, 0xFF, 0xFF, 0x7E}));
    const struct {
        std::uint8_t block;
        Status expected;
    } blocks[] = {{7, Status::AccessDenied}, {8, Status::AccessDenied},        {9, Status::Ok},
                  {14, Status::Ok},          {15, Status::AccessDenied},       {16, Status::Ok},
                  {127, Status::Ok},         {128, Status::CardAddressInvalid}};
    for (const auto& b : blocks) {
        EXPECT_EQ(write(b.block, {1, 2, 3, 4}), b.expected) << "block " << int(b.block);
        if (b.expected == Status::Ok) {
            EXPECT_EQ(read(b.block), (Bytes{1, 2, 3, 4}));
        }
    }
}

TEST(Srix4kTag, AuthenticationAnswerDependsOnChallengeAndTag) {
    const sim::Srix4k a(100), b(101), c(100, 0x12345678);
    const std::array<std::uint8_t, 6> one{1, 2, 3, 4, 5, 6}, two{1, 2, 3, 4, 5, 7};
    EXPECT_EQ(a.authenticate(one), a.authenticate(one));
    EXPECT_NE(a.authenticate(one), a.authenticate(two));
    EXPECT_NE(a.authenticate(one), b.authenticate(one));
    EXPECT_NE(a.authenticate(one), c.authenticate(one)) << "the secret takes part";
}

TEST(StTag, CompletionLastsUntilPowerIsLost) {
    sim::Srix4k tag(9);
    tag.complete();
    EXPECT_TRUE(tag.completed());
    tag.powerCycle();
    EXPECT_FALSE(tag.completed());
}

// ---- AT88RF020 ---------------------------------------------------------------

const sim::At88rf020::Password kPassword{1, 2, 3, 4, 5, 6, 7, 8};

sim::At88rf020 at88() { return sim::At88rf020({0xA1, 0xA2, 0xA3, 0xA4}, kPassword, {0x30, 0, 0, 0}); }

TEST(At88rf020Tag, PagesBeforeAndAfterThePassword) {
    auto tag = at88();
    const Bytes page(8, 0x5A);
    const struct {
        std::uint8_t page;
        Status readClosed, writeClosed, writeOpen;
    } cases[] = {
        {0, Status::Ok, Status::AccessDenied, Status::AccessDenied},
        {1, Status::Ok, Status::NotAuthenticated, Status::Ok},
        {2, Status::Ok, Status::AccessDenied, Status::AccessDenied},
        {3, Status::AccessDenied, Status::NotAuthenticated, Status::Ok},
        {4, Status::NotAuthenticated, Status::NotAuthenticated, Status::Ok},
        {31, Status::NotAuthenticated, Status::NotAuthenticated, Status::Ok},
        {32, Status::CardAddressInvalid, Status::CardAddressInvalid, Status::CardAddressInvalid},
    };
    Bytes out;
    for (const auto& c : cases) {
        EXPECT_EQ(tag.readPage(c.page, out), c.readClosed) << "page " << int(c.page);
        EXPECT_EQ(tag.writePage(c.page, page), c.writeClosed) << "page " << int(c.page);
    }
    ASSERT_EQ(tag.readPage(0, out), Status::Ok);
    EXPECT_EQ(out, (Bytes{0xA1, 0xA2, 0xA3, 0xA4, 0, 0, 0, 0}));

    EXPECT_EQ(tag.check(Bytes{1, 2, 3, 4, 5, 6, 7, 9}), Status::AuthFailed);
    EXPECT_FALSE(tag.passwordPresented());
    ASSERT_EQ(tag.check(kPassword), Status::Ok);
    // Page 3 last: a new password closes the tag for the old one.
    for (const std::uint8_t p : {0, 1, 2, 4, 31, 32, 3})
        EXPECT_EQ(tag.writePage(p, page),
                  std::find_if(std::begin(cases), std::end(cases), [p](const auto& c) { return c.page == p; })
                      ->writeOpen)
            << "page " << int(p);
    ASSERT_EQ(tag.readPage(31, out), Status::Ok);
    EXPECT_EQ(out, page);
    EXPECT_EQ(tag.readPage(3, out), Status::AccessDenied) << "the password never leaves the tag";
    EXPECT_EQ(tag.check(kPassword), Status::AuthFailed);
    EXPECT_EQ(tag.check(page), Status::Ok);

    tag.deselect();
    EXPECT_TRUE(tag.halted());
    EXPECT_FALSE(tag.passwordPresented());
    tag.powerCycle();
    EXPECT_FALSE(tag.halted());
    EXPECT_EQ(tag.readPage(4, out), Status::NotAuthenticated);
}

TEST(At88rf020Tag, LockAndCountUpdatePagesZeroAndTwo) {
    auto tag = at88();
    const Bytes signature{0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6};
    EXPECT_EQ(tag.lock(Bytes{0x20, 0, 0, 0}), Status::NotAuthenticated);
    EXPECT_EQ(tag.count(signature), Status::NotAuthenticated);
    ASSERT_EQ(tag.check(kPassword), Status::Ok);

    ASSERT_EQ(tag.lock(Bytes{0x20, 0x00, 0x00, 0x00}), Status::Ok); // page 5
    ASSERT_EQ(tag.lock(Bytes{0x00, 0x01, 0x00, 0x80}), Status::Ok); // pages 8 and 31
    Bytes out;
    ASSERT_EQ(tag.readPage(0, out), Status::Ok);
    EXPECT_EQ(out, (Bytes{0xA1, 0xA2, 0xA3, 0xA4, 0x20, 0x01, 0x00, 0x80}));
    for (std::uint8_t p = 4; p < 32; ++p) {
        const bool locked = p == 5 || p == 8 || p == 31;
        EXPECT_EQ(tag.isLocked(p), locked) << "page " << int(p);
        EXPECT_EQ(tag.writePage(p, Bytes(8, p)), locked ? Status::AccessDenied : Status::Ok)
            << "page " << int(p);
    }

    ASSERT_EQ(tag.count(signature), Status::Ok);
    ASSERT_EQ(tag.count(signature), Status::Ok);
    ASSERT_EQ(tag.readPage(2, out), Status::Ok);
    EXPECT_EQ(out, (Bytes{0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0x02, 0x00}));

    ASSERT_EQ(tag.lock(Bytes{0x05, 0, 0, 0}), Status::Ok); // pages 0 and 2
    EXPECT_EQ(tag.count(signature), Status::AccessDenied);
    EXPECT_EQ(tag.lock(Bytes{0, 0, 0x01, 0}), Status::AccessDenied) << "page 0 locked freezes the lock bits";
    EXPECT_FALSE(tag.isLocked(16));
}

// ---- USSEN --------------------------------------------------------------------

TEST(UssenCardModel, MemoryRangesAndCardInfo) {
    sim::UssenCard card({0x01, 0x02, 0x03, 0x04}, 0x123456, 64);
    EXPECT_EQ(card.cardInfo(), (Bytes{0x04, 0x00, 0x01, 0x01, 0x02, 0x03, 0x04}));
    EXPECT_EQ(card.applicationId(), 0x123456u);
    const struct {
        std::size_t offset, length;
        Status expected;
    } cases[] = {{0, 64, Status::Ok},
                 {63, 1, Status::Ok},
                 {64, 0, Status::Ok},
                 {0, 65, Status::CardAddressInvalid},
                 {63, 2, Status::CardAddressInvalid},
                 {65, 0, Status::CardAddressInvalid}};
    for (const auto& c : cases) {
        Bytes data(c.length, static_cast<std::uint8_t>(c.offset + 1)), back;
        EXPECT_EQ(card.writeMemory(c.offset, data), c.expected) << c.offset << "+" << c.length;
        EXPECT_EQ(card.readMemory(c.offset, c.length, back), c.expected) << c.offset << "+" << c.length;
        if (c.expected == Status::Ok) {
            EXPECT_EQ(back, data);
        }
    }
    EXPECT_THROW(sim::UssenCard({1, 2, 3}), std::invalid_argument);
}

} // namespace
