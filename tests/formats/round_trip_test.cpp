// Writing a card and reading it back gives the same card, in every format;
// files are written whole or not at all and read within a bound.
#include "formats/dump.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace varrok::dump;
namespace fs = std::filesystem;

namespace {

// A card with varied memory whose identity agrees with its memory, as a real dump's does.
Card sampleCard(Family family, std::size_t blocks, std::size_t blockSize, bool header) {
    Card card = blankCard(family, blocks, blockSize);
    for (std::size_t i = 0; i < card.memory.size(); ++i)
        card.memory[i] = static_cast<std::uint8_t>(i * 37 + 11);
    auto& m = card.memory;
    if (family == Family::Classic) {
        m[4] = m[0] ^ m[1] ^ m[2] ^ m[3];
        card.uid.assign(m.begin(), m.begin() + 4);
    } else if (family == Family::Ultralight) {
        m[3] = 0x88 ^ m[0] ^ m[1] ^ m[2];
        m[8] = m[4] ^ m[5] ^ m[6] ^ m[7];
        card.uid = {m[0], m[1], m[2], m[4], m[5], m[6], m[7]};
    } else if (header) {
        card.uid = {0xE0, 0x04, 1, 2, 3, 4, 5, 6};
        card.dsfid = 0x12;
        card.afi = 0x00;
    }
    if (header && family != Family::Iso15693) {
        card.atqa = {0x44, 0x00};
        card.sak = 0x08;
    }
    return card;
}

void forget(Card& card, std::size_t block) {
    card.known[block] = false;
    std::fill_n(card.memory.begin() + block * card.blockSize, card.blockSize, 0);
}

struct Case {
    Family family;
    Format format;
    std::size_t blocks, blockSize;
};

} // namespace

TEST(RoundTrip, EveryFormatGivesBackTheSameCard) {
    const auto C = Family::Classic, U = Family::Ultralight, V = Family::Iso15693;
    const std::vector<Case> cases = {
        {C, Format::Json, 64, 16},    {C, Format::Json, 256, 16}, {C, Format::Binary, 20, 16},
        {C, Format::Binary, 256, 16}, {C, Format::Eml, 128, 16},  {C, Format::Mct, 256, 16},
        {C, Format::Mct, 20, 16},     {U, Format::Json, 48, 4},   {U, Format::Binary, 16, 4},
        {U, Format::Eml, 231, 4},     {V, Format::Json, 28, 8},   {V, Format::Binary, 64, 4},
        {V, Format::Eml, 256, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(familyKey(c.family)) + " " + formatName(c.format) + " " +
                     std::to_string(c.blocks));
        Card card = sampleCard(c.family, c.blocks, c.blockSize, c.format == Format::Json);
        EXPECT_EQ(parse(serialize(card, c.format), c.format, c.family, "x"), card);
        if (c.format == Format::Binary) continue; // a binary dump cannot mark blocks not read
        forget(card, 0);                          // with block 0 unread, the header-less formats know no UID
        forget(card, c.blocks - 1);               // the last trailer on a Classic card
        forget(card, c.blocks / 2);
        if (c.format != Format::Json) card.uid.clear();
        Card back = parse(serialize(card, c.format), c.format, c.family, "x");
        EXPECT_EQ(back, card);
        EXPECT_TRUE(back.partial());
    }
}

