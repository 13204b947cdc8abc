// The library against the simulated reader, over TCP and over a pseudo-terminal.
#include "simulator/reader/reader.h"
#include "simulator/servers/pty_server.h"
#include "simulator/servers/tcp_server.h"
#include "varrok.h"

#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

using namespace std::chrono;

namespace {

enum class Line { Tcp, Pty };

class OnSimulator : public ::testing::TestWithParam<Line> {
  protected:
    void SetUp() override {
        std::string text;
        if (GetParam() == Line::Tcp) {
            tcp.start(0);
            text = "TCP://127.0.0.1:" + std::to_string(tcp.port());
        } else {
            pty.start();
            ::setenv("VARROK_COM9", pty.path().c_str(), 1);
            text = "COM9:115200";
        }
        handle = ReaderOpen(text.c_str());
        ASSERT_GT(handle, 0) << text;
    }
    void TearDown() override {
        ReaderClose(0);
        reader.faults().clear();
    }

    sim::Reader reader;
    sim::TcpServer tcp{reader};
    sim::PtyServer pty{reader};
    long long handle = -1;
};

TEST_P(OnSimulator, IdentityAddressAndFlash) {
    unsigned short id = 0xFFFF;
    ASSERT_EQ(rf_Reader_GetID(0, &id), 0);
    EXPECT_EQ(id, 0);
    ASSERT_EQ(rf_Reader_SetID(0, 0x0203), 0);
    // The reader now answers 0x0203 only; an unbound address still reaches it
    // as the only open reader, but the frame carries the address the caller gave.
    EXPECT_EQ(rf_Reader_GetID(0x0203, &id), 0);
    EXPECT_EQ(id, 0x0203);
    EXPECT_EQ(ReaderHandshake(handle, 0x0203), 0);
    EXPECT_EQ(ReaderHandshake(handle, 0x0007), -5);

    std::array<unsigned char, 2> version{};
    std::array<unsigned char, 8> serial{};
    EXPECT_EQ(rf_Reader_GetFirmwareVer(0x0203, version.data()), 0);
    EXPECT_EQ(rf_Reader_GetSN(0x0203, serial.data()), 0);
    reader.access([&](sim::ReaderState& s, sim::Field&) {
        EXPECT_EQ(version, s.firmware);
        EXPECT_EQ(serial, s.serial);
    });

    unsigned char written[128], read[128] = {};
    for (int i = 0; i < 128; ++i)
        written[i] = static_cast<unsigned char>(i * 7 + 0xA0);
    ASSERT_EQ(rf_Reader_FlashWrite(0x0203, 3, 100, 128, written), 0);
    ASSERT_EQ(rf_Reader_FlashRead(0x0203, 3, 100, 128, read), 0);
    EXPECT_EQ(0, std::memcmp(written, read, 128));

    EXPECT_EQ(rf_Reader_SetBeep(0x0203, 12), 0);
    EXPECT_EQ(rf_Reader_SetLight(0x0203, 2), 0);
    EXPECT_EQ(rf_Reader_AntennaOFF(0x0203), 0);
    unsigned char digits[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(rf_Reader_DigtalDisplay(0x0203, 1, 2, digits), 0);
    reader.access([&](sim::ReaderState& s, sim::Field& f) {
        EXPECT_EQ(s.lastBeep, 12);
        EXPECT_EQ(s.led, 2);
        EXPECT_FALSE(f.antennaOn());
        EXPECT_EQ(s.display[1], 0xED);
    });
}

TEST_P(OnSimulator, FaultsGiveErrorsAndTheNextCommandWorks) {
    const struct {
        const char* what;
        sim::Fault fault;
        int expected;
    } cases[] = {
        {"silent", sim::Fault::silent(), 9},
        {"checksum", sim::Fault::badChecksum(), 252},
        {"cut inside the header", sim::Fault::cutAfter(3), 9},
        // A body cut short is covered with short waits in the link tests: at
        // 200 ms per empty read it would cost 3 x (L + 4) x 200 ms here.
        {"flood of AA", sim::Fault::flood(3000), -5},
        {"late answer", sim::Fault::late(milliseconds(250)), 9},
    };
    std::array<unsigned char, 8> serial{};
    for (const auto& c : cases) {
        const std::size_t fault = reader.faults().taken() + 1;
        reader.faults().once(c.fault);
        EXPECT_EQ(rf_Reader_GetSN(0, serial.data()), c.expected) << c.what;
        // A late answer far beyond the wait: let it reach the line first, so that
        // it is the purge that must keep it from passing for the next one's. The
        // rest of a flood is not waited for: the next exchange reads it away.
        if (c.fault.kind == sim::FaultKind::Late) {
            ASSERT_TRUE(reader.faults().waitSent(fault, seconds(5)));
        }
        unsigned char version[2] = {0xEE, 0xEE};
        EXPECT_EQ(rf_Reader_GetFirmwareVer(0, version), 0) << "after " << c.what;
        EXPECT_EQ(version[0], 0x01) << "after " << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, OnSimulator, ::testing::Values(Line::Tcp, Line::Pty),
                         [](const auto& info) { return info.param == Line::Tcp ? "Tcp" : "Pty"; });

TEST(OnSimulatorTcp, ClosedConnectionFailsUntilReopened) {
    sim::Reader reader;
    sim::TcpServer tcp{reader};
    tcp.start(0);
    const std::string text = "TCP://127.0.0.1:" + std::to_string(tcp.port());
    ASSERT_GT(ReaderOpen(text.c_str()), 0);
    unsigned char serial[8];
    reader.faults().once(sim::Fault::closeAfter(5));
    EXPECT_EQ(rf_Reader_GetSN(0, serial), -5);
    EXPECT_NE(rf_Reader_GetSN(0, serial), 0) << "the connection is gone";
    ASSERT_GT(ReaderOpen(text.c_str()), 0);
    EXPECT_EQ(rf_Reader_GetSN(0, serial), 0);
    ReaderClose(0);
}

} // namespace
