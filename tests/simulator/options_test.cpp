// The varrok-sim command line.

#include <gtest/gtest.h>

#include "simulator/scenario/options.h"

namespace {

using namespace std::chrono_literals;

TEST(Options, ReadsEveryFlag) {
    const sim::Options o = sim::parseOptions({"--tcp", "4001", "--pty", "--address", "0x1234",
                                              "--any-address", "--verbose", "--fault", "late=20",
                                              "--fault-once", "silent", "--exit-after", "3", "--stdin-quit"});
    EXPECT_EQ(o.tcpPort, 4001);
    EXPECT_TRUE(o.pty);
    EXPECT_EQ(o.address, 0x1234);
    EXPECT_EQ(o.policy, sim::AddressPolicy::AnyAddress);
    EXPECT_TRUE(o.verbose);
    EXPECT_EQ(o.fault, sim::Fault::late(20ms));
    EXPECT_EQ(o.faultOnce, sim::Fault::silent());
    EXPECT_EQ(o.exitAfter, 3s);
    EXPECT_TRUE(o.stdinQuit);
    EXPECT_FALSE(o.help);
}

TEST(Options, DefaultsToAFreeTcpPortOnly) {
    const sim::Options none = sim::parseOptions({});
    EXPECT_EQ(none.tcpPort, 0);
    EXPECT_FALSE(none.pty);
    EXPECT_EQ(none.address, 0);
    EXPECT_EQ(none.policy, sim::AddressPolicy::OwnAddress);
    EXPECT_FALSE(none.fault);

    const sim::Options ptyOnly = sim::parseOptions({"--pty"});
    EXPECT_FALSE(ptyOnly.tcpPort);
    EXPECT_EQ(sim::parseOptions({"--address", "258"}).address, 258);
}

TEST(Options, RejectsWhatItCannotRead) {
    const std::vector<std::vector<std::string>> bad = {
        {"--tcp"},
        {"--tcp", "65536"},
        {"--tcp", "-1"},
        {"--tcp", "80x"},
        {"--address", "0x10000"},
        {"--address", "0x"},
        {"--fault", "noisy"},
        {"--fault-once"},
        {"--exit-after", "soon"},
        {"--serial"},
    };
    for (const auto& arguments : bad)
        EXPECT_THROW(sim::parseOptions(arguments), std::invalid_argument) << arguments.front();
}

} // namespace
