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

std::unique_ptr<Card> CardKinds::make(const json::Value& card) const {
    if (!card.isObject()) throw ScenarioError("a card must be an object with a \"kind\"");
    const json::Value* kindValue = card.find("kind");
    if (!kindValue) throw ScenarioError("missing member \"kind\"");
    if (!kindValue->isString()) throw ScenarioError("kind: expected a string");
    const std::string& kind = kindValue->asString();
    const auto it = kinds_.find(kind);
    if (it == kinds_.end()) {
        std::string known;
        for (const auto& entry : kinds_)
            known += (known.empty() ? "" : ", ") + entry.first;
        throw ScenarioError("unknown card kind \"" + kind +
                            "\" (known kinds: " + (known.empty() ? "none" : known) + ")");
    }
    std::unique_ptr<Card> made = it->second.factory(card);
    if (!made) throw ScenarioError("kind \"" + kind + "\" built no card");
    return made;
}

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void readReader(const json::Value& reader, Scenario& scenario) {
    for (const auto& [name, value] : reader.asObject()) {
        try {
            if (name == "address") {
                scenario.address = static_cast<std::uint16_t>(value.asInteger(0, 0xFFFF));
            } else if (name == "serial") {
                const std::string& text = value.asString();
                if (text.size() != 8) throw ScenarioError("expected 8 characters");
                std::array<std::uint8_t, 8> serial{};
                for (std::size_t i = 0; i < 8; ++i)
                    serial[i] = static_cast<std::uint8_t>(text[i]);
                scenario.serial = serial;
            } else if (name == "firmware") {
                const Bytes bytes = parseHex(value.asString());
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

Scenario parseScenario(std::string_view text, const CardKinds& kinds) {
    json::Value document;
    try {
        document = json::parse(text);
    } catch (const json::ParseError& error) {
        throw ScenarioError(std::string("not valid JSON: ") + error.what());
    }
    if (!document.isObject()) throw ScenarioError("the scenario must be a JSON object");

    Scenario scenario;
    for (const auto& [name, value] : document.asObject()) {
        if (name == "reader") {
            if (!value.isObject()) throw ScenarioError("reader: expected an object");
            readReader(value, scenario);
        } else if (name == "cards") {
            if (!value.isArray()) throw ScenarioError("cards: expected an array");
            const json::Array& cards = value.asArray();
            for (std::size_t i = 0; i < cards.size(); ++i) {
                const json::Value* kind = cards[i].find("kind");
                const std::string where = "cards[" + std::to_string(i) + "]" +
                                          (kind && kind->isString() ? " (" + kind->asString() + ")" : "");
                try {
                    scenario.cards.push_back(kinds.make(cards[i]));
                } catch (const std::runtime_error& error) {
                    throw ScenarioError(where + ": " + error.what());
                }
            }
        } else if (name == "sams") {
            if (!value.isArray()) throw ScenarioError("sams: expected an array");
            scenario.sams = value.asArray();
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
        return parseScenario(text.str(), kinds);
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

Bytes parseHex(std::string_view text) {
    Bytes bytes;
    int high = -1;
    for (const char c : text) {
        if (c == ' ' || c == ':' || c == '-') {
            if (high >= 0) throw ScenarioError("hex bytes must have two digits each");
            continue;
        }
        const int digit = hexDigit(c);
        if (digit < 0) throw ScenarioError("'" + std::string(1, c) + "' is not a hex digit");
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high << 4 | digit));
            high = -1;
        }
    }
    if (high >= 0) throw ScenarioError("odd number of hex digits");
    return bytes;
}

std::optional<Bytes> optionalHexMember(const json::Value& card, std::string_view key) {
    const json::Value* value = card.find(key);
    if (!value) return std::nullopt;
    try {
        return parseHex(value->asString());
    } catch (const std::runtime_error& error) {
        throw ScenarioError(std::string(key) + ": " + error.what());
    }
}

Bytes hexMember(const json::Value& card, std::string_view key) {
    if (auto bytes = optionalHexMember(card, key)) return *bytes;
    throw ScenarioError("missing member \"" + std::string(key) + "\"");
}

void allowOnly(const json::Value& card, std::initializer_list<std::string_view> allowed) {
    for (const auto& [name, value] : card.asObject()) {
        if (std::find(allowed.begin(), allowed.end(), name) != allowed.end()) continue;
        std::string list;
        for (const std::string_view a : allowed)
            list += (list.empty() ? "" : ", ") + std::string(a);
        throw ScenarioError("unknown member \"" + name + "\" (known: " + list + ")");
    }
}

} // namespace sim
