#include "link/stream_io.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace varrok {

bool waitReady(int fd, short events, int timeoutMs) {
    using clock = std::chrono::steady_clock;
    if (timeoutMs < 0) timeoutMs = 0;
    const auto deadline = clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd p{fd, events, 0};
        // Rounded up: a wait of 5 ms must not come back after 4.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - clock::now()).count();
        const int r = ::poll(&p, 1, left > 0 ? static_cast<int>(left) : 0);
        if (r > 0) return true; // ready, or an error/hang-up the next call will report
        if (r == 0) return false;
        if (errno != EINTR) return false;
    }
}

int ReceiveBuffer::take(std::uint8_t* dst, int n) {
    const std::size_t have = tail_ - head_;
    const std::size_t count =
        n <= 0 ? 0 : (static_cast<std::size_t>(n) < have ? static_cast<std::size_t>(n) : have);
    std::memcpy(dst, bytes_ + head_, count);
    head_ += count;
    if (head_ == tail_) head_ = tail_ = 0;
    return static_cast<int>(count);
}

long ReceiveBuffer::fill(int fd, bool socket, int flags) {
    clear();
    const long r = socket ? ::recv(fd, bytes_, sizeof bytes_, flags) : ::read(fd, bytes_, sizeof bytes_);
    if (r > 0) tail_ = static_cast<std::size_t>(r);
    return r;
}

void drain(int fd, bool socket) {
    std::uint8_t sink[512];
    for (int rounds = 0; rounds < 64; ++rounds) {
        const long r = socket ? ::recv(fd, sink, sizeof sink, MSG_DONTWAIT) : ::read(fd, sink, sizeof sink);
        if (r <= 0) return;
    }
}

} // namespace varrok
