#pragma once
// Reading one object of a scenario file (a card, a SAM) member by member. The
// files are written by hand, so every getter names the member at fault in its
// error ("uid: expected 7 bytes"); the loader then adds which card it was.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "simulator/wire/bytes.h"

namespace sim {

// Members stay in file order, so the first fault reported is the first a
// person reading the file meets.
using Json = nlohmann::ordered_json;

// Anything wrong with a scenario: bad JSON, an unknown kind, a bad member.
// what() says where, e.g. "cards[2] (classic1k): uid: expected 4, 7 or 10 bytes".
class ScenarioError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Parses scenario text. A syntax error keeps nlohmann's line and column; a
// member given twice in one object and nesting deeper than 64 levels are
// refused too, as a person never means either.
Json parseJson(std::string_view text);

// One value read as a type; each throws ScenarioError saying what was expected.
std::int64_t integerOf(const Json& value, std::int64_t min, std::int64_t max);
const std::string& textOf(const Json& value);
// "0A 1B" or "0a1b" -> {0x0A, 0x1B}; spaces, ':' or '-' between bytes.
Bytes parseHex(std::string_view text);
// A block or page number as a member name: decimal ("12") or hex ("0x0C").
std::size_t numberOf(const std::string& key);

class Members {
  public:
    // base: the folder of the scenario file, for members naming other files.
    // Throws ScenarioError unless object is a JSON object.
    explicit Members(const Json& object, std::filesystem::path base = {});

    // Refuses a member outside known, naming the known ones; "kind" and
    // "comment" are always allowed.
    void allowOnly(std::initializer_list<std::string_view> known) const;

    const Json* find(std::string_view key) const;
    bool has(std::string_view key) const { return find(key) != nullptr; }

    Bytes hex(std::string_view key) const; // required
    std::optional<Bytes> optionalHex(std::string_view key) const;
    template <std::size_t N> std::array<std::uint8_t, N> fixedHex(std::string_view key) const;
    template <std::size_t N>
    std::array<std::uint8_t, N> fixedHex(std::string_view key, std::array<std::uint8_t, N> fallback) const {
        return has(key) ? fixedHex<N>(key) : fallback;
    }
    std::int64_t integer(std::string_view key, std::int64_t min, std::int64_t max,
                         std::int64_t fallback) const;
    bool boolean(std::string_view key, bool fallback) const;
    std::optional<std::string> text(std::string_view key) const;
    // A member naming a file, taken relative to the scenario's folder.
    std::optional<std::filesystem::path> file(std::string_view key) const;
    // An array of whole numbers within [min, max].
    std::vector<std::int64_t> integers(std::string_view key, std::int64_t min, std::int64_t max) const;
    // A member such as "blocks": {"4": "0102..."}: each entry's number and
    // bytes go to store, whose ScenarioError is reported as "blocks.4: ...".
    void numbered(std::string_view key, const std::function<void(std::size_t, const Bytes&)>& store) const;

  private:
    // Runs read, putting "key: " in front of what it throws.
    template <typename Read> auto named(std::string_view key, Read read) const -> decltype(read());

    const Json& object_;
    std::filesystem::path base_;
};

template <std::size_t N> std::array<std::uint8_t, N> Members::fixedHex(std::string_view key) const {
    const Bytes bytes = hex(key);
    if (bytes.size() != N)
        throw ScenarioError(std::string(key) + ": expected " + std::to_string(N) + " bytes");
    std::array<std::uint8_t, N> out{};
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return out;
}

} // namespace sim
