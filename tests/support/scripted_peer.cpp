#include "support/scripted_peer.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace testing_support {

ScriptedPeer::ScriptedPeer(Kind kind) : kind_(kind) {
    if (kind == Kind::Tcp) {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int one = 1;
        ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listenFd_, 4) != 0)
            throw std::runtime_error("loopback listener");
        socklen_t len = sizeof a;
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    } else {
        char name[128];
        if (::openpty(&masterFd_, &slaveKeep_, name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty");
        ptyPath_ = name;
        termios t{};
        ::tcgetattr(slaveKeep_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slaveKeep_, TCSANOW, &t);
    }
    thread_ = std::thread([this] { serve(); });
}

ScriptedPeer::~ScriptedPeer() {
    stop_ = true;
    thread_.join();
    for (int fd : {listenFd_, masterFd_, slaveKeep_, clientFd_})
        if (fd >= 0) ::close(fd);
}

std::string ScriptedPeer::openText(int comNumber, int baud) {
    if (kind_ == Kind::Tcp) return "TCP://127.0.0.1:" + std::to_string(port_);
    ::setenv(("VARROK_COM" + std::to_string(comNumber)).c_str(), ptyPath_.c_str(), 1);
    return "COM" + std::to_string(comNumber) + ":" + std::to_string(baud);
}

void ScriptedPeer::push(const Bytes& bytes) {
    const int fd = kind_ == Kind::Tcp ? clientFd_ : masterFd_;
    if (fd >= 0 && !bytes.empty()) (void)!::write(fd, bytes.data(), bytes.size());
}

void ScriptedPeer::serve() {
    Bytes pending;
    while (!stop_) {
        if (kind_ == Kind::Tcp && clientFd_ < 0) {
            pollfd p{listenFd_, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                clientFd_ = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
                pending.clear();
            }
            continue;
        }
        handle(kind_ == Kind::Tcp ? clientFd_ : masterFd_, pending);
    }
}

void ScriptedPeer::handle(int fd, Bytes& pending) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) return;
    std::uint8_t buf[2048];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) {
        if (kind_ == Kind::Tcp) {
            ::close(clientFd_);
            clientFd_ = -1;
        } else {
            ::usleep(5000);
        }
        return;
    }
    pending.insert(pending.end(), buf, buf + n);
    for (;;) {
        Reply reply;
        bool have = false;
        if (!takeRequest(pending, reply, have)) return;
        if (!have) continue;
        if (reply.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(reply.delayMs));
        if (!reply.bytes.empty()) (void)!::write(fd, reply.bytes.data(), reply.bytes.size());
        if (reply.hangUpAfter && kind_ == Kind::Tcp) {
            ::close(clientFd_);
            clientFd_ = -1;
            return;
        }
    }
}

} // namespace testing_support
