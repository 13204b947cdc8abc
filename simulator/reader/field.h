#pragma once
// The reader's RF field: the antenna, the protocol it runs in and the cards
// lying in it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "simulator/cards/card.h"

namespace sim {

class Field {
  public:
    // Puts a card in the field. It arrives freshly powered if the antenna is on.
    Card& insert(std::unique_ptr<Card> card);

    template <class C, class... Args> C& emplace(Args&&... args) {
        return static_cast<C&>(insert(std::make_unique<C>(std::forward<Args>(args)...)));
    }

    // Takes a card out; nullptr when it was not in the field.
    std::unique_ptr<Card> remove(const Card& card);
    void clear();

    std::size_t size() const { return cards_.size(); }
    const std::vector<std::unique_ptr<Card>>& cards() const { return cards_; }

    // Switching the antenna off and on again resets every card, the usual way
    // a host starts a fresh search.
    bool antennaOn() const { return antennaOn_; }
    void setAntenna(bool on);

    // Switching to another protocol changes the modulation: the cards see it as
    // a power cycle. Setting the same protocol again changes nothing.
    std::uint8_t isoType() const { return isoType_; }
    void setIsoType(std::uint8_t isoType);

    // The cards that hear the reader now: antenna on and in the field's
    // protocol. Halted cards are included; whether they answer is up to the
    // command (a wake-up reaches them).
    std::vector<Card*> inRange() const;

    template <class C> std::vector<C*> inRange() const {
        std::vector<C*> found;
        for (Card* card : inRange())
            if (auto* typed = dynamic_cast<C*>(card)) found.push_back(typed);
        return found;
    }

    // The card the reader is talking to after a select; cleared when that card
    // loses power or leaves the field.
    Card* selected() const { return selected_; }
    void select(Card* card);

    // Changes whenever cards lose or gain power: a card put in or taken out,
    // the antenna or the protocol switched. Command state kept beside the
    // cards (which Type A cards are READY) holds only while it stays the same.
    // Unique in the process, so state from another field never matches.
    std::uint64_t powerStamp() const { return powerStamp_; }

  private:
    void powerCycleAll();
    void powerChanged();

    std::vector<std::unique_ptr<Card>> cards_;
    bool antennaOn_ = true;
    std::uint8_t isoType_ = iso::TypeA;
    Card* selected_ = nullptr;
    std::uint64_t powerStamp_ = 0;
};

} // namespace sim
