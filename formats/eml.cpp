// .eml dumps: one block a line in hex, "-" for every digit of a block not read.
#include "formats/codec.h"

namespace varrok::dump {

Card parseEml(std::string_view content, Family family, const std::string& name) {
    Card card;
    card.family = family;
    // ISO 15693 blocks take their size from the first line; the others are fixed.
    card.blockSize = family == Family::Iso15693 ? 0 : defaultBlockSize(family);
    Lines lines(content);
    std::size_t blankSince = 0; // blank lines are allowed at the end only
    while (lines.next()) {
        auto where = lines.where(name);
        if (lines.text().empty()) {
            if (!blankSince) blankSince = card.known.size() + 1;
            continue;
        }
        if (blankSince) where.fail("a block after a blank line");
        if (card.known.size() == maxBlocks(family))
            where.fail(std::string("more blocks than any ") + familyName(family) + " card has");
        auto block = parseBlock(lines.text(), card.blockSize, where);
        if (card.blockSize == 0) card.blockSize = lines.text().size() / 2;
        appendBlock(card, block);
    }
    if (card.known.empty()) Where{name, "line 1"}.fail("no blocks");
    checkShape(card, {name, "end of file"});
    card.uid = uidFromMemory(card);
    return card;
}

std::string serializeEml(const Card& card) {
    checkWritable(card, "eml");
    std::string text;
    for (std::size_t b = 0; b < card.blockCount(); ++b)
        text += blockText(card, b) + "\n";
    return text;
}

} // namespace varrok::dump
