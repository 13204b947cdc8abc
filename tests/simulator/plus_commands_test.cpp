// The reader's MIFARE Plus commands, asked directly without a front end,
// next to the Type A family that finds the cards and serves MIFARE Classic.

#include <gtest/gtest.h>

#include "simulator/cards/classic.h"
#include "simulator/cards/mifare_plus.h"
#include "simulator/commands/plus_commands.h"
#include "simulator/commands/type_a_commands.h"
#include "simulator/reader/reader.h"
#include "simulator/scenario/scenario.h"

namespace {

using sim::Bytes;
using sim::MifarePlusCard;
using sim::Status;
namespace code = sim::plus;

constexpr std::uint8_t status(Status s) { return static_cast<std::uint8_t>(s); }

Bytes withKey(Bytes head, std::uint8_t fill) {
    head.insert(head.end(), 16, fill);
    return head;
}

class PlusReader : public ::testing::Test {
  protected:
    PlusReader() {
        reader.install(sim::installMifarePlus);
        reader.install(sim::installTypeA);
    }

    sim::Response ask(std::uint8_t command, Bytes data = {}) {
        auto response = reader.process({0, command, std::move(data)});
        if (!response) ADD_FAILURE() << "no answer to command " << int(command);
        return response.value_or(sim::Response{0, command, 0xFF, {}});
    }
    // The Type A search: ATQA, SAK, UID of the card it selected.
    Bytes search() {
        const auto found = ask(sim::cmd::TypeAGetCard, {0x52});
        EXPECT_EQ(found.status, 0);
        return found.data;
    }
    MifarePlusCard& putPlus(MifarePlusCard::Size size, int level = 0) {
        return reader.access([&](sim::ReaderState&, sim::Field& f) -> MifarePlusCard& {
            return f.emplace<MifarePlusCard>(size, Bytes{0x04, 0xA1, 0xA2, 0xA3}, level);
        });
    }

