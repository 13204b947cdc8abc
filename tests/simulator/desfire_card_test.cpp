// The DESFire card model, asked in the card's own terms.

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "simulator/cards/desfire.h"

namespace {

namespace df = sim::desfire;
using sim::Bytes;
using sim::DesfireCard;

const Bytes kUid = {0x04, 0x1F, 0x5B, 0x92, 0xDA, 0x2C, 0x80};
constexpr std::uint32_t kAid = 0x123456;
const df::AccessRights kFree{}; // every right free

df::Key keyFilled(std::uint8_t b) {
    df::Key key;
    key.fill(b);
    return key;
}

// A card with application kAid selected: 5 keys, key n filled with 0x10 * n
// (key 0 stays all zero), settings KS1.
struct AppCard {
    explicit AppCard(std::uint8_t ks1 = 0x0F, df::Storage storage = df::Storage::Size4K)
        : card(kUid, df::Identity{storage}) {
        EXPECT_EQ(card.createApplication(kAid, 0x0F, 5).status, df::Ok);
        EXPECT_EQ(card.selectApplication(kAid).status, df::Ok);
        EXPECT_EQ(card.authenticate(0, keyFilled(0)).status, df::Ok);
        for (std::uint8_t k = 1; k < 5; ++k)
            EXPECT_EQ(card.changeKey(k, keyFilled(static_cast<std::uint8_t>(0x10 * k))).status, df::Ok);
        if (ks1 != 0x0F) {
            EXPECT_EQ(card.changeKeySettings(ks1).status, df::Ok);
        }
    }
    void authenticate(std::optional<std::uint8_t> key) {
        card.selectApplication(kAid); // drops any authentication
        if (key) {
            ASSERT_EQ(card.authenticate(*key, keyFilled(static_cast<std::uint8_t>(0x10 * *key))).status,
                      df::Ok);
        }
    }
    DesfireCard card;
};

std::int32_t valueOf(const df::Reply& reply) {
    EXPECT_EQ(reply.data.size(), 4u);
    if (reply.data.size() != 4) return 0;
    return static_cast<std::int32_t>(reply.data[0] | reply.data[1] << 8 | reply.data[2] << 16 |
                                     static_cast<std::uint32_t>(reply.data[3]) << 24);
}

// Limited credit value: bytes 12-15 of a value file's settings.
std::int32_t limitedCreditValue(DesfireCard& card, std::uint8_t file) {
    const df::Reply settings = card.getFileSettings(file);
    EXPECT_EQ(settings.data.size(), 17u);
    if (settings.data.size() != 17) return -1;
    return valueOf(df::Reply{df::Ok, Bytes(settings.data.begin() + 12, settings.data.begin() + 16)});
}

TEST(DesfireVersion, AnswersTheChipLayoutWithItsOwnUidAndStorage) {
    // The EV1 4K example: hardware, software, UID, batch, week, year.
    const Bytes example = {0x04, 0x01, 0x01, 0x01, 0x00, 0x18, 0x05, 0x04, 0x01, 0x01,
                           0x01, 0x04, 0x18, 0x05, 0x04, 0x1F, 0x5B, 0x92, 0xDA, 0x2C,
                           0x80, 0xBA, 0x34, 0x98, 0xBA, 0xD0, 0x29, 0x12};
    DesfireCard card(kUid);
    EXPECT_EQ(card.getVersion().data, example);

    const struct {
        df::Storage storage;
        std::uint8_t storageByte;
    } sizes[] = {{df::Storage::Size2K, 0x16}, {df::Storage::Size4K, 0x18}, {df::Storage::Size8K, 0x1A}};
    const Bytes otherUid = {0x04, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
    for (const auto& s : sizes) {
        DesfireCard other(otherUid, df::Identity{s.storage, {1, 2, 3, 4, 5}, 0x07, 0x21});
        const Bytes v = other.getVersion().data;
        ASSERT_EQ(v.size(), 28u);
        EXPECT_EQ(v[5], s.storageByte);
        EXPECT_EQ(v[12], s.storageByte);
        EXPECT_EQ(Bytes(v.begin() + 14, v.begin() + 21), otherUid);
        EXPECT_EQ(Bytes(v.begin() + 21, v.end()), (Bytes{1, 2, 3, 4, 5, 0x07, 0x21}));
    }
    EXPECT_THROW(DesfireCard(Bytes{1, 2, 3, 4}), std::invalid_argument);
    EXPECT_EQ(card.atqa(), (std::array<std::uint8_t, 2>{0x44, 0x03}));
    EXPECT_EQ(card.sak(), 0x20);
    const Bytes ats = card.ats();
    ASSERT_GE(ats.size(), 4u);
    EXPECT_EQ(Bytes(ats.begin(), ats.begin() + 4), (Bytes{0x75, 0x77, 0x81, 0x02}));
}

TEST(DesfireFiles, SettingsAnswerPerFileKind) {
    AppCard app;
    auto& card = app.card;
    const auto access = df::AccessRights::fromBytes(0x54, 0x12);
    EXPECT_EQ(access, (df::AccessRights{1, 2, 5, 4}));
    EXPECT_EQ(access.bytes(), (std::array<std::uint8_t, 2>{0x54, 0x12}));

    ASSERT_EQ(card.createDataFile(0, false, df::kEnciphered, access, 100).status, df::Ok);
    ASSERT_EQ(card.createDataFile(1, true, df::kMaced, df::AccessRights{0, 0xE, 1, 0xF}, 32).status, df::Ok);
    ASSERT_EQ(card.createValueFile(2, df::kPlain, kFree, -100, 1000, 5, 1).status, df::Ok);
    ASSERT_EQ(card.createRecordFile(3, false, df::kPlain, kFree, 16, 5).status, df::Ok);
    ASSERT_EQ(card.createRecordFile(4, true, df::kPlain, kFree, 4, 3).status, df::Ok);
    for (int i = 0; i < 4; ++i) { // a cyclic file for 3 shows at most 2
        ASSERT_EQ(card.writeRecord(4, 0, Bytes{static_cast<std::uint8_t>(i)}).status, df::Ok);
        ASSERT_EQ(card.commitTransaction().status, df::Ok);
    }

    const struct {
        std::uint8_t file;
        Bytes settings;
    } cases[] = {
        {0, {0x00, 0x03, 0x54, 0x12, 0x64, 0x00, 0x00}},
        {1, {0x01, 0x01, 0x1F, 0x0E, 0x20, 0x00, 0x00}},
        {2,
         {0x02, 0x00, 0xEE, 0xEE, 0x9C, 0xFF, 0xFF, 0xFF, 0xE8, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
          0x01}},
        {3, {0x03, 0x00, 0xEE, 0xEE, 0x10, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {4, {0x04, 0x00, 0xEE, 0xEE, 0x04, 0x00, 0x00, 0x03, 0x00, 0x00, 0x02, 0x00, 0x00}},
    };
    for (const auto& c : cases) {
        const df::Reply reply = card.getFileSettings(c.file);
        EXPECT_EQ(reply.status, df::Ok) << "file " << int(c.file);
        EXPECT_EQ(reply.data, c.settings) << "file " << int(c.file);
    }
    EXPECT_EQ(card.getFileIds().data, (Bytes{0, 1, 2, 3, 4}));
    EXPECT_EQ(card.getFileSettings(5).status, df::FileNotFound);

    // Changing settings needs the Change key (4 for file 0); a bad length or
    // communication byte is refused.
    app.authenticate(1);
    EXPECT_EQ(card.changeFileSettings(0, Bytes{0x00, 0xEE, 0xEE}).status, df::PermissionDenied);
    app.authenticate(4);
    EXPECT_EQ(card.changeFileSettings(0, Bytes{0x00, 0xEE}).status, df::LengthError);
    EXPECT_EQ(card.changeFileSettings(0, Bytes{0x02, 0xEE, 0xEE}).status, df::ParameterError);
    EXPECT_EQ(card.changeFileSettings(0, Bytes{0x01, 0xEE, 0xEE}).status, df::Ok);
    EXPECT_EQ(card.getFileSettings(0).data, (Bytes{0x00, 0x01, 0xEE, 0xEE, 0x64, 0x00, 0x00}));
}

TEST(DesfireTransaction, CreditAndDebitCommitTogetherAndSetTheLimitedCredit) {
    AppCard app;
    auto& card = app.card;
    ASSERT_EQ(card.createValueFile(1, df::kPlain, kFree, 0, 10000, 1000, 1).status, df::Ok);
    for (int round = 1; round <= 3; ++round) {
        const std::int32_t before = valueOf(card.getValue(1));
        EXPECT_EQ(card.credit(1, 100).status, df::Ok);
        EXPECT_EQ(card.debit(1, 97).status, df::Ok);
        EXPECT_EQ(valueOf(card.getValue(1)), before) << "round " << round << ": visible before commit";
        EXPECT_EQ(card.commitTransaction().status, df::Ok);
        EXPECT_EQ(valueOf(card.getValue(1)), before + 3) << "round " << round;
        EXPECT_EQ(limitedCreditValue(card, 1), 97) << "round " << round;
    }
    const std::int32_t committed = valueOf(card.getValue(1));
    EXPECT_EQ(card.limitedCredit(1, 98).status, df::BoundaryError);
    EXPECT_EQ(card.limitedCredit(1, 97).status, df::Ok);
    EXPECT_EQ(card.limitedCredit(1, 1).status, df::BoundaryError) << "only once per transaction";
    EXPECT_EQ(valueOf(card.getValue(1)), committed) << "the error threw the limited credit away";
    EXPECT_EQ(card.limitedCredit(1, 97).status, df::Ok);
    EXPECT_EQ(card.commitTransaction().status, df::Ok);
    EXPECT_EQ(valueOf(card.getValue(1)), committed + 97);
    EXPECT_EQ(limitedCreditValue(card, 1), 0);
    EXPECT_EQ(card.limitedCredit(1, 1).status, df::BoundaryError);

    // Without limited credit enabled it is refused outright.
    ASSERT_EQ(card.createValueFile(2, df::kPlain, kFree, 0, 100, 50, 0).status, df::Ok);
    EXPECT_EQ(card.debit(2, 10).status, df::Ok);
    EXPECT_EQ(card.commitTransaction().status, df::Ok);
    EXPECT_EQ(card.limitedCredit(2, 5).status, df::PermissionDenied);
}

TEST(DesfireTransaction, BackupValueAndRecordFilesChangeOnlyOnCommit) {
    AppCard app;
    auto& card = app.card;
    ASSERT_EQ(card.createDataFile(0, false, df::kPlain, kFree, 8).status, df::Ok);
    ASSERT_EQ(card.createDataFile(1, true, df::kPlain, kFree, 8).status, df::Ok);
    ASSERT_EQ(card.createValueFile(2, df::kPlain, kFree, 0, 100, 10, 0).status, df::Ok);
    ASSERT_EQ(card.createRecordFile(3, false, df::kPlain, kFree, 4, 3).status, df::Ok);
    const Bytes zeros(8, 0x00), data = {1, 2, 3, 4, 5, 6, 7, 8};

    ASSERT_EQ(card.writeData(0, 0, data).status, df::Ok);
    ASSERT_EQ(card.writeData(1, 0, data).status, df::Ok);
    ASSERT_EQ(card.credit(2, 5).status, df::Ok);
    ASSERT_EQ(card.writeRecord(3, 0, Bytes{0xA1, 0xA2}).status, df::Ok);
    ASSERT_EQ(card.writeRecord(3, 2, Bytes{0xA3}).status, df::Ok); // same record, same transaction
    EXPECT_EQ(card.readData(0, 0, 8).data, data) << "a standard file writes at once";
    EXPECT_EQ(card.readData(1, 0, 0).data, zeros);
    EXPECT_EQ(valueOf(card.getValue(2)), 10);
    EXPECT_EQ(card.getFileSettings(3).data[10], 0) << "no committed record yet";
    EXPECT_TRUE(card.transactionPending());

    ASSERT_EQ(card.commitTransaction().status, df::Ok);
    EXPECT_FALSE(card.transactionPending());
    EXPECT_EQ(card.readData(1, 0, 8).data, data);
    EXPECT_EQ(valueOf(card.getValue(2)), 15);
    EXPECT_EQ(card.readRecords(3, 0, 0).data, (Bytes{0xA1, 0xA2, 0xA3, 0x00}));

    ASSERT_EQ(card.writeData(1, 4, Bytes{9, 9, 9, 9}).status, df::Ok);
    ASSERT_EQ(card.debit(2, 15).status, df::Ok);
    ASSERT_EQ(card.writeRecord(3, 0, Bytes{0xB1}).status, df::Ok);
    ASSERT_EQ(card.abortTransaction().status, df::Ok);
    ASSERT_EQ(card.commitTransaction().status, df::Ok); // nothing left to commit
    EXPECT_EQ(card.readData(1, 0, 8).data, data);
    EXPECT_EQ(valueOf(card.getValue(2)), 15);
    EXPECT_EQ(card.readRecords(3, 0, 0).data, (Bytes{0xA1, 0xA2, 0xA3, 0x00}));

    // Clearing is a pending change as well; selecting again or losing power drops pending changes.
    ASSERT_EQ(card.clearRecordFile(3).status, df::Ok);
    EXPECT_EQ(card.readRecords(3, 0, 1).status, df::Ok);
    ASSERT_EQ(card.commitTransaction().status, df::Ok);
    EXPECT_EQ(card.readRecords(3, 0, 0).status, df::BoundaryError);
    const std::function<void(DesfireCard&)> sessionEnds[] = {[](DesfireCard& c) { c.powerCycle(); },
                                                             [](DesfireCard& c) { c.leaveSession(); }};
    for (const auto& end : sessionEnds) {
        ASSERT_EQ(card.authenticate(0, keyFilled(0)).status, df::Ok);
        ASSERT_EQ(card.credit(2, 1).status, df::Ok);
        end(card);
        EXPECT_FALSE(card.transactionPending());
        EXPECT_EQ(card.selectedApplication(), 0u);
        EXPECT_FALSE(card.authenticatedKey());
        ASSERT_EQ(card.selectApplication(kAid).status, df::Ok);
        EXPECT_EQ(valueOf(card.getValue(2)), 15);
    }
}

TEST(DesfireTransaction, LimitsAndErrorsAbortWhatIsPending) {
    using Op = std::function<df::Reply(DesfireCard&)>;
    const struct {
        const char* what;
        Op op;
        std::uint8_t status;
    } cases[] = {
        {"write at the end", [](DesfireCard& c) { return c.writeData(0, 29, Bytes(3, 1)); }, df::Ok},
        {"write past the end", [](DesfireCard& c) { return c.writeData(0, 30, Bytes(3, 1)); },
         df::BoundaryError},
        {"empty write", [](DesfireCard& c) { return c.writeData(0, 0, Bytes{}); }, df::LengthError},
        {"read whole file", [](DesfireCard& c) { return c.readData(0, 0, 32); }, df::Ok},
        {"read one too many", [](DesfireCard& c) { return c.readData(0, 0, 33); }, df::BoundaryError},
        {"read at the end", [](DesfireCard& c) { return c.readData(0, 32, 0); }, df::BoundaryError},
        {"credit to the upper limit", [](DesfireCard& c) { return c.credit(2, 100); }, df::Ok},
        {"credit past the upper limit", [](DesfireCard& c) { return c.credit(2, 101); }, df::BoundaryError},
        {"debit to the lower limit", [](DesfireCard& c) { return c.debit(2, 10); }, df::Ok},
        {"debit past the lower limit", [](DesfireCard& c) { return c.debit(2, 11); }, df::BoundaryError},
        {"negative credit", [](DesfireCard& c) { return c.credit(2, -1); }, df::ParameterError},
        {"credit on a data file", [](DesfireCard& c) { return c.credit(0, 1); }, df::ParameterError},
        {"record write within", [](DesfireCard& c) { return c.writeRecord(3, 6, Bytes(2, 1)); }, df::Ok},
        {"record write past the record", [](DesfireCard& c) { return c.writeRecord(3, 6, Bytes(3, 1)); },
         df::BoundaryError},
        {"read both records", [](DesfireCard& c) { return c.readRecords(3, 0, 2); }, df::Ok},
        {"read a third record", [](DesfireCard& c) { return c.readRecords(3, 0, 3); }, df::BoundaryError},
        {"offset past the oldest", [](DesfireCard& c) { return c.readRecords(3, 2, 0); }, df::BoundaryError},
        {"append to a full linear file", [](DesfireCard& c) { return c.writeRecord(4, 0, Bytes{1}); },
         df::BoundaryError},
        {"missing file", [](DesfireCard& c) { return c.readData(9, 0, 1); }, df::FileNotFound},
        {"wrong key number", [](DesfireCard& c) { return c.getKeyVersion(5); }, df::NoSuchKey},
    };
    for (const auto& c : cases) {
        AppCard app;
        auto& card = app.card;
        ASSERT_EQ(card.createDataFile(0, false, df::kPlain, kFree, 32).status, df::Ok);
        ASSERT_EQ(card.createDataFile(1, true, df::kPlain, kFree, 4).status, df::Ok);
        ASSERT_EQ(card.createValueFile(2, df::kPlain, kFree, -10, 100, 0, 0).status, df::Ok);
        ASSERT_EQ(card.createRecordFile(3, false, df::kPlain, kFree, 8, 3).status, df::Ok);
        ASSERT_EQ(card.createRecordFile(4, false, df::kPlain, kFree, 1, 1).status, df::Ok);
        for (const std::uint8_t file : {3, 3, 4}) {
            ASSERT_EQ(card.writeRecord(file, 0, Bytes{7}).status, df::Ok);
            ASSERT_EQ(card.commitTransaction().status, df::Ok);
        }
        ASSERT_EQ(card.writeData(1, 0, Bytes{0xAB}).status, df::Ok); // pending

        EXPECT_EQ(c.op(card).status, c.status) << c.what;
        EXPECT_EQ(card.transactionPending(), c.status == df::Ok) << c.what;
        card.commitTransaction();
        EXPECT_EQ(card.readData(1, 0, 1).data, Bytes{Bytes::value_type(c.status == df::Ok ? 0xAB : 0x00)})
            << c.what;
    }
}

TEST(DesfireRecords, CyclicFileOverwritesItsOldestRecord) {
    AppCard app;
    auto& card = app.card;
    ASSERT_EQ(card.createRecordFile(5, true, df::kPlain, kFree, 2, 4).status, df::Ok); // shows 3
    for (std::uint8_t i = 1; i <= 6; ++i) {
        ASSERT_EQ(card.writeRecord(5, 0, Bytes{i, static_cast<std::uint8_t>(i * 0x11)}).status, df::Ok);
        ASSERT_EQ(card.commitTransaction().status, df::Ok);
    }
    const auto record = [](std::uint8_t i) { return Bytes{i, static_cast<std::uint8_t>(i * 0x11)}; };
    const auto join = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const Bytes& p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    const struct {
        std::uint32_t offset, count;
        std::uint8_t status;
        Bytes data;
    } reads[] = {
        {0, 0, df::Ok, join({record(4), record(5), record(6)})},
        {0, 1, df::Ok, record(6)},
        {1, 2, df::Ok, join({record(4), record(5)})},
        {2, 0, df::Ok, record(4)},
        {3, 0, df::BoundaryError, {}},
        {1, 3, df::BoundaryError, {}},
    };
    for (const auto& r : reads) {
        const df::Reply reply = card.readRecords(5, r.offset, r.count);
        EXPECT_EQ(reply.status, r.status) << r.offset << "/" << r.count;
        EXPECT_EQ(reply.data, r.data) << r.offset << "/" << r.count;
    }
    EXPECT_EQ(card.createRecordFile(6, true, df::kPlain, kFree, 2, 1).status, df::ParameterError);
}

TEST(DesfireAccess, FileRightsFollowTheAuthenticatedKey) {
    // Read 1, Write 2, ReadWrite 3, Change 4 on a data file and a value file;
    // file 2 refuses reading to everyone and is free to write.
    using Op = std::function<df::Reply(DesfireCard&)>;
    const Op read = [](DesfireCard& c) { return c.readData(0, 0, 4); };
    const Op write = [](DesfireCard& c) { return c.writeData(0, 0, Bytes{1}); };
    const Op getValue = [](DesfireCard& c) { return c.getValue(1); };
    const Op credit = [](DesfireCard& c) { return c.credit(1, 1); };
    const Op debit = [](DesfireCard& c) { return c.debit(1, 1); };
    const Op readLocked = [](DesfireCard& c) { return c.readData(2, 0, 1); };
    const Op writeFree = [](DesfireCard& c) { return c.writeData(2, 0, Bytes{1}); };
    const std::uint8_t ok = df::Ok, no = df::PermissionDenied;
    const struct {
        const char* what;
        const Op& op;
        std::uint8_t none, key0, key1, key2, key3, key4;
    } cases[] = {
        {"read", read, no, no, ok, no, ok, no},
        {"write", write, no, no, no, ok, ok, no},
        {"get value", getValue, no, no, ok, ok, ok, no},
        {"credit", credit, no, no, no, no, ok, no},
        {"debit", debit, no, no, ok, ok, ok, no},
        {"read, never", readLocked, no, no, no, no, no, no},
        {"write, free", writeFree, ok, ok, ok, ok, ok, ok},
    };
    for (const auto& c : cases) {
        const std::pair<std::optional<std::uint8_t>, std::uint8_t> expected[] = {
            {std::nullopt, c.none}, {0, c.key0}, {1, c.key1}, {2, c.key2}, {3, c.key3}, {4, c.key4}};
        for (const auto& [key, status] : expected) {
            AppCard app;
            const df::AccessRights rights{1, 2, 3, 4};
            ASSERT_EQ(app.card.createDataFile(0, false, df::kPlain, rights, 8).status, df::Ok);
            ASSERT_EQ(app.card.createValueFile(1, df::kPlain, rights, 0, 100, 50, 0).status, df::Ok);
            ASSERT_EQ(
                app.card.createDataFile(2, false, df::kPlain, df::AccessRights{0xF, 0xE, 0xF, 0xF}, 8).status,
                df::Ok);
            app.authenticate(key);
            EXPECT_EQ(c.op(app.card).status, status) << c.what << " with key " << (key ? int(*key) : -1);
        }
    }
}

TEST(DesfireKeys, AuthenticationComparesTheKeyAndOpensASession) {
    AppCard app;
    auto& card = app.card;
    const df::Reply first = card.authenticate(2, keyFilled(0x20));
    ASSERT_EQ(first.status, df::Ok);
    EXPECT_EQ(first.data, Bytes(card.sessionKey().begin(), card.sessionKey().end()));
    EXPECT_EQ(card.authenticatedKey(), 2);
    const df::Reply second = card.authenticate(2, keyFilled(0x21)); // only parity bits differ
    ASSERT_EQ(second.status, df::Ok);
    EXPECT_NE(first.data, second.data) << "fresh random numbers every time";
    // A single-DES key (equal halves) gives an 8-byte session key twice.
    EXPECT_TRUE(std::equal(second.data.begin(), second.data.begin() + 8, second.data.begin() + 8));

    EXPECT_EQ(card.authenticate(2, keyFilled(0x22)).status, df::AuthenticationError);
    EXPECT_FALSE(card.authenticatedKey());
    EXPECT_EQ(card.authenticate(5, keyFilled(0x50)).status, df::NoSuchKey);

    // Two-key key: the session key takes both halves of RndA and RndB.
    df::Key twoKey = keyFilled(0x40);
    std::fill(twoKey.begin() + 8, twoKey.end(), 0x60);
    ASSERT_EQ(card.authenticate(0, keyFilled(0)).status, df::Ok);
    ASSERT_EQ(card.changeKey(3, twoKey).status, df::Ok);
    const df::Reply session = card.authenticate(3, twoKey);
    ASSERT_EQ(session.status, df::Ok);
    EXPECT_FALSE(std::equal(session.data.begin(), session.data.begin() + 8, session.data.begin() + 8));
}

TEST(DesfireKeys, ChangeKeyFollowsTheKeySettings) {
    const std::uint8_t ok = df::Ok;
    const struct {
        std::uint8_t ks1;
        std::optional<std::uint8_t> authenticatedWith;
        std::uint8_t keyNo;
        std::uint8_t status;
    } cases[] = {
        {0x0F, 0, 1, ok}, // the master key changes the others
        {0x0F, 1, 1, df::AuthenticationError},
        {0x0F, std::nullopt, 1, df::AuthenticationError},
        {0x2F, 2, 3, ok}, // key 2 is the change key
        {0x2F, 0, 3, df::AuthenticationError},
        {0xEF, 3, 3, ok}, // each key changes itself
        {0xEF, 0, 3, df::AuthenticationError},
        {0xFF, 0, 1, df::PermissionDenied}, // frozen
        {0x0F, 0, 0, ok},                   // master key changeable
        {0x0E, 0, 0, df::PermissionDenied},
        {0x0F, 0, 5, df::NoSuchKey},
    };
    for (const auto& c : cases) {
        AppCard app(c.ks1);
        app.authenticate(c.authenticatedWith);
        df::Key newKey = keyFilled(0x70);
        newKey[0] |= 1; // version 0x81 in the parity bits
        newKey[7] |= 1;
        const std::string what = "KS1 " + std::to_string(c.ks1) + " key " + std::to_string(c.keyNo);
        EXPECT_EQ(app.card.changeKey(c.keyNo, newKey).status, c.status) << what;
        if (c.status != ok) continue;
        if (c.authenticatedWith == c.keyNo) {
            EXPECT_FALSE(app.card.authenticatedKey()) << what << ": the session of the old key ends";
        }
        EXPECT_EQ(app.card.getKeyVersion(c.keyNo).data, Bytes{0x81}) << what;
        EXPECT_EQ(app.card.authenticate(c.keyNo, newKey).status, ok) << what;
        EXPECT_EQ(app.card.authenticate(c.keyNo, keyFilled(static_cast<std::uint8_t>(0x10 * c.keyNo))).status,
                  df::AuthenticationError)
            << what;
    }
}

TEST(DesfireKeys, KeySettingsNeedTheMasterKeyAndTheirOwnPermission) {
    AppCard app;
    auto& card = app.card;
    app.authenticate(1);
    EXPECT_EQ(card.changeKeySettings(0x09).status, df::AuthenticationError);
    app.authenticate(0);
    EXPECT_EQ(card.changeKeySettings(0x05).status, df::Ok); // no free listing, configuration frozen
    EXPECT_EQ(card.getKeySettings().data, (Bytes{0x05, 0x05}));
    EXPECT_EQ(card.changeKeySettings(0x0F).status, df::PermissionDenied);
    app.authenticate(std::nullopt);
    EXPECT_EQ(card.getKeySettings().status, df::PermissionDenied);
    EXPECT_EQ(card.getFileIds().status, df::PermissionDenied);

    // The card level: one key, KS2 01.
    ASSERT_EQ(card.selectApplication(0).status, df::Ok);
    EXPECT_EQ(card.getKeySettings().data, (Bytes{0x0F, 0x01}));
    EXPECT_EQ(card.getKeyVersion(1).status, df::NoSuchKey);
}

TEST(DesfireApplications, CreateSelectListDeleteAndFormat) {
    DesfireCard card(kUid);
    EXPECT_EQ(card.createApplication(0x000001, 0x0F, 1).status, df::Ok);
    const struct {
        std::uint32_t aid;
        std::uint8_t numberOfKeys;
        std::uint8_t status;
    } creates[] = {
        {0x000001, 1, df::DuplicateError},    {0x000000, 1, df::ParameterError},
        {0x000002, 0, df::ParameterError},    {0x000002, 15, df::ParameterError},
        {0x000002, 0x81, df::ParameterError}, {0xABCDEF, 14, df::Ok},
    };
    for (const auto& c : creates)
        EXPECT_EQ(card.createApplication(c.aid, 0x0F, c.numberOfKeys).status, c.status) << std::hex << c.aid;
    EXPECT_EQ(card.getApplicationIds().data, (Bytes{0x01, 0x00, 0x00, 0xEF, 0xCD, 0xAB}));
    for (std::uint32_t aid = 0x100; card.getApplicationIds().data.size() < 3 * df::kMaxApplications; ++aid)
        ASSERT_EQ(card.createApplication(aid, 0x0F, 1).status, df::Ok);
    EXPECT_EQ(card.createApplication(0x200, 0x0F, 1).status, df::CountError);

    EXPECT_EQ(card.selectApplication(0x777777).status, df::ApplicationNotFound);
    ASSERT_EQ(card.selectApplication(0xABCDEF).status, df::Ok);
    EXPECT_EQ(card.createApplication(0x300, 0x0F, 1).status, df::PermissionDenied)
        << "only at the card level";
    EXPECT_EQ(card.deleteApplication(0xABCDEF).status, df::PermissionDenied) << "not authenticated";
    ASSERT_EQ(card.authenticate(0, keyFilled(0)).status, df::Ok);
    EXPECT_EQ(card.deleteApplication(0x000001).status, df::PermissionDenied)
        << "another application's master key";
    EXPECT_EQ(card.deleteApplication(0xABCDEF).status, df::Ok) << "its own master key";
    EXPECT_EQ(card.selectedApplication(), 0u);
    EXPECT_EQ(card.deleteApplication(0xABCDEF).status, df::ApplicationNotFound);

    // The card master key guards creation once KS1 bit 2 is cleared, and always guards format.
    const df::Key master = keyFilled(0x5A);
    ASSERT_EQ(card.authenticate(0, keyFilled(0)).status, df::Ok);
    ASSERT_EQ(card.changeKey(0, master).status, df::Ok);
    ASSERT_EQ(card.authenticate(0, master).status, df::Ok);
    ASSERT_EQ(card.changeKeySettings(0x0B).status, df::Ok);
    ASSERT_EQ(card.selectApplication(0).status, df::Ok);
    EXPECT_EQ(card.createApplication(0x300, 0x0F, 1).status, df::PermissionDenied);
    EXPECT_EQ(card.formatPicc().status, df::PermissionDenied);
    EXPECT_EQ(card.authenticate(0, keyFilled(0)).status, df::AuthenticationError);
    ASSERT_EQ(card.authenticate(0, master).status, df::Ok);
    EXPECT_EQ(card.createApplication(0x300, 0x0F, 1).status, df::Ok);
    EXPECT_EQ(card.formatPicc().status, df::Ok);
    EXPECT_TRUE(card.getApplicationIds().data.empty());
    EXPECT_EQ(card.getKeySettings().data, (Bytes{0x0B, 0x01})) << "format keeps the card's own settings";
}

TEST(DesfireMemory, FilesTakeWholeBlocksAndBackupFilesTwice) {
    const struct {
        df::Storage storage;
        std::uint32_t stdSize, backupSize;
        std::uint8_t backupStatus;
    } cases[] = {
        {df::Storage::Size2K, 1024, 512, df::Ok},
        {df::Storage::Size2K, 1024, 513, df::OutOfEeprom}, // 2 x 544 does not fit in 1024
        {df::Storage::Size2K, 1025, 480, df::Ok},          // 1056 + 2 x 480
        {df::Storage::Size8K, 4096, 2048, df::Ok},
    };
    for (const auto& c : cases) {
        AppCard app(0x0F, c.storage);
        ASSERT_EQ(app.card.createDataFile(0, false, df::kPlain, kFree, c.stdSize).status, df::Ok);
        EXPECT_EQ(app.card.createDataFile(1, true, df::kPlain, kFree, c.backupSize).status, c.backupStatus)
            << c.stdSize << " + " << c.backupSize;
        EXPECT_EQ(app.card.deleteFile(0).status, df::Ok);
        EXPECT_EQ(app.card.deleteFile(0).status, df::FileNotFound);
    }
}

} // namespace
