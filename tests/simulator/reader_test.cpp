// The reader's own commands and request routing, asked directly without a
// front end.

#include <gtest/gtest.h>

#include "simulator/reader/reader.h"
#include "simulator/reader/reader_control.h"

namespace {

using sim::Bytes;
using sim::Reader;
using sim::ReaderState;
using sim::Status;

constexpr std::uint8_t status(Status s) { return static_cast<std::uint8_t>(s); }

std::optional<sim::Response> ask(Reader& reader, std::uint16_t address, std::uint8_t command,
                                 Bytes data = {}) {
    return reader.process({address, command, std::move(data)});
}

// Asks at the reader's own address and expects an answer.
sim::Response answer(Reader& reader, std::uint8_t command, Bytes data = {}) {
    const std::uint16_t address = reader.access([](ReaderState& s, sim::Field&) { return s.address; });
    auto response = ask(reader, address, command, std::move(data));
    if (!response) ADD_FAILURE() << "no answer to command " << int(command);
    return response.value_or(sim::Response{});
}

TEST(ReaderAddressing, AnswersItsOwnAddressAndTheAddressQueryAtZeroOnly) {
    struct Case {
        sim::AddressPolicy policy;
        std::uint16_t to;
        std::uint8_t command;
        bool answered;
    } const cases[] = {
        {sim::AddressPolicy::OwnAddress, 0x0105, sim::cmd::FirmwareVersion, true},
        {sim::AddressPolicy::OwnAddress, 0x0105, sim::cmd::GetAddress, true},
        {sim::AddressPolicy::OwnAddress, 0x0000, sim::cmd::GetAddress, true},
        {sim::AddressPolicy::OwnAddress, 0x0000, sim::cmd::FirmwareVersion, false},
        {sim::AddressPolicy::OwnAddress, 0x0501, sim::cmd::GetAddress, false}, // byte-swapped address
        {sim::AddressPolicy::OwnAddress, 0x0007, sim::cmd::FirmwareVersion, false},
        {sim::AddressPolicy::AnyAddress, 0x0007, sim::cmd::FirmwareVersion, true},
        {sim::AddressPolicy::AnyAddress, 0x0000, sim::cmd::SerialNumber, true},
    };
    for (const auto& c : cases) {
        Reader reader;
        reader.access([](ReaderState& s, sim::Field&) { s.address = 0x0105; });
        reader.setAddressPolicy(c.policy);
        const auto response = ask(reader, c.to, c.command);
        EXPECT_EQ(response.has_value(), c.answered) << "to " << c.to << " command " << int(c.command);
        if (response) {
            EXPECT_EQ(response->address, 0x0105); // answers always carry the reader's own address
        }
    }
}

TEST(ReaderAddressing, SetAddressMovesTheReaderAndGetAddressReportsIt) {
    Reader reader;
    const auto set = ask(reader, 0x0000, sim::cmd::SetAddress, {0x12, 0x34});
    ASSERT_TRUE(set);
    EXPECT_EQ(set->status, 0);
    EXPECT_EQ(set->address, 0x1234);

    EXPECT_FALSE(ask(reader, 0x0000, sim::cmd::FirmwareVersion)) << "old address still answered";
    EXPECT_TRUE(ask(reader, 0x1234, sim::cmd::FirmwareVersion));
    const auto id = ask(reader, 0x0000, sim::cmd::GetAddress);
    ASSERT_TRUE(id);
    EXPECT_EQ(id->address, 0x1234);
    EXPECT_TRUE(id->data.empty());
}

TEST(ReaderControl, ReportsItsIdentity) {
    Reader reader;
    reader.access([](ReaderState& s, sim::Field&) {
        s.firmware = {0x3A, 0xAA};
        s.serial = {1, 2, 3, 4, 5, 6, 7, 0xAA};
    });
    EXPECT_EQ(answer(reader, sim::cmd::FirmwareVersion).data, (Bytes{0x3A, 0xAA}));
    EXPECT_EQ(answer(reader, sim::cmd::SerialNumber).data, (Bytes{1, 2, 3, 4, 5, 6, 7, 0xAA}));
}

TEST(ReaderControl, KeepsWhatTheHostSets) {
    struct Case {
        std::uint8_t command;
        Bytes data;
        std::function<Bytes(ReaderState&, sim::Field&)> stored;
    } const cases[] = {
        {sim::cmd::Beep,
         {0x25},
         [](auto& s, auto&) {
             return Bytes{s.lastBeep, std::uint8_t(s.beeps)};
         }},
        {sim::cmd::Led, {0x03}, [](auto& s, auto&) { return Bytes{s.led}; }},
        {sim::cmd::AuthenticationStandard,
         {0x02},
         [](auto& s, auto&) { return Bytes{s.authenticationStandard}; }},
        {sim::cmd::IsoType, {'1'}, [](auto&, auto& f) { return Bytes{f.isoType()}; }},
        {sim::cmd::Antenna, {0x00}, [](auto&, auto& f) { return Bytes{f.antennaOn()}; }},
        {sim::cmd::Display,
         {0x7E, 0x30, 0xED, 0x79, 0x33, 0x5B, 0x5F, 0x70},
         [](auto& s, auto&) { return Bytes(s.display.begin(), s.display.end()); }},
    };
    const Bytes expected[] = {{0x25, 1}, {0x03}, {0x02},
                              {'1'},     {0x00}, {0x7E, 0x30, 0xED, 0x79, 0x33, 0x5B, 0x5F, 0x70}};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        Reader reader;
        const auto response = answer(reader, cases[i].command, cases[i].data);
        EXPECT_EQ(response.status, 0) << int(cases[i].command);
        EXPECT_TRUE(response.data.empty()) << int(cases[i].command);
        EXPECT_EQ(reader.access(cases[i].stored), expected[i]) << int(cases[i].command);
    }
}

