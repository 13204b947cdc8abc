// ISO 15693 tags and ICODE1 labels through the library, on a simulated reader
// served over loopback TCP: the calls the card tool makes, and what the tags
// remember between them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simulator/cards/icode1.h"
#include "simulator/cards/iso15693.h"
#include "simulator/commands/vicinity_commands.h"
#include "simulator/reader/reader.h"
#include "simulator/servers/tcp_server.h"
#include "varrok.h"

namespace {

using sim::Bytes;
using sim::Field;
using sim::Icode1Label;
using sim::Iso15693Tag;
using sim::ReaderState;
using sim::Uid15693;
namespace iso15693 = sim::iso15693;

constexpr unsigned short kDev = 0;
constexpr int kNoCard = static_cast<int>(sim::Status::NoCard);
constexpr int kAccessDenied = static_cast<int>(sim::Status::AccessDenied);

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

class VicinityEndToEnd : public testing::Test {
  protected:
    void SetUp() override {
        reader.install(sim::installVicinity);
        server.start(0);
        ASSERT_GT(ReaderOpen(("TCP://127.0.0.1:" + std::to_string(server.port())).c_str()), 0);
    }
    void TearDown() override {
        ReaderClose(0);
        server.stop();
    }

    Iso15693Tag& addTag(const iso15693::Iso15693Model& model, std::uint64_t serial) {
        return reader.access(
            [&](ReaderState&, Field& f) -> Iso15693Tag& { return f.emplace<Iso15693Tag>(model, serial); });
    }
    // The library takes the UID as a writable buffer.
    static std::vector<unsigned char> uidOf(const Iso15693Tag& tag) {
        return {tag.uid().begin(), tag.uid().end()};
    }

    sim::Reader reader;
    sim::TcpServer server{reader};
};

TEST_F(VicinityEndToEnd, InventoryAndSystemInformationDescribeTheTag) {
    struct Case {
        const iso15693::Iso15693Model& model;
        std::uint8_t dsfid, afi;
    } const cases[] = {{iso15693::kLabel28, 0x5A, 0xC1}, {iso15693::kTag64, 0x00, 0x42}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.model.name));
        reader.access([](ReaderState&, Field& f) { f.clear(); });
        Iso15693Tag& tag = addTag(c.model, 0x0102030405);
        tag.preset(c.dsfid, c.afi);
        ASSERT_EQ(rf_Reader_SetISOType(kDev, '1'), 0);

        unsigned char data[250] = {}, len = 0, none[8] = {};
        const Bytes uid(tag.uid().begin(), tag.uid().end());
        ASSERT_EQ(rf_ISO15693_Inventory(kDev, data, &len), 0);
        EXPECT_EQ(Bytes(data, data + len), cat({{c.dsfid}, uid}));
        EXPECT_EQ(data[7], c.model.maker) << "the card tool finds the maker at UID byte 6";
        // The card tool asks unaddressed (flags 0) with whatever UID it has.
        ASSERT_EQ(ISO15693_Get_System_Information(kDev, 0x00, none, data, &len), 0);
        const auto lastBlock = static_cast<std::uint8_t>(c.model.blocks - 1);
        EXPECT_EQ(Bytes(data, data + len),
                  cat({{0x0F}, uid, {c.dsfid, c.afi, lastBlock, 0x03, c.model.icReference}}));
    }
}

