// The reader's contact SAM slots: answers to reset, rates, PPS, protocols and
// APDUs, through the reader's commands.

#include <gtest/gtest.h>

#include "simulator/commands/type_b_commands.h"
#include "simulator/reader/reader.h"
#include "simulator/reader/sam_slots.h"
#include "simulator/scenario/members.h"

namespace {

using sim::Bytes;
using sim::Status;
namespace cmd = sim::typeb_cmd;
namespace sam = sim::sam_status;

constexpr std::uint8_t kOk = 0;
constexpr std::uint8_t kBadParameter = static_cast<std::uint8_t>(Status::BadParameter);

Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// What an ATR says, read the way a terminal reads it: interface bytes as the
// Y nibbles announce them, then K historical bytes, then TCK if any TD names
// a protocol other than T=0.
struct ReadAtr {
    bool wellFormed = false;
    std::optional<std::uint8_t> ta1;
    std::vector<int> protocols;
    Bytes historical;
    bool hasTck = false;
    bool tckOk = false;
};

ReadAtr readAtr(const Bytes& atr) {
    ReadAtr out;
    if (atr.size() < 2 || (atr[0] != 0x3B && atr[0] != 0x3F)) return out;
    std::size_t i = 1;
    std::uint8_t y = atr[i] >> 4;
    const std::size_t k = atr[i] & 0x0F;
    ++i;
    for (int level = 1; i <= atr.size(); ++level) {
        for (int bit = 0; bit < 3; ++bit) {
            if (!(y & (1 << bit))) continue;
            if (i >= atr.size()) return out;
            if (level == 1 && bit == 0) out.ta1 = atr[i];
            ++i;
        }
        if (!(y & 0x08)) break;
        if (i >= atr.size()) return out;
        const std::uint8_t td = atr[i++];
        out.protocols.push_back(td & 0x0F);
        y = td >> 4;
    }
    if (i + k > atr.size()) return out;
    out.historical.assign(atr.begin() + i, atr.begin() + i + k);
    i += k;
    out.hasTck = std::any_of(out.protocols.begin(), out.protocols.end(), [](int t) { return t != 0; });
    if (out.hasTck) {
        if (i + 1 != atr.size()) return out;
        std::uint8_t x = 0;
        for (std::size_t j = 1; j < atr.size(); ++j)
            x ^= atr[j];
        out.tckOk = x == 0;
    } else if (i != atr.size()) {
        return out;
    }
    out.wellFormed = true;
    return out;
}

TEST(SamAtr, FollowsTheLayoutAndItsChecksumHolds) {
    struct Case {
        const char* what;
        sim::AtrProfile profile;
        std::optional<Bytes> exact; // worked out by hand
        std::vector<int> protocols;
    } const cases[] = {
        {"T=0, default TA1", {false, 0x11, true, false, {0x41, 0x42}}, Bytes{0x3B, 0x02, 0x41, 0x42}, {}},
        {"T=0, TA1 96", {false, 0x96, true, false, {}}, Bytes{0x3B, 0x10, 0x96}, {}},
        {"T=1, default TA1",
         {false, 0x11, false, true, {0x01}},
         Bytes{0x3B, 0x81, 0x81, 0x31, 0xFE, 0x45, 0x01, 0x8B},
         {1, 1}},
        {"T=1, inverse",
         {true, 0x11, false, true, {0x01}},
         Bytes{0x3F, 0x81, 0x81, 0x31, 0xFE, 0x45, 0x01, 0x8B},
         {1, 1}},
        {"T=0 and T=1, TA1 18", {false, 0x18, true, true, Bytes(15, 0x33)}, std::nullopt, {0, 1}},
        {"standard", {}, std::nullopt, {1, 1}},
    };
    for (const auto& c : cases) {
        const Bytes atr = sim::buildAtr(c.profile);
        if (c.exact) {
            EXPECT_EQ(sim::toHex(atr), sim::toHex(*c.exact)) << c.what;
        }
        const ReadAtr read = readAtr(atr);
        ASSERT_TRUE(read.wellFormed) << c.what << ": " << sim::toHex(atr);
        EXPECT_EQ(read.historical, c.profile.historical) << c.what;
        EXPECT_EQ(read.protocols, c.protocols) << c.what;
        EXPECT_EQ(read.hasTck, c.profile.t1) << c.what;
        if (read.hasTck) {
            EXPECT_TRUE(read.tckOk) << c.what << ": " << sim::toHex(atr);
        }
        if (c.profile.ta1 == 0x11) {
            EXPECT_FALSE(read.ta1) << c.what;
        } else {
            EXPECT_EQ(read.ta1, c.profile.ta1) << c.what;
        }
    }
    EXPECT_THROW(sim::buildAtr({false, 0x11, false, false, {}}), std::invalid_argument);
    EXPECT_THROW(sim::buildAtr({false, 0x11, true, false, Bytes(16, 0)}), std::invalid_argument);
    EXPECT_THROW(sim::buildAtr({false, 0x70, true, false, {}}), std::invalid_argument);
}

TEST(SamAtr, Ta1GivesTheFastestRateAfterPps) {
    struct Case {
        std::uint8_t ta1;
        unsigned rate;
    } const cases[] = {{0x11, 9600},   {0x12, 19200},  {0x13, 38400}, {0x18, 115200},
                       {0x95, 111600}, {0x96, 223200}, {0x38, 57600}, {0x94, 55800}};
    for (const auto& c : cases)
        EXPECT_EQ(sim::maxRateOf(c.ta1), c.rate) << std::hex << int(c.ta1);
    for (std::uint8_t reserved : {0x10, 0x1A, 0x71, 0xE1})
        EXPECT_THROW(sim::maxRateOf(reserved), std::invalid_argument) << std::hex << int(reserved);
}

class SamReader : public ::testing::Test {
  protected:
    void SetUp() override {
        reader.install([this](sim::Dispatcher& d) { sim::installTypeBWithSlots(d, slots); });
    }
    sim::Response ask(std::uint8_t command, Bytes data = {}) {
        auto response = reader.process({0, command, std::move(data)});
        if (!response) ADD_FAILURE() << "no answer to command " << int(command);
        return response.value_or(sim::Response{});
    }
    void insert(std::uint8_t slot, std::unique_ptr<sim::Sam> sam) {
        reader.access([&](sim::ReaderState&, sim::Field&) { slots->insert(slot, std::move(sam)); });
    }
    std::shared_ptr<sim::SamSlots> slots = std::make_shared<sim::SamSlots>();
    sim::Reader reader;
};

// The four commands of each slot, by the per-slot codes (1-4) and by the
// slot-number codes (1-8).
struct SlotCodes {
    std::uint8_t slot;
    bool numbered;
};

Bytes withSlot(const SlotCodes& s, Bytes data) { return s.numbered ? cat({s.slot}, data) : data; }
std::uint8_t baudCode(const SlotCodes& s) {
    return s.numbered ? cmd::SamBaudAnySlot : cmd::SamBaud[s.slot - 1];
}
std::uint8_t resetCode(const SlotCodes& s) {
    return s.numbered ? cmd::SamResetAnySlot : cmd::SamReset[s.slot - 1];
}
std::uint8_t ppsCode(const SlotCodes& s) { return s.numbered ? cmd::SamPpsAnySlot : cmd::SamPps[s.slot - 1]; }
std::uint8_t apduCode(const SlotCodes& s) {
    return s.numbered ? cmd::SamApduAnySlot : cmd::SamApdu[s.slot - 1];
}

const SlotCodes kAllSlots[] = {{1, false}, {2, false}, {3, false}, {4, false}, {1, true},
                               {4, true},  {5, true},  {6, true},  {8, true}};

TEST_F(SamReader, EverySlotResetsExchangesAndNegotiatesOnItsOwn) {
    const Bytes selectSam = cat({0x00, 0xA4, 0x04, 0x0C, 0x07}, sim::Sam::standardAid());
    for (const SlotCodes& s : kAllSlots) {
        const std::string where = "slot " + std::to_string(s.slot) + (s.numbered ? " by number" : "");
        reader.access([&](sim::ReaderState&, sim::Field&) {
            for (std::uint8_t n = 1; n <= sim::SamSlots::kSlotCount; ++n)
                slots->remove(n);
            slots->insert(s.slot, sim::Sam::standard());
        });
        EXPECT_EQ(ask(apduCode(s), withSlot(s, selectSam)).status, sam::NotActivated) << where;
        EXPECT_EQ(ask(ppsCode(s), withSlot(s, {0x05})).status, sam::NotActivated) << where;
        // A neighbour's turn may have left another reset rate here.
        ASSERT_EQ(ask(baudCode(s), withSlot(s, {0x00})).status, kOk) << where;
        const auto atr = ask(resetCode(s), withSlot(s, {}));
        ASSERT_EQ(atr.status, kOk) << where;
        EXPECT_EQ(atr.data, sim::Sam::standard()->atr()) << where;
        EXPECT_EQ(ask(ppsCode(s), withSlot(s, {0x05})).status, kOk) << where;
        EXPECT_EQ(ask(apduCode(s), withSlot(s, selectSam)).data, (Bytes{0x90, 0x00})) << where;
        const auto challenge = ask(apduCode(s), withSlot(s, {0x00, 0x84, 0x00, 0x00, 0x08}));
        EXPECT_EQ(challenge.data.size(), 10u) << where;
        reader.access([&](sim::ReaderState&, sim::Field&) {
            EXPECT_EQ(slots->slot(s.slot).linkBaudId, 5) << where;
            EXPECT_TRUE(slots->slot(s.slot).sam->powered()) << where;
        });
        // The neighbouring slots are empty.
        const std::uint8_t other = s.slot == 1 ? 2 : s.slot - 1;
        const SlotCodes empty{other, s.numbered};
        EXPECT_EQ(ask(resetCode(empty), withSlot(empty, {})).status, sam::Absent) << where;
        EXPECT_EQ(ask(apduCode(empty), withSlot(empty, selectSam)).status, sam::Absent) << where;
        EXPECT_EQ(ask(ppsCode(empty), withSlot(empty, {0x00})).status, sam::Absent) << where;
        EXPECT_EQ(ask(baudCode(empty), withSlot(empty, {0x01})).status, kOk) << where << ": a reader setting";
    }
    EXPECT_EQ(ask(cmd::SamResetAnySlot, {0}).status, kBadParameter);
    EXPECT_EQ(ask(cmd::SamResetAnySlot, {9}).status, kBadParameter);
    EXPECT_EQ(ask(cmd::SamBaudAnySlot, {9, 0}).status, kBadParameter);
    EXPECT_EQ(ask(cmd::SamBaud[0], {7}).status, kBadParameter);
}

TEST_F(SamReader, TheResetRateMustBeTheRateTheSamSendsItsAtrAt) {
    // This SAM was made for a clock that puts its ATR at 38400 (identifier 1).
    insert(3, std::make_unique<sim::Sam>(sim::AtrProfile{}, sim::SmartCardApp::sample(), 1));
    EXPECT_EQ(ask(cmd::SamReset[2]).status, sam::Mute);
    EXPECT_EQ(ask(cmd::SamApdu[2], {0x00, 0x84, 0x00, 0x00, 0x04}).status, sam::NotActivated);
    ASSERT_EQ(ask(cmd::SamBaud[2], {0x01}).status, kOk);
    EXPECT_EQ(ask(cmd::SamReset[2]).status, kOk);
    EXPECT_EQ(ask(cmd::SamApdu[2], {0x00, 0x84, 0x00, 0x00, 0x04}).status, kOk);
    // A new rate counts from the next reset; the running SAM keeps its own.
    ASSERT_EQ(ask(cmd::SamBaud[2], {0x00}).status, kOk);
    EXPECT_EQ(ask(cmd::SamApdu[2], {0x00, 0x84, 0x00, 0x00, 0x04}).status, kOk);
    EXPECT_EQ(ask(cmd::SamReset[2]).status, sam::Mute);
}

TEST_F(SamReader, PpsIsGrantedOnceRightAfterTheAtrUpToTheSamsRate) {
    struct Case {
        const char* what;
        std::uint8_t ta1;
        bool apduFirst;
        std::vector<std::uint8_t> baudIds; // PPS after PPS
        std::vector<std::uint8_t> statuses;
        std::uint8_t linkBaudId;
    } const cases[] = {
        {"115200 with TA1 18", 0x18, false, {5}, {kOk}, 5},
        {"55800 with TA1 18", 0x18, false, {3}, {kOk}, 3},
        {"230400 with TA1 18", 0x18, false, {6}, {sam::PpsRefused}, 0},
        {"230400 with TA1 96", 0x96, false, {6}, {sam::PpsRefused}, 0},
        {"115200 with TA1 96", 0x96, false, {5}, {kOk}, 5},
        {"19200 with no TA1", 0x11, false, {2}, {sam::PpsRefused}, 0},
        {"9600 with no TA1", 0x11, false, {0}, {kOk}, 0},
        {"a second PPS", 0x18, false, {1, 5}, {kOk, sam::PpsRefused}, 1},
        {"a refused PPS closes the window", 0x18, false, {6, 5}, {sam::PpsRefused, sam::PpsRefused}, 0},
        {"PPS after an APDU", 0x18, true, {5}, {sam::PpsRefused}, 0},
        {"unknown baud identifier", 0x18, false, {7, 5}, {kBadParameter, kOk}, 5},
    };
    for (const auto& c : cases) {
        sim::AtrProfile profile;
        profile.ta1 = c.ta1;
        insert(2, std::make_unique<sim::Sam>(profile, sim::SmartCardApp::sample()));
        ASSERT_EQ(ask(cmd::SamReset[1]).status, kOk) << c.what;
        if (c.apduFirst) {
            ASSERT_EQ(ask(cmd::SamApdu[1], {0x00, 0x84, 0x00, 0x00, 0x04}).status, kOk);
        }
        for (std::size_t i = 0; i < c.baudIds.size(); ++i)
            EXPECT_EQ(ask(cmd::SamPps[1], {c.baudIds[i]}).status, c.statuses[i]) << c.what << " #" << i;
        reader.access([&](sim::ReaderState&, sim::Field&) {
            EXPECT_EQ(slots->slot(2).linkBaudId, c.linkBaudId) << c.what;
            EXPECT_EQ(slots->slot(2).sam->rate(), sim::kSamBaudRates[c.linkBaudId]) << c.what;
        });
        // A new reset opens the window again, at the ATR rate.
        ASSERT_EQ(ask(cmd::SamReset[1]).status, kOk) << c.what;
        EXPECT_EQ(ask(cmd::SamPps[1], {0x02}).status, c.ta1 == 0x11 ? sam::PpsRefused : kOk) << c.what;
    }
}

TEST_F(SamReader, T0SamsHandBackDataThroughGetResponse) {
    sim::AtrProfile t0;
    t0.t0 = true;
    t0.t1 = false;
    insert(1, std::make_unique<sim::Sam>(t0, sim::SmartCardApp::sample()));
    const Bytes aid = sim::SmartCardApp::sampleAid();
    const Bytes fci = cat({0x6F, 0x09, 0x84, 0x07}, aid);
    const Bytes selectWithFci = cat(cat({0x00, 0xA4, 0x04, 0x00, 0x07}, aid), {0x00});
    struct Step {
        const char* what;
        Bytes apdu;
        Bytes answer;
    } const steps[] = {
        {"nothing waiting", {0x00, 0xC0, 0x00, 0x00, 0x00}, {0x69, 0x85}},
        {"select with FCI", selectWithFci, {0x61, 0x0B}},
        {"too much", {0x00, 0xC0, 0x00, 0x00, 0x0C}, {0x6C, 0x0B}},
        {"part", {0x00, 0xC0, 0x00, 0x00, 0x04}, cat(Bytes(fci.begin(), fci.begin() + 4), {0x61, 0x07})},
        {"the rest", {0x00, 0xC0, 0x00, 0x00, 0x00}, cat(Bytes(fci.begin() + 4, fci.end()), {0x90, 0x00})},
        {"all fetched", {0x00, 0xC0, 0x00, 0x00, 0x00}, {0x69, 0x85}},
        {"case 2 answers at once", {0x00, 0xB0, 0x00, 0x00, 0x02}, {0x00, 0x00, 0x90, 0x00}},
        {"select again", selectWithFci, {0x61, 0x0B}},
        {"another command drops it", {0x00, 0xB0, 0x00, 0x00, 0x01}, {0x00, 0x90, 0x00}},
        {"dropped", {0x00, 0xC0, 0x00, 0x00, 0x0B}, {0x69, 0x85}},
        {"unknown AID, no data",
         cat(cat({0x00, 0xA4, 0x04, 0x00, 0x02}, {0x01, 0x02}), {0x00}),
         {0x6A, 0x82}},
    };
    ASSERT_EQ(ask(cmd::SamReset[0]).status, kOk);
    for (const auto& s : steps)
        EXPECT_EQ(sim::toHex(ask(cmd::SamApdu[0], s.apdu).data), sim::toHex(s.answer)) << s.what;
}

TEST_F(SamReader, TheProtocolCanSwitchToAnotherTheAtrOffers) {
    sim::AtrProfile both;
    both.t0 = true;
    insert(4, std::make_unique<sim::Sam>(both, sim::SmartCardApp::sample()));
    insert(6, sim::Sam::standard()); // T=1 only
    const Bytes aid = sim::SmartCardApp::sampleAid();
    const Bytes selectWithFci = cat(cat({0x00, 0xA4, 0x04, 0x00, 0x07}, aid), {0x00});

    EXPECT_EQ(ask(cmd::SamProtocol, {4, 1}).status, sam::NotActivated);
    ASSERT_EQ(ask(cmd::SamReset[3]).status, kOk) << "slot 4's reset shares its code with the protocol";
    EXPECT_EQ(ask(cmd::SamApdu[3], selectWithFci).data, (Bytes{0x61, 0x0B})) << "T=0 comes first in the ATR";
    ASSERT_EQ(ask(cmd::SamProtocol, {4, 1}).status, kOk);
    EXPECT_EQ(ask(cmd::SamApdu[3], selectWithFci).data.size(), 13u) << "T=1 answers whole";
    EXPECT_EQ(ask(cmd::SamProtocol, {4, 2}).status, kBadParameter);
    EXPECT_EQ(ask(cmd::SamProtocol, {0, 1}).status, kBadParameter);
    EXPECT_EQ(ask(cmd::SamProtocol, {3, 1}).status, sam::Absent);

    ASSERT_EQ(ask(cmd::SamResetAnySlot, {6}).status, kOk);
    EXPECT_EQ(ask(cmd::SamProtocol, {6, 0}).status, kBadParameter) << "this SAM offers T=1 only";
    const Bytes selectStandard = cat(cat({0x00, 0xA4, 0x04, 0x00, 0x07}, sim::Sam::standardAid()), {0x00});
    EXPECT_EQ(ask(cmd::SamApduAnySlot, cat({6}, selectStandard)).data.size(), 13u);
}

TEST_F(SamReader, TakingTheSamOutEndsItsSession) {
    insert(1, sim::Sam::standard());
    ASSERT_EQ(ask(cmd::SamReset[0]).status, kOk);
    std::unique_ptr<sim::Sam> taken;
    reader.access([&](sim::ReaderState&, sim::Field&) { taken = slots->remove(1); });
    ASSERT_TRUE(taken);
    EXPECT_FALSE(taken->powered());
    EXPECT_EQ(ask(cmd::SamApdu[0], {0x00, 0x84, 0x00, 0x00, 0x04}).status, sam::Absent);
    insert(1, std::move(taken));
    EXPECT_EQ(ask(cmd::SamApdu[0], {0x00, 0x84, 0x00, 0x00, 0x04}).status, sam::NotActivated);
}

TEST(SamScenario, BuildsASamForASlotAndNamesTheMemberAtFault) {
    auto placed = sim::samFromJson(sim::parseJson(
        R"({"slot": 6, "t0": true, "t1": false, "ta1": "13", "historical": "0102", "atrbaud": 38400,
            "aid": "A000", "file": "CAFE"})"));
    EXPECT_EQ(placed.slot, 6);
    ASSERT_TRUE(placed.sam);
    EXPECT_EQ(sim::toHex(placed.sam->atr()), "3B 12 13 01 02");
    EXPECT_EQ(placed.sam->atrBaudId(), 1);
    EXPECT_EQ(placed.sam->maxRate(), 38400u);
    EXPECT_EQ(placed.sam->app().file(), (Bytes{0xCA, 0xFE}));

    struct Bad {
        const char* card;
        const char* mentions;
    } const bad[] = {
        {R"({})", "slot"},
        {R"({"slot": 9})", "slot"},
        {R"({"slot": 1, "t0": false, "t1": false})", "t0"},
        {R"({"slot": 1, "ta1": "70"})", "ta1"},
        {R"({"slot": 1, "atrbaud": 12345})", "atrbaud"},
        {R"({"slot": 1, "historical": "00000000000000000000000000000000"})", "historical"},
        {R"({"slot": 1, "speed": 1})", "speed"},
    };
    for (const auto& b : bad) {
        try {
            sim::samFromJson(sim::parseJson(b.card));
            ADD_FAILURE() << "accepted " << b.card;
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what()).find(b.mentions), std::string::npos) << error.what();
        }
    }
}

} // namespace
