#include "simulator/families.h"

#include "simulator/commands/desfire_commands.h"
#include "simulator/commands/plus_commands.h"
#include "simulator/commands/small_tag_commands.h"
#include "simulator/commands/type_a_commands.h"
#include "simulator/commands/type_b_commands.h"
#include "simulator/commands/vicinity_commands.h"

namespace sim {

void installAllFamilies(Reader& reader) {
    // MIFARE Plus first: at level 1 it answers the Classic commands for its
    // own cards before the Classic handlers see them.
    reader.install(installMifarePlus);
    reader.install(installTypeA);
    reader.install(installSmallTags);
    reader.install(installTypeB);
    reader.install(installVicinity);
    reader.install(installDesfire);
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
