// The shape of each card family's memory, and what every reader and writer
// checks against it.
#include "formats/codec.h"

#include <algorithm>
#include <array>

namespace varrok::dump {

namespace {

// Ultralight (16), EV1 (20, 41), NTAG203 (42), NTAG213/215/216 (45, 135, 231), Ultralight C (48).
constexpr std::array<std::size_t, 8> kUltralightPages{16, 20, 41, 42, 45, 48, 135, 231};
constexpr std::size_t kMax15693Blocks = 256; // block numbers are one byte
constexpr std::size_t kMax15693BlockSize = 32;

std::string shapeRule(Family family) {
    switch (family) {
    case Family::Classic:
        return "a MIFARE Classic card has 20, 64, 128 or 256 blocks of 16 bytes";
    case Family::Ultralight:
        return "a MIFARE Ultralight has 16, 20, 41, 42, 45, 48, 135 or 231 pages of 4 bytes";
    case Family::Iso15693:
        return "an ISO 15693 tag has 1 to 256 blocks of 1 to 32 bytes";
    }
    return {};
}

} // namespace

bool Card::partial() const { return std::find(known.begin(), known.end(), false) != known.end(); }

const char* familyName(Family family) {
    switch (family) {
    case Family::Classic:
        return "MIFARE Classic";
    case Family::Ultralight:
        return "MIFARE Ultralight";
    case Family::Iso15693:
        return "ISO 15693";
    }
    return "";
}

const char* familyKey(Family family) {
    switch (family) {
    case Family::Classic:
        return "classic";
    case Family::Ultralight:
        return "ultralight";
    case Family::Iso15693:
        return "iso15693";
    }
    return "";
}

std::optional<Family> familyFromKey(std::string_view key) {
    for (auto family : {Family::Classic, Family::Ultralight, Family::Iso15693})
        if (key == familyKey(family)) return family;
    return std::nullopt;
}

std::size_t defaultBlockSize(Family family) { return family == Family::Classic ? 16 : 4; }

std::size_t maxBlocks(Family family) {
    switch (family) {
    case Family::Classic:
        return 256;
    case Family::Ultralight:
        return kUltralightPages.back();
    case Family::Iso15693:
        return kMax15693Blocks;
    }
    return 0;
}

bool shapeFits(Family family, std::size_t blocks, std::size_t blockSize) {
    switch (family) {
    case Family::Classic:
        return blockSize == 16 && classic::sectorCount(blocks) != 0;
    case Family::Ultralight:
        return blockSize == 4 &&
               std::find(kUltralightPages.begin(), kUltralightPages.end(), blocks) != kUltralightPages.end();
    case Family::Iso15693:
        return blockSize >= 1 && blockSize <= kMax15693BlockSize && blocks >= 1 && blocks <= kMax15693Blocks;
    }
    return false;
}

Card blankCard(Family family, std::size_t blocks, std::size_t blockSize) {
    Card card;
    card.family = family;
    card.blockSize = blockSize ? blockSize : defaultBlockSize(family);
    card.memory.assign(blocks * card.blockSize, 0);
    card.known.assign(blocks, true);
    return card;
}

void appendBlock(Card& card, const std::optional<Bytes>& block) {
    if (block)
        card.memory.insert(card.memory.end(), block->begin(), block->end());
    else
        card.memory.resize(card.memory.size() + card.blockSize, 0);
    card.known.push_back(block.has_value());
}

void checkShape(const Card& card, const Where& where) {
    if (!shapeFits(card.family, card.blockCount(), card.blockSize))
        where.fail(std::to_string(card.blockCount()) + " blocks of " + std::to_string(card.blockSize) +
                   " bytes, but " + shapeRule(card.family));
}

void checkWritable(const Card& card, const char* format) {
    const std::string name = std::string("writing a ") + format + " dump";
    Where where{name, familyName(card.family)};
    if (card.blockSize == 0 || card.memory.size() % card.blockSize)
        where.fail(std::to_string(card.memory.size()) + " bytes of memory are no whole number of blocks");
    if (!card.known.empty() && card.known.size() != card.blockCount())
        where.fail(std::to_string(card.known.size()) + " block marks for " +
                   std::to_string(card.blockCount()) + " blocks");
    checkShape(card, where);
    if (card.atqa.size() != 0 && card.atqa.size() != 2)
        where.fail("an ATQA of " + std::to_string(card.atqa.size()) + " bytes");
}

Bytes uidFromMemory(const Card& card) {
    auto known = [&](std::size_t block) { return card.known.empty() || card.known[block]; };
    const auto& m = card.memory;
    if (card.family == Family::Classic && card.blockCount() > 0 && known(0) && card.blockSize == 16) {
        if ((m[0] ^ m[1] ^ m[2] ^ m[3]) == m[4]) return Bytes(m.begin(), m.begin() + 4);
    } else if (card.family == Family::Ultralight && card.blockSize == 4 && card.blockCount() >= 3 &&
               known(0) && known(1) && known(2)) {
        // Pages 0-2: UID0 UID1 UID2 BCC0 | UID3-UID6 | BCC1 ...; BCC0 includes the cascade tag 0x88.
        if ((0x88 ^ m[0] ^ m[1] ^ m[2]) == m[3] && (m[4] ^ m[5] ^ m[6] ^ m[7]) == m[8])
            return Bytes{m[0], m[1], m[2], m[4], m[5], m[6], m[7]};
    }
    return {};
}

} // namespace varrok::dump
