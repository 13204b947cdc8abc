// The vicinity commands of the simulated reader, asked directly without a
// front end: who hears a request, what the answers hold, and that no request
// data, however malformed, upsets the reader.

#include <gtest/gtest.h>

#include <random>

#include "simulator/cards/icode1.h"
#include "simulator/cards/iso15693.h"
#include "simulator/commands/vicinity_commands.h"
#include "simulator/reader/reader.h"
#include "simulator/reader/reader_control.h"

namespace {

using sim::Bytes;
using sim::Field;
using sim::Icode1Label;
using sim::Iso15693Tag;
using sim::ReaderState;
using sim::Status;
using sim::Uid15693;
namespace iso15693 = sim::iso15693;
namespace vicinity = sim::vicinity;

constexpr std::uint8_t st(Status s) { return static_cast<std::uint8_t>(s); }

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}
Bytes bytesOf(const Uid15693& uid) { return Bytes(uid.begin(), uid.end()); }
Bytes record(const Iso15693Tag& tag) { return cat({{tag.dsfid()}, bytesOf(tag.uid())}); }

class VicinityCommands : public testing::Test {
  protected:
    VicinityCommands() {
        reader.install(sim::installVicinity);
        ask(sim::cmd::IsoType, {sim::iso::Iso15693});
    }
    sim::Response ask(std::uint8_t command, Bytes data = {}) {
        auto response = reader.process({0, command, std::move(data)});
        if (!response) ADD_FAILURE() << "no answer to command " << int(command);
        return response.value_or(sim::Response{0, command, 0xFF, {}});
    }
    Iso15693Tag& addTag(const iso15693::Iso15693Model& model, std::uint64_t serial, std::uint8_t dsfid = 0,
                        std::uint8_t afi = 0) {
        return reader.access([&](ReaderState&, Field& f) -> Iso15693Tag& {
            auto& tag = f.emplace<Iso15693Tag>(model, serial);
            tag.preset(dsfid, afi);
            return tag;
        });
    }
    sim::Reader reader;
};

TEST_F(VicinityCommands, EveryRequestOfTheWrongLengthAnswersBadLength) {
    const Bytes good = cat({{0x20}, bytesOf(addTag(iso15693::kLabel28, 1).uid()), {1, 1, 1, 1, 1}});
    const std::pair<std::uint8_t, std::size_t> lengths[] = {
        {0x40, 0},  {0x41, 8},  {0x42, 8}, {0x43, 9},  {0x44, 11}, {0x45, 14},
        {0x46, 10}, {0x47, 10}, {0x48, 9}, {0x49, 10}, {0x4A, 9},  {0x4B, 9},
        {0x4C, 11}, {0x4D, 2},  {0xA0, 0}, {0xA1, 1},  {0xA2, 5},  {0xA3, 0},
    };
    for (const auto& [code, length] : lengths) {
        // Stay quiet and select carry the UID alone.
        const auto from = good.begin() + (code == 0x41 || code == 0x42 ? 1 : 0);
        const Bytes right(from, from + static_cast<std::ptrdiff_t>(length));
        EXPECT_NE(ask(code, right).status, st(Status::BadLength)) << int(code);
        EXPECT_EQ(ask(code, cat({right, {0}})).status, st(Status::BadLength)) << int(code);
        if (length > 0) {
            EXPECT_EQ(ask(code, Bytes(right.begin(), right.end() - 1)).status, st(Status::BadLength));
        }
    }
}

TEST_F(VicinityCommands, NoRequestDataUpsetsTheReader) {
    addTag(iso15693::kLabel28, 1);
    addTag(iso15693::kTag64, 2);
    reader.access([](ReaderState&, Field& f) {
        f.emplace<Icode1Label>(Icode1Label::Serial{1, 2, 3, 4, 5, 6, 7, 8});
    });
    std::mt19937 random(1234);
    for (const std::uint8_t type : {sim::iso::Iso15693, sim::iso::Icode1}) {
        ask(sim::cmd::IsoType, {type});
        ask(vicinity::Icode1Request); // so that ICODE1 reads and writes reach a label
        for (const std::uint8_t code : {0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A,
                                        0x4B, 0x4C, 0x4D, 0xA0, 0xA1, 0xA2, 0xA3}) {
            for (std::size_t length = 0; length <= sim::kMaxRequestData; ++length) {
                Bytes data(length);
                for (auto& b : data)
                    b = static_cast<std::uint8_t>(random());
                const auto response = ask(code, data);
                ASSERT_NE(response.status, st(Status::InternalError)) << int(code) << " length " << length;
                ASSERT_LE(response.data.size(), sim::kMaxResponseData);
            }
        }
    }
}

