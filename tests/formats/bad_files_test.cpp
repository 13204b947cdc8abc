// Every reader refuses a broken file with a message naming the file and the place.
#include "formats/dump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

using namespace varrok::dump;

namespace {

std::string repeat(const std::string& line, std::size_t times) {
    std::string text;
    for (std::size_t i = 0; i < times; ++i)
        text += line;
    return text;
}

const std::string kZeroBlock = std::string(32, '0') + "\n";
const std::string kZeroBlockJson = "\"" + std::string(32, '0') + "\"";

// A Classic JSON dump: `card` and `blocks` are the members' insides; 1K of zero blocks by default.
std::string json(const std::string& blocks = "", const std::string& card = "\"UID\": \"01020304\"",
                 const std::string& rest = "") {
    std::string text = "{\"FileType\": \"mfc v2\", \"Card\": {" + card + "}, \"blocks\": {";
    if (blocks.empty())
        for (int b = 0; b < 64; ++b)
            text += (b ? ", \"" : "\"") + std::to_string(b) + "\": " + kZeroBlockJson;
    return text + blocks + "}" + rest + "}";
}

std::string mct(int sector, int blocks) {
    return "+Sector: " + std::to_string(sector) + "\n" + repeat(kZeroBlock, blocks);
}

struct Row {
    std::optional<Format> format; // none: a key dictionary
    Family family;
    std::string content;
    std::string message; // what the error must contain after "FILE: "
};

} // namespace

