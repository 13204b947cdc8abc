// Plain binary dumps (.bin, .mfd, .dump): the memory alone, blocks in order.
// Nothing marks a block that was not read: it is written as zeros.
#include "formats/codec.h"

namespace varrok::dump {

Card parseBinary(std::string_view content, Family family, const std::string& name) {
    Card card;
    card.family = family;
    card.blockSize = defaultBlockSize(family); // an ISO 15693 binary dump is taken as 4-byte blocks
    if (content.size() % card.blockSize ||
        !shapeFits(family, content.size() / card.blockSize, card.blockSize))
        Where{name, std::to_string(content.size()) + " bytes"}.fail(std::string("no ") + familyName(family) +
                                                                    " card holds that many");
    card.memory.assign(content.begin(), content.end());
    card.known.assign(card.blockCount(), true);
    card.uid = uidFromMemory(card);
    // The field's other Ultralight binary form puts a 56-byte header (version, signature, counters;
    // byte 11 the last page number) before the pages. Read as memory it would pass for pages whose
    // check bytes fail, and a restore would write the header to the card: refuse it by name.
    constexpr std::size_t kHeader = 56;
    const auto lastPage = content.size() > 11 ? static_cast<unsigned char>(content[11]) : 0;
    if (family == Family::Ultralight && card.uid.empty() && content.size() == kHeader + 4 * (lastPage + 1))
        Where{name, std::to_string(content.size()) + " bytes"}.fail(
            "a 56-byte header before the pages: only plain memory dumps are read (the JSON form carries it "
            "all)");
    return card;
}

std::string serializeBinary(const Card& card) {
    checkWritable(card, "bin");
    return {card.memory.begin(), card.memory.end()};
}

} // namespace varrok::dump
