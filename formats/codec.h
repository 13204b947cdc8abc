// What the format readers and writers share: the place in a file for error
// messages, hex text of blocks (with "-" for digits not read), and the
// entry points of each format. Not part of the module's interface.
#pragma once

#include "formats/dump.h"

#include <optional>
#include <string>
#include <string_view>

namespace varrok::dump {

// A place in a file ("line 7", `blocks."12"`); fail() throws the module's Error.
struct Where {
    const std::string& file;
    std::string place;
    [[noreturn]] void fail(const std::string& problem) const;
};

// Uppercase hex, two digits a byte.
std::string toHex(std::span<const std::uint8_t> bytes);
// A block as text: its hex, or "-" for every digit when the block was not read.
std::string blockText(const Card& card, std::size_t block);
// Exactly `bytes` bytes of hex digits (either case).
Bytes parseHex(std::string_view text, std::size_t bytes, const Where& where);
// A block's text: `bytes` bytes of hex, where a block with any "-" is one that
// was not read (std::nullopt). bytes 0 takes the size from the text (1-32 bytes).
std::optional<Bytes> parseBlock(std::string_view text, std::size_t bytes, const Where& where);

// Appends a block (zeros and marked unknown when not read).
void appendBlock(Card& card, const std::optional<Bytes>& block);
// Refuses a card whose block count no card of its family has.
void checkShape(const Card& card, const Where& where);
// Refuses to write a card that is not whole: memory, `known` and its shape.
void checkWritable(const Card& card, const char* format);
// The most blocks any card of the family has: a reader stops there.
std::size_t maxBlocks(Family family);

// One reader and one writer per format.
Card parseJson(std::string_view content, Family family, const std::string& name);
std::string serializeJson(const Card& card);
Card parseBinary(std::string_view content, Family family, const std::string& name);
std::string serializeBinary(const Card& card);
Card parseEml(std::string_view content, Family family, const std::string& name);
std::string serializeEml(const Card& card);
Card parseMct(std::string_view content, Family family, const std::string& name);
std::string serializeMct(const Card& card);

// The lines of a text file one by one (without "\n" or a "\r" before it).
class Lines {
  public:
    explicit Lines(std::string_view content) : rest_(content) {}
    bool next(); // false past the last line
    std::string_view text() const { return line_; }
    Where where(const std::string& file) const { return {file, "line " + std::to_string(number_)}; }

  private:
    std::string_view rest_, line_;
    std::size_t number_ = 0;
};

} // namespace varrok::dump
