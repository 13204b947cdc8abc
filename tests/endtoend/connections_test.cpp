// The card tool's connection handles: several readers at once, each reached by its own icdev.
#include "simulator/pty_server.h"
#include "simulator/reader.h"
#include "simulator/tcp_server.h"
#include "varrok.h"

#include <cstdlib>
#include <gtest/gtest.h>

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

} // namespace