TEST_F(VicinityCommands, FlagsDecideWhichTagHears) {
    const Uid15693 a = iso15693::makeUid(0x04, 0x01, 0xA), b = iso15693::makeUid(0x07, 0xC4, 0xB);
    const Uid15693 stranger = iso15693::makeUid(0x02, 0x00, 0x5);
    struct Case {
        const char* prep; // tags quieted (a, b) or selected (B) first
        std::uint8_t flags;
        Uid15693 uid;
        std::optional<Uid15693> answers; // whose system information comes back
        Status otherwise;
    } const cases[] = {
        {"", 0x20, b, b, Status::Ok},
        {"", 0x22, stranger, std::nullopt, Status::NoCard},
        {"a", 0x20, a, a, Status::Ok},       // quiet tags hear their UID
        {"", 0x02, stranger, a, Status::Ok}, // unaddressed: the UID is not sent
        {"a", 0x00, a, b, Status::Ok},       // ... and quiet tags do not hear
        {"ab", 0x00, a, std::nullopt, Status::NoCard},
        {"B", 0x10, a, b, Status::Ok},
        {"", 0x12, a, std::nullopt, Status::NoCard}, // nobody selected
        {"B", 0x30, b, std::nullopt, Status::BadParameter},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "prep '" << c.prep << "' flags " << int(c.flags));
        sim::Reader fresh;
        fresh.install(sim::installVicinity);
        fresh.process({0, sim::cmd::IsoType, {sim::iso::Iso15693}});
        fresh.access([&](ReaderState&, Field& f) {
            auto& tagA = f.emplace<Iso15693Tag>(iso15693::kLabel28, 0xA);
            auto& tagB = f.emplace<Iso15693Tag>(iso15693::kTag64, 0xB);
            for (const char* p = c.prep; *p; ++p)
                *p == 'a' ? tagA.stayQuiet() : *p == 'b' ? tagB.stayQuiet() : tagB.select();
        });
        const auto r = fresh.process({0, vicinity::SystemInformation, cat({{c.flags}, bytesOf(c.uid)})});
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, c.answers ? 0 : st(c.otherwise));
        EXPECT_EQ(r->data.size(), c.answers ? 14u : 0u);
        if (c.answers && r->data.size() == 14) {
            EXPECT_EQ(Bytes(&r->data[1], &r->data[9]), bytesOf(*c.answers));
        }
    }
}

TEST_F(VicinityCommands, UnaddressedCommandsActOnEveryTagThatHears) {
    Iso15693Tag& a = addTag(iso15693::kLabel28, 1);
    Iso15693Tag& b = addTag(iso15693::kTag64, 2);
    a.lockAtFactory(3);
    // Both tags write block 3 where they can; the reader hears A, the first, refuse.
    const Bytes write = cat({{0x02}, bytesOf(b.uid()), {3, 7, 7, 7, 7}});
    EXPECT_EQ(ask(vicinity::WriteBlock, write).status, st(Status::AccessDenied));
    EXPECT_EQ(b.block(3), (Bytes{7, 7, 7, 7}));
    EXPECT_EQ(ask(vicinity::WriteAfi, cat({{0x06}, bytesOf(a.uid()), {0x5C}})).status, 0);
    EXPECT_EQ(a.afi(), 0x5C);
    EXPECT_EQ(b.afi(), 0x5C);
    // Both heard the flags, which hosts' tests read back.
    EXPECT_EQ(a.lastFlags(), 0x06);
    EXPECT_EQ(b.lastFlags(), 0x06);
}

