#include "simulator/cards/icode1.h"

#include <algorithm>
#include <stdexcept>

namespace sim {

namespace {
constexpr std::ptrdiff_t offsetOf(std::size_t page) {
    return static_cast<std::ptrdiff_t>(page * Icode1Label::kPageSize);
}
} // namespace

Icode1Label::Icode1Label(const Serial& serial) : Card(iso::Icode1) {
    std::copy(serial.begin(), serial.end(), memory_.begin());
    std::copy(kDeliveredAccess.begin(), kDeliveredAccess.end(), memory_.begin() + offsetOf(kAccessPage));
}

std::string Icode1Label::describe() const {
    const Serial s = serial();
    return "ICODE1 label " + toHex(s);
}

Icode1Label::Serial Icode1Label::serial() const {
    Serial s{};
    std::copy_n(memory_.begin(), s.size(), s.begin());
    return s;
}

Bytes Icode1Label::page(std::size_t page) const {
    if (page >= kPages) return {};
    return Bytes(memory_.begin() + offsetOf(page), memory_.begin() + offsetOf(page + 1));
}

bool Icode1Label::writable(std::size_t page) const {
    if (page >= kPages) return false;
    if (page >= kGuardedPages) return true;
    const std::uint8_t conditions = memory_[offsetOf(kAccessPage) + static_cast<std::ptrdiff_t>(page / 4)];
    return ((conditions >> (2 * (page % 4))) & 0x03) == 0x03;
}

void Icode1Label::load(std::size_t first, std::span<const std::uint8_t> bytes) {
    if (bytes.size() % kPageSize != 0 || first > kPages || bytes.size() / kPageSize > kPages - first)
        throw std::out_of_range("label data does not fit whole pages of the memory");
    std::copy(bytes.begin(), bytes.end(), memory_.begin() + offsetOf(first));
}

Status Icode1Label::read(std::size_t page, Bytes& out) const {
    if (page >= kPages) return Status::CardAddressInvalid;
    out = this->page(page);
    return Status::Ok;
}

Status Icode1Label::write(std::size_t page, std::span<const std::uint8_t> data) {
    if (data.size() != kPageSize) return Status::BadLength;
    if (page >= kPages) return Status::CardAddressInvalid;
    if (!writable(page)) return Status::AccessDenied;
    auto at = memory_.begin() + offsetOf(page);
    if (page == kAccessPage) {
        // Access condition bits only ever go from 1 to 0.
        for (std::size_t i = 0; i < kPageSize; ++i)
            at[static_cast<std::ptrdiff_t>(i)] &= data[i];
    } else {
        std::copy(data.begin(), data.end(), at);
    }
    return Status::Ok;
}

} // namespace sim
