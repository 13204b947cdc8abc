#pragma once
// The reader's DESFire commands, 0xB0-0xCE. The reader turns each into the
// card's native command, runs the cryptography and the frame chaining with the
// card itself, and passes the card's status byte back as its own: a DESFire
// error arrives at the host as the card's code (sim::desfire::BoundaryError
// and friends). The reader's own statuses appear only for what never reached
// the card: a request of the wrong length (Status::BadLength), no DESFire card
// to talk to (Status::NoCard), or a selected card of another kind
// (Status::WrongCardState).
//
// Which card: the one the Type A search selected. With nothing selected, a lone
// DESFire card in range is used, so a host may go straight to DESFire commands
// after switching the field to Type A; with two or more and none selected the
// reader refuses with WrongCardState rather than guess. Halted cards do not
// count.
//
// Request layouts (as the host library sends them):
//   B0 keyno key[16]                 -> 16 bytes: the session key (see DesfireCard)
//   B1 settings[8]                   byte 0 is the new KS1; the reader builds the
//                                    cryptogram (CRC, padding) itself, bytes 1-7 are not used
//   B2                               -> KS1 KS2
//   B3 keyno keydata[24]             bytes 0-15 the new key, its version in the parity
//                                    bits; bytes 16-23 not used (room for CRC and padding)
//   B4 keyno                         -> version
//   B5 aid[3 LSB first] ks1 numkeys  B6 aid[3]   B8 aid[3]   B9   BA -> 28 bytes
//   B7 / BB                          -> count, then the 3-byte AIDs / the file numbers
//   BC fileno                        -> the card's file settings
//   BD fileno len data[len]          data = comm, access[2]; another len is the card's length error
//   BE/BF fileno comm access[2] size[3 MSB first]
//   C0 fileno comm access[2] lower upper value [4 each, LSB first] limitedcredit
//   C1/C2 fileno comm access[2] recsize[3 MSB first] maxrecs[3 MSB first]
//   C3 fileno
//   C4 fileno offset[3] length[3] (MSB first)       -> length[3 MSB first] + data
//   C5 fileno offset[3] length[3] (MSB first) data[length]
//   C6 fileno                        -> card status byte (00), value[4 LSB first]
//   C7/C8/C9 fileno amount[4 LSB first]
//   CA fileno offset[3] length[3] (LSB first) data[length]
//   CB fileno offset[3] count[3] (LSB first)        -> length[3 LSB first] + records
//   CC fileno   CD   CE
//
// An answer carries at most 250 data bytes, so a read answer holds at most 247
// bytes of data: a read asking for more (or a "to the end" read that would
// give more) is refused by the reader with the card's length error 7E, before
// or without touching the card's state, so a pending transaction survives it.
//
// Scenario kind (addDesfireKinds): "desfire", a blank DESFire EV1 card.
//   uid          7 bytes, hex (required)
//   storage      "2K", "4K" (default) or "8K"
//   masterKey    card master key, 16 bytes hex (default all zero)
//   keySettings  card-level KS1, a number 0-255 (default 15: everything free)
// Unknown members are refused.

#include <cstdint>

#include "simulator/reader/dispatcher.h"

namespace sim {

namespace desfire::cmd {
inline constexpr std::uint8_t Authenticate = 0xB0;
inline constexpr std::uint8_t ChangeKeySettings = 0xB1;
inline constexpr std::uint8_t GetKeySettings = 0xB2;
inline constexpr std::uint8_t ChangeKey = 0xB3;
inline constexpr std::uint8_t GetKeyVersion = 0xB4;
inline constexpr std::uint8_t CreateApplication = 0xB5;
inline constexpr std::uint8_t DeleteApplication = 0xB6;
inline constexpr std::uint8_t GetApplicationIds = 0xB7;
inline constexpr std::uint8_t SelectApplication = 0xB8;
inline constexpr std::uint8_t FormatPicc = 0xB9;
inline constexpr std::uint8_t GetVersion = 0xBA;
inline constexpr std::uint8_t GetFileIds = 0xBB;
inline constexpr std::uint8_t GetFileSettings = 0xBC;
inline constexpr std::uint8_t ChangeFileSettings = 0xBD;
inline constexpr std::uint8_t CreateStdDataFile = 0xBE;
inline constexpr std::uint8_t CreateBackupDataFile = 0xBF;
inline constexpr std::uint8_t CreateValueFile = 0xC0;
inline constexpr std::uint8_t CreateLinearRecordFile = 0xC1;
inline constexpr std::uint8_t CreateCyclicRecordFile = 0xC2;
inline constexpr std::uint8_t DeleteFile = 0xC3;
inline constexpr std::uint8_t ReadData = 0xC4;
inline constexpr std::uint8_t WriteData = 0xC5;
inline constexpr std::uint8_t GetValue = 0xC6;
inline constexpr std::uint8_t Credit = 0xC7;
inline constexpr std::uint8_t Debit = 0xC8;
inline constexpr std::uint8_t LimitedCredit = 0xC9;
inline constexpr std::uint8_t WriteRecord = 0xCA;
inline constexpr std::uint8_t ReadRecords = 0xCB;
inline constexpr std::uint8_t ClearRecordFile = 0xCC;
inline constexpr std::uint8_t CommitTransaction = 0xCD;
inline constexpr std::uint8_t AbortTransaction = 0xCE;
} // namespace desfire::cmd

// Most data one read answer carries after its 3-byte length.
inline constexpr std::size_t kDesfireMaxReadData = 247;

class CardKinds;

void installDesfire(Dispatcher& dispatcher);
void addDesfireKinds(CardKinds& kinds);

} // namespace sim
