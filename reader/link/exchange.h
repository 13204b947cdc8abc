// Sends one request frame and collects the reader's answer.
#pragma once

#include "link/bus.h"
#include "link/packet.h"

namespace varrok {

// 0 with the raw answer in the frame; -5 for a closed transport, a request
// that could not be written, or an answer body that stopped (or would not
// fit the frame); 9 for a missing or malformed header. Each read waits at
// most timeoutMs; an answer body may take up to 3 x (L + 4) empty reads.
int exchange(CCommBus& bus, CCommPacket& frame, unsigned timeoutMs);

} // namespace varrok
