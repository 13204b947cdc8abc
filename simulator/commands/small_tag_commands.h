#pragma once
// The reader's commands for the small tag families: ST SR176 and SRIX4K
// (field protocol 's'), AT88RF020 (field protocol 'B') and USSEN cards
// (field protocol 'A'). Only cards of the field's protocol hear them, and
// only while the antenna is on.
//
// ST tags. Block data goes least significant byte first.
//   code  request                        answer
//   0x29  -                              chip ID: INITIATE + SELECT of the first tag that is
//                                        not silent; that tag is the selected one
//   0x2A  -                              -   COMPLETION: the selected tag goes silent
//   0x2B  block                          SR176 block, 2 bytes
//   0x2C  block, data[2]                 -
//   0x2D  bits                           -   ORs bits into the SR176 lock register
//   0x83  -                              the SR176 lock register, 1 byte
//   0x8C  start, count                   count SR176 blocks
//   0x2E  block                          SRIX block, 4 bytes (block 255: system block)
//   0x2F  block, data[4]                 -
//   0x30  challenge[6]                   SRIX authentication answer, 3 bytes
//   0x31  -                              SRIX UID, 8 bytes
//   0x32  value                          -   clears SRIX lock register bits that are 0 in value
//   0x8E  start, count                   count SRIX blocks
//   0x89  start, count, count blocks     -   writes block after block; stops at the first
//                                        refusal. Shared with the MIFARE Classic multi-write:
//                                        claimed only while an ST tag is selected and the
//                                        data holds exactly count blocks of that tag's size.
// Block commands need a selected tag: NoCard when no ST tag hears the
// reader, WrongCardState when one does but none is selected (before 0x29 or
// after completion) or when the selected tag is of the other kind.
// With several ST tags on the reader the select always reaches the same one
// (nothing the host sends tells an SR176 search from an SRIX4K one); to work
// with another, take the first off the reader (the desk, simulator/reader/desk.h).
//
// AT88RF020 (pages of 8 bytes).
//   0x21  password[8]                    -   CHECK
//   0x22  page                           page, 8 bytes
//   0x23  page, data[8]                  -
//   0x24  lock bits[4]                   -   LOCK (page 0)
//   0x25  signature[6]                   -   COUNT (page 2)
//   0x26  -                              -   DESELECT: the tag sleeps until woken or reset
//   0x8A  start, count                   count pages
//   0x8B  start, count, count pages      -   page after page; stops at the first refusal
//   0x70  mode, AFI (2 bytes)            PUPI[4] application data[4]: the AT88RF080
//                                        request, a REQB (mode 0) or WUPB (mode 1, also
//                                        wakes halted tags) for the AFI, with the Type B
//                                        family rules (TypeBCard::afiMatches). The tag
//                                        that answers becomes the selected one. Shared with
//                                        the MIFARE Plus personalisation write (18 bytes):
//                                        only 2-byte requests are claimed here.
// The commands talk to the selected AT88RF020, or else to the first one that
// hears the reader and is not halted; NoCard when there is none. The Type B
// request (rf_atqb) of the Type B family finds the tag as well.
//
// USSEN (0xE0, first byte the sub-command).
//   0x01 mode                            ATQA[2] SAK UID: get card. mode 0x26 asks cards
//                                        that are not halted, 0x52 wakes halted ones too.
//   0x02 mode, param[3] b1 b2 b3 b4      ATQA[2] SAK UID memory[b1 .. b1+b2-1]: get card
//                                        with parameters. param (least significant byte
//                                        first) is an application identifier: 0 asks every
//                                        card, anything else only the card that carries it.
//                                        b1 and b2 pick memory bytes to send along (b2 = 0:
//                                        none); b3 and b4 are reserved and not looked at.
//   0x12 len, data[len]                  -   writes memory from address 0
//   0x13 len                             memory[0 .. len-1]
// Both get card commands select the card that answers; the memory commands
// need it (WrongCardState when a USSEN card hears the reader but none is
// selected, NoCard when none hears it). Memory beyond the card's size:
// CardAddressInvalid. Other modes or sub-commands: BadParameter.
//
// Every request of the wrong length answers BadLength; a count of 0, or one
// whose answer would not fit one frame, answers BadParameter.

#include <cstdint>

#include "simulator/reader/dispatcher.h"

namespace sim {

class CardKinds;

namespace smalltags {
inline constexpr std::uint8_t StSelect = 0x29;
inline constexpr std::uint8_t StCompletion = 0x2A;
inline constexpr std::uint8_t Sr176Read = 0x2B;
inline constexpr std::uint8_t Sr176Write = 0x2C;
inline constexpr std::uint8_t Sr176Protect = 0x2D;
inline constexpr std::uint8_t Sr176ProtectRegister = 0x83;
inline constexpr std::uint8_t Sr176MultiRead = 0x8C;
inline constexpr std::uint8_t SrixRead = 0x2E;
inline constexpr std::uint8_t SrixWrite = 0x2F;
inline constexpr std::uint8_t SrixAuthenticate = 0x30;
inline constexpr std::uint8_t SrixUid = 0x31;
inline constexpr std::uint8_t SrixWriteLockRegister = 0x32;
inline constexpr std::uint8_t SrixMultiRead = 0x8E;
inline constexpr std::uint8_t StMultiWrite = 0x89;

inline constexpr std::uint8_t At88Check = 0x21;
inline constexpr std::uint8_t At88Read = 0x22;
inline constexpr std::uint8_t At88Write = 0x23;
inline constexpr std::uint8_t At88Lock = 0x24;
inline constexpr std::uint8_t At88Count = 0x25;
inline constexpr std::uint8_t At88Deselect = 0x26;
inline constexpr std::uint8_t At88MultiRead = 0x8A;
inline constexpr std::uint8_t At88MultiWrite = 0x8B;
inline constexpr std::uint8_t At88Request = 0x70;

inline constexpr std::uint8_t Ussen = 0xE0;
inline constexpr std::uint8_t UssenGetCard = 0x01;
inline constexpr std::uint8_t UssenGetCardWithParameters = 0x02;
inline constexpr std::uint8_t UssenWriteMemory = 0x12;
inline constexpr std::uint8_t UssenReadMemory = 0x13;
} // namespace smalltags

void installSmallTags(Dispatcher& dispatcher);

// Scenario kinds (unknown members are errors; "comment" is allowed):
//   "sr176"      uid (8 bytes, hex, least significant first), chip_id (0-15, default 0),
//                blocks (object of block number 4-14 to 2 bytes)
//   "srix4k"     serial (42-bit number, default 1), secret (32-bit number, optional),
//                blocks (object of block number 0-127 to 4 bytes, stored as given)
//   "at88rf020"  pupi (4 bytes), password (8 bytes, default all zero),
//                application (4 bytes, default all zero), afi (0-255, default 0),
//                pages (object of page number 1 or 4-31 to 8 bytes)
//   "ussen"      uid (4 or 7 bytes), application_id (24-bit number, default 0),
//                memory (size in bytes, 1-1024, default 128)
void addSmallTagKinds(CardKinds& kinds);

} // namespace sim
