// Any bytes a host may send to the simulated reader: the request parser and
// every command handler must take them without crashing, hanging or
// answering more than one frame holds.
#include "simulator/commands/families.h"
#include "simulator/reader/reader.h"
#include "simulator/wire/codec.h"

#include <cstdlib>

namespace {

// A card of every family, so that the bytes reach card logic and not only
// "no card" answers.
constexpr const char* kField = R"({"sams": [{"slot": 1}, {"slot": 5, "t0": true, "t1": false}], "cards": [
    {"kind": "classic1k", "uid": "11223344", "blocks": {"5": "64000000 9BFFFFFF 64000000 05FA05FA"}},
    {"kind": "classic4k", "uid": "04 21 32 43 54 65 76"},
    {"kind": "ultralightc", "uid": "04 A1 B2 C3 D4 E5 F6"},
    {"kind": "mifareplus2k", "uid": "A0A1A2A3", "level": 0},
    {"kind": "desfire", "uid": "04 5A 6B 7C 8D 9E AF"},
    {"kind": "iso14443_4a", "uid": "08 88 77 66"},
    {"kind": "ussen", "uid": "55 66 77 88"},
    {"kind": "iso15693", "maker": 4, "serial": 1},
    {"kind": "iso15693", "maker": 7, "serial": 2},
    {"kind": "icode1", "serial": "0102030405060708"},
    {"kind": "typeb", "pupi": "A1B2C3D4"},
    {"kind": "idcard", "id": "1122334455667788"},
    {"kind": "at88rf020", "pupi": "0A0B0C0D"},
    {"kind": "sr176", "uid": "0102030405060708"},
    {"kind": "srix4k", "serial": 99}
]})";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A fresh reader per input, so a finding replays on its own.
    sim::Reader reader;
    reader.setAddressPolicy(sim::AddressPolicy::AnyAddress);
    const sim::Equipment equipment = sim::installAllFamilies(reader);
    static const sim::CardKinds kinds = sim::allCardKinds();
    sim::Scenario scenario = sim::parseScenario(kField, kinds);
    sim::placeSams(scenario.sams, *equipment.sams);
    sim::applyScenario(std::move(scenario), reader);
    sim::RequestParser parser;
    for (const auto& parsed : parser.feed({data, size})) {
        if (!parsed.request) continue;
        const auto response = reader.process(*parsed.request);
        if (response && response->data.size() > 250) std::abort();
        if (response) sim::encodeResponse(*response, sim::Checksum::Correct);
    }
    return 0;
}
