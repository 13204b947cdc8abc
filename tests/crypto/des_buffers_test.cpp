// Buffer rules of the DES exports: what is read, what is written, in-place
// and overlapping calls, null pointers and short lengths.
#include "crypto/des_reference.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace {

using namespace destest;

constexpr std::uint8_t kFill = 0xA5;

const int kKeyLengths[] = {8, 16};

Bytes keyOfLength(int keylen) {
    return fromHex(keylen == 8 ? "133457799BBCDFF1" : "0123456789ABCDEF1F1F1F1F0E0E0E0E");
}

Bytes reference(const Bytes& key, const Bytes& data, bool encrypt) {
    if (key.size() == 8) return opensslDes(key, data, encrypt);
    return opensslTripleDes2(Bytes(key.begin(), key.begin() + 8), Bytes(key.begin() + 8, key.end()), data,
                             encrypt);
}

// len 20: two blocks are processed and the last four bytes of the
// destination keep what they held.
TEST(DesBuffers, PartialTrailingBlockIsLeftUntouched) {
    std::mt19937 rng(5);
    Bytes data = randomBytes(rng, 20);
    for (int keylen : kKeyLengths) {
        Bytes key = keyOfLength(keylen);
        for (const auto& e : kDesExports) {
            SCOPED_TRACE(std::string(e.name) + " keylen " + std::to_string(keylen));
            Bytes out(20, kFill);
            ASSERT_EQ(e.call(out.data(), data.data(), 20, key.data(), keylen), 0);
            Bytes expected = reference(key, data, e.encrypt);
            ASSERT_EQ(expected.size(), 16u);
            expected.insert(expected.end(), 4, kFill);
            EXPECT_EQ(toHex(out), toHex(expected));
        }
    }
}

// Memory that ends exactly where an inaccessible page starts: touching even
// one byte past `end()` faults.
class GuardedBuffer {
  public:
    GuardedBuffer() : page_(static_cast<std::size_t>(sysconf(_SC_PAGESIZE))) {
        void* p = mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::runtime_error("mmap failed");
        base_ = static_cast<std::uint8_t*>(p);
        if (mprotect(base_ + page_, page_, PROT_NONE) != 0) throw std::runtime_error("mprotect failed");
    }
    ~GuardedBuffer() { munmap(base_, 2 * page_); }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;
    std::uint8_t* end() { return base_ + page_; }

  private:
    std::size_t page_;
    std::uint8_t* base_ = nullptr;
};

// Runs a 20-byte call whose last four bytes of source and destination lie
// on an inaccessible page, then exits 0 if the two whole blocks are right.
[[noreturn]] void callAtPageEndAndExit(DesCall call, const Bytes& data, const Bytes& key, int keylen,
                                       const Bytes& expected) {
    GuardedBuffer srcMem, dstMem;
    std::uint8_t* src = srcMem.end() - 16;
    std::uint8_t* dst = dstMem.end() - 16;
    std::memcpy(src, data.data(), 16);
    int rc = call(dst, src, 20, key.data(), keylen);
    std::_Exit(rc == 0 && std::memcmp(dst, expected.data(), 16) == 0 ? 0 : 3);
}

// The tail of a 20-byte call lies beyond the end of both buffers here, so
// any read of the source tail or write of the destination tail crashes the
// child process instead of passing quietly.
TEST(DesBuffersDeathTest, TrailingBytesAreNeitherReadNorWritten) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    std::mt19937 rng(6);
    Bytes data = randomBytes(rng, 16);
    for (int keylen : kKeyLengths) {
        Bytes key = keyOfLength(keylen);
        for (const auto& e : kDesExports) {
            SCOPED_TRACE(std::string(e.name) + " keylen " + std::to_string(keylen));
            Bytes expected = reference(key, data, e.encrypt);
            EXPECT_EXIT(callAtPageEndAndExit(e.call, data, key, keylen, expected),
                        ::testing::ExitedWithCode(0), "");
        }
    }
}

// Two-key calls once used the caller's source as scratch for the middle
// value; the source must now come back exactly as it went in.
TEST(DesBuffers, SourceIsNeverModified) {
    std::mt19937 rng(8);
    for (int keylen : {5, 8, 12, 16}) {
        Bytes key = randomBytes(rng, static_cast<std::size_t>(keylen));
        for (const auto& e : kDesExports) {
            for (int len : {8, 20, 64}) {
                SCOPED_TRACE(std::string(e.name) + " keylen " + std::to_string(keylen) + " len " +
                             std::to_string(len));
                Bytes src = randomBytes(rng, static_cast<std::size_t>(len));
                const Bytes before = src;
                Bytes dst(src.size(), kFill);
                ASSERT_EQ(e.call(dst.data(), src.data(), len, key.data(), keylen), 0);
                EXPECT_EQ(toHex(src), toHex(before));
                EXPECT_NE(dst, Bytes(src.size(), kFill));
            }
        }
    }
}