TEST_F(VicinityEndToEnd, BlocksWriteReadLockAndShowTheirSecurity) {
    // The card tool's flags (0x02 for maker 0x04, 0x06 for the others) and a fully addressed write.
    struct Case {
        const iso15693::Iso15693Model& model;
        unsigned char writeFlags;
    } const cases[] = {{iso15693::kLabel28, 0x02},
                       {iso15693::kTag64, 0x06},
                       {iso15693::kTag64, 0x22},
                       {iso15693::kLabel28, 0x42}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.model.name << " flags " << int(c.writeFlags));
        reader.access([](ReaderState&, Field& f) { f.clear(); });
        Iso15693Tag& tag = addTag(c.model, 77);
        auto uid = uidOf(tag);
        ASSERT_EQ(rf_Reader_SetISOType(kDev, '1'), 0);

        const std::size_t blocks = c.model.blocks;
        for (std::size_t b = 0; b < blocks; ++b) {
            unsigned char data[4] = {static_cast<unsigned char>(b), 0xAA, static_cast<unsigned char>(~b),
                                     0x55};
            ASSERT_EQ(rf_ISO15693_Write(kDev, c.writeFlags, uid.data(), static_cast<unsigned char>(b), data),
                      0);
        }
        // Read the whole tag the way the card tool does: 14 blocks at a time.
        for (std::size_t first = 0; first < blocks; first += 14) {
            const auto count = static_cast<unsigned char>(std::min<std::size_t>(14, blocks - first));
            unsigned char data[250] = {}, len = 0;
            ASSERT_EQ(
                ISO15693_Read(kDev, 0x02, uid.data(), static_cast<unsigned char>(first), count, data, &len),
                0);
            ASSERT_EQ(len, 4 * count);
            for (std::size_t k = 0; k < count; ++k) {
                EXPECT_EQ(data[4 * k], first + k);
                EXPECT_EQ(data[4 * k + 2], static_cast<unsigned char>(~(first + k)));
            }
        }

        const unsigned char last = static_cast<unsigned char>(blocks - 1);
        ASSERT_EQ(rf_ISO15693_LockBlock(kDev, c.writeFlags, uid.data(), last), 0);
        unsigned char other[4] = {1, 2, 3, 4};
        EXPECT_EQ(rf_ISO15693_Write(kDev, c.writeFlags, uid.data(), last, other), kAccessDenied);
        EXPECT_EQ(rf_ISO15693_LockBlock(kDev, c.writeFlags, uid.data(), last), kAccessDenied);
        EXPECT_EQ(
            rf_ISO15693_Write(kDev, c.writeFlags, uid.data(), static_cast<unsigned char>(blocks), other),
            static_cast<int>(sim::Status::CardAddressInvalid));

        unsigned char data[250] = {}, len = 0;
        const unsigned char from = static_cast<unsigned char>(blocks - 2);
        ASSERT_EQ(rf_ISO15693_Read(kDev, 0x42, uid.data(), from, 2, data, &len), 0);
        ASSERT_EQ(len, 10);
        EXPECT_EQ(Bytes(data, data + 10), (Bytes{0x00, from, 0xAA, static_cast<std::uint8_t>(~from), 0x55,
                                                 0x01, last, 0xAA, static_cast<std::uint8_t>(~last), 0x55}));

        // Security the card tool's way: 28 blocks at a time (the library takes at most 63).
        for (std::size_t first = 0; first < blocks; first += 28) {
            const auto count = static_cast<unsigned char>(std::min<std::size_t>(28, blocks - first));
            ASSERT_EQ(ISO15693_Get_Block_Security(kDev, 0x02, uid.data(), static_cast<unsigned char>(first),
                                                  count, data, &len),
                      0);
            ASSERT_EQ(len, count);
            for (std::size_t k = 0; k < count; ++k)
                EXPECT_EQ(data[k], first + k == last ? 1 : 0) << "block " << first + k;
        }
    }
}

