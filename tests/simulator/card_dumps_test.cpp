// Cards taken from dump files: a dump that does not fit its kind is refused
// while the scenario loads, with the file and the place at fault.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "formats/dump.h"
#include "simulator/cards/ultralight.h"
#include "simulator/commands/families.h"

namespace {

namespace dump = varrok::dump;
using sim::Bytes;

const Bytes kClassicUid{0x11, 0x22, 0x33, 0x44};
const Bytes kUlUid{0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};

// A Classic card as read from a real one: block 0 with UID and check byte,
// every trailer in the transport configuration.
dump::Card classicDump(std::size_t blocks) {
    dump::Card card = dump::blankCard(dump::Family::Classic, blocks);
    const Bytes block0{0x11, 0x22, 0x33, 0x44, 0x44, 0x08, 0x04, 0x00};
    std::copy(block0.begin(), block0.end(), card.memory.begin());
    const Bytes trailer{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x07,
                        0x80, 0x69, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    for (std::size_t s = 0; s < dump::classic::sectorCount(blocks); ++s)
        std::copy(trailer.begin(), trailer.end(), card.memory.begin() + 16 * dump::classic::trailerOf(s));
    return card;
}

dump::Card ultralightDump(std::size_t pages) {
    dump::Card card = dump::blankCard(dump::Family::Ultralight, pages);
    const sim::UltralightCard real(sim::UltralightCard::Model::Ultralight, kUlUid);
    for (std::size_t p = 0; p < 3; ++p)
        std::copy(real.page(p).begin(), real.page(p).end(), card.memory.begin() + 4 * p);
    return card;
}

TEST(CardDumps, DumpsThatDoNotFitTheirKindAreRefusedWithTheirFault) {
    const std::filesystem::path dir = testing::TempDir() + "card_dumps_test";
    std::filesystem::create_directories(dir);
    const auto save = [&](const char* name, const dump::Card& card) {
        dump::write((dir / name).string(), card, dump::formatOf(name));
    };
    save("fine1k.bin", classicDump(64));
    save("big4k.bin", classicDump(256));
    dump::Card badBcc = classicDump(64);
    badBcc.memory[4] ^= 0x01;
    save("badbcc.bin", badBcc);
    dump::Card badAccess = classicDump(64);
    badAccess.memory[16 * dump::classic::trailerOf(2) + 7] = 0x00;
    save("badaccess.eml", badAccess);
    dump::Card partial = classicDump(64);
    partial.known = std::vector<bool>(64, true);
    partial.known[9] = false;
    save("partial.mct", partial);
    save("ul20.bin", ultralightDump(20));
    dump::Card badCheck = ultralightDump(16);
    badCheck.memory[8] ^= 0x01;
    save("badcheck.bin", badCheck);
    save("tag.bin", dump::blankCard(dump::Family::Iso15693, 28));

    struct Case {
        const char* card;
        const char* message; // part of the message
    } const cases[] = {
        {R"("kind": "classic4k", "dump": "fine1k.bin")", "fine1k.bin: 64 blocks, but a classic4k has 256"},
        {R"("kind": "classic1k", "dump": "big4k.bin")", "256 blocks, but a classic1k has 64"},
        {R"("kind": "classic1k", "dump": "badbcc.bin", "uid": "11223344")",
         "badbcc.bin: block 0 does not start with the UID 11 22 33 44 and its check byte"},
        {R"("kind": "classic1k", "dump": "badaccess.eml")",
         "badaccess.eml: sector 2: impossible access bits"},
        {R"("kind": "classic1k", "dump": "partial.mct")", "block 9 was not read"},
        {R"("kind": "classic1k", "dump": "fine1k.bin", "uid": "01020304")", "the card's UID is 11 22 33 44"},
        {R"("kind": "classic1k", "dump": "fine1k.bin", "blocks": {})", "unknown member \"blocks\""},
        {R"("kind": "classic1k", "dump": "missing.bin")", "missing.bin"},
        {R"("kind": "ultralight", "dump": "ul20.bin")", "ul20.bin: 20 pages, but a ultralight has 16"},
        {R"("kind": "ultralight", "dump": "badcheck.bin")", "badcheck.bin: pages 0 to 2 do not hold the UID"},
        {R"("kind": "iso15693", "dump": "tag.bin", "data": "00000000")", "leave out \"blocks\" and \"data\""},
    };
    for (const auto& c : cases) {
        try {
            sim::parseScenario(std::string(R"({"cards": [{)") + c.card + "}]}", sim::allCardKinds(), dir);
            ADD_FAILURE() << "accepted " << c.card;
        } catch (const sim::ScenarioError& error) {
            const std::string message = error.what();
            EXPECT_EQ(message.rfind("cards[0] (", 0), 0u) << message;
            EXPECT_NE(message.find(c.message), std::string::npos) << c.card << "\n  gave: " << message;
        }
    }
    const auto fine = sim::parseScenario(R"({"cards": [{"kind": "classic1k", "dump": "fine1k.bin"}]})",
                                         sim::allCardKinds(), dir);
    EXPECT_EQ(fine.cards.at(0)->describe(), "Classic 1K 11 22 33 44");
    std::filesystem::remove_all(dir);
}

} // namespace
