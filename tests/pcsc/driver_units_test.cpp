// The driver's pure pieces: reading device names, splitting APDUs and building
// ATRs, each as a table.
#include "apdu.h"
#include "card.h"
#include "link.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using namespace varrok_ifd;

namespace {

std::string hex(const Bytes& bytes) {
    std::string out;
    char two[3];
    for (auto b : bytes)
        out += (std::snprintf(two, sizeof two, "%02X", b), two);
    return out;
}

} // namespace

TEST(DeviceNames, OnlyTheLibrarysOpenTexts) {
    const struct {
        const char* text;
        bool ok;
        int port, baud;
    } rows[] = {
        {"COM3:115200", true, 3, 115200},
        {"com33:9600", true, 33, 9600},
        {"TCP://127.0.0.1:4000", true, 4000, 0},
        {"tcp://127.0.0.255:1", true, 1, 0},
        {"COM0:115200", false, 0, 0},
        {"COM3", false, 0, 0},
        {"COM3:", false, 0, 0},
        {"COMX:9600", false, 0, 0},
        {"COM3:96OO", false, 0, 0},
        {"TCP://localhost:4000", false, 0, 0},
        {"TCP://1.2.3:4000", false, 0, 0},
        {"TCP://1.2.3.4.5:1", false, 0, 0},
        {"TCP://256.0.0.1:1", false, 0, 0},
        {"TCP://127.0.0.1:0", false, 0, 0},
        {"TCP://127.0.0.1:65536", false, 0, 0},
        {"TCP://:4000", false, 0, 0},
        {"", false, 0, 0},
        {"/dev/ttyUSB0", false, 0, 0},
    };
    for (const auto& row : rows) {
        const auto name = DeviceName::parse(row.text);
        ASSERT_EQ(name.has_value(), row.ok) << row.text;
        if (!name) continue;
        EXPECT_EQ(name->port, row.port) << row.text;
        EXPECT_EQ(name->baud, row.baud) << row.text;
    }
}

TEST(Apdus, SplitByCaseOrRefused) {
    const struct {
        Bytes bytes;
        bool ok;
        std::size_t dataSize;
        std::optional<unsigned> le;
    } rows[] = {
        {{0xFF, 0xCA, 0x00, 0x00}, true, 0, std::nullopt},                          // case 1
        {{0xFF, 0xCA, 0x00, 0x00, 0x00}, true, 0, 256},                             // case 2, Le 00
        {{0xFF, 0xB0, 0x00, 0x04, 0x10}, true, 0, 16},                              // case 2
        {{0x00, 0xA4, 0x04, 0x00, 0x02, 0x3F, 0x00}, true, 2, std::nullopt},        // case 3
        {{0x00, 0xA4, 0x04, 0x00, 0x02, 0x3F, 0x00, 0x00}, true, 2, 256},           // case 4
        {{0xFF, 0xB0, 0x00}, false, 0, std::nullopt},                               // shorter than a header
        {{0xFF, 0xD6, 0x00, 0x04, 0x10, 0x01}, false, 0, std::nullopt},             // Lc 16, one byte
        {{0x00, 0xA4, 0x04, 0x00, 0x01, 0x3F, 0x00, 0x00}, false, 0, std::nullopt}, // two bytes after Lc data
        {{0x00, 0xB0, 0x00, 0x00, 0x00, 0x01, 0x00}, false, 0, std::nullopt},       // the extended form
    };
    for (const auto& row : rows) {
        const auto apdu = Apdu::parse(row.bytes.data(), row.bytes.size());
        ASSERT_EQ(apdu.has_value(), row.ok) << hex(row.bytes);
        if (!apdu) continue;
        EXPECT_EQ(apdu->data.size(), row.dataSize) << hex(row.bytes);
        EXPECT_EQ(apdu->le, row.le) << hex(row.bytes);
    }
    EXPECT_FALSE(Apdu::parse(nullptr, 4));
}

// The kinds the end-to-end tests cannot put in the simulated field; the
// others are checked there against real pcscd clients.
TEST(Atrs, StorageNamesAndSmartCards) {
    const auto card = [](CardKind kind, Bytes historical = {}, std::uint8_t maker = 0) {
        Card c;
        c.kind = kind;
        c.historical = std::move(historical);
        c.maker = maker;
        return c;
    };
    const struct {
        Card card;
        std::string atr;
    } rows[] = {
        {card(CardKind::ClassicMini), "3B8F8001804F0CA000000306030026000000004D"},
        {card(CardKind::Classic4K), "3B8F8001804F0CA0000003060300020000000069"},
        {card(CardKind::OtherTypeA), "3B8F8001804F0CA000000306030000000000006B"},
        {card(CardKind::Vicinity, {}, 0x07), "3B8F8001804F0CA0000003060B00120000000071"},
        {card(CardKind::Vicinity, {}, 0x16), "3B8F8001804F0CA0000003060B00000000000063"},
        {card(CardKind::SmartCardA), "3B80800101"},
        // More than 15 historical bytes cannot be announced: the first 15 are kept.
        {card(CardKind::SmartCardA, Bytes(20, 0x11)), "3B8F8001" + std::string(30, '1') + "1F"},
        {card(CardKind::SmartCardB, {0x01, 0x02}), "3B88800101020000000000000A"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(hex(buildAtr(row.card)), row.atr) << kindName(row.card.kind);
}
