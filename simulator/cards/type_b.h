#pragma once
// A card that answers ISO 14443 Type B: REQB/WUPB with its ATQB, ATTRIB and
// HLTB. ISO 14443-4 Type B cards (iso14443_4.h) and any other Type B family
// derive from it, so one request finds every one of them.
//
// ATQB, 12 bytes as the card sends them (without CRC):
//   50 | PUPI[4] | application data[4] | protocol info[3]
// Protocol info: bit rates; max frame size (high nibble) | protocol type (low
// nibble, bit 0 = speaks ISO 14443-4); FWI (high nibble) | ADC | FO (bit 1
// NAD supported, bit 0 CID supported).
//
// States (ISO 14443-3):
//   IDLE   --REQB/WUPB-->  READY   --ATTRIB (own PUPI)-->  ACTIVE
//   READY or ACTIVE --HLTB (own PUPI)--> HALT;  HALT --WUPB--> READY
//   losing power --> IDLE
// An ACTIVE card is busy with its host and does not answer requests.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "simulator/cards/card.h"
#include "simulator/wire/bytes.h"

namespace sim {

class TypeBCard : public Card {
  public:
    using Pupi = std::array<std::uint8_t, 4>;
    using ApplicationData = std::array<std::uint8_t, 4>;
    using ProtocolInfo = std::array<std::uint8_t, 3>;

    static constexpr std::uint8_t kAtqbCode = 0x50;
    static constexpr std::size_t kAtqbSize = 12;

    enum class State { Idle, Ready, Active, Halt };

    // afi: the card's application family identifier (00: answers only requests for all families).
    TypeBCard(Pupi pupi, ApplicationData applicationData, ProtocolInfo protocolInfo, std::uint8_t afi = 0);

    const Pupi& pupi() const { return pupi_; }
    std::uint8_t afi() const { return afi_; }
    const ProtocolInfo& protocolInfo() const { return protocolInfo_; }
    Bytes atqb() const;
    State state() const;
    bool supportsCid() const { return (protocolInfo_[2] & 0x01) != 0; }

    std::string describe() const override;

    // REQB (wakeUp false) or WUPB (true) for the application family afi: the
    // ATQB when the card answers, and the card is then READY. A halted card
    // answers only WUPB, an active one neither.
    std::optional<Bytes> request(bool wakeUp, std::uint8_t afi);
    // ATTRIB with a PUPI and the CID the reader gives the card: the card's
    // answer (MBLI | CID) when it is READY and the PUPI is its own.
    std::optional<Bytes> attrib(const Pupi& pupi, std::uint8_t cid);
    // HLTB: true when the card took it (its own PUPI, READY or ACTIVE).
    bool halt(const Pupi& pupi);

    // Whether a request for application family `requested` reaches a card of
    // family `own`: 00 reaches every card; X0 every card of family X; 0Y every
    // card of sub-family Y; anything else only that exact family.
    static bool afiMatches(std::uint8_t requested, std::uint8_t own);

  protected:
    // Derived families start their session at ATTRIB and end it at HLTB.
    virtual void onAttrib(std::uint8_t /*cid*/) {}
    virtual void onHalt() {}
    void onPowerCycle() override;
    // The card left ACTIVE some other way (ISO 14443-4 DESELECT): it is halted.
    void enterHalt();

  private:
    Pupi pupi_;
    ApplicationData applicationData_;
    ProtocolInfo protocolInfo_;
    std::uint8_t afi_;
    bool ready_ = false;
    bool active_ = false;
};

} // namespace sim
