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

TEST(Exchange, BodyThatStopsCostsThreeEmptyReadsPerExpectedByte) {
    Link link;
    Bytes cut = answer(0x00, {0x01}); // L = 6, so 3 x (6 + 4) = 30 empty reads
    cut.resize(cut.size() - 2);
    link.peer.script(cut);
    CCommPacket f = readBlock4();
    const auto start = steady_clock::now();
    EXPECT_EQ(exchange(link.bus, f, 5), -5);
    const auto took = duration_cast<milliseconds>(steady_clock::now() - start).count();
    EXPECT_GE(took, 30 * 5 - 10);
    EXPECT_LT(took, 30 * 5 * 4);
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
    link.peer.script(Reply{answer(0x00, {0x11, 0x11}), 60});
    link.peer.script(answer(0x00, {0x22, 0x22}));
    CCommPacket first = readBlock4();
    EXPECT_EQ(exchange(link.bus, first, kWait), 9);
    std::this_thread::sleep_for(milliseconds(120)); // the late answer is now waiting in the socket
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
    int write(const std::uint8_t*, int n) override { return writeResult == 1 ? n : writeResult; }
    bool isOpen() const override { return open_; }
    bool purge() override { return true; }
    bool setTimeouts(int, int) override { return true; }

    std::deque<std::uint8_t> incoming;
    int readResult = 0;
    int writeResult = 1;
    bool open_ = true;
    int reads = 0;
};

TEST(Exchange, TransportResultsAreNeverTakenForBytes) {
    {
        FakeBus bus; // receive errors during the body: counted as empty reads
        const Bytes head = hex("AA BB 06 F9 00 00");
        bus.incoming.assign(head.begin(), head.end());
        bus.readResult = -1;
        CCommPacket f = readBlock4();
        EXPECT_EQ(exchange(bus, f, 1), -5);
        EXPECT_EQ(f.length(), 6u);
        EXPECT_EQ(bus.reads, 6 + 3 * 10);
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

} // namespace
