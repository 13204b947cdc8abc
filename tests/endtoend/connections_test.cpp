// The card tool's connection handles: several readers at once, each reached by its own icdev.
#include "link/readers.h"
#include "simulator/reader/reader.h"
#include "simulator/servers/pty_server.h"
#include "simulator/servers/tcp_server.h"
#include "varrok.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace {

unsigned beepsOf(sim::Reader& reader) {
    return reader.access([](sim::ReaderState& s, sim::Field&) { return s.beeps; });
}

TEST(Connections, TwoReadersEachReachedByItsOwnHandle) {
    sim::Reader network, serial;
    serial.access([](sim::ReaderState& s, sim::Field&) { s.address = 0x0042; });
    sim::TcpServer tcp{network};
    sim::PtyServer pty{serial};
    tcp.start(0);
    pty.start();
    ::setenv("VARROK_COM12", pty.path().c_str(), 1);

    const int a = rf_init_net("127.0.0.1", tcp.port());
    const int b = rf_init_com(12, 115200);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_NE(a & 0xFFFF, b & 0xFFFF);

    // Each handle reaches its own reader, and the serial reader at address
    // 0x42 answers because the frames carry its address, not the handle.
    EXPECT_EQ(rf_beep(static_cast<unsigned short>(a), 5), 0);
    EXPECT_EQ(rf_beep(static_cast<unsigned short>(b), 6), 0);
    EXPECT_EQ(rf_beep(static_cast<unsigned short>(b), 6), 0);
    EXPECT_EQ(beepsOf(network), 1u);
    EXPECT_EQ(beepsOf(serial), 2u);

    unsigned short id = 0;
    EXPECT_EQ(rf_get_device_number(static_cast<unsigned short>(b), &id), 0);
    EXPECT_EQ(id, 0x0042);

    // A new address for the network reader: its handle follows.
    EXPECT_EQ(rf_init_device_number(static_cast<unsigned short>(a), 0x0777), 0);
    EXPECT_EQ(rf_beep(static_cast<unsigned short>(a), 5), 0);
    EXPECT_EQ(beepsOf(network), 2u);

    EXPECT_EQ(rf_ClosePortVer5(static_cast<unsigned short>(a)), 0);
    EXPECT_EQ(rf_ClosePortVer5(static_cast<unsigned short>(a)), -6);
    EXPECT_EQ(rf_beep(static_cast<unsigned short>(b), 6), 0);
    EXPECT_EQ(beepsOf(serial), 3u);
    EXPECT_EQ(rf_ClosePortVer5(static_cast<unsigned short>(b)), 0);
    EXPECT_EQ(rf_beep(static_cast<unsigned short>(b), 6), -1);
}

TEST(Connections, FailedOpensAreNegative) {
    EXPECT_LT(rf_init_net(nullptr, 1), 0);
    EXPECT_LT(rf_init_net("not-an-address", 4000), 0);
    EXPECT_LT(rf_init_com(0, 9600), 0);
    EXPECT_LT(rf_init_com(97, 9600), 0);
    EXPECT_EQ(rf_ClosePortVer5(0x1234), -6);
}

