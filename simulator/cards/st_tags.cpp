#include "simulator/cards/st_tags.h"

#include <algorithm>

namespace sim {

StUid makeStUid(std::uint8_t icCode, std::uint64_t serial) {
    const std::uint64_t value = std::uint64_t{0xD002} << 48 | std::uint64_t{icCode & 0x3Fu} << 42 |
                                (serial & ((std::uint64_t{1} << 42) - 1));
    StUid uid{};
    for (std::size_t i = 0; i < uid.size(); ++i)
        uid[i] = static_cast<std::uint8_t>(value >> (8 * i));
    return uid;
}

// ---- SR176 ---------------------------------------------------------------

Sr176::Sr176(const StUid& uid, std::uint8_t chipId) : uid_(uid), chipId_(chipId & 0x0F) {
    for (std::size_t b = 0; b < kFirstUserBlock; ++b)
        blocks_[b] = {uid_[2 * b], uid_[2 * b + 1]};
}

std::string Sr176::describe() const {
    StUid msbFirst = uid_;
    std::reverse(msbFirst.begin(), msbFirst.end());
    return "SR176 " + toHex(msbFirst);
}

std::uint8_t Sr176::initiate() {
    // SELECT is when a newly programmed lock register starts to count.
    activeProtection_ = lockRegister_;
    return chipId_;
}

void Sr176::onPowerCycle() {
    StTag::onPowerCycle();
    activeProtection_ = lockRegister_;
}

bool Sr176::isProtected(std::uint8_t block) const {
    return block < kBlocks && (activeProtection_ >> (block / 2) & 1) != 0;
}

Status Sr176::readBlock(std::uint8_t block, Bytes& out) const {
    if (block >= kBlocks) return Status::CardAddressInvalid;
    if (block == kLockBlock)
        out = {chipId_, lockRegister_};
    else
        out.assign(blocks_[block].begin(), blocks_[block].end());
    return Status::Ok;
}

Status Sr176::writeBlock(std::uint8_t block, std::span<const std::uint8_t> data) {
    if (block >= kBlocks) return Status::CardAddressInvalid;
    if (data.size() != kBlockSize) return Status::BadLength;
    // The UID is mask-programmed and block 15 belongs to PROTECT_BLOCK.
    if (block < kFirstUserBlock || block == kLockBlock || isProtected(block)) return Status::AccessDenied;
    std::copy(data.begin(), data.end(), blocks_[block].begin());
    return Status::Ok;
}

bool Sr176::setUserBlock(std::uint8_t block, const std::array<std::uint8_t, kBlockSize>& data) {
    if (block < kFirstUserBlock || block >= kLockBlock) return false;
    blocks_[block] = data;
    return true;
}

Status Sr176::protect(std::uint8_t bits) {
    if (isProtected(kLockBlock)) return Status::AccessDenied;
    lockRegister_ |= bits;
    return Status::Ok;
}

// ---- SRIX4K --------------------------------------------------------------

Srix4k::Srix4k(std::uint64_t serial, std::uint32_t secret)
    : uid_(makeStUid(kIcCode, serial)), secret_(secret),
      chipIds_(static_cast<std::uint32_t>(serial ^ (serial >> 32)) | 1u) {
    for (std::uint8_t b = 0; b <= kLastOtpBlock; ++b)
        blocks_[b].fill(0xFF);
    blocks_[kFirstCounter] = {0xFE, 0xFF, 0xFF, 0xFF};
    blocks_[kReloadCounter] = {0xFF, 0xFF, 0xFF, 0xFF};
}

std::string Srix4k::describe() const {
    StUid msbFirst = uid_;
    std::reverse(msbFirst.begin(), msbFirst.end());
    return "SRIX4K " + toHex(msbFirst);
}

std::uint8_t Srix4k::initiate() { return static_cast<std::uint8_t>(chipIds_()); }

std::uint32_t Srix4k::value(const Block& block) {
    return std::uint32_t{block[0]} | std::uint32_t{block[1]} << 8 | std::uint32_t{block[2]} << 16 |
           std::uint32_t{block[3]} << 24;
}

bool Srix4k::isLocked(std::uint8_t block) const {
    if (block < kFirstLockable || block > kLastLockable) return false;
    const int bit = block <= 8 ? 0 : block - 8;
    return (lockRegister_ >> bit & 1) == 0;
}

bool Srix4k::setBlock(std::uint8_t block, const std::array<std::uint8_t, kBlockSize>& data) {
    if (block >= kBlocks) return false;
    blocks_[block] = data;
    return true;
}

Status Srix4k::readBlock(std::uint8_t block, Bytes& out) const {
    if (block == kSystemBlock) {
        out = {0xFF, 0xFF, 0xFF, lockRegister_};
        return Status::Ok;
    }
    if (block >= kBlocks) return Status::CardAddressInvalid;
    out.assign(blocks_[block].begin(), blocks_[block].end());
    return Status::Ok;
}

Status Srix4k::writeBlock(std::uint8_t block, std::span<const std::uint8_t> data) {
    if (data.size() != kBlockSize) return Status::BadLength;
    if (block == kSystemBlock) {
        writeLockRegister(data[3]);
        return Status::Ok;
    }
    if (block >= kBlocks) return Status::CardAddressInvalid;
    Block incoming{};
    std::copy(data.begin(), data.end(), incoming.begin());
    Block& stored = blocks_[block];
    if (block <= kLastOtpBlock) {
        for (std::size_t i = 0; i < kBlockSize; ++i)
            stored[i] &= incoming[i];
        return Status::Ok;
    }
    if (block == kFirstCounter || block == kReloadCounter) {
        if (value(incoming) >= value(stored)) return Status::AccessDenied;
        stored = incoming;
        if (block == kReloadCounter)
            for (std::uint8_t b = 0; b <= kLastOtpBlock; ++b)
                blocks_[b].fill(0xFF);
        return Status::Ok;
    }
    if (isLocked(block)) return Status::AccessDenied;
    stored = incoming;
    return Status::Ok;
}

std::array<std::uint8_t, 3> Srix4k::authenticate(std::span<const std::uint8_t, 6> challenge) const {
    std::uint32_t hash = 2166136261u;
    const auto mix = [&hash](std::uint8_t byte) {
        hash ^= byte;
        hash *= 16777619u;
    };
    for (int i = 0; i < 4; ++i)
        mix(static_cast<std::uint8_t>(secret_ >> (8 * i)));
    for (const std::uint8_t b : uid_)
        mix(b);
    for (const std::uint8_t b : challenge)
        mix(b);
    return {static_cast<std::uint8_t>(hash), static_cast<std::uint8_t>(hash >> 8),
            static_cast<std::uint8_t>(hash >> 16)};
}

} // namespace sim
