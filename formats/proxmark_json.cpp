// Proxmark3 JSON dumps, as the field's tools exchange them:
//
//   {"Created": "varrok", "FileType": "mfc v2",
//    "Card": {"UID": "01020304", "ATQA": "0400", "SAK": "08"},
//    "blocks": {"0": "01020304040804006263646566676869", "1": ..., "63": ...},
//    "SectorKeys": {"0": {"KeyA": "FFFFFFFFFFFF", "KeyB": "FFFFFFFFFFFF",
//                         "AccessConditions": "FF078069",
//                         "AccessConditionsText": {"block0": "...", ..., "UserData": "69"}}, ...}}
//
// Choices where the format leaves room:
// - FileType: "mfc v2" for MIFARE Classic ("mfcard" files, the older form
//   without "Card", are read too: the UID then comes from block 0), "mfu" for
//   Ultralight, "15693" for ISO 15693.
// - Card: bytes in hex. ATQA in the order the card sends it (LSB first), as
//   block 0 of a Classic card holds it ("0400" for a 1K). Ultralight: UID, and
//   ATQA and SAK when known; that tool's other Ultralight members (version,
//   signature, counters, tearing) are not kept and are ignored when read.
//   ISO 15693: UID in the order Card::uid holds it, DSFID and AFI. Every Card
//   member is optional; one that is there must have the right length.
// - blocks: "0" to "N-1" (written in order, read in any order), each the block's hex. A block not read is
//   "-" for each digit (that tool writes no partial dumps; this is ours), and
//   ISO 15693 blocks take their size from block "0".
// - SectorKeys (Classic), written for each sector whose trailer was read:
//   keys A and B, AccessConditions (trailer bytes 6-9), and as text a line per
//   block ("block12") and "UserData" (byte 9). On reading they are checked for
//   form only: the trailers in "blocks" are what a restore writes.
// - Members are case-sensitive; unknown ones are ignored; a member given twice
//   is refused, since the JSON library would silently keep only one of them.
#include "formats/codec.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cctype>
#include <charconv>
#include <map>
#include <set>

namespace varrok::dump {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::size_t kMaxDepth = 8; // our dumps nest four deep

std::string quotedKey(const std::string& key) {
    bool plain = !key.empty() && !std::isdigit(static_cast<unsigned char>(key[0]));
    for (char c : key)
        plain = plain && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
    return plain ? key : Json(key).dump(-1, ' ', true, Json::error_handler_t::replace);
}

std::string joinPath(const std::string& parent, const std::string& key) {
    return parent.empty() ? quotedKey(key) : parent + "." + quotedKey(key);
}

// A value in the document with its member path, for error messages.
struct Node {
    const Json& value;
    std::string path;
    const std::string& file;

