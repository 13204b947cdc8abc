// The reader's contactless field as a PC/SC slot: finds the card, builds its
// ATR and answers the class FF pseudo-APDUs; any other APDU goes to an
// ISO 14443-4 card.
//
// Presence: while no application talks to the card, each check wakes the card
// it knew (WUPA and select, WUPB or inventory in the family it was found in),
// so a card swapped for another shows as a removal and an insertion. From an
// application's first APDU until it lets go of the card, the check sends
// nothing to the field (a wake-up would end an authenticated Classic session
// or an ISO 14443-4 conversation); it only asks the reader whether it is
// there. A card taken away in that time shows at the next APDU.
#pragma once

#include "card.h"
#include "slot.h"

#include <array>

namespace varrok_ifd {

// Keys loaded with Load Keys, by key number; shared by the reader's slots.
using KeyStore = std::array<std::optional<std::array<std::uint8_t, 6>>, 32>;

class ContactlessSlot : public Slot {
  public:
    ContactlessSlot(Link& link, KeyStore& keys) : link_(link), keys_(keys) {}
    Presence presence() override;
    std::optional<Bytes> powerUp() override;
    void powerDown() override { conversation_ = false; }
    Reply transmit(const std::uint8_t* apdu, std::size_t size) override;
    Bytes atr() const override { return atr_; }

  private:
    // Card discovery, one family at a time (contactless_slot.cpp).
    std::optional<Card> find();
    std::optional<Card> findTypeA();
    std::optional<Card> findTypeB();
    std::optional<Card> findVicinity();
    bool switchTo(std::uint8_t isoType);
    // After the card refused a command it left its session: select it again.
    // False when it is not the same card any more.
    bool recover();
    // A library code: 0, the reader's status byte, or a lost link (then false).
    bool linkOk(int rc);

    // The class FF commands (pseudo_apdu.cpp).
    Reply pseudo(const Apdu& apdu);
    Reply getData(const Apdu& apdu);
    Reply loadKeys(const Apdu& apdu);
    Reply authenticate(std::uint8_t block, std::uint8_t keyType, std::uint8_t keyNumber);
    Reply readBinary(const Apdu& apdu);
    Reply updateBinary(const Apdu& apdu);
    Reply readValue(const Apdu& apdu);
    Reply valueOperation(const Apdu& apdu);
    Reply toCard(const std::uint8_t* apdu, std::size_t size);
    // The answer to a command the card or reader refused with status byte rc.
    Reply refused(int rc, Sw onRefusal);

    Link& link_;
    KeyStore& keys_;
    std::optional<Card> card_;
    Bytes atr_;
    unsigned generation_ = 0;
    std::uint8_t isoType_ = 0; // the field's protocol as last set; 0 unknown
    bool conversation_ = false;
    bool cardLost_ = false;
    std::uint8_t blockSize_ = 4; // ISO 15693 block size
};

} // namespace varrok_ifd
