#include "sam_slot.h"

#include "varrok.h"

namespace varrok_ifd {

std::optional<Bytes> SamSlot::reset() {
    if (!link_.up()) return std::nullopt;
    unsigned char answer[256] = {}, len = 0;
    const int rc = rf_SAM_RST(link_.icdev(), number_, answer, &len);
    if (rc != 0) {
        link_.lostOn(rc);
        return std::nullopt;
    }
    return Bytes(answer, answer + std::min<std::size_t>(len, 33));
}

Presence SamSlot::presence() {
    if (conversation_) return link_.ping() ? Presence::Present : Presence::ReaderDown;
    const auto answer = reset();
    if (answer) return Presence::Present;
    return link_.up() ? Presence::Absent : Presence::ReaderDown;
}

std::optional<Bytes> SamSlot::powerUp() {
    conversation_ = false;
    auto answer = reset();
    atr_ = answer.value_or(Bytes{});
    return answer;
}

Reply SamSlot::transmit(const std::uint8_t* apdu, std::size_t size) {
    if (size > 255) return Reply::ok(withSw(Sw::WrongLength));
    if (!link_.up()) return Reply::failed();
    conversation_ = true;
    unsigned char command[256] = {}, answer[256] = {}, len = 0;
    std::copy(apdu, apdu + size, command);
    const int rc =
        rf_SAM_COS(link_.icdev(), number_, command, static_cast<unsigned char>(size), answer, &len, 0);
    if (rc == 0) return Reply::ok(Bytes(answer, answer + len));
    if (link_.lostOn(rc)) return Reply::failed();
    // The reader refused: the SAM was taken out, or never reset.
    conversation_ = false;
    return reset() ? Reply::failed() : Reply::gone();
}

} // namespace varrok_ifd
