// APDUs to ISO 14443-4 cards (Type A or B) and SAM slots, and a DESFire listing.
#include "cli/cards.h"
#include "varrok.h"

#include <cstdio>
#include <memory>

namespace cli {

namespace {

struct ApduOptions {
    std::string apdu;
    bool typeB = false;
    int sam = 0;
};

Result apdu(Context& c, const ApduOptions& o) {
    Bytes command = parseHex(o.apdu, "APDU");
    if (command.size() < 4 || command.size() > 250)
        throw Failure(kUsage, "an APDU has 4 to 250 bytes; " + std::to_string(command.size()) + " given");
    Session& s = *c.session;
    Result r;
    unsigned char answer[256] = {};
    unsigned char length = 0;
    const auto size = static_cast<unsigned char>(command.size());
    if (o.sam > 0) {
        const auto slot = static_cast<unsigned char>(o.sam);
        unsigned char atr[256] = {};
        unsigned char atrLength = 0;
        s.check(rf_SAM_RST(s.dev(), slot, atr, &atrLength), "rf_SAM_RST");
        r.json["atr"] = hex(std::span(atr, atrLength));
        s.check(rf_SAM_COS(s.dev(), slot, command.data(), size, answer, &length, 0), "rf_SAM_COS");
    } else {
        if (o.typeB) {
            useFamily(s, 'B');
            unsigned char atqb[12] = {};
            s.checkSearch(rf_ISO14443B_Request(s.dev(), 0, atqb), "rf_ISO14443B_Request");
            s.check(rf_ISO14443B_Attribute(s.dev(), atqb + 1, 0), "rf_ISO14443B_Attribute");
            r.json["pupi"] = hex(std::span(atqb + 1, 4));
        } else {
            useFamily(s, 'A');
            r.json["ats"] = hex(activateTypeA(s));
        }
        s.check(rf_ISO14443_4_COS(s.dev(), command.data(), size, answer, &length, 0), "rf_ISO14443_4_COS");
    }
    r.json["response"] = hex(std::span(answer, length));
    if (length >= 2) r.json["sw"] = hex(std::span(answer + length - 2, 2));
    return r;
}

// The DESFire lists answer -5 when they are empty.
std::vector<std::uint8_t> listOrEmpty(Session& s, int rc, const unsigned char* items, unsigned char count,
                                      std::size_t itemSize, const char* function) {
    if (rc == VARROK_LINK_FAILURE) return {};
    s.check(rc, function);
    return Bytes(items, items + std::min<std::size_t>(count * itemSize, 250));
}

Result desfireList(Context& c) {
    Session& s = *c.session;
    useFamily(s, 'A');
    activateTypeA(
        s,
        [](const TypeACard& card) {
            return card.atqa == Bytes{0x44, 0x03};
        },
        "DESFire card");
    unsigned char version[28] = {};
    s.check(rf_DF_GetVer(s.dev(), version), "rf_DF_GetVer");
    unsigned char aids[250] = {};
    unsigned char count = 0;
    const Bytes ids =
        listOrEmpty(s, rf_DF_GetAppIDs(s.dev(), aids, &count), aids, count, 3, "rf_DF_GetAppIDs");
    Json apps = Json::array();
    for (std::size_t i = 0; i + 3 <= ids.size(); i += 3) {
        const unsigned aid = ids[i] | ids[i + 1] << 8 | ids[i + 2] << 16; // least significant byte first
        s.check(rf_DF_SelectApp(s.dev(), aid), "rf_DF_SelectApp");
        unsigned char fileIds[250] = {};
        unsigned char fileCount = 0;
        const Bytes files = listOrEmpty(s, rf_DF_GetFileIDs(s.dev(), fileIds, &fileCount), fileIds, fileCount,
                                        1, "rf_DF_GetFileIDs");
        Json fileList = Json::array();
        for (const std::uint8_t file : files) {
            unsigned char settings[256] = {};
            unsigned char length = 0;
            s.check(rf_DF_GetFileSettings(s.dev(), file, settings, &length), "rf_DF_GetFileSettings");
            fileList.push_back({{"file", file}, {"settings", hex(std::span(settings, length))}});
        }
        char text[8];
        std::snprintf(text, sizeof text, "%06X", aid);
        apps.push_back({{"aid", text}, {"files", fileList}});
    }
    return Result{
        {{"version", hex(version)}, {"uid", hex(std::span(version + 14, 7))}, {"applications", apps}}};
}

} // namespace

void addApduCommands(Registry& reg) {
    auto o = std::make_shared<ApduOptions>();
    auto* cmd = reg.app.add_subcommand("apdu", "send an APDU to an ISO 14443-4 card (Type A or B) or a SAM")
                    ->footer("Examples: varrok apdu 0084000008\n"
                             "          varrok apdu --type-b 00A4040000\n"
                             "          varrok apdu --sam 1 0084000008");
    cmd->add_option("apdu", o->apdu, "the command APDU in hex")->required();
    cmd->add_flag("-b,--type-b", o->typeB, "the card is a Type B card");
    cmd->add_option("--sam", o->sam, "send to the SAM in this slot (1-255) instead")
        ->check(CLI::Range(1, 255));
    reg.add(cmd, [o](Context& c) { return apdu(c, *o); });

    auto* df = reg.app.add_subcommand("desfire", "MIFARE DESFire cards");
    df->require_subcommand(1);
    reg.add(df->add_subcommand("ls", "list the applications and their files with their settings")
                ->footer("Example: varrok desfire ls --json"),
            desfireList);
}

} // namespace cli
