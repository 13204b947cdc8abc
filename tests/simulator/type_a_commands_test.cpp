// The Type A commands as the reader answers them, asked directly without a
// front end: searching, cascade levels, halt, the key store, request lengths
// and the shared multi-block write code.

#include <gtest/gtest.h>

#include <random>

#include "simulator/cards/classic.h"
#include "simulator/cards/ultralight.h"
#include "simulator/commands/type_a_commands.h"
#include "simulator/reader/reader.h"

namespace {

using sim::Bytes;
using sim::ClassicCard;
using sim::Field;
using sim::ReaderState;
using sim::Status;
using sim::UltralightCard;

constexpr std::uint8_t st(Status s) { return static_cast<std::uint8_t>(s); }

// A Type A card of some other family, with an ATS.
class OtherTypeACard : public sim::TypeACard {
  public:
    explicit OtherTypeACard(Bytes uid) : TypeACard(std::move(uid), {0x44, 0x03}, 0x20) {}
    std::string describe() const override { return "other"; }
    Bytes ats() const override { return {0x75, 0x77, 0x81, 0x02}; }
};

class TypeACommands : public testing::Test {
  protected:
    TypeACommands() { reader.install(sim::installTypeA); }

    sim::Response ask(std::uint8_t command, Bytes data = {}) {
        auto response = reader.process({0, command, std::move(data)});
        if (!response) ADD_FAILURE() << "no answer to command " << int(command);
        return response.value_or(sim::Response{});
    }
    std::uint8_t status(std::uint8_t command, Bytes data = {}) {
        return ask(command, std::move(data)).status;
    }

    template <class C, class... Args> C& add(Args&&... args) {
        return reader.access(
            [&](ReaderState&, Field& f) -> C& { return f.emplace<C>(std::forward<Args>(args)...); });
    }
    sim::Card* selected() {
        return reader.access([](ReaderState&, Field& f) { return f.selected(); });
    }

