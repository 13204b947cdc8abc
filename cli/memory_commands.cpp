// Ultralight and ISO 15693 tags: read, write and dump their memory.
#include "cli/cards.h"
#include "cli/dump_files.h"
#include "varrok.h"

#include <memory>

namespace cli {

namespace dump = varrok::dump;

namespace {

struct MemoryOptions {
    int block = 0;
    int count = 1;
    int pages = 16;
    std::string data;
    std::string file;
    std::string format;
    bool allowLock = false;
};

// ---- Ultralight: 4-byte pages, read four at a time --------------------------

// Pages 0-1 hold the UID; 2 the lock bytes, 3 the one-time area, 40 the
// Ultralight C's further lock bytes: bits there are set for good.
bool lockingPage(int page) { return page == 2 || page == 3 || page == 40; }

TypeACard ultralight(Session& s) {
    useFamily(s, 'A');
    return selectTypeA(
        s,
        [](const TypeACard& c) {
            return c.sak == 0x00 && c.atqa == Bytes{0x44, 0x00};
        },
        "Ultralight card");
}

Bytes readPages(Session& s, int page) {
    unsigned char data[16] = {};
    s.check(rf_UltraLight_Read(s.dev(), static_cast<unsigned char>(page), data), "rf_UltraLight_Read");
    return Bytes(data, data + 16);
}

Result ulRead(Context& c, const MemoryOptions& o) {
    Session& s = *c.session;
    ultralight(s);
    if (o.block < 0 || o.block > 255) throw Failure(kUsage, "page numbers go from 0 to 255");
    const Bytes four = readPages(s, o.block);
    return Result{
        {{"page", o.block}, {"data", hex(std::span(four).first(4))}, {"pages_from_here", hex(four)}}};
}

Result ulWrite(Context& c, const MemoryOptions& o) {
    const Bytes data = parseHexOf(o.data, 4, "data");
    if (o.block < 2 || o.block > 255)
        throw Failure(kUsage, "pages 0 and 1 hold the UID and cannot be written");
    if (lockingPage(o.block) && !o.allowLock)
        throw Failure(
            kUsage,
            "page " + std::to_string(o.block) +
                " holds lock or one-time bits that can never be cleared: add --allow-lock to write it");
    Session& s = *c.session;
    ultralight(s);
    Bytes copy = data;
    s.check(rf_UltraLight_Write(s.dev(), static_cast<unsigned char>(o.block), copy.data()),
            "rf_UltraLight_Write");
    return Result{{{"page", o.block}, {"written", hex(data)}}};
}

Result ulDump(Context& c, const MemoryOptions& o) {
    dumpFormat(o.file, o.format); // a bad name fails before the card is read
    if (o.pages < 4 || o.pages > 256) throw Failure(kUsage, "--pages must be 4 to 256");
    Session& s = *c.session;
    dump::Card card =
        unreadDump(dump::Family::Ultralight, static_cast<std::size_t>(o.pages), 4, ultralight(s));
    Progress progress("page", static_cast<std::size_t>(o.pages));
    for (int page = 0; page < o.pages && !stopRequested(); page += 4) {
        progress.step(static_cast<std::size_t>(page));
        const Bytes four = readPages(s, page);
        const int n = std::min(4, o.pages - page);
        std::copy_n(four.begin(), n * 4, card.memory.begin() + page * 4);
        std::fill_n(card.known.begin() + page, n, true);
    }
    return writeDumpFile(card, o.file, o.format);
}

// ---- ISO 15693: blocks of the tag's own size -----------------------------

// Reads use the high data rate and no option flag: data only, any tag in the field.
constexpr unsigned char kFlags = 0x02;
unsigned char anyTag[8] = {};

struct TagInfo {
    Bytes uid;
    std::optional<std::uint8_t> dsfid, afi;
    std::size_t blocks = 28, blockSize = 4;
};

TagInfo tagInfo(Session& s) {
    useFamily(s, '1');
    unsigned char answer[256] = {};
    unsigned char length = 0;
    s.checkSearch(rf_ISO15693_GetSystemInfomation(s.dev(), kFlags, anyTag, answer, &length),
                  "rf_ISO15693_GetSystemInfomation");
    // info flags | UID (8) | [DSFID] [AFI] [blocks - 1, block size - 1] [IC reference]
    if (length < 9) throw Failure(kLinkFailure, "rf_ISO15693_GetSystemInfomation: a short answer", -5);
    TagInfo info;
    info.uid.assign(answer + 1, answer + 9);
    std::size_t at = 9;
    const auto take = [&](std::size_t n) {
        if (at + n > length)
            throw Failure(kLinkFailure, "rf_ISO15693_GetSystemInfomation: a short answer", -5);
        at += n;
        return answer + at - n;
    };
    if (answer[0] & 0x01) info.dsfid = *take(1);
    if (answer[0] & 0x02) info.afi = *take(1);
    if (answer[0] & 0x04) {
        const unsigned char* size = take(2);
        info.blocks = size[0] + 1u;
        info.blockSize = (size[1] & 0x1F) + 1u;
    }
    return info;
}

Bytes readVicinityBlocks(Session& s, int block, int count, std::size_t blockSize) {
    unsigned char data[256] = {};
    unsigned char length = 0;
    s.check(rf_ISO15693_Read(s.dev(), kFlags, anyTag, static_cast<unsigned char>(block),
                             static_cast<unsigned char>(count), data, &length),
            "rf_ISO15693_Read");
    if (length != count * blockSize)
        throw Failure(kLinkFailure,
                      "rf_ISO15693_Read: " + std::to_string(length) + " bytes for " + std::to_string(count) +
                          " blocks",
                      -5);
    return Bytes(data, data + length);
}

Result vRead(Context& c, const MemoryOptions& o) {
    Session& s = *c.session;
    const TagInfo info = tagInfo(s);
    if (o.block < 0 || o.count < 1 || o.count > 15 ||
        static_cast<std::size_t>(o.block + o.count) > info.blocks)
        throw Failure(kUsage, "blocks " + std::to_string(o.block) + " to " +
                                  std::to_string(o.block + o.count - 1) + " are not on this tag of " +
                                  std::to_string(info.blocks) + " blocks (at most 15 at once)");
    const Bytes data = readVicinityBlocks(s, o.block, o.count, info.blockSize);
    return Result{{{"uid", hex(info.uid)}, {"block", o.block}, {"data", hex(data)}}};
}

Result vWrite(Context& c, const MemoryOptions& o) {
    Session& s = *c.session;
    const TagInfo info = tagInfo(s);
    const Bytes data = parseHexOf(o.data, info.blockSize, "data");
    if (info.blockSize != 4) throw Failure(kUsage, "the reader writes 4-byte blocks only");
    if (o.block < 0 || static_cast<std::size_t>(o.block) >= info.blocks)
        throw Failure(kUsage, "block " + std::to_string(o.block) + " is not on this tag");
    Bytes copy = data;
    s.check(rf_ISO15693_Write(s.dev(), kFlags, anyTag, static_cast<unsigned char>(o.block), copy.data()),
            "rf_ISO15693_Write");
    return Result{{{"uid", hex(info.uid)}, {"block", o.block}, {"written", hex(data)}}};
}

Result vDump(Context& c, const MemoryOptions& o) {
    dumpFormat(o.file, o.format); // a bad name fails before the card is read
    Session& s = *c.session;
    const TagInfo info = tagInfo(s);
    dump::Card card = unreadDump(dump::Family::Iso15693, info.blocks, info.blockSize, info.uid);
    card.dsfid = info.dsfid;
    card.afi = info.afi;
    Progress progress("block", info.blocks);
    for (std::size_t block = 0; block < info.blocks && !stopRequested(); ++block) {
        progress.step(block);
        const Bytes data = readVicinityBlocks(s, static_cast<int>(block), 1, info.blockSize);
        std::copy(data.begin(), data.end(), card.memory.begin() + static_cast<long>(block * info.blockSize));
        card.known[block] = true;
    }
    return writeDumpFile(card, o.file, o.format);
}

using Run = Result (*)(Context&, const MemoryOptions&);

void addFamily(Registry& reg, const char* name, const char* about, const char* unit, Run read, Run write,
               Run dumpRun) {
    auto* family = reg.app.add_subcommand(name, about);
    family->require_subcommand(1);
    auto o = std::make_shared<MemoryOptions>();
    const auto bind = [&reg, o](CLI::App* cmd, Run run) {
        reg.add(cmd, [o, run](Context& c) { return run(c, *o); });
    };
    const std::string prefix = std::string("varrok ") + name;

    auto* r = family->add_subcommand("read", std::string("read a ") + unit)
                  ->footer("Example: " + prefix + " read 4");
    r->add_option(unit, o->block, std::string(unit) + " number")->required();
    if (read == vRead) r->add_option("--count", o->count, "blocks to read (1-15)");
    bind(r, read);

    auto* w = family->add_subcommand("write", std::string("write a ") + unit)
                  ->footer("Example: " + prefix + " write 4 DEADBEEF");
    w->add_option(unit, o->block, std::string(unit) + " number")->required();
    w->add_option("data", o->data, "the data in hex")->required();
    if (write == ulWrite) w->add_flag("--allow-lock", o->allowLock, "allow writing lock and one-time pages");
    bind(w, write);

    auto* d = family->add_subcommand("dump", "read the whole memory into a file")
                  ->footer("Example: " + prefix + " dump tag.json\nFormats: .json (Proxmark3), .bin");
    d->add_option("file", o->file, "the dump file")->required();
    d->add_option("--format", o->format, "json or bin (default: from the file name)");
    if (dumpRun == ulDump)
        d->add_option("--pages", o->pages, "pages on the card (16 Ultralight, 48 Ultralight C)");
    bind(d, dumpRun);
}

} // namespace

void addMemoryCommands(Registry& reg) {
    addFamily(reg, "ul", "MIFARE Ultralight and Ultralight C", "page", ulRead, ulWrite, ulDump);
    addFamily(reg, "iso15693", "ISO 15693 tags", "block", vRead, vWrite, vDump);
}

} // namespace cli
