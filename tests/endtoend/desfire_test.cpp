// A DESFire session through the library, on a simulated reader served over
// loopback TCP: the Type A search selects the card, then applications, keys,
// files and the transaction, as an application would drive them.

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "simulator/cards/desfire.h"
#include "simulator/commands/desfire_commands.h"
#include "simulator/commands/type_a_commands.h"
#include "simulator/reader/reader.h"
#include "simulator/servers/tcp_server.h"
#include "varrok.h"

namespace {

using sim::Bytes;
using sim::DesfireCard;
using sim::Field;
using sim::ReaderState;

constexpr unsigned short kDev = 0;
constexpr int kBoundaryError = sim::desfire::BoundaryError;
constexpr int kAuthenticationError = sim::desfire::AuthenticationError;
constexpr int kPermissionDenied = sim::desfire::PermissionDenied;
constexpr int kLengthError = sim::desfire::LengthError;
const Bytes kUid = {0x04, 0x52, 0x61, 0x7A, 0x19, 0x33, 0x80};

class DesfireEndToEnd : public testing::Test {
  protected:
    void SetUp() override {
        reader.install(sim::installTypeA);
        reader.install(sim::installDesfire);
        card = reader.access([](ReaderState&, Field& f) { return &f.emplace<DesfireCard>(kUid); });
        server.start(0);
        ASSERT_GT(ReaderOpen(("TCP://127.0.0.1:" + std::to_string(server.port())).c_str()), 0);
    }
    void TearDown() override {
        ReaderClose(0);
        server.stop();
    }

    int value(unsigned char file) {
        int v = -1;
        EXPECT_EQ(rf_DF_GetValue(kDev, file, &v), 0);
        return v;
    }
    Bytes readData(unsigned char file, unsigned length) {
        std::array<unsigned char, 256> data{};
        unsigned len = 0;
        EXPECT_EQ(rf_DF_ReadData(kDev, file, 0, length, data.data(), &len), 0);
        return Bytes(data.begin(), data.begin() + len);
    }

