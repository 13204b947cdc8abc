// A contact SAM slot of the reader: the ATR is the SAM's answer to a reset and
// APDUs go through the reader's SAM commands.
#pragma once

#include "slot.h"

namespace varrok_ifd {

class SamSlot : public Slot {
  public:
    SamSlot(Link& link, unsigned char number) : link_(link), number_(number) {}
    Presence presence() override;
    std::optional<Bytes> powerUp() override;
    void powerDown() override { conversation_ = false; }
    Reply transmit(const std::uint8_t* apdu, std::size_t size) override;
    Bytes atr() const override { return atr_; }

  private:
    // Resets the SAM; its ATR, or nullopt for an empty slot or a lost link.
    std::optional<Bytes> reset();

    Link& link_;
    unsigned char number_;
    Bytes atr_;
    // From the first APDU until the application lets go: the presence check
    // must not reset the SAM under it.
    bool conversation_ = false;
};

} // namespace varrok_ifd
