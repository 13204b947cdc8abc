// DESFire applications, files, values and records on the wire, and the
// answers that carry a count or a length of their own.
#include "support/wire_table.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <functional>
#include <vector>

using namespace testing_support;

namespace {

class DesfireWire : public WireTable {};

// ---------------------------------------------------------------------------

const Bytes kKey16 = filler(16, 0x60);
const Bytes kSettings = filler(8, 0x70);
const Bytes kKey24 = filler(24, 0x80);
const Bytes kData = filler(250, 0x05);
unsigned char kAccess[2] = {0x12, 0x34};

std::string dataHex(std::size_t n) {
    return toHex(Bytes(kData.begin(), kData.begin() + static_cast<long>(n)));
}

// clang-format off
std::vector<Row> desfireRows() {
    static Bytes key16 = kKey16, settings = kSettings, key24 = kKey24, data = kData;
    using K = Kind;
    return {
        {"authenticate", [](auto o, auto) { return rf_DF_Authenticat(0, 0, key16.data(), o); }, "00 00 B0 00 " + toHex(kKey16), K::Exact, 16},
        {"change key settings", [](auto, auto) { return rf_DF_ChangeKeySettings(0, settings.data()); }, "00 00 B1 " + toHex(kSettings), K::None},
        {"key settings", [](auto o, auto) { return rf_DF_GetKeySetting(0, o); }, "00 00 B2", K::Exact, 2},
        {"change key", [](auto, auto) { return rf_DF_ChangeKey(0, 1, key24.data()); }, "00 00 B3 01 " + toHex(kKey24), K::None},
        {"key version", [](auto o, auto) { return rf_DF_GetKeyVer(0, 2, o); }, "00 00 B4 02", K::Exact, 1},
        {"create application", [](auto, auto) { return rf_DF_CreateApp(0, 0x123456, 0x0F, 3); }, "00 00 B5 56 34 12 0F 03", K::None},
        {"delete application", [](auto, auto) { return rf_DF_DeletApp(0, 0x123456); }, "00 00 B6 56 34 12", K::None},
        {"select application", [](auto, auto) { return rf_DF_SelectApp(0, 0x123456); }, "00 00 B8 56 34 12", K::None},
        {"select the card level", [](auto, auto) { return rf_DF_SelectApp(0, 0); }, "00 00 B8 00 00 00", K::None},
        {"an AID has 24 bits", [](auto, auto) { return rf_DF_SelectApp(0x0300, 0xFF123456); }, "03 00 B8 56 34 12", K::None},
        {"format", [](auto, auto) { return rf_DF_FormatPICC(0); }, "00 00 B9", K::None},
        {"version", [](auto o, auto) { return rf_DF_GetVer(0, o); }, "00 00 BA", K::Exact, 28},
        {"file settings", [](auto o, auto l) { return rf_DF_GetFileSettings(0, 1, o, l); }, "00 00 BC 01", K::Variable, 17},
        {"change file settings", [](auto, auto) { return rf_DF_ChangeFileSettings(0, 2, data.data(), 3); }, "00 00 BD 02 03 " + dataHex(3), K::None},
        {"change file settings, 249 bytes", [](auto, auto) { return rf_DF_ChangeFileSettings(0, 2, data.data(), 249); },
         "00 00 BD 02 F9 " + dataHex(249), K::None},
        {"create standard data file", [](auto, auto) { return rf_DF_CreateStdDataFile(0, 1, 0, kAccess, 0x000100); },
         "00 00 BE 01 00 12 34 00 01 00", K::None},
        {"create backup data file", [](auto, auto) { return rf_DF_CreateBackupDataFile(0, 2, 3, kAccess, 0x123456); },
         "00 00 BF 02 03 12 34 12 34 56", K::None},
        {"create value file", [](auto, auto) { return rf_DF_CreateValueFile(0, 3, 1, kAccess, -100, 1000, 50, 1); },
         "00 00 C0 03 01 12 34 9C FF FF FF E8 03 00 00 32 00 00 00 01", K::None},
        {"create linear record file", [](auto, auto) { return rf_DF_CreateLinearRecordFile(0, 4, 0, kAccess, 0x10, 0x010203); },
         "00 00 C1 04 00 12 34 00 00 10 01 02 03", K::None},
        {"create cyclic record file", [](auto, auto) { return rf_DF_CreateCyclicRecordFile(0, 5, 3, kAccess, 0x000102, 0x0A); },
         "00 00 C2 05 03 12 34 00 01 02 00 00 0A", K::None},
        {"delete file", [](auto, auto) { return rf_DF_DeleteFile(0, 5); }, "00 00 C3 05", K::None},
        {"write 10 data bytes", [](auto, auto) { return rf_DF_WriteData(0, 1, 0x000102, 10, data.data()); },
         "00 00 C5 01 00 01 02 00 00 0A " + dataHex(10), K::None},
        {"write 244 data bytes, a full frame", [](auto, auto) { return rf_DF_WriteData(0, 1, 0x010203, 244, data.data()); },
         "00 00 C5 01 01 02 03 00 00 F4 " + dataHex(244), K::None},
        {"credit", [](auto, auto) { return rf_DF_Credit(0, 1, 1000); }, "00 00 C7 01 E8 03 00 00", K::None},
        {"debit", [](auto, auto) { return rf_DF_Debit(0, 1, -1); }, "00 00 C8 01 FF FF FF FF", K::None},
        {"limited credit", [](auto, auto) { return rf_DF_LimitedCredit(0, 2, 0x01020304); }, "00 00 C9 02 04 03 02 01", K::None},
        {"write 3 record bytes", [](auto, auto) { return rf_DF_WriteRecord(0, 1, 0x000102, 3, data.data()); },
         "00 00 CA 01 02 01 00 03 00 00 " + dataHex(3), K::None},
        {"write 244 record bytes", [](auto, auto) { return rf_DF_WriteRecord(0, 1, 0, 244, data.data()); },
         "00 00 CA 01 00 00 00 F4 00 00 " + dataHex(244), K::None},
        {"clear record file", [](auto, auto) { return rf_DF_ClearRecordFile(0, 6); }, "00 00 CC 06", K::None},
        {"commit", [](auto, auto) { return rf_DF_CommitTransaction(0); }, "00 00 CD", K::None},
        {"abort", [](auto, auto) { return rf_DF_AbortTransaction(0); }, "00 00 CE", K::None},
    };
}
// clang-format on

TEST_F(DesfireWire, EveryCommandByteForByte) {
    for (const Row& row : desfireRows())
        check(row);
}

TEST_F(DesfireWire, WithoutReaderEveryCommandIsMinusOne) {
    checkWithoutReader(desfireRows());
    unsigned int n = 0xEEEEEEEE;
    int value = 0x5A5A5A5A;
    EXPECT_EQ(rf_DF_GetAppIDs(0, out, &len), -1);
    EXPECT_EQ(rf_DF_GetFileIDs(0, out, &len), -1);
    EXPECT_EQ(rf_DF_ReadData(0, 1, 0, 16, out, &n), -1);
    EXPECT_EQ(rf_DF_ReadRecord(0, 1, 0, 1, out, &n), -1);
    EXPECT_EQ(rf_DF_GetValue(0, 1, &value), -1);
    EXPECT_EQ(n, 0xEEEEEEEE);
    EXPECT_EQ(value, 0x5A5A5A5A);
    EXPECT_EQ(len, kUntouched);
    EXPECT_TRUE(untouchedFrom(0));
}

TEST_F(DesfireWire, RefusedArgumentsSendNothing) {
    static Bytes data = kData;
    unsigned char* o = out;
    unsigned char* l = &len;
    // clang-format off
    checkRefusals({
        {"write 245 data bytes", [] { return rf_DF_WriteData(0, 1, 0, 245, data.data()); }, -5, false},
        {"write 4 G data bytes", [] { return rf_DF_WriteData(0, 1, 0, 0xFFFFFFFF, data.data()); }, -5, false},
        {"write 245 record bytes", [] { return rf_DF_WriteRecord(0, 1, 0, 245, data.data()); }, -5, false},
        {"file settings of 250 bytes", [] { return rf_DF_ChangeFileSettings(0, 2, data.data(), 250); }, -5, false},
        {"write data without data", [] { return rf_DF_WriteData(0, 1, 0, 4, nullptr); }, -5, false},
        {"file without access rights", [] { return rf_DF_CreateStdDataFile(0, 1, 0, nullptr, 16); }, -5, false},
        {"authenticate without a key", [=] { return rf_DF_Authenticat(0, 0, nullptr, o); }, -5, false},
        {"application list without a count", [=] { return rf_DF_GetAppIDs(0, o, nullptr); }, -5, false},
        {"file list without a buffer", [=] { return rf_DF_GetFileIDs(0, nullptr, l); }, -5, false},
        {"data read without a length", [=] { return rf_DF_ReadData(0, 1, 0, 16, o, nullptr); }, -5, false},
        {"record read without a buffer", [] {
             unsigned int n;
             return rf_DF_ReadRecord(0, 1, 0, 1, nullptr, &n);
         }, -5, false},
        {"value without an int", [] { return rf_DF_GetValue(0, 1, nullptr); }, -5, false},
    });
    // clang-format on
}

TEST_F(DesfireWire, ListsMoveTheCountOut) {
    const struct {
        const char* what;
        Bytes answer;
        int rc;
    } answers[] = {
        {"two applications", hex("02 01 00 00 02 00 00"), 0},
        {"three files", hex("03 01 02 05"), 0},
        {"nothing listed", hex("00"), 0},
        {"the longest answer",
         [] {
             Bytes a = filler(250, 0x20);
             a[0] = 83;
             return a;
         }(),
         0},
        {"empty answer", {}, -5},
    };
    const struct {
        const char* name;
        std::function<int(unsigned char*, unsigned char*)> call;
        std::string request;
    } lists[] = {
        {"applications", [](unsigned char* o, unsigned char* c) { return rf_DF_GetAppIDs(0, o, c); },
         "00 00 B7"},
        {"files", [](unsigned char* o, unsigned char* c) { return rf_DF_GetFileIDs(0, o, c); }, "00 00 BB"},
    };
    for (const auto& list : lists) {
        for (const auto& a : answers) {
            SCOPED_TRACE(std::string(list.name) + ": " + a.what);
            clearOut();
            peer.script(answer(0, a.answer));
            EXPECT_EQ(list.call(out, &len), a.rc);
            EXPECT_EQ(lastRequest(), list.request);
            if (a.rc == 0) {
                EXPECT_EQ(len, a.answer[0]);
                EXPECT_EQ(outBytes(a.answer.size() - 1), Bytes(a.answer.begin() + 1, a.answer.end()));
                // Documented buffer: 250 bytes; nothing beyond the answer is written.
                EXPECT_TRUE(untouchedFrom(std::max<std::size_t>(a.answer.size(), 1)));
            } else {
                EXPECT_EQ(len, kUntouched);
                EXPECT_TRUE(untouchedFrom(0));
            }
        }
        clearOut();
        peer.script(answer(0xAE, hex("01 11 22 33")));
        EXPECT_EQ(list.call(out, &len), 0xAE) << list.name;
        lastRequest();
        EXPECT_EQ(len, kUntouched);
        EXPECT_TRUE(untouchedFrom(0));
    }
}

struct LengthCase {
    const char* what;
    Bytes answer;
    int rc;
    unsigned copied; // bytes handed out when rc is 0
};

// A length field followed by the first `carried` of the given bytes.
Bytes announced(const char* length, const Bytes& bytes, std::size_t carried) {
    Bytes a = hex(length);
    a.insert(a.end(), bytes.begin(), bytes.begin() + static_cast<long>(carried));
    return a;
}

class DesfireLengths : public DesfireWire {
  protected:
    // Each answer must hand out exactly `copied` bytes, or nothing with the error.
    template <std::size_t N>
    void runLengthCases(const LengthCase (&cases)[N], const Bytes& bytes, const char* request,
                        const std::function<int(unsigned*)>& call) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.what);
            clearOut();
            unsigned int n = 0xEEEEEEEE;
            peer.script(answer(0, c.answer));
            EXPECT_EQ(call(&n), c.rc);
            EXPECT_EQ(lastRequest(), request);
            EXPECT_EQ(n, c.rc == 0 ? c.copied : 0xEEEEEEEE);
            EXPECT_EQ(outBytes(c.copied), Bytes(bytes.begin(), bytes.begin() + c.copied));
            EXPECT_TRUE(untouchedFrom(c.copied));
        }
    }
};

