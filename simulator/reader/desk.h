#pragma once
// The desk beside the reader: where a person puts the cards they take off it.
// A real field rarely holds every card at once; with --hand the simulator
// reads commands from standard input so a person can choose which cards lie
// on the reader while a program talks to it:
//
//   cards      list every card by number, on the reader or on the desk
//   take N     take card N off the reader
//   put N      put card N back on the reader
//   only N     leave card N alone on the reader
//   all        put every card back
//
// Card numbers are those of the field when the desk was set up (scenario order).

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "simulator/reader/reader.h"

namespace sim {

class Desk {
  public:
    // Numbers the cards lying on the reader now.
    explicit Desk(Reader& reader);

    // Carries out one command line and returns what to tell the person.
    std::string command(const std::string& line);

  private:
    struct Place {
        std::string description;
        Card* onReader = nullptr;    // while it lies on the reader
        std::unique_ptr<Card> aside; // while it lies on the desk
    };
    void take(Field& field, Place& place);
    void put(Field& field, Place& place);
    std::string list() const;

    Reader& reader_;
    std::vector<Place> places_;
};

} // namespace sim
