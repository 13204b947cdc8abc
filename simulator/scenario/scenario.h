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

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/cards/card.h"
#include "simulator/scenario/members.h"
#include "simulator/wire/bytes.h"

namespace sim {

class Reader;

// Builds one card from its members (the whole object, "kind" included).
// Throws ScenarioError with a message about the member at fault; the loader
// adds which card it was.
using CardFactory = std::function<std::unique_ptr<Card>(const Members&)>;

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
    // base is the scenario's folder, for members that name files. Throws
    // ScenarioError for a missing or unknown kind, and lets the factory's
    // own errors through.
    std::unique_ptr<Card> make(const Json& card, const std::filesystem::path& base = {}) const;

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
    Json sams = Json::array();
};

// Throws ScenarioError; a JSON syntax error keeps its line and column. Files
// named in the scenario (card dumps) are taken relative to base.
Scenario parseScenario(std::string_view text, const CardKinds& kinds, const std::filesystem::path& base = {});
Scenario loadScenarioFile(const std::string& path, const CardKinds& kinds);

// Sets the reader's identity and puts the cards into its field (after the
// cards already there).
void applyScenario(Scenario scenario, Reader& reader);

} // namespace sim
