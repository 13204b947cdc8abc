#include "simulator/wire/fault.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <utility>

namespace sim {

namespace {

std::size_t parseCount(std::string_view text, std::string_view whole) {
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        throw std::invalid_argument("bad number in fault '" + std::string(whole) + "'");
    return value;
}

} // namespace

Fault parseFault(std::string_view text) {
    const std::size_t eq = text.find('=');
    const std::string_view name = text.substr(0, eq);
    const std::optional<std::string_view> arg =
        eq == std::string_view::npos ? std::nullopt : std::optional(text.substr(eq + 1));
    const auto required = [&] {
        if (!arg) throw std::invalid_argument("fault '" + std::string(name) + "' needs =N");
        return parseCount(*arg, text);
    };
    if ((name == "silent" || name == "checksum") && arg)
        throw std::invalid_argument("fault '" + std::string(name) + "' takes no value");
    if (name == "silent") return Fault::silent();
    if (name == "checksum") return Fault::badChecksum();
    if (name == "late") return Fault::late(std::chrono::milliseconds(required()));
    if (name == "cut") return Fault::cutAfter(required());
    if (name == "flood") return arg ? Fault::flood(parseCount(*arg, text)) : Fault::flood();
    if (name == "close") return arg ? Fault::closeAfter(parseCount(*arg, text)) : Fault::closeAfter();
    throw std::invalid_argument("unknown fault '" + std::string(text) + "'");
}

std::string describe(const Fault& fault) {
    switch (fault.kind) {
    case FaultKind::Silent:
        return "silent";
    case FaultKind::Late:
        return "late " + std::to_string(fault.delay.count()) + " ms";
    case FaultKind::CutShort:
        return "cut after " + std::to_string(fault.count) + " bytes";
    case FaultKind::BadChecksum:
        return "corrupted checksum";
    case FaultKind::FloodAA:
        return "flood of " + std::to_string(fault.count) + " x AA";
    case FaultKind::CloseConnection:
        return "hang up after " + std::to_string(fault.count) + " bytes";
    }
    return "unknown fault";
}

void FaultPlan::once(const Fault& fault) { onceAfter(0, fault); }

void FaultPlan::onceAfter(std::size_t spared, const Fault& fault) {
    std::lock_guard lock(mutex_);
    once_ = fault;
    spared_ = spared;
}

void FaultPlan::always(const Fault& fault) {
    std::lock_guard lock(mutex_);
    always_ = fault;
}

void FaultPlan::clear() {
    std::lock_guard lock(mutex_);
    once_.reset();
    spared_ = 0;
    always_.reset();
}

std::optional<Fault> FaultPlan::take() {
    std::lock_guard lock(mutex_);
    std::optional<Fault> fault = always_;
    if (once_ && spared_ > 0)
        --spared_;
    else if (once_)
        fault = std::exchange(once_, std::nullopt);
    if (fault) ++taken_;
    return fault;
}

std::size_t FaultPlan::taken() {
    std::lock_guard lock(mutex_);
    return taken_;
}

bool FaultPlan::waitSent(std::size_t n, std::chrono::milliseconds cap) {
    std::unique_lock lock(mutex_);
    return sentChanged_.wait_for(lock, cap, [&] { return sent_ >= n; });
}

void FaultPlan::noteSent() {
    {
        std::lock_guard lock(mutex_);
        ++sent_;
    }
    sentChanged_.notify_all();
}

Delivery deliver(const Response& response, const std::optional<Fault>& fault) {
    if (!fault) return Delivery{{}, encodeResponse(response), false, {}};
    Delivery delivery;
    delivery.note = describe(*fault);
    delivery.faulty = true;
    const auto firstBytes = [&](std::size_t n) {
        Bytes frame = encodeResponse(response);
        frame.resize(std::min(n, frame.size()));
        return frame;
    };
    switch (fault->kind) {
    case FaultKind::Silent:
        break;
    case FaultKind::Late:
        delivery.delay = fault->delay;
        delivery.bytes = encodeResponse(response);
        break;
    case FaultKind::CutShort:
        delivery.bytes = firstBytes(fault->count);
        break;
    case FaultKind::BadChecksum:
        delivery.bytes = encodeResponse(response, Checksum::Corrupted);
        break;
    case FaultKind::FloodAA: {
        // A valid-looking header, so the host gets past it and has to cope with
        // a body that never ends.
        const auto length = static_cast<std::uint8_t>(response.data.size() + 5);
        delivery.bytes = {kStartByte1, kStartByte2, length, static_cast<std::uint8_t>(~length)};
        delivery.bytes.insert(delivery.bytes.end(), fault->count, 0xAA);
        break;
    }
    case FaultKind::CloseConnection:
        delivery.bytes = firstBytes(fault->count);
        delivery.hangUp = true;
        break;
    }
    return delivery;
}

} // namespace sim
