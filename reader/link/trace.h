// The frame trace: every request the library sends and every answer it
// receives, for whatever front end drives it, with no export of its own.
//
//   VARROK_TRACE=FILE          append readable lines to FILE ("-" = standard error)
//   VARROK_TRACE_FORMAT=pcap   write a pcap file instead (link type USER0; each
//                              packet = direction byte, reader name length,
//                              reader name, the frame as it went on the wire;
//                              tools/wireshark/varrok.lua decodes it)
//
// The variables are read once, at the first exchange. With no trace asked
// for, an exchange pays for one test of a flag.
#pragma once

#include "link/packet.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace varrok::trace {

// True when a trace sink is open.
bool enabled();

// What the answer line needs to know of its request.
struct Sent {
    std::uint8_t command = 0;
    int bodyLength = 0;
};

// Records one request (as built, before it is sent) and its outcome: the raw
// answer as received and the exchange's result code.
Sent request(const std::string& reader, const CCommPacket& frame);
void answer(const std::string& reader, Sent sent, const CCommPacket& frame, int rc);

// The export that sends `command` with a request body of `body` bytes; a few
// codes are shared by several exports and told apart by the body length.
std::string_view commandName(std::uint8_t command, int bodyLength);

} // namespace varrok::trace
