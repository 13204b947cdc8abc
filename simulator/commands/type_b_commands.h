#pragma once
// The reader's commands for smart cards: ISO 14443 Type B (request, ATTRIB,
// halt), ISO 14443-4 of both types (RATS, APDUs, deselect), the ID card and
// the contact SAM slots.
//
// APDUs to contactless cards (0x1C, and 0xFE for the ID card) go to the card
// the reader is talking to: the Type A card selected and activated with RATS,
// or the Type B card activated with ATTRIB. The reader's Type A reset (0x1B,
// another family's command) also runs RATS, so a selected ISO 14443-4 Type A
// card that has not had RATS here gets it from the reader with the first
// APDU. Likewise, with no card activated, a Type B ISO 14443-4 card that
// answered the last request (READY) gets ATTRIB with CID 0 from the reader
// with the first APDU. The reader wraps a bare APDU in
// an I-block itself. A request may also come as a ready-made I-block, as the
// library's typeb_cos sends it with its lead byte: when the first byte is an
// I-block PCB without chaining (02 or 03, or 0A or 0B followed by a CID
// byte), the reader takes it as the block's prologue, passes the rest to the
// card as the APDU and puts the card's prologue (the same PCB, and the CID) in
// front of its answer. A block whose CID is not the card's goes unanswered,
// as does a block without CID to a card that was given one. So a bare APDU
// cannot start with those four bytes; as class bytes they would name logical
// channels and secure messaging, which the cards here do not have.
//
// The ID-card request (0xFD) runs what ID-card readers do: a short field
// reset (every card in the field loses power, so a card left active from the
// last read answers again), WUPB, ATTRIB and GET ID; it answers the card's
// 8-byte number, and the card then takes APDUs through 0xFE (or 0x1C).
//
// Request data and answers (all lengths checked: any other is BadLength):
//   1D mode                 REQB (0) / WUPB (1): the 12-byte ATQB of the first card to answer
//   97 mode afi param       the same with the application family; param (slot count) is the reader's own
//   1E PUPI[4] param        ATTRIB, CID = low nibble of param (15 is refused): the card's 1-byte answer
//   20 PUPI[4]              HLTB
//   1F                      RATS to the selected Type A card: its ATS
//   1C apdu | block         APDU to the active card: its answer, data + SW1 SW2
//   28                      DESELECT the active card
//   FD                      ID-card request: the card's 8-byte number
//   FE apdu                 APDU to the active card (the ID card after FD)
//   07 6C 6D 6E baud        set the reset baud rate identifier of slot 1 2 3 4
//   08 66 68 6A             reset slot 1 2 3 4: the ATR (6A with 2 bytes is the protocol, below)
//   09 67 69 6B apdu        APDU to the SAM in slot 1 2 3 4: its answer
//   84 85 86 87 baud        PPS in slot 1 2 3 4
//   6A slot protocol        switch a slot to T=0 (0) or T=1 (1)
//   90 slot baud / 91 slot / 92 slot baud / 93 slot apdu   the same for any slot 1..8
//
// REQB also reaches AT88RF020 tags, whose model is not a TypeBCard.
//
// Statuses: NoCard when no card answers (none in range, halted, wrong PUPI
// or CID, nothing activated); WrongCardState when the card the reader talks
// to has no ISO 14443-4 application (a MIFARE Classic selected, say) and for
// RATS to a card that is activated already (it takes only blocks then; HLTA
// or a new search ends that);
// CardRefused for RATS to a Type A card that does not speak ISO 14443-4;
// BadParameter for a mode, slot number, baud identifier or protocol out of
// range; the SAM slots' own statuses are in sam_slots.h.

#include <cstdint>
#include <memory>

#include "simulator/reader/dispatcher.h"
#include "simulator/reader/sam_slots.h"
#include "simulator/scenario/scenario.h"

namespace sim {

namespace typeb_cmd {
inline constexpr std::uint8_t Request = 0x1D;
inline constexpr std::uint8_t GetCard = 0x97;
inline constexpr std::uint8_t Attrib = 0x1E;
inline constexpr std::uint8_t Halt = 0x20;
inline constexpr std::uint8_t Rats = 0x1F;
inline constexpr std::uint8_t Apdu = 0x1C;
inline constexpr std::uint8_t Deselect = 0x28;
inline constexpr std::uint8_t IdCardRequest = 0xFD;
inline constexpr std::uint8_t IdCardCommand = 0xFE;
// Per slot 1..4.
inline constexpr std::uint8_t SamBaud[4] = {0x07, 0x6C, 0x6D, 0x6E};
inline constexpr std::uint8_t SamReset[4] = {0x08, 0x66, 0x68, 0x6A};
inline constexpr std::uint8_t SamApdu[4] = {0x09, 0x67, 0x69, 0x6B};
inline constexpr std::uint8_t SamPps[4] = {0x84, 0x85, 0x86, 0x87};
inline constexpr std::uint8_t SamProtocol = 0x6A; // shared with the slot-4 reset, told apart by length
// Slot number first.
inline constexpr std::uint8_t SamBaudAnySlot = 0x90;
inline constexpr std::uint8_t SamResetAnySlot = 0x91;
inline constexpr std::uint8_t SamPpsAnySlot = 0x92;
inline constexpr std::uint8_t SamApduAnySlot = 0x93;
} // namespace typeb_cmd

// Registers the commands with a SAM slot set of their own (all slots empty).
// Call it once per Reader.
void installTypeB(Dispatcher& dispatcher);
// The same with SAM slots the caller keeps, to fill them and look at them.
// (A name of its own, so that reader.install(installTypeB) stays unambiguous.)
void installTypeBWithSlots(Dispatcher& dispatcher, std::shared_ptr<SamSlots> slots);

// Scenario kinds (hex members as text, all optional but the first):
//   "typeb"        pupi[4]; appdata[4] (00000000), protocol[3] (008181, must
//                  say ISO 14443-4), afi (number, 0), and the application below
//   "iso14443_4a"  uid[4|7|10]; historical (ATS historical bytes, up to 15),
//                  and the application below
//   "idcard"       id[8]; record (the holder's read-only file, up to 240 bytes)
// Application members: aid (1-16 bytes; F056524B415050 by default),
// file (its content, up to 240 bytes; 128 zero bytes by default), readonly
// (true/false).
void addTypeBKinds(CardKinds& kinds);

// A SAM from a scenario's JSON object (the reader's SAM slots are not part of
// the field, so the scenario loader places it with SamSlots::insert):
//   {"slot": 1-8, "aid": hex, "file": hex, "readonly": bool, "t0": bool,
//    "t1": bool, "ta1": hex byte, "historical": hex, "atrbaud": 9600 ...}
// Members as for the cards; t0 false, t1 true, ta1 18, atrbaud 9600 by
// default. Throws ScenarioError naming the member at fault.
struct SamPlacement {
    std::uint8_t slot;
    std::unique_ptr<Sam> sam;
};
SamPlacement samFromJson(const Json& sam);

} // namespace sim
