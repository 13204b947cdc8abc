#pragma once
// Scenario files: which reader the simulator plays and which cards lie in its
// field at start. The format is described in simulator/SCENARIOS.md.
//
//   {
//     "reader": {"address": 1, "serial": "VRSIM001"},
//     "cards": [
//       {"kind": "classic1k", "uid": "11223344"},
//       {"kind": "ultralight", "uid": "04112233445566"}
//     ]
//   }
//
// Every card family registers the kinds it can build in a CardKinds table
// (addTypeAKinds and the like); the loader looks the "kind" of each card up
// there and hands the card's JSON object to the family's factory.

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/cards/card.h"
#include "simulator/scenario/json.h"
#include "simulator/wire/bytes.h"

namespace sim {

class Reader;

// Anything wrong with a scenario: bad JSON, an unknown kind, a bad member.
// what() says where, e.g. "cards[2] (classic1k): uid: expected 4, 7 or 10 bytes".
class ScenarioError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Builds one card from its JSON object (the whole object, "kind" included).
// Throws json::Error or ScenarioError with a message about the member at
// fault; the loader adds which card it was.
using CardFactory = std::function<std::unique_ptr<Card>(const json::Value&)>;

class CardKinds {
  public:
    // summary: one line for listings ("MIFARE Classic 1K, 16 sectors").
    // Adding a kind twice throws std::logic_error: two families fighting over
    // one name is a programming mistake.
    void add(std::string kind, CardFactory factory, std::string summary = {});

    bool contains(std::string_view kind) const;
    std::vector<std::string> names() const; // sorted
    std::string summary(std::string_view kind) const;

    // Builds a card from a card object: reads its "kind" and calls the factory.
    // Throws ScenarioError for a missing or unknown kind, and lets the
    // factory's own errors through.
    std::unique_ptr<Card> make(const json::Value& card) const;

  private:
    struct Entry {
        CardFactory factory;
        std::string summary;
    };
    std::map<std::string, Entry, std::less<>> kinds_;
};

// A parsed scenario, not yet applied to a reader.
struct Scenario {
    std::optional<std::uint16_t> address;                // reader.address
    std::optional<std::array<std::uint8_t, 8>> serial;   // reader.serial: 8 characters
    std::optional<std::array<std::uint8_t, 2>> firmware; // reader.firmware: 2 bytes in hex
    std::vector<std::unique_ptr<Card>> cards;
    // The SAMs of the reader's contact slots, as written: the slots are the
    // reader's, not the field's, so the program that owns them places these.
    json::Array sams;
};

// Throws ScenarioError; a JSON syntax error keeps its line and column.
Scenario parseScenario(std::string_view text, const CardKinds& kinds);
Scenario loadScenarioFile(const std::string& path, const CardKinds& kinds);

// Sets the reader's identity and puts the cards into its field (after the
// cards already there).
void applyScenario(Scenario scenario, Reader& reader);

// Helpers for card factories: members holding bytes as hex text ("0A1B",
// spaces allowed between bytes). Both throw ScenarioError naming the member.
Bytes hexMember(const json::Value& card, std::string_view key);
std::optional<Bytes> optionalHexMember(const json::Value& card, std::string_view key);
// "0A 1B" or "0a1b" -> {0x0A, 0x1B}; throws ScenarioError on odd length or non-hex.
Bytes parseHex(std::string_view text);
// Refuses a card object with a member outside allowed, naming the known ones.
void allowOnly(const json::Value& card, std::initializer_list<std::string_view> allowed);

// A member holding exactly N bytes as hex text.
template <std::size_t N> std::array<std::uint8_t, N> fixedHex(const json::Value& card, std::string_view key) {
    const Bytes bytes = hexMember(card, key);
    if (bytes.size() != N)
        throw ScenarioError(std::string(key) + ": expected " + std::to_string(N) + " bytes");
    std::array<std::uint8_t, N> out{};
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return out;
}

} // namespace sim
