// Key handling of the DES exports, checked against libcrypto: how keys of
// every length become single DES or two-key triple DES, random data in both
// directions, and round trips.
#include "crypto/des_reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

using namespace destest;

// What a key of the given bytes and length must mean, written out by hand:
// up to 8 bytes single DES with zero padding, above that K1 = first 8 bytes
// and K2 = up to 8 more, zero-padded.
Bytes expectedFromRule(const Bytes& key, int keylen, const Bytes& data, bool encrypt) {
    if (keylen <= 8) {
        Bytes k1(8, 0);
        std::copy_n(key.begin(), std::max(keylen, 0), k1.begin());
        return opensslDes(k1, data, encrypt);
    }
    Bytes k1(key.begin(), key.begin() + 8);
    Bytes k2(8, 0);
    std::copy_n(key.begin() + 8, std::min(keylen - 8, 8), k2.begin());
    return opensslTripleDes2(k1, k2, data, encrypt);
}

TEST(DesAgainstLibcrypto, RandomKeysAndDataEveryKeyLengthBothDirections) {
    std::mt19937 rng(0x5eed1234);
    const int keyLengths[] = {1, 2, 5, 7, 8, 9, 12, 15, 16, 17, 24, 32};
    const int dataLengths[] = {8, 16, 24, 40, 64, 256, 4096};
    for (const auto& e : kDesExports) {
        for (int keylen : keyLengths) {
            for (int len : dataLengths) {
                SCOPED_TRACE(std::string(e.name) + " keylen " + std::to_string(keylen) + " len " +
                             std::to_string(len));
                Bytes key = randomBytes(rng, static_cast<std::size_t>(keylen));
                Bytes data = randomBytes(rng, static_cast<std::size_t>(len));
                Bytes out(data.size());
                ASSERT_EQ(e.call(out.data(), data.data(), len, key.data(), keylen), 0);
                ASSERT_EQ(toHex(out), toHex(expectedFromRule(key, keylen, data, e.encrypt)));
            }
        }
    }
}

// A large buffer in one call, so every block goes through the same loop the
// benchmark times.
TEST(DesAgainstLibcrypto, OneMebibyteInOneCall) {
    std::mt19937 rng(77);
    Bytes data = randomBytes(rng, 1 << 20);
    Bytes single = randomBytes(rng, 8), twoKey = randomBytes(rng, 16);
    EXPECT_TRUE(callExport(rf_DES_Encrypt, data, single) == expectedFromRule(single, 8, data, true));
    EXPECT_TRUE(callExport(rf_DES_Decrypt, data, twoKey) == expectedFromRule(twoKey, 16, data, false));
}

struct KeyCase {
    const char* what;
    const char* key; // hex, the key buffer; bytes past keylen are junk that must not count
    int keylen;      // the length handed to the call
    const char* k1;  // hex, the single DES key / K1 it must act as
    const char* k2;  // hex, K2, or nullptr for single DES
};

const KeyCase kKeyCases[] = {
    {"8-byte key is single DES", "133457799BBCDFF1", 8, "133457799BBCDFF1", nullptr},
    {"5-byte key is single DES padded with zeros", "0123456789EEEEEE", 5, "0123456789000000", nullptr},
    {"1-byte key", "FE77777777777777", 1, "FE00000000000000", nullptr},
    {"length 0 is the all-zero key", "FFFFFFFFFFFFFFFF", 0, "0000000000000000", nullptr},
    {"negative length is the all-zero key", "FFFFFFFFFFFFFFFF", -3, "0000000000000000", nullptr},
    {"9-byte key: K2 is one byte and zeros", "0123456789ABCDEF55AAAAAAAAAAAAAA", 9, "0123456789ABCDEF",
     "5500000000000000"},
    {"12-byte key: K2 padded with four zeros", "0123456789ABCDEFFEDCBA9833333333", 12, "0123456789ABCDEF",
     "FEDCBA9800000000"},
    {"16-byte key", "0123456789ABCDEFFEDCBA9876543210", 16, "0123456789ABCDEF", "FEDCBA9876543210"},
    {"bytes beyond the 16th are ignored", "0123456789ABCDEFFEDCBA9876543210AABBCCDD", 20, "0123456789ABCDEF",
     "FEDCBA9876543210"},
};

