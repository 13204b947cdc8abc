// Any bytes as a dump or key file, in every format and card family: the reader
// either refuses them with an Error or returns a card that writes back into a
// file it reads again as the same card.
// The first byte picks the reader: low bits the format (4 = key dictionary),
// then the family.
#include "formats/dump.h"

#include <cstdlib>

using namespace varrok::dump;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    if (size < 1) return 0;
    const unsigned pick = data[0] % 5;
    const auto family = static_cast<Family>(data[0] / 5 % 3);
    const std::string_view content(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        if (pick == 4) {
            parseKeys(content, "keys.dic");
            return 0;
        }
        const auto format = static_cast<Format>(pick);
        Card card = parse(content, format, family, "dump");
        if (card.known.size() != card.blockCount() ||
            card.memory.size() != card.blockCount() * card.blockSize)
            std::abort();
        if (parse(serialize(card, format), format, family, "again") != card) std::abort();
    } catch (const Error&) {
    }
    return 0;
}
