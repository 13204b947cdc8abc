// The descriptor-level work both transports share: bounded readiness waits
// with poll (select breaks once a process holds more than 1024 descriptors)
// and a receive buffer, so that the exchange can ask for one byte at a time
// without paying one wait and one system call per byte.
#pragma once

#include <cstddef>
#include <cstdint>

namespace varrok {

// Waits until fd is ready for `events` (POLLIN/POLLOUT); false on time-out or error.
// Retries after signals without stretching the total wait.
bool waitReady(int fd, short events, int timeoutMs);

class ReceiveBuffer {
  public:
    // Serves up to n buffered bytes; 0 when the buffer is empty.
    int take(std::uint8_t* dst, int n);
    bool empty() const { return head_ == tail_; }
    void clear() { head_ = tail_ = 0; }
    // Reads from fd into the buffer (it must be empty): what fd has now, or on
    // a blocking socket whatever comes within its receive time-out. `flags`
    // go to recv. Returns what the system call returned: bytes, 0 at end of
    // stream, -1 on error.
    long fill(int fd, bool socket, int flags = 0);

  private:
    std::uint8_t bytes_[4096];
    std::size_t head_ = 0;
    std::size_t tail_ = 0;
};

// Reads and throws away whatever fd holds right now, without waiting.
void drain(int fd, bool socket);

} // namespace varrok