TEST(DesKeyLoading, KeyLengthsMapToTheRightCipherAndKeys) {
    std::mt19937 rng(42);
    Bytes data = randomBytes(rng, 48);
    for (const auto& c : kKeyCases) {
        SCOPED_TRACE(c.what);
        Bytes key = fromHex(c.key);
        for (const auto& e : kDesExports) {
            SCOPED_TRACE(e.name);
            Bytes expected = c.k2 == nullptr
                                 ? opensslDes(fromHex(c.k1), data, e.encrypt)
                                 : opensslTripleDes2(fromHex(c.k1), fromHex(c.k2), data, e.encrypt);
            Bytes out(data.size());
            ASSERT_EQ(e.call(out.data(), data.data(), 48, key.data(), c.keylen), 0);
            EXPECT_EQ(toHex(out), toHex(expected));
        }
    }
}

// Two-key triple DES with K1 == K2 collapses to single DES with that half;
// checked against our own single DES and against libcrypto.
TEST(DesKeyLoading, SixteenByteKeyWithEqualHalvesIsSingleDes) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 8; ++trial) {
        Bytes half = randomBytes(rng, 8);
        Bytes doubled = half;
        doubled.insert(doubled.end(), half.begin(), half.end());
        Bytes data = randomBytes(rng, 64);
        for (const auto& e : kDesExports) {
            SCOPED_TRACE(e.name);
            Bytes viaDouble = callExport(e.call, data, doubled);
            EXPECT_EQ(toHex(viaDouble), toHex(callExport(e.call, data, half)));
            EXPECT_EQ(toHex(viaDouble), toHex(opensslDes(half, data, e.encrypt)));
        }
    }
}

// The low bit of every key byte is a parity bit and changes nothing.
TEST(DesKeyLoading, ParityBitsAreIgnored) {
    std::mt19937 rng(99);
    for (int keylen : {8, 16}) {
        Bytes key = randomBytes(rng, static_cast<std::size_t>(keylen));
        Bytes flipped = key;
        for (auto& b : flipped)
            b ^= 0x01;
        Bytes data = randomBytes(rng, 32);
        for (const auto& e : kDesExports) {
            SCOPED_TRACE(std::string(e.name) + " keylen " + std::to_string(keylen));
            EXPECT_EQ(toHex(callExport(e.call, data, key)), toHex(callExport(e.call, data, flipped)));
        }
    }
}

TEST(DesKeyLoading, EncryptThenDecryptRestoresTheData) {
    struct Pair {
        DesCall encrypt, decrypt;
    };
    const Pair pairs[] = {{rf_DES_Encrypt, rf_DES_Decrypt},
                          {des_encrypt, des_decrypt},
                          {rf_DES_Encrypt, des_decrypt},
                          {des_encrypt, rf_DES_Decrypt}};
    std::mt19937 rng(2024);
    for (const auto& p : pairs) {
        for (int keylen : {3, 8, 11, 16}) {
            for (int len : {8, 24, 1000}) {
                SCOPED_TRACE("keylen " + std::to_string(keylen) + " len " + std::to_string(len));
                Bytes key = randomBytes(rng, static_cast<std::size_t>(keylen));
                Bytes data = randomBytes(rng, static_cast<std::size_t>(len));
                Bytes cipher = data, back = data; // tails stay as the data's
                ASSERT_EQ(p.encrypt(cipher.data(), data.data(), len, key.data(), keylen), 0);
                EXPECT_NE(cipher, data);
                ASSERT_EQ(p.decrypt(back.data(), cipher.data(), len, key.data(), keylen), 0);
                EXPECT_EQ(toHex(back), toHex(data));
            }
        }
    }
}

// Every call keeps its keys to itself: threads with different keys running
// at once must each get libcrypto's answer for their own key.
TEST(DesKeyLoading, ConcurrentCallsWithDifferentKeysDoNotMix) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 2000;
    std::mt19937 rng(31337);
    struct Job {
        Bytes key, data, expected;
    };
    std::vector<Job> jobs;
    for (int t = 0; t < kThreads; ++t) {
        int keylen = t % 2 == 0 ? 8 : 16;
        Job j{randomBytes(rng, static_cast<std::size_t>(keylen)), randomBytes(rng, 32), {}};
        j.expected = expectedFromRule(j.key, keylen, j.data, true);
        jobs.push_back(j);
    }
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (const auto& job : jobs) {
        threads.emplace_back([&job, &mismatches] {
            Bytes out(job.data.size());
            for (int i = 0; i < kRounds; ++i) {
                rf_DES_Encrypt(out.data(), job.data.data(), static_cast<int>(out.size()), job.key.data(),
                               static_cast<int>(job.key.size()));
                if (out != job.expected) mismatches++;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(mismatches.load(), 0);
}

} // namespace
