#include "commands/command.h"

#include "link/readers.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace varrok {

Command::Command(unsigned short icdev, std::uint8_t code, unsigned timeoutMs)
    : icdev_(icdev), code_(code), timeoutMs_(timeoutMs) {}

Command& Command::u8(std::uint8_t v) {
    if (length_ < CCommPacket::kMaxBody)
        request_[length_++] = v;
    else
        overflow_ = true;
    return *this;
}

Command& Command::be16(std::uint16_t v) { return u8(v >> 8).u8(v & 0xFF); }
Command& Command::le16(std::uint16_t v) { return u8(v & 0xFF).u8(v >> 8); }
Command& Command::le24(std::uint32_t v) { return u8(v & 0xFF).u8((v >> 8) & 0xFF).u8((v >> 16) & 0xFF); }
Command& Command::be24(std::uint32_t v) { return u8((v >> 16) & 0xFF).u8((v >> 8) & 0xFF).u8(v & 0xFF); }
Command& Command::le32(std::uint32_t v) { return le16(v & 0xFFFF).le16(v >> 16); }
Command& Command::be32(std::uint32_t v) { return be16(v >> 16).be16(v & 0xFFFF); }

Command& Command::bytes(const unsigned char* p, int n) {
    // A refused call reads nothing more of the caller's data: a count that
    // failed its check says nothing about how large the caller's buffer is.
    if (n <= 0 || earlyError_ != 0 || argumentError_ != 0) return *this;
    if (p == nullptr) return check(false);
    if (n > CCommPacket::kMaxBody - length_) {
        overflow_ = true;
        return *this;
    }
    std::memcpy(request_ + length_, p, static_cast<std::size_t>(n));
    length_ += n;
    return *this;
}

Command& Command::check(bool ok, int code) {
    if (!ok && argumentError_ == 0) argumentError_ = code;
    return *this;
}

Command& Command::checkBeforeLookup(bool ok, int code) {
    if (!ok && earlyError_ == 0) earlyError_ = code;
    return *this;
}

Command& Command::out(const void* p) { return check(p != nullptr); }

Command& Command::addressedTo(std::uint16_t address) {
    address_ = address;
    redirected_ = true;
    return *this;
}

int Command::run(const std::function<int(const CCommPacket&)>& read) {
    if (earlyError_ != 0) return earlyError_;
    const Route route = findRoute(icdev_);
    if (!route) return VARROK_NO_READER;
    if (argumentError_ != 0) return argumentError_;
    if (overflow_) return VARROK_LINK_FAILURE; // the request would not fit one frame
    CCommPacket frame(redirected_ ? address_ : route.address(), code_, request_, length_);
    // Alone on the reader's transport for this one exchange; the decoding
    // below works on our own copy of the answer.
    if (const int rc = route.exchange(frame, timeoutMs_); rc != 0) return rc;
    frame.decode();
    if (const std::uint8_t status = frame.status(); status != 0) return status;
    return read(frame);
}

int Command::none() {
    return run([](const CCommPacket&) { return 0; });
}

int Command::empty() {
    return run([](const CCommPacket& f) { return f.dataLength() == 0 ? VARROK_OK : VARROK_LINK_FAILURE; });
}

int Command::exact(int n, unsigned char* dst) {
    out(dst);
    return run([&](const CCommPacket& f) {
        if (f.dataLength() != n) return VARROK_LINK_FAILURE;
        f.copyData(dst, n);
        return VARROK_OK;
    });
}

int Command::variable(unsigned char* dst, unsigned char* len) {
    out(dst).out(len);
    return run([&](const CCommPacket& f) {
        *len = static_cast<unsigned char>(f.dataLength());
        f.copyData(dst, f.dataLength());
        return 0;
    });
}

int Command::counted(int count, int blockSize, unsigned char* dst, unsigned char* len) {
    out(dst).out(len);
    return run([&](const CCommPacket& f) {
        *len = static_cast<unsigned char>(f.dataLength());
        if (f.dataLength() != count * blockSize) return VARROK_LINK_FAILURE;
        f.copyData(dst, f.dataLength());
        return VARROK_OK;
    });
}

int Command::answer(const std::function<int(const CCommPacket&)>& read) { return run(read); }

int settle(int rc) {
    if (rc == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return rc;
}

} // namespace varrok