TEST_F(VicinityEndToEnd, AfiAndDsfidAreWrittenThenLocked) {
    struct Case {
        const char* what;
        int (*write)(unsigned short, unsigned char, unsigned char*, unsigned char);
        int (*lock)(unsigned short, unsigned char, unsigned char*);
        std::size_t infoIndex; // where system information shows it
    } const cases[] = {
        {"AFI", rf_ISO15693_WriteAFI, rf_ISO15693_LockAFI, 10},
        {"DSFID, by the card tool's names", ISO15693_Write_DSFID, ISO15693_Lock_DSFID, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reader.access([](ReaderState&, Field& f) { f.clear(); });
        auto uid = uidOf(addTag(iso15693::kTag64, 5));
        ASSERT_EQ(rf_Reader_SetISOType(kDev, '1'), 0);
        auto shown = [&] {
            unsigned char data[250] = {}, len = 0;
            EXPECT_EQ(rf_ISO15693_GetSystemInfomation(kDev, 0x22, uid.data(), data, &len), 0);
            return len > c.infoIndex ? int(data[c.infoIndex]) : -1;
        };
        ASSERT_EQ(c.write(kDev, 0x22, uid.data(), 0x3C), 0);
        EXPECT_EQ(shown(), 0x3C);
        ASSERT_EQ(c.write(kDev, 0x22, uid.data(), 0x4D), 0);
        ASSERT_EQ(c.lock(kDev, 0x22, uid.data()), 0);
        EXPECT_EQ(c.write(kDev, 0x22, uid.data(), 0x5E), kAccessDenied);
        EXPECT_EQ(c.lock(kDev, 0x22, uid.data()), kAccessDenied);
        EXPECT_EQ(shown(), 0x4D);
    }
}

TEST_F(VicinityEndToEnd, QuietSelectResetAndMultiInventorySteerWhichTagsAnswer) {
    Iso15693Tag& a = addTag(iso15693::kLabel28, 1);
    Iso15693Tag& b = addTag(iso15693::kTag64, 2);
    a.preset(0xA0, 0x31);
    b.preset(0xB0, 0x42);
    auto uidA = uidOf(a), uidB = uidOf(b);
    ASSERT_EQ(rf_Reader_SetISOType(kDev, '1'), 0);
    // DSFIDs of the tags that answer an inventory, a multi-inventory and a select-flag request.
    auto answering = [&] {
        unsigned char data[250] = {}, len = 0;
        std::vector<int> seen;
        seen.push_back(rf_ISO15693_Inventory(kDev, data, &len) == 0 ? data[0] : -1);
        if (ISO15693_MultiInventory(kDev, 0, 0, data, &len) == 0 && len == 1 + 9 * data[0])
            for (int k = 0; k < data[0]; ++k)
                seen.push_back(data[1 + 9 * k]);
        seen.push_back(rf_ISO15693_GetSystemInfomation(kDev, 0x10, uidA.data(), data, &len) == 0 ? data[9]
                                                                                                 : -1);
        return seen;
    };
    using V = std::vector<int>;
    EXPECT_EQ(answering(), (V{0xA0, 0xA0, 0xB0, -1}));
    ASSERT_EQ(rf_ISO15693_StayQuiet(kDev, uidA.data()), 0);
    EXPECT_EQ(answering(), (V{0xB0, 0xB0, -1}));
    ASSERT_EQ(ISO15693_Stay_Quiet(kDev, uidB.data()), 0);
    EXPECT_EQ(answering(), (V{-1, -1}));
    ASSERT_EQ(rf_ISO15693_Select(kDev, uidB.data()), 0);
    EXPECT_EQ(answering(), (V{0xB0, 0xB0, 0xB0}));
    ASSERT_EQ(ISO15693_Select(kDev, uidA.data()), 0); // B falls back to ready
    EXPECT_EQ(answering(), (V{0xA0, 0xA0, 0xB0, 0xA0}));
    ASSERT_EQ(rf_ISO15693_ResetToReady(kDev, 0x20, uidA.data()), 0);
    EXPECT_EQ(answering(), (V{0xA0, 0xA0, 0xB0, -1}));

    unsigned char data[250] = {}, len = 0;
    ASSERT_EQ(rf_ISO15693_MultiInventory(kDev, 0x10, 0x42, data, &len), 0); // AFI filter
    EXPECT_EQ(Bytes(data, data + len), cat({{1, 0xB0}, Bytes(b.uid().begin(), b.uid().end())}));

    // Unaddressed requests miss the quiet tag; addressed ones reach it.
    ASSERT_EQ(rf_ISO15693_StayQuiet(kDev, uidA.data()), 0);
    unsigned char nines[4] = {9, 9, 9, 9};
    ASSERT_EQ(rf_ISO15693_Write(kDev, 0x02, uidA.data(), 0, nines), 0);
    EXPECT_EQ(a.block(0), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(b.block(0), (Bytes{9, 9, 9, 9}));
    ASSERT_EQ(rf_ISO15693_Write(kDev, 0x22, uidA.data(), 1, nines), 0);
    EXPECT_EQ(a.block(1), (Bytes{9, 9, 9, 9}));
    unsigned char stranger[8] = {1, 2, 3, 4, 5, 6, 7, 0xE0};
    EXPECT_EQ(rf_ISO15693_Write(kDev, 0x22, stranger, 1, nines), kNoCard);

    ASSERT_EQ(rf_Reader_SetAntenna(kDev, 0), 0); // power lost: every tag ready again
    ASSERT_EQ(rf_Reader_SetAntenna(kDev, 1), 0);
    EXPECT_EQ(answering(), (V{0xA0, 0xA0, 0xB0, -1}));
}

TEST_F(VicinityEndToEnd, Icode1LabelRequestReadWriteHalt) {
    const Icode1Label::Serial serial{0x5A, 0x11, 0x22, 0x33, 0x44, 0x55, 0x01, 0xE0},
        second{2, 2, 2, 2, 2, 2, 2, 2};
    reader.access([&](ReaderState&, Field& f) {
        f.emplace<Icode1Label>(serial);
        f.emplace<Icode1Label>(second);
    });
    ASSERT_EQ(rf_Reader_SetISOType(kDev, 'I'), 0);
    unsigned char sn[8] = {}, data[4] = {};
    EXPECT_EQ(rf_ICODE1_Read(kDev, 4, data), static_cast<int>(sim::Status::WrongCardState))
        << "before any request";
    ASSERT_EQ(rf_ICODE1_Request(kDev, sn), 0);
    EXPECT_EQ(Bytes(sn, sn + 8), Bytes(serial.begin(), serial.end()));

    Bytes pages; // the card tool reads all 32
    for (unsigned char p = 0; p < 32; ++p) {
        ASSERT_EQ(rf_ICODE1_Read(kDev, p, data), 0) << "page " << int(p);
        pages.insert(pages.end(), data, data + 4);
    }
    EXPECT_EQ(Bytes(pages.begin(), pages.begin() + 12),
              cat({Bytes(serial.begin(), serial.end()), {0xF0, 0xFF, 0xFF, 0xFF}}));
    EXPECT_EQ(rf_ICODE1_Read(kDev, 32, data), static_cast<int>(sim::Status::CardAddressInvalid));

    unsigned char payload[4] = {0x0B, 0xAD, 0xF0, 0x0D}, protect5[4] = {0xFF, 0xF3, 0xFF, 0xFF};
    ASSERT_EQ(rf_ICODE1_Write(kDev, 4, payload), 0);
    EXPECT_EQ(rf_ICODE1_Write(kDev, 1, payload), kAccessDenied) << "serial pages are protected";
    ASSERT_EQ(rf_ICODE1_Write(kDev, 2, protect5), 0); // clears page 5's access bits
    EXPECT_EQ(rf_ICODE1_Write(kDev, 5, payload), kAccessDenied);

    ASSERT_EQ(rf_ICODE1_Halt(kDev), 0);
    EXPECT_NE(rf_ICODE1_Read(kDev, 4, data), 0) << "a halted label stays silent";
    ASSERT_EQ(rf_ICODE1_Request(kDev, sn), 0);
    EXPECT_EQ(Bytes(sn, sn + 8), Bytes(second.begin(), second.end())) << "the other label answers now";
    ASSERT_EQ(rf_ICODE1_Read(kDev, 4, data), 0);
    EXPECT_EQ(Bytes(data, data + 4), Bytes(4, 0)) << "with its own memory";
    ASSERT_EQ(rf_ICODE1_Halt(kDev), 0);
    EXPECT_EQ(rf_ICODE1_Request(kDev, sn), kNoCard);
    ASSERT_EQ(rf_Reader_SetAntenna(kDev, 0), 0);
    ASSERT_EQ(rf_Reader_SetAntenna(kDev, 1), 0);
    ASSERT_EQ(rf_ICODE1_Request(kDev, sn), 0);
    EXPECT_EQ(Bytes(sn, sn + 8), Bytes(serial.begin(), serial.end()));
    ASSERT_EQ(rf_ICODE1_Read(kDev, 4, data), 0);
    EXPECT_EQ(Bytes(data, data + 4), Bytes(payload, payload + 4)) << "the label's memory outlived the field";
    ASSERT_EQ(rf_ICODE1_Read(kDev, 2, data), 0);
    EXPECT_EQ(Bytes(data, data + 4), (Bytes{0xF0, 0xF3, 0xFF, 0xFF}));
}

TEST_F(VicinityEndToEnd, WrongProtocolOrAntennaOffFindsNothing) {
    auto uid = uidOf(addTag(iso15693::kLabel28, 3));
    reader.access([](ReaderState&, Field& f) {
        f.emplace<Icode1Label>(Icode1Label::Serial{1, 2, 3, 4, 5, 6, 7, 8});
    });
    struct Case {
        unsigned char type;
        unsigned char antenna;
        bool vicinityAnswers, icode1Answers;
    } const cases[] = {
        {'1', 1, true, false}, {'A', 1, false, false}, {'B', 1, false, false},
        {'I', 1, false, true}, {'1', 0, false, false}, {'I', 0, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " antenna " << int(c.antenna));
        ASSERT_EQ(rf_Reader_SetAntenna(kDev, 1), 0);
        ASSERT_EQ(rf_Reader_SetISOType(kDev, c.type), 0);
        ASSERT_EQ(rf_Reader_SetAntenna(kDev, c.antenna), 0);
        unsigned char data[250] = {}, len = 0;
        const int expected = c.vicinityAnswers ? 0 : kNoCard;
        EXPECT_EQ(rf_ISO15693_Inventory(kDev, data, &len), expected);
        EXPECT_EQ(rf_ISO15693_GetSystemInfomation(kDev, 0x22, uid.data(), data, &len), expected);
        EXPECT_EQ(rf_ICODE1_Request(kDev, data), c.icode1Answers ? 0 : kNoCard);
    }
}

} // namespace
