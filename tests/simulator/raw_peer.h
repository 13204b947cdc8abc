#pragma once
// A host as the wire sees it: raw bytes over a loopback socket or the
// pseudo-terminal's serial side, with short bounded waits.

#include <chrono>
#include <cstdint>
#include <string>

#include "simulator/servers/posix.h"
#include "simulator/wire/bytes.h"

namespace simtest {

using namespace std::chrono_literals;

class RawPeer {
  public:
    static RawPeer tcp(std::uint16_t port);         // connects to 127.0.0.1:port
    static RawPeer serial(const std::string& path); // opens the terminal without configuring it

    void send(const sim::Bytes& bytes);
    // Exactly n bytes, or fewer if they stop coming for `quiet`.
    sim::Bytes receive(std::size_t n, std::chrono::milliseconds quiet = 500ms);
    // Everything that arrives until nothing came for `quiet`.
    sim::Bytes drain(std::chrono::milliseconds quiet);
    // True when the other side closed the connection within `within`.
    bool closedByPeer(std::chrono::milliseconds within);
    void close() { fd_.reset(); }

  private:
    RawPeer(sim::Fd fd, bool socket) : fd_(std::move(fd)), socket_(socket) {}
    // One read after waiting at most `wait`: bytes read, 0 on end of stream, -1 on time-out.
    long readSome(std::uint8_t* into, std::size_t size, std::chrono::milliseconds wait);

    sim::Fd fd_;
    bool socket_;
};

} // namespace simtest
