// ST SR176 and SRIX4K, AT88RF020 and USSEN cards through the library, on a
// simulated reader served over loopback TCP: the calls the card tool's pages
// make, and what the tags remember between them.

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "simulator/cards/at88rf020.h"
#include "simulator/cards/st_tags.h"
#include "simulator/cards/ussen.h"
#include "simulator/commands/plus_commands.h"
#include "simulator/commands/small_tag_commands.h"
#include "simulator/commands/type_b_commands.h"
#include "simulator/reader/reader.h"
#include "simulator/servers/tcp_server.h"
#include "varrok.h"

namespace {

constexpr unsigned short kDev = 0;
constexpr int kNoCard = static_cast<int>(sim::Status::NoCard);
constexpr int kAuthFailed = static_cast<int>(sim::Status::AuthFailed);
constexpr int kNotAuthenticated = static_cast<int>(sim::Status::NotAuthenticated);
constexpr int kAccessDenied = static_cast<int>(sim::Status::AccessDenied);
constexpr int kCardAddressInvalid = static_cast<int>(sim::Status::CardAddressInvalid);

class SmallTagsEndToEnd : public testing::Test {
  protected:
    void SetUp() override {
        reader.install(sim::installMifarePlus); // shares 0x70 with the AT88RF080 request
        reader.install(sim::installSmallTags);
        reader.install([](sim::Dispatcher& d) { sim::installTypeB(d); });
        server.start(0);
        ASSERT_GT(ReaderOpen(("TCP://127.0.0.1:" + std::to_string(server.port())).c_str()), 0);
    }
    void TearDown() override {
        ReaderClose(0);
        server.stop();
    }
    template <class C, class... Args> C& put(Args&&... args) {
        return reader.access([&](sim::ReaderState&, sim::Field& f) -> C& { return f.emplace<C>(args...); });
    }
    // The SR176/SRIX4K pages' search: antenna off, protocol 's', antenna on, select.
    int stSearch(unsigned char& chipId) {
        EXPECT_EQ(rf_antenna_sta(kDev, 0), 0);
        EXPECT_EQ(rf_init_type(kDev, 's'), 0);
        EXPECT_EQ(rf_antenna_sta(kDev, 1), 0);
        return rf_st_select(kDev, &chipId);
    }

