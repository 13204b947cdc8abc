#pragma once
// Commands that drive the reader itself rather than a card: identity,
// firmware, beeper, LED, antenna, protocol, display and flash.

#include <cstdint>

#include "simulator/reader/dispatcher.h"

namespace sim {

namespace cmd {
inline constexpr std::uint8_t SetAddress = 0x02; // data: new address high, low
inline constexpr std::uint8_t GetAddress = 0x03; // also the host's handshake; answers in the address bytes
inline constexpr std::uint8_t FirmwareVersion = 0x04; // answers 2 bytes
inline constexpr std::uint8_t SerialNumber = 0x05;    // answers 8 bytes
inline constexpr std::uint8_t Beep = 0x06;            // data: duration
inline constexpr std::uint8_t IsoType = 0x0A;         // data: protocol byte of the field
inline constexpr std::uint8_t Antenna = 0x0B;         // data: 0 off, 1 on
inline constexpr std::uint8_t Led = 0x27;             // data: colour code
inline constexpr std::uint8_t AuthenticationStandard = 0x35;
inline constexpr std::uint8_t Display = 0x60;    // data: 8 segment bytes
inline constexpr std::uint8_t FlashRead = 0x61;  // data: page high, low, offset, length
inline constexpr std::uint8_t FlashWrite = 0x62; // data: page high, low, offset, length, bytes
} // namespace cmd

void registerReaderControl(Dispatcher& dispatcher);

} // namespace sim