TEST(ReaderControl, RefusesMalformedParametersWithoutChangingState) {
    struct Case {
        std::uint8_t command;
        Bytes data;
        Status expected;
    } const cases[] = {
        {sim::cmd::SetAddress, {0x12}, Status::BadLength},
        {sim::cmd::SetAddress, {0x12, 0x34, 0x56}, Status::BadLength},
        {sim::cmd::FirmwareVersion, {0x00}, Status::BadLength},
        {sim::cmd::SerialNumber, {0x00}, Status::BadLength},
        {sim::cmd::Beep, {}, Status::BadLength},
        {sim::cmd::IsoType, {'B', 'B'}, Status::BadLength},
        {sim::cmd::Antenna, {}, Status::BadLength},
        {sim::cmd::Antenna, {0x02}, Status::BadParameter},
        {sim::cmd::Led, {}, Status::BadLength},
        {sim::cmd::AuthenticationStandard, {1, 2}, Status::BadLength},
        {sim::cmd::Display, Bytes(7, 0x7E), Status::BadLength},
        {sim::cmd::Display, Bytes(9, 0x7E), Status::BadLength},
        {sim::cmd::FlashRead, {0, 0, 0}, Status::BadLength},
        {sim::cmd::FlashWrite, {0, 0, 0, 2, 0xAB}, Status::BadLength},
        {sim::cmd::FlashWrite, {0, 0, 0, 1, 0xAB, 0xCD}, Status::BadLength},
        {0xF1, {}, Status::UnknownCommand},
    };
    const auto snapshot = [](Reader& reader) {
        return reader.access([](ReaderState& s, sim::Field& f) {
            Bytes all{std::uint8_t(s.address),
                      std::uint8_t(s.address >> 8),
                      s.lastBeep,
                      std::uint8_t(s.beeps),
                      s.led,
                      s.authenticationStandard,
                      f.isoType(),
                      f.antennaOn()};
            all.insert(all.end(), s.display.begin(), s.display.end());
            const Bytes flash = s.flash.read(0, 0, 4);
            all.insert(all.end(), flash.begin(), flash.end());
            return all;
        });
    };
    for (const auto& c : cases) {
        Reader reader;
        const Bytes before = snapshot(reader);
        const auto response = answer(reader, c.command, c.data);
        EXPECT_EQ(response.status, status(c.expected)) << int(c.command) << " " << sim::toHex(c.data);
        EXPECT_EQ(snapshot(reader), before) << int(c.command);
    }
}

Bytes flashRequest(std::uint16_t page, std::uint8_t offset, std::uint8_t length, const Bytes& data = {}) {
    Bytes request{std::uint8_t(page >> 8), std::uint8_t(page), offset, length};
    request.insert(request.end(), data.begin(), data.end());
    return request;
}

