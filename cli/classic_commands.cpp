// MIFARE Classic: read, write, dump, restore, value blocks and key search.
#include "cli/cards.h"
#include "cli/dump_files.h"
#include "varrok.h"

#include <algorithm>
#include <memory>

namespace cli {

namespace dump = varrok::dump;
namespace layout = varrok::dump::classic;

namespace {

constexpr dump::Key kTransportKey = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
enum KeyType : unsigned char { kKeyA = 0x60, kKeyB = 0x61 };

struct ClassicOptions {
    std::vector<std::string> keys;
    std::string dictionary;
    bool keyB = false;
    bool writeTrailer = false;
    std::string file;
    std::string format;
    int block = 0;
    std::string data;
    long long amount = 0;
    std::string valueOp;

    // Keys to try, in order: those given, the dictionary's, then the transport key.
    std::vector<dump::Key> candidates() const {
        std::vector<dump::Key> out;
        for (const auto& text : keys) {
            const Bytes k = parseHexOf(text, 6, "--key");
            out.push_back({k[0], k[1], k[2], k[3], k[4], k[5]});
        }
        if (!dictionary.empty()) {
            try {
                for (const auto& k : dump::readKeys(dictionary))
                    out.push_back(k);
            } catch (const dump::Error& e) {
                throw Failure(kFileError, e.what());
            }
        }
        if (std::find(out.begin(), out.end(), kTransportKey) == out.end()) out.push_back(kTransportKey);
        return out;
    }
};

// One Classic card in the field, kept selected across authentications.
class Classic {
  public:
    explicit Classic(Session& s) : s_(s) {
        useFamily(s, 'A');
        card_ = select();
    }
    const TypeACard& card() const { return card_; }
    std::size_t blocks() const { return card_.classicBlocks(); }

    // False when the card refuses the key; the card is selected again for the next try.
    bool authenticate(std::size_t block, KeyType type, const dump::Key& key) {
        dump::Key copy = key;
        const int rc = rf_M1_Authentication(s_.dev(), type, static_cast<unsigned char>(block), copy.data());
        if (rc == 0) return true;
        if (rc < 0 || rc == VARROK_BAD_HEADER || rc == VARROK_BAD_CHECKSUM)
            s_.check(rc, "rf_M1_Authentication");
        card_ = select(); // a refused authentication leaves the card idle
        return false;
    }
    std::optional<dump::Key> findKey(std::size_t sector, KeyType type, const std::vector<dump::Key>& keys) {
        for (const auto& key : keys) {
            if (stopRequested()) return std::nullopt;
            if (authenticate(layout::firstBlock(sector), type, key)) return key;
        }
        return std::nullopt;
    }
    // Nothing when the card refuses (access bits); a link failure throws.
    std::optional<Bytes> read(std::size_t block) {
        unsigned char data[16] = {};
        const int rc = rf_M1_Read(s_.dev(), static_cast<unsigned char>(block), data);
        if (rc > 0 && rc != VARROK_BAD_HEADER && rc != VARROK_BAD_CHECKSUM) {
            card_ = select();
            return std::nullopt;
        }
        s_.check(rc, "rf_M1_Read");
        return Bytes(data, data + 16);
    }
    void write(std::size_t block, const Bytes& data) {
        Bytes copy = data;
        s_.check(rf_M1_Write(s_.dev(), static_cast<unsigned char>(block), copy.data()), "rf_M1_Write");
    }
    // False when the card refuses (access bits); a link failure throws.
    bool tryWrite(std::size_t block, const Bytes& data) {
        Bytes copy = data;
        const int rc = rf_M1_Write(s_.dev(), static_cast<unsigned char>(block), copy.data());
        if (rc > 0 && rc != VARROK_BAD_HEADER && rc != VARROK_BAD_CHECKSUM) {
            card_ = select();
            return false;
        }
        s_.check(rc, "rf_M1_Write");
        return true;
    }
    Session& session() { return s_; }

  private:
    // This card, or at first any Classic card.
    TypeACard select() {
        const Bytes uid = card_.uid;
        return selectTypeA(
            s_, [&uid](const TypeACard& c) { return c.classicBlocks() > 0 && (uid.empty() || c.uid == uid); },
            "MIFARE Classic card");
    }