TEST_F(DesfireLengths, DataReadBelievesItsLengthOnlyAsFarAsItGoes) {
    const Bytes bytes = filler(40, 0x90);
    auto announce = [&](const char* length, std::size_t carried) { return announced(length, bytes, carried); };
    const LengthCase cases[] = {
        {"32 of 32 asked", announce("00 00 20", 32), 0, 32},
        {"16 of 32 asked", announce("00 00 10", 16), 0, 16},
        {"5 announced, more carried", announce("00 00 05", 10), 0, 5},
        {"none", announce("00 00 00", 0), 0, 0},
        {"33: more than asked", announce("00 00 21", 33), -5, 0},
        {"20 announced, 10 carried", announce("00 00 14", 10), -5, 0},
        {"length least significant first", announce("20 00 00", 32), -5, 0},
        {"65536 announced", announce("01 00 00", 32), -5, 0},
        {"no room for the length", hex("00 00"), -5, 0},
        {"empty answer", {}, -5, 0},
    };
    runLengthCases(cases, bytes, "00 00 C4 01 00 00 00 00 00 20",
                   [&](unsigned* n) { return rf_DF_ReadData(0, 1, 0, 32, out, n); });

    // Offset and length go most significant first; the longest answer fills the documented buffer exactly.
    clearOut();
    unsigned int n = 0;
    peer.script(answer(0, [] {
        Bytes a = hex("00 00 F7");
        const Bytes d = filler(247, 3);
        a.insert(a.end(), d.begin(), d.end());
        return a;
    }()));
    EXPECT_EQ(rf_DF_ReadData(0, 7, 0x010203, 247, out, &n), 0);
    EXPECT_EQ(lastRequest(), "00 00 C4 07 01 02 03 00 00 F7");
    EXPECT_EQ(n, 247u);
    EXPECT_EQ(outBytes(247), filler(247, 3));
    EXPECT_TRUE(untouchedFrom(247));
}

