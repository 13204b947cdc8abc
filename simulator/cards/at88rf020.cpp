#include "simulator/cards/at88rf020.h"

#include <algorithm>

namespace sim {

At88rf020::At88rf020(const Pupi& pupi, const Password& password, const ApplicationData& application,
                     std::uint8_t afi)
    : TypeBCard(pupi, application, kProtocolInfo, afi) {
    std::copy(pupi.begin(), pupi.end(), pages_[kLockPage].begin());
    std::copy(password.begin(), password.end(), pages_[kPasswordPage].begin());
}

std::string At88rf020::describe() const { return "AT88RF020 " + toHex(pupi()); }

std::optional<Bytes> At88rf020::request080(bool wakeUp, std::uint8_t afi) {
    const std::optional<Bytes> atqb = request(wakeUp, afi);
    if (!atqb) return std::nullopt;
    // PUPI and application data: the ATQB between its code and protocol info.
    return Bytes(atqb->begin() + 1, atqb->begin() + 9);
}

Status At88rf020::check(std::span<const std::uint8_t> key) {
    const Page& password = pages_[kPasswordPage];
    open_ = key.size() == kPageSize && std::equal(key.begin(), key.end(), password.begin());
    return open_ ? Status::Ok : Status::AuthFailed;
}

bool At88rf020::isLocked(std::uint8_t page) const {
    if (page >= kPages) return false;
    return (pages_[kLockPage][kLockBytes + page / 8] >> (page % 8) & 1) != 0;
}

bool At88rf020::setDataPage(std::uint8_t page, const std::array<std::uint8_t, kPageSize>& data) {
    if (page >= kPages || page == kLockPage || page == kCountPage || page == kPasswordPage) return false;
    pages_[page] = data;
    return true;
}

Status At88rf020::readPage(std::uint8_t page, Bytes& out) const {
    if (page >= kPages) return Status::CardAddressInvalid;
    if (page == kPasswordPage) return Status::AccessDenied;
    if (page > kPasswordPage && !open_) return Status::NotAuthenticated;
    out.assign(pages_[page].begin(), pages_[page].end());
    return Status::Ok;
}

Status At88rf020::writePage(std::uint8_t page, std::span<const std::uint8_t> data) {
    if (page >= kPages) return Status::CardAddressInvalid;
    if (data.size() != kPageSize) return Status::BadLength;
    // Pages 0 and 2 have their own commands.
    if (page == kLockPage || page == kCountPage) return Status::AccessDenied;
    if (!open_) return Status::NotAuthenticated;
    if (isLocked(page)) return Status::AccessDenied;
    std::copy(data.begin(), data.end(), pages_[page].begin());
    return Status::Ok;
}

Status At88rf020::lock(std::span<const std::uint8_t> bits) {
    if (bits.size() != kLockBytes) return Status::BadLength;
    if (!open_) return Status::NotAuthenticated;
    if (isLocked(kLockPage)) return Status::AccessDenied;
    for (std::size_t i = 0; i < kLockBytes; ++i)
        pages_[kLockPage][kLockBytes + i] |= bits[i];
    return Status::Ok;
}

Status At88rf020::count(std::span<const std::uint8_t> signature) {
    if (signature.size() != kSignatureBytes) return Status::BadLength;
    if (!open_) return Status::NotAuthenticated;
    if (isLocked(kCountPage)) return Status::AccessDenied;
    Page& page = pages_[kCountPage];
    const unsigned counter = page[6] | page[7] << 8;
    if (counter == 0xFFFF) return Status::CardRefused;
    std::copy(signature.begin(), signature.end(), page.begin());
    page[6] = static_cast<std::uint8_t>(counter + 1);
    page[7] = static_cast<std::uint8_t>((counter + 1) >> 8);
    return Status::Ok;
}

void At88rf020::deselect() { enterHalt(); }

} // namespace sim
