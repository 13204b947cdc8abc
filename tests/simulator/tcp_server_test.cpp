// The network front end, watched from a raw loopback socket.

#include <gtest/gtest.h>

#include "raw_peer.h"
#include "simulator/servers/tcp_server.h"

namespace {

using namespace std::chrono_literals;
using sim::Bytes;
using simtest::RawPeer;

const Bytes kHandshake = {0xAA, 0xBB, 0x04, 0xFB, 0x00, 0x00, 0x03, 0xF8};
const Bytes kHandshakeAnswer = {0xAA, 0xBB, 0x05, 0xFA, 0x00, 0x00, 0x03, 0x00, 0xF9};
const Bytes kFirmware = {0xAA, 0xBB, 0x04, 0xFB, 0x00, 0x00, 0x04, 0xFF};
// Firmware version AA 01: the 0xAA in the answer is stuffed.
const Bytes kFirmwareAnswer = {0xAA, 0xBB, 0x07, 0xF8, 0x00, 0x00, 0x04, 0x00, 0xAA, 0x00, 0x01, 0x57};

class TcpServerTest : public testing::Test {
  protected:
    void SetUp() override {
        reader.access([](sim::ReaderState& s, sim::Field&) { s.firmware = {0xAA, 0x01}; });
        server.start(0);
    }

