#include "simulator/families.h"

#include "simulator/commands/type_a_commands.h"

namespace sim {

void installAllFamilies(Reader& reader) { reader.install(installTypeA); }

CardKinds allCardKinds() {
    CardKinds kinds;
    addTypeAKinds(kinds);
    return kinds;
}

} // namespace sim
