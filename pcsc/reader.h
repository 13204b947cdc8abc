// One reader served to pcscd: its link, its table of slots (the contactless
// field, then the SAM slots) and the controls applications reach through
// SCardControl.
#pragma once

#include "contactless_slot.h"
#include "sam_slot.h"

#include <memory>
#include <mutex>
#include <vector>

namespace varrok_ifd {

// SCardControl codes (SCARD_CTL_CODE(n) = 0x42000000 + n), each with one input byte.
constexpr unsigned long kControlBeep = 0x42000000 + 3600; // beep for this long (the reader's own time unit)
constexpr unsigned long kControlLed = 0x42000000 + 3601;  // the reader's LED colour code, as it is
constexpr unsigned long kControlAntenna = 0x42000000 + 3602; // 0 field off, 1 field on
constexpr unsigned long kGetFeatureRequest = 0x42000000 + 3400;

class Reader {
  public:
    static constexpr unsigned kSamSlots = 4;

    explicit Reader(DeviceName name);
    Slot* slot(unsigned number) { return number < slots_.size() ? slots_[number].get() : nullptr; }
    unsigned slotCount() const { return static_cast<unsigned>(slots_.size()); }
    bool reachable() { return link_.up(); }
    // Runs a control; its output bytes, or nullopt for an unknown code, bad
    // input or a reader that refused.
    std::optional<Bytes> control(unsigned long code, const std::uint8_t* in, std::size_t size);

    // pcscd calls slots from several threads; one conversation with the reader at a time.
    std::mutex mutex;

  private:
    Link link_;
    KeyStore keys_;
    std::vector<std::unique_ptr<Slot>> slots_;
};

} // namespace varrok_ifd