TEST_F(VicinityCommands, InventoriesSkipQuietTagsAndFilterByAfi) {
    const Iso15693Tag& t00 = addTag(iso15693::kLabel28, 1, 0xD0, 0x00);
    const Iso15693Tag& t12 = addTag(iso15693::kTag64, 2, 0xD1, 0x12);
    const Iso15693Tag& t17 = addTag(iso15693::kTag64, 3, 0xD2, 0x17);
    const Uid15693 nobody = iso15693::makeUid(4, 4, 4);
    struct Step {
        std::uint8_t code;
        Bytes data;
        Status status;
        Bytes answer;
    } const steps[] = {
        {vicinity::Inventory, {}, Status::Ok, record(t00)},
        {vicinity::MultiInventory,
         {0x00, 0x99},
         Status::Ok,
         cat({{3}, record(t00), record(t12), record(t17)})},
        {vicinity::MultiInventory,
         {0x10, 0x00},
         Status::Ok,
         cat({{3}, record(t00), record(t12), record(t17)})},
        {vicinity::MultiInventory, {0x10, 0x10}, Status::Ok, cat({{2}, record(t12), record(t17)})},
        {vicinity::MultiInventory, {0x16, 0x07}, Status::Ok, cat({{1}, record(t17)})},
        {vicinity::MultiInventory, {0x10, 0x30}, Status::NoCard, {}},
        {vicinity::StayQuiet, bytesOf(t00.uid()), Status::Ok, {}},
        {vicinity::StayQuiet, bytesOf(nobody), Status::NoCard, {}},
        {vicinity::Inventory, {}, Status::Ok, record(t12)},
        {vicinity::StayQuiet, bytesOf(t12.uid()), Status::Ok, {}},
        {vicinity::MultiInventory, {0x00, 0x00}, Status::Ok, cat({{1}, record(t17)})},
        {vicinity::StayQuiet, bytesOf(t17.uid()), Status::Ok, {}},
        {vicinity::Inventory, {}, Status::NoCard, {}},
        {vicinity::ResetToReady, cat({{0x00}, bytesOf(nobody)}), Status::NoCard, {}}, // quiet tags miss it
        {vicinity::ResetToReady, cat({{0x20}, bytesOf(t12.uid())}), Status::Ok, {}},
        {vicinity::Inventory, {}, Status::Ok, record(t12)},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        const auto r = ask(steps[i].code, steps[i].data);
        EXPECT_EQ(r.status, st(steps[i].status)) << "step " << i;
        EXPECT_EQ(r.data, steps[i].answer) << "step " << i;
    }
    for (std::uint64_t serial = 10; serial < 40; ++serial)
        addTag(iso15693::kTag64, serial);
    const auto full = ask(vicinity::MultiInventory, {0, 0});
    ASSERT_EQ(full.data.size(), 1 + 9 * vicinity::kMaxInventoried) << "a frame holds 27 tags";
    EXPECT_EQ(full.data[0], vicinity::kMaxInventoried);
}

TEST_F(VicinityCommands, ReadsHonourTheOptionFlagAndTheFrameLimit) {
    Iso15693Tag& tag = addTag(iso15693::kTag64, 1);
    Bytes memory(64 * 4);
    for (std::size_t i = 0; i < memory.size(); ++i)
        memory[i] = static_cast<std::uint8_t>(i);
    tag.load(0, memory);
    tag.lockAtFactory(2);
    struct Case {
        std::uint8_t flags, block, count;
        Status status;
        std::size_t length;
    } const cases[] = {
        {0x02, 0, 15, Status::Ok, 60},  {0x42, 0, 15, Status::Ok, 75},
        {0x02, 0, 62, Status::Ok, 248}, {0x02, 0, 63, Status::BadParameter, 0},
        {0x42, 0, 50, Status::Ok, 250}, {0x42, 0, 51, Status::BadParameter, 0},
        {0x02, 60, 4, Status::Ok, 16},  {0x02, 60, 5, Status::CardAddressInvalid, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.flags) << " " << int(c.block) << "+" << int(c.count));
        const auto r = ask(vicinity::ReadBlocks, cat({{c.flags}, bytesOf(tag.uid()), {c.block, c.count}}));
        EXPECT_EQ(r.status, st(c.status));
        ASSERT_EQ(r.data.size(), c.length);
        const std::size_t stride = (c.flags & 0x40) ? 5 : 4;
        for (std::size_t k = 0; k * stride < c.length; ++k) {
            const std::size_t block = c.block + k;
            if (stride == 5) {
                EXPECT_EQ(r.data[k * 5], block == 2 ? 1 : 0) << "security of block " << block;
            }
            EXPECT_EQ(r.data[k * stride + stride - 4], static_cast<std::uint8_t>(block * 4))
                << "block " << block;
        }
    }
}

