// The frame trace: every request the library sends and every answer it
// receives, for whatever front end drives it, with no export of its own.
//
//   VARROK_TRACE=FILE          append readable lines to FILE ("-" = standard error)
//   VARROK_TRACE_FORMAT=pcap   write a pcap file instead (link type USER0; each
//                              packet = direction byte, reader name length,
//                              reader name, the frame as it went on the wire;
//                              tools/wireshark/varrok.lua decodes it)
//
// The variables are looked at before every exchange (two environment look-ups,
// tens of nanoseconds beside an exchange's tens of microseconds) and the file
// is opened or closed when they change, so a program may switch the trace on
// and off while it runs. Change them with setenv/unsetenv between calls, not
// while another thread is inside the library (the environment has no lock).
#pragma once

#include "link/packet.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace varrok::trace {

// True when a trace is asked for and its file is open; follows the variables.
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
