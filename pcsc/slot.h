// One slot of the reader as pcscd sees it: the contactless field (slot 0) or
// a contact SAM slot. The reader owns one table of slots over one link.
#pragma once

#include "apdu.h"
#include "link.h"

#include <optional>

namespace varrok_ifd {

enum class Presence { Present, Absent, ReaderDown };

struct Reply {
    enum class Status { Ok, CardGone, LinkFailed } status = Status::Ok;
    Bytes data; // response data and status word when Ok

    static Reply ok(Bytes data) { return {Status::Ok, std::move(data)}; }
    static Reply gone() { return {Status::CardGone, {}}; }
    static Reply failed() { return {Status::LinkFailed, {}}; }
};

class Slot {
  public:
    virtual ~Slot() = default;
    // Is a card there? Cheap, and never disturbs a conversation in progress.
    virtual Presence presence() = 0;
    // Powers the card (for contactless cards: readies it) and gives its ATR.
    virtual std::optional<Bytes> powerUp() = 0;
    // The application let go of the card: its conversation ended.
    virtual void powerDown() = 0;
    virtual Reply transmit(const std::uint8_t* apdu, std::size_t size) = 0;
    // The ATR of the card powered last; empty when there is none.
    virtual Bytes atr() const = 0;
};

} // namespace varrok_ifd
