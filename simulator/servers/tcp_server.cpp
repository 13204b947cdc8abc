#include "simulator/servers/tcp_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

#include "simulator/servers/poll_timeout.h"

namespace sim {

TcpServer::TcpServer(Reader& reader, TrafficLog* log) : reader_(reader), log_(log) {}

TcpServer::~TcpServer() { stop(); }

void TcpServer::start(std::uint16_t port) {
    if (thread_.joinable()) throw std::logic_error("TCP server already running");
    Fd listener(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!listener) throwErrno("socket");
    const int on = 1;
    ::setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK); // never any other interface
    address.sin_port = htons(port);
    if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throwErrno("bind");
    if (::listen(listener.get(), 8) != 0) throwErrno("listen");
    socklen_t size = sizeof address;
    if (::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throwErrno("getsockname");
    port_ = ntohs(address.sin_port);
    listener_ = std::move(listener);
    waker_.drain();
    thread_ = std::thread([this] { run(); });
}

void TcpServer::stop() {
    if (!thread_.joinable()) return;
    waker_.notify();
    thread_.join();
    links_.clear();
    listener_.reset();
}

void TcpServer::run() {
    std::vector<pollfd> fds;
    for (;;) {
        Clock::time_point now = Clock::now();
        PollTimeout timeout(now);
        const bool listening = links_.size() < kMaxClients;
        fds.assign({{waker_.fd(), POLLIN, 0}, {listening ? listener_.get() : -1, POLLIN, 0}});
        for (const auto& link : links_) {
            fds.push_back({link->fd(), link->events(), 0});
            timeout.until(link->wakeAt(now));
        }
        if (::poll(fds.data(), fds.size(), timeout.milliseconds()) < 0 && errno != EINTR) return;
        if (fds[0].revents) return; // stop() asked

        now = Clock::now();
        for (std::size_t i = 0; i < links_.size(); ++i) {
            Link& link = *links_[i];
            bool open = true;
            if (fds[i + 2].revents & (POLLIN | POLLHUP | POLLERR)) open = link.readAvailable(now);
            if (open) open = link.flush(now);
            if (!open) {
                if (log_) log_->note(link.session().channel(), "connection closed");
                hangUp(link);
                links_[i].reset();
            }
        }
        std::erase(links_, nullptr);
        if (fds[1].revents & POLLIN) acceptClients();
    }
}

void TcpServer::acceptClients() {
    while (links_.size() < kMaxClients) {
        Fd client(::accept4(listener_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!client) return;
        // Answers are small and must not wait for more bytes to fill a segment.
        const int on = 1;
        ::setsockopt(client.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        const std::string channel = "tcp#" + std::to_string(++accepted_);
        if (log_) log_->note(channel, "connected");
        links_.push_back(
            std::make_unique<Link>(std::move(client), Link::Kind::Socket, Session(reader_, log_, channel)));
    }
}

// Ends the connection after what was sent: FIN first, and drain what the host
// still sent us, so the kernel does not answer with a reset that could throw
// away the bytes the host has not read yet.
void TcpServer::hangUp(Link& link) {
    ::shutdown(link.fd(), SHUT_WR);
    std::uint8_t sink[256];
    while (::recv(link.fd(), sink, sizeof sink, MSG_DONTWAIT) > 0) {
    }
}

} // namespace sim
