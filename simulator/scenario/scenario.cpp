#include "simulator/scenario/scenario.h"

#include <fstream>
#include <sstream>

#include "simulator/reader/reader.h"

namespace sim {

void CardKinds::add(std::string kind, CardFactory factory, std::string summary) {
    if (!factory) throw std::logic_error("card kind \"" + kind + "\" has no factory");
    const auto [it, added] = kinds_.emplace(kind, Entry{std::move(factory), std::move(summary)});
    if (!added) throw std::logic_error("card kind \"" + kind + "\" registered twice");
}

bool CardKinds::contains(std::string_view kind) const { return kinds_.find(kind) != kinds_.end(); }

std::vector<std::string> CardKinds::names() const {
    std::vector<std::string> names;
    for (const auto& entry : kinds_)
        names.push_back(entry.first);
    return names;
}

std::string CardKinds::summary(std::string_view kind) const {
    const auto it = kinds_.find(kind);
    return it == kinds_.end() ? std::string() : it->second.summary;
}

std::unique_ptr<Card> CardKinds::make(const Json& card, const std::filesystem::path& base) const {
    if (!card.is_object()) throw ScenarioError("a card must be an object with a \"kind\"");
    const Members members(card, base);
    const Json* kindValue = members.find("kind");
    if (!kindValue) throw ScenarioError("missing member \"kind\"");
    if (!kindValue->is_string()) throw ScenarioError("kind: expected a string");
    const std::string& kind = kindValue->get_ref<const std::string&>();
    const auto it = kinds_.find(kind);
    if (it == kinds_.end()) {
        std::string known;
        for (const auto& entry : kinds_)
            known += (known.empty() ? "" : ", ") + entry.first;
        throw ScenarioError("unknown card kind \"" + kind +
                            "\" (known kinds: " + (known.empty() ? "none" : known) + ")");
    }
    std::unique_ptr<Card> made = it->second.factory(members);
    if (!made) throw ScenarioError("kind \"" + kind + "\" built no card");
    return made;
}

namespace {

void readReader(const Json& reader, Scenario& scenario) {
    for (const auto& [name, value] : reader.items()) {
        try {
            if (name == "address") {
                scenario.address = static_cast<std::uint16_t>(integerOf(value, 0, 0xFFFF));
            } else if (name == "serial") {
                const std::string& text = textOf(value);
                if (text.size() != 8) throw ScenarioError("expected 8 characters");
                std::array<std::uint8_t, 8> serial{};
                for (std::size_t i = 0; i < 8; ++i)
                    serial[i] = static_cast<std::uint8_t>(text[i]);
                scenario.serial = serial;
            } else if (name == "firmware") {
                const Bytes bytes = parseHex(textOf(value));
                if (bytes.size() != 2) throw ScenarioError("expected 2 bytes in hex");
                scenario.firmware = std::array<std::uint8_t, 2>{bytes[0], bytes[1]};
            } else {
                throw ScenarioError("unknown member (known: address, serial, firmware)");
            }
        } catch (const std::runtime_error& error) {
            throw ScenarioError("reader." + name + ": " + error.what());
        }
    }
}

} // namespace

Scenario parseScenario(std::string_view text, const CardKinds& kinds, const std::filesystem::path& base) {
    const Json document = parseJson(text);
    if (!document.is_object()) throw ScenarioError("the scenario must be a JSON object");

    Scenario scenario;
    for (const auto& [name, value] : document.items()) {
        if (name == "reader") {
            if (!value.is_object()) throw ScenarioError("reader: expected an object");
            readReader(value, scenario);
        } else if (name == "cards") {
            if (!value.is_array()) throw ScenarioError("cards: expected an array");
            for (std::size_t i = 0; i < value.size(); ++i) {
                const Json& card = value[i];
                const auto kind = card.is_object() ? card.find("kind") : card.end();
                const std::string where =
                    "cards[" + std::to_string(i) + "]" +
                    (kind != card.end() && kind->is_string() ? " (" + kind->get<std::string>() + ")" : "");
                try {
                    scenario.cards.push_back(kinds.make(card, base));
                } catch (const std::runtime_error& error) {
                    throw ScenarioError(where + ": " + error.what());
                }
            }
        } else if (name == "sams") {
            if (!value.is_array()) throw ScenarioError("sams: expected an array");
            scenario.sams = value;
        } else if (name != "comment") {
            throw ScenarioError("unknown member \"" + name + "\" (known: reader, cards, sams, comment)");
        }
    }
    return scenario;
}

Scenario loadScenarioFile(const std::string& path, const CardKinds& kinds) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ScenarioError(path + ": cannot be opened");
    std::ostringstream text;
    text << in.rdbuf();
    try {
        return parseScenario(text.str(), kinds, std::filesystem::path(path).parent_path());
    } catch (const ScenarioError& error) {
        throw ScenarioError(path + ": " + error.what());
    }
}

void applyScenario(Scenario scenario, Reader& reader) {
    reader.access([&](ReaderState& state, Field& field) {
        if (scenario.address) state.address = *scenario.address;
        if (scenario.serial) state.serial = *scenario.serial;
        if (scenario.firmware) state.firmware = *scenario.firmware;
        for (auto& card : scenario.cards)
            field.insert(std::move(card));
    });
}

} // namespace sim