TEST(VicinityScenario, KindsBuildTagsAndLabelsFromTheirMembers) {
    sim::CardKinds kinds;
    sim::addVicinityKinds(kinds);
    const auto scenario = sim::parseScenario(R"({"cards": [
        {"kind": "iso15693", "maker": 4, "serial": 258, "dsfid": 17, "afi": 34, "afiLocked": true,
         "data": "01020304 05060708", "locked": [1, 27]},
        {"kind": "iso15693", "uid": "0100000000C407E0"},
        {"kind": "iso15693", "uid": "0100000000C407E0", "blocks": 8, "icReference": 9},
        {"kind": "icode1", "serial": "1122334455667788", "data": "F0FFFF3F 00000000 0E000000"}]})",
                                             kinds);
    ASSERT_EQ(scenario.cards.size(), 4u);
    const auto* t28 = dynamic_cast<const Iso15693Tag*>(scenario.cards[0].get());
    const auto* t64 = dynamic_cast<const Iso15693Tag*>(scenario.cards[1].get());
    const auto* t8 = dynamic_cast<const Iso15693Tag*>(scenario.cards[2].get());
    const auto* label = dynamic_cast<const Icode1Label*>(scenario.cards[3].get());
    ASSERT_TRUE(t28 && t64 && t8 && label);
    EXPECT_EQ(t28->uid(), iso15693::makeUid(4, iso15693::kLabel28.icId, 258));
    EXPECT_EQ(t28->systemInformation(), cat({{0x0F}, bytesOf(t28->uid()), {17, 34, 27, 3, 1}}));
    EXPECT_TRUE(t28->afiLocked() && !t28->dsfidLocked());
    EXPECT_EQ(t28->block(1), (Bytes{5, 6, 7, 8}));
    EXPECT_TRUE(t28->blockLocked(1) && t28->blockLocked(27) && !t28->blockLocked(0));
    EXPECT_EQ(t64->systemInformation(), cat({{0x0F}, bytesOf(t64->uid()), {0, 0, 63, 3, 0}}));
    EXPECT_EQ(t8->systemInformation(), cat({{0x0F}, bytesOf(t8->uid()), {0, 0, 7, 3, 9}}));
    EXPECT_EQ(label->serial(), (Icode1Label::Serial{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}));
    EXPECT_EQ(label->page(2), (Bytes{0xF0, 0xFF, 0xFF, 0x3F}));
    EXPECT_FALSE(label->writable(15));
    EXPECT_EQ(label->page(4), (Bytes{0x0E, 0, 0, 0}));
}

TEST(VicinityScenario, BadMembersAreReportedByName) {
    sim::CardKinds kinds;
    sim::addVicinityKinds(kinds);
    const std::pair<const char*, const char*> cases[] = {
        {R"("kind": "iso15693", "uid": "0102")", "uid"},
        {R"("kind": "iso15693", "uid": "0100000000C407E0", "maker": 7)", "either uid"},
        {R"("kind": "iso15693", "blocks": 257)", "blocks"},
        {R"("kind": "iso15693", "maker": 256)", "maker"},
        {R"("kind": "iso15693", "afi": "12")", "afi"},
        {R"("kind": "iso15693", "blocks": 1, "data": "0102030405060708")", "data"},
        {R"("kind": "iso15693", "locked": [28])", "locked"},
        {R"("kind": "iso15693", "dsfidLocked": 1)", "dsfidLocked"},
        {R"("kind": "iso15693", "blcoks": 8)", "blcoks"},
        {R"("kind": "icode1", "serial": "11223344556677")", "serial"},
        {R"("kind": "icode1", "serial": "1122334455667788", "data": "00")", "data"},
    };
    for (const auto& [members, mentions] : cases) {
        try {
            sim::parseScenario(std::string(R"({"cards": [{)") + members + "}]}", kinds);
            ADD_FAILURE() << "accepted " << members;
        } catch (const sim::ScenarioError& error) {
            EXPECT_NE(std::string(error.what()).find(mentions), std::string::npos)
                << members << ": " << error.what();
        }
    }
}

} // namespace
