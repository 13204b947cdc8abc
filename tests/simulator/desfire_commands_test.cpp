// The reader's DESFire commands: request layouts and lengths, which card they
// reach, and the shapes of the answers, asked through the reader itself.

#include <gtest/gtest.h>

#include "simulator/cards/desfire.h"
#include "simulator/commands/desfire_commands.h"
#include "simulator/reader/reader.h"
#include "simulator/scenario/members.h"
#include "simulator/scenario/scenario.h"

namespace {

namespace df = sim::desfire;
namespace cmd = sim::desfire::cmd;
using sim::Bytes;
using sim::DesfireCard;
using sim::Status;

constexpr std::uint8_t status(Status s) { return static_cast<std::uint8_t>(s); }

const Bytes kUid = {0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};

// A Type A card of another family, to be selected instead of the DESFire card.
class OtherTypeACard : public sim::TypeACard {
  public:
    OtherTypeACard() : TypeACard({1, 2, 3, 4}, {0x04, 0x00}, 0x08) {}
    std::string describe() const override { return "other"; }
};

class DesfireReader : public testing::Test {
  protected:
    void SetUp() override {
        reader.install(sim::installDesfire);
        card = reader.access([](sim::ReaderState&, sim::Field& f) { return &f.emplace<DesfireCard>(kUid); });
    }

    sim::Response ask(std::uint8_t command, Bytes data = {}) {
        const auto response = reader.process({0, command, std::move(data)});
        if (!response) ADD_FAILURE() << "no answer to " << int(command);
        return response.value_or(sim::Response{});
    }
    // Asks and expects success; returns the data.
    Bytes ok(std::uint8_t command, Bytes data = {}) {
        const sim::Response r = ask(command, std::move(data));
        EXPECT_EQ(r.status, 0) << "command " << std::hex << int(command);
        return r.data;
    }
    // Application 56 34 12 selected, one file of every kind, all free.
    void prepareFiles() {
        ok(cmd::CreateApplication, {0x56, 0x34, 0x12, 0x0F, 0x02});
        ok(cmd::SelectApplication, {0x56, 0x34, 0x12});
        ok(cmd::CreateStdDataFile, {0x00, 0x00, 0xEE, 0xEE, 0x00, 0x01, 0x2C}); // 300 bytes
        ok(cmd::CreateBackupDataFile, {0x01, 0x00, 0xEE, 0xEE, 0x00, 0x00, 0x10});
        ok(cmd::CreateValueFile, {0x02, 0x00, 0xEE, 0xEE, 0xF6, 0xFF, 0xFF, 0xFF, 0xE8, 0x03, 0x00, 0x00,
                                  0x64, 0x00, 0x00, 0x00, 0x01}); // -10 .. 1000, value 100
        ok(cmd::CreateLinearRecordFile,
           {0x03, 0x00, 0xEE, 0xEE, 0x00, 0x00, 0x10, 0x00, 0x00, 0x03}); // 3 x 16
    }

    sim::Reader reader;
    DesfireCard* card = nullptr;
};

TEST_F(DesfireReader, EveryCommandRefusesRequestsOfTheWrongLength) {
    const struct {
        std::uint8_t code;
        std::size_t length; // of a well-formed request
    } fixed[] = {
        {cmd::Authenticate, 17},
        {cmd::ChangeKeySettings, 8},
        {cmd::GetKeySettings, 0},
        {cmd::ChangeKey, 25},
        {cmd::GetKeyVersion, 1},
        {cmd::CreateApplication, 5},
        {cmd::DeleteApplication, 3},
        {cmd::GetApplicationIds, 0},
        {cmd::SelectApplication, 3},
        {cmd::FormatPicc, 0},
        {cmd::GetVersion, 0},
        {cmd::GetFileIds, 0},
        {cmd::GetFileSettings, 1},
        {cmd::CreateStdDataFile, 7},
        {cmd::CreateBackupDataFile, 7},
        {cmd::CreateValueFile, 17},
        {cmd::CreateLinearRecordFile, 10},
        {cmd::CreateCyclicRecordFile, 10},
        {cmd::DeleteFile, 1},
        {cmd::ReadData, 7},
        {cmd::GetValue, 1},
        {cmd::Credit, 5},
        {cmd::Debit, 5},
        {cmd::LimitedCredit, 5},
        {cmd::ReadRecords, 7},
        {cmd::ClearRecordFile, 1},
        {cmd::CommitTransaction, 0},
        {cmd::AbortTransaction, 0},
    };
    for (const auto& c : fixed) {
        if (c.length > 0) {
            EXPECT_EQ(ask(c.code, Bytes(c.length - 1, 0x01)).status, status(Status::BadLength))
                << std::hex << int(c.code);
        }
        EXPECT_EQ(ask(c.code, Bytes(c.length + 1, 0x01)).status, status(Status::BadLength))
            << std::hex << int(c.code);
        EXPECT_NE(ask(c.code, Bytes(c.length, 0x01)).status, status(Status::BadLength))
            << std::hex << int(c.code);
    }
    // Requests carrying their own data length.
    const struct {
        std::uint8_t code;
        Bytes data;
        bool wellFormed;
    } carried[] = {
        {cmd::WriteData, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0xAA, 0xBB}, true},
        {cmd::WriteData, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0xAA}, false},
        {cmd::WriteData,
         {0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0xAA, 0xBB},
         false}, // length sent LSB first
        {cmd::WriteData, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, false},
        {cmd::WriteRecord, {0x03, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0xAA, 0xBB}, true},
        {cmd::WriteRecord, {0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0xAA, 0xBB}, false}, // sent MSB first
        {cmd::WriteRecord, {0x03, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0xAA, 0xBB, 0xCC}, false},
        {cmd::ChangeFileSettings, {0x00, 0x03, 0x00, 0xEE, 0xEE}, true},
        {cmd::ChangeFileSettings, {0x00, 0x03, 0x00, 0xEE}, false},
        {cmd::ChangeFileSettings, {0x00}, false},
    };
    for (const auto& c : carried) {
        const std::uint8_t got = ask(c.code, c.data).status;
        if (c.wellFormed)
            EXPECT_NE(got, status(Status::BadLength)) << std::hex << int(c.code) << " " << sim::toHex(c.data);
        else
            EXPECT_EQ(got, status(Status::BadLength)) << std::hex << int(c.code) << " " << sim::toHex(c.data);
    }
}