    Session& s_;
    TypeACard card_;
};

void checkBlock(const Classic& c, int block) {
    if (block < 0 || static_cast<std::size_t>(block) >= c.blocks())
        throw Failure(kUsage, "block " + std::to_string(block) + " is beyond this card's " +
                                  std::to_string(c.blocks()) + " blocks");
}

// Opens the sector of `block` with the first key that works.
void openSector(Classic& c, std::size_t block, const ClassicOptions& o) {
    const auto sector = layout::sectorOf(block);
    if (!c.findKey(sector, o.keyB ? kKeyB : kKeyA, o.candidates()))
        throw Failure(kRefused, "no key given opens sector " + std::to_string(sector) + " with key " +
                                    (o.keyB ? "B" : "A"));
}

// A trailer write is refused unless asked for, and refused always when its
// access bits are inconsistent: such a sector can never be opened again.
void checkTrailerWrite(std::size_t block, const Bytes& data, bool allowed) {
    if (!layout::isTrailer(block)) return;
    if (!layout::accessBitsValid(std::span(data).subspan(6, 3)))
        throw Failure(kUsage, "block " + std::to_string(block) + ": access bits " +
                                  hex(std::span(data).subspan(6, 3)) +
                                  " are inconsistent and would lock the sector for good; nothing written");
    if (!allowed)
        throw Failure(kUsage,
                      "block " + std::to_string(block) +
                          " is a sector trailer (keys and access bits): add --write-trailer to write it");
}

Result readBlock(Context& ctx, const ClassicOptions& o) {
    Classic c(*ctx.session);
    checkBlock(c, o.block);
    openSector(c, o.block, o);
    const auto data = c.read(o.block);
    if (!data) throw Failure(kRefused, "the card refused to read block " + std::to_string(o.block));
    return Result{{{"block", o.block}, {"data", hex(*data)}}};
}

Result writeBlock(Context& ctx, const ClassicOptions& o) {
    // Every refusal comes before the first frame: a refused write sends nothing.
    const Bytes data = parseHexOf(o.data, 16, "data");
    if (o.block <= 0 || o.block > 255)
        throw Failure(kUsage, "blocks 1 to 255 can be written (block 0 holds the maker's data)");
    checkTrailerWrite(o.block, data, o.writeTrailer);
    Classic c(*ctx.session);
    checkBlock(c, o.block);
    openSector(c, o.block, o);
    c.write(o.block, data);
    return Result{{{"block", o.block}, {"written", hex(data)}}};
}

Result value(Context& ctx, const ClassicOptions& o) {
    Classic c(*ctx.session);
    checkBlock(c, o.block);
    if (o.block == 0 || layout::isTrailer(o.block))
        throw Failure(kUsage, "block " + std::to_string(o.block) + " cannot hold a value");
    if (o.amount < INT32_MIN || o.amount > INT32_MAX) throw Failure(kUsage, "the amount must fit 32 bits");
    openSector(c, o.block, o);
    Session& s = *ctx.session;
    const auto block = static_cast<unsigned char>(o.block);
    const int amount = static_cast<int>(o.amount);
    if (o.valueOp == "init") s.check(rf_M1_PurseCreate(s.dev(), block, amount), "rf_M1_PurseCreate");
    if (o.valueOp == "inc") s.check(rf_M1_PurseIncrement(s.dev(), block, amount), "rf_M1_PurseIncrement");
    if (o.valueOp == "dec") s.check(rf_M1_PurseDecrement(s.dev(), block, amount), "rf_M1_PurseDecrement");
    unsigned char bytes[4] = {};
    s.check(rf_M1_PurseRead(s.dev(), block, bytes), "rf_M1_PurseRead");
    const auto v = static_cast<std::int32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                                             static_cast<std::uint32_t>(bytes[3]) << 24);
    return Result{{{"block", o.block}, {"value", v}}};
}

struct SectorKeys {
    std::optional<dump::Key> a, b;
};

// The keys of one sector, found key A then key B, and whichever the card is
// authenticated with now. An operation on a block runs with that key first,
// then with the other, so a sector costs one authentication unless its access
// bits want the other key for some block.
class SectorAccess {
  public:
    SectorAccess(Classic& c, std::size_t sector, const std::vector<dump::Key>& candidates) : c_(c) {
        keys_.a = c.findKey(sector, kKeyA, candidates);
        keys_.b = c.findKey(sector, kKeyB, candidates);
        if (keys_.b) active_ = kKeyB; // the last authentication that succeeded
    }
    const SectorKeys& keys() const { return keys_; }
    bool opened() const { return keys_.a || keys_.b; }

