// Type B, ISO 14443-4 and ID cards as the reader serves them: command by
// command, without a front end.

#include <gtest/gtest.h>

#include <random>

#include "simulator/cards/at88rf020.h"
#include "simulator/cards/id_card.h"
#include "simulator/cards/iso14443_4.h"
#include "simulator/cards/type_b.h"
#include "simulator/commands/type_a_commands.h"
#include "simulator/commands/type_b_commands.h"
#include "simulator/reader/reader.h"
#include "simulator/reader/reader_control.h"
#include "simulator/scenario/scenario.h"

namespace {

using sim::Bytes;
using sim::Reader;
using sim::Status;
namespace cmd = sim::typeb_cmd;

constexpr std::uint8_t st(Status s) { return static_cast<std::uint8_t>(s); }
constexpr std::uint8_t kOk = 0;

const sim::TypeBCard::Pupi kPupi{0x11, 0x22, 0x33, 0x44};
const Bytes kPupiBytes{0x11, 0x22, 0x33, 0x44};

Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

sim::Response ask(Reader& reader, std::uint8_t command, Bytes data = {}) {
    auto response = reader.process({0, command, std::move(data)});
    if (!response) ADD_FAILURE() << "no answer to command " << int(command);
    return response.value_or(sim::Response{});
}

void setIsoType(Reader& reader, std::uint8_t type) {
    ASSERT_EQ(ask(reader, sim::cmd::IsoType, {type}).status, kOk);
}

Bytes selectSample() { return cat({0x00, 0xA4, 0x04, 0x0C, 0x07}, sim::SmartCardApp::sampleAid()); }

// A Type A card that knows nothing of ISO 14443-4, like a MIFARE Classic.
class PlainTypeA : public sim::TypeACard {
  public:
    explicit PlainTypeA(Bytes uid) : TypeACard(std::move(uid), {0x04, 0x00}, 0x08) {}
    std::string describe() const override { return "plain Type A"; }
};

TEST(TypeBCardModel, AtqbIsCodePupiApplicationDataAndProtocolInfo) {
    struct Case {
        sim::TypeBCard::Pupi pupi;
        sim::TypeBCard::ApplicationData appData;
        sim::TypeBCard::ProtocolInfo protocol;
        Bytes atqb;
    } const cases[] = {
        {kPupi,
         {},
         sim::Iso14443_4BCard::kDefaultProtocolInfo,
         {0x50, 0x11, 0x22, 0x33, 0x44, 0x00, 0x00, 0x00, 0x00, 0x00, 0x81, 0x81}},
        {{0xAA, 0x00, 0xBB, 0x01},
         {0x01, 0x02, 0x03, 0x04},
         {0x00, 0x71, 0x40},
         {0x50, 0xAA, 0x00, 0xBB, 0x01, 0x01, 0x02, 0x03, 0x04, 0x00, 0x71, 0x40}},
    };
    for (const auto& c : cases) {
        sim::Iso14443_4BCard card(c.pupi, sim::SmartCardApp::sample(), c.appData, c.protocol);
        EXPECT_EQ(sim::toHex(card.atqb()), sim::toHex(c.atqb));
        ASSERT_EQ(card.atqb().size(), sim::TypeBCard::kAtqbSize);

        Reader reader;
        reader.install(sim::installTypeB);
        setIsoType(reader, sim::iso::TypeB);
        reader.access([&](sim::ReaderState&, sim::Field& f) {
            f.emplace<sim::Iso14443_4BCard>(c.pupi, sim::SmartCardApp::sample(), c.appData, c.protocol);
        });
        const auto response = ask(reader, cmd::Request, {0x00});
        EXPECT_EQ(response.status, kOk);
        EXPECT_EQ(sim::toHex(response.data), sim::toHex(c.atqb));
    }
    EXPECT_THROW(sim::Iso14443_4BCard(kPupi, sim::SmartCardApp::sample(), {}, {0x00, 0x80, 0x00}),
                 std::invalid_argument);
}

// One step of a conversation with the reader: what the host sends and what
// it must get back ("*" data: not compared).
struct Step {
    const char* what;
    std::uint8_t command;
    Bytes data;
    std::uint8_t status;
    std::optional<Bytes> answer;
};

void run(Reader& reader, const std::vector<Step>& steps) {
    for (const Step& s : steps) {
        const auto response = ask(reader, s.command, s.data);
        EXPECT_EQ(int(response.status), int(s.status)) << s.what;
        if (s.answer) {
            EXPECT_EQ(sim::toHex(response.data), sim::toHex(*s.answer)) << s.what;
        }
    }
}

class TypeBReader : public ::testing::Test {
  protected:
    void SetUp() override {
        reader.install([](sim::Dispatcher& d) {
            sim::installTypeA(d);
            sim::installTypeB(d);
        });
    }
    Reader reader;
};

TEST_F(TypeBReader, CardGoesThroughRequestAttribApduHaltAndWakeUp) {
    setIsoType(reader, sim::iso::TypeB);
    Bytes atqb;
    reader.access([&](sim::ReaderState&, sim::Field& f) {
        atqb = f.emplace<sim::Iso14443_4BCard>(kPupi, sim::SmartCardApp::sample()).atqb();
    });
    const Bytes ok{0x90, 0x00};
    run(reader,
        {
            {"attrib before any request", cmd::Attrib, cat(kPupiBytes, {0x00}), st(Status::NoCard), {}},
            {"apdu before attrib", cmd::Apdu, selectSample(), st(Status::NoCard), {}},
            {"REQB", cmd::Request, {0x00}, kOk, atqb},
            {"attrib, other PUPI", cmd::Attrib, {0x11, 0x22, 0x33, 0x45, 0x00}, st(Status::NoCard), {}},
            {"attrib", cmd::Attrib, cat(kPupiBytes, {0x00}), kOk, Bytes{0x00}},
            {"REQB to an active card", cmd::Request, {0x00}, st(Status::NoCard), {}},
            {"select the application", cmd::Apdu, selectSample(), kOk, ok},
            {"write", cmd::Apdu, {0x00, 0xD6, 0x00, 0x02, 0x02, 0xCA, 0xFE}, kOk, ok},
            {"read", cmd::Apdu, {0x00, 0xB0, 0x00, 0x01, 0x03}, kOk, Bytes{0x00, 0xCA, 0xFE, 0x90, 0x00}},
            {"HLTB, other PUPI", cmd::Halt, {0x11, 0x22, 0x33, 0x45}, st(Status::NoCard), {}},
            {"HLTB", cmd::Halt, kPupiBytes, kOk, Bytes{}},
            {"apdu to a halted card", cmd::Apdu, selectSample(), st(Status::NoCard), {}},
            {"HLTB twice", cmd::Halt, kPupiBytes, st(Status::NoCard), {}},
            {"REQB to a halted card", cmd::Request, {0x00}, st(Status::NoCard), {}},
            {"attrib to a halted card", cmd::Attrib, cat(kPupiBytes, {0x00}), st(Status::NoCard), {}},
            {"WUPB", cmd::Request, {0x01}, kOk, atqb},
            {"attrib again", cmd::Attrib, cat(kPupiBytes, {0x00}), kOk, Bytes{0x00}},
            {"the selection went with the halt",
             cmd::Apdu,
             {0x00, 0xB0, 0x00, 0x01, 0x03},
             kOk,
             Bytes{0x69, 0x86}},
            {"the file kept the write", cmd::Apdu, selectSample(), kOk, ok},
            {"read again", cmd::Apdu, {0x00, 0xB0, 0x00, 0x02, 0x02}, kOk, Bytes{0xCA, 0xFE, 0x90, 0x00}},
            {"deselect", cmd::Deselect, {}, kOk, Bytes{}},
            {"deselect twice", cmd::Deselect, {}, st(Status::NoCard), {}},
            {"REQB after deselect", cmd::Request, {0x00}, st(Status::NoCard), {}},
            {"WUPB after deselect", cmd::Request, {0x01}, kOk, atqb},
            {"mode 2", cmd::Request, {0x02}, st(Status::BadParameter), {}},
            {"CID 15", cmd::Attrib, cat(kPupiBytes, {0x0F}), st(Status::BadParameter), {}},
        });
}

// Hosts that found a Type B card with the request send APDUs at once; the
// reader activates the card that answered (ATTRIB, CID 0) before the first.
TEST_F(TypeBReader, FirstApduAfterARequestActivatesTheCardThatAnswered) {
    setIsoType(reader, sim::iso::TypeB);
    sim::Iso14443_4BCard* first = nullptr;
    sim::Iso14443_4BCard* second = nullptr;
    reader.access([&](sim::ReaderState&, sim::Field& f) {
        first = &f.emplace<sim::Iso14443_4BCard>(kPupi, sim::SmartCardApp::sample());
        second = &f.emplace<sim::Iso14443_4BCard>(sim::TypeBCard::Pupi{0x55, 0x66, 0x77, 0x88},
                                                  sim::SmartCardApp::sample());
    });
    run(reader, {
                    {"apdu to idle cards", cmd::Apdu, selectSample(), st(Status::NoCard), {}},
                    {"WUPB", cmd::Request, {0x01}, kOk, first->atqb()},
                    {"the first apdu", cmd::Apdu, selectSample(), kOk, Bytes{0x90, 0x00}},
                    {"the next one goes to the same card",
                     cmd::Apdu,
                     {0x00, 0xB0, 0x00, 0x00, 0x02},
                     kOk,
                     Bytes{0x00, 0x00, 0x90, 0x00}},
                });
    reader.access([&](sim::ReaderState&, sim::Field&) {
        EXPECT_EQ(first->state(), sim::TypeBCard::State::Active);
        EXPECT_EQ(first->layer4().cid(), 0);
        EXPECT_EQ(second->state(), sim::TypeBCard::State::Ready);
    });
    run(reader, {
                    {"HLTB", cmd::Halt, kPupiBytes, kOk, Bytes{}},
                    {"the other card that answered is activated now", cmd::Apdu, selectSample(), kOk,
                     Bytes{0x90, 0x00}},
                    {"HLTB of the other", cmd::Halt, {0x55, 0x66, 0x77, 0x88}, kOk, Bytes{}},
                    {"halted cards are not activated", cmd::Apdu, selectSample(), st(Status::NoCard), {}},
                });
}

TEST_F(TypeBReader, CardsAnswerOnlyInTheirProtocolWithTheAntennaOn) {
    reader.access([&](sim::ReaderState&, sim::Field& f) {
        f.emplace<sim::Iso14443_4BCard>(kPupi, sim::SmartCardApp::sample());
    });
    EXPECT_EQ(ask(reader, cmd::Request, {0x01}).status, st(Status::NoCard)) << "field still in Type A";
    setIsoType(reader, sim::iso::TypeB);
    ASSERT_EQ(ask(reader, cmd::Request, {0x00}).status, kOk);
    ASSERT_EQ(ask(reader, cmd::Attrib, cat(kPupiBytes, {0x00})).status, kOk);
    ASSERT_EQ(ask(reader, sim::cmd::Antenna, {0x00}).status, kOk);
    EXPECT_EQ(ask(reader, cmd::Request, {0x01}).status, st(Status::NoCard)) << "antenna off";
    ASSERT_EQ(ask(reader, sim::cmd::Antenna, {0x01}).status, kOk);
    EXPECT_EQ(ask(reader, cmd::Apdu, selectSample()).status, st(Status::NoCard))
        << "power loss ends the session";
    EXPECT_EQ(ask(reader, cmd::Request, {0x00}).status, kOk) << "a powered-up card is idle, not halted";
}

TEST_F(TypeBReader, GetCardHonoursTheApplicationFamily) {
    setIsoType(reader, sim::iso::TypeB);
    struct Case {
        std::uint8_t requested;
        bool answers;
    } const cases[] = {{0x00, true},  {0x10, true}, {0x20, false}, {0x02, true},
                       {0x03, false}, {0x12, true}, {0x13, false}, {0x21, false}};
    for (const auto& c : cases) {
        reader.access([&](sim::ReaderState&, sim::Field& f) {
            f.clear();
            f.emplace<sim::Iso14443_4BCard>(kPupi, sim::SmartCardApp::sample(),
                                            sim::TypeBCard::ApplicationData{},
                                            sim::Iso14443_4BCard::kDefaultProtocolInfo, 0x12);
        });
        const auto response = ask(reader, cmd::GetCard, {0x00, c.requested, 0x00});
        EXPECT_EQ(response.status == kOk, c.answers) << "AFI " << int(c.requested);
        if (c.answers) {
            EXPECT_EQ(response.data.size(), 12u);
        }
    }
}

TEST_F(TypeBReader, AnAt88rf020TagAnswersTheRequestToo) {
    setIsoType(reader, sim::iso::TypeB);
    sim::At88rf020* tag = nullptr;
    reader.access([&](sim::ReaderState&, sim::Field& f) {
        tag = &f.emplace<sim::At88rf020>(sim::At88rf020::Pupi{0xA0, 0xB0, 0xC0, 0xD0},
                                         sim::At88rf020::Password{});
    });
    const auto atqb = ask(reader, cmd::Request, {0x00});
    ASSERT_EQ(atqb.status, kOk);
    EXPECT_EQ(sim::toHex(Bytes(atqb.data.begin(), atqb.data.begin() + 5)), "50 A0 B0 C0 D0");
    reader.access([&](sim::ReaderState&, sim::Field&) { tag->deselect(); });
    EXPECT_EQ(ask(reader, cmd::Request, {0x00}).status, st(Status::NoCard)) << "a sleeping tag ignores REQB";
    EXPECT_EQ(ask(reader, cmd::Request, {0x01}).status, kOk) << "WUPB wakes it";
    EXPECT_EQ(ask(reader, cmd::Request, {0x00}).status, kOk);
}

TEST_F(TypeBReader, OnlyTheCardWithThePupiGetsAttribAndTheFirstAnswerIsReported) {
    setIsoType(reader, sim::iso::TypeB);
    const sim::TypeBCard::Pupi second{0x99, 0x88, 0x77, 0x66};
    reader.access([&](sim::ReaderState&, sim::Field& f) {
        f.emplace<sim::Iso14443_4BCard>(kPupi, sim::SmartCardApp::sample());
        f.emplace<sim::Iso14443_4BCard>(
            second, std::make_unique<sim::SmartCardApp>(Bytes{0x01, 0x02}, Bytes(8, 0x5A)));
    });
    const auto atqb = ask(reader, cmd::Request, {0x00});
    ASSERT_EQ(atqb.status, kOk);
    EXPECT_EQ(Bytes(atqb.data.begin() + 1, atqb.data.begin() + 5), kPupiBytes);
    // The second card answered too and is ready for its own ATTRIB.
    ASSERT_EQ(ask(reader, cmd::Attrib, {0x99, 0x88, 0x77, 0x66, 0x00}).status, kOk);
    EXPECT_EQ(ask(reader, cmd::Apdu, {0x00, 0xA4, 0x04, 0x0C, 0x02, 0x01, 0x02}).data, (Bytes{0x90, 0x00}));
    EXPECT_EQ(ask(reader, cmd::Apdu, {0x00, 0xB0, 0x00, 0x00, 0x01}).data, (Bytes{0x5A, 0x90, 0x00}));
}

TEST_F(TypeBReader, ReadyMadeBlocksKeepTheirPrologueAndMustCarryTheCardsCid) {
    const Bytes challenge{0x00, 0x84, 0x00, 0x00, 0x04};
    struct Case {
        const char* what;
        std::uint8_t cid; // given at ATTRIB
        Bytes prologue;   // in front of the APDU
        bool answered;
    } const cases[] = {
        {"bare APDU, CID 0", 0, {}, true},
        {"PCB 02, CID 0", 0, {0x02}, true},
        {"PCB 03, CID 0", 0, {0x03}, true},
        {"PCB 0A with CID 0", 0, {0x0A, 0x00}, true},
        {"bare APDU, CID 3", 3, {}, true},
        {"PCB 02 to a card with CID 3", 3, {0x02}, false},
        {"PCB 0B with CID 3", 3, {0x0B, 0x03}, true},
        {"PCB 0A with CID 4 to CID 3", 3, {0x0A, 0x04}, false},
    };
    setIsoType(reader, sim::iso::TypeB);
    for (const auto& c : cases) {
        reader.access([&](sim::ReaderState&, sim::Field& f) {
            f.clear();
            f.emplace<sim::Iso14443_4BCard>(kPupi, sim::SmartCardApp::sample());
        });
        ASSERT_EQ(ask(reader, cmd::Request, {0x00}).status, kOk);
        ASSERT_EQ(ask(reader, cmd::Attrib, cat(kPupiBytes, {c.cid})).data, (Bytes{c.cid})) << c.what;
        const auto response = ask(reader, cmd::Apdu, cat(c.prologue, challenge));
        if (!c.answered) {
            EXPECT_EQ(response.status, st(Status::NoCard)) << c.what;
            continue;
        }
        ASSERT_EQ(response.status, kOk) << c.what;
        ASSERT_EQ(response.data.size(), c.prologue.size() + 6) << c.what;
        EXPECT_EQ(Bytes(response.data.begin(), response.data.begin() + c.prologue.size()), c.prologue)
            << c.what;
        EXPECT_EQ(sim::statusWordOf(response.data), sim::sw::Ok) << c.what;
    }
    // A card without CID support takes the block whatever the reader asked for.
    reader.access([&](sim::ReaderState&, sim::Field& f) {
        f.clear();
        f.emplace<sim::Iso14443_4BCard>(kPupi, sim::SmartCardApp::sample(), sim::TypeBCard::ApplicationData{},
                                        sim::TypeBCard::ProtocolInfo{0x00, 0x81, 0x80});
    });
    ASSERT_EQ(ask(reader, cmd::Request, {0x00}).status, kOk);
    EXPECT_EQ(ask(reader, cmd::Attrib, cat(kPupiBytes, {0x05})).data, (Bytes{0x00}));
    EXPECT_EQ(ask(reader, cmd::Apdu, cat({0x02}, challenge)).status, kOk);
}

TEST_F(TypeBReader, TypeACardAnswersRatsWithItsAtsAndThenApdus) {
    const Bytes uid{0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    reader.access([&](sim::ReaderState&, sim::Field& f) {
        f.emplace<sim::Iso14443_4ACard>(uid, sim::SmartCardApp::sample(), Bytes{0xC1, 0x05});
    });
    const Bytes ats{0x07, 0x78, 0x00, 0x81, 0x02, 0xC1, 0x05};
    run(reader,
        {
            {"RATS with nothing selected", cmd::Rats, {}, st(Status::NoCard), {}},
            {"APDU with nothing selected", cmd::Apdu, selectSample(), st(Status::NoCard), {}},
            {"get card (WUPA)", sim::cmd::TypeAGetCard, {0x52}, kOk, cat({0x44, 0x00, 0x20}, uid)},
            {"RATS", cmd::Rats, {}, kOk, ats},
            {"select", cmd::Apdu, selectSample(), kOk, Bytes{0x90, 0x00}},
            {"write", cmd::Apdu, {0x00, 0xD6, 0x00, 0x00, 0x01, 0x77}, kOk, Bytes{0x90, 0x00}},
            {"RATS to an activated card", cmd::Rats, {}, st(Status::WrongCardState), {}},
            {"still selected", cmd::Apdu, {0x00, 0xB0, 0x00, 0x00, 0x01}, kOk, Bytes{0x77, 0x90, 0x00}},
            {"a new search ends the session", sim::cmd::TypeAGetCard, {0x52}, kOk, {}},
            {"RATS again", cmd::Rats, {}, kOk, ats},
            {"nothing selected after RATS",
             cmd::Apdu,
             {0x00, 0xB0, 0x00, 0x00, 0x01},
             kOk,
             Bytes{0x69, 0x86}},
            {"lead byte 02 as a block", cmd::Apdu, cat({0x02}, selectSample()), kOk, Bytes{0x02, 0x90, 0x00}},
            {"read", cmd::Apdu, {0x00, 0xB0, 0x00, 0x00, 0x01}, kOk, Bytes{0x77, 0x90, 0x00}},
            {"deselect", cmd::Deselect, {}, kOk, Bytes{}},
            {"APDU after deselect", cmd::Apdu, selectSample(), st(Status::NoCard), {}},
            {"REQA does not wake a deselected card", sim::cmd::TypeAGetCard, {0x26}, st(Status::NoCard), {}},
            {"WUPA does", sim::cmd::TypeAGetCard, {0x52}, kOk, {}},
            // The reader's Type A reset runs RATS itself: APDUs follow at once.
            {"Type A reset", sim::cmd::TypeAReset, {0x52}, kOk, cat(uid, ats)},
            {"APDU after the reset", cmd::Apdu, selectSample(), kOk, Bytes{0x90, 0x00}},
            {"RATS after the reset's own", cmd::Rats, {}, st(Status::WrongCardState), {}},
        });
}

TEST_F(TypeBReader, RatsAndApdusNeedACardThatSpeaksIso14443_4) {
    reader.access([&](sim::ReaderState&, sim::Field& f) { f.emplace<PlainTypeA>(Bytes{1, 2, 3, 4}); });
    ASSERT_EQ(ask(reader, sim::cmd::TypeAGetCard, {0x52}).status, kOk);
    EXPECT_EQ(ask(reader, cmd::Rats).status, st(Status::CardRefused));
    EXPECT_EQ(ask(reader, cmd::Apdu, selectSample()).status, st(Status::WrongCardState));
    EXPECT_EQ(ask(reader, cmd::Deselect).status, st(Status::NoCard));
}

TEST_F(TypeBReader, IdCardRequestGivesTheNumberAndOpensTheCardForCommands) {
    const sim::IdCard::Id id{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    setIsoType(reader, sim::iso::TypeB);
    EXPECT_EQ(ask(reader, cmd::IdCardRequest).status, st(Status::NoCard));
    reader.access([&](sim::ReaderState&, sim::Field& f) { f.emplace<sim::IdCard>(id); });
    const Bytes aidSelect = cat({0x00, 0xA4, 0x04, 0x0C, 0x06}, sim::IdCardApp::defaultAid());
    run(reader, {
                    {"command before the request", cmd::IdCardCommand, aidSelect, st(Status::NoCard), {}},
                    {"request", cmd::IdCardRequest, {}, kOk, Bytes(id.begin(), id.end())},
                    {"select", cmd::IdCardCommand, aidSelect, kOk, Bytes{0x90, 0x00}},
                    {"read the record",
                     cmd::IdCardCommand,
                     {0x00, 0xB0, 0x00, 0x00, 0x06},
                     kOk,
                     Bytes{'S', 'A', 'M', 'P', 'L', 'E', 0x90, 0x00}},
                    {"the record is read-only",
                     cmd::IdCardCommand,
                     {0x00, 0xD6, 0x00, 0x00, 0x01, 0x41},
                     kOk,
                     Bytes{0x69, 0x82}},
                    {"get id as a command", cmd::IdCardCommand, sim::IdCard::getIdCommand(), kOk,
                     cat(Bytes(id.begin(), id.end()), {0x90, 0x00})},
                    {"request again", cmd::IdCardRequest, {}, kOk, Bytes(id.begin(), id.end())},
                    {"the request started afresh",
                     cmd::IdCardCommand,
                     {0x00, 0xB0, 0x00, 0x00, 0x01},
                     kOk,
                     Bytes{0x69, 0x86}},
                    {"request with data", cmd::IdCardRequest, {0x00}, st(Status::BadLength), {}},
                    {"empty command", cmd::IdCardCommand, {}, st(Status::BadLength), {}},
                });
}

TEST_F(TypeBReader, RequestsOfTheWrongLengthAnswerBadLength) {
    struct Case {
        std::uint8_t command;
        std::size_t size;
    } const cases[] = {
        {cmd::Request, 0},
        {cmd::Request, 2},
        {cmd::GetCard, 1},
        {cmd::GetCard, 4},
        {cmd::Attrib, 4},
        {cmd::Attrib, 6},
        {cmd::Halt, 3},
        {cmd::Halt, 5},
        {cmd::Rats, 1},
        {cmd::Apdu, 0},
        {cmd::Deselect, 1},
        {cmd::IdCardRequest, 2},
        {cmd::IdCardCommand, 0},
        {0x07, 0},
        {0x07, 2},
        {0x6C, 2},
        {0x6D, 0},
        {0x6E, 2},
        {0x08, 1},
        {0x66, 1},
        {0x68, 3},
        {0x6A, 1},
        {0x6A, 3},
        {0x09, 0},
        {0x67, 0},
        {0x69, 0},
        {0x6B, 0},
        {0x84, 0},
        {0x85, 2},
        {0x86, 2},
        {0x87, 0},
        {0x90, 1},
        {0x90, 3},
        {0x91, 0},
        {0x91, 2},
        {0x92, 1},
        {0x92, 3},
        {0x93, 0},
        {0x93, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ask(reader, c.command, Bytes(c.size, 0x01)).status, st(Status::BadLength))
            << "command " << std::hex << int(c.command) << " with " << std::dec << c.size << " bytes";
}

TEST_F(TypeBReader, SurvivesAnyRequestDataWithAStatusFromItsTables) {
    const std::uint8_t codes[] = {0x1C, 0x1D, 0x1E, 0x1F, 0x20, 0x28, 0x97, 0xFD, 0xFE, 0x07,
                                  0x08, 0x09, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D,
                                  0x6E, 0x84, 0x85, 0x86, 0x87, 0x90, 0x91, 0x92, 0x93};
    const std::uint8_t allowed[] = {kOk,
                                    st(Status::NoCard),
                                    st(Status::CardRefused),
                                    st(Status::WrongCardState),
                                    st(Status::BadLength),
                                    st(Status::BadParameter),
                                    sim::sam_status::Absent,
                                    sim::sam_status::Mute,
                                    sim::sam_status::NotActivated,
                                    sim::sam_status::PpsRefused};
    auto slots = std::make_shared<sim::SamSlots>();
    slots->insert(1, sim::Sam::standard());
    slots->insert(5, sim::Sam::standard());
    Reader busy;
    busy.install([&](sim::Dispatcher& d) {
        sim::installTypeA(d);
        sim::installTypeBWithSlots(d, slots);
    });
    busy.access([&](sim::ReaderState&, sim::Field& f) {
        f.emplace<sim::Iso14443_4BCard>(kPupi, sim::SmartCardApp::sample());
        f.emplace<sim::IdCard>(sim::IdCard::Id{});
        f.emplace<sim::Iso14443_4ACard>(Bytes{1, 2, 3, 4}, sim::SmartCardApp::sample());
    });
    std::mt19937 random(20240521);
    std::uniform_int_distribution<int> byte(0, 255), small(0, 12);
    for (int round = 0; round < 3000; ++round) {
        const std::uint8_t code = codes[round % std::size(codes)];
        // Mostly short requests, now and then a long one; first bytes often small
        // so that slots, modes and PUPIs are hit.
        Bytes data(round % 10 == 0 ? byte(random) % 252 : small(random));
        for (auto& b : data)
            b = static_cast<std::uint8_t>(round % 2 ? small(random) : byte(random));
        if (round % 50 == 0)
            ask(busy, sim::cmd::IsoType, {static_cast<std::uint8_t>(round % 100 ? 'B' : 'A')});
        const auto response = ask(busy, code, data);
        EXPECT_NE(std::find(std::begin(allowed), std::end(allowed), response.status), std::end(allowed))
            << "command " << int(code) << " data " << sim::toHex(data) << " status " << int(response.status);
        EXPECT_LE(response.data.size(), sim::kMaxResponseData);
    }
}

TEST(TypeBScenario, BuildsTheThreeKindsAndNamesTheMemberAtFault) {
    sim::CardKinds kinds;
    sim::addTypeBKinds(kinds);
    const auto scenario = sim::parseScenario(R"({"cards": [
        {"kind": "typeb", "pupi": "A1A2A3A4", "afi": 16, "aid": "0102", "file": "0A0B0C", "readonly": true},
        {"kind": "iso14443_4a", "uid": "04112233445566", "historical": "C105"},
        {"kind": "idcard", "id": "0102030405060708"}
    ]})",
                                             kinds);
    ASSERT_EQ(scenario.cards.size(), 3u);
    auto* typeB = dynamic_cast<sim::Iso14443_4BCard*>(scenario.cards[0].get());
    ASSERT_NE(typeB, nullptr);
    EXPECT_EQ(sim::toHex(typeB->atqb()), "50 A1 A2 A3 A4 00 00 00 00 00 81 81");
    EXPECT_EQ(typeB->afi(), 0x10);
    EXPECT_EQ(typeB->layer4().app().aid(), (Bytes{0x01, 0x02}));
    EXPECT_EQ(typeB->layer4().app().file(), (Bytes{0x0A, 0x0B, 0x0C}));
    EXPECT_EQ(typeB->layer4().app().access(), sim::SmartCardApp::Access::ReadOnly);
    auto* typeA = dynamic_cast<sim::Iso14443_4ACard*>(scenario.cards[1].get());
    ASSERT_NE(typeA, nullptr);
    EXPECT_EQ(sim::toHex(typeA->ats()), "07 78 00 81 02 C1 05");
    EXPECT_EQ(typeA->atqa()[0], 0x44);
    auto* id = dynamic_cast<sim::IdCard*>(scenario.cards[2].get());
    ASSERT_NE(id, nullptr);
    EXPECT_EQ(id->id()[7], 0x08);

    struct Bad {
        const char* card;
        const char* mentions;
    } const bad[] = {
        {R"({"kind": "typeb"})", "pupi"},
        {R"({"kind": "typeb", "pupi": "A1A2A3"})", "pupi"},
        {R"({"kind": "typeb", "pupi": "A1A2A3A4", "protocol": "008080"})", "protocol"},
        {R"({"kind": "typeb", "pupi": "A1A2A3A4", "afi": 300})", "afi"},
        {R"({"kind": "typeb", "pupi": "A1A2A3A4", "colour": "red"})", "colour"},
        {R"({"kind": "iso14443_4a", "uid": "0102030405"})", "uid"},
        {R"({"kind": "iso14443_4a", "uid": "01020304", "aid": ""})", "aid"},
        {R"({"kind": "idcard", "id": "01020304"})", "id"},
        {R"({"kind": "idcard", "id": "0102030405060708", "readonly": false})", "readonly"},
    };
    for (const auto& b : bad) {
        try {
            sim::parseScenario(std::string(R"({"cards": [)") + b.card + "]}", kinds);
            ADD_FAILURE() << "accepted " << b.card;
        } catch (const sim::ScenarioError& error) {
            EXPECT_NE(std::string(error.what()).find(b.mentions), std::string::npos) << error.what();
        }
    }
}

} // namespace
