// One command frame to the reader and, after the exchange, its answer.
//
//   offset  0    1    2    3    4      5      6     7 ...        7+n
//          +----+----+----+----+------+------+-----+------------+-----+
//          | AA | BB | L  | ~L | addr | addr | cmd | body (n)   | xor |
//          +----+----+----+----+------+------+-----+------------+-----+
//   L = n + 4 counts from offset 4 to the end; xor covers offsets 3 .. 6+n.
//   On the wire every byte after the start bytes that equals AA is followed
//   by a stuffing 00. A request carries the address high byte first; an
//   answer carries it low byte first and its body starts with the status.
#pragma once

#include <cstddef>
#include <cstdint>

namespace varrok {

class CCommPacket {
  public:
    static constexpr std::size_t kCapacity = 1024;
    static constexpr int kMaxBody = 251;

    // Builds the stuffed request. A count above what one frame can carry
    // still never writes past the buffer: bytes that do not fit are dropped.
    CCommPacket(std::uint16_t address, std::uint8_t command, const std::uint8_t* body, int count);
    virtual ~CCommPacket() = default;

    // Un-stuffs a received answer in place and computes its checksum.
    bool decode();
    // 252 when the checksum failed, else the reader's status byte.
    std::uint8_t status() const;
    // Answer data bytes after the status: L - 5, never negative.
    int dataLength() const;
    // Copies n answer data bytes; false and nothing copied when there are none.
    bool copyData(std::uint8_t* dst, int n) const;
    const std::uint8_t* data() const { return frame_ + 8; }
    // The answering reader's address: offset 4 is the low byte.
    std::uint16_t responseAddress() const;

    std::uint8_t* buffer() { return frame_; }
    const std::uint8_t* buffer() const { return frame_; }
    std::uint32_t length() const { return length_; }
    void setLength(std::uint32_t n) { length_ = n < kCapacity ? n : kCapacity; }
    std::uint8_t checksum() const { return checksum_; }

  private:
    void append(std::uint8_t byte);

    std::uint8_t frame_[kCapacity];
    std::uint32_t length_ = 0;
    std::uint8_t checksum_ = 0;
};

} // namespace varrok
