#include "simulator/flash.h"

#include <algorithm>
#include <stdexcept>

namespace sim {

Bytes Flash::read(std::size_t page, std::size_t offset, std::size_t length) const {
    if (!fits(page, offset, length)) throw std::out_of_range("flash read outside a page");
    const auto it = written_.find(page);
    if (it == written_.end()) return Bytes(length, kErased);
    return Bytes(it->second.begin() + offset, it->second.begin() + offset + length);
}

void Flash::write(std::size_t page, std::size_t offset, std::span<const std::uint8_t> data) {
    if (!fits(page, offset, data.size())) throw std::out_of_range("flash write outside a page");
    auto [it, fresh] = written_.try_emplace(page);
    if (fresh) it->second.fill(kErased);
    std::copy(data.begin(), data.end(), it->second.begin() + offset);
}

} // namespace sim
