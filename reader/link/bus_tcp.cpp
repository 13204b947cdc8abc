#include "link/bus_tcp.h"


#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace varrok {

CCommBusTcp::~CCommBusTcp() { close(); }

int CCommBusTcp::open(const char* text) {
    // Opening again replaces the connection; the old socket must not be left behind.
    close();
    const std::string host = takeText(text);

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
    // Connected: from now on the socket blocks, so that a receive can wait
    // by itself; sends and the purge ask not to wait.
    ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) & ~O_NONBLOCK);
    socket_ = s;
    receiveTimeoutMs_ = 0;
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
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(timeoutMs_ > 0 ? timeoutMs_ : 0);
    // Most answers come well within the wait, and then one blocking receive
    // is the whole cost. Its time-out counts in kernel ticks and may run up
    // to a tick long, so it is set a margin short of the wait; poll's precise
    // wait covers the rest of the time.
    long r = -1;
    if (timeoutMs_ > kReceiveMarginMs && setReceiveTimeout(timeoutMs_ - kReceiveMarginMs))
        r = pending_.fill(socket_, true);
    else
        errno = EAGAIN;
    while (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - clock::now()).count();
        if (!waitReady(socket_, POLLIN, left > 0 ? static_cast<int>(left) : 0)) return 0;
        r = pending_.fill(socket_, true, MSG_DONTWAIT);
    }
    if (r < 0) return -1;
    if (r == 0) return 0; // the reader hung up
    return pending_.take(dst, n);
}

int CCommBusTcp::write(const std::uint8_t* src, int n) {
    if (socket_ < 0 || n <= 0) return 0;
    int sent = 0;
    while (sent < n) {
        // A frame fits the socket's send buffer, so the send goes first and
        // a wait for room is paid only when the buffer is really full.
        const ssize_t r = ::send(socket_, src + sent, static_cast<std::size_t>(n - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitReady(socket_, POLLOUT, timeoutMs_)) return 0;
            continue;
        }
        if (r <= 0) return static_cast<int>(r);
        sent += static_cast<int>(r);
    }
    return sent;
}

bool CCommBusTcp::setReceiveTimeout(int ms) {
    if (ms == receiveTimeoutMs_) return true;
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    if (::setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0) return false;
    receiveTimeoutMs_ = ms;
    return true;
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