TEST(RoundTrip, ReadsProxmarkStyleClassicJsonAndWritesItsMembers) {
    std::string blocks;
    for (int b = 0; b < 20; ++b)
        blocks += (b ? ",\n    \"" : "\"") + std::to_string(b) + "\": \"" +
                  (b == 0       ? std::string("01020304040804006263646566676869")
                   : b % 4 == 3 ? std::string("A0A1A2A3A4A5787788C1B0B1B2B3B4B5")
                                : std::string(32, b % 2 ? 'f' : '0')) +
                  "\"";
    const std::string text = R"({
  "Created": "proxmark3",
  "FileType": "mfc v2",
  "Card": {"UID": "01020304", "ATQA": "0400", "SAK": "08"},
  "blocks": {)" + blocks + R"(},
  "SectorKeys": {"0": {"KeyA": "A0A1A2A3A4A5", "KeyB": "B0B1B2B3B4B5", "AccessConditions": "787788C1",
                       "AccessConditionsText": {"block0": "read AB", "UserData": "C1"}}}
})";
    Card card = parse(text, Format::Json, Family::Classic, "pm3.json");
    EXPECT_EQ(card.uid, (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(card.atqa, (Bytes{0x04, 0x00}));
    EXPECT_EQ(card.sak, 0x08);
    ASSERT_EQ(card.blockCount(), 20u);
    EXPECT_EQ(card.block(1)[0], 0xFF);
    EXPECT_EQ(card.block(7)[6], 0x78);
    EXPECT_FALSE(card.partial());

    auto written = nlohmann::json::parse(serialize(card, Format::Json));
    EXPECT_EQ(written["FileType"], "mfc v2");
    EXPECT_EQ(written["Card"]["ATQA"], "0400");
    EXPECT_EQ(written["blocks"]["19"], "A0A1A2A3A4A5787788C1B0B1B2B3B4B5");
    const auto& sector4 = written["SectorKeys"]["4"];
    EXPECT_EQ(sector4["KeyB"], "B0B1B2B3B4B5");
    EXPECT_EQ(sector4["AccessConditions"], "787788C1");
    EXPECT_EQ(sector4["AccessConditionsText"]["block16"], "read AB; write B; no increment or decrement");
    EXPECT_EQ(sector4["AccessConditionsText"]["block19"],
              "key A: write by B; access bits: read by A and B, write by B; key B: write by B");
    EXPECT_EQ(sector4["AccessConditionsText"]["UserData"], "C1");
}

TEST(RoundTrip, KeyDictionaryKeepsFileOrderOnce) {
    auto keys = parseKeys("# default keys\r\n  FFFFFFFFFFFF  \n\na0a1a2a3a4a5 # MAD key\nFFFFFFFFFFFF\n"
                          "D3F7D3F7D3F7",
                          "k.dic");
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0], (Key{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(keys[1], (Key{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}));
    EXPECT_EQ(keys[2], (Key{0xD3, 0xF7, 0xD3, 0xF7, 0xD3, 0xF7}));
    EXPECT_TRUE(parseKeys("", "k.dic").empty());
}

TEST(RoundTrip, FilesAreWrittenWholeAndReadWithinABound) {
    auto dir = fs::temp_directory_path() / ("varrok-formats-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    Card card = sampleCard(Family::Classic, 64, 16, true);
    for (const char* name : {"card.json", "card.MFD", "card.eml", "card.mct"}) {
        auto path = (dir / name).string();
        write(path, card, formatOf(path));
        Card back = read(path, Family::Classic);
        EXPECT_EQ(back.memory, card.memory) << name;
        EXPECT_EQ(back.uid, card.uid) << name;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 4); // no temporary left

    std::ofstream(dir / "huge.bin") << std::string((1 << 20) + 1, '\0');
    std::ofstream(dir / "keys.dic") << std::string((1 << 20) + 1, '#');
    auto refusal = [](auto call) {
        try {
            call();
        } catch (const Error& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    auto p = [&](const char* name) { return (dir / name).string(); };
    EXPECT_EQ(
        refusal([&] { read(p("huge.bin"), Family::Classic); }).find(p("huge.bin") + ": larger than 1024 KiB"),
        0u);
    EXPECT_NE(refusal([&] { readKeys(p("keys.dic")); }).find("larger than"), std::string::npos);
    EXPECT_EQ(refusal([&] { read(p("absent.eml"), Family::Classic); }),
              p("absent.eml") + ": cannot open: No such file or directory");
    EXPECT_EQ(
        refusal([&] { read(p("card.txt"), Family::Classic); }).find(p("card.txt") + ": not a dump file name"),
        0u);
    EXPECT_NE(refusal([&] { write(p("none/x.eml"), card, Format::Eml); }).find("cannot create"),
              std::string::npos);
    Card odd = card;
    odd.memory.pop_back();
    EXPECT_NE(refusal([&] { write(p("card.eml"), odd, Format::Eml); }).find("no whole number of blocks"),
              std::string::npos);
    EXPECT_EQ(read(p("card.eml"), Family::Classic).memory,
              card.memory); // the refused write left the file alone
    fs::remove_all(dir);
}
