#include "simulator/servers/pty_server.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

#include "simulator/servers/poll_timeout.h"

namespace sim {

namespace {

// While no host holds the port open, the master reports a hang-up at once on
// every poll; look again after this pause instead of spinning.
constexpr std::chrono::milliseconds kReopenPoll{5};

} // namespace

PtyServer::PtyServer(Reader& reader, TrafficLog* log) : reader_(reader), log_(log) {}

PtyServer::~PtyServer() { stop(); }

void PtyServer::start() {
    if (thread_.joinable()) throw std::logic_error("pty server already running");
    int masterFd = -1;
    int slaveFd = -1;
    char name[PATH_MAX] = {};
    if (::openpty(&masterFd, &slaveFd, name, nullptr, nullptr) != 0) throwErrno("openpty");
    Fd master(masterFd);
    Fd slave(slaveFd);
    // Binary frames must pass untouched: no echo (the reader would hear its own
    // answers), no line editing, no CR/LF translation, no XON/XOFF.
    termios mode{};
    if (::tcgetattr(slave.get(), &mode) != 0) throwErrno("tcgetattr");
    ::cfmakeraw(&mode);
    if (::tcsetattr(slave.get(), TCSANOW, &mode) != 0) throwErrno("tcsetattr");
    // Our own slave descriptor is closed: the host's open and close are then
    // the only ones, and its exclusive-use lock is released when it closes.
    slave.reset();
    setNonBlocking(master.get());
    ::fcntl(master.get(), F_SETFD, FD_CLOEXEC);
    path_ = name;
    link_ = std::make_unique<Link>(std::move(master), Link::Kind::Terminal, Session(reader_, log_, "pty"));
    waker_.drain();
    thread_ = std::thread([this] { run(); });
}

void PtyServer::stop() {
    if (!thread_.joinable()) return;
    waker_.notify();
    thread_.join();
    link_.reset();
}

void PtyServer::run() {
    bool portClosed = true; // nobody has opened the slave yet
    for (;;) {
        const Clock::time_point now = Clock::now();
        PollTimeout timeout(now);
        pollfd fds[2] = {{waker_.fd(), POLLIN, 0}, {link_->fd(), link_->events(), 0}};
        if (portClosed) {
            fds[1].fd = -1;
            timeout.atMost(kReopenPoll);
        } else {
            timeout.until(link_->wakeAt(now));
        }
        if (::poll(fds, 2, timeout.milliseconds()) < 0 && errno != EINTR) return;
        if (fds[0].revents) return; // stop() asked
        if (portClosed) {
            portClosed = false; // look at the master again on the next round
            continue;
        }

        const short revents = fds[1].revents;
        bool open = true;
        if (revents & (POLLIN | POLLHUP | POLLERR)) open = link_->readAvailable(Clock::now());
        if (open && (revents & POLLHUP)) open = false;
        if (open) open = link_->flush(Clock::now());
        if (!open) {
            // The host closed the port (reads fail with EIO). Answers still
            // queued would go nowhere on a real line either.
            link_->discard();
            portClosed = true;
        }
    }
}

} // namespace sim
