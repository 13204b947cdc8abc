// Card memory dumps and key dictionaries in the file formats the field's tools
// exchange, one reader and one writer per format. The command-line tool writes
// and reads them, the simulator loads them as cards, the tests compare them.
//
// Every file is untrusted input: a reader never reads or allocates beyond what
// the file holds, and any fault (truncated, oversized, non-hex, wrong block
// count, duplicate or missing member) throws Error naming the file and the
// place. Nothing half-read is ever returned.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace varrok::dump {

using Bytes = std::vector<std::uint8_t>;

enum class Family { Classic, Ultralight, Iso15693 };

// Proxmark3 JSON, plain binary (.bin/.mfd/.dump), .eml (a block a line in hex),
// MIFARE Classic Tool .mct ("+Sector: N" headers, "--" for bytes not read).
enum class Format { Json, Binary, Eml, Mct };

// One card's memory, blocks in order. Ultralight pages and ISO 15693 blocks are
// "blocks" of 4 bytes (15693: of the tag's block size); Classic blocks are 16.
struct Card {
    Family family = Family::Classic;
    Bytes uid;                        // as the reader reports it
    Bytes atqa;                       // Type A: 2 bytes as the card sends them (LSB first); may be empty
    std::optional<std::uint8_t> sak;  // Type A
    std::optional<std::uint8_t> dsfid; // ISO 15693
    std::optional<std::uint8_t> afi;   // ISO 15693
    std::size_t blockSize = 16;
    Bytes memory;                     // blockCount() * blockSize bytes
    std::vector<bool> known;          // one per block: false = not read (a partial dump)

    std::size_t blockCount() const { return blockSize ? memory.size() / blockSize : 0; }
    std::span<const std::uint8_t> block(std::size_t n) const {
        return {memory.data() + n * blockSize, blockSize};
    }
    bool partial() const;
    bool operator==(const Card&) const = default;
};

// Blocks a reader could not read hold zeros and are marked unknown; an empty
// `known` counts as every block read. Readers always fill `known` in full.

// The shape of each family's memory. Ultralight: the page counts of the
// Ultralight, Ultralight C, EV1 and NTAG parts; ISO 15693: 1 to 256 blocks of
// 1 to 32 bytes (4 on most tags; a binary dump is taken as 4-byte blocks).
const char* familyName(Family family); // "MIFARE Classic", "MIFARE Ultralight", "ISO 15693"
const char* familyKey(Family family);  // "classic", "ultralight", "iso15693"
std::optional<Family> familyFromKey(std::string_view key);
std::size_t defaultBlockSize(Family family); // 16, 4, 4
bool shapeFits(Family family, std::size_t blocks, std::size_t blockSize);
// A card of the family with every block read and zero; blockSize 0 = the family's default.
Card blankCard(Family family, std::size_t blocks, std::size_t blockSize = 0);
// The UID the card's own memory holds, for formats that carry no header:
// Classic block 0 with a 4-byte UID and its BCC, Ultralight pages 0-2 with
// both check bytes; empty when there is none (ISO 15693, 7-byte Classic).
Bytes uidFromMemory(const Card& card);

// "FILE: place: problem", for example "card.eml: line 7: 'G' is not a hex digit".
class Error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The format a file name stands for, by its extension; throws Error for an unknown one.
Format formatOf(const std::string& path);
const char* formatName(Format format); // "json", "binary", "eml", "mct"
std::optional<Format> formatFromName(std::string_view name);

// Reads a whole file (bounded: larger than any card's dump is refused) and parses it.
Card read(const std::string& path, Family family);
// Parses file contents; `name` is the file name used in error messages.
Card parse(std::string_view content, Format format, Family family, const std::string& name);
// The file contents for a card; a binary dump cannot mark unread blocks (they are zeros).
std::string serialize(const Card& card, Format format);
// Writes through a temporary file and a rename, so a failed write leaves no half file.
void write(const std::string& path, const Card& card, Format format);

// Key dictionaries (.dic): one 12-digit hex key a line, '#' comments, blank lines.
// Keys come back in file order, each once (a repeated key is tried only once).
using Key = std::array<std::uint8_t, 6>;
std::vector<Key> readKeys(const std::string& path);
std::vector<Key> parseKeys(std::string_view content, const std::string& name);

// MIFARE Classic layout: Mini (20 blocks), 1K (64), 2K (128), 4K (256).
namespace classic {
std::size_t sectorCount(std::size_t blocks); // 0 when no Classic card has that many blocks
std::size_t firstBlock(std::size_t sector);
std::size_t blocksIn(std::size_t sector);    // 4, or 16 from sector 32 on
std::size_t trailerOf(std::size_t sector);
std::size_t sectorOf(std::size_t block);
bool isTrailer(std::size_t block);
// Which access-bit group (0-3) of its sector covers a block: one per block in
// 4-block sectors, blocks 0-4, 5-9, 10-14 and the trailer in 16-block ones.
std::size_t accessGroup(std::size_t block);
// The conditions C1 C2 C3 of one group as a 3-bit number (C1 the high bit).
std::uint8_t accessConditions(std::span<const std::uint8_t> access, std::size_t group);
// The three access bytes (trailer bytes 6-8) carry each bit twice, once inverted.
bool accessBitsValid(std::span<const std::uint8_t> access);
// Block 0 of a 4-byte UID card: its BCC (byte 4) is the XOR of bytes 0-3.
// When the card's UID is known, block 0 must also start with it (a 7- or
// 10-byte UID has no BCC there: only that start is checked).
bool block0Valid(const Card& card);
} // namespace classic

} // namespace varrok::dump
