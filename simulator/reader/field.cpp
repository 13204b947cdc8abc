#include "simulator/reader/field.h"

#include <algorithm>
#include <atomic>
#include <stdexcept>

namespace sim {

Card& Field::insert(std::unique_ptr<Card> card) {
    if (!card) throw std::invalid_argument("no card to insert");
    card->powerCycle();
    cards_.push_back(std::move(card));
    powerChanged();
    return *cards_.back();
}

std::unique_ptr<Card> Field::remove(const Card& card) {
    const auto it =
        std::find_if(cards_.begin(), cards_.end(), [&](const auto& c) { return c.get() == &card; });
    if (it == cards_.end()) return nullptr;
    if (selected_ == it->get()) selected_ = nullptr;
    std::unique_ptr<Card> taken = std::move(*it);
    cards_.erase(it);
    powerChanged();
    return taken;
}

void Field::clear() {
    cards_.clear();
    selected_ = nullptr;
    powerChanged();
}

void Field::setAntenna(bool on) {
    if (on == antennaOn_) return;
    antennaOn_ = on;
    powerCycleAll();
}

void Field::setIsoType(std::uint8_t isoType) {
    if (isoType == isoType_) return;
    isoType_ = isoType;
    powerCycleAll();
}

std::vector<Card*> Field::inRange() const {
    std::vector<Card*> found;
    if (!antennaOn_) return found;
    for (const auto& card : cards_)
        if (card->isoType() == isoType_) found.push_back(card.get());
    return found;
}

void Field::select(Card* card) {
    if (card && std::none_of(cards_.begin(), cards_.end(), [&](const auto& c) { return c.get() == card; }))
        throw std::invalid_argument("selected card is not in the field");
    selected_ = card;
}

void Field::powerCycleAll() {
    selected_ = nullptr;
    for (const auto& card : cards_)
        card->powerCycle();
    powerChanged();
}

void Field::powerChanged() {
    static std::atomic<std::uint64_t> stamps{0};
    powerStamp_ = ++stamps;
}

} // namespace sim
