// The exchange against a stand-in reader on a real loopback socket, and
// against an in-process transport for the failures a socket cannot stage.
#include "link/bus_tcp.h"
#include "link/exchange.h"
#include "support/scripted_peer.h"

#include <chrono>
#include <deque>
#include <gtest/gtest.h>

using namespace testing_support;
using namespace std::chrono;
using varrok::CCommBus;
using varrok::CCommBusTcp;
using varrok::CCommPacket;
using varrok::exchange;

namespace {

constexpr unsigned kWait = 20;

struct Link {
    ScriptedPeer peer;
    CCommBusTcp bus;
    Link() { EXPECT_EQ(bus.open(peer.openText().c_str()), 0); }
};

CCommPacket readBlock4() {
    const std::uint8_t block = 4;
    return CCommPacket(0, 0x13, &block, 1);
}

TEST(Exchange, SendsTheRequestAndCollectsTheAnswer) {
    Link link;
    link.peer.script(hex("AA BB 07 F8 01 00 13 00 12 34 CC"));
    CCommPacket f = readBlock4();
    ASSERT_EQ(exchange(link.bus, f, kWait), 0);
    ASSERT_TRUE(link.peer.waitForRequests(1));
    EXPECT_EQ(toHex(link.peer.requests()[0]), "AA BB 05 FA 00 00 13 04 ED");
    EXPECT_EQ(toHex(Bytes(f.buffer(), f.buffer() + f.length())), "AA BB 07 F8 01 00 13 00 12 34 CC");
}

struct HeaderCase {
    const char* what;
    Bytes reply;
    int expected;
};

TEST(Exchange, HeaderFaults) {
    const HeaderCase cases[] = {
        {"silent reader", {}, 9},
        {"wrong first start byte", hex("AB BB 05 FA 00 00 13 00 EE"), 9},
        {"wrong second start byte", hex("AA BC 05 FA 00 00 13 00 EE"), 9},
        {"length without its complement", hex("AA BB 05 FB 00 00 13 00 EE"), 9},
        {"header cut after three bytes", hex("AA BB 05"), 9},
        {"flood of AA", Bytes(3000, 0xAA), 9},
        {"length 0 answers at once", hex("AA BB 00 FF"), 0},
    };
    for (const auto& c : cases) {
        Link link;
        link.peer.script(c.reply);
        CCommPacket f = readBlock4();
        EXPECT_EQ(exchange(link.bus, f, kWait), c.expected) << c.what;
    }
}

TEST(Exchange, StuffedBodyIsReadToTheEnd) {
    Link link;
    link.peer.script(answer(0x00, Bytes(16, 0xAA)));
    CCommPacket f = readBlock4();
    ASSERT_EQ(exchange(link.bus, f, kWait), 0);
    f.decode();
    EXPECT_EQ(f.status(), 0);
    EXPECT_EQ(f.dataLength(), 16);
    EXPECT_EQ(f.data()[15], 0xAA);
}

TEST(Exchange, EndlessAaNeverOverrunsTheFrame) {
    Link link;
    Bytes flood = hex("AA BB FF 00");      // a header with L = FF ...
    flood.insert(flood.end(), 4000, 0xAA); // ... then nothing but AA
    link.peer.script(flood);
    CCommPacket f = readBlock4();
    EXPECT_EQ(exchange(link.bus, f, kWait), -5);
    EXPECT_LE(f.length(), CCommPacket::kCapacity);
}

TEST(Exchange, LateAnswerIsNeverTakenForTheNextOne) {
    Link link;
    CCommPacket first = readBlock4();
    EXPECT_EQ(exchange(link.bus, first, kWait), 9); // nothing scripted: the reader is silent
    link.peer.push(answer(0x00, {0x11, 0x11}));     // ... and then answers after all
    link.peer.script(answer(0x00, {0x22, 0x22}));
    CCommPacket second = readBlock4();
    ASSERT_EQ(exchange(link.bus, second, 200), 0);
    second.decode();
    EXPECT_EQ(second.data()[0], 0x22);
}

TEST(Exchange, PeerThatHangsUpGivesAnErrorNotAHang) {
    Link link;
    Bytes half = answer(0x00, Bytes(16, 0x01));
    half.resize(10);
    link.peer.script(Reply{half, 0, true});
    CCommPacket f = readBlock4();
    const auto start = steady_clock::now();
    EXPECT_EQ(exchange(link.bus, f, kWait), -5);
    EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - start).count(), 3 * 25 * kWait);
    CCommPacket again = readBlock4();
    EXPECT_NE(exchange(link.bus, again, kWait), 0);
}

