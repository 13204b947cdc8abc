#pragma once
// The reader's commands for vicinity cards: ISO 15693 tags (field protocol
// '1') and ICODE1 labels (field protocol 'I'). Only cards of the field's
// protocol hear them, and only while the antenna is on; otherwise NoCard.
//
// ISO 15693. UIDs travel in the order the reader returns them (0xE0 last).
//
//   code  request                          answer
//   0x40  -                                DSFID, UID[8] of one tag
//   0x41  UID[8]                           -   stay quiet
//   0x42  UID[8]                           -   select
//   0x43  flags, UID[8]                    -   reset to ready
//   0x44  flags, UID[8], block, count      count blocks ([security byte] 4 bytes each)
//   0x45  flags, UID[8], block, data[4]    -
//   0x46  flags, UID[8], block             -   lock block
//   0x47  flags, UID[8], AFI               -
//   0x48  flags, UID[8]                    -   lock AFI
//   0x49  flags, UID[8], DSFID             -
//   0x4A  flags, UID[8]                    -   lock DSFID
//   0x4B  flags, UID[8]                    info flags, UID[8], DSFID, AFI, blocks-1, block size-1, IC ref
//   0x4C  flags, UID[8], block, count      count security bytes (bit 0: locked)
//   0x4D  inventory flags, AFI             n, then DSFID, UID[8] per tag
//
// Who hears a request with a flags byte:
//   - address flag 0x20: the tag with that UID, in any state (quiet too);
//     NoCard when no such tag is in the field.
//   - select flag 0x10: the selected tag; NoCard when none is selected.
//   - neither: every tag that is not quiet; the UID bytes are not sent to the
//     tags and do not matter. All of them carry the command out (an
//     unaddressed write writes every one); the answer is that of the first
//     of them in the field, the one that wins the air.
//   - both flags: BadParameter, a tag cannot be asked that way.
// The option flag 0x40 puts each block's security byte before its data in a
// read. Other flag bits are passed over: the reader takes care of data rate
// and write timing, so a write or lock works with or without the option flag
// whatever the tag's maker.
//
// count is the number of blocks (the card tool reads 64 blocks as 14, 14, 14,
// 14 and 8 from blocks 0, 14, 28, 42 and 56). A count of 0 is BadParameter;
// blocks beyond the memory are CardAddressInvalid; an answer that would not
// fit a frame (250 bytes) is BadParameter. Locked blocks, AFI or DSFID refuse
// writes and a second lock with AccessDenied.
//
// Stay Quiet and Select always carry a UID and reach quiet tags too. Select
// sends any other selected tag back to ready, even when the UID is not in the
// field (then NoCard). The simulated reader knows when no tag holds the UID
// and reports NoCard, where a real reader could not tell for Stay Quiet.
//
// Inventory (0x40) answers the first tag in the field that is not quiet; it
// does not change the tag's state, so a host walks through several tags by
// quieting each one it has seen. Multi-inventory (0x4D) reports every such
// tag, at most 27 (a frame's worth), in field order; when bit 0x10 of its
// inventory flags is set only tags whose AFI matches the AFI byte answer
// (0 matches all; a zero nibble matches any family or sub-family). No tag:
// NoCard for both.
//
// ICODE1.
//   0xA0  -                  serial[8] of the first label that is not halted;
//                            that label is the one the next commands talk to
//   0xA1  page               data[4]
//   0xA2  page, data[4]      -   refused (AccessDenied) where page 2's access
//                            conditions protect the page
//   0xA3  -                  -   halts the label: silent until the field resets
// Read, write and halt before a request (or after the label was halted or
// lost power) answer WrongCardState while labels are in the field, NoCard
// when none is. Pages beyond 31 are CardAddressInvalid.
//
// Every request of the wrong length answers BadLength.
//
// Scenario kinds (addVicinityKinds). Numbers are JSON numbers, bytes hex text.
//   "iso15693"  an ISO 15693 tag.
//       uid          8 bytes as the reader returns them (0xE0 last); or else
//       maker        manufacturer code (default 4) and
//       serial       serial number, low 40 bits used (default 1)
//       blocks       1-256; default 28 for maker 4, 64 for any other maker
//       icReference  default 1 for maker 4, 0 otherwise
//       dsfid, afi   default 0;  dsfidLocked, afiLocked  true/false
//       data         whole blocks from block 0
//       locked       array of block numbers locked at the factory
//   "icode1"    an ICODE1 label.
//       serial       8 bytes, pages 0-1
//       data         whole pages from page 2 on (access conditions first)
// Unknown members are refused, so a misspelt one does not go unnoticed.

#include <cstdint>

#include "simulator/reader/dispatcher.h"
#include "simulator/scenario/scenario.h"

namespace sim {

namespace vicinity {
inline constexpr std::uint8_t Inventory = 0x40;
inline constexpr std::uint8_t StayQuiet = 0x41;
inline constexpr std::uint8_t Select = 0x42;
inline constexpr std::uint8_t ResetToReady = 0x43;
inline constexpr std::uint8_t ReadBlocks = 0x44;
inline constexpr std::uint8_t WriteBlock = 0x45;
inline constexpr std::uint8_t LockBlock = 0x46;
inline constexpr std::uint8_t WriteAfi = 0x47;
inline constexpr std::uint8_t LockAfi = 0x48;
inline constexpr std::uint8_t WriteDsfid = 0x49;
inline constexpr std::uint8_t LockDsfid = 0x4A;
inline constexpr std::uint8_t SystemInformation = 0x4B;
inline constexpr std::uint8_t BlockSecurity = 0x4C;
inline constexpr std::uint8_t MultiInventory = 0x4D;

inline constexpr std::uint8_t Icode1Request = 0xA0;
inline constexpr std::uint8_t Icode1Read = 0xA1;
inline constexpr std::uint8_t Icode1Write = 0xA2;
inline constexpr std::uint8_t Icode1Halt = 0xA3;

// Multi-inventory: bit of its first byte that makes the second an AFI filter.
inline constexpr std::uint8_t kAfiFilter = 0x10;
inline constexpr std::size_t kMaxInventoried = 27;
} // namespace vicinity

void installVicinity(Dispatcher& dispatcher);
void addVicinityKinds(CardKinds& kinds);

} // namespace sim
