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
    return card;
}

std::string serializeBinary(const Card& card) {
    checkWritable(card, "binary");
    return {card.memory.begin(), card.memory.end()};
}

} // namespace varrok::dump
