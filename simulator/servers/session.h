#pragma once
// One host's conversation with the reader over one connection: bytes in,
// deliveries out. Knows nothing of sockets or terminals, so both front ends
// share it and tests can drive it directly.

#include <span>
#include <string>
#include <vector>

#include "simulator/reader/reader.h"
#include "simulator/wire/codec.h"
#include "simulator/wire/fault.h"
#include "simulator/wire/traffic_log.h"

namespace sim {

class Session {
  public:
    // The log may be null; the channel names this connection in it.
    Session(Reader& reader, TrafficLog* log, std::string channel);

    // Every answer the bytes call for, in order, each shaped by the fault in
    // force when it was made. Requests for other readers get no delivery.
    std::vector<Delivery> receive(std::span<const std::uint8_t> bytes);

    // The host went away: a half-received frame is forgotten.
    void reset() { parser_.reset(); }

    // The front end has written out in full an answer that a fault shaped.
    void faultSent() { reader_.faults().noteSent(); }

    const std::string& channel() const { return channel_; }

  private:
    Reader& reader_;
    TrafficLog* log_;
    std::string channel_;
    RequestParser parser_;
};

} // namespace sim
