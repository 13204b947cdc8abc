// Hex text of bytes and blocks, shared by every text format.
#include "formats/codec.h"

#include <cstdio>

namespace varrok::dump {

void Where::fail(const std::string& problem) const { throw Error(file + ": " + place + ": " + problem); }

namespace {

constexpr std::size_t kMaxTextBlock = 32; // bytes: the largest ISO 15693 block

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A character as a message shows it: printable ones as themselves.
std::string shown(char c) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7F) return std::string("'") + c + "'";
    char code[8];
    std::snprintf(code, sizeof code, "byte %02X", u);
    return code;
}

// Checks the length and that every character is a hex digit (or '-', when allowed).
void checkDigits(std::string_view text, std::size_t bytes, bool dashAllowed, const Where& where) {
    if (text.size() % 2) where.fail("odd number of hex digits (" + std::to_string(text.size()) + ")");
    if (text.size() != 2 * bytes)
        where.fail(std::to_string(text.size()) + " hex digits where " + std::to_string(2 * bytes) +
                   " belong");
    for (char c : text)
        if (digitValue(c) < 0 && !(dashAllowed && c == '-')) where.fail(shown(c) + " is not a hex digit");
}

} // namespace

std::string toHex(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(2 * bytes.size());
    for (auto b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

std::string blockText(const Card& card, std::size_t block) {
    if (!card.known.empty() && !card.known[block]) return std::string(2 * card.blockSize, '-');
    return toHex(card.block(block));
}

Bytes parseHex(std::string_view text, std::size_t bytes, const Where& where) {
    checkDigits(text, bytes, false, where);
    Bytes out(bytes);
    for (std::size_t i = 0; i < bytes; ++i)
        out[i] = static_cast<std::uint8_t>(digitValue(text[2 * i]) << 4 | digitValue(text[2 * i + 1]));
    return out;
}

std::optional<Bytes> parseBlock(std::string_view text, std::size_t bytes, const Where& where) {
    if (bytes == 0) {
        if (text.empty() || text.size() > 2 * kMaxTextBlock)
            where.fail(std::to_string(text.size()) + " hex digits: a block takes 2 to " +
                       std::to_string(2 * kMaxTextBlock));
        bytes = (text.size() + 1) / 2;
    }
    checkDigits(text, bytes, true, where);
    if (text.find('-') != std::string_view::npos) return std::nullopt;
    return parseHex(text, bytes, where);
}

bool Lines::next() {
    if (rest_.empty()) return false;
    auto end = rest_.find('\n');
    line_ = rest_.substr(0, end);
    if (!line_.empty() && line_.back() == '\r') line_.remove_suffix(1);
    rest_ = end == std::string_view::npos ? std::string_view{} : rest_.substr(end + 1);
    ++number_;
    return true;
}

} // namespace varrok::dump