// An in-process transport for results a socket does not produce on demand.
// Its bytes are "in flight": the purge does not reach them.
class FakeBus : public CCommBus {
  public:
    FakeBus() : CCommBus(kTcp) {}
    int open(const char*) override { return 0; }
    bool close() override { return true; }
    int read(std::uint8_t* dst, int) override {
        ++reads;
        if (incoming.empty()) return readResult;
        *dst = incoming.front();
        incoming.pop_front();
        return 1;
    }
    int write(const std::uint8_t*, int n) override {
        incoming.insert(incoming.end(), answerOnWrite.begin(), answerOnWrite.end());
        return writeResult == 1 ? n : writeResult;
    }
    bool isOpen() const override { return open_; }
    bool purge() override { return true; }
    bool setTimeouts(int, int) override { return true; }

    std::deque<std::uint8_t> incoming;
    Bytes answerOnWrite;
    int readResult = 0;
    int writeResult = 1;
    bool open_ = true;
    int reads = 0;
};

TEST(Exchange, TransportResultsAreNeverTakenForBytes) {
    for (int readResult : {0, -1}) {
        FakeBus bus; // a body that stops, or receive errors during it: 3 x (L + 4) empty reads
        const Bytes head = hex("AA BB 06 F9 00 00");
        bus.incoming.assign(head.begin(), head.end());
        bus.readResult = readResult;
        CCommPacket f = readBlock4();
        EXPECT_EQ(exchange(bus, f, 1), -5);
        EXPECT_EQ(f.length(), 6u);
        EXPECT_EQ(bus.reads, 6 + 3 * 10) << "read returned " << readResult;
    }
    {
        FakeBus bus; // receive error in the header
        bus.readResult = -1;
        CCommPacket f = readBlock4();
        EXPECT_EQ(exchange(bus, f, 1), 9);
    }
    for (int writeResult : {0, -1}) {
        FakeBus bus;
        bus.writeResult = writeResult;
        CCommPacket f = readBlock4();
        EXPECT_EQ(exchange(bus, f, 1), -5) << "write returned " << writeResult;
        EXPECT_EQ(bus.reads, 0);
    }
    {
        FakeBus bus;
        bus.open_ = false;
        CCommPacket f = readBlock4();
        EXPECT_EQ(exchange(bus, f, 1), -5);
    }
}

// What a failed exchange leaves on the line, still arriving when the next
// command goes out, is read away first: the next command gets its own answer.
TEST(Exchange, TheCommandAfterAFailureGetsItsOwnAnswer) {
    const Bytes cut = answer(0x00, {0x44, 0x44});
    Bytes flood = hex("AA BB FF 00");
    flood.resize(304, 0xAA);
    const struct {
        const char* what;
        Bytes reply;    // to the first request
        Bytes trailing; // arriving after the first exchange gave up
        int first;
    } cases[] = {
        {"silent, then a late answer", {}, answer(0x00, {0x11, 0x11}), 9},
        {"flood of AA", flood, Bytes(700, 0xAA), -5},
        {"body cut, the rest late", Bytes(cut.begin(), cut.begin() + 7), Bytes(cut.begin() + 7, cut.end()), -5},
        {"success leaves nothing to settle", answer(0x00, {0x33, 0x33}), {}, 0},
    };
    for (const auto& c : cases) {
        FakeBus bus;
        bus.answerOnWrite = c.reply;
        CCommPacket f = readBlock4();
        EXPECT_EQ(exchange(bus, f, 1), c.first) << c.what;
        EXPECT_EQ(bus.unsettled(), c.first != 0) << c.what;
        bus.incoming.insert(bus.incoming.end(), c.trailing.begin(), c.trailing.end());
        bus.answerOnWrite = answer(0x00, {0x22, 0x22});
        CCommPacket next = readBlock4();
        ASSERT_EQ(exchange(bus, next, 1), 0) << c.what;
        next.decode();
        EXPECT_EQ(next.data()[0], 0x22) << c.what;
        EXPECT_FALSE(bus.unsettled()) << c.what;
    }
}

} // namespace
