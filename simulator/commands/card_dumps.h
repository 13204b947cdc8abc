#pragma once
// Cards whose memory comes from a dump file ("dump": "FILE" in a scenario): the
// copy of a real card, read with the command-line tool, to keep testing
// against with no card at hand. Every check runs while the scenario loads, so
// a dump that does not fit its kind stops the simulator before it starts,
// with the file and the block at fault.

#include <memory>
#include <optional>

#include "formats/dump.h"
#include "simulator/cards/classic.h"
#include "simulator/cards/ultralight.h"
#include "simulator/scenario/members.h"

namespace sim {

// The card's "dump" member read as a dump of the family (any format the dump
// module knows, by the file's extension); nullopt when there is none. A
// partial dump is refused: the simulated card needs every block.
std::optional<varrok::dump::Card> readDump(const Members& card, varrok::dump::Family family);

// The UID comes from the dump, or from "uid" where the dump holds none (a
// binary dump of a 7-byte UID card); the trailers bring keys and access bits.
// Refuses a block count other than the model's, a block 0 whose check byte
// does not match the UID, and a trailer whose access bits contradict their
// inverted copies.
std::unique_ptr<ClassicCard> classicFromDump(ClassicCard::Model model, const Members& card,
                                             varrok::dump::Card dump);

// Pages 0-2 must hold the UID with its check bytes. The key pages of an
// Ultralight C are never readable, so its key stays the factory one unless
// "key" gives it.
std::unique_ptr<UltralightCard> ultralightFromDump(UltralightCard::Model model, const Members& card,
                                                   const varrok::dump::Card& dump);

} // namespace sim
