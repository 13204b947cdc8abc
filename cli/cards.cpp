#include "cli/cards.h"

#include "varrok.h"

namespace cli {

namespace {

std::optional<TypeACard> getCard(Session& s, unsigned char mode) {
    unsigned char answer[256] = {};
    unsigned char length = 0;
    const int rc = rf_ISO14443A_GetCard(s.dev(), mode, answer, &length);
    if (rc > 0 && rc != VARROK_BAD_HEADER && rc != VARROK_BAD_CHECKSUM)
        return std::nullopt; // nobody answered
    s.check(rc, "rf_ISO14443A_GetCard");
    if (length < 4) throw Failure(kLinkFailure, "rf_ISO14443A_GetCard: an answer too short for a card", -5);
    // ATQA (2 bytes), SAK, then the UID.
    return TypeACard{{answer[0], answer[1]}, answer[2], Bytes(answer + 3, answer + length)};
}

} // namespace

std::string TypeACard::name() const {
    const int a = atqa.size() == 2 ? atqa[0] | atqa[1] << 8 : 0;
    switch (sak) {
    case 0x09:
        return "MIFARE Mini";
    case 0x08:
        return "MIFARE Classic 1K";
    case 0x18:
        return "MIFARE Classic 4K";
    case 0x10:
        return "MIFARE Plus 2K (level 2)";
    case 0x11:
        return "MIFARE Plus 4K (level 2)";
    case 0x00:
        return a == 0x0044 ? "MIFARE Ultralight family" : "Type A card";
    default:
        break;
    }
    if (a == 0x0344 && sak == 0x20) return "MIFARE DESFire";
    if (sak == 0x20)
        return (a & 0xFF) == 0x02 || (a & 0xFF) == 0x42 ? "MIFARE Plus 4K or ISO 14443-4 card"
                                                        : "MIFARE Plus 2K or ISO 14443-4 card";
    return sak & 0x20 ? "ISO 14443-4 card" : "Type A card";
}

std::size_t TypeACard::classicBlocks() const {
    switch (sak) {
    case 0x09:
        return 20;
    case 0x08:
        return 64;
    case 0x10:
        return 128;
    case 0x18:
    case 0x11:
        return 256;
    default:
        return 0;
    }
}

void useFamily(Session& s, char family) {
    const unsigned short dev = s.dev();
    s.check(rf_Reader_SetAntenna(dev, 0), "rf_Reader_SetAntenna");
    s.check(rf_Reader_SetISOType(dev, static_cast<unsigned char>(family)), "rf_Reader_SetISOType");
    s.check(rf_Reader_SetAntenna(dev, 1), "rf_Reader_SetAntenna");
}

TypeACard selectTypeA(Session& s, const CardFilter& wanted, const std::string& what) {
    constexpr int kMostCards = 16; // a field holds a handful; a broken reader must not loop us forever
    for (int n = 0; n < kMostCards; ++n) {
        const auto card = getCard(s, 0x26);
        if (!card) break;
        if (wanted(*card)) return *card;
        s.check(rf_ISO14443A_Halt(s.dev()), "rf_ISO14443A_Halt");
    }
    throw Failure(kNoCard, "no " + what + " answered");
}

std::optional<TypeACard> nextTypeA(Session& s) { return getCard(s, 0x26); }

Bytes activateTypeA(Session& s, const CardFilter& wanted, const std::string& what) {
    selectTypeA(
        s, [&wanted](const TypeACard& card) { return (card.sak & 0x20) != 0 && (!wanted || wanted(card)); },
        what);
    unsigned char ats[256] = {};
    unsigned char length = 0;
    s.check(rf_ISO14443_4_TypeA_RATS(s.dev(), ats, &length), "rf_ISO14443_4_TypeA_RATS");
    return Bytes(ats, ats + length);
}

} // namespace cli
