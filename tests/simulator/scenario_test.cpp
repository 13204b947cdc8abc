// Scenario files: loading a reader's identity and its cards, the registry of
// card kinds, and the errors for bad files.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "simulator/cards/classic.h"
#include "simulator/cards/ultralight.h"
#include "simulator/commands/type_a_commands.h"
#include "simulator/reader/reader.h"
#include "simulator/scenario/scenario.h"

namespace {

using sim::Bytes;
using sim::CardKinds;
using sim::ClassicCard;
using sim::ScenarioError;
using sim::UltralightCard;

CardKinds typeAKinds() {
    CardKinds kinds;
    sim::addTypeAKinds(kinds);
    return kinds;
}

// The message of the ScenarioError the text raises, or "" when it loads.
std::string errorOf(const std::string& text) {
    try {
        sim::parseScenario(text, typeAKinds());
    } catch (const ScenarioError& error) {
        return error.what();
    }
    return "";
}

TEST(Scenario, LoadsTheReaderAndItsCardsIntoAReader) {
    const char* text = R"({
        "comment": "two cards on the desk",
        "reader": {"address": 513, "serial": "DESK0001", "firmware": "02 07"},
        "cards": [
            {"kind": "classic1k", "uid": "11223344",
             "blocks": {"4": "000102030405060708090A0B0C0D0E0F",
                        "0x07": "A0A1A2A3A4A5 787788 69 B0B1B2B3B4B5"}},
            {"kind": "classic4k", "uid": "04 A1 A2 A3 A4 A5 A6", "manufacturer": "010203040506"},
            {"kind": "ultralightc", "uid": "04112233445566",
             "pages": {"2": "FFFF0010", "4": "DEADBEEF"},
             "key": "000102030405060708090A0B0C0D0E0F"}
        ]
    })";
    sim::Reader reader;
    sim::applyScenario(sim::parseScenario(text, typeAKinds()), reader);
    reader.access([](sim::ReaderState& state, sim::Field& field) {
        EXPECT_EQ(state.address, 513);
        EXPECT_EQ(state.serial, (std::array<std::uint8_t, 8>{'D', 'E', 'S', 'K', '0', '0', '0', '1'}));
        EXPECT_EQ(state.firmware, (std::array<std::uint8_t, 2>{0x02, 0x07}));
        ASSERT_EQ(field.size(), 3u);

        auto* one = dynamic_cast<ClassicCard*>(field.cards()[0].get());
        ASSERT_NE(one, nullptr);
        EXPECT_EQ(one->model(), ClassicCard::Model::Classic1K);
        EXPECT_EQ(one->block(4)[15], 0x0F);
        EXPECT_EQ(one->block(7)[6], 0x78);
        EXPECT_EQ(one->block(7)[9], 0x69);

        auto* four = dynamic_cast<ClassicCard*>(field.cards()[1].get());
        ASSERT_NE(four, nullptr);
        EXPECT_EQ(four->model(), ClassicCard::Model::Classic4K);
        EXPECT_EQ(four->uid(), (Bytes{0x04, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6}));
        EXPECT_EQ(four->block(0)[10], 0x01);
        EXPECT_EQ(four->describe(), "Classic 4K 04 A1 A2 A3 A4 A5 A6");

        auto* ul = dynamic_cast<UltralightCard*>(field.cards()[2].get());
        ASSERT_NE(ul, nullptr);
        EXPECT_EQ(ul->model(), UltralightCard::Model::UltralightC);
        EXPECT_EQ(ul->page(2)[0], 0x33 ^ 0x44 ^ 0x55 ^ 0x66) << "the check byte stays the chip's own";
        EXPECT_EQ(ul->page(2)[2], 0x00);
        EXPECT_EQ(ul->page(2)[3], 0x10);
        EXPECT_EQ(ul->page(4)[0], 0xDE);
        EXPECT_EQ(ul->key()[15], 0x0F);
        // The lock bits were loaded when the card arrived in the field.
        EXPECT_EQ(ul->write(12, std::array<std::uint8_t, 4>{1, 2, 3, 4}), sim::Status::AccessDenied);
    });
}

