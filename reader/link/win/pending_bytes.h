// Bytes the Windows transports have received and the exchange has not yet
// taken. The exchange asks for one byte at a time; reading the driver's
// whole backlog in one call and serving the bytes from here saves a system
// call (and, on a socket, a readiness wait) per byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace varrok {

class PendingBytes {
  public:
    static constexpr std::size_t kCapacity = 4096;

    // Serves up to n bytes; 0 when there are none.
    int take(std::uint8_t* dst, int n) {
        const std::size_t have = tail_ - head_;
        const std::size_t count = n <= 0 ? 0 : (static_cast<std::size_t>(n) < have ? static_cast<std::size_t>(n) : have);
        std::memcpy(dst, bytes_ + head_, count);
        head_ += count;
        if (head_ == tail_) head_ = tail_ = 0;
        return static_cast<int>(count);
    }
    bool empty() const { return head_ == tail_; }
    void clear() { head_ = tail_ = 0; }
    // Room for a fresh read, which must only start when the buffer is empty.
    std::uint8_t* space() {
        clear();
        return bytes_;
    }
    // After a read into space() delivered n bytes (at most kCapacity).
    void filled(std::size_t n) { tail_ = n < kCapacity ? n : kCapacity; }

  private:
    std::uint8_t bytes_[kCapacity];
    std::size_t head_ = 0;
    std::size_t tail_ = 0;
};

} // namespace varrok
