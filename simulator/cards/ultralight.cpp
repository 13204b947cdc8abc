#include "simulator/cards/ultralight.h"

#include <algorithm>
#include <stdexcept>

namespace sim {

namespace ultralight {

// Lock byte 0, MSB to LSB: L7 L6 L5 L4 L-OTP BL15-10 BL9-4 BL-OTP; lock byte 1: L15 .. L8.
bool pageLocked(std::uint8_t lock0, std::uint8_t lock1, std::size_t page) {
    if (page == kOtpPage) return (lock0 & 0x08) != 0;
    if (page >= 4 && page <= 7) return (lock0 >> page & 1) != 0;
    if (page >= 8 && page <= 15) return (lock1 >> (page - 8) & 1) != 0;
    return false;
}

std::array<std::uint8_t, 2> mergeLockBytes(std::array<std::uint8_t, 2> current,
                                           std::array<std::uint8_t, 2> written) {
    std::uint8_t frozen0 = 0, frozen1 = 0;
    if (current[0] & 0x01) frozen0 |= 0x08; // BL-OTP freezes L-OTP
    if (current[0] & 0x02) {                // BL9-4 freezes L4..L9
        frozen0 |= 0xF0;
        frozen1 |= 0x03;
    }
    if (current[0] & 0x04) frozen1 |= 0xFC; // BL15-10 freezes L10..L15
    return {static_cast<std::uint8_t>(current[0] | (written[0] & ~frozen0)),
            static_cast<std::uint8_t>(current[1] | (written[1] & ~frozen1))};
}

} // namespace ultralight

using namespace ultralight;

namespace {

const Bytes& checkedUid(const Bytes& uid) {
    if (uid.size() != 7) throw std::invalid_argument("an Ultralight UID has 7 bytes");
    return uid;
}

} // namespace

UltralightCard::UltralightCard(Model model, Bytes uid)
    : TypeACard(checkedUid(uid), {0x44, 0x00}, 0x00), model_(model),
      memory_(model == Model::Ultralight ? 16 : 48) {
    const Bytes& id = this->uid();
    // The check byte of the first cascade level covers the cascade tag 0x88.
    memory_[0] = {id[0], id[1], id[2], static_cast<std::uint8_t>(0x88 ^ id[0] ^ id[1] ^ id[2])};
    memory_[1] = {id[3], id[4], id[5], id[6]};
    // Byte 1 of page 2 is the chip's internal byte; its value has no meaning
    // to a host.
    memory_[2] = {static_cast<std::uint8_t>(id[3] ^ id[4] ^ id[5] ^ id[6]), 0x48, 0x00, 0x00};
    if (model == Model::UltralightC) {
        memory_[kCAuth0Page] = {0x30, 0x00, 0x00, 0x00}; // 0x30: no page needs authentication
        setKey(kDefaultKey);
    }
}

std::string UltralightCard::describe() const {
    return std::string(model_ == Model::Ultralight ? "Ultralight " : "Ultralight C ") + toHex(uid());
}

Key UltralightCard::key() const {
    Key key{};
    if (model_ != Model::UltralightC) return key;
    std::array<std::uint8_t, 16> stored{};
    for (std::size_t i = 0; i < 4; ++i)
        std::copy(memory_[kCKeyPage + i].begin(), memory_[kCKeyPage + i].end(), stored.begin() + 4 * i);
    for (std::size_t i = 0; i < 8; ++i) {
        key[i] = stored[7 - i];
        key[8 + i] = stored[15 - i];
    }
    return key;
}

void UltralightCard::setKey(const Key& key) {
    if (model_ != Model::UltralightC) throw std::logic_error("only an Ultralight C has a key");
    for (std::size_t i = 0; i < 16; ++i) {
        const std::size_t stored = i < 8 ? 7 - i : 23 - i; // each half reversed
        memory_[kCKeyPage + stored / 4][stored % 4] = key[i];
    }
}

std::size_t UltralightCard::readablePages() const {
    return model_ == Model::Ultralight ? memory_.size() : kCKeyPage;
}

bool UltralightCard::needsAuthentication(std::size_t page, bool forWrite) const {
    if (model_ != Model::UltralightC || authenticated_) return false;
    if (page < memory_[kCAuth0Page][0]) return false;
    const bool writesOnly = (memory_[kCAuth1Page][0] & 0x01) != 0;
    return forWrite || !writesOnly;
}

bool UltralightCard::writeLocked(std::size_t page) const {
    return pageLocked(activeLock_[0], activeLock_[1], page);
}

Status UltralightCard::read(std::uint8_t page, std::array<std::uint8_t, 16>& out) const {
    const std::size_t pages = readablePages();
    if (page >= pages) return Status::CardAddressInvalid;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::size_t p = (page + i) % pages;
        // A read reaching into protected pages is refused as a whole.
        if (needsAuthentication(p, false)) return Status::AccessDenied;
        std::copy(memory_[p].begin(), memory_[p].end(), out.begin() + 4 * i);
    }
    return Status::Ok;
}

Status UltralightCard::write(std::uint8_t page, std::span<const std::uint8_t, 4> data) {
    if (page >= memory_.size()) return Status::CardAddressInvalid;
    if (page < kLockPage) return Status::AccessDenied; // serial number
    if (needsAuthentication(page, true)) return Status::AccessDenied;
    Page& stored = memory_[page];
    if (page == kLockPage) {
        // Bytes 0-1 (check byte, internal) never change; lock bits only get set.
        const auto merged = mergeLockBytes({stored[2], stored[3]}, {data[2], data[3]});
        stored[2] = merged[0];
        stored[3] = merged[1];
        return Status::Ok;
    }
    if (writeLocked(page)) return Status::AccessDenied;
    if (page == kOtpPage) {
        for (std::size_t i = 0; i < 4; ++i)
            stored[i] |= data[i];
        return Status::Ok;
    }
    if (model_ == Model::UltralightC && page == kCLockPage) {
        stored[0] |= data[0];
        stored[1] |= data[1];
        return Status::Ok;
    }
    if (model_ == Model::UltralightC && page == kCCounterPage) {
        // One-way counter: the first write sets a start value (1..FFFF), every
        // later one adds 1..15; it never goes down or wraps.
        const unsigned counter = stored[0] | stored[1] << 8;
        const unsigned written = data[0] | data[1] << 8;
        const bool first = counter == 0;
        if (written == 0 || (!first && (written > 15 || counter + written > 0xFFFF)))
            return Status::CardRefused;
        const unsigned next = first ? written : counter + written;
        stored[0] = static_cast<std::uint8_t>(next);
        stored[1] = static_cast<std::uint8_t>(next >> 8);
        return Status::Ok;
    }
    std::copy(data.begin(), data.end(), stored.begin());
    return Status::Ok;
}

Status UltralightCard::authenticate(std::span<const std::uint8_t, 16> keyMaterial) {
    if (model_ != Model::UltralightC) return Status::CardRefused;
    const Key own = key();
    authenticated_ = std::equal(keyMaterial.begin(), keyMaterial.end(), own.begin());
    return authenticated_ ? Status::Ok : Status::AuthFailed;
}

void UltralightCard::wake() {
    activeLock_ = {memory_[kLockPage][2], memory_[kLockPage][3]};
    authenticated_ = false;
}

} // namespace sim