    sim::Reader reader;
};

TEST_F(PlusReader, PersonaliseCommitAndSwitchThroughTheReader) {
    auto& card = putPlus(MifarePlusCard::Size::TwoK);
    EXPECT_EQ(ask(code::CommitPerso).status, status(Status::WrongCardState)) << "not selected yet";
    EXPECT_EQ(search(), (Bytes{0x04, 0x00, 0x20, 0x04, 0xA1, 0xA2, 0xA3}));

    for (const std::uint16_t address : {0x9000, 0x9001, 0x9002, 0x9003, 0x4000, 0x4001})
        ASSERT_EQ(
            ask(code::WritePerso, withKey({std::uint8_t(address >> 8), std::uint8_t(address)}, 0x11)).status,
            0)
            << address;
    EXPECT_EQ(card.key(0x4001), card.key(0x9003));
    EXPECT_EQ(ask(code::WritePerso, withKey({0x40, 0x40}, 0x11)).status, status(Status::CardAddressInvalid));
    ASSERT_EQ(ask(code::CommitPerso).status, 0);
    EXPECT_EQ(search()[2], 0x08) << "level 1 answers as a Classic 2K";

    EXPECT_EQ(ask(code::SwitchLevel, withKey({3}, 0x22)).status, status(Status::AuthFailed));
    ASSERT_EQ(ask(code::SwitchLevel, withKey({3}, 0x11)).status, 0);
    EXPECT_EQ(card.securityLevel(), 3);
    EXPECT_EQ(search()[2], 0x20);
}

TEST_F(PlusReader, LevelThreeRequestsAndTheirLengths) {
    putPlus(MifarePlusCard::Size::FourK, 3);
    search();
    // Sector 32 (blocks 128-143) has key A at 0x4040; key B of a transport
    // trailer is readable data and grants nothing, with AES keys too.
    EXPECT_EQ(ask(code::Read, {0x00, 0x80, 1}).status, status(Status::NotAuthenticated));
    ASSERT_EQ(ask(code::FirstAuthentication, withKey({0x40, 0x40}, 0xFF)).status, 0);
    EXPECT_EQ(ask(code::Read, {0x00, 0x80, 2}).data.size(), 32u);
    ASSERT_EQ(ask(code::FollowingAuthentication, withKey({0x40, 0x41}, 0xFF)).status, 0);
    EXPECT_EQ(ask(code::Read, {0x00, 0x80, 1}).status, status(Status::AccessDenied));

    const struct {
        std::uint8_t command;
        Bytes data;
    } badLengths[] = {
        {code::Read, {0x00, 0x04}},
        {code::Write, {0x00, 0x04, 1, 0}},
        {code::Write, {0x00}},
        {code::PurseRead, {0x04}},
        {code::PurseBackup, {0, 4, 0}},
        {code::CommitPerso, {0}},
        {code::SwitchLevel, {3, 1, 2}},
        {code::FirstAuthentication, {0x40}},
        {code::WritePerso, {0x90, 0x00, 1}},
    };
    for (const auto& b : badLengths)
        EXPECT_EQ(ask(b.command, b.data).status, status(Status::BadLength))
            << int(b.command) << sim::toHex(b.data);
}

TEST_F(PlusReader, WhoAnswersWhenNoPlusCardIsSelected) {
    const Bytes firstAuth = withKey({0x40, 0x00}, 0xFF);
    EXPECT_EQ(ask(code::FirstAuthentication, firstAuth).status, status(Status::NoCard));
    EXPECT_EQ(ask(code::WritePerso, {0x00, 0x01}).status, status(Status::UnknownCommand))
        << "the two-byte form belongs to the AT88RF080 request";
    reader.access([](sim::ReaderState&, sim::Field& f) {
        f.emplace<sim::ClassicCard>(sim::ClassicCard::Model::Classic1K, Bytes{0x01, 0x02, 0x03, 0x04});
    });
    search();
    EXPECT_EQ(ask(code::FirstAuthentication, firstAuth).status, status(Status::CardRefused));
    // Classic commands still reach the Classic card with the Plus handlers in front.
    ASSERT_EQ(ask(sim::cmd::ClassicAuth, {0x60, 4, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}).status, 0);
    EXPECT_EQ(ask(sim::cmd::CardRead, {4}).data, Bytes(16, 0));
}

TEST_F(PlusReader, LevelOneAnswersTheClassicCommands) {
    auto& card = putPlus(MifarePlusCard::Size::TwoK, 1);
    search();
    const Bytes auth{0x60, 8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    ASSERT_EQ(ask(sim::cmd::ClassicAuth, auth).status, 0);
    Bytes write{9};
    write.insert(write.end(), 16, 0x99);
    ASSERT_EQ(ask(sim::cmd::CardWrite, write).status, 0);
    EXPECT_EQ(ask(sim::cmd::CardRead, {9}).data, Bytes(16, 0x99));
    ASSERT_EQ(ask(sim::cmd::PurseCreate, {10, 0x10, 0, 0, 0}).status, 0);
    ASSERT_EQ(ask(sim::cmd::PurseIncrement, {10, 0x01, 0, 0, 0}).status, 0);
    ASSERT_EQ(ask(sim::cmd::PurseRestore, {10}).status, 0);
    ASSERT_EQ(ask(sim::cmd::PurseTransfer, {8}).status, 0);
    EXPECT_EQ(ask(sim::cmd::PurseRead, {8}).data, (Bytes{0x11, 0, 0, 0}));
    Bytes multi{8, 2};
    multi.insert(multi.end(), 32, 0x42);
    ASSERT_EQ(ask(sim::cmd::ClassicMultiWrite, multi).status, 0);
    EXPECT_EQ(ask(sim::cmd::ClassicMultiRead, {8, 2}).data, Bytes(32, 0x42));
    EXPECT_EQ(ask(sim::cmd::ClassicMultiRead, {8, 0}).status, status(Status::BadParameter));

    // The 2K ends at block 127; a refusal drops the card like any Classic NAK.
    EXPECT_EQ(ask(sim::cmd::ClassicAuth, {0x60, 128, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}).status,
              status(Status::CardAddressInvalid));
    EXPECT_EQ(ask(sim::cmd::CardRead, {9}).status, status(Status::NoCard)) << "deselected after the refusal";
    search();
    EXPECT_EQ(ask(sim::cmd::ClassicAuth, {0x60, 8, 0, 0, 0, 0, 0, 0}).status, status(Status::AuthFailed));
    EXPECT_EQ(ask(sim::cmd::CardRead, {9}).status, status(Status::NoCard));

    ASSERT_EQ(
        card.switchLevel(3, std::array<std::uint8_t, 16>{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                         0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
        Status::Ok);
    search();
    EXPECT_EQ(ask(sim::cmd::ClassicAuth, auth).status, status(Status::WrongCardState))
        << "no Crypto1 at level 3";
}

TEST_F(PlusReader, LevelTwoServesClassicCommandsAfterTheSectorsAesKey) {
    auto& card = putPlus(MifarePlusCard::Size::TwoK, 1);
    ASSERT_EQ(ask(code::SwitchLevel, withKey({2}, 0xFF)).status, status(Status::WrongCardState))
        << "not selected";
    search();
    ASSERT_EQ(ask(code::SwitchLevel, withKey({2}, 0xFF)).status, 0);
    EXPECT_EQ(search()[2], 0x10);

    const Bytes auth{0x60, 4, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(ask(sim::cmd::ClassicAuth, auth).status, status(Status::NotAuthenticated));
    EXPECT_EQ(ask(sim::cmd::CardRead, {4}).status, status(Status::NoCard)) << "the refusal drops the card";
    search();
    EXPECT_EQ(ask(sim::cmd::ClassicAuthStored, {0x60, 4, 0}).status, status(Status::NotAuthenticated));
    search();
    ASSERT_EQ(ask(code::FirstAuthentication, withKey({0x40, 0x02}, 0xFF)).status, 0);
    EXPECT_EQ(ask(sim::cmd::CardRead, {4}).status, status(Status::NotAuthenticated)) << "Crypto1 still due";
    search();
    ASSERT_EQ(ask(code::BlockAuthentication, withKey({0, 0x00, 0x05}, 0xFF)).status, 0);
    ASSERT_EQ(ask(sim::cmd::ClassicAuth, auth).status, 0);
    ASSERT_EQ(ask(sim::cmd::PurseCreate, {5, 0xE8, 0x03, 0, 0}).status, 0);
    ASSERT_EQ(ask(sim::cmd::PurseDecrement, {5, 0x08, 0, 0, 0}).status, 0);
    EXPECT_EQ(ask(sim::cmd::PurseRead, {5}).data, (Bytes{0xE0, 0x03, 0, 0}));
    EXPECT_EQ(ask(code::Read, {0x00, 0x05, 1}).status, status(Status::WrongCardState)) << "no AES reads";
    EXPECT_EQ(card.securityLevel(), 2);
}

} // namespace

namespace {

TEST(PlusScenarioKinds, BuildCardsOfEachSizeAndLevel) {
    sim::CardKinds kinds;
    sim::addPlusKinds(kinds);
    const auto scenario = sim::parseScenario(R"({"cards": [
        {"kind": "mifareplus2k", "uid": "04112233"},
        {"kind": "mifareplus4k", "uid": "04 11 22 33 44 55 66", "level": 3}]})",
                                             kinds);
    ASSERT_EQ(scenario.cards.size(), 2u);
    const auto* twoK = dynamic_cast<const MifarePlusCard*>(scenario.cards[0].get());
    const auto* fourK = dynamic_cast<const MifarePlusCard*>(scenario.cards[1].get());
    ASSERT_TRUE(twoK && fourK);
    EXPECT_EQ(twoK->size(), MifarePlusCard::Size::TwoK);
    EXPECT_EQ(twoK->securityLevel(), 0);
    EXPECT_FALSE(twoK->personalised(0x9000));
    EXPECT_EQ(fourK->securityLevel(), 3);
    EXPECT_EQ(fourK->uid().size(), 7u);
    EXPECT_TRUE(fourK->personalised(0x404F));

    for (const char* bad : {R"({"cards": [{"kind": "mifareplus2k", "uid": "0411"}]})",
                            R"({"cards": [{"kind": "mifareplus2k", "uid": "04112233", "level": 4}]})"})
        EXPECT_THROW(sim::parseScenario(bad, kinds), sim::ScenarioError) << bad;
}

} // namespace
