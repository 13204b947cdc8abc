#include "link/bus_com.h"

#include "link/com_ports.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace varrok {

namespace {

speed_t speedFor(int baud) {
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 921600:
        return B921600;
    default:
        return static_cast<speed_t>(-1); // includes 0: no line runs at 0 baud
    }
}

} // namespace

CCommBusCom::~CCommBusCom() {
    // The owner closes before destroying; this only keeps a descriptor from leaking.
    if (fd_ >= 0) ::close(fd_);
}

bool CCommBusCom::openPort() {
    if (isOpen()) close();
    if (path_.empty()) return false;
    const int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        errno_ = errno;
        return false;
    }
    // Exclusive like a Windows COM port: TIOCEXCL keeps other programs out
    // (but not root), the lock keeps out everyone who asks, this process included.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || (::isatty(fd) && ::ioctl(fd, TIOCEXCL) != 0)) {
        errno_ = errno;
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

bool CCommBusCom::configureLine(int baud, int parity, int byteSize, int stopBits) {
    if (!isOpen()) return false;
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) return (errno_ = errno), false;
    const speed_t speed = speedFor(baud);
    if (speed == static_cast<speed_t>(-1)) return (errno_ = EINVAL), false;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB);
    tio.c_cflag |= CREAD | CLOCAL;
    switch (byteSize) {
    case 5:
        tio.c_cflag |= CS5;
        break;
    case 6:
        tio.c_cflag |= CS6;
        break;
    case 7:
        tio.c_cflag |= CS7;
        break;
    default:
        tio.c_cflag |= CS8;
        break;
    }
    if (parity == 1) tio.c_cflag |= PARENB | PARODD;
    if (parity == 2) tio.c_cflag |= PARENB;
    if (stopBits == 2) tio.c_cflag |= CSTOPB;
    if (parity != 0)
        tio.c_iflag |= INPCK;
    else
        tio.c_iflag &= ~INPCK;
    // Frames are binary: no line editing, echo, signals or byte translation.
    // Flow control stays as the port has it.
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) return (errno_ = errno), false;
    return true;
}

bool CCommBusCom::setupPort() {
    // The driver's queues need no sizing here; what remains is the initial
    // time-outs and an empty line.
    return isOpen() && setTimeouts(200, 2) && purge();
}

bool CCommBusCom::close() {
    if (fd_ >= 0) {
        ::tcflush(fd_, TCIOFLUSH);
        ::close(fd_);
        fd_ = -1;
        pending_.clear();
    }
    return true;
}

int CCommBusCom::read(std::uint8_t* dst, int n) {
    if (n <= 0 || fd_ < 0) return 0;
    if (!pending_.empty()) return pending_.take(dst, n);
    if (!waitReady(fd_, POLLIN, totalMs_)) return 0;
    const long r = pending_.fill(fd_, false);
    if (r <= 0) {
        // A pseudo-terminal whose other side went away reports EIO at once:
        // that is nothing received, and the exchange's budget ends it.
        if (r < 0 && errno != EAGAIN) errno_ = errno;
        return 0;
    }
    return pending_.take(dst, n);
}

int CCommBusCom::write(const std::uint8_t* src, int n) {
    if (fd_ < 0 || n <= 0) return 0;
    int sent = 0;
    while (sent < n) {
        const ssize_t r = ::write(fd_, src + sent, static_cast<std::size_t>(n - sent));
        if (r > 0) {
            sent += static_cast<int>(r);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && errno == EAGAIN && waitReady(fd_, POLLOUT, totalMs_)) continue;
        if (r < 0) errno_ = errno;
        break;
    }
    return sent;
}

bool CCommBusCom::purge() {
    if (fd_ < 0) return false;
    pending_.clear();
    // The flush empties the driver's queues in one call; only a device that
    // is no terminal (and refuses it) is emptied by reading.
    if (::tcflush(fd_, TCIOFLUSH) == 0) return true;
    drain(fd_, false);
    return false;
}

bool CCommBusCom::setTimeouts(int totalMs, int intervalMs) {
    totalMs_ = totalMs;
    intervalMs_ = intervalMs;
    return isOpen();
}

} // namespace varrok