    sim::Reader reader;
    sim::TcpServer server{reader};
    DesfireCard* card = nullptr;
};

TEST_F(DesfireEndToEnd, ApplicationFilesAndTransactionsThroughTheLibrary) {
    // Find and select the card the way the card tool does.
    ASSERT_EQ(rf_Reader_SetISOType(kDev, 'A'), 0);
    unsigned char found[32] = {};
    unsigned char foundLength = 0;
    ASSERT_EQ(rf_ISO14443A_GetCard(kDev, 0x52, found, &foundLength), 0);
    ASSERT_EQ(foundLength, 10);
    EXPECT_EQ(Bytes(found, found + 3), (Bytes{0x44, 0x03, 0x20}));
    EXPECT_EQ(reader.access([](ReaderState&, Field& f) { return f.selected(); }), card);

    unsigned char version[28] = {};
    ASSERT_EQ(rf_DF_GetVer(kDev, version), 0);
    EXPECT_EQ(Bytes(version + 14, version + 21), kUid);

    // An application, listed and selected.
    ASSERT_EQ(rf_DF_CreateApp(kDev, 0x123456, 0x0F, 2), 0);
    ASSERT_EQ(rf_DF_CreateApp(kDev, 0x000102, 0x0F, 1), 0);
    unsigned char aids[250] = {};
    unsigned char count = 0;
    ASSERT_EQ(rf_DF_GetAppIDs(kDev, aids, &count), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(Bytes(aids, aids + 6), (Bytes{0x56, 0x34, 0x12, 0x02, 0x01, 0x00}));
    ASSERT_EQ(rf_DF_SelectApp(kDev, 0x123456), 0);

    // Authentication: the wrong key is the card's error, the right one opens a session.
    unsigned char wrongKey[16] = {0x10};
    unsigned char rightKey[16] = {};
    unsigned char session[16] = {};
    EXPECT_EQ(rf_DF_Authenticat(kDev, 0, wrongKey, session), kAuthenticationError);
    ASSERT_EQ(rf_DF_Authenticat(kDev, 0, rightKey, session), 0);
    const auto sessionKey = reader.access([&](ReaderState&, Field&) { return card->sessionKey(); });
    EXPECT_EQ(Bytes(session, session + 16), Bytes(sessionKey.begin(), sessionKey.end()));

    // Files reserved for key 0.
    unsigned char keyZeroOnly[2] = {0x00, 0x00};
    ASSERT_EQ(rf_DF_CreateValueFile(kDev, 1, 0x00, keyZeroOnly, 0, 1000, 10, 1), 0);
    ASSERT_EQ(rf_DF_CreateBackupDataFile(kDev, 2, 0x00, keyZeroOnly, 32), 0);
    ASSERT_EQ(rf_DF_CreateLinearRecordFile(kDev, 3, 0x00, keyZeroOnly, 8, 4), 0);
    unsigned char ids[250] = {};
    ASSERT_EQ(rf_DF_GetFileIDs(kDev, ids, &count), 0);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(Bytes(ids, ids + 3), (Bytes{1, 2, 3}));
    unsigned char settings[64] = {};
    unsigned char settingsLength = 0;
    ASSERT_EQ(rf_DF_GetFileSettings(kDev, 1, settings, &settingsLength), 0);
    EXPECT_EQ(Bytes(settings, settings + settingsLength),
              (Bytes{0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE8, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00,
                     0x00, 0x01}));

    // Changes wait for the commit.
    unsigned char text[4] = {'D', 'F', 'E', 'V'};
    unsigned char record[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(rf_DF_Credit(kDev, 1, 100), 0);
    ASSERT_EQ(rf_DF_WriteData(kDev, 2, 0, 4, text), 0);
    ASSERT_EQ(rf_DF_WriteRecord(kDev, 3, 0, 8, record), 0);
    EXPECT_EQ(value(1), 10);
    EXPECT_EQ(readData(2, 4), Bytes(4, 0x00));
    ASSERT_EQ(rf_DF_CommitTransaction(kDev), 0);
    EXPECT_EQ(value(1), 110);
    EXPECT_EQ(readData(2, 4), Bytes(text, text + 4));
    unsigned char records[247] = {};
    unsigned recordsLength = 0;
    ASSERT_EQ(rf_DF_ReadRecord(kDev, 3, 0, 0, records, &recordsLength), 0);
    EXPECT_EQ(Bytes(records, records + recordsLength), Bytes(record, record + 8));

    // Abort throws pending changes away, and so does a card error.
    unsigned char other[4] = {'x', 'x', 'x', 'x'};
    ASSERT_EQ(rf_DF_Debit(kDev, 1, 60), 0);
    ASSERT_EQ(rf_DF_WriteData(kDev, 2, 0, 4, other), 0);
    ASSERT_EQ(rf_DF_AbortTransaction(kDev), 0);
    ASSERT_EQ(rf_DF_CommitTransaction(kDev), 0);
    EXPECT_EQ(value(1), 110);
    EXPECT_EQ(readData(2, 4), Bytes(text, text + 4));
    ASSERT_EQ(rf_DF_Credit(kDev, 1, 50), 0);
    EXPECT_EQ(rf_DF_Credit(kDev, 1, 1000), kBoundaryError);
    ASSERT_EQ(rf_DF_CommitTransaction(kDev), 0);
    EXPECT_EQ(value(1), 110);

    // What the last debits took may come back as a limited credit.
    ASSERT_EQ(rf_DF_Debit(kDev, 1, 30), 0);
    ASSERT_EQ(rf_DF_CommitTransaction(kDev), 0);
    EXPECT_EQ(rf_DF_LimitedCredit(kDev, 1, 31), kBoundaryError);
    ASSERT_EQ(rf_DF_LimitedCredit(kDev, 1, 30), 0);
    ASSERT_EQ(rf_DF_CommitTransaction(kDev), 0);
    EXPECT_EQ(value(1), 110);

    // A read larger than one answer frame is the length error; a new
    // selection drops the authentication and with it the access to the files.
    unsigned char big[256] = {};
    unsigned bigLength = 0;
    EXPECT_EQ(rf_DF_ReadData(kDev, 2, 0, 248, big, &bigLength), kLengthError);
    ASSERT_EQ(rf_DF_SelectApp(kDev, 0x123456), 0);
    int v = 0;
    EXPECT_EQ(rf_DF_GetValue(kDev, 1, &v), kPermissionDenied);
    EXPECT_EQ(rf_DF_ReadRecord(kDev, 3, 0, 0, records, &recordsLength), kPermissionDenied);

    // Listing applications is a card-level command; a fresh activation takes
    // the card back to its card level.
    EXPECT_EQ(rf_DF_GetAppIDs(kDev, aids, &count), kPermissionDenied);
    ASSERT_EQ(rf_ISO14443A_GetCard(kDev, 0x52, found, &foundLength), 0);
    ASSERT_EQ(rf_DF_GetAppIDs(kDev, aids, &count), 0);
    EXPECT_EQ(count, 2);
}

TEST_F(DesfireEndToEnd, WithoutACardTheReaderSaysSo) {
    unsigned char version[28] = {};
    reader.access([](ReaderState&, Field& f) { f.clear(); });
    EXPECT_EQ(rf_DF_GetVer(kDev, version), static_cast<int>(sim::Status::NoCard));
    reader.access([](ReaderState&, Field& f) { f.setAntenna(false); });
    EXPECT_EQ(rf_DF_CommitTransaction(kDev), static_cast<int>(sim::Status::NoCard));
}

} // namespace