// A reader whose address is a device address bound by ReaderHandshake and a
// reader reached by a connection handle never share a number: each command
// lands on the reader its caller meant, whichever way the number was made.
TEST(Connections, HandlesAndHandshakeAddressesNeverMeet) {
    sim::Reader byConnection, first, second;
    sim::TcpServer connTcp{byConnection}, firstTcp{first}, secondTcp{second};
    for (auto* server : {&connTcp, &firstTcp, &secondTcp})
        server->start(0);
    const auto open = [](sim::TcpServer& server) {
        return ReaderOpen(("TCP://127.0.0.1:" + std::to_string(server.port())).c_str());
    };
    const auto setAddress = [](sim::Reader& r, int address) {
        r.access([&](sim::ReaderState& s, sim::Field&) { s.address = static_cast<std::uint16_t>(address); });
    };
    const auto beep = [](int icdev) { return rf_beep(static_cast<unsigned short>(icdev), 1); };

    // Handles go round: the one just closed is not handed out next, nor is
    // the next one once ReaderHandshake has bound it as a device address.
    const int h1 = rf_init_net("127.0.0.1", connTcp.port());
    ASSERT_GE(h1, 0x1000);
    ASSERT_EQ(rf_ClosePortVer5(static_cast<unsigned short>(h1)), 0);
    const int bound = h1 == 0xFFFF ? 0x1000 : h1 + 1;
    setAddress(first, bound);
    const long long firstReader = open(firstTcp);
    ASSERT_GT(firstReader, 0);
    ASSERT_EQ(ReaderHandshake(firstReader, bound), 0);
    const int h2 = rf_init_net("127.0.0.1", connTcp.port());
    ASSERT_GE(h2, 0x1000);
    EXPECT_NE(h2, h1);
    EXPECT_NE(h2, bound);

    // A live handle cannot be bound as an address; once closed it can.
    setAddress(second, h2);
    const long long secondReader = open(secondTcp);
    ASSERT_GT(secondReader, 0);
    EXPECT_EQ(ReaderHandshake(secondReader, h2), -5);

    struct Step {
        const char* what;
        int rc;
        unsigned connBeeps, firstBeeps, secondBeeps; // totals after the step
    };
    const auto run = [&](const Step& step, int got) {
        EXPECT_EQ(got, step.rc) << step.what;
        EXPECT_EQ(beepsOf(byConnection), step.connBeeps) << step.what;
        EXPECT_EQ(beepsOf(first), step.firstBeeps) << step.what;
        EXPECT_EQ(beepsOf(second), step.secondBeeps) << step.what;
    };
    run({"the handle reaches its connection", 0, 1, 0, 0}, beep(h2));
    run({"the bound address reaches its reader", 0, 1, 1, 0}, beep(bound));
    run({"a bound address is no connection to close", -6, 1, 1, 0},
        rf_ClosePortVer5(static_cast<unsigned short>(bound)));
    run({"and its reader stays open", 0, 1, 2, 0}, beep(bound));
    run({"closing the connection", 0, 1, 2, 0}, rf_ClosePortVer5(static_cast<unsigned short>(h2)));
    run({"the freed number may now be bound", 0, 1, 2, 0}, ReaderHandshake(secondReader, h2));
    run({"and reaches the reader bound to it", 0, 1, 2, 1}, beep(h2));
    EXPECT_EQ(ReaderClose(0), 0);
}

// A transport that fails every read and write at once, so that readers can be
// opened by the ten thousand without a socket each.
class DeadBus : public varrok::CCommBus {
  public:
    DeadBus() : CCommBus(kTcp) {}
    int open(const char*) override { return 0; }
    bool close() override { return true; }
    int read(std::uint8_t*, int) override { return -1; }
    int write(const std::uint8_t*, int) override { return -1; }
    bool isOpen() const override { return true; }
    bool purge() override { return true; }
    bool setTimeouts(int, int) override { return true; }
};

TEST(Connections, FullHandleSpaceIsAnErrorAndLeavesNoReaderOpen) {
    ASSERT_EQ(ReaderClose(0), 0);
    sim::Reader network;
    network.setAddressPolicy(sim::AddressPolicy::AnyAddress);
    sim::TcpServer tcp{network};
    tcp.start(0);
    // Keys after "TCP://", so that a reader left open by the failed connect
    // would be the first one, the one an unbound address reaches.
    int taken = 0, last = -1;
    for (int i = 0; i < 0x10000; ++i) {
        const long long reader =
            varrok::adoptTransport("ZZ" + std::to_string(i), std::make_unique<DeadBus>());
        const int handle = varrok::addConnection(reader, 0);
        if (handle < 0) break;
        last = handle;
        ++taken;
    }
    ASSERT_EQ(taken, 0x10000 - 0x1000);

    EXPECT_EQ(rf_init_net("127.0.0.1", tcp.port()), -1);
    EXPECT_NE(rf_beep(0x0001, 1), 0) << "the reader just opened must have been closed";
    EXPECT_EQ(beepsOf(network), 0u);

    // One handle freed: the next connection gets exactly that one and works.
    ASSERT_EQ(rf_ClosePortVer5(static_cast<unsigned short>(last)), 0);
    const int handle = rf_init_net("127.0.0.1", tcp.port());
    EXPECT_EQ(handle, last);
    EXPECT_EQ(rf_beep(static_cast<unsigned short>(handle), 1), 0);
    EXPECT_EQ(beepsOf(network), 1u);
    EXPECT_EQ(ReaderClose(0), 0);
}

} // namespace