TEST(DesBuffers, InPlaceGivesTheSameResultAsSeparateBuffers) {
    std::mt19937 rng(9);
    for (int keylen : {5, 8, 12, 16}) {
        Bytes key = randomBytes(rng, static_cast<std::size_t>(keylen));
        for (const auto& e : kDesExports) {
            SCOPED_TRACE(std::string(e.name) + " keylen " + std::to_string(keylen));
            Bytes data = randomBytes(rng, 44);
            Bytes separate(data.size(), kFill);
            ASSERT_EQ(e.call(separate.data(), data.data(), 44, key.data(), keylen), 0);
            Bytes inPlace = data;
            ASSERT_EQ(e.call(inPlace.data(), inPlace.data(), 44, key.data(), keylen), 0);
            // Whole blocks match the separate call; the 4-byte tail is the data's own.
            EXPECT_EQ(toHex(Bytes(inPlace.begin(), inPlace.begin() + 40)),
                      toHex(Bytes(separate.begin(), separate.begin() + 40)));
            EXPECT_EQ(toHex(Bytes(inPlace.begin() + 40, inPlace.end())),
                      toHex(Bytes(data.begin() + 40, data.end())));
        }
    }
}

// Destination shifted a few bytes either way inside the source: each block
// must be read before an earlier or later block overwrites it.
TEST(DesBuffers, OverlappingBuffersBehaveLikeSeparateOnes) {
    std::mt19937 rng(10);
    const int shifts[] = {-9, -8, -3, -1, 1, 3, 8, 9};
    for (int keylen : kKeyLengths) {
        Bytes key = keyOfLength(keylen);
        for (int shift : shifts) {
            SCOPED_TRACE("keylen " + std::to_string(keylen) + " shift " + std::to_string(shift));
            constexpr int kLen = 64;
            Bytes data = randomBytes(rng, kLen);
            Bytes expected = reference(key, data, true);

            Bytes arena(kLen + 32, kFill);
            std::uint8_t* src = arena.data() + 16;
            std::memcpy(src, data.data(), kLen);
            ASSERT_EQ(rf_DES_Encrypt(src + shift, src, kLen, key.data(), keylen), 0);
            EXPECT_EQ(toHex(Bytes(src + shift, src + shift + kLen)), toHex(expected));
        }
    }
}

struct NullCase {
    const char* what;
    bool nullDst, nullSrc, nullKey;
    int keylen;
};

const NullCase kNullCases[] = {
    {"null destination", true, false, false, 8},
    {"null source", false, true, false, 8},
    {"null key", false, false, true, 8},
    {"null key, two-key length", false, false, true, 16},
    {"null key even with key length 0", false, false, true, 0},
    {"everything null", true, true, true, 16},
};

TEST(DesBuffers, NullPointersReturnMinus5AndTouchNothing) {
    Bytes key = keyOfLength(16);
    for (const auto& c : kNullCases) {
        for (const auto& e : kDesExports) {
            SCOPED_TRACE(std::string(c.what) + ", " + e.name);
            Bytes src(32, 0x11), dst(32, kFill);
            int rc = e.call(c.nullDst ? nullptr : dst.data(), c.nullSrc ? nullptr : src.data(), 32,
                            c.nullKey ? nullptr : key.data(), c.keylen);
            EXPECT_EQ(rc, -5);
            EXPECT_EQ(dst, Bytes(32, kFill));
            EXPECT_EQ(src, Bytes(32, 0x11));
        }
    }
}

TEST(DesBuffers, LengthsBelowOneBlockDoNothing) {
    const int lengths[] = {7, 1, 0, -1, -8, -16, INT_MIN};
    for (int keylen : kKeyLengths) {
        Bytes key = keyOfLength(keylen);
        for (int len : lengths) {
            for (const auto& e : kDesExports) {
                SCOPED_TRACE(std::string(e.name) + " keylen " + std::to_string(keylen) + " len " +
                             std::to_string(len));
                Bytes src(16, 0x11), dst(16, kFill);
                EXPECT_EQ(e.call(dst.data(), src.data(), len, key.data(), keylen), 0);
                EXPECT_EQ(dst, Bytes(16, kFill));
                EXPECT_EQ(src, Bytes(16, 0x11));
            }
        }
    }
}

} // namespace
