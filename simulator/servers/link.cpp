#include "simulator/servers/link.h"

#include <array>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {

Link::Link(Fd fd, Kind kind, Session session)
    : fd_(std::move(fd)), kind_(kind), session_(std::move(session)) {}

short Link::events() const { return static_cast<short>(POLLIN | (blocked_ ? POLLOUT : 0)); }

std::optional<Clock::time_point> Link::wakeAt(Clock::time_point now) const {
    if (outbox_.empty() || blocked_ || outbox_.front().due <= now) return std::nullopt;
    return outbox_.front().due;
}

bool Link::readAvailable(Clock::time_point now) {
    std::array<std::uint8_t, 4096> buffer;
    const ssize_t n = ::read(fd_.get(), buffer.data(), buffer.size());
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    if (n == 0) return false;
    for (Delivery& delivery : session_.receive(std::span(buffer.data(), static_cast<std::size_t>(n)))) {
        if (delivery.bytes.empty() && !delivery.hangUp) { // silence: out in full at once
            if (delivery.faulty) session_.faultSent();
            continue;
        }
        outbox_.push_back(Pending{now + delivery.delay, std::move(delivery.bytes), delivery.hangUp, delivery.faulty});
    }
    return true;
}

bool Link::flush(Clock::time_point now) {
    blocked_ = false;
    while (!outbox_.empty() && outbox_.front().due <= now) {
        Pending& head = outbox_.front();
        while (head.sent < head.bytes.size()) {
            const long n = writeSome(head);
            if (n < 0) {
                if (errno == EINTR) continue;
                if (errno == EAGAIN || errno == EWOULDBLOCK) {
                    blocked_ = true;
                    return true;
                }
                return false;
            }
            head.sent += static_cast<std::size_t>(n);
        }
        if (head.faulty) session_.faultSent();
        // A serial line cannot be hung up; there the fault is just a cut answer.
        if (head.hangUp && kind_ == Kind::Socket) return false;
        outbox_.pop_front();
    }
    return true;
}

void Link::discard() {
    outbox_.clear();
    blocked_ = false;
    session_.reset();
}

long Link::writeSome(const Pending& pending) const {
    const std::uint8_t* data = pending.bytes.data() + pending.sent;
    const std::size_t size = pending.bytes.size() - pending.sent;
    // A host that vanished must not kill the simulator with SIGPIPE.
    if (kind_ == Kind::Socket) return ::send(fd_.get(), data, size, MSG_NOSIGNAL);
    return ::write(fd_.get(), data, size);
}

} // namespace sim
