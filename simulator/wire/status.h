#pragma once
// The status bytes the simulated reader puts in its answers: the one table of
// them. Card families add their errors here, in the range of their kind, so
// that a status seen on the wire always means one thing.
//
// The host library hands a non-zero status to the application unchanged, so
// two values are never used: 0x09, which the application cannot tell from the
// library's own "malformed response header", and 0xFC, which it cannot tell
// from a response checksum failure.

#include <cstdint>
#include <string_view>

namespace sim {

enum class Status : std::uint8_t {
    Ok = 0x00,

    // 0x01-0x0F: the card in the field.
    NoCard = 0x01,             // no card answered: antenna off, no card of the field's protocol, card halted
    AuthFailed = 0x02,         // the card rejected the key or password
    NotAuthenticated = 0x03,   // the operation needs a successful authentication first
    AccessDenied = 0x04,       // access conditions, lock bits or write protection forbid it
    NotValueBlock = 0x05,      // a purse operation on a block that is not a valid value block
    CardAddressInvalid = 0x06, // block, page or sector beyond the card's memory
    CardRefused = 0x07,        // the card answered with a negative acknowledge
    WrongCardState = 0x08,     // the card is not in the state the command needs (not selected, wrong level)
    // 0x09: never used, see above.

    // 0x10-0x1F: the request itself.
    BadLength = 0x10,       // request data length does not fit the command
    BadParameter = 0x11,    // a parameter outside its range, such as antenna state 2
    FlashOutOfRange = 0x12, // flash page beyond the memory, or offset + length beyond the 256-byte page

    // 0x20-0x2F: the reader.
    UnknownCommand = 0x20, // the reader has no command with this code
    InternalError = 0x21,  // a command failed inside the reader or built an answer too long for a frame

    // 0x30-0x3F: the contact SAM slots.
    SamAbsent = 0x30,       // no SAM in the slot
    SamMute = 0x31,         // the SAM gave no ATR the reader could read, or does not speak the slot's protocol
    SamNotActivated = 0x32, // PPS, protocol change or APDU before a successful reset
    SamPpsRefused = 0x33,   // the SAM kept its rate

    // A DESFire card's own status bytes are passed through as the card gives
    // them; they are the reader's answers to commands 0xB0-0xCE only, where
    // the codes above do not occur (see simulator/cards/desfire.h):
    //   0E out of EEPROM, 40 no such key, 7E length error, 9D permission denied,
    //   9E parameter error, A0 application not found, AE authentication error,
    //   BE boundary error, CE application count error, DE duplicate, F0 file not found.
    // 0xFC: never used, see above.
};

// Short English name for logs; "status 0xNN" style callers handle unknown values.
std::string_view statusName(std::uint8_t status);

} // namespace sim
