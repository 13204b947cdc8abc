// Opening serial and TCP transports from their texts, and their waits.
#include "link/bus_com.h"
#include "link/bus_tcp.h"
#include "link/com_ports.h"
#include "support/scripted_peer.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace testing_support;
using namespace std::chrono;
using varrok::CCommBusCom;
using varrok::CCommBusTcp;

namespace {

TEST(ComPorts, NumbersMapToDevices) {
    ::unsetenv("VARROK_COM5");
    EXPECT_EQ(varrok::comDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(varrok::comDevicePath(32), "/dev/ttyS31");
    EXPECT_EQ(varrok::comDevicePath(33), "/dev/ttyUSB0");
    EXPECT_EQ(varrok::comDevicePath(65), "/dev/ttyACM0");
    EXPECT_EQ(varrok::comDevicePath(97), "");
    ::setenv("VARROK_COM5", "/tmp/elsewhere", 1);
    EXPECT_EQ(varrok::comDevicePath(5), "/tmp/elsewhere");
    ::unsetenv("VARROK_COM5");
    for (int n : {1, 17, 32, 33, 64, 65, 96})
        EXPECT_EQ(varrok::comNumberOfDevice(varrok::comDevicePath(n)), n);
    EXPECT_EQ(varrok::comNumberOfDevice("/dev/ttyS32"), 0);
    EXPECT_EQ(varrok::comNumberOfDevice("/dev/pts/3"), 0);
}

TEST(SerialTransport, OpensThePortTheTextNames) {
    ScriptedPeer peer(ScriptedPeer::Kind::Pty);
    peer.openText(3);
    CCommBusCom bus;
    ASSERT_EQ(bus.open("COM3:115200"), 0);
    EXPECT_TRUE(bus.isOpen());
    EXPECT_EQ(bus.portNumber(), 3);
    EXPECT_EQ(bus.devicePath(), peer.ptyPath());
    EXPECT_EQ(bus.kind(), 0);

    // Exclusive: a second open of the same device fails, here COM03.
    CCommBusCom second;
    EXPECT_EQ(second.open("COM03:9600"), -2);
    EXPECT_FALSE(second.isOpen());
    EXPECT_TRUE(bus.close());
    EXPECT_FALSE(bus.isOpen());
    EXPECT_TRUE(bus.close()); // closing twice does nothing
    EXPECT_EQ(second.open("COM03:9600"), 0);
}

TEST(SerialTransport, RefusedTexts) {
    ScriptedPeer peer(ScriptedPeer::Kind::Pty);
    peer.openText(3);
    struct Case {
        const char* text;
        int expected;
    } cases[] = {
        {"COM0:9600", -1},  {"COM1025:9600", -1},
        {"COMX:9600", -1},  {"COM:9600", -1},
        {"COM3", -2},                 // no colon: baud 0, which no line runs at
        {"COM3:12345", -2},           // a rate the line does not offer
        {"COM97:9600", -2},           // no device behind the number
        {"CO", -1},         {"", -1}, // too short to hold a number
        {"C:3:9600", -1},             // a colon inside the letters is not the separator
    };
    for (const auto& c : cases) {
        CCommBusCom bus;
        EXPECT_EQ(bus.open(c.text), c.expected) << c.text;
        EXPECT_FALSE(bus.isOpen()) << c.text;
    }
}

TEST(TcpTransport, PortAndAddressComeFromTheText) {
    ScriptedPeer peer;
    const std::string port = std::to_string(peer.port());
    struct Case {
        std::string text;
        int expected;
    } cases[] = {
        {"TCP://127.0.0.1:" + port, 0},
        // The prefix is six characters whatever they are.
        {"TCP:xx127.0.0.1:" + port, 0},
        // No name resolution: a host name fails without touching the network.
        {"TCP://LOCALHOST:" + port, -3},
        {"TCP://", -3},
    };
    for (const auto& c : cases) {
        CCommBusTcp bus;
        EXPECT_EQ(bus.open(c.text.c_str()), c.expected) << c.text;
        EXPECT_EQ(bus.isOpen(), c.expected == 0) << c.text;
        EXPECT_EQ(bus.kind(), 1);
    }

    // Without a colon the port is the address's leading number: 127 here.
    CCommBusTcp noColon;
    noColon.open("TCP://127.0.0.1");
    EXPECT_EQ(noColon.port(), 127);
    EXPECT_EQ(noColon.addressText(), "127.0.0.1");
    // A host text that fills the 16 bytes kept has no terminator there: it is
    // still read within them.
    CCommBusTcp longHost;
    EXPECT_EQ(longHost.open("TCP://1234567890123456789:5"), -3);
    EXPECT_EQ(longHost.addressText(), "1234567890123456");
}

int closedLoopbackPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

TEST(TcpTransport, OpeningAgainClosesTheOldConnection) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    socklen_t len = sizeof a;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    const std::string text = "TCP://127.0.0.1:" + std::to_string(ntohs(a.sin_port));

    CCommBusTcp bus;
    ASSERT_EQ(bus.open(text.c_str()), 0);
    const int first = ::accept(listener, nullptr, nullptr);
    ASSERT_EQ(bus.open(text.c_str()), 0);
    const int second = ::accept(listener, nullptr, nullptr);
    // The first connection ends: its reader sees the end of the stream.
    pollfd ready{first, POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 2000), 1);
    char byte = 0;
    EXPECT_EQ(::recv(first, &byte, 1, 0), 0);
    EXPECT_TRUE(bus.isOpen());
    ::close(first);
    ::close(second);
    ::close(listener);
}

