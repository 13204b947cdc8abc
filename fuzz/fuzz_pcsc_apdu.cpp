// Any APDUs an application may send through pcscd: the driver's contactless
// slot must answer each with a status word (or report the card gone) without
// crashing, hanging or answering more than pcscd's buffer holds. The slot
// talks through the library to a simulated reader in this process, over
// loopback, so the bytes reach the real card models.
//
// Input: a card selector byte, then APDUs each behind a length byte.
#include "contactless_slot.h"
#include "simulator/commands/families.h"
#include "simulator/servers/tcp_server.h"

#include <cstdlib>
#include <string>

namespace {

// One card at a time, of each family the slot treats apart.
constexpr const char* kCards[] = {
    R"({"kind": "classic1k", "uid": "11223344", "blocks": {"5": "64000000 9BFFFFFF 64000000 05FA05FA"}})",
    R"({"kind": "classicmini", "uid": "01020304"})",
    R"({"kind": "ultralightc", "uid": "04 A1 B2 C3 D4 E5 F6"})",
    R"({"kind": "iso15693", "maker": 4, "serial": 1})",
    R"({"kind": "iso14443_4a", "uid": "08 88 77 66", "aid": "F0 01 02", "file": "CAFE"})",
    R"({"kind": "typeb", "pupi": "A1B2C3D4", "aid": "F0 01 02", "file": "BEEF"})",
};

struct Rig {
    sim::Reader reader;
    sim::Equipment equipment = sim::installAllFamilies(reader);
    sim::CardKinds kinds = sim::allCardKinds();
    sim::TcpServer server{reader};
    std::unique_ptr<varrok_ifd::Link> link;
    varrok_ifd::KeyStore keys;
    std::unique_ptr<varrok_ifd::ContactlessSlot> slot;

    Rig() {
        server.start(0);
        link = std::make_unique<varrok_ifd::Link>(
            *varrok_ifd::DeviceName::parse("TCP://127.0.0.1:" + std::to_string(server.port())));
        slot = std::make_unique<varrok_ifd::ContactlessSlot>(*link, keys);
    }

    void place(std::uint8_t selector) {
        reader.access([](auto&, sim::Field& field) { field.clear(); });
        const std::string text = std::string(R"({"cards": [)") + kCards[selector % std::size(kCards)] + "]}";
        sim::applyScenario(sim::parseScenario(text, kinds), reader);
        slot->powerDown();
        keys = {};
        // A card in place of another shows as gone first, then as there.
        for (int i = 0; i < 2 && slot->presence() != varrok_ifd::Presence::Present; ++i) {
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Rig rig;
    if (size == 0) return 0;
    rig.place(data[0]);
    if (!rig.slot->powerUp()) std::abort(); // the card just placed must be found
    for (std::size_t at = 1; at < size;) {
        const std::size_t n = std::min<std::size_t>(data[at], size - at - 1);
        const auto reply = rig.slot->transmit(data + at + 1, n);
        if (reply.status == varrok_ifd::Reply::Status::Ok &&
            (reply.data.size() < 2 || reply.data.size() > 258))
            std::abort();
        at += 1 + n;
    }
    return 0;
}
