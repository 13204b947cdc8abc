// Any bytes a host may send to the simulated reader: the request parser and
// every command handler must take them without crashing, hanging or
// answering more than one frame holds.
#include "simulator/codec.h"
#include "simulator/families.h"
#include "simulator/reader.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A fresh reader per input, so a finding replays on its own.
    sim::Reader reader;
    reader.setAddressPolicy(sim::AddressPolicy::AnyAddress);
    sim::installAllFamilies(reader);
    sim::RequestParser parser;
    for (const auto& parsed : parser.feed({data, size})) {
        if (!parsed.request) continue;
        const auto response = reader.process(*parsed.request);
        if (response && response->data.size() > 250) std::abort();
        if (response) sim::encodeResponse(*response, sim::Checksum::Correct);
    }
    return 0;
}
