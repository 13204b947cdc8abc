#include "simulator/cards/id_card.h"

#include <algorithm>
#include <string_view>

namespace sim {

IdCardApp::IdCardApp(Id id, Bytes holderRecord)
    : SmartCardApp(defaultAid(), std::move(holderRecord), Access::ReadOnly), id_(id) {}

Bytes IdCardApp::defaultAid() { return {0xF0, 'V', 'R', 'K', 'I', 'D'}; }

std::optional<Bytes> IdCardApp::processOwn(const Apdu& apdu) {
    if (apdu.ins != kGetId) return std::nullopt;
    if (!apdu.data.empty() || !apdu.le) return statusOnly(sw::WrongLength);
    if (apdu.p1 != 0 || apdu.p2 != 0) return statusOnly(sw::WrongP1P2);
    // Le 00 asks for whatever there is; any other Le must be the exact size.
    if (*apdu.le != 256 && *apdu.le != id_.size())
        return statusOnly(sw::wrongLe(static_cast<std::uint8_t>(id_.size())));
    return withStatus(Bytes(id_.begin(), id_.end()), sw::Ok);
}

IdCard::IdCard(Id id, Bytes holderRecord)
    : Iso14443_4BCard(Pupi{}, std::make_unique<IdCardApp>(id, std::move(holderRecord))), id_(id) {}

Bytes IdCard::defaultHolderRecord() {
    constexpr std::string_view holder = "SAMPLE HOLDER";
    Bytes record(64, 0x00);
    std::copy(holder.begin(), holder.end(), record.begin());
    return record;
}

std::string IdCard::describe() const { return "ID card " + toHex(id_); }

} // namespace sim
