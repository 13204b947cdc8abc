#pragma once
// Every card family the simulated reader knows, in one place: the program,
// the scenario loader and the fuzzer all build the same reader from here.

#include "simulator/reader/reader.h"
#include "simulator/reader/sam_slots.h"
#include "simulator/scenario/scenario.h"

#include <memory>

namespace sim {

// What the reader holds besides its field: the contact SAM slots.
struct Equipment {
    std::shared_ptr<SamSlots> sams;
};

// Registers the command handlers of every card family on the reader. Its
// SAM slots start empty.
Equipment installAllFamilies(Reader& reader);

// Puts a scenario's SAMs into the slots; throws ScenarioError naming the SAM at fault.
void placeSams(const Json& sams, SamSlots& slots);

// Every card kind a scenario file may name.
CardKinds allCardKinds();

} // namespace sim