TEST(Scenario, BadFilesGiveMessagesThatSayWhere) {
    struct Case {
        std::string text;
        const char* message; // part of the message
    } const cases[] = {
        {"{\"cards\": [}", "not valid JSON: line 1, column 12"},
        {R"([])", "must be a JSON object"},
        {R"({"cards": [], "cards": []})", "member \"cards\" is given twice"},
        {std::string(65, '[') + std::string(65, ']'), "nested deeper than 64 levels"},
        {R"({"card": []})", "unknown member \"card\""},
        {R"({"cards": {}})", "cards: expected an array"},
        {R"({"cards": [{"kind": "classic2k", "uid": "11223344"}]})",
         "cards[0] (classic2k): unknown card kind \"classic2k\" (known kinds: classic1k, classic4k, "
         "classicmini, "
         "ultralight, ultralightc)"},
        {R"({"cards": [{"uid": "11223344"}]})", "cards[0]: missing member \"kind\""},
        {R"({"cards": [{"kind": 7}]})", "cards[0]: kind: expected a string"},
        {R"({"cards": [{"kind": "classic1k", "uid": "112233"}]})",
         "cards[0] (classic1k): uid: a Classic UID has 4 or 7"},
        {R"({"cards": [{"kind": "classic1k", "uid": "1122334"}]})", "uid: odd number of hex digits"},
        {R"({"cards": [{"kind": "classic1k", "uid": "11223G44"}]})", "uid: 'G' is not a hex digit"},
        {R"({"cards": [{"kind": "classic1k"}]})", "missing member \"uid\""},
        {R"({"cards": [{"kind": "classic1k", "uid": "11223344", "blocks": {"0": "00"}}]})",
         "blocks.0: block 0"},
        {R"({"cards": [{"kind": "classic1k", "uid": "11223344", "blocks": {"64": "00"}}]})",
         "blocks.64: the card has blocks 0 to 63"},
        {R"({"cards": [{"kind": "classic1k", "uid": "11223344", "blocks": {"x": "00"}}]})",
         "blocks.x: \"x\" is not a number"},
        {R"({"cards": [{"kind": "classic1k", "uid": "11223344", "blocks": {"4": "00"}}]})",
         "blocks.4: expected 16 bytes"},
        {R"({"cards": [{"kind": "classic1k", "uid": "11223344", "color": "red"}]})",
         "unknown member \"color\""},
        {R"({"cards": [{}, {"kind": "ultralight", "uid": "04112233445566", "key": "00"}]})",
         "cards[0]: missing member \"kind\""},
        {R"({"cards": [{"kind": "ultralight", "uid": "04112233445566", "key": "00"}]})",
         "cards[0] (ultralight): unknown member \"key\""},
        {R"({"cards": [{"kind": "ultralightc", "uid": "04112233445566", "pages": {"44": "00000000"}}]})",
         "pages.44: the key pages are set with \"key\""},
        {R"({"cards": [{"kind": "ultralight", "uid": "04112233445566", "pages": {"1": "00000000"}}]})",
         "pages.1: pages 0 and 1"},
        {R"({"reader": {"address": 70000}})", "reader.address: expected a whole number from 0 to 65535"},
        {R"({"reader": {"serial": "SHORT"}})", "reader.serial: expected 8 characters"},
        {R"({"reader": {"port": 1}})", "reader.port: unknown member"},
    };
    for (const auto& c : cases) {
        const std::string message = errorOf(c.text);
        EXPECT_NE(message.find(c.message), std::string::npos) << c.text << "\n  gave: " << message;
    }
}

TEST(Scenario, CardKindsRefuseDuplicatesAndListTheirNames) {
    CardKinds kinds = typeAKinds();
    EXPECT_EQ(kinds.names(), (std::vector<std::string>{"classic1k", "classic4k", "classicmini", "ultralight",
                                                       "ultralightc"}));
    EXPECT_TRUE(kinds.contains("classicmini"));
    EXPECT_FALSE(kinds.contains("desfire"));
    EXPECT_NE(kinds.summary("classic4k").find("32 sectors"), std::string::npos);
    EXPECT_THROW(sim::addTypeAKinds(kinds), std::logic_error);

    // Another family adds its own kind beside ours.
    kinds.add("blank", [](const sim::Members& v) -> std::unique_ptr<sim::Card> {
        return std::make_unique<ClassicCard>(ClassicCard::Model::Mini, v.hex("uid"));
    });
    const auto scenario = sim::parseScenario(R"({"cards": [{"kind": "blank", "uid": "01020304"}]})", kinds);
    ASSERT_EQ(scenario.cards.size(), 1u);
    EXPECT_EQ(dynamic_cast<ClassicCard&>(*scenario.cards[0]).blockCount(), 20u);
}

TEST(Scenario, FilesAreReadFromDiskWithTheirPathInErrors) {
    const std::string path = testing::TempDir() + "type_a_scenario_test.json";
    {
        std::ofstream out(path);
        out << R"({"cards": [{"kind": "classicmini", "uid": "0A0B0C0D"}]})";
    }
    const auto scenario = sim::loadScenarioFile(path, typeAKinds());
    ASSERT_EQ(scenario.cards.size(), 1u);
    EXPECT_EQ(scenario.cards[0]->describe(), "Classic Mini 0A 0B 0C 0D");
    {
        std::ofstream out(path);
        out << "{\n  \"cards\": [\n    {\"kind\": \"classicmini\",}\n  ]\n}\n";
    }
    try {
        sim::loadScenarioFile(path, typeAKinds());
        ADD_FAILURE() << "accepted a bad file";
    } catch (const ScenarioError& error) {
        EXPECT_EQ(std::string(error.what()),
                  path + ": not valid JSON: line 3, column 28: syntax error while parsing object key - "
                         "unexpected '}'; expected string literal");
    }
    std::remove(path.c_str());
    EXPECT_THROW(sim::loadScenarioFile(path, typeAKinds()), ScenarioError);
}

TEST(Scenario, HexTextAllowsSeparatorsBetweenBytesOnly) {
    EXPECT_EQ(sim::parseHex("0a1B ff:00-7e"), (Bytes{0x0A, 0x1B, 0xFF, 0x00, 0x7E}));
    EXPECT_EQ(sim::parseHex(""), Bytes{});
    EXPECT_THROW(sim::parseHex("0 a"), ScenarioError);
    EXPECT_THROW(sim::parseHex("abc"), ScenarioError);
}

} // namespace
