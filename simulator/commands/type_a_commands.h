#pragma once
// The reader's ISO 14443 Type A commands: finding and selecting cards
// (request, anticollision, select, halt), MIFARE Classic sectors and purses
// with the reader's key store, and Ultralight pages.
//
// Searching works on every TypeACard in the field, whatever family it is
// from; block and page commands answer the MIFARE Classic and Ultralight
// models of simulator/cards.

#include <cstdint>

#include "simulator/reader/dispatcher.h"
#include "simulator/scenario/scenario.h"

namespace sim {

namespace cmd {
inline constexpr std::uint8_t TypeARequest = 0x0C;       // mode 0x26 (REQA) or 0x52 (WUPA); answers ATQA
inline constexpr std::uint8_t TypeAAnticoll = 0x0D;      // UID size 4/7/10; answers the UID
inline constexpr std::uint8_t TypeASelect = 0x0E;        // the UID; answers the SAK
inline constexpr std::uint8_t TypeAHalt = 0x0F;          // halts the selected card
inline constexpr std::uint8_t TypeAGetCard = 0x10;       // mode; answers ATQA(2) SAK(1) UID
inline constexpr std::uint8_t ClassicAuthStored = 0x11;  // key type, block, key store slot
inline constexpr std::uint8_t ClassicAuth = 0x12;        // key type, block, key[6]
inline constexpr std::uint8_t CardRead = 0x13;           // block (Classic) or first page (Ultralight)
inline constexpr std::uint8_t CardWrite = 0x14;          // block, 16 bytes
inline constexpr std::uint8_t PurseCreate = 0x15;        // block, value (4 bytes LE)
inline constexpr std::uint8_t PurseRead = 0x16;          // block; answers the value (4 bytes LE)
inline constexpr std::uint8_t PurseDecrement = 0x17;     // block, amount (4 bytes LE)
inline constexpr std::uint8_t PurseIncrement = 0x18;     // block, amount (4 bytes LE)
inline constexpr std::uint8_t PurseRestore = 0x19;       // block
inline constexpr std::uint8_t PurseTransfer = 0x1A;      // block
inline constexpr std::uint8_t TypeAReset = 0x1B;         // mode; answers UID then ATS
inline constexpr std::uint8_t UltralightWrite = 0x34;    // page, 4 bytes
inline constexpr std::uint8_t UltralightCAuth = 0x36;    // 16 bytes of key material
inline constexpr std::uint8_t TypeAAnticollLevel = 0x80; // cascade level; answers 4 bytes
inline constexpr std::uint8_t TypeASelectLevel = 0x81;   // cascade level, 4 bytes; answers the SAK
inline constexpr std::uint8_t LoadKey = 0x82;            // key store slot, key[6]
inline constexpr std::uint8_t ClassicMultiRead = 0x88;   // first block, count
inline constexpr std::uint8_t ClassicMultiWrite = 0x89;  // first block, count, count x 16 bytes (shared code)
inline constexpr std::uint8_t TypeAAnticollSelect = 0x94; // answers SAK then UID
} // namespace cmd

// Slots of the reader's key store; each starts holding FF FF FF FF FF FF.
inline constexpr std::size_t kKeyStoreSlots = 32;

// Registers the handlers. Each call gives the handlers a key store and
// anticollision state of their own, so call it once per Reader.
//
// Block, purse and page commands to a selected card of another family are
// passed on (the handler returns nullopt), so a family that serves them for
// its own cards may be installed before or after this one; when none does,
// the reader answers UnknownCommand.
void installTypeA(Dispatcher& dispatcher);

// Scenario kinds: classicmini, classic1k, classic4k, ultralight, ultralightc.
void addTypeAKinds(CardKinds& kinds);

} // namespace sim