    // `op` returns false when the card refused it (and was selected again).
    template <class Op> bool run(std::size_t block, Op op) {
        const KeyType first = active_ == kKeyB ? kKeyB : kKeyA;
        for (const KeyType type : {first, first == kKeyA ? kKeyB : kKeyA}) {
            const auto& key = type == kKeyA ? keys_.a : keys_.b;
            if (!key) continue;
            if (active_ != type) {
                active_.reset();
                if (!c_.authenticate(block, type, *key)) continue;
                active_ = type;
            }
            if (op()) return true;
            active_.reset();
        }
        return false;
    }

  private:
    Classic& c_;
    SectorKeys keys_;
    std::optional<KeyType> active_;
};

Json keyJson(const std::optional<dump::Key>& key) { return key ? Json(hex(*key)) : Json(nullptr); }

Result keys(Context& ctx, const ClassicOptions& o) {
    const auto candidates = o.candidates();
    Classic c(*ctx.session);
    const std::size_t sectors = layout::sectorCount(c.blocks());
    Result r;
    r.json["sectors"] = Json::array();
    Progress progress("sector", sectors);
    for (std::size_t sector = 0; sector < sectors && !stopRequested(); ++sector) {
        progress.step(sector);
        const auto a = c.findKey(sector, kKeyA, candidates);
        const auto b = c.findKey(sector, kKeyB, candidates);
        r.json["sectors"].push_back({{"sector", sector}, {"key_a", keyJson(a)}, {"key_b", keyJson(b)}});
    }
    r.partial = stopRequested();
    return r;
}

Result dumpCard(Context& ctx, const ClassicOptions& o) {
    dumpFormat(o.file, o.format); // a bad name fails before the card is read
    const auto candidates = o.candidates();
    Classic c(*ctx.session);
    const std::size_t blocks = c.blocks();
    dump::Card card = unreadDump(dump::Family::Classic, blocks, 16, c.card());
    const std::size_t sectors = layout::sectorCount(blocks);
    Progress progress("sector", sectors);
    for (std::size_t sector = 0; sector < sectors; ++sector) {
        if (stopRequested()) break;
        progress.step(sector);
        SectorAccess access(c, sector, candidates);
        const SectorKeys& k = access.keys();
        bool complete = access.opened();
        for (std::size_t i = 0; i < layout::blocksIn(sector) && complete && !stopRequested(); ++i) {
            const std::size_t block = layout::firstBlock(sector) + i;
            std::optional<Bytes> data;
            if (!access.run(block, [&] { return (data = c.read(block)).has_value(); })) {
                complete = false;
                break;
            }
            if (layout::isTrailer(block)) { // key A never reads back; key B only where it is data
                if (k.a) std::copy(k.a->begin(), k.a->end(), data->begin());
                if (k.b) std::copy(k.b->begin(), k.b->end(), data->begin() + 10);
            }
            std::copy(data->begin(), data->end(), card.memory.begin() + static_cast<long>(block * 16));
            card.known[block] = true;
        }
    }
    return writeDumpFile(card, o.file, o.format);
}

Result restore(Context& ctx, const ClassicOptions& o) {
    const dump::Card source = readDumpFile(o.file, dump::Family::Classic);
    // Nothing is written unless every trailer that would be written is sound.
    if (o.writeTrailer)
        for (std::size_t block = 3; block < source.blockCount(); ++block)
            if (layout::isTrailer(block) && source.known[block])
                checkTrailerWrite(block, Bytes(source.block(block).begin(), source.block(block).end()), true);
    auto candidates = o.candidates();
    Classic c(*ctx.session);
    if (c.blocks() != source.blockCount())
        throw Failure(kFileError, o.file + ": a dump of " + std::to_string(source.blockCount()) +
                                      " blocks does not fit this card's " + std::to_string(c.blocks()));
    const std::size_t sectors = layout::sectorCount(c.blocks());
    std::size_t written = 0;
    std::vector<std::size_t> skipped;
    Progress progress("sector", sectors);
    for (std::size_t sector = 0; sector < sectors && !stopRequested(); ++sector) {
        progress.step(sector);
        // The dump's own keys first: a card restored before carries them already.
        std::vector<dump::Key> keys;
        const auto trailer = source.block(layout::trailerOf(sector));
        if (source.known[layout::trailerOf(sector)]) {
            keys.push_back({trailer[0], trailer[1], trailer[2], trailer[3], trailer[4], trailer[5]});
            keys.push_back({trailer[10], trailer[11], trailer[12], trailer[13], trailer[14], trailer[15]});
        }
        keys.insert(keys.end(), candidates.begin(), candidates.end());
        SectorAccess access(c, sector, keys);
        bool done = access.opened();
        for (std::size_t i = 0; i < layout::blocksIn(sector) && done; ++i) {
            const std::size_t block = layout::firstBlock(sector) + i;
            if (block == 0 || !source.known[block] || (layout::isTrailer(block) && !o.writeTrailer)) continue;
            const Bytes data(source.block(block).begin(), source.block(block).end());
            done = access.run(block, [&] { return c.tryWrite(block, data); });
            if (done) ++written;
        }
        if (!done) skipped.push_back(sector);
    }
    Result r{{{"file", o.file}, {"blocks_written", written}, {"sectors_not_written", skipped}}};
    r.partial = stopRequested();
    if (!skipped.empty() && !r.partial)
        throw Failure(kRefused, std::to_string(skipped.size()) +
                                    " sector(s) could not be written: " + Json(skipped).dump() +
                                    " (no key given opens them, or the access bits forbid it)");
    return r;
}

void keyOptions(CLI::App* cmd, ClassicOptions& o) {
    cmd->add_option("-k,--key", o.keys, "a 6-byte key in hex (repeatable; default FFFFFFFFFFFF)");
    cmd->add_option("--keys", o.dictionary, "a key dictionary (.dic: a 12-digit hex key a line)");
}

} // namespace

