// A stand-in for the reader library that exports every entry point the card
// tool binds, as empty functions. The build compiles it with one name renamed
// (-D<name>=<other>) to get a library that lacks that entry, or that spells it
// with other capitals.
#include "services/reader_entries.h"

#define OSKELLE_STAND_IN(name)                                                                               \
    extern "C" __attribute__((visibility("default"))) void name() {}
OSKELLE_READER_ENTRIES(OSKELLE_STAND_IN)
