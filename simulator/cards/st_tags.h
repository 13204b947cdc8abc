#pragma once
// ST short-range memory tags, SR176 and SRIX4K. Both run in the reader's ST
// protocol ('s') and share the tag life cycle:
//
//   power up -> INITIATE gives a chip ID -> SELECT chip ID -> reads and writes
//            -> COMPLETION: the tag stays silent until it loses power
//
// The reader runs INITIATE and SELECT as one command, so initiate() both
// activates the tag and hands out its chip ID.
//
// SR176: 16 blocks of 2 bytes, each read and written least significant byte
// first (the byte order the reader passes on).
//   blocks 0-3   the 64-bit UID, block 0 holding its least significant bits
//   blocks 4-14  user data
//   block 15     byte 0: chip ID in the low 4 bits; byte 1: the lock register
// Lock register bit i protects blocks 2i and 2i+1 (1 = protected). Bits are
// one-time programmable: PROTECT_BLOCK ORs its byte into the register, and
// the new protection takes effect at the next SELECT (or power-up), as on the
// chip. Protecting blocks 14-15 (bit 7) also freezes the lock register itself.
// Block 15 is only changed through PROTECT_BLOCK; blocks 0-3 are read-only.
// The SR176 chip ID is fixed (the low nibble of block 15).
//
// SRIX4K: 128 blocks of 4 bytes plus block 255, the system block.
//   blocks 0-4    resettable OTP: a write only clears bits (new = old AND data)
//   blocks 5-6    count-down counters (32 bits, least significant byte first):
//                 a write is accepted only when it makes the value smaller;
//                 each accepted write to block 6 resets blocks 0-4 to all ones
//                 (the chip's reload of its OTP area)
//   blocks 7-15   lockable through the lock register
//   blocks 16-127 plain EEPROM
//   block 255     bytes 0-2 fixed 0xFF, byte 3 the OTP lock register; writing
//                 the block (or WRITE_LOCK_REG) only clears lock bits
// Lock register bit 0 locks blocks 7 and 8, bit 1 block 9, ..., bit 7 block
// 15; 0 = locked. A lock takes effect at once.
// The UID is D0 02, a 6-bit IC code (3) and a 42-bit serial, handed out least
// significant byte first (so the last two bytes are 02 D0).
// Each INITIATE draws a new random chip ID.
// Authenticate: the reader sends a 6-byte challenge and the tag answers 3
// bytes. The real chip computes them with a secret algorithm; this model
// answers a keyed digest of its secret, its UID and the challenge (FNV-1a,
// low three bytes, least significant first), so the same tag always gives the
// same answer to the same challenge and another tag or challenge does not.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>
#include <span>
#include <string>

#include "simulator/cards/card.h"
#include "simulator/wire/bytes.h"
#include "simulator/wire/status.h"

namespace sim {

// The part both ST tags share: activation, completion and block access.
class StTag : public Card {
  public:
    StTag() : Card(iso::StShortRange) {}

    virtual std::size_t blockSize() const = 0;

    // INITIATE + SELECT: the chip ID for this activation.
    virtual std::uint8_t initiate() = 0;

    // COMPLETION: silent until the next power cycle.
    void complete() { completed_ = true; }
    bool completed() const { return completed_; }

    virtual Status readBlock(std::uint8_t block, Bytes& out) const = 0;
    // data holds exactly blockSize() bytes (the caller checks).
    virtual Status writeBlock(std::uint8_t block, std::span<const std::uint8_t> data) = 0;

  protected:
    void onPowerCycle() override { completed_ = false; }

  private:
    bool completed_ = false;
};

// A 64-bit ST UID in the order the reader hands it out, least significant
// byte first.
using StUid = std::array<std::uint8_t, 8>;

// D0 02 | 6-bit IC code | 42-bit serial, as ST numbers its tags.
StUid makeStUid(std::uint8_t icCode, std::uint64_t serial);

class Sr176 : public StTag {
  public:
    std::unique_ptr<Card> clone() const override { return std::make_unique<Sr176>(*this); }
    static constexpr std::size_t kBlocks = 16;
    static constexpr std::size_t kBlockSize = 2;
    static constexpr std::uint8_t kLockBlock = 15;
    static constexpr std::uint8_t kFirstUserBlock = 4;

    Sr176(const StUid& uid, std::uint8_t chipId);

    std::string describe() const override;
    std::size_t blockSize() const override { return kBlockSize; }
    std::uint8_t initiate() override;

    Status readBlock(std::uint8_t block, Bytes& out) const override;
    Status writeBlock(std::uint8_t block, std::span<const std::uint8_t> data) override;

    // PROTECT_BLOCK: ORs bits into the lock register.
    Status protect(std::uint8_t bits);
    // The lock register as stored (including bits that wait for the next SELECT).
    std::uint8_t protectRegister() const { return lockRegister_; }
    // Sets a user block (4-14) as it was programmed before the tag reached the
    // reader; false for any other block.
    bool setUserBlock(std::uint8_t block, const std::array<std::uint8_t, kBlockSize>& data);
    // Whether a write to the block is refused now.
    bool isProtected(std::uint8_t block) const;

    const StUid& uid() const { return uid_; }

  protected:
    void onPowerCycle() override;

  private:
    StUid uid_;
    std::uint8_t chipId_;
    std::uint8_t lockRegister_ = 0;
    std::uint8_t activeProtection_ = 0; // lock register as of the last SELECT or power-up
    std::array<std::array<std::uint8_t, kBlockSize>, kBlocks> blocks_{};
};

class Srix4k : public StTag {
  public:
    std::unique_ptr<Card> clone() const override { return std::make_unique<Srix4k>(*this); }
    static constexpr std::size_t kBlocks = 128;
    static constexpr std::size_t kBlockSize = 4;
    static constexpr std::uint8_t kSystemBlock = 255;
    static constexpr std::uint8_t kIcCode = 3;
    static constexpr std::uint8_t kLastOtpBlock = 4;
    static constexpr std::uint8_t kFirstCounter = 5;
    static constexpr std::uint8_t kReloadCounter = 6;
    static constexpr std::uint8_t kFirstLockable = 7;
    static constexpr std::uint8_t kLastLockable = 15;

    // serial: the tag's 42-bit serial number; secret: its authentication key.
    explicit Srix4k(std::uint64_t serial, std::uint32_t secret = 0x5A17C0DE);

    std::string describe() const override;
    std::size_t blockSize() const override { return kBlockSize; }
    std::uint8_t initiate() override;

    Status readBlock(std::uint8_t block, Bytes& out) const override;
    Status writeBlock(std::uint8_t block, std::span<const std::uint8_t> data) override;

    // WRITE_LOCK_REG: clears the register's bits that are 0 in value.
    void writeLockRegister(std::uint8_t value) { lockRegister_ &= value; }
    std::uint8_t lockRegister() const { return lockRegister_; }
    bool isLocked(std::uint8_t block) const;
    // Sets a block (0-127) as it was programmed before the tag reached the
    // reader, bypassing the OTP and counter rules; false beyond block 127.
    bool setBlock(std::uint8_t block, const std::array<std::uint8_t, kBlockSize>& data);

    std::array<std::uint8_t, 3> authenticate(std::span<const std::uint8_t, 6> challenge) const;

    const StUid& uid() const { return uid_; }

  private:
    using Block = std::array<std::uint8_t, kBlockSize>;
    static std::uint32_t value(const Block& block);

    StUid uid_;
    std::uint32_t secret_;
    std::uint8_t lockRegister_ = 0xFF;
    std::array<Block, kBlocks> blocks_{};
    std::minstd_rand chipIds_;
};

} // namespace sim
