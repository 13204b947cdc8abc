// The desk beside the simulated reader: cards taken off stop answering, cards
// put back answer again, and bad commands change nothing.
#include <gtest/gtest.h>

#include "simulator/commands/families.h"
#include "simulator/reader/desk.h"
#include "simulator/scenario/scenario.h"

namespace {

std::size_t onReader(sim::Reader& reader) {
    return reader.access([](sim::ReaderState&, sim::Field& field) { return field.size(); });
}

TEST(Desk, ChoosesWhichCardsLieOnTheReader) {
    sim::Reader reader;
    sim::installAllFamilies(reader);
    sim::applyScenario(sim::parseScenario(R"({"cards": [{"kind": "classic1k", "uid": "11223344"},
        {"kind": "ultralight", "uid": "04112233445566"}, {"kind": "icode1", "serial": "0102030405060708"}]})",
                                          sim::allCardKinds()),
                       reader);
    sim::Desk desk(reader);
    struct Step {
        const char* line;
        std::size_t onReader;
        const char* answerHas;
    };
    const Step steps[] = {
        {"cards", 3, "1  on reader  "},
        {"only 2", 1, "2  on reader  "},
        {"put 3", 2, "3  on reader  "},
        {"take 3", 1, "3  on desk    "},
        {"take 3", 1, "3  on desk    "},
        {"put 9", 1, "no card with that number"},
        {"only x", 1, "no card with that number"},
        {"dance", 1, "commands: cards, take N, put N, only N, all"},
        {"all", 3, "1  on reader  "},
    };
    for (const Step& step : steps) {
        const std::string answer = desk.command(step.line);
        EXPECT_NE(answer.find(step.answerHas), std::string::npos) << step.line << " -> " << answer;
        EXPECT_EQ(onReader(reader), step.onReader) << step.line;
    }
    EXPECT_EQ(desk.command(""), "");
}

} // namespace