    sim::Reader reader;
    sim::TcpServer server{reader};
};

TEST_F(TcpServerTest, AnswersByteExactHoweverTheRequestIsChunked) {
    RawPeer host = RawPeer::tcp(server.port());
    host.send(kHandshake);
    EXPECT_EQ(host.receive(kHandshakeAnswer.size()), kHandshakeAnswer);

    for (const std::uint8_t b : kFirmware) { // one segment per byte
        host.send({b});
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(host.receive(kFirmwareAnswer.size()), kFirmwareAnswer);

    Bytes burst = {0x00, 0x13, 0xAA, 0x77}; // noise, then two requests in one write
    burst.insert(burst.end(), kFirmware.begin(), kFirmware.end());
    burst.insert(burst.end(), kHandshake.begin(), kHandshake.end());
    host.send(burst);
    Bytes both = kFirmwareAnswer;
    both.insert(both.end(), kHandshakeAnswer.begin(), kHandshakeAnswer.end());
    EXPECT_EQ(host.receive(both.size()), both);
    EXPECT_TRUE(host.drain(20ms).empty()) << "nothing answers the noise";
}

TEST_F(TcpServerTest, RequestsForAnotherReaderGoUnanswered) {
    RawPeer host = RawPeer::tcp(server.port());
    host.send({0xAA, 0xBB, 0x04, 0xFB, 0x00, 0x07, 0x03, 0xFF}); // handshake to address 7
    EXPECT_TRUE(host.drain(30ms).empty());
    host.send(kHandshake);
    EXPECT_EQ(host.receive(kHandshakeAnswer.size()), kHandshakeAnswer);
}

TEST_F(TcpServerTest, ServesHostsAtOnceAndOneAfterAnother) {
    RawPeer first = RawPeer::tcp(server.port());
    RawPeer second = RawPeer::tcp(server.port());
    second.send(kHandshake);
    EXPECT_EQ(second.receive(kHandshakeAnswer.size()), kHandshakeAnswer);
    first.send(kFirmware);
    EXPECT_EQ(first.receive(kFirmwareAnswer.size()), kFirmwareAnswer);
    first.close();
    second.close();

    RawPeer third = RawPeer::tcp(server.port());
    third.send(kHandshake);
    EXPECT_EQ(third.receive(kHandshakeAnswer.size()), kHandshakeAnswer);
    EXPECT_EQ(server.accepted(), 3u);
}

TEST_F(TcpServerTest, FaultsShowOnTheWireAndOneShotFaultsPassOff) {
    struct Case {
        const char* name;
        sim::Fault fault;
        Bytes seen;
    } const cases[] = {
        {"silent", sim::Fault::silent(), {}},
        {"cut", sim::Fault::cutAfter(5), {0xAA, 0xBB, 0x05, 0xFA, 0x00}},
        {"checksum", sim::Fault::badChecksum(), {0xAA, 0xBB, 0x05, 0xFA, 0x00, 0x00, 0x03, 0x00, 0x06}},
    };
    RawPeer host = RawPeer::tcp(server.port());
    for (const auto& c : cases) {
        const std::size_t fault = reader.faults().taken() + 1;
        reader.faults().once(c.fault);
        host.send(kHandshake);
        if (!c.seen.empty()) {
            ASSERT_TRUE(reader.faults().waitSent(fault, 5s)) << c.name;
        }
        EXPECT_EQ(host.drain(30ms), c.seen) << c.name;
        host.send(kHandshake);
        EXPECT_EQ(host.receive(kHandshakeAnswer.size()), kHandshakeAnswer) << c.name << " lasted too long";
    }
}

TEST_F(TcpServerTest, FloodSendsTheHeaderThenEndlessStuffingStarts) {
    RawPeer host = RawPeer::tcp(server.port());
    reader.faults().once(sim::Fault::flood(2000));
    host.send(kHandshake);
    Bytes expected = {0xAA, 0xBB, 0x05, 0xFA};
    expected.insert(expected.end(), 2000, 0xAA);
    EXPECT_EQ(host.receive(expected.size()), expected);
    EXPECT_TRUE(host.drain(20ms).empty());
}

TEST_F(TcpServerTest, LateAnswerArrivesAfterTheDelayAndHoldsBackTheNext) {
    RawPeer host = RawPeer::tcp(server.port());
    reader.faults().once(sim::Fault::late(80ms));
    const auto start = std::chrono::steady_clock::now();
    host.send(kHandshake);
    EXPECT_TRUE(host.receive(1, 30ms).empty()) << "answered before the delay";
    host.send(kFirmware); // sent while the first answer is still held back
    Bytes both = kHandshakeAnswer;
    both.insert(both.end(), kFirmwareAnswer.begin(), kFirmwareAnswer.end());
    EXPECT_EQ(host.receive(both.size()), both);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 80ms);
}

TEST_F(TcpServerTest, HangsUpMidFrameAndServesTheNextConnection) {
    RawPeer host = RawPeer::tcp(server.port());
    reader.faults().once(sim::Fault::closeAfter(4));
    host.send(kHandshake);
    EXPECT_EQ(host.receive(4), (Bytes{0xAA, 0xBB, 0x05, 0xFA}));
    EXPECT_TRUE(host.closedByPeer(500ms));

    RawPeer again = RawPeer::tcp(server.port());
    again.send(kHandshake);
    EXPECT_EQ(again.receive(kHandshakeAnswer.size()), kHandshakeAnswer);
}

TEST_F(TcpServerTest, LastingFaultHoldsUntilCleared) {
    RawPeer host = RawPeer::tcp(server.port());
    reader.faults().always(sim::Fault::cutAfter(2));
    for (int i = 0; i < 3; ++i) {
        const std::size_t fault = reader.faults().taken() + 1;
        host.send(kHandshake);
        ASSERT_TRUE(reader.faults().waitSent(fault, 5s));
        EXPECT_EQ(host.drain(20ms), (Bytes{0xAA, 0xBB})) << "answer " << i;
    }
    reader.faults().clear();
    host.send(kHandshake);
    EXPECT_EQ(host.receive(kHandshakeAnswer.size()), kHandshakeAnswer);
}

TEST_F(TcpServerTest, StopsPromptlyWithHostsConnectedAndAnswersPending) {
    RawPeer host = RawPeer::tcp(server.port());
    reader.faults().always(sim::Fault::late(10s));
    host.send(kHandshake);
    host.send({0xAA, 0xBB, 0x05}); // and half a frame
    std::this_thread::sleep_for(10ms);
    const auto start = std::chrono::steady_clock::now();
    server.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    EXPECT_TRUE(host.closedByPeer(200ms));
    server.stop(); // twice is harmless

    server.start(0); // and it can serve again
    reader.faults().clear();
    RawPeer next = RawPeer::tcp(server.port());
    next.send(kHandshake);
    EXPECT_EQ(next.receive(kHandshakeAnswer.size()), kHandshakeAnswer);
}

TEST(TcpServer, RefusesAPortInUse) {
    sim::Reader reader;
    sim::TcpServer first(reader);
    first.start(0);
    sim::TcpServer second(reader);
    EXPECT_THROW(second.start(first.port()), std::system_error);
    EXPECT_THROW(first.start(0), std::logic_error);
}

} // namespace
