// Bounded reads and all-or-nothing writes of dump and key files.
#include "formats/files.h"

#include "formats/dump.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varrok::dump {

namespace {

[[noreturn]] void failed(const std::string& path, const char* doing, int error) {
    throw Error(path + ": cannot " + doing + ": " + std::strerror(error));
}

// Closes a descriptor when it goes out of scope.
struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

} // namespace

std::string readBounded(const std::string& path) {
    Descriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) failed(path, "open", errno);
    std::string contents;
    char chunk[16384];
    while (true) {
        auto got = ::read(file.fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) failed(path, "read", errno);
        if (got == 0) return contents;
        if (contents.size() + static_cast<std::size_t>(got) > kMaxFileSize)
            throw Error(path + ": larger than " + std::to_string(kMaxFileSize >> 10) +
                        " KiB: no card dump or key file is that large");
        contents.append(chunk, static_cast<std::size_t>(got));
    }
}

void replaceFile(const std::string& path, const std::string& contents) {
    std::string temporary = path + ".XXXXXX";
    Descriptor file{::mkstemp(temporary.data())};
    if (file.fd < 0) failed(path, "create a temporary file beside it", errno);
    auto fail = [&](const char* doing) {
        int error = errno;
        ::unlink(temporary.c_str());
        failed(path, doing, error);
    };
    for (std::size_t done = 0; done < contents.size();) {
        auto wrote = ::write(file.fd, contents.data() + done, contents.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote < 0) fail("write");
        done += static_cast<std::size_t>(wrote);
    }
    // A new file stays private (dumps hold card keys); a replaced one keeps its mode.
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && ::fchmod(file.fd, old.st_mode & 07777) != 0) fail("write");
    if (::fsync(file.fd) != 0) fail("write");
    if (::close(file.fd) != 0) {
        file.fd = -1;
        fail("write");
    }
    file.fd = -1;
    if (::rename(temporary.c_str(), path.c_str()) != 0) fail("replace");
}

} // namespace varrok::dump
