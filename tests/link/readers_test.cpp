// Opening, closing and routing readers by connection key and device address.
#include "support/scripted_peer.h"
#include "varrok.h"

#include <chrono>
#include <gtest/gtest.h>

using namespace testing_support;
using namespace std::chrono;

namespace {

class Readers : public ::testing::Test {
  protected:
    void TearDown() override { ReaderClose(0); }

    // Sends one short command to icdev and reports which peer got it.
    static int routeOf(unsigned short icdev, ScriptedPeer& a, ScriptedPeer& b) {
        const std::size_t beforeA = a.requests().size(), beforeB = b.requests().size();
        a.script(answer(0));
        b.script(answer(0));
        rf_Reader_SetBeep(icdev, 1);
        a.clearScript();
        b.clearScript();
        const bool toA = a.requests().size() > beforeA, toB = b.requests().size() > beforeB;
        return toA && !toB ? 'A' : toB && !toA ? 'B' : '?';
    }
};

TEST_F(Readers, TextsThatNameNoReader) {
    for (const char* text : {"USB1", "", "CO", "COM:9600", "XTCP://127.0.0.1:1"})
        EXPECT_EQ(ReaderOpen(text), -1) << text;
    EXPECT_EQ(ReaderOpen(nullptr), -1);
}

TEST_F(Readers, ReopeningAKeyReplacesTheReader) {
    ScriptedPeer peer(ScriptedPeer::Kind::Pty);
    peer.openText(3);
    const long long first = ReaderOpen("com3:9600");
    ASSERT_GT(first, 0);
    const long long second = ReaderOpen("COM3:115200");
    ASSERT_GT(second, 0);
    EXPECT_NE(first, second);
    EXPECT_EQ(ReaderClose(first), -6); // the replaced reader's handle is gone for good
    EXPECT_EQ(ReaderClose(second), 0);
    EXPECT_EQ(ReaderClose(second), -6);
}

TEST_F(Readers, SamePortUnderAnotherKeyIsRefused) {
    ScriptedPeer peer(ScriptedPeer::Kind::Pty);
    peer.openText(3);
    ::setenv("VARROK_COM4", peer.ptyPath().c_str(), 1); // COM4 is the same device
    const long long com3 = ReaderOpen("COM3:9600");
    ASSERT_GT(com3, 0);
    EXPECT_EQ(ReaderOpen("COM03:9600"), -1);
    EXPECT_EQ(ReaderOpen("COM4:9600"), -1);
    peer.script(answer(0));
    EXPECT_EQ(rf_Reader_SetBeep(0, 1), 0); // COM3 still serves
    EXPECT_EQ(ReaderClose(com3), 0);
}

TEST_F(Readers, FailedReopenLeavesTheKeyClosed) {
    ScriptedPeer peer(ScriptedPeer::Kind::Pty);
    peer.openText(3);
    const long long com3 = ReaderOpen("COM3:9600");
    ASSERT_GT(com3, 0);
    EXPECT_EQ(ReaderOpen("COM3:12345"), -1);
    EXPECT_EQ(ReaderClose(com3), -6);
    EXPECT_EQ(rf_Reader_SetBeep(0, 1), -1);
}

TEST_F(Readers, UnboundAddressesGoToTheSmallestKey) {
    ScriptedPeer com3(ScriptedPeer::Kind::Pty), com10(ScriptedPeer::Kind::Pty);
    ASSERT_GT(ReaderOpen(com3.openText(3).c_str()), 0);
    ASSERT_GT(ReaderOpen(com10.openText(10).c_str()), 0);
    for (unsigned short icdev : {0, 3, 10, 0xFFFF})
        EXPECT_EQ(routeOf(icdev, com3, com10), 'B') << icdev;
}

TEST_F(Readers, HandshakePinsAnAddress) {
    ScriptedPeer a, b;
    const long long ha = ReaderOpen(a.openText().c_str());
    const long long hb = ReaderOpen(("tcp://127.0.0.1:" + std::to_string(b.port())).c_str());
    ASSERT_GT(ha, 0);
    ASSERT_GT(hb, 0);
    // The lower-case text became an upper-case key, so "TCP://127.0.0.1:<a>" vs "<b>" decides the order.
    const char fallback = std::to_string(a.port()) < std::to_string(b.port()) ? 'A' : 'B';

    a.script(answer(0));
    EXPECT_EQ(ReaderHandshake(ha, 5), 0);
    ASSERT_TRUE(a.waitForRequests(1));
    EXPECT_EQ(toHex(a.requests().back()), "AA BB 04 FB 00 05 03 FD");
    EXPECT_EQ(routeOf(5, a, b), 'A');

    b.script(answer(0x33)); // any well-formed answer counts, whatever its status
    EXPECT_EQ(ReaderHandshake(hb, 5), 0);
    EXPECT_EQ(routeOf(5, a, b), 'B');

    // An address nobody answers: -5 after the 50 ms wait, and no binding.
    const auto start = steady_clock::now();
    EXPECT_EQ(ReaderHandshake(hb, 6), -5);
    EXPECT_GE(duration_cast<milliseconds>(steady_clock::now() - start).count(), 45);
    EXPECT_EQ(routeOf(6, a, b), fallback);

    EXPECT_EQ(ReaderHandshake(12345, 5), -6);

    // Closing the reader that held address 5 sends 5 back to the fallback.
    EXPECT_EQ(ReaderClose(hb), 0);
    EXPECT_EQ(routeOf(5, a, b), 'A');
}

TEST_F(Readers, CloseAllAndVersion) {
    EXPECT_EQ(ReaderClose(0), 0);
    ScriptedPeer a, b;
    ASSERT_GT(ReaderOpen(a.openText().c_str()), 0);
    ASSERT_GT(ReaderOpen(b.openText().c_str()), 0);
    EXPECT_EQ(ReaderClose(0), 0);
    EXPECT_EQ(rf_Reader_SetBeep(0, 1), -1);
    EXPECT_EQ(a.requests().size() + b.requests().size(), 0u);

    unsigned int version = 0;
    EXPECT_EQ(lib_ver(&version), 0);
    EXPECT_EQ(version, 26646u);
    EXPECT_EQ(lib_ver(nullptr), -1);
    EXPECT_EQ(rf_GetErrorMessage(0), nullptr);
}

} // namespace
