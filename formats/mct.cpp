// MIFARE Classic Tool dumps (.mct): a "+Sector: N" line before each sector's
// blocks, one block a line in hex, "--" for each byte not read. A block with
// any "-" counts as not read. Sectors left out of the file were not read; the
// card is the smallest Classic card that holds the highest sector present
// (this writer writes every sector, so its files keep their size).
#include "formats/codec.h"

#include <charconv>

namespace varrok::dump {

namespace {

constexpr std::string_view kHeader = "+Sector:";

// The sector number of a header line, or std::nullopt for a line that is no header.
std::optional<std::size_t> headerSector(std::string_view line, const Where& where) {
    if (line.substr(0, kHeader.size()) != kHeader) return std::nullopt;
    auto number = line.substr(kHeader.size());
    while (!number.empty() && number.front() == ' ')
        number.remove_prefix(1);
    while (!number.empty() && number.back() == ' ')
        number.remove_suffix(1);
    std::size_t sector = 0;
    auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), sector);
    if (number.empty() || error != std::errc{} || end != number.data() + number.size())
        where.fail("'+Sector:' takes a sector number");
    if (sector >= classic::sectorCount(256))
        where.fail("sector " + std::to_string(sector) + " is beyond any card");
    return sector;
}

} // namespace

Card parseMct(std::string_view content, Family family, const std::string& name) {
    if (family != Family::Classic) Where{name, "line 1"}.fail(".mct files hold MIFARE Classic dumps only");
    // Blocks by number as read; unknown until a sector's lines fill them.
    std::vector<std::optional<Bytes>> blocks(maxBlocks(Family::Classic));
    std::optional<std::size_t> sector;
    std::size_t inSector = 0;
    std::string headerPlace;
    auto closeSector = [&] {
        if (sector && inSector != classic::blocksIn(*sector))
            Where{name, headerPlace}.fail("sector " + std::to_string(*sector) + " has " +
                                          std::to_string(inSector) + " blocks, it takes " +
                                          std::to_string(classic::blocksIn(*sector)));
    };
    Lines lines(content);
    while (lines.next()) {
        auto where = lines.where(name);
        if (lines.text().empty()) continue;
        if (auto next = headerSector(lines.text(), where)) {
            closeSector();
            if (sector && *next <= *sector)
                where.fail("sector " + std::to_string(*next) + " after sector " + std::to_string(*sector));
            sector = next;
            inSector = 0;
            headerPlace = where.place;
            continue;
        }
        if (!sector) where.fail("a block before the first '+Sector:' line");
        if (inSector == classic::blocksIn(*sector))
            where.fail("sector " + std::to_string(*sector) + " takes only " +
                       std::to_string(classic::blocksIn(*sector)) + " blocks");
        blocks[classic::firstBlock(*sector) + inSector++] = parseBlock(lines.text(), 16, where);
    }
    if (!sector) Where{name, "line 1"}.fail("no '+Sector:' line");
    closeSector();

    std::size_t count = 20;
    while (classic::sectorCount(count) <= *sector)
        count = count == 20 ? 64 : count * 2;
    Card card;
    card.family = Family::Classic;
    for (std::size_t b = 0; b < count; ++b)
        appendBlock(card, blocks[b]);
    card.uid = uidFromMemory(card);
    return card;
}

std::string serializeMct(const Card& card) {
    if (card.family != Family::Classic)
        throw Error(std::string("writing a mct dump: ") + familyName(card.family) +
                    ": .mct files hold MIFARE Classic dumps only");
    checkWritable(card, "mct");
    std::string text;
    for (std::size_t s = 0; s < classic::sectorCount(card.blockCount()); ++s) {
        text += "+Sector: " + std::to_string(s) + "\n";
        for (std::size_t b = classic::firstBlock(s); b <= classic::trailerOf(s); ++b)
            text += blockText(card, b) + "\n";
    }
    return text;
}

} // namespace varrok::dump