TEST(ReaderFlash, KeepsWhatIsWrittenPerPage) {
    Reader reader;
    Bytes pattern(128);
    for (std::size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<std::uint8_t>(0xAA ^ i);
    EXPECT_EQ(answer(reader, sim::cmd::FlashWrite, flashRequest(0, 0, 128, pattern)).status, 0);
    EXPECT_EQ(answer(reader, sim::cmd::FlashWrite, flashRequest(0x0102, 250, 6, {1, 2, 3, 4, 5, 6})).status,
              0);

    EXPECT_EQ(answer(reader, sim::cmd::FlashRead, flashRequest(0, 0, 128)).data, pattern);
    EXPECT_EQ(answer(reader, sim::cmd::FlashRead, flashRequest(0, 126, 4)).data,
              (Bytes{pattern[126], pattern[127], 0xFF, 0xFF}))
        << "bytes never written read as erased flash";
    EXPECT_EQ(answer(reader, sim::cmd::FlashRead, flashRequest(0x0102, 248, 8)).data,
              (Bytes{0xFF, 0xFF, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(answer(reader, sim::cmd::FlashRead, flashRequest(0x0201, 250, 6)).data, Bytes(6, 0xFF))
        << "page number is high byte first";
    EXPECT_TRUE(answer(reader, sim::cmd::FlashRead, flashRequest(0, 0, 0)).data.empty());

    reader.access([](sim::ReaderState& state, sim::Field&) { state.flash.wear(0, 127, 0x00); });
    EXPECT_EQ(answer(reader, sim::cmd::FlashWrite, flashRequest(0, 126, 2, {7, 8})).status, 0);
    EXPECT_EQ(answer(reader, sim::cmd::FlashRead, flashRequest(0, 125, 3)).data, (Bytes{pattern[125], 7, 0}))
        << "a worn cell keeps its value whatever is written";
}

TEST(ReaderFlash, RefusesRangesBeyondAPageOrTheMemory) {
    struct Case {
        std::uint8_t command;
        std::uint16_t page;
        std::uint8_t offset, length;
        bool accepted;
    } const cases[] = {
        {sim::cmd::FlashRead, 0, 56, 200, true}, // ends exactly at the page end
        {sim::cmd::FlashRead, 0, 57, 200, false},
        {sim::cmd::FlashRead, 0, 0, 250, true}, // the largest answer a frame holds
        {sim::cmd::FlashRead, 0, 0, 251, false},
        {sim::cmd::FlashRead, 0, 255, 1, true},
        {sim::cmd::FlashRead, 0, 255, 2, false},
        {sim::cmd::FlashRead, 1023, 0, 1, true}, // last page of the default 1024
        {sim::cmd::FlashRead, 1024, 0, 1, false},
        {sim::cmd::FlashWrite, 0, 0, 224, true},
        {sim::cmd::FlashWrite, 0, 32, 224, true},
        {sim::cmd::FlashWrite, 0, 33, 224, false},
        {sim::cmd::FlashWrite, 0xFFFF, 0, 1, false},
    };
    for (const auto& c : cases) {
        Reader reader;
        const Bytes data = c.command == sim::cmd::FlashWrite ? Bytes(c.length, 0x5A) : Bytes{};
        const auto response = answer(reader, c.command, flashRequest(c.page, c.offset, c.length, data));
        SCOPED_TRACE(testing::Message() << "command " << int(c.command) << " page " << c.page << " offset "
                                        << int(c.offset) << " length " << int(c.length));
        EXPECT_EQ(response.status, c.accepted ? 0 : status(Status::FlashOutOfRange));
        if (c.command == sim::cmd::FlashRead) {
            EXPECT_EQ(response.data.size(), c.accepted ? c.length : 0u);
        }
    }
}

struct Tag : sim::Card {
    explicit Tag(std::uint8_t isoType, std::string name = "tag") : Card(isoType), name(std::move(name)) {}
    std::string describe() const override { return name; }
    void onPowerCycle() override { ++powerCycles; }
    std::string name;
    int powerCycles = 0;
};
struct OtherTag : Tag {
    using Tag::Tag;
};

TEST(ReaderHandlers, CardFamiliesPlugInAndSharedCodesFallThrough) {
    Reader reader;
    // Two families sharing one code, told apart by their request length.
    reader.handle(0x70, [](const sim::Request& r, sim::Context&) -> std::optional<sim::Answer> {
        if (r.data.size() != 2) return std::nullopt;
        return sim::Answer::ok({0x02});
    });
    reader.install([](sim::Dispatcher& d) {
        d.add(0x70, [](const sim::Request& r, sim::Context&) -> std::optional<sim::Answer> {
            if (r.data.size() != 18) return std::nullopt;
            return sim::Answer::ok({0x18});
        });
        // A card command answers from the field: no card in range, no answer.
        d.add(0x0C, [](const sim::Request&, sim::Context& c) -> std::optional<sim::Answer> {
            const auto cards = c.field.inRange<Tag>();
            if (cards.empty()) return sim::Status::NoCard;
            const std::string name = cards.front()->describe();
            return sim::Answer::ok(Bytes(name.begin(), name.end()));
        });
        d.add(0x0D, [](const sim::Request&, sim::Context&) -> std::optional<sim::Answer> {
            sim::Answer answer = sim::Answer::raw(0xAE);
            answer.address = 0xBEEF;
            return answer;
        });
        d.add(0x0E, [](const sim::Request&, sim::Context&) -> std::optional<sim::Answer> {
            throw std::runtime_error("card model bug");
        });
        d.add(0x0F, [](const sim::Request&, sim::Context&) -> std::optional<sim::Answer> {
            return sim::Answer::ok(Bytes(251));
        });
    });

    EXPECT_EQ(answer(reader, 0x70, Bytes(2)).data, Bytes{0x02});
    EXPECT_EQ(answer(reader, 0x70, Bytes(18)).data, Bytes{0x18});
    EXPECT_EQ(answer(reader, 0x70, Bytes(5)).status, status(Status::UnknownCommand)) << "nobody claimed it";

    EXPECT_EQ(answer(reader, 0x0C).status, status(Status::NoCard));
    reader.access([](ReaderState&, sim::Field& f) { f.emplace<Tag>(sim::iso::TypeA, "A1"); });
    EXPECT_EQ(answer(reader, 0x0C).data, (Bytes{'A', '1'}));
    EXPECT_EQ(answer(reader, sim::cmd::Antenna, {0}).status, 0);
    EXPECT_EQ(answer(reader, 0x0C).status, status(Status::NoCard)) << "antenna off silences every card";

    const auto custom = answer(reader, 0x0D);
    EXPECT_EQ(custom.status, 0xAE);
    EXPECT_EQ(custom.address, 0xBEEF);
    EXPECT_EQ(answer(reader, 0x0E).status, status(Status::InternalError));
    EXPECT_EQ(answer(reader, 0x0F).status, status(Status::InternalError));
    EXPECT_TRUE(answer(reader, 0x0F).data.empty());
}

TEST(ReaderField, AntennaAndProtocolDecideWhichCardsHearTheReader) {
    sim::Field field;
    Tag& a = field.emplace<Tag>(sim::iso::TypeA, "A");
    Tag& b = field.emplace<Tag>(sim::iso::TypeB, "B");
    OtherTag& a2 = field.emplace<OtherTag>(sim::iso::TypeA, "A2");
    const auto names = [&] {
        std::string all;
        for (const sim::Card* card : field.inRange())
            all += card->describe() + " ";
        return all;
    };
    EXPECT_EQ(names(), "A A2 ");
    EXPECT_EQ(field.inRange<OtherTag>(), std::vector<OtherTag*>{&a2});

    a.setHalted(true);
    field.select(&a2);
    EXPECT_EQ(names(), "A A2 ") << "a halted card is still in range";

    field.setIsoType(sim::iso::TypeB);
    EXPECT_EQ(names(), "B ");
    EXPECT_FALSE(a.halted()) << "a protocol switch powers the cards down and up";
    EXPECT_EQ(field.selected(), nullptr);

    const int before = b.powerCycles;
    field.setIsoType(sim::iso::TypeB);
    EXPECT_EQ(b.powerCycles, before) << "the same protocol again is no switch";

    b.setHalted(true);
    field.setAntenna(false);
    EXPECT_EQ(names(), "");
    field.setAntenna(true);
    EXPECT_FALSE(b.halted());
    EXPECT_EQ(names(), "B ");

    field.setIsoType(sim::iso::TypeA);
    field.select(&a2);
    EXPECT_NE(field.remove(a2), nullptr);
    EXPECT_EQ(field.selected(), nullptr) << "a card taken out is no longer selected";
    EXPECT_EQ(field.remove(a2), nullptr);
    EXPECT_EQ(names(), "A ");
    OtherTag stray(sim::iso::TypeA);
    EXPECT_THROW(field.select(&stray), std::invalid_argument);
}

} // namespace
