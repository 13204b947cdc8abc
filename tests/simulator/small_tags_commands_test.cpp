// The reader's ST, AT88RF020 and USSEN commands, asked directly without a
// front end: selection rules, the shared command codes and request checks.

#include <gtest/gtest.h>

#include <random>

#include "simulator/cards/at88rf020.h"
#include "simulator/cards/mifare_plus.h"
#include "simulator/cards/st_tags.h"
#include "simulator/cards/ussen.h"
#include "simulator/commands/plus_commands.h"
#include "simulator/commands/small_tag_commands.h"
#include "simulator/reader/reader.h"
#include "simulator/reader/reader_control.h"
#include "simulator/scenario/scenario.h"

namespace {

using sim::Bytes;
using sim::Status;
namespace st = sim::smalltags;

constexpr std::uint8_t status(Status s) { return static_cast<std::uint8_t>(s); }

class SmallTagReader : public ::testing::Test {
  protected:
    SmallTagReader() { reader.install(sim::installSmallTags); }

    sim::Response ask(std::uint8_t command, Bytes data = {}) {
        auto response = reader.process({0, command, std::move(data)});
        if (!response) ADD_FAILURE() << "no answer to command " << int(command);
        return response.value_or(sim::Response{0, command, 0xFF, {}});
    }
    void field(std::uint8_t protocol) { ask(sim::cmd::IsoType, {protocol}); }
    template <class C, class... Args> C& put(Args&&... args) {
        return reader.access([&](sim::ReaderState&, sim::Field& f) -> C& { return f.emplace<C>(args...); });
    }

