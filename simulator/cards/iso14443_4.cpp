#include "simulator/cards/iso14443_4.h"

#include <stdexcept>

namespace sim {

Layer4::Layer4(std::unique_ptr<SmartCardApp> app) : app_(std::move(app)) {
    if (!app_) throw std::invalid_argument("an ISO 14443-4 card needs an application");
}

Layer4::Layer4(const Layer4& other) : app_(other.app_->clone()), active_(other.active_), cid_(other.cid_) {}

void Layer4::activate(std::uint8_t cid) {
    active_ = true;
    cid_ = cid;
    app_->reset();
}

void Layer4::deactivate() {
    active_ = false;
    cid_ = 0;
    app_->reset();
}

std::optional<Bytes> Layer4::exchange(const Bytes& apdu) {
    if (!active_) return std::nullopt;
    return app_->process(apdu);
}

std::array<std::uint8_t, 2> atqaForUid(std::size_t uidSize) {
    switch (uidSize) {
    case 4:
        return {0x04, 0x00};
    case 7:
        return {0x44, 0x00};
    case 10:
        return {0x84, 0x00};
    default:
        throw std::invalid_argument("a Type A UID has 4, 7 or 10 bytes");
    }
}

namespace {

constexpr std::uint8_t kT0 = 0x78;  // TA1, TB1, TC1 present; FSCI 8
constexpr std::uint8_t kTA1 = 0x00; // 106 kbit/s only
constexpr std::uint8_t kTB1 = 0x81; // FWI 8, SFGI 1
constexpr std::uint8_t kTC1 = 0x02; // CID supported, NAD not
constexpr std::size_t kMaxHistorical = 15;

} // namespace

Iso14443_4ACard::Iso14443_4ACard(Bytes uid, std::unique_ptr<SmartCardApp> app, Bytes historical)
    : TypeACard(uid, atqaForUid(uid.size()), kSak), historical_(std::move(historical)),
      layer4_(std::move(app)) {
    if (historical_.size() > kMaxHistorical) throw std::invalid_argument("at most 15 historical bytes");
}

Bytes Iso14443_4ACard::defaultHistoricalBytes() { return {0x80, 'V', 'R', 'K'}; }

std::string Iso14443_4ACard::describe() const { return "ISO 14443-4 Type A " + toHex(uid()); }

Bytes Iso14443_4ACard::ats() const {
    Bytes ats;
    ats.reserve(5 + historical_.size());
    for (const std::uint8_t b : {static_cast<std::uint8_t>(5 + historical_.size()), kT0, kTA1, kTB1, kTC1})
        ats.push_back(b);
    for (const std::uint8_t b : historical_)
        ats.push_back(b);
    return ats;
}

std::optional<Bytes> Iso14443_4ACard::apdu(const Bytes& command) { return layer4_.exchange(command); }

std::optional<Bytes> Iso14443_4ACard::rats() {
    if (layer4_.active()) return std::nullopt;
    layer4_.activate(0);
    return ats();
}

void Iso14443_4ACard::deselect() {
    layer4_.deactivate();
    setHalted(true);
}

void Iso14443_4ACard::onPowerCycle() { layer4_.deactivate(); }

Iso14443_4BCard::Iso14443_4BCard(Pupi pupi, std::unique_ptr<SmartCardApp> app,
                                 ApplicationData applicationData, ProtocolInfo protocolInfo, std::uint8_t afi)
    : TypeBCard(pupi, applicationData, protocolInfo, afi), layer4_(std::move(app)) {
    if ((protocolInfo[1] & 0x01) == 0)
        throw std::invalid_argument("the protocol info of an ISO 14443-4 card must say so");
}

std::string Iso14443_4BCard::describe() const { return "ISO 14443-4 Type B " + toHex(pupi()); }

void Iso14443_4BCard::deselect() {
    if (state() == State::Active) enterHalt();
}

void Iso14443_4BCard::onAttrib(std::uint8_t cid) { layer4_.activate(cid); }

void Iso14443_4BCard::onHalt() { layer4_.deactivate(); }

void Iso14443_4BCard::onPowerCycle() {
    TypeBCard::onPowerCycle();
    layer4_.deactivate();
}

} // namespace sim
