#pragma once
// What the reader itself remembers, apart from the cards: its identity and the
// settings the host drives with the reader-control commands.

#include <array>
#include <cstdint>

#include "simulator/reader/flash.h"

namespace sim {

struct ReaderState {
    std::uint16_t address = 0;                        // device address, set by the host
    std::array<std::uint8_t, 2> firmware{0x01, 0x02}; // firmware version, as the reader reports it
    std::array<std::uint8_t, 8> serial{'V', 'R', 'S', 'I', 'M', '0', '0', '1'};
    std::uint8_t lastBeep = 0; // duration byte of the last beep
    unsigned beeps = 0;        // how many times the host made it beep
    std::uint8_t led = 0;      // LED colour code
    std::uint8_t authenticationStandard = 0;
    std::array<std::uint8_t, 8> display{}; // segment bytes of the 8-digit display
    Flash flash;
    // The reader's store of 32 MIFARE keys (6 bytes each) that authentication
    // by key number uses; every slot starts as the transport key FF..FF.
    std::array<std::array<std::uint8_t, 6>, 32> keyStore = [] {
        std::array<std::array<std::uint8_t, 6>, 32> keys;
        keys.fill({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
        return keys;
    }();
};

} // namespace sim
