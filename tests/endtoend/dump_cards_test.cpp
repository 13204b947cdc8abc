// A card copied into a dump file and served by the simulator: what the library
// reads back is what the file holds, keys and access bits included.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "formats/dump.h"
#include "simulator/cards/ultralight.h"
#include "simulator/commands/families.h"
#include "simulator/servers/tcp_server.h"
#include "varrok.h"

namespace {

namespace dump = varrok::dump;
using sim::Bytes;
constexpr unsigned short kDev = 0;

class DumpCardsEndToEnd : public testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(dir / "dumps");
        server.start(0);
        ASSERT_GT(ReaderOpen(("TCP://127.0.0.1:" + std::to_string(server.port())).c_str()), 0);
    }
    void TearDown() override {
        ReaderClose(0);
        server.stop();
        std::filesystem::remove_all(dir);
    }

    // Saves the dump under dumps/ and loads a scenario file naming it by a
    // path relative to the scenario.
    void serve(const dump::Card& card, const std::string& kind, const std::string& file) {
        dump::write((dir / "dumps" / file).string(), card, dump::formatOf(file));
        const auto scenario = dir / "scenario.json";
        std::ofstream(scenario) << R"({"cards": [{"kind": ")" << kind << R"(", "dump": "dumps/)" << file
                                << R"("}]})";
        sim::applyScenario(sim::loadScenarioFile(scenario.string(), sim::allCardKinds()), reader);
    }

    const std::filesystem::path dir = testing::TempDir() + "dump_cards_endtoend";
    sim::Reader reader;
    sim::Equipment equipment = sim::installAllFamilies(reader);
    sim::TcpServer server{reader};
};

Bytes pattern(std::size_t size, std::uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed + 7 * i);
    return bytes;
}

TEST_F(DumpCardsEndToEnd, ClassicServesItsBlocksBehindTheDumpsKeys) {
    dump::Card card = dump::blankCard(dump::Family::Classic, 64);
    card.memory = pattern(card.memory.size(), 0x30);
    const Bytes block0{0xC1, 0xC2, 0xC3, 0xC4, 0xC1 ^ 0xC2 ^ 0xC3 ^ 0xC4, 0x08, 0x04, 0x00};
    std::copy(block0.begin(), block0.end(), card.memory.begin());
    // Sector 1 opens with key A A0..A5 (access bits of the transport
    // configuration); every other sector with FF..FF.
    for (std::size_t s = 0; s < 16; ++s) {
        const std::uint8_t keyByte = s == 1 ? 0xA0 : 0xFF;
        auto trailer = card.memory.begin() + 16 * dump::classic::trailerOf(s);
        for (int i = 0; i < 6; ++i)
            trailer[i] = static_cast<std::uint8_t>(s == 1 ? keyByte + i : keyByte);
        trailer[6] = 0xFF, trailer[7] = 0x07, trailer[8] = 0x80;
    }
    serve(card, "classic1k", "card.eml");

    unsigned char data[250] = {}, len = 0, uidLen = 0;
    ASSERT_EQ(rf_search_type_a(kDev, 0x52, data, &len, &uidLen), 0);
    EXPECT_EQ(Bytes(data + 3, data + 3 + uidLen), (Bytes{0xC1, 0xC2, 0xC3, 0xC4}));
    unsigned char transport[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
                  sectorOne[6] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
    EXPECT_NE(rf_M1_authentication2(kDev, 0x60, 4, transport), 0) << "the dump's key guards sector 1";
    ASSERT_EQ(rf_search_type_a(kDev, 0x52, data, &len, &uidLen), 0);
    ASSERT_EQ(rf_M1_authentication2(kDev, 0x60, 4, sectorOne), 0);
    for (unsigned char block : {4, 5, 6}) {
        unsigned char back[16] = {};
        ASSERT_EQ(rf_M1_read(kDev, block, back, &len), 0);
        EXPECT_EQ(Bytes(back, back + 16), Bytes(card.block(block).begin(), card.block(block).end()));
    }
    ASSERT_EQ(rf_M1_authentication2(kDev, 0x60, 0, transport), 0);
    unsigned char back[16] = {};
    ASSERT_EQ(rf_M1_read(kDev, 0, back, &len), 0);
    EXPECT_EQ(Bytes(back, back + 16), Bytes(card.block(0).begin(), card.block(0).end()));
}

TEST_F(DumpCardsEndToEnd, UltralightAndIso15693ServeEveryPageOfTheirDumps) {
    const Bytes ulUid{0x04, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56};
    const sim::UltralightCard real(sim::UltralightCard::Model::Ultralight, ulUid);
    dump::Card ul = dump::blankCard(dump::Family::Ultralight, 16);
    ul.memory = pattern(64, 0x10);
    for (std::size_t p = 0; p < 3; ++p)
        std::copy(real.page(p).begin(), real.page(p).end(), ul.memory.begin() + 4 * p);
    ul.memory[10] = ul.memory[11] = 0x00; // no lock bits
    serve(ul, "ultralight", "ul.bin");
    unsigned char uid[61] = {}, uidLen = 0;
    ASSERT_EQ(rf_ul_select(kDev, uid, &uidLen), 0);
    EXPECT_EQ(Bytes(uid, uid + uidLen), ulUid);
    for (unsigned char page = 0; page < 16; page += 4) {
        unsigned char data[16] = {};
        ASSERT_EQ(rf_UltraLight_Read(kDev, page, data), 0);
        EXPECT_EQ(Bytes(data, data + 16),
                  Bytes(ul.memory.begin() + 4 * page, ul.memory.begin() + 4 * page + 16));
    }

    reader.access([](sim::ReaderState&, sim::Field& field) { field.clear(); });
    dump::Card tag = dump::blankCard(dump::Family::Iso15693, 28);
    tag.uid = {0x78, 0x56, 0x34, 0x12, 0x01, 0x00, 0x04, 0xE0};
    tag.memory = pattern(tag.memory.size(), 0x80);
    serve(tag, "iso15693", "tag.json");
    ASSERT_EQ(rf_Reader_SetISOType(kDev, '1'), 0);
    for (unsigned char block = 0; block < 28; ++block) {
        unsigned char data[250] = {}, len = 0;
        ASSERT_EQ(rf_ISO15693_Read(kDev, 0x42, tag.uid.data(), block, 1, data, &len), 0) << int(block);
        ASSERT_EQ(len, 5);
        EXPECT_EQ(Bytes(data + 1, data + 5), Bytes(tag.block(block).begin(), tag.block(block).end()));
    }
}

} // namespace
