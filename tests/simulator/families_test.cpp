// The reader every program builds: all card families, and scenarios that fill
// its field and its SAM slots.
#include "simulator/commands/families.h"

#include <gtest/gtest.h>

namespace {

sim::Response ask(sim::Reader& reader, std::uint8_t command, sim::Bytes data = {}) {
    const auto response = reader.process(sim::Request{0, command, std::move(data)});
    EXPECT_TRUE(response.has_value());
    return response.value_or(sim::Response{});
}

TEST(Families, EveryFamilyAnswersItsCommands) {
    sim::Reader reader;
    sim::installAllFamilies(reader);
    const auto unknown = static_cast<std::uint8_t>(sim::Status::UnknownCommand);
    // One command of each family; with an empty field they may fail, but never as unknown.
    for (std::uint8_t command : {0x10, 0x13, 0x1D, 0x08, 0x40, 0xA0, 0x71, 0xBA, 0x29, 0x21, 0xE0})
        EXPECT_NE(ask(reader, command, {0x01}).status, unknown) << "command " << int(command);
    EXPECT_EQ(ask(reader, 0xF0).status, unknown);

    const auto kinds = sim::allCardKinds().names();
    for (const char* kind : {"classic1k", "ultralight", "iso15693", "icode1", "typeb", "idcard", "mifareplus2k",
                             "desfire", "sr176", "srix4k", "at88rf020", "ussen"})
        EXPECT_NE(std::find(kinds.begin(), kinds.end(), kind), kinds.end()) << kind;
}

TEST(Families, ScenarioSamsGoIntoTheirSlots) {
    sim::Reader reader;
    const sim::Equipment equipment = sim::installAllFamilies(reader);
    sim::Scenario scenario = sim::parseScenario(R"({"sams": [{"slot": 1}, {"slot": 5, "t0": true, "t1": false}]})",
                                                sim::allCardKinds());
    sim::placeSams(scenario.sams, *equipment.sams);

    const sim::Response slot1 = ask(reader, 0x08); // reset of slot 1
    EXPECT_EQ(slot1.status, 0);
    ASSERT_FALSE(slot1.data.empty());
    EXPECT_EQ(slot1.data[0], 0x3B) << "an ATR in direct convention";
    EXPECT_EQ(ask(reader, 0x91, {5}).status, 0) << "slot 5 through the slot-number reset";
    EXPECT_EQ(ask(reader, 0x66).status, static_cast<std::uint8_t>(sim::Status::SamAbsent)) << "slot 2 is empty";

    for (const char* bad : {R"({"sams": [{"slot": 9}]})", R"({"sams": [{"slot": 1, "colour": "red"}]})"}) {
        sim::Scenario broken = sim::parseScenario(bad, sim::allCardKinds());
        try {
            sim::placeSams(broken.sams, *equipment.sams);
            ADD_FAILURE() << bad << " was accepted";
        } catch (const sim::ScenarioError& error) {
            EXPECT_NE(std::string(error.what()).find("sams[0]"), std::string::npos) << error.what();
        }
    }
    EXPECT_THROW(sim::parseScenario(R"({"sams": {"slot": 1}})", sim::allCardKinds()), sim::ScenarioError);
}

} // namespace
