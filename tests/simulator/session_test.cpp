// A session between host bytes and reader answers, and the trace it leaves.

#include <gtest/gtest.h>

#include <sstream>

#include "simulator/servers/session.h"

namespace {

using sim::Bytes;

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

const Bytes kHandshake = {0xAA, 0xBB, 0x04, 0xFB, 0x00, 0x00, 0x03, 0xF8};
const Bytes kHandshakeAnswer = {0xAA, 0xBB, 0x05, 0xFA, 0x00, 0x00, 0x03, 0x00, 0xF9};
const Bytes kFirmwareAt7 = {0xAA, 0xBB, 0x04, 0xFB, 0x00, 0x07, 0x04, 0xF8};

TEST(Session, AnswersOnlyItsRequestsAndLogsEverything) {
    sim::Reader reader;
    std::ostringstream trace;
    sim::TrafficLog log(trace);
    sim::Session session(reader, &log, "tcp#1");

    reader.faults().once(sim::Fault::cutAfter(3));
    const auto deliveries = session.receive(
        concat({{0x12, 0x34}, kHandshake, kFirmwareAt7, kHandshake, {0xAA, 0xBB, 0x00, 0xFF}}));
    ASSERT_EQ(deliveries.size(), 2u) << "the request for address 7 gets no answer";
    EXPECT_EQ(deliveries[0].bytes, (Bytes{0xAA, 0xBB, 0x05}));
    EXPECT_EQ(deliveries[1].bytes, kHandshakeAnswer);

    EXPECT_EQ(trace.str(), "tcp#1 -> 12 34 (dropped: garbage outside a frame)\n"
                           "tcp#1 -> AA BB 04 FB 00 00 03 F8\n"
                           "tcp#1 <- AA BB 05 (cut after 3 bytes)\n"
                           "tcp#1 -> AA BB 04 FB 00 07 04 F8 (for another reader)\n"
                           "tcp#1 -> AA BB 04 FB 00 00 03 F8\n"
                           "tcp#1 <- AA BB 05 FA 00 00 03 00 F9\n"
                           "tcp#1 -> AA BB 00 FF (dropped: length too short for a request)\n");
}

TEST(Session, SilenceIsLoggedAndAHalfFrameIsForgottenOnReset) {
    sim::Reader reader;
    std::ostringstream trace;
    sim::TrafficLog log(trace);
    sim::Session session(reader, &log, "pty");
    reader.faults().once(sim::Fault::silent());
    const auto silent = session.receive(kHandshake);
    ASSERT_EQ(silent.size(), 1u);
    EXPECT_TRUE(silent[0].bytes.empty());
    EXPECT_NE(trace.str().find("pty <- (silent)"), std::string::npos) << trace.str();

    EXPECT_TRUE(session.receive(Bytes(kHandshake.begin(), kHandshake.begin() + 4)).empty());
    session.reset();
    EXPECT_TRUE(session.receive(Bytes(kHandshake.begin() + 4, kHandshake.end())).empty());
    const auto again = session.receive(kHandshake);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].bytes, kHandshakeAnswer);
}

} // namespace