TEST_F(DesfireReader, TalksToTheSelectedOrTheOnlyDesfireCard) {
    const Bytes secondUid = {0x04, 0x99, 0x88, 0x77, 0x66, 0x55, 0x44};
    const struct {
        const char* what;
        std::function<void(sim::Field&)> arrange;
        std::uint8_t status;
        Bytes uid; // whose version answers
    } cases[] = {
        {"lone card, nothing selected", [](sim::Field&) {}, 0, kUid},
        {"antenna off", [](sim::Field& f) { f.setAntenna(false); }, status(Status::NoCard), {}},
        {"field in Type B", [](sim::Field& f) { f.setIsoType(sim::iso::TypeB); }, status(Status::NoCard), {}},
        {"lone card halted",
         [](sim::Field& f) { f.cards()[0]->setHalted(true); },
         status(Status::NoCard),
         {}},
        {"two cards, none selected",
         [&](sim::Field& f) { f.emplace<DesfireCard>(secondUid); },
         status(Status::WrongCardState),
         {}},
        {"two cards, second selected", [&](sim::Field& f) { f.select(&f.emplace<DesfireCard>(secondUid)); },
         0, secondUid},
        {"two cards, second halted",
         [&](sim::Field& f) { f.emplace<DesfireCard>(secondUid).setHalted(true); }, 0, kUid},
        {"another family selected",
         [](sim::Field& f) { f.select(&f.emplace<OtherTypeACard>()); },
         status(Status::WrongCardState),
         {}},
        {"no card at all", [](sim::Field& f) { f.clear(); }, status(Status::NoCard), {}},
    };
    for (const auto& c : cases) {
        sim::Reader r;
        r.install(sim::installDesfire);
        r.access([&](sim::ReaderState&, sim::Field& f) {
            f.emplace<DesfireCard>(kUid);
            c.arrange(f);
        });
        const auto response = r.process({0, cmd::GetVersion, {}});
        ASSERT_TRUE(response) << c.what;
        EXPECT_EQ(response->status, c.status) << c.what;
        if (c.status == 0) {
            ASSERT_EQ(response->data.size(), 28u) << c.what;
            EXPECT_EQ(Bytes(response->data.begin() + 14, response->data.begin() + 21), c.uid) << c.what;
        }
    }
}

