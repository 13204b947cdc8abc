// Frames as bytes for wire-level tests: the helpers both stand-in readers
// (POSIX and Winsock) share. Declared in scripted_peer.h.
#include "support/scripted_peer.h"

#include <cstdio>

namespace testing_support {

Bytes hex(const std::string& text) {
    Bytes out;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return out;
}

std::string toHex(const Bytes& bytes) {
    std::string s;
    char buf[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", bytes[i]);
        s += buf;
    }
    return s;
}

Bytes frame(std::uint8_t addr4, std::uint8_t addr5, std::uint8_t command, const Bytes& body) {
    Bytes plain = {static_cast<std::uint8_t>(body.size() + 4), 0, addr4, addr5, command};
    plain[1] = static_cast<std::uint8_t>(~plain[0]);
    plain.insert(plain.end(), body.begin(), body.end());
    std::uint8_t sum = 0;
    for (std::size_t i = 1; i < plain.size(); ++i)
        sum ^= plain[i];
    plain.push_back(sum);
    Bytes wire = {0xAA, 0xBB};
    for (std::uint8_t b : plain) {
        wire.push_back(b);
        if (b == 0xAA) wire.push_back(0x00);
    }
    return wire;
}

Bytes answer(std::uint8_t status, const Bytes& data, std::uint8_t command) {
    Bytes body = {status};
    body.insert(body.end(), data.begin(), data.end());
    return frame(0, 0, command, body);
}

std::size_t completeFrameLength(const Bytes& raw) {
    if (raw.size() < 3 || raw[0] != 0xAA || raw[1] != 0xBB) return 0;
    std::size_t plain = 0, target = 0, i = 2;
    for (; i < raw.size(); ++i) {
        if (plain == 0) target = raw[i] + 2u; // L plus L itself and its complement
        ++plain;
        if (raw[i] == 0xAA) ++i; // its stuffing byte
        if (plain == target) return i + 1 <= raw.size() ? i + 1 : 0;
    }
    return 0;
}

} // namespace testing_support