    Where where() const { return {file, path.empty() ? "top level" : path}; }
    Node child(const std::string& key, const Json& v) const { return {v, joinPath(path, key), file}; }
    void requireObject() const {
        if (!value.is_object()) where().fail("must be a JSON object");
    }
    const Json* find(const char* key) const {
        auto it = value.find(key);
        return it == value.end() ? nullptr : &*it;
    }
    Node member(const char* key) const {
        if (auto* v = find(key)) return child(key, *v);
        Where{file, joinPath(path, key)}.fail("missing");
    }
    std::string text() const {
        if (!value.is_string()) where().fail("must be a string");
        return value.get<std::string>();
    }
    // Hex of one of the given lengths in bytes.
    Bytes hex(std::initializer_list<std::size_t> sizes, const char* what) const {
        auto digits = text();
        for (auto size : sizes)
            if (digits.size() == 2 * size) return parseHex(digits, size, where());
        std::string allowed;
        for (auto size : sizes)
            allowed += (allowed.empty() ? "" : ", ") + std::to_string(size);
        where().fail(std::to_string(digits.size()) + " hex digits: " + what + " takes " + allowed +
                     (sizes.size() == 1 && *sizes.begin() == 1 ? " byte" : " bytes"));
    }
};

// Messages keep to printable ASCII: a file's bytes may be anything.
std::string printable(std::string text) {
    for (auto& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
    return text;
}

// Parses the document, refusing duplicate members and deep nesting as it goes.
Json parseDocument(std::string_view content, const std::string& name) {
    struct Level {
        std::set<std::string> keys;
        std::string key; // the member being read
    };
    std::vector<Level> levels;
    auto path = [&] {
        std::string p;
        for (const auto& level : levels)
            if (!level.key.empty()) p = joinPath(p, level.key);
        return p.empty() ? std::string("top level") : p;
    };
    auto callback = [&](int, Json::parse_event_t event, Json& parsed) {
        using Event = Json::parse_event_t;
        if (event == Event::object_start || event == Event::array_start) {
            if (levels.size() == kMaxDepth) Where{name, path()}.fail("nested deeper than any dump");
            levels.emplace_back();
        } else if (event == Event::object_end || event == Event::array_end) {
            levels.pop_back();
        } else if (event == Event::key) {
            levels.back().key = parsed.get<std::string>();
            if (!levels.back().keys.insert(levels.back().key).second) Where{name, path()}.fail("given twice");
        }
        return true;
    };
    try {
        return Json::parse(content.begin(), content.end(), callback);
    } catch (const Json::exception& e) {
        // "[json.exception.parse_error.101] parse error at line 1, column 2: ..." -> "line 1, column 2: ...";
        // a number too large for any type is refused the same way.
        std::string what = e.what();
        auto at = what.find("at line ");
        auto text = at != std::string::npos ? what.substr(at + 3) : what.substr(what.find(']') + 1);
        if (!text.empty() && text[0] == ' ') text.erase(0, 1);
        throw Error(name + ": " + printable(text));
    }
}

// "12" -> 12; std::nullopt for anything but a plain decimal number.
std::optional<std::size_t> number(const std::string& key) {
    std::size_t n = 0;
    auto [end, error] = std::from_chars(key.data(), key.data() + key.size(), n);
    if (key.empty() || key.size() > 4 || error != std::errc{} || end != key.data() + key.size() ||
        (key.size() > 1 && key[0] == '0'))
        return std::nullopt;
    return n;
}

const char* fileType(Family family) {
    switch (family) {
    case Family::Classic:
        return "mfc v2";
    case Family::Ultralight:
        return "mfu";
    case Family::Iso15693:
        return "15693";
    }
    return "";
}

void readIdentity(const Node& id, Card& card) {
    id.requireObject();
    if (auto* uid = id.find("UID"))
        card.uid = card.family == Family::Iso15693 ? id.child("UID", *uid).hex({8}, "a UID")
                                                   : id.child("UID", *uid).hex({4, 7, 10}, "a UID");
    auto byte = [&](const char* key) -> std::optional<std::uint8_t> {
        if (auto* v = id.find(key)) return id.child(key, *v).hex({1}, key)[0];
        return std::nullopt;
    };
    if (card.family == Family::Iso15693) {
        card.dsfid = byte("DSFID");
        card.afi = byte("AFI");
    } else {
        if (auto* atqa = id.find("ATQA")) card.atqa = id.child("ATQA", *atqa).hex({2}, "an ATQA");
        card.sak = byte("SAK");
    }
}

void readBlocks(const Node& blocks, Card& card) {
    blocks.requireObject();
    // Member order carries no meaning in JSON, and tools that sort members as
    // text write "10" before "2": every block from 0 on must be there, once.
    std::map<std::size_t, Node> byNumber;
    for (const auto& item : blocks.value.items()) {
        auto block = blocks.child(item.key(), item.value());
        auto n = number(item.key());
        if (!n) block.where().fail("not a block number");
        if (*n >= maxBlocks(card.family))
            block.where().fail(std::string("beyond the last block of any ") + familyName(card.family) +
                               " card");
        byNumber.emplace(*n, block);
    }
    for (const auto& [n, block] : byNumber) {
        if (n != card.known.size())
            Where{blocks.file, joinPath(blocks.path, std::to_string(card.known.size()))}.fail("missing");
        auto text = block.text();
        auto bytes = parseBlock(text, card.blockSize, block.where());
        if (card.blockSize == 0) card.blockSize = text.size() / 2;
        appendBlock(card, bytes);
    }
    checkShape(card, blocks.where());
}

void readSectorKeys(const Node& keys, const Card& card) {
    keys.requireObject();
    std::optional<std::size_t> last;
    for (const auto& item : keys.value.items()) {
        auto entry = keys.child(item.key(), item.value());
        auto sector = number(item.key());
        if (!sector || *sector >= classic::sectorCount(card.blockCount()))
            entry.where().fail("no sector of a card of " + std::to_string(card.blockCount()) + " blocks");
        if (last && *sector <= *last) entry.where().fail("after sector " + std::to_string(*last));
        last = sector;
        entry.requireObject();
        entry.member("KeyA").hex({6}, "a key");
        entry.member("KeyB").hex({6}, "a key");
        entry.member("AccessConditions").hex({4}, "AccessConditions");
        if (auto* text = entry.find("AccessConditionsText"))
            entry.child("AccessConditionsText", *text).requireObject();
    }
}

// What each access condition (C1 C2 C3 as a 3-bit number) lets the keys do.
constexpr std::array<const char*, 8> kDataAccess{
    "read AB; write AB; increment AB; decrement, transfer, restore AB", // 000
    "read AB; no write or increment; decrement, transfer, restore AB",  // 001
    "read AB; no write, increment or decrement",                        // 010
    "read B; write B; no increment or decrement",                       // 011
    "read AB; write B; no increment or decrement",                      // 100
    "read B; no write, increment or decrement",                         // 101
    "read AB; write B; increment B; decrement, transfer, restore AB",   // 110
    "no access",                                                        // 111
};
constexpr std::array<const char*, 8> kTrailerAccess{
    "key A: write by A; access bits: read by A; key B: read and write by A",                // 000
    "key A: write by A; access bits: read and write by A; key B: read and write by A",      // 001
    "key A: never written; access bits: read by A; key B: read by A",                       // 010
    "key A: write by B; access bits: read by A and B, write by B; key B: write by B",       // 011
    "key A: write by B; access bits: read by A and B; key B: write by B",                   // 100
    "key A: never written; access bits: read by A and B, write by B; key B: never written", // 101
    "key A: never written; access bits: read by A and B; key B: never written",             // 110
    "key A: never written; access bits: read by A and B; key B: never written",             // 111
};

Json sectorEntry(const Card& card, std::size_t sector) {
    auto trailer = card.block(classic::trailerOf(sector));
    auto access = trailer.subspan(6, 3);
    Json text = Json::object();
    for (auto b = classic::firstBlock(sector); b <= classic::trailerOf(sector); ++b) {
        auto conditions = classic::accessConditions(access, classic::accessGroup(b));
        text["block" + std::to_string(b)] = !classic::accessBitsValid(access) ? "access bits inconsistent"
                                            : classic::isTrailer(b)           ? kTrailerAccess[conditions]
                                                                              : kDataAccess[conditions];
    }
    text["UserData"] = toHex(trailer.subspan(9, 1));
    Json entry;
    entry["KeyA"] = toHex(trailer.first(6));
    entry["KeyB"] = toHex(trailer.subspan(10, 6));
    entry["AccessConditions"] = toHex(trailer.subspan(6, 4));
    entry["AccessConditionsText"] = std::move(text);
    return entry;
}

} // namespace

Card parseJson(std::string_view content, Family family, const std::string& name) {
    Json doc = parseDocument(content, name);
    Node top{doc, "", name};
    top.requireObject();
    Card card;
    card.family = family;
    card.blockSize = family == Family::Iso15693 ? 0 : defaultBlockSize(family);
    auto type = top.member("FileType");
    bool oldClassic = family == Family::Classic && type.text() == "mfcard";
    if (type.text() != fileType(family) && !oldClassic)
        type.where().fail(printable(type.value.dump()) + " is no " + familyName(family) +
                          " dump (that takes \"" + fileType(family) + "\")");
    if (!oldClassic || top.find("Card")) readIdentity(top.member("Card"), card);
    readBlocks(top.member("blocks"), card);
    if (family == Family::Classic && top.find("SectorKeys")) readSectorKeys(top.member("SectorKeys"), card);
    if (oldClassic && card.uid.empty()) card.uid = uidFromMemory(card);
    return card;
}

std::string serializeJson(const Card& card) {
    checkWritable(card, "json");
    // Only what this reader takes back: a file must never be refused by its own writer's reader.
    auto n = card.uid.size();
    bool uidFits = n == 0 || (card.family == Family::Iso15693 ? n == 8 : n == 4 || n == 7 || n == 10);
    if (!uidFits)
        throw Error(std::string("writing a dump as json: ") + familyName(card.family) + ": a UID of " +
                    std::to_string(n) + " bytes");
    Json id = Json::object();
    if (!card.uid.empty()) id["UID"] = toHex(card.uid);
    if (card.family == Family::Iso15693) {
        if (card.dsfid) id["DSFID"] = toHex(std::span(&*card.dsfid, 1));
        if (card.afi) id["AFI"] = toHex(std::span(&*card.afi, 1));
    } else {
        if (!card.atqa.empty()) id["ATQA"] = toHex(card.atqa);
        if (card.sak) id["SAK"] = toHex(std::span(&*card.sak, 1));
    }
    Json blocks = Json::object();
    for (std::size_t b = 0; b < card.blockCount(); ++b)
        blocks[std::to_string(b)] = blockText(card, b);
    Json doc;
    doc["Created"] = "varrok";
    doc["FileType"] = fileType(card.family);
    doc["Card"] = std::move(id);
    doc["blocks"] = std::move(blocks);
    if (card.family == Family::Classic) {
        Json keys = Json::object();
        for (std::size_t s = 0; s < classic::sectorCount(card.blockCount()); ++s)
            if (card.known.empty() || card.known[classic::trailerOf(s)])
                keys[std::to_string(s)] = sectorEntry(card, s);
        doc["SectorKeys"] = std::move(keys);
    }
    return doc.dump(2) + "\n";
}

} // namespace varrok::dump
