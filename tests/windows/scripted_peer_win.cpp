// The scripted stand-in reader of tests/support, on Winsock, so the wire-level
// command tables run against the Windows TCP transport. A Windows process has
// no pseudo-terminal: the serial transport is tested against the simulator's
// pty instead (serial_and_dll_test.cpp), and Kind::Pty is refused here.
// The frame helpers and the script are tests/support/peer_script.cpp, shared with it.
#include "support/scripted_peer.h"

#include <winsock2.h>

#include <cstdio>
#include <stdexcept>

namespace testing_support {

namespace {

// Winsock socket values fit the header's int fields (Windows keeps handle
// values within 32 bits); -1 stands for none, as in the POSIX peer.
SOCKET sock(int fd) { return static_cast<SOCKET>(static_cast<unsigned>(fd)); }
int fdOf(SOCKET s) { return s == INVALID_SOCKET ? -1 : static_cast<int>(s); }

bool readable(int fd, int ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(sock(fd), &set);
    timeval tv{0, ms * 1000};
    return ::select(0, &set, nullptr, nullptr, &tv) > 0;
}

void closeFd(int& fd) {
    if (fd >= 0) ::closesocket(sock(fd));
    fd = -1;
}

struct Winsock {
    Winsock() {
        WSADATA data;
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup");
    }
    ~Winsock() { ::WSACleanup(); }
};

} // namespace

ScriptedPeer::ScriptedPeer(Kind kind) : kind_(kind) {
    static Winsock winsock;
    if (kind != Kind::Tcp) throw std::runtime_error("no pseudo-terminal in a Windows process");
    listenFd_ = fdOf(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (listenFd_ < 0 || ::bind(sock(listenFd_), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(sock(listenFd_), 4) != 0)
        throw std::runtime_error("loopback listener");
    int len = sizeof a;
    ::getsockname(sock(listenFd_), reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { serve(); });
}

ScriptedPeer::~ScriptedPeer() {
    stop_ = true;
    thread_.join();
    closeFd(listenFd_);
    closeFd(clientFd_);
}

std::string ScriptedPeer::openText(int, int) { return "TCP://127.0.0.1:" + std::to_string(port_); }

void ScriptedPeer::push(const Bytes& bytes) {
    if (clientFd_ >= 0 && !bytes.empty())
        ::send(sock(clientFd_), reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 0);
}

void ScriptedPeer::serve() {
    Bytes pending;
    while (!stop_) {
        if (clientFd_ < 0) {
            if (readable(listenFd_, 20)) {
                clientFd_ = fdOf(::accept(sock(listenFd_), nullptr, nullptr));
                pending.clear();
            }
            continue;
        }
        handle(clientFd_, pending);
    }
}

void ScriptedPeer::handle(int fd, Bytes& pending) {
    if (!readable(fd, 20)) return;
    char buf[2048];
    const int n = ::recv(sock(fd), buf, sizeof buf, 0);
    if (n <= 0) {
        closeFd(clientFd_);
        return;
    }
    pending.insert(pending.end(), buf, buf + n);
    for (;;) {
        Reply reply;
        bool have = false;
        if (!takeRequest(pending, reply, have)) return;
        if (!have) continue;
        if (reply.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(reply.delayMs));
        if (!reply.bytes.empty())
            ::send(sock(fd), reinterpret_cast<const char*>(reply.bytes.data()), static_cast<int>(reply.bytes.size()), 0);
        if (reply.hangUpAfter) {
            closeFd(clientFd_);
            return;
        }
    }
}

} // namespace testing_support
