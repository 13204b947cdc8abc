// Published DES known-answer values (FIPS 46 worked example, NIST validation
// tables) and the full NIST variable-plaintext / variable-key sweeps.
#include "crypto/des_reference.h"

#include <gtest/gtest.h>

namespace {

using namespace destest;

struct KnownAnswer {
    const char* key;
    const char* plain;
    const char* cipher;
};

// Each row is a published value; the test first checks libcrypto agrees, so a
// mistyped row shows up as such rather than as a fault in the library.
const KnownAnswer kKnownAnswers[] = {
    // The worked example used to teach the standard.
    {"133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"},
    // "Now is t" under the classic validation key.
    {"0123456789ABCDEF", "4E6F772069732074", "3FA40E8A984D4815"},
    {"0E329232EA6D0D73", "8787878787878787", "0000000000000000"},
    // Variable plaintext, key 01..01 (parity bits only, so the all-zero key).
    {"0101010101010101", "8000000000000000", "95F8A5E5DD31D900"},
    {"0101010101010101", "4000000000000000", "DD7F121CA5015619"},
    {"0101010101010101", "2000000000000000", "2E8653104F3834EA"},
    {"0101010101010101", "1000000000000000", "4BD388FF6CD81D4F"},
    {"0101010101010101", "0800000000000000", "20B9E767B2FB1456"},
    {"0101010101010101", "0400000000000000", "55579380D77138EF"},
    {"0101010101010101", "0000000000000001", "166B40B44ABA4BD6"},
    // Variable key, plaintext zero.
    {"8001010101010101", "0000000000000000", "95A8D72813DAA94D"},
    {"4001010101010101", "0000000000000000", "0EEC1487DD8C26D5"},
    {"2001010101010101", "0000000000000000", "7AD16FFB79C45926"},
    {"1001010101010101", "0000000000000000", "D3746294CA6A6CF3"},
    // Substitution-table exercise.
    {"7CA110454A1A6E57", "01A1D6D039776742", "690F5B0D9A26939B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "7A389D10354BD271"},
    {"07A1133E4A0B2686", "0248D43806F67172", "868EBB51CAB4599A"},
    {"3849674C2602319E", "51454B582DDF440A", "7178876E01F19B2A"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "AF37FB421F8C4095"},
    // Weak and semi-weak keys are accepted like any other.
    {"0101010101010101", "0123456789ABCDEF", "617B3A0CE8F07100"},
    {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "DB958605F8C8C606"},
    {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "EDBFD1C66C29CCC7"},
    {"0000000000000000", "FFFFFFFFFFFFFFFF", "355550B2150E2451"},
    {"FFFFFFFFFFFFFFFF", "0000000000000000", "CAAAAF4DEAF1DBAE"},
    {"0123456789ABCDEF", "0000000000000000", "D5D44FF720683D0D"},
    {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "2A2BB008DF97C2F2"},
};

TEST(DesKnownAnswer, PublishedVectorsThroughEveryExport) {
    for (const auto& row : kKnownAnswers) {
        SCOPED_TRACE(std::string("key ") + row.key + " plain " + row.plain);
        Bytes key = fromHex(row.key), plain = fromHex(row.plain), cipher = fromHex(row.cipher);
        ASSERT_EQ(toHex(opensslDes(key, plain, true)), row.cipher) << "table row disagrees with libcrypto";

        for (const auto& e : kDesExports) {
            SCOPED_TRACE(e.name);
            const Bytes& in = e.encrypt ? plain : cipher;
            const Bytes& expected = e.encrypt ? cipher : plain;
            EXPECT_EQ(toHex(callExport(e.call, in, key)), toHex(expected));
        }
    }
}

// The same vectors as one multi-block call: ECB must treat each block alone.
TEST(DesKnownAnswer, VectorsWithOneKeyAsOneMultiBlockCall) {
    Bytes key = fromHex("0101010101010101");
    Bytes plain, cipher;
    for (const auto& row : kKnownAnswers) {
        if (std::string_view(row.key) != "0101010101010101") continue;
        Bytes p = fromHex(row.plain), c = fromHex(row.cipher);
        plain.insert(plain.end(), p.begin(), p.end());
        cipher.insert(cipher.end(), c.begin(), c.end());
    }
    ASSERT_GE(plain.size(), 64u);
    EXPECT_EQ(toHex(callExport(rf_DES_Encrypt, plain, key)), toHex(cipher));
    EXPECT_EQ(toHex(callExport(rf_DES_Decrypt, cipher, key)), toHex(plain));
}

// NIST's validation sweeps: every single-bit plaintext under the zero key,
// and every single non-parity key bit on a zero plaintext. Together they
// touch every bit position of the permutations and the key schedule.
TEST(DesKnownAnswer, VariablePlaintextAndVariableKeySweeps) {
    Bytes zeroKey = fromHex("0101010101010101");
    for (int bit = 0; bit < 64; ++bit) {
        Bytes plain(8, 0);
        plain[bit / 8] = static_cast<std::uint8_t>(0x80 >> (bit % 8));
        SCOPED_TRACE("plaintext bit " + std::to_string(bit + 1));
        Bytes expected = opensslDes(zeroKey, plain, true);
        EXPECT_EQ(toHex(callExport(rf_DES_Encrypt, plain, zeroKey)), toHex(expected));
        EXPECT_EQ(toHex(callExport(rf_DES_Decrypt, expected, zeroKey)), toHex(plain));
    }
    Bytes zero(8, 0);
    for (int bit = 0; bit < 64; ++bit) {
        if (bit % 8 == 7) continue; // parity bit
        Bytes key = zeroKey;
        key[bit / 8] = static_cast<std::uint8_t>(key[bit / 8] | (0x80 >> (bit % 8)));
        SCOPED_TRACE("key bit " + std::to_string(bit + 1));
        Bytes expected = opensslDes(key, zero, true);
        EXPECT_EQ(toHex(callExport(rf_DES_Encrypt, zero, key)), toHex(expected));
        EXPECT_EQ(toHex(callExport(rf_DES_Decrypt, expected, key)), toHex(zero));
    }
}

} // namespace