    sim::Reader reader;
};

const sim::StUid kUid{0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x02, 0xD0};

TEST_F(SmallTagReader, StSelectFindsOnlyTagsOfTheStProtocol) {
    put<sim::Sr176>(kUid, 5);
    EXPECT_EQ(ask(st::StSelect).status, status(Status::NoCard)) << "field still in Type A";
    field(sim::iso::StShortRange);
    const auto selected = ask(st::StSelect);
    ASSERT_EQ(selected.status, 0);
    EXPECT_EQ(selected.data, Bytes{5});
    ask(sim::cmd::Antenna, {0});
    EXPECT_EQ(ask(st::StSelect).status, status(Status::NoCard));
    EXPECT_EQ(ask(st::StSelect, {0}).status, status(Status::BadLength));
}

TEST_F(SmallTagReader, BlockCommandsNeedTheSelectedTagOfTheirKind) {
    field(sim::iso::StShortRange);
    EXPECT_EQ(ask(st::Sr176Read, {4}).status, status(Status::NoCard));
    put<sim::Srix4k>(1);
    const struct {
        std::uint8_t code;
        Bytes data;
    } sr176Commands[] = {{st::Sr176Read, {4}},
                         {st::Sr176Write, {4, 1, 2}},
                         {st::Sr176Protect, {1}},
                         {st::Sr176ProtectRegister, {}},
                         {st::Sr176MultiRead, {4, 2}}};
    for (const auto& c : sr176Commands)
        EXPECT_EQ(ask(c.code, c.data).status, status(Status::WrongCardState))
            << "before select " << int(c.code);
    ASSERT_EQ(ask(st::StSelect).status, 0);
    for (const auto& c : sr176Commands)
        EXPECT_EQ(ask(c.code, c.data).status, status(Status::WrongCardState))
            << "SRIX selected " << int(c.code);
    EXPECT_EQ(ask(st::SrixRead, {16}).status, 0);

    ASSERT_EQ(ask(st::StCompletion).status, 0);
    EXPECT_EQ(ask(st::SrixRead, {16}).status, status(Status::WrongCardState));
    EXPECT_EQ(ask(st::StSelect).status, status(Status::NoCard)) << "a completed tag stays silent";
    ask(sim::cmd::Antenna, {0});
    ask(sim::cmd::Antenna, {1});
    EXPECT_EQ(ask(st::StSelect).status, 0) << "until the field resets it";
}

TEST_F(SmallTagReader, WithBothStKindsOnTheReaderTheSecondIsReachedOnlyOnItsOwn) {
    field(sim::iso::StShortRange);
    auto& sr = put<sim::Sr176>(kUid, 5);
    auto& srix = put<sim::Srix4k>(0x1234);
    srix.setBlock(16, {0xDE, 0xAD, 0xBE, 0xEF});
    // The select reaches the first tag, whichever page asks.
    const auto selected = ask(st::StSelect);
    ASSERT_EQ(selected.status, 0);
    EXPECT_EQ(selected.data, Bytes{5});
    EXPECT_EQ(ask(st::Sr176Read, {0}).data, (Bytes{0x10, 0x20}));
    EXPECT_EQ(ask(st::SrixRead, {16}).status, status(Status::WrongCardState));
    EXPECT_EQ(ask(st::SrixUid).status, status(Status::WrongCardState));

    // The SR176 taken off the reader (the desk): the next select finds the SRIX4K.
    std::unique_ptr<sim::Card> aside =
        reader.access([&](sim::ReaderState&, sim::Field& f) { return f.remove(sr); });
    ASSERT_TRUE(aside);
    ASSERT_EQ(ask(st::StSelect).status, 0);
    EXPECT_EQ(ask(st::SrixRead, {16}).data, (Bytes{0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_EQ(ask(st::SrixUid).data, Bytes(srix.uid().begin(), srix.uid().end()));
}

TEST_F(SmallTagReader, StReadsWritesAndMultiBlockAccess) {
    field(sim::iso::StShortRange);
    auto& sr = put<sim::Sr176>(kUid, 1);
    ASSERT_EQ(ask(st::StSelect).status, 0);
    ASSERT_EQ(ask(st::Sr176Write, {6, 0xAA, 0x55}).status, 0);
    EXPECT_EQ(ask(st::Sr176Read, {6}).data, (Bytes{0xAA, 0x55}));
    // 0x89 with 2-byte blocks while the SR176 is selected.
    ASSERT_EQ(ask(st::StMultiWrite, {7, 2, 1, 2, 3, 4}).status, 0);
    EXPECT_EQ(ask(st::Sr176MultiRead, {6, 3}).data, (Bytes{0xAA, 0x55, 1, 2, 3, 4}));
    EXPECT_EQ(ask(st::Sr176MultiRead, {0, 4}).data, Bytes(kUid.begin(), kUid.end()));
    const struct {
        std::uint8_t code;
        Bytes data;
        Status expected;
    } refusals[] = {
        {st::Sr176MultiRead, {0, 0}, Status::BadParameter},
        {st::Sr176MultiRead, {14, 3}, Status::CardAddressInvalid},
        {st::StMultiWrite, {2, 2, 1, 2, 3, 4}, Status::AccessDenied},  // UID block first
        {st::StMultiWrite, {14, 2, 1, 2, 3, 4}, Status::AccessDenied}, // block 15 second
        {st::StMultiWrite, {4, 0}, Status::BadParameter},
        {st::Sr176Read, {}, Status::BadLength},
        {st::Sr176Write, {4, 1}, Status::BadLength},
    };
    for (const auto& r : refusals)
        EXPECT_EQ(ask(r.code, r.data).status, status(r.expected)) << int(r.code) << " " << sim::toHex(r.data);
    EXPECT_EQ(ask(st::Sr176Read, {14}).data, (Bytes{1, 2})) << "the block before a refusal stays written";

    // Protection through the reader: register read back at once, effect after a new select.
    ASSERT_EQ(ask(st::Sr176Protect, {0x08}).status, 0);
    EXPECT_EQ(ask(st::Sr176ProtectRegister).data, Bytes{0x08});
    EXPECT_EQ(ask(st::Sr176Write, {6, 0, 0}).status, 0);
    ASSERT_EQ(ask(st::StSelect).status, 0);
    EXPECT_EQ(ask(st::Sr176Write, {6, 0, 0}).status, status(Status::AccessDenied));
    EXPECT_TRUE(sr.isProtected(7));

    // 4-byte blocks are not an SR176's: 0x89 is left to other families.
    EXPECT_EQ(ask(st::StMultiWrite, {4, 1, 1, 2, 3, 4}).status, status(Status::UnknownCommand));
}

TEST_F(SmallTagReader, SrixReadsStopAtTheFrameAndTheMemory) {
    field(sim::iso::StShortRange);
    put<sim::Srix4k>(0x123456);
    ASSERT_EQ(ask(st::StSelect).status, 0);
    EXPECT_EQ(ask(st::SrixMultiRead, {0, 62}).data.size(), 248u);
    EXPECT_EQ(ask(st::SrixMultiRead, {0, 63}).status, status(Status::BadParameter))
        << "would not fit a frame";
    EXPECT_EQ(ask(st::SrixMultiRead, {127, 2}).status, status(Status::CardAddressInvalid));
    EXPECT_EQ(ask(st::SrixRead, {128}).status, status(Status::CardAddressInvalid));
    EXPECT_EQ(ask(st::SrixAuthenticate, {1, 2, 3}).status, status(Status::BadLength));
}

TEST_F(SmallTagReader, At88CommandsAndTheRequestSharedWithMifarePlus) {
    reader.install(sim::installMifarePlus);
    const sim::At88rf020::Password password{8, 7, 6, 5, 4, 3, 2, 1};
    auto& tag =
        put<sim::At88rf020>(sim::At88rf020::Pupi{0xB1, 0xB2, 0xB3, 0xB4}, password,
                            sim::At88rf020::ApplicationData{0x35, 0x01, 0x02, 0x03}, std::uint8_t{0x35});
    EXPECT_EQ(ask(st::At88Read, {1}).status, status(Status::NoCard)) << "field in Type A";
    field(sim::iso::TypeB);
    EXPECT_EQ(ask(st::At88Read, {4}).status, status(Status::NotAuthenticated));
    ASSERT_EQ(ask(st::At88Check, Bytes(password.begin(), password.end())).status, 0);
    Bytes pages{4, 2};
    for (int i = 0; i < 16; ++i)
        pages.push_back(static_cast<std::uint8_t>(i));
    ASSERT_EQ(ask(st::At88MultiWrite, pages).status, 0);
    EXPECT_EQ(ask(st::At88MultiRead, {4, 2}).data, Bytes(pages.begin() + 2, pages.end()));
    EXPECT_EQ(ask(st::At88MultiRead, {2, 2}).status, status(Status::AccessDenied)) << "page 3 is never read";
    EXPECT_EQ(ask(st::At88MultiWrite, {4, 1, 1}).status, status(Status::BadLength));
    ASSERT_EQ(ask(st::At88Count, {1, 2, 3, 4, 5, 6}).status, 0);
    EXPECT_EQ(ask(st::At88Read, {2}).data, (Bytes{1, 2, 3, 4, 5, 6, 1, 0}));

    ASSERT_EQ(ask(st::At88Deselect).status, 0);
    EXPECT_EQ(ask(st::At88Read, {1}).status, status(Status::NoCard)) << "asleep";

    // 0x70 with two bytes: mode, AFI.
    const struct {
        Bytes request;
        std::uint8_t expected;
    } requests[] = {
        {{0x00, 0x00}, status(Status::NoCard)},       // a request does not wake a sleeping tag
        {{0x02, 0x00}, status(Status::BadParameter)}, // no such mode
        {{0x01, 0x40}, status(Status::NoCard)},       // another family
        {{0x01, 0x06}, status(Status::NoCard)},       // another sub-family
        {{0x01, 0x05}, 0},                            // any family of sub-family 5
        {{0x00, 0x35}, 0},                            // awake now
    };
    for (const auto& r : requests) {
        const auto response = ask(st::At88Request, r.request);
        EXPECT_EQ(response.status, r.expected) << sim::toHex(r.request);
        if (r.expected == 0) {
            EXPECT_EQ(response.data, (Bytes{0xB1, 0xB2, 0xB3, 0xB4, 0x35, 0x01, 0x02, 0x03}));
        }
    }
    EXPECT_FALSE(tag.halted());
    EXPECT_EQ(ask(st::At88Read, {4}).status, status(Status::NotAuthenticated)) << "deselect closed the tag";

    // The other lengths of 0x70 belong to the MIFARE Plus personalisation write.
    Bytes perso{0x90, 0x00};
    perso.resize(18, 0xFF);
    EXPECT_EQ(ask(st::At88Request, perso).status, status(Status::CardRefused)) << "the AT88 tag is selected";
    EXPECT_EQ(ask(st::At88Request, {0x01}).status, status(Status::BadLength));
}

TEST_F(SmallTagReader, UssenGetCardAndMemory) {
    const Bytes uid{0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6};
    auto& card = put<sim::UssenCard>(uid, 0x0A0B0C);
    const Bytes info = card.cardInfo();
    EXPECT_EQ(ask(st::Ussen, {st::UssenReadMemory, 4}).status, status(Status::WrongCardState));

    const auto got = ask(st::Ussen, {st::UssenGetCard, 0x26});
    ASSERT_EQ(got.status, 0);
    EXPECT_EQ(got.data, info);

    Bytes write{st::UssenWriteMemory, 5, 'h', 'e', 'l', 'l', 'o'};
    ASSERT_EQ(ask(st::Ussen, write).status, 0);
    EXPECT_EQ(ask(st::Ussen, {st::UssenReadMemory, 5}).data, (Bytes{'h', 'e', 'l', 'l', 'o'}));
    EXPECT_EQ(ask(st::Ussen, {st::UssenReadMemory, 128}).data.size(), 128u);

    const struct {
        Bytes request;
        Status expected;
    } refusals[] = {
        {{}, Status::BadLength},
        {{0x7F}, Status::BadParameter},
        {{st::UssenGetCard}, Status::BadLength},
        {{st::UssenGetCard, 0x27}, Status::BadParameter},
        {{st::UssenWriteMemory, 3, 1, 2}, Status::BadLength},
        {{st::UssenReadMemory, 129}, Status::CardAddressInvalid},
        {{st::UssenReadMemory, 251}, Status::BadParameter},
        {{st::UssenGetCardWithParameters, 0x52, 0x0C, 0x0B, 0x0A, 0, 1, 0}, Status::BadLength},
        {{st::UssenGetCardWithParameters, 0x52, 0x0D, 0x0B, 0x0A, 0, 0, 0, 0}, Status::NoCard},
        {{st::UssenGetCardWithParameters, 0x52, 0x0C, 0x0B, 0x0A, 120, 9, 0, 0}, Status::CardAddressInvalid},
    };
    for (const auto& r : refusals)
        EXPECT_EQ(ask(st::Ussen, r.request).status, status(r.expected)) << sim::toHex(r.request);

    Bytes memoryWrite{st::UssenWriteMemory, 129};
    memoryWrite.resize(2 + 129, 0x77);
    EXPECT_EQ(ask(st::Ussen, memoryWrite).status, status(Status::CardAddressInvalid));

    // With parameters: the application identifier picks the card, b1/b2 a memory excerpt.
    const auto withMemory =
        ask(st::Ussen, {st::UssenGetCardWithParameters, 0x52, 0x0C, 0x0B, 0x0A, 1, 3, 0, 0});
    ASSERT_EQ(withMemory.status, 0);
    Bytes expected = info;
    expected.insert(expected.end(), {'e', 'l', 'l'});
    EXPECT_EQ(withMemory.data, expected);

    // A halted card answers only the wake-up mode.
    card.setHalted(true);
    EXPECT_EQ(ask(st::Ussen, {st::UssenReadMemory, 1}).status, status(Status::WrongCardState));
    EXPECT_EQ(ask(st::Ussen, {st::UssenGetCard, 0x26}).status, status(Status::NoCard));
    EXPECT_EQ(ask(st::Ussen, {st::UssenGetCard, 0x52}).status, 0);
    EXPECT_FALSE(card.halted());
}

// No request data, however short, long or odd, may crash the reader or make
// a model throw (which the reader would turn into InternalError).
TEST_F(SmallTagReader, AnyRequestDataGetsAnOrdinaryAnswer) {
    reader.install(sim::installMifarePlus);
    std::mt19937 random(20240607);
    const std::uint8_t codes[] = {0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x29, 0x2A, 0x2B, 0x2C,
                                  0x2D, 0x2E, 0x2F, 0x30, 0x31, 0x32, 0x70, 0x71, 0x72, 0x73,
                                  0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x7B, 0x7C, 0x83,
                                  0x89, 0x8A, 0x8B, 0x8C, 0x8E, 0xE0, 0x12, 0x13, 0x14, 0x88};
    const std::uint8_t protocols[] = {sim::iso::StShortRange, sim::iso::TypeB, sim::iso::TypeA};
    put<sim::Sr176>(kUid, 1);
    put<sim::Srix4k>(2);
    put<sim::At88rf020>(sim::At88rf020::Pupi{1, 2, 3, 4}, sim::At88rf020::Password{});
    put<sim::UssenCard>(Bytes{1, 2, 3, 4});
    auto& plus = put<sim::MifarePlusCard>(sim::MifarePlusCard::Size::TwoK, Bytes{5, 6, 7, 8}, 1);
    for (const std::uint8_t protocol : protocols) {
        field(protocol);
        for (int round = 0; round < 300; ++round) {
            if (round % 50 == 0) {
                ask(st::StSelect);
                ask(st::Ussen, {st::UssenGetCard, 0x52});
                if (round % 100 == 0)
                    reader.access([&](sim::ReaderState&, sim::Field& f) {
                        if (protocol == sim::iso::TypeA) f.select(&plus);
                    });
            }
            const std::uint8_t code = codes[random() % std::size(codes)];
            Bytes data(random() % 40);
            for (auto& b : data)
                b = static_cast<std::uint8_t>(random() % 4 == 0 ? 0 : random());
            const auto response = ask(code, data);
            EXPECT_NE(response.status, status(Status::InternalError)) << int(code) << " " << sim::toHex(data);
        }
    }
}

} // namespace

namespace {

TEST(SmallTagScenarioKinds, BuildEveryKindWithItsMembers) {
    sim::CardKinds kinds;
    sim::addSmallTagKinds(kinds);
    const auto scenario = sim::parseScenario(R"({"cards": [
        {"kind": "sr176", "uid": "10203040506002D0", "chip_id": 9},
        {"kind": "srix4k", "serial": 77},
        {"kind": "at88rf020", "pupi": "CAFEBABE", "password": "0102030405060708", "afi": 48},
        {"kind": "ussen", "uid": "01020304", "application_id": 65536, "memory": 32}]})",
                                             kinds);
    ASSERT_EQ(scenario.cards.size(), 4u);
    auto* sr = dynamic_cast<sim::Sr176*>(scenario.cards[0].get());
    auto* srix = dynamic_cast<sim::Srix4k*>(scenario.cards[1].get());
    auto* at88 = dynamic_cast<sim::At88rf020*>(scenario.cards[2].get());
    auto* ussen = dynamic_cast<sim::UssenCard*>(scenario.cards[3].get());
    ASSERT_TRUE(sr && srix && at88 && ussen);
    EXPECT_EQ(sr->initiate(), 9);
    EXPECT_EQ(sr->uid(), kUid);
    EXPECT_EQ(srix->uid(), sim::Srix4k(77).uid());
    EXPECT_EQ(at88->pupi(), (sim::At88rf020::Pupi{0xCA, 0xFE, 0xBA, 0xBE}));
    EXPECT_EQ(at88->afi(), 48);
    EXPECT_EQ(at88->check(Bytes{1, 2, 3, 4, 5, 6, 7, 8}), Status::Ok);
    EXPECT_EQ(ussen->applicationId(), 0x010000u);
    EXPECT_EQ(ussen->memorySize(), 32u);

    // Memory as programmed before the tag reached the reader.
    const auto programmed = sim::parseScenario(R"({"cards": [
        {"kind": "sr176", "uid": "10203040506002D0", "blocks": {"4": "A1A2", "0x0E": "E1E2"}, "comment": "c"},
        {"kind": "srix4k", "blocks": {"0": "0F0F0F0F", "127": "7F7F7F7F"}, "comment": "c"},
        {"kind": "at88rf020", "pupi": "CAFEBABE", "pages": {"1": "1111111111111111", "31": "3131313131313131"}},
        {"kind": "ussen", "uid": "01020304", "comment": "c"}]})",
                                               kinds);
    ASSERT_EQ(programmed.cards.size(), 4u);
    Bytes data;
    auto* sr176 = dynamic_cast<sim::Sr176*>(programmed.cards[0].get());
    ASSERT_EQ(sr176->readBlock(4, data), Status::Ok);
    EXPECT_EQ(data, (Bytes{0xA1, 0xA2}));
    ASSERT_EQ(sr176->readBlock(14, data), Status::Ok);
    EXPECT_EQ(data, (Bytes{0xE1, 0xE2}));
    auto* srix4k = dynamic_cast<sim::Srix4k*>(programmed.cards[1].get());
    ASSERT_EQ(srix4k->readBlock(0, data), Status::Ok);
    EXPECT_EQ(data, (Bytes{0x0F, 0x0F, 0x0F, 0x0F}));
    ASSERT_EQ(srix4k->readBlock(127, data), Status::Ok);
    EXPECT_EQ(data, (Bytes{0x7F, 0x7F, 0x7F, 0x7F}));
    auto* tag = dynamic_cast<sim::At88rf020*>(programmed.cards[2].get());
    ASSERT_EQ(tag->readPage(1, data), Status::Ok);
    EXPECT_EQ(data, Bytes(8, 0x11));
    ASSERT_EQ(tag->check(Bytes(8, 0)), Status::Ok);
    ASSERT_EQ(tag->readPage(31, data), Status::Ok);
    EXPECT_EQ(data, Bytes(8, 0x31));

    for (const char* bad :
         {R"({"cards": [{"kind": "sr176", "uid": "10203040"}]})",
          R"({"cards": [{"kind": "sr176", "uid": "10203040506002D0", "blocks": {"3": "0102"}}]})",
          R"({"cards": [{"kind": "sr176", "uid": "10203040506002D0", "blocks": {"15": "0102"}}]})",
          R"({"cards": [{"kind": "sr176", "uid": "10203040506002D0", "blocks": {"4": "01"}}]})",
          R"({"cards": [{"kind": "sr176", "uid": "10203040506002D0", "blocks": ["0102"]}]})",
          R"({"cards": [{"kind": "sr176", "uid": "10203040506002D0", "chip": 1}]})",
          R"({"cards": [{"kind": "srix4k", "blocks": {"128": "01020304"}}]})",
          R"({"cards": [{"kind": "srix4k", "blocks": {"4x": "01020304"}}]})",
          R"({"cards": [{"kind": "srix4k", "blocks": {"256": "01020304"}}]})",
          R"({"cards": [{"kind": "srix4k", "uid": "01"}]})",
          R"({"cards": [{"kind": "at88rf020", "pupi": "CAFEBABE", "pages": {"0": "0000000000000000"}}]})",
          R"({"cards": [{"kind": "at88rf020", "pupi": "CAFEBABE", "pages": {"2": "0000000000000000"}}]})",
          R"({"cards": [{"kind": "at88rf020", "pupi": "CAFEBABE", "pages": {"3": "0000000000000000"}}]})",
          R"({"cards": [{"kind": "at88rf020", "pupi": "CAFEBABE", "pages": {"4": "00"}}]})",
          R"({"cards": [{"kind": "at88rf020", "pupi": "CAFEBABE", "page": {}}]})",
          R"({"cards": [{"kind": "ussen", "uid": "01020304", "size": 3}]})",
          R"({"cards": [{"kind": "sr176", "uid": "10203040506002D0", "chip_id": 16}]})",
          R"({"cards": [{"kind": "at88rf020", "pupi": "CAFEBABE", "password": "01"}]})",
          R"({"cards": [{"kind": "ussen", "uid": "010203"}]})",
          R"({"cards": [{"kind": "ussen", "uid": "01020304", "memory": 0}]})"})
        EXPECT_THROW(sim::parseScenario(bad, kinds), sim::ScenarioError) << bad;
}

} // namespace
