// MIFARE Classic layout: sectors of 4 blocks, and from sector 32 on (4K) of 16,
// each closed by a trailer: key A, the access bytes, key B.
#include "formats/dump.h"

#include <algorithm>

namespace varrok::dump::classic {

namespace {
constexpr std::size_t kSmallSectors = 32; // sectors 0-31 have 4 blocks
constexpr std::size_t kSmallBlocks = kSmallSectors * 4;
} // namespace

std::size_t sectorCount(std::size_t blocks) {
    switch (blocks) {
    case 20:
        return 5; // Mini
    case 64:
        return 16; // 1K
    case 128:
        return 32; // 2K
    case 256:
        return 40; // 4K
    default:
        return 0;
    }
}

std::size_t firstBlock(std::size_t sector) {
    return sector < kSmallSectors ? sector * 4 : kSmallBlocks + (sector - kSmallSectors) * 16;
}

std::size_t blocksIn(std::size_t sector) { return sector < kSmallSectors ? 4 : 16; }

std::size_t trailerOf(std::size_t sector) { return firstBlock(sector) + blocksIn(sector) - 1; }

std::size_t sectorOf(std::size_t block) {
    return block < kSmallBlocks ? block / 4 : kSmallSectors + (block - kSmallBlocks) / 16;
}

bool isTrailer(std::size_t block) { return block == trailerOf(sectorOf(block)); }

std::size_t accessGroup(std::size_t block) {
    auto offset = block - firstBlock(sectorOf(block));
    if (blocksIn(sectorOf(block)) == 4) return offset;
    return offset == 15 ? 3 : offset / 5;
}

// Byte 6: ~C2 (high nibble) ~C1 (low); byte 7: C1 ~C3; byte 8: C3 C2. Bit n of
// each nibble belongs to group n.
bool accessBitsValid(std::span<const std::uint8_t> access) {
    if (access.size() < 3) return false;
    auto nib = [&](std::size_t byte, bool high) { return (high ? access[byte] >> 4 : access[byte]) & 0x0F; };
    return nib(0, false) == (~nib(1, true) & 0x0F) && nib(0, true) == (~nib(2, false) & 0x0F) &&
           nib(1, false) == (~nib(2, true) & 0x0F);
}

std::uint8_t accessConditions(std::span<const std::uint8_t> access, std::size_t group) {
    if (access.size() < 3 || group > 3) return 0;
    auto bit = [&](std::uint8_t byte, int shift) { return (byte >> (shift + group)) & 1; };
    return static_cast<std::uint8_t>(bit(access[1], 4) << 2 | bit(access[2], 0) << 1 | bit(access[2], 4));
}

bool block0Valid(const Card& card) {
    if (card.family != Family::Classic || card.blockSize != 16 || card.memory.size() < 16) return false;
    if (!card.known.empty() && !card.known[0]) return false;
    const auto& m = card.memory;
    if (!card.uid.empty() &&
        (card.uid.size() > 10 || !std::equal(card.uid.begin(), card.uid.end(), m.begin())))
        return false;
    return card.uid.size() > 4 || (m[0] ^ m[1] ^ m[2] ^ m[3]) == m[4];
}

} // namespace varrok::dump::classic
