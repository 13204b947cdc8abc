#include "cli/dump_files.h"

namespace cli {

namespace dump = varrok::dump;

dump::Card unreadDump(dump::Family family, std::size_t blocks, std::size_t blockSize, const Bytes& uid) {
    dump::Card card = dump::blankCard(family, blocks, blockSize);
    card.known.assign(blocks, false);
    card.uid = uid;
    return card;
}

dump::Card unreadDump(dump::Family family, std::size_t blocks, std::size_t blockSize,
                      const TypeACard& found) {
    dump::Card card = unreadDump(family, blocks, blockSize, found.uid);
    card.atqa = found.atqa;
    card.sak = found.sak;
    return card;
}

dump::Format dumpFormat(const std::string& file, const std::string& format) {
    try {
        return dump::formatOf(format.empty() ? file : "dump." + format);
    } catch (const dump::Error& e) {
        throw Failure(kUsage, e.what());
    }
}

Result writeDumpFile(const dump::Card& card, const std::string& file, const std::string& format) {
    const dump::Format chosen = dumpFormat(file, format);
    const std::string path = card.partial() && chosen == dump::Format::Binary ? file + ".partial" : file;
    try {
        dump::write(path, card, chosen);
    } catch (const dump::Error& e) {
        throw Failure(kFileError, e.what());
    }
    Json unread = Json::array();
    for (std::size_t block = 0; block < card.known.size(); ++block)
        if (!card.known[block]) unread.push_back(block);
    Result r;
    r.json = {{"file", path},
              {"format", dump::formatName(chosen)},
              {"uid", hex(card.uid)},
              {"blocks", card.blockCount()},
              {"partial", card.partial()},
              {"blocks_not_read", unread}};
    r.partial = stopRequested();
    return r;
}

dump::Card readDumpFile(const std::string& file, dump::Family family) {
    try {
        return dump::read(file, family);
    } catch (const dump::Error& e) {
        throw Failure(kFileError, e.what());
    }
}

} // namespace cli
