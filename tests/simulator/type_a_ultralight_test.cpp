// The Ultralight and Ultralight C models on their own: layout, read roll-over,
// write rules, lock and OTP bits, and the C's key and protection.

#include <gtest/gtest.h>

#include "simulator/cards/ultralight.h"

namespace {

using sim::Bytes;
using sim::Status;
using sim::UltralightCard;
namespace ultralight = sim::ultralight;
using Page = ultralight::Page;

const Bytes kUid{0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};

Status write(UltralightCard& card, std::uint8_t page, Page data) {
    return card.write(page, std::span<const std::uint8_t, 4>(data));
}

TEST(UltralightLayout, SerialNumberPagesCarryTheUidAndCheckBytes) {
    UltralightCard card(UltralightCard::Model::Ultralight, kUid);
    EXPECT_EQ(card.pageCount(), 16u);
    EXPECT_EQ(card.page(0), (Page{0x04, 0x11, 0x22, 0x88 ^ 0x04 ^ 0x11 ^ 0x22}));
    EXPECT_EQ(card.page(1), (Page{0x33, 0x44, 0x55, 0x66}));
    EXPECT_EQ(card.page(2)[0], 0x33 ^ 0x44 ^ 0x55 ^ 0x66);
    EXPECT_EQ(card.page(2)[2], 0x00);
    EXPECT_EQ(card.page(3), (Page{}));
    EXPECT_EQ(card.atqa(), (std::array<std::uint8_t, 2>{0x44, 0x00}));
    EXPECT_EQ(card.sak(), 0x00);
    EXPECT_EQ(UltralightCard(UltralightCard::Model::UltralightC, kUid).pageCount(), 48u);
    EXPECT_THROW(UltralightCard(UltralightCard::Model::Ultralight, {1, 2, 3, 4}), std::invalid_argument);
}

TEST(UltralightRead, ReturnsFourPagesAndRollsOverToPageZero) {
    UltralightCard card(UltralightCard::Model::Ultralight, kUid);
    for (std::uint8_t p = 4; p < 16; ++p)
        card.setPage(p, {p, static_cast<std::uint8_t>(p + 0x10), 0xA0, 0x0B});
    struct Case {
        std::uint8_t first;
        std::array<std::size_t, 4> pages;
    } const cases[] = {{0, {0, 1, 2, 3}},     {4, {4, 5, 6, 7}},    {12, {12, 13, 14, 15}},
                       {13, {13, 14, 15, 0}}, {14, {14, 15, 0, 1}}, {15, {15, 0, 1, 2}}};
    for (const auto& c : cases) {
        std::array<std::uint8_t, 16> out{};
        ASSERT_EQ(card.read(c.first, out), Status::Ok);
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_EQ((Page{out[4 * i], out[4 * i + 1], out[4 * i + 2], out[4 * i + 3]}),
                      card.page(c.pages[i]))
                << "read from " << int(c.first) << ", page " << i;
    }
    std::array<std::uint8_t, 16> out{};
    EXPECT_EQ(card.read(16, out), Status::CardAddressInvalid);
}

TEST(UltralightWrite, SerialPagesAreRefusedAndUserPagesStored) {
    UltralightCard card(UltralightCard::Model::Ultralight, kUid);
    EXPECT_EQ(write(card, 0, {1, 2, 3, 4}), Status::AccessDenied);
    EXPECT_EQ(write(card, 1, {1, 2, 3, 4}), Status::AccessDenied);
    EXPECT_EQ(card.page(1), (Page{0x33, 0x44, 0x55, 0x66}));
    EXPECT_EQ(write(card, 16, {1, 2, 3, 4}), Status::CardAddressInvalid);
    ASSERT_EQ(write(card, 9, {1, 2, 3, 4}), Status::Ok);
    EXPECT_EQ(card.page(9), (Page{1, 2, 3, 4}));
    ASSERT_EQ(write(card, 9, {0, 0, 0, 5}), Status::Ok);
    EXPECT_EQ(card.page(9), (Page{0, 0, 0, 5})) << "user pages are rewritable";
}

TEST(UltralightWrite, OtpAndLockBitsOnlyEverGetSet) {
    UltralightCard card(UltralightCard::Model::Ultralight, kUid);
    const Page before2 = card.page(2);
    ASSERT_EQ(write(card, 3, {0x01, 0x00, 0x80, 0x00}), Status::Ok);
    ASSERT_EQ(write(card, 3, {0x02, 0x00, 0x00, 0x10}), Status::Ok);
    EXPECT_EQ(card.page(3), (Page{0x03, 0x00, 0x80, 0x10}));

    ASSERT_EQ(write(card, 2, {0xEE, 0xEE, 0x10, 0x01}), Status::Ok);
    ASSERT_EQ(write(card, 2, {0x00, 0x00, 0x20, 0x00}), Status::Ok);
    EXPECT_EQ(card.page(2), (Page{before2[0], before2[1], 0x30, 0x01})) << "bytes 0-1 never change";
}

TEST(UltralightLocks, LockBitsTakeEffectAtTheNextWakeUp) {
    struct Case {
        const char* what;
        std::uint8_t lock0, lock1;
        std::uint8_t page;
    } const cases[] = {
        {"L4", 0x10, 0x00, 4},   {"L7", 0x80, 0x00, 7},    {"L8", 0x00, 0x01, 8},
        {"L15", 0x00, 0x80, 15}, {"L-OTP", 0x08, 0x00, 3},
    };
    for (const auto& c : cases) {
        UltralightCard card(UltralightCard::Model::Ultralight, kUid);
        ASSERT_EQ(write(card, 2, {0, 0, c.lock0, c.lock1}), Status::Ok);
        EXPECT_EQ(write(card, c.page, {0x01, 0, 0, 0}), Status::Ok) << c.what << ": not yet in force";
        card.wake();
        EXPECT_EQ(write(card, c.page, {0x02, 0, 0, 0}), Status::AccessDenied) << c.what;
        EXPECT_EQ(card.page(c.page)[0], 0x01) << c.what;
        // Neighbouring pages stay writable.
        const std::uint8_t other = c.page == 15 ? 14 : static_cast<std::uint8_t>(c.page + 1);
        EXPECT_EQ(write(card, other, {0x03, 0, 0, 0}), Status::Ok) << c.what;
    }
}

TEST(UltralightLocks, BlockLockingBitsFreezeTheLockBitsTheyCover) {
    struct Case {
        std::uint8_t blockLock;              // lock byte 0 bits 0-2
        std::array<std::uint8_t, 2> attempt; // lock bits written afterwards
        std::array<std::uint8_t, 2> result;  // lock bytes after it (block-lock bit included)
    } const cases[] = {
        {0x01, {0x08, 0x00}, {0x01, 0x00}},                                     // BL-OTP freezes L-OTP
        {0x01, {0x10, 0x01}, {0x11, 0x01}},                                     // ... but nothing else
        {0x02, {0xF0, 0x03}, {0x02, 0x00}},                                     // BL9-4 freezes L4-L9
        {0x02, {0x08, 0xFC}, {0x0A, 0xFC}}, {0x04, {0x00, 0xFC}, {0x04, 0x00}}, // BL15-10 freezes L10-L15
        {0x04, {0xF0, 0x03}, {0xF4, 0x03}},
    };
    for (const auto& c : cases) {
        const auto merged = ultralight::mergeLockBytes({c.blockLock, 0x00}, c.attempt);
        EXPECT_EQ(merged, c.result) << "block lock " << int(c.blockLock);
    }
    EXPECT_TRUE(ultralight::pageLocked(0x10, 0x00, 4));
    EXPECT_FALSE(ultralight::pageLocked(0x10, 0x00, 5));
    EXPECT_FALSE(ultralight::pageLocked(0xFF, 0xFF, 2)) << "the lock page itself is never locked";
}

TEST(UltralightC, KeyPagesHoldEachHalfReversedAndAreNeverRead) {
    UltralightCard card(UltralightCard::Model::UltralightC, kUid);
    EXPECT_EQ(card.key(), ultralight::kDefaultKey);
    // The factory key reads "BREAKMEIFYOUCAN!" in the key pages.
    EXPECT_EQ(card.page(0x2C), (Page{'B', 'R', 'E', 'A'}));
    EXPECT_EQ(card.page(0x2F), (Page{'C', 'A', 'N', '!'}));

    ultralight::Key key{};
    for (std::size_t i = 0; i < 16; ++i)
        key[i] = static_cast<std::uint8_t>(i);
    card.setKey(key);
    EXPECT_EQ(card.page(0x2C), (Page{7, 6, 5, 4}));
    EXPECT_EQ(card.page(0x2D), (Page{3, 2, 1, 0}));
    EXPECT_EQ(card.page(0x2E), (Page{15, 14, 13, 12}));
    EXPECT_EQ(card.key(), key);

    std::array<std::uint8_t, 16> out{};
    EXPECT_EQ(card.read(0x2C, out), Status::CardAddressInvalid);
    ASSERT_EQ(card.read(0x2A, out), Status::Ok);
    EXPECT_EQ(Bytes(out.begin() + 8, out.begin() + 12), Bytes(card.page(0).begin(), card.page(0).end()))
        << "reads roll over before the key pages";
}

TEST(UltralightC, AuthenticationOpensProtectedPages) {
    UltralightCard card(UltralightCard::Model::UltralightC, kUid);
    ASSERT_EQ(write(card, 0x2A, {0x10, 0, 0, 0}), Status::Ok); // pages from 0x10 need authentication
    std::array<std::uint8_t, 16> out{};
    struct Case {
        std::uint8_t auth1;
        Status read, write;
    } const cases[] = {{0x00, Status::AccessDenied, Status::AccessDenied},
                       {0x01, Status::Ok, Status::AccessDenied}};
    for (const auto& c : cases) {
        card.setPage(0x2B, {c.auth1, 0, 0, 0});
        card.wake();
        EXPECT_EQ(card.read(0x10, out), c.read) << "AUTH1 " << int(c.auth1);
        EXPECT_EQ(card.read(0x0D, out), c.read) << "a read reaching into page 0x10";
        EXPECT_EQ(card.read(0x0C, out), Status::Ok);
        EXPECT_EQ(write(card, 0x10, {1, 2, 3, 4}), c.write);
        EXPECT_EQ(write(card, 0x0F, {1, 2, 3, 4}), Status::Ok);

        ultralight::Key wrong = ultralight::kDefaultKey;
        wrong[15] ^= 1;
        EXPECT_EQ(card.authenticate(wrong), Status::AuthFailed);
        EXPECT_FALSE(card.authenticated());
        ASSERT_EQ(card.authenticate(ultralight::kDefaultKey), Status::Ok);
        EXPECT_EQ(card.read(0x10, out), Status::Ok);
        EXPECT_EQ(write(card, 0x10, {1, 2, 3, 4}), Status::Ok);
        card.halt();
        EXPECT_EQ(write(card, 0x10, {5, 6, 7, 8}), Status::AccessDenied)
            << "a halt forgets the authentication";
    }
    UltralightCard plain(UltralightCard::Model::Ultralight, kUid);
    EXPECT_EQ(plain.authenticate(ultralight::kDefaultKey), Status::CardRefused);
}

TEST(UltralightC, CounterOnlyCountsUp) {
    UltralightCard card(UltralightCard::Model::UltralightC, kUid);
    struct Step {
        std::uint16_t written;
        Status status;
        std::uint16_t counter;
    } const steps[] = {{0, Status::CardRefused, 0},
                       {0x1000, Status::Ok, 0x1000},
                       {5, Status::Ok, 0x1005},
                       {16, Status::CardRefused, 0x1005},
                       {15, Status::Ok, 0x1014}};
    for (const auto& s : steps) {
        EXPECT_EQ(
            write(card, 0x29,
                  {static_cast<std::uint8_t>(s.written), static_cast<std::uint8_t>(s.written >> 8), 0, 0}),
            s.status)
            << s.written;
        EXPECT_EQ(card.page(0x29)[0] | card.page(0x29)[1] << 8, s.counter);
    }
    card.setPage(0x29, {0xFE, 0xFF, 0, 0});
    EXPECT_EQ(write(card, 0x29, {2, 0, 0, 0}), Status::CardRefused) << "no wrap past FFFF";
}

} // namespace
