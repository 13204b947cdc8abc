// The shared command road: answer kinds, what reaches the caller on each failure.
#include "commands/command.h"
#include "support/reader_fixture.h"

#include <array>
#include <sys/mman.h>
#include <unistd.h>

using namespace testing_support;
using varrok::Command;

namespace {

class CommandRoad : public ReaderOnPeer {};

TEST_F(CommandRoad, ExactAnswers) {
    std::array<unsigned char, 4> out{9, 9, 9, 9};
    peer.script(answer(0, {1, 2, 3, 4}));
    EXPECT_EQ(Command(7, 0x55, 50).u8(1).exact(4, out.data()), 0);
    EXPECT_EQ(lastRequest(), "00 07 55 01");
    EXPECT_EQ(out, (std::array<unsigned char, 4>{1, 2, 3, 4}));

    const struct {
        const char* what;
        Bytes reply;
        int rc;
    } failures[] = {
        {"one byte short", answer(0, {5, 6, 7}), -5},
        {"one byte long", answer(0, {5, 6, 7, 8, 9}), -5},
        {"no data", answer(0), -5},
        {"reader status", answer(0x0A, {5, 6, 7, 8}), 10},
        {"broken checksum", [] { Bytes b = answer(0, {5, 6, 7, 8}); b.back() ^= 0xFF; return b; }(), 252},
        {"silent reader", {}, 9},
    };
    for (const auto& f : failures) {
        out = {9, 9, 9, 9};
        peer.script(f.reply);
        EXPECT_EQ(Command(0, 0x55, 30).exact(4, out.data()), f.rc) << f.what;
        EXPECT_EQ(out, (std::array<unsigned char, 4>{9, 9, 9, 9})) << f.what;
        lastRequest();
    }
}

TEST_F(CommandRoad, NoneEmptyVariableCounted) {
    peer.script(answer(0, {1, 2}));
    EXPECT_EQ(Command(0, 0x01, 50).none(), 0) << "data is ignored";
    peer.script(answer(0, {1}));
    EXPECT_EQ(Command(0, 0x01, 50).empty(), -5);
    peer.script(answer(0));
    EXPECT_EQ(Command(0, 0x01, 50).empty(), 0);

    unsigned char data[250], len = 0xEE;
    peer.script(answer(0, {7, 8, 9}));
    EXPECT_EQ(Command(0, 0x01, 50).variable(data, &len), 0);
    EXPECT_EQ(len, 3);
    EXPECT_EQ(data[2], 9);
    len = 0xEE;
    peer.script(answer(0));
    EXPECT_EQ(Command(0, 0x01, 50).variable(data, &len), 0);
    EXPECT_EQ(len, 0);
    len = 0xEE;
    peer.script(answer(3, {1}));
    EXPECT_EQ(Command(0, 0x01, 50).variable(data, &len), 3);
    EXPECT_EQ(len, 0xEE) << "a failed command leaves the length alone";

    // Counted: the length is written first, even when it is wrong.
    data[0] = 0x77;
    peer.script(answer(0, Bytes(47, 0x11)));
    EXPECT_EQ(Command(0, 0x88, 50).counted(3, 16, data, &len), -5);
    EXPECT_EQ(len, 47);
    EXPECT_EQ(data[0], 0x77);
    peer.script(answer(0, Bytes(48, 0x11)));
    EXPECT_EQ(Command(0, 0x88, 50).counted(3, 16, data, &len), 0);
    EXPECT_EQ(len, 48);
    EXPECT_EQ(data[47], 0x11);
    // 16 blocks of 16 can never fit an answer.
    peer.script(answer(0, Bytes(250, 0x11)));
    EXPECT_EQ(Command(0, 0x88, 50).counted(16, 16, data, &len), -5);
}

TEST_F(CommandRoad, RefusedCallsSendNothing) {
    unsigned char data[16];
    const struct {
        const char* what;
        int rc;
        int expected;
    } refused[] = {
        {"argument check", Command(0, 0x01, 50).check(false).none(), -5},
        {"argument check with its own code", Command(0, 0x01, 50).check(false, -1).none(), -1},
        {"first failing check wins", Command(0, 0x01, 50).check(false, -1).check(false, -5).none(), -1},
        {"null request data", Command(0, 0x01, 50).bytes(nullptr, 4).none(), -5},
        {"null answer buffer", Command(0, 0x01, 50).exact(16, nullptr), -5},
        {"null length byte", Command(0, 0x01, 50).variable(data, nullptr), -5},
        {"request longer than a frame", Command(0, 0x01, 50).u8(1).bytes(data, 16).bytes(Bytes(235, 0).data(), 235).none(), -5},
    };
    for (const auto& r : refused) EXPECT_EQ(r.rc, r.expected) << r.what;
    EXPECT_TRUE(nothingSent());

    // 251 bytes is the most one frame carries, and it is sent.
    peer.script(answer(0));
    EXPECT_EQ(Command(0, 0x01, 50).bytes(Bytes(251, 0x5A).data(), 251).none(), 0);
    EXPECT_EQ(lastRequest().size(), std::string("00 00 01").size() + 251 * 3);
}

TEST_F(CommandRoad, RefusedCallReadsNoMoreOfTheCallersData) {
    // 48 bytes at the very end of a page whose neighbour may not be touched:
    // enough for three blocks, and a count of four must be refused, not read.
    const long page = ::sysconf(_SC_PAGESIZE);
    auto* area = static_cast<unsigned char*>(
        ::mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(area, MAP_FAILED);
    ASSERT_EQ(::mprotect(area + page, page, PROT_NONE), 0);
    unsigned char* blocks = area + page - 48;
    EXPECT_EQ(rf_MFP_L3Write(0, 8, 4, blocks), -1);
    EXPECT_EQ(rf_M1_MultiWrite(0, 4, 16, blocks), -5);
    EXPECT_TRUE(nothingSent());
    ::munmap(area, 2 * page);
}

TEST(CommandWithoutReader, NoReaderIsMinusOneAndBeforeLookupChecksComeFirst) {
    ReaderClose(0);
    unsigned char data[16];
    EXPECT_EQ(Command(0, 0x13, 50).u8(4).exact(16, data), -1);
    EXPECT_EQ(Command(0, 0x13, 50).check(false).none(), -1) << "the lookup comes before ordinary checks";
    EXPECT_EQ(Command(0, 0x13, 50).checkBeforeLookup(false, -5).none(), -5);
}

} // namespace
