#pragma once
// An ISO 15693 vicinity tag: an 8-byte UID, DSFID and AFI bytes that can be
// written until they are locked, 4-byte blocks that can each be locked for
// good, and the ready / quiet / selected states that decide which requests the
// tag hears.
//
// States. A tag powers up ready. Stay Quiet puts it in quiet (kept in the
// Card's halted flag, so anything that halts cards generically quiets a tag):
// it then ignores inventories and every request that is not addressed to its
// UID. Select makes it the selected tag and sends any other selected tag back
// to ready; Reset to Ready brings it back to ready. Losing power (antenna off,
// another field protocol, leaving the field) returns it to ready.
//
// Locks are one-way: a locked block, AFI or DSFID refuses writes and a second
// lock until the tag is replaced. Both refusals answer AccessDenied (the tag
// tells "locked" and "already locked" apart, the reader does not).

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/cards/card.h"
#include "simulator/wire/bytes.h"
#include "simulator/wire/status.h"

namespace sim {

// The UID in the order the reader hands it to the host, least significant
// byte first: bytes 0-4 serial, byte 5 IC identifier, byte 6 manufacturer
// code, byte 7 always 0xE0. Requests carry it in the same order.
using Uid15693 = std::array<std::uint8_t, 8>;

namespace iso15693 {

inline constexpr std::uint8_t kUidMarker = 0xE0;
inline constexpr std::size_t kBlockSize = 4;
inline constexpr std::size_t kMaxBlocks = 256; // block numbers are one byte

// Request flags the host passes through to the tag. Others (data rate,
// subcarriers, the inventory bit) change nothing the reader's host can see.
inline constexpr std::uint8_t kSelectFlag = 0x10;  // only the selected tag answers
inline constexpr std::uint8_t kAddressFlag = 0x20; // only the tag with the UID answers
inline constexpr std::uint8_t kOptionFlag = 0x40;  // reads add each block's security byte

// Information flags of the system information answer: everything is present.
inline constexpr std::uint8_t kInfoDsfid = 0x01;
inline constexpr std::uint8_t kInfoAfi = 0x02;
inline constexpr std::uint8_t kInfoMemorySize = 0x04;
inline constexpr std::uint8_t kInfoIcReference = 0x08;

// Block security byte: bit 0 set when the block is locked.
inline constexpr std::uint8_t kBlockLocked = 0x01;

// A UID from its parts; serial is the low 40 bits of the tag's serial number.
Uid15693 makeUid(std::uint8_t maker, std::uint8_t icId, std::uint64_t serial);

// The shape of a tag product. Two of them cover what hosts meet most: a
// 28-block label (manufacturer 0x04, memory size bytes 1B 03) and a 64-block
// tag of manufacturer 0x07. IC identifiers and references are sample values.
struct Iso15693Model {
    std::string_view name;
    std::uint8_t maker;
    std::uint8_t icId;
    std::size_t blocks;
    std::uint8_t icReference;
};
inline constexpr Iso15693Model kLabel28{"28-block label", 0x04, 0x01, 28, 0x01};
inline constexpr Iso15693Model kTag64{"64-block tag", 0x07, 0xC4, 64, 0x00};

} // namespace iso15693

class Iso15693Tag : public Card {
  public:
    std::unique_ptr<Card> clone() const override { return std::make_unique<Iso15693Tag>(*this); }
    enum class State { Ready, Quiet, Selected };

    // A tag of the model with the given serial; DSFID, AFI and blocks start at 0.
    Iso15693Tag(const iso15693::Iso15693Model& model, std::uint64_t serial);
    // Any tag: blocks must be 1 to 256. Throws std::invalid_argument otherwise.
    Iso15693Tag(const Uid15693& uid, std::size_t blocks, std::uint8_t icReference = 0);

    std::string describe() const override;

    const Uid15693& uid() const { return uid_; }
    std::uint8_t maker() const { return uid_[6]; }
    std::size_t blockCount() const { return locked_.size(); }
    std::uint8_t icReference() const { return icReference_; }
    State state() const;

    std::uint8_t dsfid() const { return dsfid_; }
    std::uint8_t afi() const { return afi_; }
    bool dsfidLocked() const { return dsfidLocked_; }
    bool afiLocked() const { return afiLocked_; }
    bool blockLocked(std::size_t block) const { return block < blockCount() && locked_[block]; }
    // One block's data; empty beyond the memory.
    Bytes block(std::size_t block) const;

    // Fills memory from block `first` on, as the tag left the factory or a
    // scenario describes it: no lock is checked. Throws std::out_of_range when
    // the bytes do not end on a block boundary inside the memory.
    void load(std::size_t first, std::span<const std::uint8_t> bytes);
    // Sets DSFID and AFI, optionally locked, without the air commands' checks.
    void preset(std::uint8_t dsfid, std::uint8_t afi, bool dsfidLocked = false, bool afiLocked = false);
    void lockAtFactory(std::size_t block);

    // --- what the tag does on the air ---------------------------------------

    // Inventories and unaddressed requests reach a tag only when not quiet.
    bool hearsUnaddressed() const { return state() != State::Quiet; }
    // The AFI filter of an inventory: 0 asks every tag; otherwise a zero
    // nibble in the request matches any family (high) or sub-family (low).
    bool matchesAfi(std::uint8_t requested) const;

    void stayQuiet();
    void select();
    void resetToReady();

    // count blocks from first; with security, each block is preceded by its
    // security byte. CardAddressInvalid when any block lies beyond the memory,
    // BadParameter for a count of 0.
    Status read(std::size_t first, std::size_t count, bool withSecurity, Bytes& out) const;
    Status write(std::size_t block, std::span<const std::uint8_t> data);
    Status lock(std::size_t block);
    // One security byte per block, same rules as read.
    Status blockSecurity(std::size_t first, std::size_t count, Bytes& out) const;

    Status writeAfi(std::uint8_t afi);
    Status lockAfi();
    Status writeDsfid(std::uint8_t dsfid);
    Status lockDsfid();

    // info flags, UID, DSFID, AFI, blocks - 1, block size - 1, IC reference.
    Bytes systemInformation() const;

    // The request flags of the last command with a flags byte that reached the
    // tag: bits the reader passes over (data rate, inventory, option for
    // writes) change nothing else, so this is where a test sees what a host asked.
    std::uint8_t lastFlags() const { return lastFlags_; }
    void heardFlags(std::uint8_t flags) { lastFlags_ = flags; }

  protected:
    void onPowerCycle() override { selected_ = false; }

  private:
    Status checkRange(std::size_t first, std::size_t count) const;

    Uid15693 uid_;
    std::uint8_t icReference_;
    std::uint8_t dsfid_ = 0;
    std::uint8_t afi_ = 0;
    bool dsfidLocked_ = false;
    bool afiLocked_ = false;
    bool selected_ = false;
    std::uint8_t lastFlags_ = 0;
    Bytes memory_;
    std::vector<bool> locked_;
};

} // namespace sim
