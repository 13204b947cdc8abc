// The reader every program builds: all card families, and scenarios that fill
// its field and its SAM slots.
#include "simulator/commands/families.h"

#include <gtest/gtest.h>

#include <map>
#include <typeinfo>

#include "simulator/cards/classic.h"
#include "simulator/cards/iso14443_4.h"

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
    for (const char* kind : {"classic1k", "ultralight", "iso15693", "icode1", "typeb", "idcard",
                             "mifareplus2k", "desfire", "sr176", "srix4k", "at88rf020", "ussen"})
        EXPECT_NE(std::find(kinds.begin(), kinds.end(), kind), kinds.end()) << kind;
}

TEST(Families, ScenarioSamsGoIntoTheirSlots) {
    sim::Reader reader;
    const sim::Equipment equipment = sim::installAllFamilies(reader);
    sim::Scenario scenario = sim::parseScenario(
        R"({"sams": [{"slot": 1}, {"slot": 5, "t0": true, "t1": false}]})", sim::allCardKinds());
    sim::placeSams(scenario.sams, *equipment.sams);

    const sim::Response slot1 = ask(reader, 0x08); // reset of slot 1
    EXPECT_EQ(slot1.status, 0);
    ASSERT_FALSE(slot1.data.empty());
    EXPECT_EQ(slot1.data[0], 0x3B) << "an ATR in direct convention";
    EXPECT_EQ(ask(reader, 0x91, {5}).status, 0) << "slot 5 through the slot-number reset";
    EXPECT_EQ(ask(reader, 0x66).status, static_cast<std::uint8_t>(sim::Status::SamAbsent))
        << "slot 2 is empty";

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

// The fuzzer restores its field from copies: every kind must copy, and a
// copy must own its memory and its application.
TEST(Families, EveryCardKindCopiesAndTheCopyChangesAlone) {
    const std::map<std::string, std::string> members = {{"classicmini", R"("uid": "11223344")"},
                                                        {"classic1k", R"("uid": "11223344")"},
                                                        {"classic4k", R"("uid": "11223344")"},
                                                        {"ultralight", R"("uid": "04112233445566")"},
                                                        {"ultralightc", R"("uid": "04112233445566")"},
                                                        {"mifareplus2k", R"("uid": "11223344")"},
                                                        {"mifareplus4k", R"("uid": "11223344")"},
                                                        {"desfire", R"("uid": "04112233445566")"},
                                                        {"typeb", R"("pupi": "11223344")"},
                                                        {"iso14443_4a", R"("uid": "11223344")"},
                                                        {"idcard", R"("id": "1122334455667788")"},
                                                        {"iso15693", R"("serial": 5)"},
                                                        {"icode1", R"("serial": "1122334455667788")"},
                                                        {"sr176", R"("uid": "1122334455667788")"},
                                                        {"srix4k", R"("serial": 5)"},
                                                        {"at88rf020", R"("pupi": "11223344")"},
                                                        {"ussen", R"("uid": "11223344")"}};
    std::vector<std::string> named;
    for (const auto& [kind, rest] : members) {
        named.push_back(kind);
        const auto scenario = sim::parseScenario(R"({"cards": [{"kind": ")" + kind + "\", " + rest + "}]}",
                                                 sim::allCardKinds());
        const sim::Card& card = *scenario.cards.at(0);
        const auto copy = card.clone();
        ASSERT_NE(copy, nullptr) << kind;
        EXPECT_EQ(typeid(*copy), typeid(card)) << kind;
        EXPECT_EQ(copy->describe(), card.describe()) << kind;
    }
    EXPECT_EQ(named, sim::allCardKinds().names()) << "every kind has a row here";

    sim::ClassicCard classic(sim::ClassicCard::Model::Classic1K, {1, 2, 3, 4});
    const auto copy = classic.clone();
    dynamic_cast<sim::ClassicCard&>(*copy).setBlock(4, sim::classic::Block{0xAA});
    EXPECT_EQ(classic.block(4)[0], 0x00);
    EXPECT_EQ(dynamic_cast<sim::ClassicCard&>(*copy).block(4)[0], 0xAA);

    sim::Iso14443_4ACard smart({1, 2, 3, 4}, sim::SmartCardApp::sample());
    const auto smartCopy = smart.clone();
    EXPECT_NE(&dynamic_cast<sim::Iso14443_4ACard&>(*smartCopy).layer4().app(), &smart.layer4().app());
}

} // namespace
