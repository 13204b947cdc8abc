#pragma once
// A USSEN card. The reader reaches it through one command with sub-commands
// (get card, get card with parameters, write memory, read memory), after a
// request that works like the ISO 14443 Type A REQA/WUPA: the card answers in
// the Type A protocol (field protocol 'A'), so it is a Type A card with a UID,
// ATQA 04 00 and SAK 0x01, and a Type A search finds it too.
//
// Memory: 128 bytes of EEPROM by default (kDefaultMemory), addressed from 0.
// It keeps its content through power cycles. A read or write that reaches
// past the end is refused whole (CardAddressInvalid).
//
// Application identifier: a 24-bit number the card carries. A "get card with
// parameters" that names another identifier is not answered by the card.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "simulator/cards/type_a_card.h"
#include "simulator/wire/bytes.h"
#include "simulator/wire/status.h"

namespace sim {

class UssenCard : public TypeACard {
  public:
    std::unique_ptr<Card> clone() const override { return std::make_unique<UssenCard>(*this); }
    static constexpr std::size_t kDefaultMemory = 128;
    static constexpr std::array<std::uint8_t, 2> kAtqa{0x04, 0x00};
    static constexpr std::uint8_t kSak = 0x01;

    // uid: 4 or 7 bytes; applicationId: 24 bits.
    UssenCard(Bytes uid, std::uint32_t applicationId = 0, std::size_t memorySize = kDefaultMemory);

    std::string describe() const override;

    std::uint32_t applicationId() const { return applicationId_; }
    std::size_t memorySize() const { return memory_.size(); }

    // ATQA[2] SAK UID: the layout of the reader's Type A card search answer.
    Bytes cardInfo() const;

    Status readMemory(std::size_t offset, std::size_t length, Bytes& out) const;
    Status writeMemory(std::size_t offset, std::span<const std::uint8_t> data);

  private:
    std::uint32_t applicationId_;
    Bytes memory_;
};

} // namespace sim
