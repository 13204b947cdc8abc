#pragma once
// Small owners of POSIX descriptors for the front ends.

#include <utility>

namespace sim {

// Owns one file descriptor and closes it.
class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) reset(std::exchange(other.fd_, -1));
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void reset(int fd = -1);

  private:
    int fd_ = -1;
};

// Wakes a front end's poll loop from another thread, so stop() never waits
// for traffic or a time-out.
class Waker {
  public:
    Waker(); // throws std::system_error
    void notify();
    void drain();
    int fd() const { return fd_.get(); }

  private:
    Fd fd_;
};

// Throws std::system_error with the call's name and errno.
[[noreturn]] void throwErrno(const char* what);
void setNonBlocking(int fd); // throws std::system_error

} // namespace sim
