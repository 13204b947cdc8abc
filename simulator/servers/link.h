#pragma once
// One open byte stream to a host (an accepted socket or the terminal master),
// with the session that answers it and the answers waiting to go out. A late
// answer holds back the ones behind it, as a reader that answers one request
// at a time would.

#include <chrono>
#include <deque>
#include <optional>
#include <string>

#include "simulator/servers/posix.h"
#include "simulator/servers/session.h"

namespace sim {

using Clock = std::chrono::steady_clock;

class Link {
  public:
    enum class Kind { Socket, Terminal };

    Link(Fd fd, Kind kind, Session session);

    int fd() const { return fd_.get(); }
    Session& session() { return session_; }

    // Poll events wanted now.
    short events() const;
    // When a delayed answer falls due, if one is waiting and not yet due.
    std::optional<Clock::time_point> wakeAt(Clock::time_point now) const;

    // Reads what the host sent and queues the answers. False when the stream
    // ended: the peer closed the socket, or nobody holds the terminal open.
    bool readAvailable(Clock::time_point now);
    // Sends every answer that is due. False when the stream must be given up:
    // a write failed, or a fault asked to hang up.
    bool flush(Clock::time_point now);

    // Forget queued answers and any half-received request (host went away).
    void discard();

  private:
    struct Pending {
        Clock::time_point due;
        Bytes bytes;
        bool hangUp = false;
        bool faulty = false;
        std::size_t sent = 0;
    };

    long writeSome(const Pending& pending) const;

    Fd fd_;
    Kind kind_;
    Session session_;
    std::deque<Pending> outbox_;
    bool blocked_ = false; // the last write filled the kernel buffer
};

} // namespace sim
