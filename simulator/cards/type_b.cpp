#include "simulator/cards/type_b.h"

namespace sim {

TypeBCard::TypeBCard(Pupi pupi, ApplicationData applicationData, ProtocolInfo protocolInfo, std::uint8_t afi)
    : Card(iso::TypeB), pupi_(pupi), applicationData_(applicationData), protocolInfo_(protocolInfo),
      afi_(afi) {}

Bytes TypeBCard::atqb() const {
    Bytes atqb{kAtqbCode};
    atqb.insert(atqb.end(), pupi_.begin(), pupi_.end());
    atqb.insert(atqb.end(), applicationData_.begin(), applicationData_.end());
    atqb.insert(atqb.end(), protocolInfo_.begin(), protocolInfo_.end());
    return atqb;
}

TypeBCard::State TypeBCard::state() const {
    if (halted()) return State::Halt;
    if (active_) return State::Active;
    return ready_ ? State::Ready : State::Idle;
}

std::string TypeBCard::describe() const { return "Type B " + toHex(pupi_); }

bool TypeBCard::afiMatches(std::uint8_t requested, std::uint8_t own) {
    if (requested == 0) return true;
    if ((requested & 0x0F) == 0) return (own & 0xF0) == requested;
    if ((requested & 0xF0) == 0) return (own & 0x0F) == requested;
    return own == requested;
}

std::optional<Bytes> TypeBCard::request(bool wakeUp, std::uint8_t afi) {
    if (active_ || (halted() && !wakeUp) || !afiMatches(afi, afi_)) return std::nullopt;
    setHalted(false);
    ready_ = true;
    return atqb();
}

std::optional<Bytes> TypeBCard::attrib(const Pupi& pupi, std::uint8_t cid) {
    if (state() != State::Ready || pupi != pupi_) return std::nullopt;
    // A card without CID support takes every block as its own.
    const std::uint8_t ownCid = supportsCid() ? static_cast<std::uint8_t>(cid & 0x0F) : 0;
    ready_ = false;
    active_ = true;
    onAttrib(ownCid);
    // Answer to ATTRIB: MBLI 0 (no buffer limit announced) | CID.
    return Bytes{ownCid};
}

bool TypeBCard::halt(const Pupi& pupi) {
    const State now = state();
    if ((now != State::Ready && now != State::Active) || pupi != pupi_) return false;
    enterHalt();
    return true;
}

void TypeBCard::enterHalt() {
    ready_ = false;
    active_ = false;
    setHalted(true);
    onHalt();
}

void TypeBCard::onPowerCycle() {
    ready_ = false;
    active_ = false;
}

} // namespace sim
