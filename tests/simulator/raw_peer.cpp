#include "raw_peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace simtest {

RawPeer RawPeer::tcp(std::uint16_t port) {
    sim::Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) sim::throwErrno("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        sim::throwErrno("connect");
    return RawPeer(std::move(fd), true);
}

RawPeer RawPeer::serial(const std::string& path) {
    sim::Fd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!fd) sim::throwErrno("open");
    return RawPeer(std::move(fd), false);
}

void RawPeer::send(const sim::Bytes& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = socket_ ? ::send(fd_.get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL)
                                  : ::write(fd_.get(), bytes.data() + sent, bytes.size() - sent);
        if (n <= 0) sim::throwErrno("send");
        sent += static_cast<std::size_t>(n);
    }
}

long RawPeer::readSome(std::uint8_t* into, std::size_t size, std::chrono::milliseconds wait) {
    pollfd pfd{fd_.get(), POLLIN, 0};
    if (::poll(&pfd, 1, static_cast<int>(wait.count())) <= 0) return -1;
    const ssize_t n = ::read(fd_.get(), into, size);
    return n < 0 ? 0 : n; // a reset counts as the end of the stream
}

sim::Bytes RawPeer::receive(std::size_t n, std::chrono::milliseconds quiet) {
    sim::Bytes bytes(n);
    std::size_t got = 0;
    while (got < n) {
        const long r = readSome(bytes.data() + got, n - got, quiet);
        if (r <= 0) break;
        got += static_cast<std::size_t>(r);
    }
    bytes.resize(got);
    return bytes;
}

sim::Bytes RawPeer::drain(std::chrono::milliseconds quiet) {
    sim::Bytes bytes;
    std::uint8_t chunk[4096];
    for (;;) {
        const long r = readSome(chunk, sizeof chunk, quiet);
        if (r <= 0) return bytes;
        bytes.insert(bytes.end(), chunk, chunk + r);
    }
}

bool RawPeer::closedByPeer(std::chrono::milliseconds within) {
    std::uint8_t chunk[256];
    const auto deadline = std::chrono::steady_clock::now() + within;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() < 0) return false;
        const long r = readSome(chunk, sizeof chunk, left);
        if (r == 0) return true;
        if (r < 0) return false;
    }
}

} // namespace simtest
