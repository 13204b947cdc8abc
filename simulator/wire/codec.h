#pragma once
// The reader's side of the wire protocol: it parses the host's request frames
// and builds its own response frames.
//
// One frame, offsets of the un-stuffed bytes:
//
//    0    1    2    3    4         5         6         7 ...            last
//  +----+----+----+----+---------+---------+---------+----------------+-----+
//  | AA | BB | L  | ~L | address | address | command | body           | XOR |
//  +----+----+----+----+---------+---------+---------+----------------+-----+
//    request:            high      low       code      data...
//    response:           low       high      echoed    status, data...
//
//  L    number of bytes from offset 4 to the end: address, command, body, XOR.
//  XOR  XOR of offsets 3 .. last-1, so ~L is covered but L itself is not.
//
// Stuffing: after the two start bytes, every 0xAA on the wire (in L, ~L, the
// address, the body or the XOR) is followed by an extra 0x00 that L does not
// count. So inside a frame 0xAA is always followed by 0x00, and "AA BB" can
// only ever mean the start of a frame: that is what the parser resynchronises on.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "simulator/wire/bytes.h"

namespace sim {

inline constexpr std::uint8_t kStartByte1 = 0xAA;
inline constexpr std::uint8_t kStartByte2 = 0xBB;
inline constexpr std::uint8_t kStuffingByte = 0x00;

// L is one byte and counts address (2), command (1) and XOR (1) besides the
// body; a response body also holds the status byte.
inline constexpr std::size_t kMaxRequestData = 251;
inline constexpr std::size_t kMaxResponseData = 250;

// What the host asks: the device address it talks to, a command code and the
// command's parameters.
struct Request {
    std::uint16_t address = 0;
    std::uint8_t command = 0;
    Bytes data;

    bool operator==(const Request&) const = default;
};

// What the reader answers. The address is normally the reader's own; the
// command code is echoed back (the host does not look at it).
struct Response {
    std::uint16_t address = 0;
    std::uint8_t command = 0;
    std::uint8_t status = 0;
    Bytes data;

    bool operator==(const Response&) const = default;
};

// A deliberately wrong XOR lets tests see how the host copes with line noise.
enum class Checksum { Correct, Corrupted };

// Both throw std::length_error when the data cannot fit the one-byte L.
Bytes encodeRequest(const Request& request);
Bytes encodeResponse(const Response& response, Checksum checksum = Checksum::Correct);

// Why the parser gave up on some bytes.
enum class Drop {
    None,
    Garbage,       // bytes outside any frame
    BadComplement, // ~L is not the complement of L
    TooShort,      // L below 4: no room for address, command and XOR
    BadChecksum,   // the XOR over ~L .. XOR is not zero
    BadStuffing,   // 0xAA inside a frame followed by neither 0x00 nor 0xBB
    Interrupted,   // a new "AA BB" started before the frame was complete
};
std::string_view describe(Drop drop);

// One outcome of parsing: an intact request, or bytes that were dropped.
struct Parsed {
    Bytes raw;                      // the wire bytes it was made of, for the traffic log
    std::optional<Request> request; // set for an intact frame
    Drop drop = Drop::None;         // why it was dropped otherwise
};

// Incremental request parser. Bytes arrive in whatever chunks the serial line
// or the socket hands over; frames come out whole, and anything that is not a
// valid frame is reported as dropped and skipped, so a noisy line never wedges
// the reader.
class RequestParser {
  public:
    std::vector<Parsed> feed(std::span<const std::uint8_t> bytes);

    // Forget a half-received frame, for instance when the host closed the port.
    void reset();

  private:
    enum class State { Hunt, SecondStart, Length, Complement, Body };

    void step(std::uint8_t byte, std::vector<Parsed>& out);
    void stuffed(std::uint8_t byte, std::vector<Parsed>& out);
    void unstuffed(std::uint8_t value, std::vector<Parsed>& out);
    void beginFrame(std::vector<Parsed>& out);
    void finish(std::optional<Request> request, Drop drop, std::vector<Parsed>& out);
    void flushGarbage(std::vector<Parsed>& out);

    State state_ = State::Hunt;
    bool pendingAA_ = false; // a 0xAA inside a frame, waiting for its 0x00
    Bytes raw_;              // wire bytes of the frame being received
    Bytes body_;             // un-stuffed bytes after ~L
    Bytes garbage_;          // bytes seen outside any frame
    std::uint8_t length_ = 0;
    std::uint8_t complement_ = 0;
};

} // namespace sim
