#pragma once
// Faults on demand: the ways a real reader or its line misbehaves, so tests can
// watch the host cope. A fault changes how one answer goes out on the wire;
// the reader still processes the request.

#include <chrono>
#include <cstddef>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "simulator/wire/bytes.h"
#include "simulator/wire/codec.h"

namespace sim {

enum class FaultKind {
    Silent,          // no answer at all
    Late,            // the whole answer, after a delay
    CutShort,        // only the first `count` bytes of the answer
    BadChecksum,     // the answer with a wrong XOR
    FloodAA,         // the answer's four header bytes, then `count` bytes 0xAA (a receiver that
                     // follows stuffing keeps extending the frame)
    CloseConnection, // the first `count` bytes, then the connection is closed (TCP); on a serial
                     // line nothing can be closed, so it acts like CutShort there
};

struct Fault {
    FaultKind kind = FaultKind::Silent;
    std::chrono::milliseconds delay{0}; // Late
    std::size_t count = 0;              // CutShort, CloseConnection: bytes sent; FloodAA: bytes of 0xAA

    static Fault silent() { return {FaultKind::Silent}; }
    static Fault late(std::chrono::milliseconds delay) { return {FaultKind::Late, delay}; }
    static Fault cutAfter(std::size_t bytes) { return {FaultKind::CutShort, {}, bytes}; }
    static Fault badChecksum() { return {FaultKind::BadChecksum}; }
    static Fault flood(std::size_t bytes = 2000) { return {FaultKind::FloodAA, {}, bytes}; }
    static Fault closeAfter(std::size_t bytes = 3) { return {FaultKind::CloseConnection, {}, bytes}; }

    bool operator==(const Fault&) const = default;
};

// "silent", "late=300", "cut=5", "checksum", "flood" or "flood=N", "close" or
// "close=N": the form used on the command line. Throws std::invalid_argument.
Fault parseFault(std::string_view text);
std::string describe(const Fault& fault);

// The faults in force. Tests set them from their own thread while a front end
// is answering, hence the lock. A one-shot fault is used up by the next answer
// and takes precedence over a lasting one.
class FaultPlan {
  public:
    void once(const Fault& fault);
    // A one-shot fault that spares the next `spared` answers first: how tests
    // make a multi-command read fail part way.
    void onceAfter(std::size_t spared, const Fault& fault);
    void always(const Fault& fault);
    void clear();

    // The fault for the answer about to go out, if any; consumes a one-shot fault.
    std::optional<Fault> take();

    // Faults handed out so far, and how many of those answers a front end has
    // written out in full. A test notes taken() + 1 before its command and
    // waits on that, not on the clock, for a late answer or a cut or flooding
    // one to be out on the line. A silent answer is out as soon as it is made.
    std::size_t taken();
    bool waitSent(std::size_t n, std::chrono::milliseconds cap);
    void noteSent();

  private:
    std::mutex mutex_;
    std::condition_variable sentChanged_;
    std::size_t taken_ = 0;
    std::size_t sent_ = 0;
    std::optional<Fault> once_;
    std::size_t spared_ = 0; // answers still to go out untouched before once_
    std::optional<Fault> always_;
};

// How one answer goes out: wait, send the bytes, maybe hang up.
struct Delivery {
    std::chrono::milliseconds delay{0};
    Bytes bytes;
    bool hangUp = false;
    std::string note; // what the fault did, for the traffic log
    bool faulty = false;
};

Delivery deliver(const Response& response, const std::optional<Fault>& fault);

} // namespace sim
