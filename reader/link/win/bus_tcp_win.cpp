// The network transport on Winsock 2.
#include "link/bus_tcp.h"


#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace varrok {

namespace {

// Winsock is started once, the first time a reader is opened over the
// network, and cleaned up when the library is unloaded (static destruction
// runs from the DLL's detach).
class SocketLayer {
  public:
    static bool ready() {
        static SocketLayer layer;
        return layer.started_;
    }
    ~SocketLayer() {
        if (started_) ::WSACleanup();
    }

  private:
    SocketLayer() {
        WSADATA data{};
        started_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    bool started_ = false;
};

SOCKET socketOf(std::uintptr_t value) { return static_cast<SOCKET>(value); }

timeval interval(int ms) {
    if (ms < 0) ms = 0;
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    return tv;
}

// select on the one socket: readable (or, for writing, writable; a failed
// connect shows in the exception set). False on time-out or error.
bool waitSocket(SOCKET s, bool forWrite, int timeoutMs) {
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(s, &ready);
    FD_SET(s, &failed);
    timeval tv = interval(timeoutMs);
    const int r = ::select(0, forWrite ? nullptr : &ready, forWrite ? &ready : nullptr, &failed, &tv);
    return r > 0;
}

} // namespace

CCommBusTcp::~CCommBusTcp() { close(); }

int CCommBusTcp::open(const char* text) {
    // Opening again replaces the connection; the old socket must not be left behind.
    close();
    const std::string host = takeText(text);

    if (!SocketLayer::ready()) return -3;
    // Dotted decimal only; there is no name resolution. A text that does not
    // parse must fail here rather than become the broadcast address.
    const unsigned long ip = ::inet_addr(host.c_str());
    if (ip == INADDR_NONE) return -3;

    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return -3;
    const BOOL one = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&one), sizeof one);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = ::htons(static_cast<u_short>(port_));
    to.sin_addr.s_addr = ip;
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);

    const int started = ::connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    // A connect that fails at once (refused, unreachable) is a failed open;
    // only one that is still under way is worth waiting for.
    bool connected = started == 0;
    if (!connected && ::WSAGetLastError() == WSAEWOULDBLOCK && waitSocket(s, true, kConnectTimeoutMs)) {
        int error = -1;
        int size = sizeof error;
        connected = ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) == 0 && error == 0;
    }
    if (!connected) {
        ::closesocket(s);
        return -3;
    }
    socket_ = static_cast<std::uintptr_t>(s);
    pending_.clear();
    return 0;
}

bool CCommBusTcp::close() {
    if (isOpen()) {
        ::shutdown(socketOf(socket_), SD_BOTH);
        ::closesocket(socketOf(socket_));
        socket_ = kNoSocket;
        pending_.clear();
    }
    return true;
}

int CCommBusTcp::read(std::uint8_t* dst, int n) {
    if (!isOpen() || n <= 0) return 0;
    if (!pending_.empty()) return pending_.take(dst, n);
    if (!waitSocket(socketOf(socket_), false, timeoutMs_)) return 0;
    const int r = ::recv(socketOf(socket_), reinterpret_cast<char*>(pending_.space()),
                         static_cast<int>(PendingBytes::kCapacity), 0);
    if (r < 0) return ::WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
    if (r == 0) return 0; // the reader hung up
    pending_.filled(static_cast<std::size_t>(r));
    return pending_.take(dst, n);
}

int CCommBusTcp::write(const std::uint8_t* src, int n) {
    if (!isOpen() || n <= 0) return 0;
    int sent = 0;
    while (sent < n) {
        if (!waitSocket(socketOf(socket_), true, timeoutMs_)) return 0;
        const int r = ::send(socketOf(socket_), reinterpret_cast<const char*>(src + sent), n - sent, 0);
        if (r < 0 && ::WSAGetLastError() == WSAEWOULDBLOCK) continue;
        if (r <= 0) return r;
        sent += r;
    }
    return sent;
}

bool CCommBusTcp::purge() {
    if (!isOpen()) return false;
    pending_.clear();
    // A late answer to an earlier command may sit in the socket: drop what is
    // there now, without waiting (the socket is non-blocking).
    char sink[512];
    for (int rounds = 0; rounds < 64; ++rounds)
        if (::recv(socketOf(socket_), sink, sizeof sink, 0) <= 0) break;
    return true;
}

bool CCommBusTcp::setTimeouts(int totalMs, int /*intervalMs*/) {
    timeoutMs_ = totalMs;
    return true;
}

} // namespace varrok
