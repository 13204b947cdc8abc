#include "simulator/reader/flash.h"

#include <algorithm>
#include <stdexcept>

namespace sim {

Bytes Flash::read(std::size_t page, std::size_t offset, std::size_t length) const {
    if (!fits(page, offset, length)) throw std::out_of_range("flash read outside a page");
    const auto it = written_.find(page);
    Bytes bytes = it == written_.end()
                      ? Bytes(length, kErased)
                      : Bytes(it->second.begin() + offset, it->second.begin() + offset + length);
    for (const auto& [cell, value] : worn_)
        if (cell.first == page && cell.second >= offset && cell.second < offset + length)
            bytes[cell.second - offset] = value;
    return bytes;
}

void Flash::wear(std::size_t page, std::size_t offset, std::uint8_t value) {
    if (!fits(page, offset, 1)) throw std::out_of_range("worn flash cell outside a page");
    worn_[{page, offset}] = value;
}

void Flash::write(std::size_t page, std::size_t offset, std::span<const std::uint8_t> data) {
    if (!fits(page, offset, data.size())) throw std::out_of_range("flash write outside a page");
    auto [it, fresh] = written_.try_emplace(page);
    if (fresh) it->second.fill(kErased);
    std::copy(data.begin(), data.end(), it->second.begin() + offset);
}

} // namespace sim
