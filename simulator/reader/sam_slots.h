#pragma once
// The reader's contact SAM slots. Slots 1 to 4 have command codes of their
// own; every slot, 1 to kSlotCount, is also reached through the commands that
// carry the slot number. A slot holds a SAM or nothing, and remembers the
// baud rate the reader resets it at.
//
// A SAM's life in a slot (ISO 7816-3):
//   reset     the reader powers the SAM up and reads its ATR. The SAM sends the
//             ATR at the one rate it was made for (its clock from the reader
//             divided by 372); the reader listens at the slot's baud rate, so
//             the two must agree, or the reader reads nothing and powers the
//             SAM down again. The slot then runs the first protocol the ATR
//             offers.
//   PPS       only as the first exchange after the ATR: the SAM grants a rate
//             up to the one its TA1 (Fi, Di) allows and then both sides use it;
//             a faster rate, or a PPS after an APDU, leaves the rate as it was.
//   protocol  the host may switch the slot to another protocol the ATR offers.
//   APDU      in T=1 the answer comes back whole. In T=0 a command that both
//             sends and expects data is answered 61xx, and the data waits for
//             GET RESPONSE (00 C0 00 00 Le); Le below what waits gives that much
//             and 61xx for the rest, Le above it 6Cxx, nothing waiting 6985.
// Taking a SAM out or putting one in leaves the slot unpowered.
//
// The state is the reader's, not the field's: the handlers in
// commands/type_b_commands.h share one SamSlots, and tests or scenarios reach
// it through Reader::access (the handlers run under the same lock).

#include "simulator/wire/status.h"
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "simulator/cards/smart_card_app.h"
#include "simulator/reader/dispatcher.h"
#include "simulator/wire/bytes.h"

namespace sim {

// Status bytes of the SAM slots, in the range the status table keeps for them.
// The slots' statuses, as they stand in the reader's status table.
namespace sam_status {
inline constexpr std::uint8_t Absent = static_cast<std::uint8_t>(Status::SamAbsent);
inline constexpr std::uint8_t Mute = static_cast<std::uint8_t>(Status::SamMute);
inline constexpr std::uint8_t NotActivated = static_cast<std::uint8_t>(Status::SamNotActivated);
inline constexpr std::uint8_t PpsRefused = static_cast<std::uint8_t>(Status::SamPpsRefused);
} // namespace sam_status

// Baud rate identifiers of the SAM link, as the host's commands carry them.
inline constexpr std::array<unsigned, 7> kSamBaudRates{9600, 38400, 19200, 55800, 57600, 115200, 230400};
std::optional<unsigned> samBaudRate(std::uint8_t baudId);

// What a SAM announces in its ATR.
struct AtrProfile {
    bool inverseConvention = false; // TS 3F instead of 3B; the bytes after TS are given decoded
    std::uint8_t ta1 = 0x18;        // Fi | Di; 11 (the defaults) is left out of the ATR
    bool t0 = false;                // offers T=0
    bool t1 = true;                 // offers T=1 (with IFSC 254, BWI 4, CWI 5)
    Bytes historical{'V', 'R', 'K', ' ', 'S', 'A', 'M'}; // at most 15
};

// TS T0 [TA1] [TD1 [TD2 TA3 TB3]] historical [TCK]. T0 = Y1 | K; TD1 names
// T=0 when offered, then T=1; TCK, the XOR of T0 up to TCK being 0, follows
// whenever T=1 is offered. Throws std::invalid_argument for a profile that
// offers no protocol, has more than 15 historical bytes or a TA1 with
// reserved Fi or Di.
Bytes buildAtr(const AtrProfile& profile);

// The fastest rate a SAM allows after PPS: 9600 x D x 372 / F from its TA1.
unsigned maxRateOf(std::uint8_t ta1);

class Sam {
  public:
    // atrBaudId: the rate (a kSamBaudRates identifier) the SAM sends its ATR at.
    Sam(AtrProfile profile, std::unique_ptr<SmartCardApp> app, std::uint8_t atrBaudId = 0);
    // A SAM in the same state with a copy of its application.
    Sam(const Sam& other);
    Sam& operator=(const Sam&) = delete;

    // A SAM of our own make: T=1, TA1 18, ATR at 9600, a read-write file.
    static std::unique_ptr<Sam> standard();
    static Bytes standardAid();

    const Bytes& atr() const { return atr_; }
    std::uint8_t atrBaudId() const { return atrBaudId_; }
    unsigned maxRate() const { return maxRateOf(profile_.ta1); }
    bool offers(std::uint8_t protocol) const;
    std::uint8_t firstProtocol() const { return profile_.t0 ? 0 : 1; }

    // Power up (or warm reset): the ATR, at the ATR rate.
    Bytes reset();
    void powerDown();
    bool powered() const { return powered_; }
    unsigned rate() const { return rate_; }

    // PPS asking for protocol and rate: true when granted.
    bool pps(std::uint8_t protocol, unsigned rate);
    // One APDU in the given protocol: the answer, or nullopt when the SAM is
    // unpowered or does not speak the protocol.
    std::optional<Bytes> transmit(std::uint8_t protocol, const Bytes& apdu);

    SmartCardApp& app() { return *app_; }

  private:
    Bytes getResponse(const Bytes& apdu);

    AtrProfile profile_;
    Bytes atr_;
    std::unique_ptr<SmartCardApp> app_;
    std::uint8_t atrBaudId_;
    bool powered_ = false;
    bool ppsAllowed_ = false;
    unsigned rate_ = 0;
    Bytes waiting_; // T=0 answer data waiting for GET RESPONSE
};

struct SamSlot {
    std::unique_ptr<Sam> sam;
    std::uint8_t resetBaudId = 0; // the rate the reader listens for the ATR at
    std::uint8_t protocol = 0;    // T=0 or T=1, in use after a reset
    std::uint8_t linkBaudId = 0;  // the rate in use after reset and PPS
};

class SamSlots {
  public:
    static constexpr std::uint8_t kSlotCount = 8;
    static bool exists(std::uint8_t slot) { return slot >= 1 && slot <= kSlotCount; }

    // Slot numbers 1 to kSlotCount; others throw std::out_of_range.
    void insert(std::uint8_t slot, std::unique_ptr<Sam> sam);
    std::unique_ptr<Sam> remove(std::uint8_t slot);
    SamSlot& slot(std::uint8_t slot);

    // The reader's SAM commands. A slot number outside 1..kSlotCount or a
    // parameter out of range answers BadParameter.
    Answer setBaud(std::uint8_t slot, std::uint8_t baudId);
    Answer reset(std::uint8_t slot);
    Answer pps(std::uint8_t slot, std::uint8_t baudId);
    Answer setProtocol(std::uint8_t slot, std::uint8_t protocol);
    Answer apdu(std::uint8_t slot, const Bytes& command);

  private:
    // The slot's SAM when it is there and reset, else the status to answer.
    std::optional<Answer> notReady(std::uint8_t slot);

    std::array<SamSlot, kSlotCount> slots_;
};

} // namespace sim