    sim::Reader reader;
    sim::TcpServer server{reader};
};

TEST_F(SmallTagsEndToEnd, Sr176ReadAllWriteProtectAndComplete) {
    const sim::StUid uid{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0x02, 0xD0};
    put<sim::Sr176>(uid, std::uint8_t{0x07});
    unsigned char chipId = 0;
    ASSERT_EQ(stSearch(chipId), 0);
    EXPECT_EQ(chipId, 0x07);

    unsigned char block[2] = {0x34, 0x12}, len = 0;
    ASSERT_EQ(rf_sr176_writeblock(kDev, 9, block), 0);
    EXPECT_EQ(rf_sr176_writeblock(kDev, 2, block), kAccessDenied) << "UID blocks are read-only";
    std::array<unsigned char, 32> all{};
    for (unsigned char b = 0; b < 16; ++b) {
        ASSERT_EQ(rf_sr176_readblock(kDev, b, all.data() + 2 * b, &len), 0) << int(b);
        EXPECT_EQ(len, 2);
    }
    EXPECT_TRUE(std::equal(uid.begin(), uid.end(), all.begin()));
    EXPECT_EQ(all[18], 0x34);
    EXPECT_EQ(all[19], 0x12);
    EXPECT_EQ(all[30], 0x07) << "block 15: chip ID, then the lock register";

    unsigned char pairs[6] = {1, 2, 3, 4, 5, 6}, multi[6] = {};
    ASSERT_EQ(rf_ST_SR176_MultiWrite(kDev, 10, 3, pairs), 0);
    ASSERT_EQ(rf_sr176_multi_read(kDev, 10, 3, multi, &len), 0);
    EXPECT_EQ(len, 6);
    EXPECT_TRUE(std::equal(pairs, pairs + 6, multi));

    ASSERT_EQ(rf_sr176_protectblock(kDev, 0x10), 0); // blocks 8 and 9
    unsigned char reg = 0;
    ASSERT_EQ(rf_sr176_getprotectreg(kDev, &reg), 0);
    EXPECT_EQ(reg, 0x10);
    ASSERT_EQ(stSearch(chipId), 0);
    EXPECT_EQ(rf_sr176_writeblock(kDev, 9, block), kAccessDenied);
    EXPECT_EQ(rf_sr176_writeblock(kDev, 10, block), 0);

    ASSERT_EQ(rf_st_completion(kDev), 0);
    EXPECT_EQ(rf_st_select(kDev, &chipId), kNoCard) << "silent after completion";
    ASSERT_EQ(stSearch(chipId), 0) << "until the field is switched off and on";
}

TEST_F(SmallTagsEndToEnd, Srix4kUidBlocksLockRegisterAndAuthentication) {
    const auto& tag = put<sim::Srix4k>(std::uint64_t{0x0123456789});
    unsigned char chipId = 0;
    ASSERT_EQ(stSearch(chipId), 0);
    unsigned char uid[8] = {}, len = 0;
    ASSERT_EQ(rf_srix4k_getuid(kDev, uid, &len), 0);
    EXPECT_EQ(len, 8);
    EXPECT_TRUE(std::equal(uid, uid + 8, tag.uid().begin()));

    unsigned char data[4] = {0xDE, 0xAD, 0xBE, 0xEF};
    ASSERT_EQ(rf_srix4k_writeblock(kDev, 100, data), 0);
    std::array<unsigned char, 512> all{};
    for (unsigned char b = 0; b < 128; ++b)
        ASSERT_EQ(rf_srix4k_readblock(kDev, b, all.data() + 4 * b, &len), 0) << int(b);
    EXPECT_TRUE(std::equal(data, data + 4, all.begin() + 400));
    EXPECT_EQ(all[20], 0xFE) << "counter block 5 starts at FFFFFFFE";
    EXPECT_EQ(rf_srix4k_readblock(kDev, 128, data, &len), kCardAddressInvalid);

    unsigned char eight[8] = {1, 2, 3, 4, 5, 6, 7, 8}, back[8] = {};
    ASSERT_EQ(rf_ST_SRI_MultiWrite(kDev, 7, 2, eight), 0);
    ASSERT_EQ(rf_srix4k_multi_read(kDev, 7, 2, back, &len), 0);
    EXPECT_TRUE(std::equal(eight, eight + 8, back));

    ASSERT_EQ(rf_srix4k_writelockreg(kDev, 0xFE), 0); // blocks 7 and 8
    EXPECT_EQ(rf_srix4k_writeblock(kDev, 8, data), kAccessDenied);
    EXPECT_EQ(rf_srix4k_writeblock(kDev, 9, data), 0);
    unsigned char counter[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(rf_srix4k_writeblock(kDev, 5, counter), kAccessDenied) << "counters only count down";

    unsigned char challenge[6] = {0x10, 0x20, 0x30, 0x40, 0x50, 0x60}, first[3] = {}, second[3] = {};
    ASSERT_EQ(rf_srix4k_authenticate(kDev, challenge, first, &len), 0);
    EXPECT_EQ(len, 3);
    ASSERT_EQ(rf_ST_SRIX_Authenticate(kDev, challenge, second), 0);
    EXPECT_TRUE(std::equal(first, first + 3, second));
    EXPECT_EQ(rf_sr176_readblock(kDev, 4, data, &len), static_cast<int>(sim::Status::WrongCardState))
        << "an SR176 command to an SRIX";
}

TEST_F(SmallTagsEndToEnd, At88rf020CheckReadWriteLockAndCount) {
    const sim::At88rf020::Password password{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    put<sim::At88rf020>(sim::At88rf020::Pupi{0xCA, 0xFE, 0xBA, 0xBE}, password,
                        sim::At88rf020::ApplicationData{0x01, 0x02, 0x03, 0x04});
    // The AT88RF020 page's search: protocol 'B', then the Type B request.
    ASSERT_EQ(rf_init_type(kDev, 'B'), 0);
    unsigned char atqb[16] = {}, len = 0;
    ASSERT_EQ(rf_atqb(kDev, 1, atqb, &len), 0);
    ASSERT_EQ(len, 12);
    EXPECT_EQ(atqb[1], 0xCA);
    EXPECT_EQ(atqb[4], 0xBE);

    unsigned char page[8] = {};
    EXPECT_EQ(rf_at020_read(kDev, 4, page, &len), kNotAuthenticated);
    unsigned char wrong[8] = {};
    EXPECT_EQ(rf_at020_check(kDev, wrong), kAuthFailed);
    std::array<unsigned char, 8> right{};
    std::copy(password.begin(), password.end(), right.begin());
    ASSERT_EQ(rf_at020_check(kDev, right.data()), 0);

    // Read Card: every page but the password.
    for (unsigned char p = 0; p < 32; ++p) {
        if (p == 3) continue;
        ASSERT_EQ(rf_at020_read(kDev, p, page, &len), 0) << int(p);
        EXPECT_EQ(len, 8);
    }
    EXPECT_EQ(rf_at020_read(kDev, 3, page, &len), kAccessDenied);

    unsigned char content[8] = {9, 8, 7, 6, 5, 4, 3, 2};
    ASSERT_EQ(rf_at020_write(kDev, 12, content), 0);
    ASSERT_EQ(rf_at020_read(kDev, 12, page, &len), 0);
    EXPECT_TRUE(std::equal(content, content + 8, page));
    unsigned char pages[16] = {}, two[16] = {};
    std::copy(content, content + 8, pages + 8);
    ASSERT_EQ(rf_at020_multi_write(kDev, 13, 2, pages), 0);
    ASSERT_EQ(rf_at020_multi_read(kDev, 13, 2, two, &len), 0);
    EXPECT_EQ(len, 16);
    EXPECT_TRUE(std::equal(pages, pages + 16, two));

    unsigned char lock[4] = {0x00, 0x10, 0x00, 0x00}; // page 12
    ASSERT_EQ(rf_at020_lock(kDev, lock), 0);
    ASSERT_EQ(rf_at020_read(kDev, 0, page, &len), 0);
    EXPECT_EQ(page[5], 0x10);
    EXPECT_EQ(rf_at020_write(kDev, 12, content), kAccessDenied);

    unsigned char signature[6] = {0x51, 0x52, 0x53, 0x54, 0x55, 0x56};
    ASSERT_EQ(rf_at020_count(kDev, signature), 0);
    ASSERT_EQ(rf_at020_read(kDev, 2, page, &len), 0);
    EXPECT_TRUE(std::equal(signature, signature + 6, page));
    EXPECT_EQ(page[6], 1);

    ASSERT_EQ(rf_at020_deselect(kDev), 0);
    EXPECT_EQ(rf_at020_read(kDev, 1, page, &len), kNoCard);
    unsigned char answer[8] = {}, answerLen = 0;
    EXPECT_EQ(rf_AT88RF080_Request(kDev, 0, 0, answer, &answerLen), kNoCard) << "a request does not wake it";
    ASSERT_EQ(rf_request_080(kDev, 1, 0, answer, &answerLen), 0);
    EXPECT_EQ(answerLen, 8);
    const unsigned char expected[8] = {0xCA, 0xFE, 0xBA, 0xBE, 0x01, 0x02, 0x03, 0x04};
    EXPECT_TRUE(std::equal(expected, expected + 8, answer));
    EXPECT_EQ(rf_at020_read(kDev, 4, page, &len), kNotAuthenticated) << "waking does not reopen it";
}

TEST_F(SmallTagsEndToEnd, UssenGetCardAndMemoryRoundTrip) {
    const sim::Bytes uid{0x71, 0x72, 0x73, 0x74};
    put<sim::UssenCard>(uid, std::uint32_t{0x0A0B0C});
    unsigned char data[64] = {}, len = 0;
    ASSERT_EQ(rf_USSEN_GetCard(kDev, 0x00, data, &len), 0) << "mode 0 goes out as 0x52";
    ASSERT_EQ(len, 7);
    EXPECT_TRUE(std::equal(uid.begin(), uid.end(), data + 3));

    unsigned char memory[100];
    for (int i = 0; i < 100; ++i)
        memory[i] = static_cast<unsigned char>(i * 3);
    ASSERT_EQ(rf_USSEN_SetMem(kDev, memory, 100), 0);
    unsigned char back[128] = {}, want = 100;
    ASSERT_EQ(rf_USSEN_GetMem(kDev, back, &want), 0);
    EXPECT_EQ(want, 100);
    EXPECT_TRUE(std::equal(memory, memory + 100, back));
    want = 129;
    EXPECT_EQ(rf_USSEN_GetMem(kDev, back, &want), kCardAddressInvalid) << "the card holds 128 bytes";

    ASSERT_EQ(rf_USSEN_GetCard_D(kDev, 0x26, data, &len, 0x0A0B0C, 2, 4, 0, 0), 0);
    ASSERT_EQ(len, 7 + 4);
    EXPECT_TRUE(std::equal(memory + 2, memory + 6, data + 7));
    EXPECT_EQ(rf_USSEN_GetCard_D(kDev, 0x26, data, &len, 0x0A0B0D, 0, 0, 0, 0), kNoCard);
}

} // namespace
