// Command APDUs as applications send them through pcscd, and the status words
// the driver answers with. Short APDUs only: the reader's frames carry at most
// 255 bytes of command data.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace varrok_ifd {

using Bytes = std::vector<std::uint8_t>;

// The status words of the driver's own answers (the reader's pseudo-APDUs);
// an ISO 14443-4 card's own answers pass through unchanged.
enum class Sw : std::uint16_t {
    Ok = 0x9000,
    EndOfData = 0x6282,          // warning: fewer bytes than Le were available
    NoInformation = 0x6300,      // the card refused (authentication failed, NAK)
    MemoryFailure = 0x6581,      // the card did not take a write
    WrongLength = 0x6700,        // Lc or Le does not fit the command or the APDU's length
    Incompatible = 0x6981,       // the command does not fit this card (value op on a plain block, ...)
    SecurityStatus = 0x6982,     // not authenticated, or access conditions forbid it
    KeyNotUsable = 0x6984,       // authentication with a key number nothing was loaded into
    NotAllowed = 0x6986,         // key type unknown, or the card is in the wrong state
    KeyNumberInvalid = 0x6988,   // key number beyond the driver's key slots
    BadData = 0x6A80,            // the command data is malformed
    NotSupported = 0x6A81,       // function not supported for this card
    NoSuchBlock = 0x6A82,        // block, page or byte beyond the card's memory
    WrongP1P2 = 0x6B00,          // P1 or P2 outside what the command accepts
    UnknownInstruction = 0x6D00, // class FF instruction the driver does not know
    ClassNotSupported = 0x6E00,  // an ISO APDU to a card that takes none (storage cards)
};

Bytes withSw(Bytes data, Sw sw);
inline Bytes withSw(Sw sw) { return withSw({}, sw); }
// 6C XX: wrong Le, XX is the number of bytes available.
Bytes wrongLe(std::size_t available);

// One short command APDU, split as ISO 7816-4 cases 1 to 4 define it.
struct Apdu {
    std::uint8_t cla = 0, ins = 0, p1 = 0, p2 = 0;
    Bytes data;                 // the Lc bytes (case 3 and 4)
    std::optional<unsigned> le; // 1..256 when present (00 means 256)

    // nullopt when the bytes fit no case: shorter than 4 bytes, Lc disagreeing
    // with what follows, or an extended-length form.
    static std::optional<Apdu> parse(const std::uint8_t* bytes, std::size_t size);
    unsigned p1p2() const { return static_cast<unsigned>(p1) << 8 | p2; }
};

} // namespace varrok_ifd
