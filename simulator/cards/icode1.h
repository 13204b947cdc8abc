#pragma once
// An ICODE1 label, the older vicinity label that is not ISO 15693: an 8-byte
// serial number and 32 pages of 4 bytes.
//
// Memory layout of the first pages (the later ones are user memory):
//   page 0   serial number bytes 0-3
//   page 1   serial number bytes 4-7
//   page 2   write access conditions, two bits per page for pages 0-15:
//            byte p/4, bits 2*(p%4) and 2*(p%4)+1. Both bits 1: writable;
//            anything else: write protected. A write to page 2 is ANDed in,
//            so a protection once set is never lifted. Delivered as F0 FF FF FF
//            (pages 0 and 1, the serial number, protected).
//   page 3   special functions (EAS / quiet bits), plain data here
//   page 4   family code and application identifier, plain data here
// The access conditions only reach pages 0-15; pages 16-31, which the labels
// of this size add, are always writable. The quiet and EAS bits of page 3 are
// stored but do not change how the label answers.
//
// The label answers requests until it is halted; a halted label stays silent
// until it loses power (antenna off, another field protocol).

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "simulator/cards/card.h"
#include "simulator/wire/bytes.h"
#include "simulator/wire/status.h"

namespace sim {

class Icode1Label : public Card {
  public:
    std::unique_ptr<Card> clone() const override { return std::make_unique<Icode1Label>(*this); }
    static constexpr std::size_t kPages = 32;
    static constexpr std::size_t kPageSize = 4;
    static constexpr std::size_t kSerialPages = 2;
    static constexpr std::size_t kAccessPage = 2;
    static constexpr std::size_t kGuardedPages = 16; // pages the access conditions cover
    static constexpr std::array<std::uint8_t, kPageSize> kDeliveredAccess{0xF0, 0xFF, 0xFF, 0xFF};

    using Serial = std::array<std::uint8_t, 8>;

    explicit Icode1Label(const Serial& serial);

    std::string describe() const override;

    // What pages 0 and 1 hold now.
    Serial serial() const;
    Bytes page(std::size_t page) const; // empty beyond the memory
    bool writable(std::size_t page) const;

    // Fills pages from `first` on without any access check, as a scenario
    // describes a label. Throws std::out_of_range when the bytes do not end on
    // a page boundary inside the memory.
    void load(std::size_t first, std::span<const std::uint8_t> bytes);

    Status read(std::size_t page, Bytes& out) const;
    Status write(std::size_t page, std::span<const std::uint8_t> data);
    void halt() { setHalted(true); }

  private:
    std::array<std::uint8_t, kPages * kPageSize> memory_{};
};

} // namespace sim
