#pragma once
// An AT88RF020 tag: an ISO 14443 Type B card (field protocol 'B') with 32
// pages of 8 bytes and a password.
//
//   page 0     bytes 0-3 the PUPI (never changes); bytes 4-7 the lock bits,
//              changed only by LOCK after the password
//   page 1     always readable; writable after the password
//   page 2     always readable; changed only by COUNT after the password:
//              bytes 0-5 the signature COUNT was given, bytes 6-7 a counter
//              (least significant byte first) that COUNT raises by one. At
//              0xFFFF the tag refuses further COUNTs.
//   page 3     the password: never readable, writable after the password
//   pages 4-31 read and written only after a successful CHECK
//
// Lock bits: bit n (byte 4 + n / 8 of page 0, bit n % 8) locks page n; a set
// bit means locked, and LOCK only ever sets bits (its 4 bytes are ORed in).
// A locked page refuses writes. Locking page 0 freezes the lock bits, locking
// page 2 stops COUNT and locking page 3 freezes the password. Reading is not
// affected by the lock bits.
//
// CHECK compares its 8 bytes with the password: a match opens the protected
// pages until the tag loses power, is halted or is deselected; a mismatch
// closes them. DESELECT sends the tag to HALT: it answers nothing until a
// wake-up request (WUPB) or a power cycle.
//
// It is a Type B card (TypeBCard) and answers REQB/WUPB like one: the ATQB
// is 50 | PUPI | application data[4] | protocol info 00 10 50 (not ISO
// 14443-4). The AT88RF080 request, which the reader also sends to this
// family, is a REQB/WUPB too and is answered with the ATQB's PUPI and
// application data (8 bytes).

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "simulator/cards/type_b.h"
#include "simulator/wire/bytes.h"
#include "simulator/wire/status.h"

namespace sim {

class At88rf020 : public TypeBCard {
  public:
    std::unique_ptr<Card> clone() const override { return std::make_unique<At88rf020>(*this); }
    static constexpr std::size_t kPages = 32;
    static constexpr std::size_t kPageSize = 8;
    static constexpr std::uint8_t kLockPage = 0;
    static constexpr std::uint8_t kOpenPage = 1;
    static constexpr std::uint8_t kCountPage = 2;
    static constexpr std::uint8_t kPasswordPage = 3;
    static constexpr std::size_t kLockBytes = 4;
    static constexpr std::size_t kSignatureBytes = 6;

    using Password = std::array<std::uint8_t, 8>;
    static constexpr ProtocolInfo kProtocolInfo{0x00, 0x10, 0x50};

    At88rf020(const Pupi& pupi, const Password& password, const ApplicationData& application = {},
              std::uint8_t afi = 0);

    std::string describe() const override;

    // The AT88RF080 request (WUPB when wakeUp): PUPI and application data, 8
    // bytes, when the tag answers.
    std::optional<Bytes> request080(bool wakeUp, std::uint8_t afi);

    // key holds 8 bytes.
    Status check(std::span<const std::uint8_t> key);
    bool passwordPresented() const { return open_; }

    Status readPage(std::uint8_t page, Bytes& out) const;
    // data holds 8 bytes.
    Status writePage(std::uint8_t page, std::span<const std::uint8_t> data);
    // bits holds the 4 lock bytes to OR in.
    Status lock(std::span<const std::uint8_t> bits);
    // signature holds 6 bytes.
    Status count(std::span<const std::uint8_t> signature);
    bool isLocked(std::uint8_t page) const;
    // Sets page 1 or one of pages 4-31 as it was programmed before the tag
    // reached the reader; false for the pages with their own rules (0, 2, 3).
    bool setDataPage(std::uint8_t page, const std::array<std::uint8_t, kPageSize>& data);

    // DESELECT: asleep and closed again.
    void deselect();

  protected:
    void onPowerCycle() override {
        TypeBCard::onPowerCycle();
        open_ = false;
    }
    void onHalt() override { open_ = false; }

  private:
    using Page = std::array<std::uint8_t, kPageSize>;

    std::array<Page, kPages> pages_{};
    bool open_ = false;
};

} // namespace sim
