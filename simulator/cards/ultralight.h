#pragma once
// MIFARE Ultralight (16 pages of 4 bytes) and Ultralight C (48 pages, 3DES
// authentication). Pages 0-1 hold the serial number, page 2 its check byte and
// the lock bytes, page 3 the one-time-programmable bits; lock bytes and OTP
// bits can only ever be set.
//
// Lock bits written by the host take effect at the card's next wake-up
// (REQA/WUPA) or power-up, when the chip loads them.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "simulator/cards/type_a_card.h"
#include "simulator/wire/status.h"

namespace sim {

namespace ultralight {

using Page = std::array<std::uint8_t, 4>;
using Key = std::array<std::uint8_t, 16>;

inline constexpr std::size_t kLockPage = 2;
inline constexpr std::size_t kOtpPage = 3;
inline constexpr std::size_t kFirstUserPage = 4;

// Ultralight C configuration pages.
inline constexpr std::size_t kCLockPage = 0x28;    // lock bytes 2 and 3
inline constexpr std::size_t kCCounterPage = 0x29; // 16-bit one-way counter
inline constexpr std::size_t kCAuth0Page = 0x2A;   // byte 0: first page that needs authentication
inline constexpr std::size_t kCAuth1Page = 0x2B;   // bit 0: 1 = only writes need it, 0 = reads too
inline constexpr std::size_t kCKeyPage = 0x2C;     // 0x2C-0x2F: the key, never readable

// Factory key of an Ultralight C, in the order the host hands it to the
// reader; the card's key pages hold each 8-byte half reversed.
inline constexpr Key kDefaultKey = {0x49, 0x45, 0x4D, 0x4B, 0x41, 0x45, 0x52, 0x42,
                                    0x21, 0x4E, 0x41, 0x43, 0x55, 0x4F, 0x59, 0x46};

// Is page p (3..15) locked by lock bytes 0 and 1 (page 2, bytes 2 and 3)?
bool pageLocked(std::uint8_t lock0, std::uint8_t lock1, std::size_t page);
// Lock bytes 0 and 1 after the host wrote `written`: bits are only ever set,
// and a set block-locking bit freezes the lock bits it covers.
std::array<std::uint8_t, 2> mergeLockBytes(std::array<std::uint8_t, 2> current,
                                           std::array<std::uint8_t, 2> written);

} // namespace ultralight

class UltralightCard : public TypeACard {
  public:
    std::unique_ptr<Card> clone() const override { return std::make_unique<UltralightCard>(*this); }
    enum class Model { Ultralight, UltralightC };

    // uid: 7 bytes (std::invalid_argument otherwise). The serial number pages
    // and check bytes are built from it; the rest starts as a fresh card: no
    // locks, OTP zero, user pages zero and, on a C, no protection and the
    // factory key.
    UltralightCard(Model model, Bytes uid);

    Model model() const { return model_; }
    std::string describe() const override;

    std::size_t pageCount() const { return memory_.size(); }
    // Memory as stored, without checks: for tests and scenarios.
    const ultralight::Page& page(std::size_t index) const { return memory_.at(index); }
    void setPage(std::size_t index, const ultralight::Page& data) { memory_.at(index) = data; }

    // The C's 3DES key in host order (from the key pages); setKey stores it.
    ultralight::Key key() const;
    void setKey(const ultralight::Key& key);

    // --- What the reader asks of the card; a refusal is the card's NAK.
    // READ: 4 pages from `page`, rolling over to page 0 after the last
    // readable page.
    Status read(std::uint8_t page, std::array<std::uint8_t, 16>& out) const;
    // WRITE (and the 16-byte compatibility write, which stores only its first 4 bytes).
    Status write(std::uint8_t page, std::span<const std::uint8_t, 4> data);
    // The reader runs the 3DES exchange with the key material the host gave
    // it; the card accepts when that material is its own key.
    Status authenticate(std::span<const std::uint8_t, 16> keyMaterial);
    bool authenticated() const { return authenticated_; }

    // A wake-up (REQA/WUPA): the chip reloads its lock bits and forgets any
    // authentication. A halt forgets the authentication too.
    void wake();
    void halt() { authenticated_ = false; }

  protected:
    void onPowerCycle() override { wake(); }

  private:
    // Pages READ can reach: 16 on an Ultralight, up to the key pages on a C.
    std::size_t readablePages() const;
    bool writeLocked(std::size_t page) const;
    bool needsAuthentication(std::size_t page, bool forWrite) const;

    Model model_;
    std::vector<ultralight::Page> memory_;
    std::array<std::uint8_t, 2> activeLock_{}; // lock bytes 0-1 as loaded at the last wake-up
    bool authenticated_ = false;
};

} // namespace sim
