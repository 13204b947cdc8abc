// Sends one request frame and collects the reader's answer.
#pragma once

#include "link/bus.h"
#include "link/packet.h"

namespace varrok {

// 0 with the raw answer in the frame; -5 for a closed transport, a request
// that could not be written, or an answer body that stopped (or would not
// fit the frame); 9 for a missing or malformed header. Each read waits at
// most timeoutMs; an answer body may take up to 3 x (L + 4) empty reads.
//
// After a failed exchange the reader may still be sending: the rest of a
// flood, or an answer that comes after the wait. The purge before each
// request drops what has arrived; in addition, the first exchange after a
// failure reads and drops everything until the line has been quiet for
// kQuietMs (for at most kSettleLimitMs against a reader that never stops),
// so the command after a fault gets its own answer. The failed call itself
// returns within its own time-out.
constexpr int kQuietMs = 30;
constexpr int kSettleLimitMs = 1000;
int exchange(CCommBus& bus, CCommPacket& frame, unsigned timeoutMs);

} // namespace varrok
