#pragma once
// The reader as a network reader: a TCP listener on 127.0.0.1. Several hosts
// may be connected at once (up to kMaxClients; later ones wait in the listen
// backlog); each has its own session, and all share the one reader, as hosts
// sharing a network reader would.

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "simulator/reader/reader.h"
#include "simulator/servers/link.h"
#include "simulator/servers/posix.h"
#include "simulator/wire/traffic_log.h"

namespace sim {

class TcpServer {
  public:
    static constexpr std::size_t kMaxClients = 16;

    explicit TcpServer(Reader& reader, TrafficLog* log = nullptr);
    ~TcpServer();
    TcpServer(const TcpServer&) = delete;
    TcpServer& operator=(const TcpServer&) = delete;

    // Listens on 127.0.0.1:port (0 picks a free port) and serves on a thread of
    // its own. Throws std::system_error when the port cannot be had.
    void start(std::uint16_t port = 0);
    // Closes the listener and every connection; returns once the thread ended.
    void stop();

    std::uint16_t port() const { return port_; }
    // Connections accepted so far.
    unsigned accepted() const { return accepted_; }

  private:
    void run();
    void acceptClients();
    static void hangUp(Link& link);

    Reader& reader_;
    TrafficLog* log_;
    Waker waker_;
    Fd listener_;
    std::uint16_t port_ = 0;
    std::thread thread_;
    std::vector<std::unique_ptr<Link>> links_; // touched by the serving thread only
    std::atomic<unsigned> accepted_ = 0;
};

} // namespace sim
