// The one road every card and reader command takes:
//
//   find transport -> argument checks -> build frame -> exchange -> decode
//   -> status -> check and copy the answer
//
// A command is written as its row reads, for example
//
//   return Command(icdev, 0x13, 200).u8(block).exact(16, data);
//
// Argument checks and null pointers are gathered while the request is
// built and acted on only after the reader lookup (or before it, for the
// few rows that say so), so nothing is ever sent for a rejected call and
// the caller's buffers stay untouched on every failure.
#pragma once

#include "link/packet.h"
#include "varrok.h"

#include <cstdint>
#include <functional>

namespace varrok {

class Command {
  public:
    Command(unsigned short icdev, std::uint8_t code, unsigned timeoutMs);

    // Request data, in frame order.
    Command& u8(std::uint8_t v);
    Command& be16(std::uint16_t v);
    Command& le16(std::uint16_t v);
    Command& le32(std::uint32_t v);
    Command& be32(std::uint32_t v);
    Command& le24(std::uint32_t v);
    Command& be24(std::uint32_t v);
    // n bytes the caller supplies; a null pointer with n > 0 is refused with VARROK_LINK_FAILURE.
    Command& bytes(const unsigned char* p, int n);

    // Refuse the call with `code` unless ok: after the lookup, or before it.
    Command& check(bool ok, int code = VARROK_LINK_FAILURE);
    Command& checkBeforeLookup(bool ok, int code);
    // Refuse with -5 when an output pointer is null.
    Command& out(const void* p);
    // Send the frame to another device address than icdev (icdev still picks the reader).
    Command& addressedTo(std::uint16_t address);

    // Answer kinds.
    int none();                           // data ignored
    int empty();                          // no data allowed
    int exact(int n, unsigned char* dst); // exactly n bytes
    int variable(unsigned char* dst, unsigned char* len);
    int counted(int count, int blockSize, unsigned char* dst, unsigned char* len);
    // For answers with a shape of their own: the decoded frame after a zero status.
    int answer(const std::function<int(const CCommPacket&)>& read);

  private:
    int run(const std::function<int(const CCommPacket&)>& read);

    unsigned short icdev_;
    std::uint16_t address_ = 0;
    bool redirected_ = false;
    std::uint8_t code_;
    unsigned timeoutMs_;
    std::uint8_t request_[CCommPacket::kMaxBody];
    int length_ = 0;
    bool overflow_ = false;
    int earlyError_ = 0;
    int argumentError_ = 0;
};

// Waits the 10 ms the reader needs after some identity answers; passes rc through.
int settle(int rc);

} // namespace varrok