TEST_F(DesfireLengths, RecordReadBelievesItsLengthOnlyAsFarAsItGoes) {
    const Bytes bytes = filler(247, 0x90);
    auto announce = [&](const char* length, std::size_t carried) { return announced(length, bytes, carried); };
    const LengthCase cases[] = {
        {"6 bytes", announce("06 00 00", 6), 0, 6},
        {"4 announced, more carried", announce("04 00 00", 6), 0, 4},
        {"247 bytes, the documented buffer", announce("F7 00 00", 247), 0, 247},
        {"none announced", announce("00 00 00", 0), -5, 0},
        {"none announced, some carried", announce("00 00 00", 5), -5, 0},
        {"10 announced, 6 carried", announce("0A 00 00", 6), -5, 0},
        {"length most significant first", announce("00 00 06", 6), -5, 0},
        {"no room for the length", hex("06 00"), -5, 0},
        {"empty answer", {}, -5, 0},
    };
    runLengthCases(cases, bytes, "00 00 CB 02 01 00 00 02 00 00",
                   [&](unsigned* n) { return rf_DF_ReadRecord(0, 2, 1, 2, out, n); });

    // Offset and count go least significant first.
    unsigned int n = 0;
    peer.script(answer(0, announce("01 00 00", 1)));
    EXPECT_EQ(rf_DF_ReadRecord(0, 3, 0x010203, 0x000A0B, out, &n), 0);
    EXPECT_EQ(lastRequest(), "00 00 CB 03 03 02 01 0B 0A 00");
    peer.script(answer(0x0C, announce("01 00 00", 1)));
    n = 0xEEEEEEEE;
    EXPECT_EQ(rf_DF_ReadRecord(0, 3, 0, 1, out, &n), 0x0C);
    lastRequest();
    EXPECT_EQ(n, 0xEEEEEEEE);
}

