// Faults on demand: how each one reshapes an answer, how long it lasts, and
// how it is spelled on the command line.

#include <gtest/gtest.h>

#include "simulator/wire/fault.h"

namespace {

using namespace std::chrono_literals;
using sim::Bytes;
using sim::Fault;

// The handshake answer of a reader at address 0: AA BB 05 FA 00 00 03 00 F9.
const sim::Response kHandshake{0x0000, 0x03, 0x00, {}};

TEST(FaultDelivery, EachFaultReshapesTheAnswer) {
    struct Case {
        const char* name;
        std::optional<Fault> fault;
        Bytes bytes;
        std::chrono::milliseconds delay;
        bool hangUp;
    } const cases[] = {
        {"none", std::nullopt, {0xAA, 0xBB, 0x05, 0xFA, 0x00, 0x00, 0x03, 0x00, 0xF9}, 0ms, false},
        {"silent", Fault::silent(), {}, 0ms, false},
        {"late", Fault::late(40ms), {0xAA, 0xBB, 0x05, 0xFA, 0x00, 0x00, 0x03, 0x00, 0xF9}, 40ms, false},
        {"cut", Fault::cutAfter(3), {0xAA, 0xBB, 0x05}, 0ms, false},
        {"cut beyond the frame",
         Fault::cutAfter(50),
         {0xAA, 0xBB, 0x05, 0xFA, 0x00, 0x00, 0x03, 0x00, 0xF9},
         0ms,
         false},
        {"checksum",
         Fault::badChecksum(),
         {0xAA, 0xBB, 0x05, 0xFA, 0x00, 0x00, 0x03, 0x00, 0x06},
         0ms,
         false},
        {"flood", Fault::flood(5), {0xAA, 0xBB, 0x05, 0xFA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA}, 0ms, false},
        {"close", Fault::closeAfter(4), {0xAA, 0xBB, 0x05, 0xFA}, 0ms, true},
    };
    for (const auto& c : cases) {
        const sim::Delivery delivery = sim::deliver(kHandshake, c.fault);
        EXPECT_EQ(delivery.bytes, c.bytes) << c.name;
        EXPECT_EQ(delivery.delay, c.delay) << c.name;
        EXPECT_EQ(delivery.hangUp, c.hangUp) << c.name;
        EXPECT_EQ(delivery.note.empty(), !c.fault) << c.name;
    }
    EXPECT_EQ(sim::deliver(kHandshake, Fault::flood()).bytes.size(), 4u + 2000u);
}

TEST(FaultPlan, OneShotFaultsAreUsedUpAndLastingOnesStay) {
    sim::FaultPlan plan;
    EXPECT_EQ(plan.take(), std::nullopt);

    plan.once(Fault::silent());
    EXPECT_EQ(plan.take(), Fault::silent());
    EXPECT_EQ(plan.take(), std::nullopt);

    plan.always(Fault::badChecksum());
    plan.once(Fault::cutAfter(2));
    EXPECT_EQ(plan.take(), Fault::cutAfter(2)) << "a one-shot fault goes first";
    EXPECT_EQ(plan.take(), Fault::badChecksum());
    EXPECT_EQ(plan.take(), Fault::badChecksum());

    plan.always(Fault::late(10ms));
    EXPECT_EQ(plan.take(), Fault::late(10ms)) << "a new lasting fault replaces the old";
    plan.once(Fault::silent());
    plan.clear();
    EXPECT_EQ(plan.take(), std::nullopt);

    plan.onceAfter(2, Fault::badChecksum());
    EXPECT_EQ(plan.take(), std::nullopt);
    EXPECT_EQ(plan.take(), std::nullopt);
    EXPECT_EQ(plan.take(), Fault::badChecksum()) << "the third answer is the spoiled one";
    EXPECT_EQ(plan.take(), std::nullopt);
}

TEST(FaultSpelling, ParsesTheCommandLineForms) {
    struct Case {
        const char* text;
        Fault fault;
    } const cases[] = {
        {"silent", Fault::silent()},        {"late=300", Fault::late(300ms)},  {"cut=5", Fault::cutAfter(5)},
        {"checksum", Fault::badChecksum()}, {"flood", Fault::flood(2000)},     {"flood=10", Fault::flood(10)},
        {"close", Fault::closeAfter(3)},    {"close=0", Fault::closeAfter(0)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sim::parseFault(c.text), c.fault) << c.text;

    for (const char* bad : {"", "loud", "late", "late=", "late=x", "late=-1", "cut=5ms", "silent=1",
                            "checksum=2", "flood=1e3", "Silent"})
        EXPECT_THROW(sim::parseFault(bad), std::invalid_argument) << bad;
}

} // namespace
