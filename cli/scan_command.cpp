// scan: every card in the field, whatever its family.
#include "cli/cards.h"
#include "varrok.h"

namespace cli {

namespace {

// A search that found nobody answers with a status byte; a silent or broken link is still an error.
bool answered(Session& s, int rc, const char* function) {
    if (rc > 0 && rc != VARROK_BAD_HEADER && rc != VARROK_BAD_CHECKSUM) return false;
    s.check(rc, function);
    return true;
}

// Makers of ISO 15693 tags by their registered code (UID byte 6 as the reader returns it).
const char* makerName(std::uint8_t code) {
    switch (code) {
    case 0x02:
        return "ST";
    case 0x04:
        return "NXP";
    case 0x05:
        return "Infineon";
    case 0x07:
        return "TI";
    default:
        return "";
    }
}

constexpr int kMostCards = 16; // a field holds a handful; a misbehaving reader must not loop us forever

void typeA(Session& s, Json& cards) {
    useFamily(s, 'A');
    for (int n = 0; n < kMostCards; ++n) {
        const auto card = nextTypeA(s);
        if (!card) break;
        cards.push_back({{"family", "type-a"},
                         {"uid", hex(card->uid)},
                         {"atqa", hex(card->atqa)},
                         {"sak", hex(std::span(&card->sak, 1))},
                         {"name", card->name()}});
        s.check(rf_ISO14443A_Halt(s.dev()), "rf_ISO14443A_Halt");
    }
}

void typeB(Session& s, Json& cards) {
    useFamily(s, 'B');
    for (int n = 0; n < kMostCards; ++n) {
        unsigned char atqb[12] = {};
        if (!answered(s, rf_ISO14443B_Request(s.dev(), 0, atqb), "rf_ISO14443B_Request")) break;
        // 50 | PUPI | application data | protocol info; bit 0 of the protocol type: ISO 14443-4.
        const bool iso4 = atqb[10] & 0x01;
        cards.push_back(
            {{"family", "type-b"},
             {"pupi", hex(std::span(atqb + 1, 4))},
             {"atqb", hex(atqb)},
             {"name", iso4 ? "ISO 14443-4 Type B card" : "Type B memory card (AT88RF020 family)"}});
        s.check(rf_ISO14443B_Halt(s.dev(), atqb + 1), "rf_ISO14443B_Halt");
    }
}

void vicinity(Session& s, Json& cards) {
    useFamily(s, '1');
    unsigned char answer[256] = {};
    unsigned char length = 0;
    if (!answered(s, rf_ISO15693_Inventory(s.dev(), answer, &length), "rf_ISO15693_Inventory")) return;
    if (length < 9) throw Failure(kLinkFailure, "rf_ISO15693_Inventory: an answer too short for a tag", -5);
    // DSFID, then the UID least significant byte first.
    cards.push_back({{"family", "iso15693"},
                     {"uid", hex(std::span(answer + 1, 8))},
                     {"dsfid", hex(std::span(answer, 1))},
                     {"maker", hex(std::span(answer + 7, 1))},
                     {"maker_name", makerName(answer[7])}});
}

void icode1(Session& s, Json& cards) {
    useFamily(s, 'I');
    unsigned char serial[8] = {};
    if (!answered(s, rf_ICODE1_Request(s.dev(), serial), "rf_ICODE1_Request")) return;
    cards.push_back({{"family", "icode1"}, {"serial", hex(serial)}});
}

void st(Session& s, Json& cards) {
    useFamily(s, 's');
    unsigned char chip = 0;
    if (!answered(s, rf_st_select(s.dev(), &chip), "rf_st_select")) return;
    Json card{{"family", "st"}, {"chip_id", hex(std::span(&chip, 1))}};
    unsigned char uid[8] = {};
    if (rf_ST_SRI_GetUID(s.dev(), uid) == 0) {
        card["uid"] = hex(uid);
        card["name"] = "SRIX4K family";
    } else {
        // SR176: the UID is blocks 0-3, block 0 the least significant.
        unsigned char block[2];
        for (unsigned char b = 0; b < 4; ++b) {
            s.check(rf_ST_SR176_ReadBlock(s.dev(), b, block), "rf_ST_SR176_ReadBlock");
            uid[2 * b] = block[0];
            uid[2 * b + 1] = block[1];
        }
        card["uid"] = hex(uid);
        card["name"] = "SR176";
    }
    cards.push_back(card);
}

Result scan(Context& c) {
    Session& s = *c.session;
    Result r;
    Json cards = Json::array();
    typeA(s, cards);
    typeB(s, cards);
    vicinity(s, cards);
    icode1(s, cards);
    st(s, cards);
    if (cards.empty()) throw Failure(kNoCard, "no card answered in any family");
    r.json["cards"] = cards;
    return r;
}

} // namespace

void addScanCommand(Registry& reg) {
    reg.add(reg.app
                .add_subcommand("scan", "list every card in the field: Type A, Type B and AT88RF020, "
                                        "ISO 15693, ICODE1, ST")
                ->footer("Example: varrok -r TCP://127.0.0.1:4000 scan --json"),
            scan);
}

} // namespace cli