    sim::Reader reader;
};

const Bytes kUid4{0x11, 0x22, 0x33, 0x44};
const Bytes kUid7{0x04, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};
const Bytes kKeyFF{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(TypeACommands, EveryCommandChecksItsRequestLengthFirst) {
    add<ClassicCard>(ClassicCard::Model::Classic1K, kUid4);
    struct Case {
        std::uint8_t command;
        std::size_t length;
    } const cases[] = {{0x0C, 1}, {0x0D, 1},  {0x0F, 0}, {0x10, 1}, {0x11, 3},  {0x12, 8},
                       {0x13, 1}, {0x14, 17}, {0x15, 5}, {0x16, 1}, {0x17, 5},  {0x18, 5},
                       {0x19, 1}, {0x1A, 1},  {0x1B, 1}, {0x34, 5}, {0x36, 16}, {0x80, 1},
                       {0x81, 5}, {0x82, 7},  {0x88, 2}, {0x94, 0}};
    for (const auto& c : cases) {
        ASSERT_EQ(ask(0x10, {0x52}).status, 0);
        EXPECT_EQ(status(c.command, Bytes(c.length + 1, 0x01)), st(Status::BadLength))
            << std::hex << int(c.command);
        if (c.length > 0) {
            EXPECT_EQ(status(c.command, Bytes(c.length - 1, 0x01)), st(Status::BadLength))
                << std::hex << int(c.command);
        }
    }
    for (const std::size_t size : {0, 3, 5, 6, 8, 11})
        EXPECT_EQ(status(0x0E, Bytes(size, 0x11)), st(Status::BadLength)) << size;
}

TEST_F(TypeACommands, RequestAnswersTheAtqaOfEveryCardThatHearsIt) {
    EXPECT_EQ(status(0x0C, {0x26}), st(Status::NoCard)) << "empty field";
    add<ClassicCard>(ClassicCard::Model::Classic4K, kUid4);
    const auto one = ask(0x0C, {0x26});
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(one.data, (Bytes{0x02, 0x00}));
    add<UltralightCard>(UltralightCard::Model::Ultralight, kUid7);
    EXPECT_EQ(ask(0x0C, {0x52}).data, (Bytes{0x46, 0x00})) << "answers collide bit by bit";
    EXPECT_EQ(status(0x0C, {0x27}), st(Status::BadParameter));
}

TEST_F(TypeACommands, HaltedCardsOnlyAnswerAWakeUp) {
    add<ClassicCard>(ClassicCard::Model::Classic1K, kUid4);
    ASSERT_EQ(status(0x10, {0x26}), 0);
    EXPECT_EQ(status(0x0F), 0);
    EXPECT_EQ(selected(), nullptr);
    EXPECT_EQ(status(0x0F), st(Status::NoCard)) << "nothing selected to halt";
    EXPECT_EQ(status(0x0C, {0x26}), st(Status::NoCard));
    EXPECT_EQ(status(0x10, {0x26}), st(Status::NoCard));
    EXPECT_EQ(status(0x0C, {0x52}), 0);
    EXPECT_EQ(status(0x0C, {0x26}), 0) << "the wake-up brought it back to idle";

    // Leaving the field (antenna off and on) also ends the halt.
    ASSERT_EQ(status(0x10, {0x26}), 0);
    ASSERT_EQ(status(0x0F), 0);
    ASSERT_EQ(status(0x0B, {0}), 0);
    ASSERT_EQ(status(0x0B, {1}), 0);
    EXPECT_EQ(status(0x0C, {0x26}), 0);
}

TEST_F(TypeACommands, SearchPicksTheLowestUidAndHaltLetsTheNextCardAnswer) {
    add<UltralightCard>(UltralightCard::Model::Ultralight, kUid7);
    add<ClassicCard>(ClassicCard::Model::Classic1K, kUid4);
    add<ClassicCard>(ClassicCard::Model::Classic4K, Bytes{0x22, 0x00, 0x00, 0x01});

    const Bytes first = concat({0x44, 0x00, 0x00}, kUid7); // 04 A1 ... is the lowest UID
    EXPECT_EQ(ask(0x10, {0x26}).data, first);
    EXPECT_EQ(ask(0x10, {0x26}).data, first) << "the same field gives the same card";
    ASSERT_EQ(status(0x0F), 0);
    EXPECT_EQ(ask(0x10, {0x26}).data, concat({0x04, 0x00, 0x08}, kUid4));
    ASSERT_EQ(status(0x0F), 0);
    EXPECT_EQ(ask(0x10, {0x26}).data, (Bytes{0x02, 0x00, 0x18, 0x22, 0x00, 0x00, 0x01}));
    ASSERT_EQ(status(0x0F), 0);
    EXPECT_EQ(status(0x10, {0x26}), st(Status::NoCard));
    EXPECT_EQ(ask(0x10, {0x52}).data, first) << "a wake-up reaches the halted cards";
}

TEST_F(TypeACommands, CascadeLevelsResolveASevenByteUid) {
    add<ClassicCard>(ClassicCard::Model::Classic1K, kUid7);
    EXPECT_EQ(status(0x80, {1}), st(Status::NoCard)) << "no card is ready before a request";
    ASSERT_EQ(status(0x0C, {0x26}), 0);
    EXPECT_EQ(status(0x80, {2}), st(Status::WrongCardState)) << "level 2 before level 1 is selected";
    EXPECT_EQ(status(0x80, {4}), st(Status::BadParameter));

    const auto level1 = ask(0x80, {1});
    ASSERT_EQ(level1.status, 0);
    EXPECT_EQ(level1.data, (Bytes{0x88, 0x04, 0xA1, 0xA2}));
    EXPECT_EQ(status(0x81, {1, 0x88, 0x04, 0xA1, 0xFF}), st(Status::NoCard)) << "no card has these bytes";
    const auto sak1 = ask(0x81, {1, 0x88, 0x04, 0xA1, 0xA2});
    EXPECT_EQ(sak1.data, Bytes{0x04}) << "the UID is not complete yet";
    EXPECT_EQ(selected(), nullptr);

    EXPECT_EQ(status(0x80, {1}), st(Status::WrongCardState));
    const auto level2 = ask(0x80, {2});
    EXPECT_EQ(level2.data, (Bytes{0xA3, 0xA4, 0xA5, 0xA6}));
    const auto sak2 = ask(0x81, {2, 0xA3, 0xA4, 0xA5, 0xA6});
    EXPECT_EQ(sak2.data, Bytes{0x08});
    EXPECT_NE(selected(), nullptr);
    EXPECT_EQ(status(0x80, {3}), st(Status::NoCard)) << "the selected card left the search";
}

TEST_F(TypeACommands, CascadeLevelsOfATenByteUid) {
    const Bytes uid{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A};
    add<OtherTypeACard>(uid);
    ASSERT_EQ(status(0x0C, {0x52}), 0);
    const Bytes levels[] = {{0x88, 0x01, 0x02, 0x03}, {0x88, 0x04, 0x05, 0x06}, {0x07, 0x08, 0x09, 0x0A}};
    for (std::uint8_t level = 1; level <= 3; ++level) {
        const auto bytes = ask(0x80, {level});
        ASSERT_EQ(bytes.data, levels[level - 1]) << int(level);
        const auto sak = ask(0x81, concat({level}, bytes.data));
        EXPECT_EQ(sak.data, Bytes{static_cast<std::uint8_t>(level < 3 ? 0x04 : 0x20)}) << int(level);
    }
}

TEST_F(TypeACommands, AnticollisionAndSelectByWholeUid) {
    add<ClassicCard>(ClassicCard::Model::Classic1K, kUid4);
    add<ClassicCard>(ClassicCard::Model::Classic1K, kUid7);
    ASSERT_EQ(status(0x0C, {0x26}), 0);
    EXPECT_EQ(ask(0x0D, {4}).data, kUid7) << "the lowest UID, whatever size the host expects";
    EXPECT_EQ(status(0x0D, {5}), st(Status::BadParameter));
    EXPECT_EQ(status(0x0E, {0x11, 0x22, 0x33, 0x45}), st(Status::NoCard));
    EXPECT_EQ(ask(0x0E, kUid4).data, Bytes{0x08}) << "either ready card can be selected by its UID";
    EXPECT_EQ(status(0x0E, kUid7), st(Status::NoCard)) << "the other card fell back to idle";

    ASSERT_EQ(status(0x0C, {0x26}), 0);
    EXPECT_EQ(ask(0x94).data, concat({0x08}, kUid7));
    EXPECT_EQ(status(0x94), st(Status::NoCard));
    ASSERT_EQ(status(0x0C, {0x26}), 0);
    ASSERT_EQ(status(0x0B, {0}), 0);
    ASSERT_EQ(status(0x0B, {1}), 0);
    EXPECT_EQ(status(0x0D, {4}), st(Status::NoCard)) << "a power cycle sends the ready cards back to idle";
}

TEST_F(TypeACommands, ResetAnswersTheUidAndTheAtsOfIso14443_4Cards) {
    add<OtherTypeACard>(Bytes{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07});
    EXPECT_EQ(ask(0x1B, {0x52}).data,
              (Bytes{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x75, 0x77, 0x81, 0x02}));
    // Our cards pass block commands for other families on.
    EXPECT_EQ(status(0x13, {4}), st(Status::UnknownCommand));

    reader.access([](ReaderState&, Field& f) { f.clear(); });
    add<ClassicCard>(ClassicCard::Model::Classic1K, kUid4);
    EXPECT_EQ(ask(0x1B, {0x52}).data, kUid4) << "a Classic card has no ATS";
}

TEST_F(TypeACommands, NothingAnswersWithTheAntennaOffOrInAnotherProtocol) {
    add<ClassicCard>(ClassicCard::Model::Classic1K, kUid4);

    const auto cutOff = [&](const char* how, Bytes toggle, Bytes restore) {
        ASSERT_EQ(status(0x10, {0x52}), 0);
        ASSERT_EQ(status(0x12, concat({0x60, 4}, kKeyFF)), 0);
        ASSERT_EQ(status(0x13, {4}), 0);
        ASSERT_EQ(status(toggle[0], {toggle[1]}), 0);
        for (const auto& [command, data] : std::vector<std::pair<std::uint8_t, Bytes>>{
                 {0x0C, {0x52}}, {0x10, {0x52}}, {0x13, {4}}, {0x0F, {}}, {0x94, {}}, {0x80, {1}}})
            EXPECT_EQ(status(command, data), st(Status::NoCard))
                << how << ", command " << std::hex << int(command);
        ASSERT_EQ(status(restore[0], {restore[1]}), 0);
        EXPECT_EQ(status(0x13, {4}), st(Status::NoCard)) << how << ": the card lost power and its selection";
        ASSERT_EQ(status(0x10, {0x26}), 0);
        EXPECT_EQ(status(0x13, {4}), st(Status::NotAuthenticated)) << how << ": and its authentication";
    };
    cutOff("antenna off", {0x0B, 0}, {0x0B, 1});
    cutOff("ISO 15693 field", {0x0A, '1'}, {0x0A, 'A'});
}

TEST_F(TypeACommands, KeyStoreSlotsAuthenticateLikeKeysGivenInline) {
    auto& card = add<ClassicCard>(ClassicCard::Model::Classic1K, kUid4);
    sim::classic::Block t = sim::classic::transportTrailer();
    for (int i = 0; i < 6; ++i)
        t[i] = static_cast<std::uint8_t>(0xA0 + i);
    reader.access([&](ReaderState&, Field&) { card.setBlock(7, t); });

    ASSERT_EQ(status(0x10, {0x52}), 0);
    EXPECT_EQ(status(0x11, {0x60, 4, 0}), st(Status::AuthFailed)) << "slot 0 holds FF..FF";
    EXPECT_EQ(status(0x13, {4}), st(Status::NoCard)) << "a failed authentication sends the card back to idle";
    EXPECT_EQ(status(0x82, {32, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}), st(Status::BadParameter));
    EXPECT_EQ(status(0x82, {31, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}), 0);
    ASSERT_EQ(status(0x10, {0x52}), 0);
    EXPECT_EQ(status(0x11, {0x60, 4, 32}), st(Status::BadParameter));
    EXPECT_EQ(status(0x11, {0x62, 4, 31}), st(Status::BadParameter));
    EXPECT_EQ(status(0x11, {0x60, 4, 31}), 0);
    EXPECT_EQ(status(0x13, {5}), 0);
    EXPECT_EQ(status(0x11, {0x60, 0, 31}), st(Status::AuthFailed)) << "sector 0 keeps the transport key";
}

TEST_F(TypeACommands, MultiBlockReadAndWriteStayInTheAuthenticatedSector) {
    auto& card = add<ClassicCard>(ClassicCard::Model::Classic1K, kUid4);
    ASSERT_EQ(status(0x10, {0x52}), 0);
    ASSERT_EQ(status(0x12, concat({0x60, 8}, kKeyFF)), 0);
    Bytes blocks(48);
    for (std::size_t i = 0; i < blocks.size(); ++i)
        blocks[i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(status(0x89, concat({8, 3}, blocks)), 0);
    const auto read = ask(0x88, {8, 3});
    ASSERT_EQ(read.status, 0);
    EXPECT_EQ(read.data, blocks);
    reader.access([&](ReaderState&, Field&) { EXPECT_EQ(card.block(10)[15], 47); });

    EXPECT_EQ(status(0x88, {8, 0}), st(Status::BadParameter));
    EXPECT_EQ(status(0x88, {8, 16}), st(Status::BadParameter));
    EXPECT_EQ(status(0x88, {9, 4}), st(Status::NotAuthenticated)) << "block 12 is in the next sector";

    // 0x89 with 2- or 4-byte blocks belongs to the ST tags: passed on.
    ASSERT_EQ(status(0x10, {0x52}), 0);
    ASSERT_EQ(status(0x12, concat({0x60, 8}, kKeyFF)), 0);
    EXPECT_EQ(status(0x89, {8, 2, 1, 2, 3, 4}), st(Status::UnknownCommand));
    EXPECT_EQ(status(0x89, Bytes{8, 2, 1, 2, 3, 4, 5, 6, 7, 8}), st(Status::UnknownCommand));
    EXPECT_EQ(status(0x89, {8}), st(Status::UnknownCommand));

    // Writing runs block by block and stops at the first refusal: block 10
    // is made read-only here.
    reader.access([&](ReaderState&, Field&) {
        auto t = sim::classic::transportTrailer();
        const auto access = sim::classic::encodeAccessBits({0b000, 0b000, 0b010, 0b001});
        std::copy(access.begin(), access.end(), t.begin() + 6);
        card.setBlock(11, t);
    });
    EXPECT_EQ(status(0x89, concat({8, 3}, Bytes(48, 0xEE))), st(Status::AccessDenied));
    reader.access([&](ReaderState&, Field&) {
        EXPECT_EQ(card.block(8)[0], 0xEE);
        EXPECT_EQ(card.block(9)[0], 0xEE);
        EXPECT_EQ(card.block(10)[0], 32) << "the read-only block kept its data";
    });
    EXPECT_EQ(status(0x13, {8}), st(Status::NoCard)) << "the refusal ended the selection";
}

TEST_F(TypeACommands, CommandsForTheOtherModelAreRefused) {
    add<UltralightCard>(UltralightCard::Model::Ultralight, kUid7);
    ASSERT_EQ(status(0x10, {0x52}), 0);
    EXPECT_EQ(status(0x12, concat({0x60, 4}, kKeyFF)), st(Status::CardRefused));
    EXPECT_EQ(status(0x13, {4}), st(Status::NoCard)) << "the NAK sent the card back to idle";
    ASSERT_EQ(status(0x10, {0x52}), 0);
    EXPECT_EQ(status(0x89, concat({4, 1}, Bytes(16, 0))), st(Status::UnknownCommand));
    EXPECT_EQ(status(0x36, Bytes(16, 0)), st(Status::CardRefused)) << "a plain Ultralight has no key";

    reader.access([](ReaderState&, Field& f) { f.clear(); });
    add<ClassicCard>(ClassicCard::Model::Classic1K, kUid4);
    ASSERT_EQ(status(0x10, {0x52}), 0);
    EXPECT_EQ(status(0x34, {4, 1, 2, 3, 4}), st(Status::CardRefused));
}

TEST_F(TypeACommands, UltralightCompatibilityWriteStoresTheFirstFourBytes) {
    auto& card = add<UltralightCard>(UltralightCard::Model::Ultralight, kUid7);
    ASSERT_EQ(status(0x10, {0x52}), 0);
    Bytes data{5};
    for (std::uint8_t i = 0; i < 16; ++i)
        data.push_back(static_cast<std::uint8_t>(0x30 + i));
    ASSERT_EQ(status(0x14, data), 0);
    reader.access([&](ReaderState&, Field&) {
        EXPECT_EQ(card.page(5), (sim::ultralight::Page{0x30, 0x31, 0x32, 0x33}));
        EXPECT_EQ(card.page(6), (sim::ultralight::Page{}));
    });
}

TEST_F(TypeACommands, UltralightLocksApplyAfterTheNextRequest) {
    add<UltralightCard>(UltralightCard::Model::Ultralight, kUid7);
    ASSERT_EQ(status(0x10, {0x52}), 0);
    ASSERT_EQ(status(0x34, {2, 0, 0, 0x10, 0x00}), 0); // lock page 4
    EXPECT_EQ(status(0x34, {4, 1, 1, 1, 1}), 0);
    ASSERT_EQ(status(0x0C, {0x26}), 0);
    ASSERT_EQ(status(0x0E, kUid7), 0);
    EXPECT_EQ(status(0x34, {4, 2, 2, 2, 2}), st(Status::AccessDenied));
    ASSERT_EQ(status(0x10, {0x52}), 0);
    const auto page4 = ask(0x13, {4});
    ASSERT_EQ(page4.status, 0);
    ASSERT_EQ(page4.data.size(), 16u);
    EXPECT_EQ(page4.data[0], 0x01);
}

TEST_F(TypeACommands, RandomRequestsNeverBreakTheReader) {
    add<ClassicCard>(ClassicCard::Model::Classic4K, kUid4);
    add<UltralightCard>(UltralightCard::Model::UltralightC, kUid7);
    add<OtherTypeACard>(Bytes{0x01, 0x02, 0x03, 0x04});
    const std::uint8_t codes[] = {0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,
                                  0x18, 0x19, 0x1A, 0x1B, 0x34, 0x36, 0x80, 0x81, 0x82, 0x88, 0x89, 0x94};
    std::mt19937 random(1234);
    // Mostly short requests with small values, so that many reach the cards.
    for (int i = 0; i < 20000; ++i) {
        const std::uint8_t command = codes[random() % std::size(codes)];
        Bytes data(random() % 4 == 0 ? random() % 252 : random() % 20);
        for (auto& b : data)
            b = static_cast<std::uint8_t>(random() % 3 == 0 ? random() : random() % 16);
        if (random() % 8 == 0 && !data.empty()) data[0] = random() % 2 ? 0x52 : 0x60;
        const auto response = reader.process({0, command, data});
        ASSERT_TRUE(response);
        ASSERT_NE(response->status, st(Status::InternalError))
            << std::hex << int(command) << ": " << sim::toHex(data);
        ASSERT_LE(response->data.size(), sim::kMaxResponseData);
    }
}

} // namespace
