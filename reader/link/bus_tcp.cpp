#include "link/bus_tcp.h"

#include "link/bus_com.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace varrok {

CCommBusTcp::~CCommBusTcp() { close(); }

int CCommBusTcp::open(const char* text) {
    // Opening again replaces the connection; the old socket must not be left behind.
    close();
    // The "TCP://" prefix is taken as six characters without looking at them.
    const std::size_t textLength = std::strlen(text);
    const std::string rest = textLength > 6 ? std::string(text + 6) : std::string();
    const std::size_t colon = rest.find(':');
    const std::string host = colon == std::string::npos ? rest : rest.substr(0, colon);
    const std::string portText = colon == std::string::npos ? rest : rest.substr(colon + 1);
    port_ = leadingInt(portText.c_str());
    std::memset(address_, 0, sizeof address_);
    std::memcpy(address_, host.data(), host.size() < sizeof address_ ? host.size() : sizeof address_);

    // Addresses are dotted decimal only; there is no name resolution. A text
    // that does not parse must fail here rather than become the broadcast address.
    const in_addr_t ip = ::inet_addr(host.c_str());
    if (ip == INADDR_NONE) return -3;

    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (s < 0) return -3;
    const int one = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port_));
    to.sin_addr.s_addr = ip;
    ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) | O_NONBLOCK);

    const int started = ::connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    // A connect that fails at once (refused, unreachable, not permitted) is a
    // failed open; only one that is still under way is worth waiting for.
    bool connected = started == 0;
    if (!connected && errno == EINPROGRESS && waitReady(s, POLLOUT, kConnectTimeoutMs)) {
        int error = -1;
        socklen_t size = sizeof error;
        connected = ::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
    }
    if (!connected) {
        ::close(s);
        return -3;
    }
    socket_ = s;
    pending_.clear();
    return 0;
}

bool CCommBusTcp::close() {
    if (socket_ >= 0) {
        ::shutdown(socket_, SHUT_RDWR);
        ::close(socket_);
        socket_ = -1;
        pending_.clear();
    }
    return true;
}

int CCommBusTcp::read(std::uint8_t* dst, int n) {
    if (socket_ < 0 || n <= 0) return 0;
    if (!pending_.empty()) return pending_.take(dst, n);
    if (!waitReady(socket_, POLLIN, timeoutMs_)) return 0;
    const long r = pending_.fill(socket_, true);
    if (r < 0) return errno == EAGAIN ? 0 : -1;
    if (r == 0) return 0; // the reader hung up
    return pending_.take(dst, n);
}

int CCommBusTcp::write(const std::uint8_t* src, int n) {
    if (socket_ < 0 || n <= 0) return 0;
    int sent = 0;
    while (sent < n) {
        if (!waitReady(socket_, POLLOUT, timeoutMs_)) return 0;
        const ssize_t r = ::send(socket_, src + sent, static_cast<std::size_t>(n - sent), MSG_NOSIGNAL);
        if (r < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (r <= 0) return static_cast<int>(r);
        sent += static_cast<int>(r);
    }
    return sent;
}

bool CCommBusTcp::purge() {
    if (socket_ < 0) return false;
    pending_.clear();
    drain(socket_, true);
    return true;
}

bool CCommBusTcp::setTimeouts(int totalMs, int /*intervalMs*/) {
    timeoutMs_ = totalMs;
    return true;
}

} // namespace varrok
