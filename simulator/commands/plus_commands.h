#pragma once
// The reader's MIFARE Plus commands. They talk to the selected card (found
// and selected by the Type A search): NoCard when nothing is selected and no
// MIFARE Plus card hears the reader, WrongCardState when a Plus card is there
// but not selected, CardRefused when the selected card is of another family
// (it does not understand the command). Addresses and block numbers go most
// significant byte first, values least significant byte first.
//
//   code  request                                  answer
//   0x70  address[2], data[16]                     -   level-0 personalisation write.
//         Shared with the AT88RF080 request (2 bytes), which is left to its handler.
//   0x71  -                                        -   commit personalisation
//   0x72  level, key[16]                           -   switch to level 2 or 3
//   0x73  key type (0 A, 1 B), block[2], key[16]   -   AES authentication for a block
//   0x74  block[2], count                          count x 16 bytes
//   0x75  block[2] (the host sends 00, block), count, count x 16 bytes
//   0x76  block[2], value[4]                       -   make a value block
//   0x77  block[2]                                 value[4]
//   0x78  block[2], amount[4]                      -   increment (written back)
//   0x79  block[2], amount[4]                      -   decrement (written back)
//   0x7A  source[2], destination[2]                -   copy a value block
//   0x7B  key address[2], key[16]                  -   first authentication
//   0x7C  key address[2], key[16]                  -   following authentication
//
// A level-1 card is a MIFARE Classic: while one is selected these handlers
// also answer the Classic commands (0x11-0x1A, 0x88, and 0x89 with 16-byte
// blocks) through the card's Classic engine, exactly as the Classic handlers
// do for a Classic card: a refusal ends the card's session and the reader
// drops the selection. A level-2 card answers them too, but its Crypto1
// authentication (0x11, 0x12) needs the sector's AES authentication first
// (0x73 or 0x7B in this selection), else NotAuthenticated. At levels 0 and
// 3 those commands answer WrongCardState; while no Plus card is
// selected they are left to the Type A family. For this to work the Plus
// handlers must come before the Type A family's, which refuse every card
// that is not theirs: install installMifarePlus first.
//
// Requests of the wrong length answer BadLength (except the shared codes,
// see above). The card's own answers are described in
// simulator/cards/mifare_plus.h.

#include <cstdint>

#include "simulator/reader/dispatcher.h"

namespace sim {

class CardKinds;

namespace plus {
inline constexpr std::uint8_t WritePerso = 0x70;
inline constexpr std::uint8_t CommitPerso = 0x71;
inline constexpr std::uint8_t SwitchLevel = 0x72;
inline constexpr std::uint8_t BlockAuthentication = 0x73;
inline constexpr std::uint8_t Read = 0x74;
inline constexpr std::uint8_t Write = 0x75;
inline constexpr std::uint8_t PurseCreate = 0x76;
inline constexpr std::uint8_t PurseRead = 0x77;
inline constexpr std::uint8_t PurseIncrement = 0x78;
inline constexpr std::uint8_t PurseDecrement = 0x79;
inline constexpr std::uint8_t PurseBackup = 0x7A;
inline constexpr std::uint8_t FirstAuthentication = 0x7B;
inline constexpr std::uint8_t FollowingAuthentication = 0x7C;
} // namespace plus

void installMifarePlus(Dispatcher& dispatcher);

// Scenario kinds "mifareplus2k" and "mifareplus4k":
//   uid    4 or 7 bytes (hex)
//   level  0-3, default 0; above 0 the card counts as personalised with
//          every key 16 x FF
void addPlusKinds(CardKinds& kinds);

} // namespace sim
