// The simulator's small JSON reader: what it accepts, what it builds, and the
// errors a person editing a scenario file by hand gets.

#include <gtest/gtest.h>

#include <string>

#include "simulator/scenario/json.h"

namespace {

namespace json = sim::json;

TEST(Json, ParsesEveryKindOfValue) {
    const json::Value v = json::parse(R"( {
        "text": "a\"b\\c\/\n\t\u00e9\ud83d\ude00",
        "numbers": [0, -12, 3.5, 1e3, -2.5E-2],
        "flags": [true, false, null],
        "empty": {}, "none": []
    } )");
    EXPECT_EQ(v.at("text").asString(), "a\"b\\c/\n\t\xC3\xA9\xF0\x9F\x98\x80");
    const json::Array& numbers = v.at("numbers").asArray();
    ASSERT_EQ(numbers.size(), 5u);
    const double expected[] = {0, -12, 3.5, 1000, -0.025};
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_DOUBLE_EQ(numbers[i].asNumber(), expected[i]);
    EXPECT_EQ(v.at("flags").asArray(), (json::Array{true, false, nullptr}));
    EXPECT_TRUE(v.at("empty").asObject().empty());
    EXPECT_TRUE(v.at("none").asArray().empty());
    // Members keep file order.
    const json::Object& members = v.asObject();
    ASSERT_EQ(members.size(), 5u);
    EXPECT_EQ(members[0].first, "text");
    EXPECT_EQ(members[4].first, "none");
}

TEST(Json, ReportsWhereAndWhyTheTextIsNotJson) {
    struct Case {
        const char* text;
        std::size_t line, column;
        const char* reason; // part of the message
    } const cases[] = {
        {"", 1, 1, "expected a value"},
        {"{\"a\": 1,}", 1, 9, "member name"},
        {"{\"a\" 1}", 1, 6, "':'"},
        {"[1 2]", 1, 4, "',' or ']'"},
        {"{\n  \"a\": tru\n}", 2, 8, "true, false or null"},
        {"\"open", 1, 1, "not closed"},
        {"[01]", 1, 3, "may not start with 0"},
        {"[1.]", 1, 4, "after the decimal point"},
        {"\"\\x\"", 1, 2, "unknown escape"},
        {"\"\\ud800\"", 1, 8, "surrogate"},
        {"{\"a\": 1, \"a\": 2}", 1, 10, "given twice"},
        {"{} {}", 1, 4, "after the end"},
        {"[1e999]", 1, 2, "out of range"},
        {"\"tab\there\"", 1, 5, "control character"},
    };
    for (const auto& c : cases) {
        try {
            json::parse(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const json::ParseError& error) {
            EXPECT_EQ(error.line(), c.line) << c.text << ": " << error.what();
            EXPECT_EQ(error.column(), c.column) << c.text << ": " << error.what();
            EXPECT_NE(error.reason().find(c.reason), std::string::npos) << c.text << ": " << error.what();
            EXPECT_EQ(std::string(error.what()).rfind("line " + std::to_string(c.line) + ", column ", 0), 0u);
        }
    }
}

TEST(Json, RefusesDeepNestingInsteadOfExhaustingTheStack) {
    EXPECT_NO_THROW(json::parse(std::string(64, '[') + std::string(64, ']')));
    EXPECT_THROW(json::parse(std::string(65, '[') + std::string(65, ']')), json::ParseError);
    EXPECT_THROW(json::parse(std::string(100000, '[')), json::ParseError);
}

TEST(Json, AccessorsNameTheTypeTheyWanted) {
    const json::Value v = json::parse(R"({"n": 2.5, "s": "x", "i": 300})");
    try {
        (void)v.at("s").asNumber();
        ADD_FAILURE();
    } catch (const json::Error& error) {
        EXPECT_STREQ(error.what(), "expected a number, found a string");
    }
    EXPECT_THROW((void)v.at("n").asInteger(0, 10), json::Error) << "not a whole number";
    EXPECT_THROW((void)v.at("i").asInteger(0, 255), json::Error) << "out of range";
    EXPECT_EQ(v.at("i").asInteger(0, 65535), 300);
    try {
        (void)v.at("missing");
        ADD_FAILURE();
    } catch (const json::Error& error) {
        EXPECT_STREQ(error.what(), "missing member \"missing\"");
    }
    EXPECT_EQ(v.find("missing"), nullptr);
    EXPECT_EQ(json::parse("[1]").find("n"), nullptr) << "an array has no members";
    EXPECT_THROW((void)json::parse("[1]").at("n"), json::Error);
}

} // namespace
