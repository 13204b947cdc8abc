#include "simulator/cards/ussen.h"

#include <algorithm>
#include <stdexcept>

namespace sim {

UssenCard::UssenCard(Bytes uid, std::uint32_t applicationId, std::size_t memorySize)
    : TypeACard(std::move(uid), kAtqa, kSak), applicationId_(applicationId & 0xFFFFFF), memory_(memorySize) {
    if (this->uid().size() != 4 && this->uid().size() != 7)
        throw std::invalid_argument("a USSEN card has a 4- or 7-byte UID");
}

std::string UssenCard::describe() const { return "USSEN " + toHex(uid()); }

Bytes UssenCard::cardInfo() const {
    Bytes info;
    info.reserve(3 + uid().size());
    info.push_back(kAtqa[0]);
    info.push_back(kAtqa[1]);
    info.push_back(kSak);
    for (const std::uint8_t b : uid())
        info.push_back(b);
    return info;
}

Status UssenCard::readMemory(std::size_t offset, std::size_t length, Bytes& out) const {
    if (offset > memory_.size() || length > memory_.size() - offset) return Status::CardAddressInvalid;
    out.assign(memory_.begin() + static_cast<std::ptrdiff_t>(offset),
               memory_.begin() + static_cast<std::ptrdiff_t>(offset + length));
    return Status::Ok;
}

Status UssenCard::writeMemory(std::size_t offset, std::span<const std::uint8_t> data) {
    if (offset > memory_.size() || data.size() > memory_.size() - offset) return Status::CardAddressInvalid;
    std::copy(data.begin(), data.end(), memory_.begin() + static_cast<std::ptrdiff_t>(offset));
    return Status::Ok;
}

} // namespace sim
