#include "cli/app.h"

#include "varrok.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace cli {

std::string hex(std::span<const std::uint8_t> bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const std::uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

Bytes parseHex(std::string_view text, const std::string& what) {
    Bytes out;
    int high = -1;
    for (const char c : text) {
        if (c == ' ' || c == ':' || c == '-' || c == '\t') {
            if (high >= 0) throw Failure(kUsage, what + ": a byte needs two hex digits");
            continue;
        }
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) throw Failure(kUsage, what + ": '" + std::string(1, c) + "' is not a hex digit");
        if (high < 0) {
            high = digit;
        } else {
            out.push_back(static_cast<std::uint8_t>(high << 4 | digit));
            high = -1;
        }
    }
    if (high >= 0) throw Failure(kUsage, what + ": an odd number of hex digits");
    return out;
}

Bytes parseHexOf(std::string_view text, std::size_t size, const std::string& what) {
    Bytes bytes = parseHex(text, what);
    if (bytes.size() != size)
        throw Failure(kUsage, what + ": " + std::to_string(size) + " bytes expected, " +
                                  std::to_string(bytes.size()) + " given");
    return bytes;
}

namespace {
std::atomic<bool> interrupted{false};
extern "C" void onInterrupt(int) { interrupted = true; }
} // namespace

bool stopRequested() { return interrupted; }

void watchInterrupt() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

Progress::Progress(std::string what, std::size_t total)
    : what_(std::move(what)), total_(total), shown_(isatty(STDERR_FILENO) == 1) {}

Progress::~Progress() {
    if (shown_) std::fputs("\r\033[K", stderr);
}

void Progress::step(std::size_t done) {
    if (shown_) std::fprintf(stderr, "\r%s %zu/%zu", what_.c_str(), done, total_);
}

Session::~Session() {
    if (handle_ > 0) ReaderClose(handle_);
}

unsigned short Session::dev() {
    if (handle_ > 0) return 0;
    if (options_.reader.empty())
        throw Failure(kUsage, "no reader given: use --reader TEXT or set VARROK_READER");
    handle_ = ReaderOpen(options_.reader.c_str());
    if (handle_ <= 0) throw Failure(kLinkFailure, "cannot open the reader " + options_.reader, -1);
    return 0;
}

namespace {
const char* linkText(int rc) {
    switch (rc) {
    case VARROK_NO_READER:
        return "no reader open";
    case VARROK_BAD_HANDLE:
        return "not an open reader";
    case VARROK_BAD_HEADER:
        return "no answer from the reader, or a malformed one";
    case VARROK_BAD_CHECKSUM:
        return "the answer's checksum was wrong";
    default:
        return "link failure, or an answer of the wrong length";
    }
}
} // namespace

void Session::check(int rc, const char* function) const {
    if (rc == 0) return;
    const bool link = rc == VARROK_NO_READER || rc == VARROK_LINK_FAILURE || rc == VARROK_BAD_HANDLE ||
                      rc == VARROK_BAD_HEADER || rc == VARROK_BAD_CHECKSUM;
    char text[160];
    if (link)
        std::snprintf(text, sizeof text, "%s: %s (%d)", function, linkText(rc), rc);
    else
        std::snprintf(text, sizeof text, "%s: refused by the card or reader (status %02X)", function, rc);
    throw Failure(link ? kLinkFailure : kRefused, text, rc);
}

void Session::checkSearch(int rc, const char* function) const {
    if (rc > 0 && rc != VARROK_BAD_HEADER && rc != VARROK_BAD_CHECKSUM) {
        char text[120];
        std::snprintf(text, sizeof text, "no card answered (%s: status %02X)", function, rc);
        throw Failure(kNoCard, text, rc);
    }
    check(rc, function);
}

void Registry::add(CLI::App* command, Runner runner) {
    Runner* target = chosen;
    command->callback([target, runner] { *target = runner; });
}

} // namespace cli