void addClassicCommands(Registry& reg) {
    auto* mfc = reg.app.add_subcommand("mfc", "MIFARE Classic cards (Mini, 1K, 2K, 4K)");
    mfc->require_subcommand(1);
    auto o = std::make_shared<ClassicOptions>();
    auto bind = [&reg, o](CLI::App* cmd, Result (*run)(Context&, const ClassicOptions&)) {
        reg.add(cmd, [o, run](Context& c) { return run(c, *o); });
    };

    auto* read = mfc->add_subcommand("read", "read one block")
                     ->footer("Example: varrok mfc read 4 --key FFFFFFFFFFFF");
    read->add_option("block", o->block, "block number")->required();
    read->add_flag("-B,--key-b", o->keyB, "authenticate with key B");
    keyOptions(read, *o);
    bind(read, readBlock);

    auto* write = mfc->add_subcommand("write", "write one block")
                      ->footer("Example: varrok mfc write 4 00112233445566778899AABBCCDDEEFF");
    write->add_option("block", o->block, "block number")->required();
    write->add_option("data", o->data, "16 bytes in hex")->required();
    write->add_flag("-B,--key-b", o->keyB, "authenticate with key B");
    write->add_flag("--write-trailer", o->writeTrailer,
                    "allow writing a sector trailer (keys and access bits)");
    keyOptions(write, *o);
    bind(write, writeBlock);

    auto* val = mfc->add_subcommand("value", "value blocks: init, inc, dec or read")
                    ->footer("Examples: varrok mfc value init 5 100\n          varrok mfc value dec 5 3");
    val->add_option("operation", o->valueOp, "init, inc, dec or read")
        ->required()
        ->check(CLI::IsMember({"init", "inc", "dec", "read"}));
    val->add_option("block", o->block, "block number")->required();
    val->add_option("amount", o->amount, "the value (init) or amount (inc, dec)");
    val->add_flag("-B,--key-b", o->keyB, "authenticate with key B");
    keyOptions(val, *o);
    bind(val, value);

    auto* dumpCmd = mfc->add_subcommand("dump", "read the whole card into a file")
                        ->footer("Examples: varrok mfc dump card.json\n"
                                 "          varrok mfc dump card.mct --keys keys.dic\n"
                                 "Formats by extension: .json (Proxmark3), .bin/.mfd/.dump, .eml, .mct");
    dumpCmd->add_option("file", o->file, "the dump file")->required();
    dumpCmd->add_option("--format", o->format, "json, bin, eml or mct (default: from the file name)");
    keyOptions(dumpCmd, *o);
    bind(dumpCmd, dumpCard);

    auto* restoreCmd =
        mfc->add_subcommand("restore", "write a dump back to a card (data blocks only by default)")
            ->footer("Example: varrok mfc restore card.json");
    restoreCmd->add_option("file", o->file, "the dump file")->required()->check(CLI::ExistingFile);
    restoreCmd->add_flag("--write-trailers", o->writeTrailer,
                         "write the sector trailers (keys, access bits) too");
    keyOptions(restoreCmd, *o);
    bind(restoreCmd, restore);

    auto* keysCmd = mfc->add_subcommand("keys", "find which key of a dictionary opens each sector, A and B")
                        ->footer("Example: varrok mfc keys --keys keys.dic");
    keyOptions(keysCmd, *o);
    bind(keysCmd, keys);
}

} // namespace cli
