// Dump files for the card commands: the format from the name or --format,
// partial dumps marked, and file errors turned into the tool's failures.
#pragma once

#include "cli/app.h"
#include "cli/cards.h"
#include "formats/dump.h"

namespace cli {

// A dump of `blocks` blocks, none read yet, for the card found.
varrok::dump::Card unreadDump(varrok::dump::Family family, std::size_t blocks, std::size_t blockSize,
                              const Bytes& uid);
varrok::dump::Card unreadDump(varrok::dump::Family family, std::size_t blocks, std::size_t blockSize,
                              const TypeACard& card);
// The format a dump goes to: --format when given, else the file's extension.
varrok::dump::Format dumpFormat(const std::string& file, const std::string& format);
// Writes the card's memory; the result names the file, the blocks not read,
// and whether the dump is partial. A partial binary dump, which cannot mark
// what it lacks, goes to FILE.partial.
Result writeDumpFile(const varrok::dump::Card& card, const std::string& file, const std::string& format);
// Reads a whole dump before anything is sent to a card.
varrok::dump::Card readDumpFile(const std::string& file, varrok::dump::Family family);

} // namespace cli
