#include "link/packet.h"

#include "varrok.h"

#include <cstring>

namespace varrok {

CCommPacket::CCommPacket(std::uint16_t address, std::uint8_t command, const std::uint8_t* body, int count) {
    std::memset(frame_, 0, sizeof frame_);
    length_ = 0;
    if (count < 0 || body == nullptr) count = 0;

    frame_[length_++] = 0xAA;
    frame_[length_++] = 0xBB;
    const std::uint8_t len = static_cast<std::uint8_t>(count + 4);
    const std::uint8_t head[] = {len, static_cast<std::uint8_t>(~len),
                                 static_cast<std::uint8_t>(address >> 8),
                                 static_cast<std::uint8_t>(address & 0xFF), command};
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < sizeof head; ++i) {
        append(head[i]);
        if (i > 0) sum ^= head[i];
    }
    for (int i = 0; i < count; ++i) {
        append(body[i]);
        sum ^= body[i];
    }
    append(sum);
}

void CCommPacket::append(std::uint8_t byte) {
    // A stuffed byte and its 00 go in together or not at all.
    const std::uint32_t need = byte == 0xAA ? 2 : 1;
    if (length_ + need > kCapacity) return;
    frame_[length_++] = byte;
    if (byte == 0xAA) frame_[length_++] = 0x00;
}

bool CCommPacket::decode() {
    checksum_ = 0;
    if (length_ == 0) return true;
    std::uint8_t raw[kCapacity];
    std::memcpy(raw, frame_, length_);
    std::uint32_t out = 2;
    for (std::uint32_t in = 2; in < length_; ++in) {
        const std::uint8_t byte = raw[in];
        frame_[out++] = byte;
        if (in > 2) checksum_ ^= byte;
        if (byte == 0xAA) ++in; // skip its stuffing byte, whatever it holds
    }
    length_ = out;
    return true;
}

std::uint8_t CCommPacket::status() const { return checksum_ != 0 ? static_cast<std::uint8_t>(VARROK_BAD_CHECKSUM) : frame_[7]; }

int CCommPacket::dataLength() const { return frame_[2] < 5 ? 0 : frame_[2] - 5; }

bool CCommPacket::copyData(std::uint8_t* dst, int n) const {
    if (dataLength() == 0) return false;
    if (n > dataLength()) n = dataLength();
    if (n > 0) std::memcpy(dst, frame_ + 8, static_cast<std::size_t>(n));
    return true;
}

std::uint16_t CCommPacket::responseAddress() const {
    return static_cast<std::uint16_t>(frame_[5] << 8 | frame_[4]);
}

} // namespace varrok
