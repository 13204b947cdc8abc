#include "link/exchange.h"

#include "varrok.h"

#include <chrono>

namespace varrok {

namespace {

void settleLine(CCommBus& bus) {
    using clock = std::chrono::steady_clock;
    const auto limit = clock::now() + std::chrono::milliseconds(kSettleLimitMs);
    bus.setTimeouts(kQuietMs, -1);
    std::uint8_t sink[256];
    while (bus.read(sink, sizeof sink) > 0 && clock::now() < limit) {
    }
    bus.setUnsettled(false);
}

int collectAnswer(CCommBus& bus, CCommPacket& frame) {
    std::uint8_t* buf = frame.buffer();
    std::uint32_t length = 0;
    while (length < 4 && bus.read(buf + length, 1) >= 1)
        ++length;
    frame.setLength(length);
    if (length != 4 || buf[0] != 0xAA || buf[1] != 0xBB || buf[2] != static_cast<std::uint8_t>(~buf[3]))
        return VARROK_BAD_HEADER;
    if (buf[2] == 0) return 0;

    std::uint32_t target = buf[2] + 4u;
    int emptyBudget = 3 * static_cast<int>(target);
    while (length < target) {
        if (emptyBudget == 0) break;
        const int got = bus.read(buf + length, 1);
        if (got < 1) { // nothing, or a receive error: never counted as a byte
            --emptyBudget;
            continue;
        }
        if (buf[length] == 0xAA) ++target; // its stuffing byte is still to come
        ++length;
        // A reader that keeps sending AA would stretch the target without end.
        if (target > CCommPacket::kCapacity) {
            frame.setLength(length);
            return VARROK_LINK_FAILURE;
        }
    }
    frame.setLength(length);
    return length < target ? VARROK_LINK_FAILURE : VARROK_OK;
}

} // namespace

int exchange(CCommBus& bus, CCommPacket& frame, unsigned timeoutMs) {
    const std::uint32_t requestLength = frame.length();
    if (!bus.isOpen()) return VARROK_LINK_FAILURE;
    if (bus.unsettled()) settleLine(bus);
    const int wait = timeoutMs > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(timeoutMs);
    bus.setTimeouts(wait, -1);
    bus.purge();
    if (bus.write(frame.buffer(), static_cast<int>(requestLength)) <= 0) return VARROK_LINK_FAILURE;
    const int rc = collectAnswer(bus, frame);
    if (rc != 0) bus.setUnsettled(true);
    return rc;
}

} // namespace varrok
