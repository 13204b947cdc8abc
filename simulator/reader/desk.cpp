#include "simulator/reader/desk.h"

#include <sstream>

namespace sim {

Desk::Desk(Reader& reader) : reader_(reader) {
    reader_.access([&](ReaderState&, Field& field) {
        for (const auto& card : field.cards())
            places_.push_back({card->describe(), card.get(), nullptr});
    });
}

void Desk::take(Field& field, Place& place) {
    if (place.onReader != nullptr) place.aside = field.remove(*std::exchange(place.onReader, nullptr));
}

void Desk::put(Field& field, Place& place) {
    if (place.aside) place.onReader = &field.insert(std::move(place.aside));
}

std::string Desk::list() const {
    std::ostringstream out;
    for (std::size_t i = 0; i < places_.size(); ++i)
        out << (i + 1) << (places_[i].onReader ? "  on reader  " : "  on desk    ") << places_[i].description
            << '\n';
    return out.str();
}

std::string Desk::command(const std::string& line) {
    std::istringstream words(line);
    std::string verb;
    words >> verb;
    if (verb.empty()) return {};
    if (verb == "cards") return list();
    std::size_t number = 0;
    const bool numbered = verb == "take" || verb == "put" || verb == "only";
    if (numbered && (!(words >> number) || number < 1 || number > places_.size()))
        return "no card with that number; 'cards' lists them\n";
    if (!numbered && verb != "all") return "commands: cards, take N, put N, only N, all\n";
    reader_.access([&](ReaderState&, Field& field) {
        for (std::size_t i = 0; i < places_.size(); ++i) {
            const bool chosen = i + 1 == number;
            if (verb == "all" || (chosen && verb != "take"))
                put(field, places_[i]);
            else if (chosen || verb == "only")
                take(field, places_[i]);
        }
    });
    return list();
}

} // namespace sim
