#pragma once
// A virtual card lying in the reader's field. Card families derive from it and
// keep their memory and protocol state; the reader's command handlers find
// them through the Field.

#include <cstdint>
#include <memory>
#include <string>

namespace sim {

// Protocol bytes the host selects with the reader's ISO type command (0x0A).
// A card only hears the reader when the field runs in the card's protocol.
namespace iso {
inline constexpr std::uint8_t TypeA = 'A';        // ISO 14443 Type A: Classic, Ultralight, Plus, DESFire
inline constexpr std::uint8_t TypeB = 'B';        // ISO 14443 Type B, AT88RF020
inline constexpr std::uint8_t Iso15693 = '1';     // vicinity tags
inline constexpr std::uint8_t StShortRange = 's'; // SR176, SRIX
inline constexpr std::uint8_t Icode1 = 'I';       // ICODE1 labels
} // namespace iso

class Card {
  public:
    explicit Card(std::uint8_t isoType) : isoType_(isoType) {}
    virtual ~Card() = default;
    Card& operator=(const Card&) = delete;

    // A copy of the card as it is now, memory and session state alike, or
    // nullptr for a family that cannot be copied. The fuzzer restores its
    // field from copies instead of building every card again for each input.
    virtual std::unique_ptr<Card> clone() const { return nullptr; }

    // The protocol this card answers in (one of the iso:: bytes).
    std::uint8_t isoType() const { return isoType_; }

    // One line for logs and scenario listings, e.g. "Classic 1K 11223344".
    virtual std::string describe() const = 0;

    // A halted card keeps quiet until it is woken up or loses power; each
    // family decides which of its commands still reach it.
    bool halted() const { return halted_; }
    void setHalted(bool halted) { halted_ = halted; }

    // The card lost power: the antenna went off, the field switched protocol or
    // the card was taken out. Like a real chip it forgets everything volatile.
    void powerCycle() {
        halted_ = false;
        onPowerCycle();
    }

  protected:
    Card(const Card&) = default; // for clone(): a copy never slices

    // Families drop their selection, authentication and session state here.
    virtual void onPowerCycle() {}

  private:
    std::uint8_t isoType_;
    bool halted_ = false;
};

} // namespace sim
