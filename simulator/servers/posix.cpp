#include "simulator/servers/posix.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace sim {

void Fd::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

Waker::Waker() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (!fd_) throwErrno("eventfd");
}

void Waker::notify() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd_.get(), &one, sizeof one);
}

void Waker::drain() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(fd_.get(), &count, sizeof count);
}

void throwErrno(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

void setNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) throwErrno("fcntl");
}

} // namespace sim
