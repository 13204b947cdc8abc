// The serial front end, watched from the terminal side as the host library
// would open it.

#include <gtest/gtest.h>

#include "raw_peer.h"
#include "simulator/servers/pty_server.h"

namespace {

using namespace std::chrono_literals;
using sim::Bytes;
using simtest::RawPeer;

const Bytes kHandshake = {0xAA, 0xBB, 0x04, 0xFB, 0x00, 0x00, 0x03, 0xF8};
const Bytes kHandshakeAnswer = {0xAA, 0xBB, 0x05, 0xFA, 0x00, 0x00, 0x03, 0x00, 0xF9};

class PtyServerTest : public testing::Test {
  protected:
    void SetUp() override { server.start(); }

    sim::Reader reader;
    sim::PtyServer server{reader};
};

TEST_F(PtyServerTest, PassesEveryByteValueUntranslated) {
    ASSERT_EQ(server.path().rfind("/dev/pts/", 0), 0u) << server.path();
    RawPeer host = RawPeer::serial(server.path());
    host.send(kHandshake);
    EXPECT_EQ(host.receive(kHandshakeAnswer.size()), kHandshakeAnswer);

    // Line-control characters a cooked terminal would eat or translate:
    // newline, carriage return, XON, XOFF, interrupt, end of file, erase.
    const Bytes awkward = {0x0A, 0x0D, 0x11, 0x13, 0x03, 0x04, 0x7F, 0x1A, 0x1C, 0x15};
    Bytes write = {0x00, 0x00, 0x10, static_cast<std::uint8_t>(awkward.size())};
    write.insert(write.end(), awkward.begin(), awkward.end());
    host.send(sim::encodeRequest({0x0000, 0x62, write}));
    EXPECT_EQ(host.receive(9), sim::encodeResponse({0x0000, 0x62, 0x00, {}}));
    host.send(
        sim::encodeRequest({0x0000, 0x61, {0x00, 0x00, 0x10, static_cast<std::uint8_t>(awkward.size())}}));
    const Bytes answer = sim::encodeResponse({0x0000, 0x61, 0x00, awkward});
    EXPECT_EQ(host.receive(answer.size()), answer);
    EXPECT_TRUE(host.drain(20ms).empty()) << "the reader heard its own answer echoed";
}

TEST_F(PtyServerTest, HostMayCloseAndReopenThePort) {
    for (int round = 0; round < 3; ++round) {
        RawPeer host = RawPeer::serial(server.path());
        host.send(kHandshake);
        EXPECT_EQ(host.receive(kHandshakeAnswer.size()), kHandshakeAnswer) << "round " << round;
        host.send({0xAA, 0xBB, 0x05}); // leave half a frame behind
    }
    std::this_thread::sleep_for(20ms);
    RawPeer host = RawPeer::serial(server.path());
    host.send(kHandshake);
    EXPECT_EQ(host.receive(kHandshakeAnswer.size()), kHandshakeAnswer)
        << "old half frame spoiled the new one";
}

TEST_F(PtyServerTest, FaultsOnTheLineAndHangUpActsAsACut) {
    RawPeer host = RawPeer::serial(server.path());
    reader.faults().once(sim::Fault::cutAfter(3));
    host.send(kHandshake);
    ASSERT_TRUE(reader.faults().waitSent(1, 5s));
    EXPECT_EQ(host.drain(30ms), (Bytes{0xAA, 0xBB, 0x05}));

    reader.faults().once(sim::Fault::closeAfter(6));
    host.send(kHandshake);
    ASSERT_TRUE(reader.faults().waitSent(2, 5s));
    EXPECT_EQ(host.drain(30ms), (Bytes{0xAA, 0xBB, 0x05, 0xFA, 0x00, 0x00}));

    reader.faults().once(sim::Fault::late(40ms));
    host.send(kHandshake);
    EXPECT_TRUE(host.receive(1, 15ms).empty());
    EXPECT_EQ(host.receive(kHandshakeAnswer.size()), kHandshakeAnswer);
}

TEST_F(PtyServerTest, StopsPromptlyWhileThePortIsOpen) {
    RawPeer host = RawPeer::serial(server.path());
    reader.faults().always(sim::Fault::late(10s));
    host.send(kHandshake);
    std::this_thread::sleep_for(10ms);
    const auto start = std::chrono::steady_clock::now();
    server.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
}

} // namespace
