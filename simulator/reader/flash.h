#pragma once
// The reader's own flash memory, addressed by page number and an offset in the
// 256-byte page. Never-written bytes read as 0xFF, like erased flash.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <utility>

#include "simulator/wire/bytes.h"

namespace sim {

class Flash {
  public:
    static constexpr std::size_t kPageSize = 256;
    static constexpr std::uint8_t kErased = 0xFF;

    explicit Flash(std::size_t pageCount = 1024) : pageCount_(pageCount) {}

    std::size_t pageCount() const { return pageCount_; }

    // True when the range lies inside one existing page.
    bool fits(std::size_t page, std::size_t offset, std::size_t length) const {
        return page < pageCount_ && offset <= kPageSize && length <= kPageSize - offset;
    }

    // Both throw std::out_of_range unless fits().
    Bytes read(std::size_t page, std::size_t offset, std::size_t length) const;
    void write(std::size_t page, std::size_t offset, std::span<const std::uint8_t> data);

    // A worn cell: the byte reads as value whatever is written over it, the
    // way aged flash fails a self-test. Throws std::out_of_range unless fits().
    void wear(std::size_t page, std::size_t offset, std::uint8_t value);

  private:
    using Page = std::array<std::uint8_t, kPageSize>;

    std::size_t pageCount_;
    std::map<std::size_t, Page> written_;                              // only pages ever written take memory
    std::map<std::pair<std::size_t, std::size_t>, std::uint8_t> worn_; // (page, offset) -> stuck value
};

} // namespace sim
