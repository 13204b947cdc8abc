#include "simulator/cards/iso15693.h"

#include <algorithm>
#include <stdexcept>

namespace sim {

namespace iso15693 {

Uid15693 makeUid(std::uint8_t maker, std::uint8_t icId, std::uint64_t serial) {
    Uid15693 uid{};
    for (std::size_t i = 0; i < 5; ++i)
        uid[i] = static_cast<std::uint8_t>(serial >> (8 * i));
    uid[5] = icId;
    uid[6] = maker;
    uid[7] = kUidMarker;
    return uid;
}

} // namespace iso15693

using namespace iso15693;

Iso15693Tag::Iso15693Tag(const Iso15693Model& model, std::uint64_t serial)
    : Iso15693Tag(makeUid(model.maker, model.icId, serial), model.blocks, model.icReference) {}

Iso15693Tag::Iso15693Tag(const Uid15693& uid, std::size_t blocks, std::uint8_t icReference)
    : Card(iso::Iso15693), uid_(uid), icReference_(icReference) {
    if (blocks == 0 || blocks > kMaxBlocks)
        throw std::invalid_argument("an ISO 15693 tag has 1 to 256 blocks");
    memory_.assign(blocks * kBlockSize, 0);
    locked_.assign(blocks, false);
}

std::string Iso15693Tag::describe() const {
    // People read a UID most significant byte first: E0, maker, ...
    Uid15693 readable = uid_;
    std::reverse(readable.begin(), readable.end());
    return "ISO 15693 tag " + toHex(readable) + " (" + std::to_string(blockCount()) + " blocks)";
}

Iso15693Tag::State Iso15693Tag::state() const {
    if (halted()) return State::Quiet;
    return selected_ ? State::Selected : State::Ready;
}

Bytes Iso15693Tag::block(std::size_t block) const {
    if (block >= blockCount()) return {};
    const auto at = memory_.begin() + static_cast<std::ptrdiff_t>(block * kBlockSize);
    return Bytes(at, at + kBlockSize);
}

void Iso15693Tag::load(std::size_t first, std::span<const std::uint8_t> bytes) {
    if (bytes.size() % kBlockSize != 0 || first > blockCount() ||
        bytes.size() / kBlockSize > blockCount() - first)
        throw std::out_of_range("tag data does not fit whole blocks of the memory");
    std::copy(bytes.begin(), bytes.end(), memory_.begin() + static_cast<std::ptrdiff_t>(first * kBlockSize));
}

void Iso15693Tag::preset(std::uint8_t dsfid, std::uint8_t afi, bool dsfidLocked, bool afiLocked) {
    dsfid_ = dsfid;
    afi_ = afi;
    dsfidLocked_ = dsfidLocked;
    afiLocked_ = afiLocked;
}

void Iso15693Tag::lockAtFactory(std::size_t block) {
    if (block >= blockCount()) throw std::out_of_range("no such block to lock");
    locked_[block] = true;
}

bool Iso15693Tag::matchesAfi(std::uint8_t requested) const {
    if (requested == 0) return true;
    const std::uint8_t family = requested & 0xF0, subFamily = requested & 0x0F;
    return (family == 0 || family == (afi_ & 0xF0)) && (subFamily == 0 || subFamily == (afi_ & 0x0F));
}

void Iso15693Tag::stayQuiet() {
    selected_ = false;
    setHalted(true);
}

void Iso15693Tag::select() {
    setHalted(false);
    selected_ = true;
}

void Iso15693Tag::resetToReady() {
    setHalted(false);
    selected_ = false;
}

Status Iso15693Tag::checkRange(std::size_t first, std::size_t count) const {
    if (count == 0) return Status::BadParameter;
    if (first >= blockCount() || count > blockCount() - first) return Status::CardAddressInvalid;
    return Status::Ok;
}

Status Iso15693Tag::read(std::size_t first, std::size_t count, bool withSecurity, Bytes& out) const {
    if (const Status s = checkRange(first, count); s != Status::Ok) return s;
    out.clear();
    for (std::size_t b = first; b < first + count; ++b) {
        if (withSecurity) out.push_back(locked_[b] ? kBlockLocked : 0);
        const Bytes data = block(b);
        out.insert(out.end(), data.begin(), data.end());
    }
    return Status::Ok;
}

Status Iso15693Tag::write(std::size_t block, std::span<const std::uint8_t> data) {
    if (data.size() != kBlockSize) return Status::BadLength;
    if (block >= blockCount()) return Status::CardAddressInvalid;
    if (locked_[block]) return Status::AccessDenied;
    std::copy(data.begin(), data.end(), memory_.begin() + static_cast<std::ptrdiff_t>(block * kBlockSize));
    return Status::Ok;
}

Status Iso15693Tag::lock(std::size_t block) {
    if (block >= blockCount()) return Status::CardAddressInvalid;
    if (locked_[block]) return Status::AccessDenied;
    locked_[block] = true;
    return Status::Ok;
}

Status Iso15693Tag::blockSecurity(std::size_t first, std::size_t count, Bytes& out) const {
    if (const Status s = checkRange(first, count); s != Status::Ok) return s;
    out.clear();
    for (std::size_t b = first; b < first + count; ++b)
        out.push_back(locked_[b] ? kBlockLocked : 0);
    return Status::Ok;
}

Status Iso15693Tag::writeAfi(std::uint8_t afi) {
    if (afiLocked_) return Status::AccessDenied;
    afi_ = afi;
    return Status::Ok;
}

Status Iso15693Tag::lockAfi() {
    if (afiLocked_) return Status::AccessDenied;
    afiLocked_ = true;
    return Status::Ok;
}

Status Iso15693Tag::writeDsfid(std::uint8_t dsfid) {
    if (dsfidLocked_) return Status::AccessDenied;
    dsfid_ = dsfid;
    return Status::Ok;
}

Status Iso15693Tag::lockDsfid() {
    if (dsfidLocked_) return Status::AccessDenied;
    dsfidLocked_ = true;
    return Status::Ok;
}

Bytes Iso15693Tag::systemInformation() const {
    Bytes info(1 + uid_.size());
    info[0] = kInfoDsfid | kInfoAfi | kInfoMemorySize | kInfoIcReference;
    std::copy(uid_.begin(), uid_.end(), info.begin() + 1);
    info.push_back(dsfid_);
    info.push_back(afi_);
    info.push_back(static_cast<std::uint8_t>(blockCount() - 1));
    info.push_back(static_cast<std::uint8_t>((kBlockSize - 1) & 0x1F));
    info.push_back(icReference_);
    return info;
}

} // namespace sim