TEST_F(DesfireReader, ParsesEachFieldInItsOwnByteOrder) {
    prepareFiles();
    EXPECT_EQ(card->selectedApplication(), 0x123456u);
    EXPECT_EQ(ok(cmd::GetFileIds), (Bytes{0x04, 0x00, 0x01, 0x02, 0x03}));
    // Sizes sent most significant first come back in the card's order.
    EXPECT_EQ(ok(cmd::GetFileSettings, {0x00}), (Bytes{0x00, 0x00, 0xEE, 0xEE, 0x2C, 0x01, 0x00}));
    EXPECT_EQ(ok(cmd::GetFileSettings, {0x03}),
              (Bytes{0x03, 0x00, 0xEE, 0xEE, 0x10, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00}));

    // Value 10000 above the upper limit 1000 is refused, so the bytes were read as sent.
    EXPECT_EQ(ask(cmd::CreateValueFile, {0x04, 0x00, 0xEE, 0xEE, 0x00, 0x00, 0x00, 0x00, 0xE8, 0x03, 0x00,
                                         0x00, 0x10, 0x27, 0x00, 0x00, 0x00})
                  .status,
              df::ParameterError);
    ok(cmd::CreateValueFile, {0x04, 0x00, 0xEE, 0xEE, 0x00, 0x00, 0x00, 0x00, 0x10, 0x27, 0x00, 0x00, 0xE8,
                              0x03, 0x00, 0x00, 0x00});
    EXPECT_EQ(ok(cmd::GetValue, {0x04}), (Bytes{0x00, 0xE8, 0x03, 0x00, 0x00})); // status byte, 1000
    ok(cmd::Credit, {0x04, 0x0A, 0x01, 0x00, 0x00});                             // 266
    ok(cmd::Debit, {0x04, 0x02, 0x00, 0x00, 0x00});
    ok(cmd::CommitTransaction);
    EXPECT_EQ(ok(cmd::GetValue, {0x04}), (Bytes{0x00, 0xF0, 0x04, 0x00, 0x00})); // 1264

    // Data offsets and lengths go most significant first.
    ok(cmd::WriteData, {0x00, 0x00, 0x01, 0x02, 0x00, 0x00, 0x03, 0xA1, 0xA2, 0xA3});
    EXPECT_EQ(card->readData(0, 258, 3).data, (Bytes{0xA1, 0xA2, 0xA3}));
    EXPECT_EQ(ok(cmd::ReadData, {0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x05}),
              (Bytes{0x00, 0x00, 0x05, 0x00, 0x00, 0xA1, 0xA2, 0xA3}));

    // Record offsets and lengths go least significant first, and so does the answer's length.
    ok(cmd::WriteRecord, {0x03, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00, 0xB1, 0xB2});
    ok(cmd::CommitTransaction);
    Bytes record = {0x10, 0x00, 0x00, 0x00, 0xB1, 0xB2};
    record.resize(3 + 16, 0x00);
    EXPECT_EQ(ok(cmd::ReadRecords, {0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}), record);
    EXPECT_EQ(ok(cmd::GetFileSettings, {0x03})[10], 0x01);

    // Lists: a count, then the entries.
    ok(cmd::SelectApplication, {0x00, 0x00, 0x00});
    EXPECT_EQ(ok(cmd::GetApplicationIds), (Bytes{0x01, 0x56, 0x34, 0x12}));
    EXPECT_EQ(ask(cmd::DeleteApplication, {0x56, 0x34, 0x12}).status, df::PermissionDenied);
    ok(cmd::Authenticate, Bytes(17, 0x00));
    EXPECT_EQ(ask(cmd::DeleteApplication, {0x12, 0x34, 0x56}).status, df::ApplicationNotFound);
    ok(cmd::DeleteApplication, {0x56, 0x34, 0x12});
    EXPECT_EQ(ok(cmd::GetApplicationIds), Bytes{0x00});
}

TEST_F(DesfireReader, ReadAnswersStayWithinOneFrame) {
    prepareFiles();
    ok(cmd::CreateCyclicRecordFile,
       {0x05, 0x00, 0xEE, 0xEE, 0x00, 0x00, 0xC8, 0x00, 0x00, 0x03}); // 200-byte records
    for (int i = 0; i < 2; ++i) {
        Bytes write = {0x05, 0x00, 0x00, 0x00, 0xC8, 0x00, 0x00};
        write.resize(7 + 200, static_cast<std::uint8_t>(0x30 + i));
        ok(cmd::WriteRecord, write);
        ok(cmd::CommitTransaction);
    }
    ok(cmd::WriteData, {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x77}); // pending in the backup file

    const struct {
        std::uint8_t code;
        Bytes request;
        std::size_t dataBytes; // 0: refused with the length error
    } reads[] = {
        {cmd::ReadData, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7}, 247},
        {cmd::ReadData, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8}, 0},
        {cmd::ReadData, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, 0},   // to the end: 300 bytes
        {cmd::ReadData, {0x00, 0x00, 0x00, 0x35, 0x00, 0x00, 0x00}, 247}, // from 53 to the end
        {cmd::ReadData, {0x00, 0x00, 0x00, 0x34, 0x00, 0x00, 0x00}, 0},   // from 52: one byte too many
        {cmd::ReadRecords, {0x05, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00}, 200},
        {cmd::ReadRecords, {0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, 0}, // both: 400 bytes
    };
    for (const auto& r : reads) {
        const sim::Response response = ask(r.code, r.request);
        const std::string what = sim::toHex(r.request);
        if (r.dataBytes == 0) {
            EXPECT_EQ(response.status, df::LengthError) << what;
            continue;
        }
        ASSERT_EQ(response.status, 0) << what;
        ASSERT_EQ(response.data.size(), 3 + r.dataBytes) << what;
        const std::size_t announced =
            r.code == cmd::ReadData ? (response.data[0] << 16 | response.data[1] << 8 | response.data[2])
                                    : (response.data[2] << 16 | response.data[1] << 8 | response.data[0]);
        EXPECT_EQ(announced, r.dataBytes) << what;
    }
    EXPECT_TRUE(card->transactionPending()) << "the reader's refusal is no card error";
}

