// What both stand-in readers (POSIX and Winsock) share: frames as bytes, and
// the script of replies with the requests seen. Declared in scripted_peer.h.
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

void ScriptedPeer::script(Reply reply) {
    std::lock_guard lock(mutex_);
    replies_.push_back(std::move(reply));
}

void ScriptedPeer::clearScript() {
    std::lock_guard lock(mutex_);
    replies_.clear();
}

std::vector<Bytes> ScriptedPeer::requests() {
    std::lock_guard lock(mutex_);
    return requests_;
}

bool ScriptedPeer::waitForRequests(std::size_t n, int timeoutMs) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return requests_.size() >= n; });
}

bool ScriptedPeer::takeRequest(Bytes& pending, Reply& reply, bool& answered) {
    while (!pending.empty() && pending[0] != 0xAA)
        pending.erase(pending.begin());
    const std::size_t size = completeFrameLength(pending);
    if (size == 0) return false;
    answered = false;
    {
        std::lock_guard lock(mutex_);
        requests_.emplace_back(pending.begin(), pending.begin() + static_cast<long>(size));
        if (!replies_.empty()) {
            reply = replies_.front();
            replies_.pop_front();
            answered = true;
        }
    }
    changed_.notify_all();
    pending.erase(pending.begin(), pending.begin() + static_cast<long>(size));
    return true;
}

} // namespace testing_support