TEST(TcpTransport, RefusedConnectionFailsAtOnce) {
    CCommBusTcp bus;
    const auto start = steady_clock::now();
    EXPECT_EQ(bus.open(("TCP://127.0.0.1:" + std::to_string(closedLoopbackPort())).c_str()), -3);
    EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - start).count(), 500);
    EXPECT_FALSE(bus.isOpen());
}

TEST(TcpTransport, UnansweredConnectionGivesUpAfterTwoSeconds) {
    // A loopback listener that never accepts: once its queue is full the
    // kernel drops further connection attempts, like an unreachable reader.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t len = sizeof a;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    const std::string text = "TCP://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        fillers.push_back(s);
    }
    CCommBusTcp bus;
    const auto start = steady_clock::now();
    EXPECT_EQ(bus.open(text.c_str()), -3);
    const auto took = duration_cast<milliseconds>(steady_clock::now() - start).count();
    EXPECT_GE(took, 1900);
    EXPECT_LT(took, 2600);
    for (int s : fillers)
        ::close(s);
    ::close(listener);
}

// A read on a silent line returns nothing after its whole wait, never
// sooner, on both transports, whether the wait is shorter or longer than the
// TCP receive time-out's margin (the two ways a TCP read waits).
TEST(Transports, ReadWaitsTheWholeTimeOut) {
    ScriptedPeer tcpPeer;
    ScriptedPeer ptyPeer(ScriptedPeer::Kind::Pty);
    CCommBusTcp tcp;
    CCommBusCom com;
    ASSERT_EQ(tcp.open(tcpPeer.openText().c_str()), 0);
    ASSERT_EQ(com.open(ptyPeer.openText(31).c_str()), 0);
    for (varrok::CCommBus* bus : {static_cast<varrok::CCommBus*>(&tcp), static_cast<varrok::CCommBus*>(&com)}) {
        for (const int wait : {3, 9, 11, 25, 60}) {
            bus->setTimeouts(wait, -1);
            std::uint8_t byte = 0;
            const auto start = steady_clock::now();
            EXPECT_EQ(bus->read(&byte, 1), 0);
            const auto took = duration_cast<microseconds>(steady_clock::now() - start).count();
            EXPECT_GE(took, wait * 1000) << "kind " << bus->kind() << ", wait " << wait << " ms";
            EXPECT_LT(took, (wait + 150) * 1000) << "kind " << bus->kind() << ", wait " << wait << " ms";
        }
    }
    tcpPeer.push({0x5A}); // and a byte that comes is taken at once
    tcp.setTimeouts(5000, -1);
    std::uint8_t byte = 0;
    const auto start = steady_clock::now();
    EXPECT_EQ(tcp.read(&byte, 1), 1);
    EXPECT_EQ(byte, 0x5A);
    EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - start).count(), 1000);
}

} // namespace