TEST(BadFiles, AreRefusedNamingThePlace) {
    const auto C = Family::Classic, U = Family::Ultralight, V = Family::Iso15693;
    const std::string sectorKey =
        ", \"SectorKeys\": {\"0\": {\"KeyA\": \"FFFFFFFFFFFF\", \"AccessConditions\": "
        "\"FF078069\"}}";
    const std::vector<Row> rows = {
        // .eml
        {Format::Eml, C, repeat(kZeroBlock, 63),
         "end of file: 63 blocks of 16 bytes, but a MIFARE Classic card"},
        {Format::Eml, C, repeat(kZeroBlock, 257), "line 257: more blocks than any MIFARE Classic card"},
        {Format::Eml, C, kZeroBlock + std::string(31, '0') + "\n", "line 2: odd number of hex digits (31)"},
        {Format::Eml, C, std::string(30, '0') + "\n", "line 1: 30 hex digits where 32 belong"},
        {Format::Eml, C, "G" + std::string(31, '0'), "line 1: 'G' is not a hex digit"},
        {Format::Eml, C, kZeroBlock + "\n" + kZeroBlock, "line 3: a block after a blank line"},
        {Format::Eml, C, "", "line 1: no blocks"},
        {Format::Eml, U, repeat("0000000\n", 16), "line 1: odd number of hex digits (7)"},
        {Format::Eml, V, "00000000\n0000\n", "line 2: 4 hex digits where 8 belong"},
        // binary
        {Format::Binary, C, std::string(1023, '\0'), "1023 bytes: no MIFARE Classic card holds that many"},
        {Format::Binary, C, std::string(4097, '\0'), "4097 bytes: no MIFARE Classic"},
        {Format::Binary, U, std::string(1025, '\0'), "1025 bytes: no MIFARE Ultralight card"},
        {Format::Binary, U, std::string(12, '\0'), "12 bytes: no MIFARE Ultralight card"},
        {Format::Binary, U, std::string(11, '\0') + "\x0F" + std::string(44 + 64, '\0'),
         "120 bytes: a 56-byte header before the pages"},
        {Format::Binary, V, "", "0 bytes: no ISO 15693 card"},
        // .mct
        {Format::Mct, C, kZeroBlock, "line 1: a block before the first '+Sector:' line"},
        {Format::Mct, C, mct(1, 4) + mct(0, 4), "line 6: sector 0 after sector 1"},
        {Format::Mct, C, mct(0, 4) + mct(0, 4), "line 6: sector 0 after sector 0"},
        {Format::Mct, C, mct(0, 3) + mct(1, 4), "line 1: sector 0 has 3 blocks, it takes 4"},
        {Format::Mct, C, mct(32, 15), "line 1: sector 32 has 15 blocks, it takes 16"},
        {Format::Mct, C, mct(0, 5), "line 6: sector 0 takes only 4 blocks"},
        {Format::Mct, C, "+Sector: x\n", "line 1: '+Sector:' takes a sector number"},
        {Format::Mct, C, "+Sector: 40\n", "line 1: sector 40 is beyond any card"},
        {Format::Mct, C, "+Sector: 0\n" + repeat(kZeroBlock, 3) + "--------",
         "line 5: 8 hex digits where 32"},
        {Format::Mct, C, "", "line 1: no '+Sector:' line"},
        {Format::Mct, U, mct(0, 4), "line 1: .mct files hold MIFARE Classic dumps only"},
        // Proxmark3 JSON
        {Format::Json, C, "{\"FileType\": ", "line 1, column 14: syntax error while parsing value"},
        {Format::Json, C, "[]", "top level: must be a JSON object"},
        {Format::Json, C, "{\"FileType\": 1E400}", "number overflow parsing '1E400'"},
        {Format::Json, C, "{\"FileType\": \"mfc v2\", \"FileType\": \"mfc v2\"}", "FileType: given twice"},
        {Format::Json, C, json("\"0\": " + kZeroBlockJson + ", \"0\": " + kZeroBlockJson),
         "blocks.\"0\": given twice"},
        {Format::Json, C, "{\"Card\": {}, \"blocks\": {}}", "FileType: missing"},
        {Format::Json, C, "{\"FileType\": \"mfu\"}", "FileType: \"mfu\" is no MIFARE Classic dump"},
        {Format::Json, C, "{\"FileType\": \"mfc v2\", \"blocks\": {}}", "Card: missing"},
        {Format::Json, C, "{\"FileType\": \"mfc v2\", \"Card\": {}}", "blocks: missing"},
        {Format::Json, C, json("\"0\": " + kZeroBlockJson + ", \"2\": " + kZeroBlockJson),
         "blocks.\"1\": missing"},
        {Format::Json, C, json("\"0\": " + kZeroBlockJson + ", \"256\": " + kZeroBlockJson),
         "blocks.\"256\": beyond"},
        {Format::Json, C, json("\"01\": " + kZeroBlockJson), "blocks.\"01\": not a block number"},
        {Format::Json, C, json("\"0\": 5"), "blocks.\"0\": must be a string"},
        {Format::Json, C, json("\"0\": \"00\""), "blocks.\"0\": 2 hex digits where 32 belong"},
        {Format::Json, C, json("\"0\": " + kZeroBlockJson),
         "blocks: 1 blocks of 16 bytes, but a MIFARE Classic"},
        {Format::Json, C, json("", "\"UID\": \"0102030405\""),
         "Card.UID: 10 hex digits: a UID takes 4, 7, 10"},
        {Format::Json, C, json("", "\"ATQA\": \"04\""), "Card.ATQA: 2 hex digits: an ATQA takes 2 bytes"},
        {Format::Json, C, json("", "\"SAK\": \"0808\""), "Card.SAK: 4 hex digits: SAK takes 1 byte"},
        {Format::Json, C, json("", "\"UID\": \"0102030X\""), "Card.UID: 'X' is not a hex digit"},
        {Format::Json, C, json("", "\"UID\": 1"), "Card.UID: must be a string"},
        {Format::Json, C, json("", "", sectorKey), "SectorKeys.\"0\".KeyB: missing"},
        {Format::Json, C, json("", "", ", \"SectorKeys\": {\"16\": {}}"),
         "SectorKeys.\"16\": no sector of a card"},
        {Format::Json, C, "{\"a\": [[[[[[[[[]]]]]]]]]}", "a: nested deeper than any dump"},
        {Format::Json, V, "{\"FileType\": \"15693\", \"Card\": {\"UID\": \"E004\"}}",
         "Card.UID: 4 hex digits"},
        {Format::Json, V,
         "{\"FileType\": \"15693\", \"Card\": {}, \"blocks\": {\"0\": \"00\", \"1\": \"0000\"}}",
         "blocks.\"1\": 4 hex digits where 2 belong"},
        // key dictionaries
        {std::nullopt, C, "# keys\nFFFFFFFFFF\n", "line 2: 10 hex digits where 12 belong"},
        {std::nullopt, C, "FFFFFFFFFFFFF\n", "line 1: odd number of hex digits (13)"},
        {std::nullopt, C, "\n\nA0A1A2A3A4AG # MAD\n", "line 3: 'G' is not a hex digit"},
        {std::nullopt, C, "FFFFFF FFFFFF\n", "line 1: a key is 12 hex digits without spaces"},
        {std::nullopt, C, "FFFFFFFFFFF\x01\n", "line 1: byte 01 is not a hex digit"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.message);
        try {
            if (row.format)
                parse(row.content, *row.format, row.family, "bad.file");
            else
                parseKeys(row.content, "bad.file");
            ADD_FAILURE() << "accepted";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()).find("bad.file: " + row.message), 0u) << e.what();
        }
    }
}

// Member order carries no meaning in JSON: a tool that sorts members as text
// writes "10" before "2", and the dump still reads block by block.
TEST(JsonDumps, BlocksSortedAsTextAreRead) {
    std::vector<std::string> keys;
    for (int b = 0; b < 64; ++b)
        keys.push_back(std::to_string(b));
    std::sort(keys.begin(), keys.end());
    std::string blocks;
    for (const auto& key : keys) {
        char byte[3];
        std::snprintf(byte, sizeof byte, "%02X", std::stoi(key));
        std::string block;
        for (int i = 0; i < 16; ++i)
            block += byte;
        blocks += (blocks.empty() ? "\"" : ", \"") + key + "\": \"" + block + "\"";
    }
    const Card card = parse(json(blocks), Format::Json, Family::Classic, "sorted.json");
    ASSERT_EQ(card.blockCount(), 64u);
    for (std::size_t b = 0; b < 64; ++b)
        EXPECT_EQ(card.block(b)[15], b);
}
