// Any bytes a host may send to the simulated reader: the request parser and
// every command handler must take them without crashing, hanging or
// answering more than one frame holds.
#include "simulator/commands/families.h"
#include "simulator/commands/type_b_commands.h"
#include "simulator/reader/reader.h"
#include "simulator/wire/codec.h"

#include <cstdlib>
#include <vector>

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

// The reader with every family, and the field and SAMs as the scenario
// builds them: made once per process. Before each input the reader's state,
// its field and its SAM slots are put back from pristine copies, so every
// input starts as it would in a process of its own and a finding replays
// alone. The families keep nothing else between requests but the Type A
// READY list, which lapses with the field's power stamp.
struct Bench {
    sim::Reader reader;
    sim::Equipment equipment;
    sim::ReaderState state = reader.access([](sim::ReaderState& s, sim::Field&) { return s; });
    std::vector<std::unique_ptr<sim::Card>> cards;
    std::vector<sim::SamPlacement> sams;

    Bench() : equipment(sim::installAllFamilies(reader)) {
        reader.setAddressPolicy(sim::AddressPolicy::AnyAddress);
        sim::Scenario scenario = sim::parseScenario(kField, sim::allCardKinds());
        for (auto& card : scenario.cards) {
            if (!card->clone()) std::abort(); // a family that cannot be copied would go unfuzzed
            cards.push_back(std::move(card));
        }
        for (const sim::Json& sam : scenario.sams)
            sams.push_back(sim::samFromJson(sam));
    }

    void restore() {
        reader.access([this](sim::ReaderState& now, sim::Field& field) {
            now = state;
            field.clear();
            field.setAntenna(true);
            field.setIsoType(sim::iso::TypeA);
            for (const auto& card : cards)
                field.insert(card->clone());
        });
        for (std::uint8_t slot = 1; slot <= sim::SamSlots::kSlotCount; ++slot)
            equipment.sams->slot(slot) = sim::SamSlot{};
        for (const auto& placed : sams)
            equipment.sams->insert(placed.slot, std::make_unique<sim::Sam>(*placed.sam));
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Bench bench;
    bench.restore();
    sim::Reader& reader = bench.reader;

    sim::RequestParser parser;
    for (const auto& parsed : parser.feed({data, size})) {
        if (!parsed.request) continue;
        const auto response = reader.process(*parsed.request);
        if (response && response->data.size() > 250) std::abort();
        if (response) sim::encodeResponse(*response, sim::Checksum::Correct);
    }
    return 0;
}
