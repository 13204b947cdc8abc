#include "simulator/commands/families.h"

#include "simulator/commands/desfire_commands.h"
#include "simulator/commands/plus_commands.h"
#include "simulator/commands/small_tag_commands.h"
#include "simulator/commands/type_a_commands.h"
#include "simulator/commands/type_b_commands.h"
#include "simulator/commands/vicinity_commands.h"

namespace sim {

Equipment installAllFamilies(Reader& reader) {
    Equipment equipment{std::make_shared<SamSlots>()};
    // MIFARE Plus first: at level 1 it answers the Classic commands for its
    // own cards before the Classic handlers see them.
    reader.install(installMifarePlus);
    reader.install(installTypeA);
    reader.install(installSmallTags);
    reader.install([&](Dispatcher& d) { installTypeBWithSlots(d, equipment.sams); });
    reader.install(installVicinity);
    reader.install(installDesfire);
    return equipment;
}

void placeSams(const Json& sams, SamSlots& slots) {
    for (std::size_t i = 0; i < sams.size(); ++i) {
        try {
            SamPlacement placed = samFromJson(sams[i]);
            slots.insert(placed.slot, std::move(placed.sam));
        } catch (const std::runtime_error& error) {
            throw ScenarioError("sams[" + std::to_string(i) + "]: " + error.what());
        }
    }
}

CardKinds allCardKinds() {
    CardKinds kinds;
    addTypeAKinds(kinds);
    addPlusKinds(kinds);
    addSmallTagKinds(kinds);
    addTypeBKinds(kinds);
    addVicinityKinds(kinds);
    addDesfireKinds(kinds);
    return kinds;
}

} // namespace sim
