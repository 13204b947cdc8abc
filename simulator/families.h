#pragma once
// Every card family the simulated reader knows, in one place: the program,
// the scenario loader and the fuzzer all build the same reader from here.

#include "simulator/reader.h"
#include "simulator/scenario.h"

namespace sim {

// Registers the command handlers of every card family on the reader.
void installAllFamilies(Reader& reader);

// Every card kind a scenario file may name.
CardKinds allCardKinds();

} // namespace sim
