#pragma once
// A card that answers ISO 14443 Type A: REQA/WUPA, anticollision, select and
// HLTA. MIFARE Classic, Ultralight, MIFARE Plus, DESFire and ISO 14443-4
// Type A cards all derive from it, so one search finds every one of them.

#include <array>
#include <cstdint>
#include <optional>
#include <utility>

#include "simulator/cards/card.h"
#include "simulator/wire/bytes.h"

namespace sim {

class TypeACard : public Card {
  public:
    // uid: 4, 7 or 10 bytes; atqa as the card sends it; sak of the last cascade level.
    TypeACard(Bytes uid, std::array<std::uint8_t, 2> atqa, std::uint8_t sak)
        : Card(iso::TypeA), uid_(std::move(uid)), atqa_(atqa), sak_(sak) {}

    const Bytes& uid() const { return uid_; }
    std::array<std::uint8_t, 2> atqa() const { return atqa_; }
    std::uint8_t sak() const { return sak_; }

    // ISO 14443-4 cards answer RATS with their ATS; empty for cards that do not speak it.
    virtual Bytes ats() const { return {}; }
    // An APDU to an ISO 14443-4 card after RATS: its answer (data + SW1 SW2),
    // or nullopt for cards without an application.
    virtual std::optional<Bytes> apdu(const Bytes& /*command*/) { return std::nullopt; }

    // The card left its session: halted (HLTA), refused a command, or woken
    // again by REQA/WUPA. Authentication and protocol state end here; the
    // memory stays. Families with sessions of their own override it.
    virtual void leaveSession() {}

  protected:
    void setSak(std::uint8_t sak) { sak_ = sak; }

  private:
    Bytes uid_;
    std::array<std::uint8_t, 2> atqa_;
    std::uint8_t sak_;
};

} // namespace sim
