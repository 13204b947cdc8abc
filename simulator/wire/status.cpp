#include "simulator/wire/status.h"

namespace sim {

std::string_view statusName(std::uint8_t status) {
    switch (static_cast<Status>(status)) {
    case Status::Ok:
        return "ok";
    case Status::NoCard:
        return "no card";
    case Status::AuthFailed:
        return "authentication failed";
    case Status::NotAuthenticated:
        return "not authenticated";
    case Status::AccessDenied:
        return "access denied";
    case Status::NotValueBlock:
        return "not a value block";
    case Status::CardAddressInvalid:
        return "card address invalid";
    case Status::CardRefused:
        return "card refused";
    case Status::WrongCardState:
        return "wrong card state";
    case Status::BadLength:
        return "bad request length";
    case Status::BadParameter:
        return "bad parameter";
    case Status::FlashOutOfRange:
        return "flash out of range";
    case Status::UnknownCommand:
        return "unknown command";
    case Status::InternalError:
        return "internal error";
    case Status::SamAbsent:
        return "no SAM in the slot";
    case Status::SamMute:
        return "SAM mute";
    case Status::SamNotActivated:
        return "SAM not activated";
    case Status::SamPpsRefused:
        return "SAM refused the PPS";
    }
    return "card-specific status";
}

} // namespace sim