TEST_F(DesfireWire, ValueAnswers) {
    const struct {
        const char* what;
        Bytes answer;
        int rc;
        int value;
    } cases[] = {
        {"ten thousand", hex("00 10 27 00 00"), 0, 10000},
        {"minus one", hex("00 FF FF FF FF"), 0, -1},
        {"the leading byte is not part of it", hex("FF 78 56 34 12"), 0, 0x12345678},
        {"most negative", hex("00 00 00 00 80"), 0, INT_MIN},
        {"a trailing byte is ignored", hex("00 01 00 00 00 99"), 0, 1},
        {"4 bytes", hex("00 10 27 00"), -5, 0},
        {"1 byte", hex("00"), -5, 0},
        {"empty", {}, -5, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        int values[2] = {0x5A5A5A5A, 0x5A5A5A5A}; // the second is a guard
        peer.script(answer(0, c.answer));
        EXPECT_EQ(rf_DF_GetValue(0, 1, values), c.rc);
        EXPECT_EQ(lastRequest(), "00 00 C6 01");
        EXPECT_EQ(values[0], c.rc == 0 ? c.value : 0x5A5A5A5A);
        EXPECT_EQ(values[1], 0x5A5A5A5A);
    }
    int value = 0x5A5A5A5A;
    peer.script(answer(0x9D, hex("00 10 27 00 00")));
    EXPECT_EQ(rf_DF_GetValue(0, 4, &value), 0x9D);
    EXPECT_EQ(lastRequest(), "00 00 C6 04");
    EXPECT_EQ(value, 0x5A5A5A5A);
}

} // namespace
