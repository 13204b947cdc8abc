// The card application every simulated smart card runs, asked APDU by APDU.

#include <gtest/gtest.h>

#include "simulator/cards/id_card.h"
#include "simulator/cards/smart_card_app.h"

namespace {

using sim::Bytes;
using sim::SmartCardApp;

const Bytes kAid{0xA0, 0x00, 0x00, 0x01, 0x51};

Bytes fileOf(std::size_t size) {
    Bytes file(size);
    for (std::size_t i = 0; i < size; ++i)
        file[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return file;
}

Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes selectApdu(const Bytes& aid, std::uint8_t p2 = 0x0C) {
    return cat({0x00, 0xA4, 0x04, p2, static_cast<std::uint8_t>(aid.size())}, aid);
}

TEST(ApduParsing, TellsTheFourCasesApartAndRefusesLengthsThatFitNone) {
    struct Case {
        Bytes bytes;
        bool valid;
        std::size_t dataSize;
        std::optional<std::size_t> le;
    } const cases[] = {
        {{0x00, 0xA4, 0x04}, false, 0, std::nullopt},
        {{0x00, 0x84, 0x00, 0x00}, true, 0, std::nullopt},                    // case 1
        {{0x00, 0x84, 0x00, 0x00, 0x08}, true, 0, 8},                         // case 2
        {{0x00, 0xB0, 0x00, 0x00, 0x00}, true, 0, 256},                       // Le 00 = 256
        {{0x00, 0xD6, 0x00, 0x00, 0x02, 0x11, 0x22}, true, 2, std::nullopt},  // case 3
        {{0x00, 0xA4, 0x04, 0x00, 0x01, 0x11, 0x00}, true, 1, 256},           // case 4
        {{0x00, 0xD6, 0x00, 0x00, 0x03, 0x11, 0x22}, false, 0, std::nullopt}, // Lc beyond the data
        {{0x00, 0xD6, 0x00, 0x00, 0x01, 0x11, 0x22, 0x33}, false, 0, std::nullopt},
        {{0x00, 0xD6, 0x00, 0x00, 0x00, 0x01, 0x02}, false, 0, std::nullopt}, // extended length
    };
    for (const auto& c : cases) {
        const auto apdu = sim::Apdu::parse(c.bytes);
        ASSERT_EQ(apdu.has_value(), c.valid) << sim::toHex(c.bytes);
        if (!apdu) continue;
        EXPECT_EQ(apdu->data.size(), c.dataSize) << sim::toHex(c.bytes);
        EXPECT_EQ(apdu->le, c.le) << sim::toHex(c.bytes);
    }
}

// Each row runs on a fresh card (file of 32 bytes, read-write unless said),
// optionally after selecting the application, and checks the whole answer.
TEST(SmartCardApp, AnswersEachCommandAsItsTableSays) {
    const Bytes file = fileOf(32);
    const Bytes fci = cat({0x6F, 0x07, 0x84, 0x05}, kAid);
    struct Case {
        const char* what;
        bool selectFirst;
        bool readOnly;
        Bytes command;
        Bytes answer;
    } const cases[] = {
        {"select by AID, FCI", false, false, selectApdu(kAid, 0x00), cat(fci, {0x90, 0x00})},
        {"select by AID with Le", false, false, cat(selectApdu(kAid, 0x00), {0x00}), cat(fci, {0x90, 0x00})},
        {"select, no answer data", false, false, selectApdu(kAid), {0x90, 0x00}},
        {"select unknown AID", false, false, selectApdu({0xA0, 0x00, 0x00, 0x01, 0x52}), {0x6A, 0x82}},
        {"select a prefix of the AID", false, false, selectApdu({0xA0, 0x00, 0x00, 0x01}), {0x6A, 0x82}},
        {"select by file id", false, false, {0x00, 0xA4, 0x00, 0x0C, 0x02, 0x3F, 0x00}, {0x6A, 0x86}},
        {"select with odd P2", false, false, cat({0x00, 0xA4, 0x04, 0x04, 0x05}, kAid), {0x6A, 0x86}},
        {"select without AID", false, false, {0x00, 0xA4, 0x04, 0x00}, {0x67, 0x00}},
        {"read before select", false, false, {0x00, 0xB0, 0x00, 0x00, 0x04}, {0x69, 0x86}},
        {"update before select", false, false, {0x00, 0xD6, 0x00, 0x00, 0x01, 0x55}, {0x69, 0x86}},
        {"read 4 at 0",
         true,
         false,
         {0x00, 0xB0, 0x00, 0x00, 0x04},
         cat(Bytes(file.begin(), file.begin() + 4), {0x90, 0x00})},
        {"read 3 at 29",
         true,
         false,
         {0x00, 0xB0, 0x00, 0x1D, 0x03},
         cat(Bytes(file.begin() + 29, file.end()), {0x90, 0x00})},
        {"read past the end",
         true,
         false,
         {0x00, 0xB0, 0x00, 0x1E, 0x05},
         cat(Bytes(file.begin() + 30, file.end()), {0x62, 0x82})},
        {"read all with Le 00", true, false, {0x00, 0xB0, 0x00, 0x00, 0x00}, cat(file, {0x90, 0x00})},
        {"read at the end", true, false, {0x00, 0xB0, 0x00, 0x20, 0x01}, {0x6B, 0x00}},
        {"read with a 15-bit offset", true, false, {0x00, 0xB0, 0x01, 0x00, 0x01}, {0x6B, 0x00}},
        {"read by short file id", true, false, {0x00, 0xB0, 0x81, 0x00, 0x01}, {0x6A, 0x86}},
        {"read without Le", true, false, {0x00, 0xB0, 0x00, 0x00}, {0x67, 0x00}},
        {"read with a body", true, false, {0x00, 0xB0, 0x00, 0x00, 0x01, 0x00}, {0x67, 0x00}},
        {"update 2 at 30", true, false, {0x00, 0xD6, 0x00, 0x1E, 0x02, 0x55, 0x66}, {0x90, 0x00}},
        {"update past the end", true, false, {0x00, 0xD6, 0x00, 0x1F, 0x02, 0x55, 0x66}, {0x6A, 0x84}},
        {"update at the end", true, false, {0x00, 0xD6, 0x00, 0x20, 0x01, 0x55}, {0x6B, 0x00}},
        {"update a read-only file", true, true, {0x00, 0xD6, 0x00, 0x00, 0x01, 0x55}, {0x69, 0x82}},
        {"update without data", true, false, {0x00, 0xD6, 0x00, 0x00, 0x01}, {0x67, 0x00}},
        {"update with Le", true, false, {0x00, 0xD6, 0x00, 0x00, 0x01, 0x55, 0x00}, {0x67, 0x00}},
        {"challenge with Le 00", false, false, {0x00, 0x84, 0x00, 0x00, 0x00}, {0x67, 0x00}},
        {"challenge of 33", false, false, {0x00, 0x84, 0x00, 0x00, 0x21}, {0x67, 0x00}},
        {"challenge with P1", false, false, {0x00, 0x84, 0x01, 0x00, 0x08}, {0x6A, 0x86}},
        {"challenge without Le", false, false, {0x00, 0x84, 0x00, 0x00}, {0x67, 0x00}},
        {"unknown instruction", false, false, {0x00, 0xCA, 0x00, 0x00, 0x00}, {0x6D, 0x00}},
        {"proprietary class", false, false, {0x80, 0xB0, 0x00, 0x00, 0x04}, {0x6E, 0x00}},
        {"logical channel class", false, false, {0x01, 0x84, 0x00, 0x00, 0x08}, {0x6E, 0x00}},
        {"three bytes", false, false, {0x00, 0xA4, 0x04}, {0x67, 0x00}},
        {"nothing", false, false, {}, {0x67, 0x00}},
        {"Lc beyond the data", false, false, {0x00, 0xA4, 0x04, 0x00, 0x09, 0xA0}, {0x67, 0x00}},
    };
    for (const auto& c : cases) {
        SmartCardApp app(kAid, file,
                         c.readOnly ? SmartCardApp::Access::ReadOnly : SmartCardApp::Access::ReadWrite);
        if (c.selectFirst) {
            ASSERT_EQ(app.process(selectApdu(kAid)), (Bytes{0x90, 0x00}));
        }
        EXPECT_EQ(sim::toHex(app.process(c.command)), sim::toHex(c.answer)) << c.what;
    }
}

TEST(SmartCardApp, UpdatesPersistAcrossPowerLossWhileTheSelectionDoesNot) {
    SmartCardApp app(kAid, fileOf(16));
    ASSERT_EQ(app.process(selectApdu(kAid)), (Bytes{0x90, 0x00}));
    ASSERT_EQ(app.process({0x00, 0xD6, 0x00, 0x04, 0x03, 0xDE, 0xAD, 0x01}), (Bytes{0x90, 0x00}));
    EXPECT_EQ(app.process({0x00, 0xB0, 0x00, 0x03, 0x05}),
              (Bytes{fileOf(16)[3], 0xDE, 0xAD, 0x01, fileOf(16)[7], 0x90, 0x00}));

    app.reset();
    EXPECT_FALSE(app.selected());
    EXPECT_EQ(app.process({0x00, 0xB0, 0x00, 0x04, 0x03}), (Bytes{0x69, 0x86}));
    ASSERT_EQ(app.process(selectApdu(kAid)), (Bytes{0x90, 0x00}));
    EXPECT_EQ(app.process({0x00, 0xB0, 0x00, 0x04, 0x03}), (Bytes{0xDE, 0xAD, 0x01, 0x90, 0x00}));
}

TEST(SmartCardApp, AFailedSelectKeepsTheApplicationSelected) {
    SmartCardApp app(kAid, fileOf(8));
    ASSERT_EQ(app.process(selectApdu(kAid)), (Bytes{0x90, 0x00}));
    ASSERT_EQ(app.process(selectApdu({0x11, 0x22})), (Bytes{0x6A, 0x82}));
    EXPECT_TRUE(app.selected());
    EXPECT_EQ(app.process({0x00, 0xB0, 0x00, 0x00, 0x01}), (Bytes{fileOf(8)[0], 0x90, 0x00}));
}

TEST(SmartCardApp, ChallengesAreFreshRandomBytesGoodForOneCommand) {
    SmartCardApp app(kAid, fileOf(8));
    for (std::uint8_t le : {1, 8, 32}) {
        const Bytes answer = app.process({0x00, 0x84, 0x00, 0x00, le});
        ASSERT_EQ(answer.size(), le + 2u);
        EXPECT_EQ(sim::statusWordOf(answer), sim::sw::Ok);
        EXPECT_EQ(app.lastChallenge(), Bytes(answer.begin(), answer.end() - 2));
    }
    const Bytes first = app.process({0x00, 0x84, 0x00, 0x00, 0x10});
    const Bytes second = app.process({0x00, 0x84, 0x00, 0x00, 0x10});
    EXPECT_NE(first, second) << "two 16-byte challenges in a row are equal";
    app.process({0x00, 0xB0, 0x00, 0x00, 0x01});
    EXPECT_TRUE(app.lastChallenge().empty());
}

TEST(SmartCardApp, RefusesAidsAndFilesItCannotHold) {
    EXPECT_THROW(SmartCardApp({}, fileOf(8)), std::invalid_argument);
    EXPECT_THROW(SmartCardApp(Bytes(17, 0xA0), fileOf(8)), std::invalid_argument);
    EXPECT_THROW(SmartCardApp(kAid, {}), std::invalid_argument);
    EXPECT_THROW(SmartCardApp(kAid, fileOf(SmartCardApp::kMaxFileSize + 1)), std::invalid_argument);
    EXPECT_NO_THROW(SmartCardApp(kAid, fileOf(SmartCardApp::kMaxFileSize)));
}

TEST(IdCardApp, GivesItsNumberToGetIdAndKeepsTheRecordReadOnly) {
    const sim::IdCardApp::Id id{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
    const Bytes number(id.begin(), id.end());
    struct Case {
        const char* what;
        Bytes command;
        Bytes answer;
    } const cases[] = {
        {"get id", sim::IdCard::getIdCommand(), cat(number, {0x90, 0x00})},
        {"get id, Le 00", {0x00, 0x36, 0x00, 0x00, 0x00}, cat(number, {0x90, 0x00})},
        {"get id, Le 4", {0x00, 0x36, 0x00, 0x00, 0x04}, {0x6C, 0x08}},
        {"get id, P2", {0x00, 0x36, 0x00, 0x01, 0x08}, {0x6A, 0x86}},
        {"get id with a body", {0x00, 0x36, 0x00, 0x00, 0x01, 0x00}, {0x67, 0x00}},
        {"get id, other class", {0x80, 0x36, 0x00, 0x00, 0x08}, {0x6E, 0x00}},
    };
    for (const auto& c : cases) {
        sim::IdCardApp app(id, Bytes(16, 0x20));
        EXPECT_EQ(sim::toHex(app.process(c.command)), sim::toHex(c.answer)) << c.what;
    }
    sim::IdCardApp app(id, Bytes(16, 0x20));
    ASSERT_EQ(app.process(selectApdu(sim::IdCardApp::defaultAid())), (Bytes{0x90, 0x00}));
    EXPECT_EQ(app.process({0x00, 0xD6, 0x00, 0x00, 0x01, 0x41}), (Bytes{0x69, 0x82}));
    EXPECT_EQ(app.process({0x00, 0xB0, 0x00, 0x00, 0x02}), (Bytes{0x20, 0x20, 0x90, 0x00}));
}

} // namespace