TEST_F(DesfireReader, KeysAndCardStatusesPassThrough) {
    ok(cmd::CreateApplication, {0x01, 0x00, 0x00, 0x0F, 0x03});
    ok(cmd::SelectApplication, {0x01, 0x00, 0x00});
    Bytes authenticate(17, 0x00);
    authenticate[0] = 0x00;
    authenticate[5] = 0x02; // not the key: bit 1 differs
    EXPECT_EQ(ask(cmd::Authenticate, authenticate).status, df::AuthenticationError);
    authenticate[5] = 0x01; // only the parity bit differs
    const Bytes session = ok(cmd::Authenticate, authenticate);
    EXPECT_EQ(session, Bytes(card->sessionKey().begin(), card->sessionKey().end()));
    EXPECT_EQ(session.size(), 16u);

    // ChangeKey: key number, the new key (version 0x5A in its parity bits), 8 bytes the reader fills itself.
    Bytes change = {0x02, 0x20, 0x21, 0x20, 0x21, 0x21, 0x20, 0x21, 0x20,
                    0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40};
    change.resize(25, 0xEE);
    ok(cmd::ChangeKey, change);
    EXPECT_EQ(ok(cmd::GetKeyVersion, {0x02}), Bytes{0x5A});
    EXPECT_EQ(ask(cmd::GetKeyVersion, {0x03}).status, df::NoSuchKey);
    EXPECT_EQ(ok(cmd::Authenticate, Bytes(change.begin(), change.begin() + 17)).size(), 16u);

    ok(cmd::SelectApplication, {0x01, 0x00, 0x00});
    ok(cmd::Authenticate, Bytes(17, 0x00));
    ok(cmd::ChangeKeySettings, {0x09, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(ok(cmd::GetKeySettings), (Bytes{0x09, 0x03}));
    ok(cmd::SelectApplication, {0x00, 0x00, 0x00});
    EXPECT_EQ(ask(cmd::SelectApplication, {0x02, 0x00, 0x00}).status, df::ApplicationNotFound);
    EXPECT_EQ(ask(cmd::FormatPicc).status, df::PermissionDenied);
    ok(cmd::Authenticate, Bytes(17, 0x00));
    ok(cmd::FormatPicc);
    EXPECT_EQ(ok(cmd::GetApplicationIds), Bytes{0x00});
}

TEST(DesfireScenario, BuildsCardsFromTheirDescription) {
    sim::CardKinds kinds;
    sim::addDesfireKinds(kinds);
    const auto scenario = sim::parseScenario(R"({"cards": [
        {"kind": "desfire", "uid": "04 A1 A2 A3 A4 A5 A6", "storage": "2K",
         "masterKey": "00112233445566778899AABBCCDDEEFF", "keySettings": 11},
        {"kind": "desfire", "uid": "04B1B2B3B4B5B6"}]})",
                                             kinds);
    ASSERT_EQ(scenario.cards.size(), 2u);
    auto* first = dynamic_cast<DesfireCard*>(scenario.cards[0].get());
    auto* second = dynamic_cast<DesfireCard*>(scenario.cards[1].get());
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->uid(), (Bytes{0x04, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6}));
    EXPECT_EQ(first->getVersion().data[5], 0x16);
    EXPECT_EQ(second->getVersion().data[5], 0x18);
    EXPECT_EQ(first->getKeySettings().data, (Bytes{0x0B, 0x01}));
    df::Key master = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                      0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    EXPECT_EQ(first->authenticate(0, master).status, df::Ok);
    EXPECT_EQ(second->authenticate(0, master).status, df::AuthenticationError);
    EXPECT_EQ(second->authenticate(0, df::Key{}).status, df::Ok);

    const char* bad[] = {
        R"({"kind": "desfire"})",
        R"({"kind": "desfire", "uid": "04112233"})",
        R"({"kind": "desfire", "uid": "04112233445566", "storage": "16K"})",
        R"({"kind": "desfire", "uid": "04112233445566", "masterKey": "0011"})",
        R"({"kind": "desfire", "uid": "04112233445566", "keySettings": 256})",
        R"({"kind": "desfire", "uid": "04112233445566", "colour": "red"})",
    };
    for (const char* card : bad)
        EXPECT_THROW(kinds.make(sim::parseJson(card)), std::runtime_error) << card;
}

} // namespace
