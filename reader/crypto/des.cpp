// DES as published in FIPS 46-3, written from the standard's tables.
//
// Speed comes from three well-known steps, each checked against the plain
// tables at compile time (see the static_asserts):
//  - the S-boxes and the P permutation are folded into eight 64-entry tables,
//    so a round is eight look-ups and XORs;
//  - both halves are kept rotated left by one bit, which lines every S-box's
//    six input bits up on a byte boundary and makes the E expansion free;
//  - the initial and final permutations are done with a handful of masked
//    bit-group swaps instead of 64 single-bit moves.
// Between the three passes of triple DES the final and initial permutations
// cancel out, so they are skipped.
#include "crypto/des.h"

#include <cstring>

namespace varrok::crypto {
namespace {

// ---- The standard's tables (bit 1 is the most significant bit) -------------

// clang-format off
constexpr std::uint8_t kInitialPermutation[64] = {
    58, 50, 42, 34, 26, 18, 10,  2,
    60, 52, 44, 36, 28, 20, 12,  4,
    62, 54, 46, 38, 30, 22, 14,  6,
    64, 56, 48, 40, 32, 24, 16,  8,
    57, 49, 41, 33, 25, 17,  9,  1,
    59, 51, 43, 35, 27, 19, 11,  3,
    61, 53, 45, 37, 29, 21, 13,  5,
    63, 55, 47, 39, 31, 23, 15,  7,
};

constexpr std::uint8_t kFinalPermutation[64] = {
    40,  8, 48, 16, 56, 24, 64, 32,
    39,  7, 47, 15, 55, 23, 63, 31,
    38,  6, 46, 14, 54, 22, 62, 30,
    37,  5, 45, 13, 53, 21, 61, 29,
    36,  4, 44, 12, 52, 20, 60, 28,
    35,  3, 43, 11, 51, 19, 59, 27,
    34,  2, 42, 10, 50, 18, 58, 26,
    33,  1, 41,  9, 49, 17, 57, 25,
};

constexpr std::uint8_t kExpansion[48] = {
    32,  1,  2,  3,  4,  5,
     4,  5,  6,  7,  8,  9,
     8,  9, 10, 11, 12, 13,
    12, 13, 14, 15, 16, 17,
    16, 17, 18, 19, 20, 21,
    20, 21, 22, 23, 24, 25,
    24, 25, 26, 27, 28, 29,
    28, 29, 30, 31, 32,  1,
};

constexpr std::uint8_t kPermutation[32] = {
    16,  7, 20, 21,
    29, 12, 28, 17,
     1, 15, 23, 26,
     5, 18, 31, 10,
     2,  8, 24, 14,
    32, 27,  3,  9,
    19, 13, 30,  6,
    22, 11,  4, 25,
};

constexpr std::uint8_t kPermutedChoice1[56] = {
    57, 49, 41, 33, 25, 17,  9,
     1, 58, 50, 42, 34, 26, 18,
    10,  2, 59, 51, 43, 35, 27,
    19, 11,  3, 60, 52, 44, 36,
    63, 55, 47, 39, 31, 23, 15,
     7, 62, 54, 46, 38, 30, 22,
    14,  6, 61, 53, 45, 37, 29,
    21, 13,  5, 28, 20, 12,  4,
};

constexpr std::uint8_t kPermutedChoice2[48] = {
    14, 17, 11, 24,  1,  5,
     3, 28, 15,  6, 21, 10,
    23, 19, 12,  4, 26,  8,
    16,  7, 27, 20, 13,  2,
    41, 52, 31, 37, 47, 55,
    30, 40, 51, 45, 33, 48,
    44, 49, 39, 56, 34, 53,
    46, 42, 50, 36, 29, 32,
};

constexpr std::uint8_t kKeyShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// S-box n, row r (0..3), column c (0..15) is kSBoxes[n][16 * r + c].
constexpr std::uint8_t kSBoxes[8][64] = {
    {  // S1
        14,  4, 13,  1,  2, 15, 11,  8,  3, 10,  6, 12,  5,  9,  0,  7,
         0, 15,  7,  4, 14,  2, 13,  1, 10,  6, 12, 11,  9,  5,  3,  8,
         4,  1, 14,  8, 13,  6,  2, 11, 15, 12,  9,  7,  3, 10,  5,  0,
        15, 12,  8,  2,  4,  9,  1,  7,  5, 11,  3, 14, 10,  0,  6, 13,
    },
    {  // S2
        15,  1,  8, 14,  6, 11,  3,  4,  9,  7,  2, 13, 12,  0,  5, 10,
         3, 13,  4,  7, 15,  2,  8, 14, 12,  0,  1, 10,  6,  9, 11,  5,
         0, 14,  7, 11, 10,  4, 13,  1,  5,  8, 12,  6,  9,  3,  2, 15,
        13,  8, 10,  1,  3, 15,  4,  2, 11,  6,  7, 12,  0,  5, 14,  9,
    },
    {  // S3
        10,  0,  9, 14,  6,  3, 15,  5,  1, 13, 12,  7, 11,  4,  2,  8,
        13,  7,  0,  9,  3,  4,  6, 10,  2,  8,  5, 14, 12, 11, 15,  1,
        13,  6,  4,  9,  8, 15,  3,  0, 11,  1,  2, 12,  5, 10, 14,  7,
         1, 10, 13,  0,  6,  9,  8,  7,  4, 15, 14,  3, 11,  5,  2, 12,
    },
    {  // S4
         7, 13, 14,  3,  0,  6,  9, 10,  1,  2,  8,  5, 11, 12,  4, 15,
        13,  8, 11,  5,  6, 15,  0,  3,  4,  7,  2, 12,  1, 10, 14,  9,
        10,  6,  9,  0, 12, 11,  7, 13, 15,  1,  3, 14,  5,  2,  8,  4,
         3, 15,  0,  6, 10,  1, 13,  8,  9,  4,  5, 11, 12,  7,  2, 14,
    },
    {  // S5
         2, 12,  4,  1,  7, 10, 11,  6,  8,  5,  3, 15, 13,  0, 14,  9,
        14, 11,  2, 12,  4,  7, 13,  1,  5,  0, 15, 10,  3,  9,  8,  6,
         4,  2,  1, 11, 10, 13,  7,  8, 15,  9, 12,  5,  6,  3,  0, 14,
        11,  8, 12,  7,  1, 14,  2, 13,  6, 15,  0,  9, 10,  4,  5,  3,
    },
    {  // S6
        12,  1, 10, 15,  9,  2,  6,  8,  0, 13,  3,  4, 14,  7,  5, 11,
        10, 15,  4,  2,  7, 12,  9,  5,  6,  1, 13, 14,  0, 11,  3,  8,
         9, 14, 15,  5,  2,  8, 12,  3,  7,  0,  4, 10,  1, 13, 11,  6,
         4,  3,  2, 12,  9,  5, 15, 10, 11, 14,  1,  7,  6,  0,  8, 13,
    },
    {  // S7
         4, 11,  2, 14, 15,  0,  8, 13,  3, 12,  9,  7,  5, 10,  6,  1,
        13,  0, 11,  7,  4,  9,  1, 10, 14,  3,  5, 12,  2, 15,  8,  6,
         1,  4, 11, 13, 12,  3,  7, 14, 10, 15,  6,  8,  0,  5,  9,  2,
         6, 11, 13,  8,  1,  4, 10,  7,  9,  5,  0, 15, 14,  2,  3, 12,
    },
    {  // S8
        13,  2,  8,  4,  6, 15, 11,  1, 10,  9,  3, 14,  5,  0, 12,  7,
         1, 15, 13,  8, 10,  3,  7,  4, 12,  5,  6, 11,  0, 14,  9,  2,
         7, 11,  4,  1,  9, 12, 14,  2,  0,  6, 10, 13, 15,  3,  5,  8,
         2,  1, 14,  7,  4, 10,  8, 13, 15, 12,  9,  0,  3,  5,  6, 11,
    },
};
// clang-format on

// ---- Helpers usable at compile time ----------------------------------------

constexpr std::uint32_t rotl32(std::uint32_t x, unsigned n) { return (x << n) | (x >> ((32 - n) & 31)); }
constexpr std::uint32_t rotr32(std::uint32_t x, unsigned n) { return (x >> n) | (x << ((32 - n) & 31)); }

// Applies a permutation table the way the standard writes them: output bit i
// is input bit table[i], with bits numbered from 1 at the most significant end.
template <std::size_t Out>
constexpr std::uint64_t permuteBits(const std::uint8_t (&table)[Out], std::uint64_t in, unsigned inBits) {
    std::uint64_t out = 0;
    for (std::size_t i = 0; i < Out; ++i)
        out = (out << 1) | ((in >> (inBits - table[i])) & 1);
    return out;
}

// Exchanges the bits of `a` selected by mask<<shift with the bits of `b`
// selected by mask. Each call is its own inverse.
constexpr void swapBitGroups(std::uint32_t& a, std::uint32_t& b, unsigned shift, std::uint32_t mask) {
    std::uint32_t t = ((a >> shift) ^ b) & mask;
    b ^= t;
    a ^= t << shift;
}

struct Halves {
    std::uint32_t left;
    std::uint32_t right;
};

// Initial permutation of the block (left = first four bytes). The halves come
// out rotated left by one bit, the form the rounds work in.
constexpr Halves initialPermutation(std::uint32_t left, std::uint32_t right) {
    swapBitGroups(left, right, 4, 0x0f0f0f0f);
    swapBitGroups(left, right, 16, 0x0000ffff);
    swapBitGroups(right, left, 2, 0x33333333);
    swapBitGroups(right, left, 8, 0x00ff00ff);
    right = rotl32(right, 1);
    std::uint32_t t = (left ^ right) & 0xaaaaaaaa;
    left ^= t;
    right ^= t;
    left = rotl32(left, 1);
    return {left, right};
}

// The same steps backwards: takes the pre-output (R16, L16), still rotated
// left by one bit, and returns the ciphertext halves.
constexpr Halves finalPermutation(std::uint32_t left, std::uint32_t right) {
    left = rotr32(left, 1);
    std::uint32_t t = (left ^ right) & 0xaaaaaaaa;
    left ^= t;
    right ^= t;
    right = rotr32(right, 1);
    swapBitGroups(right, left, 8, 0x00ff00ff);
    swapBitGroups(right, left, 2, 0x33333333);
    swapBitGroups(left, right, 16, 0x0000ffff);
    swapBitGroups(left, right, 4, 0x0f0f0f0f);
    return {left, right};
}

// S-box n with P folded in: entry v is P(S_n(v) in its nibble of the 32-bit
// word), rotated left by one bit to match the rotated halves. The six-bit
// index is the S-box input as E delivers it (outer bits pick the row).
using SpTables = std::array<std::array<std::uint32_t, 64>, 8>;

constexpr SpTables makeSpTables() {
    SpTables sp{};
    for (unsigned n = 0; n < 8; ++n) {
        for (unsigned v = 0; v < 64; ++v) {
            unsigned row = ((v >> 4) & 2) | (v & 1);
            unsigned column = (v >> 1) & 0xf;
            std::uint32_t nibble = std::uint32_t{kSBoxes[n][16 * row + column]} << (28 - 4 * n);
            sp[n][v] = rotl32(static_cast<std::uint32_t>(permuteBits(kPermutation, nibble, 32)), 1);
        }
    }
    return sp;
}

constexpr SpTables kSp = makeSpTables();

// ---- Compile-time proof that the fast paths equal the standard's tables -----

constexpr bool sBoxRowsArePermutations() {
    for (const auto& box : kSBoxes) {
        for (unsigned row = 0; row < 4; ++row) {
            unsigned seen = 0;
            for (unsigned c = 0; c < 16; ++c)
                seen |= 1u << box[16 * row + c];
            if (seen != 0xffff) return false;
        }
    }
    return true;
}
static_assert(sBoxRowsArePermutations(), "an S-box row is mistyped");

// The rounds never consult E: with R rotated left by one, S-box n reads the
// six bits at 4n+4..4n+9 counted from the bottom, modulo 32. That holds only
// if E really is the run of overlapping six-bit windows checked here.
constexpr bool expansionIsWindows() {
    for (unsigned n = 0; n < 8; ++n)
        for (unsigned i = 0; i < 6; ++i)
            if (kExpansion[6 * n + i] != (4 * n + i + 31) % 32 + 1) return false;
    return true;
}
static_assert(expansionIsWindows(), "E does not match the windows the round function reads");

constexpr bool finalUndoesInitial() {
    for (unsigned i = 0; i < 64; ++i)
        if (kFinalPermutation[kInitialPermutation[i] - 1] != i + 1) return false;
    return true;
}
static_assert(finalUndoesInitial(), "the final permutation is not the inverse of the initial one");

// Both permutations are linear in the bits, so agreeing on all 64 single-bit
// blocks proves they agree on every block.
constexpr bool fastPermutationsMatchTables() {
    for (unsigned bit = 0; bit < 64; ++bit) {
        std::uint64_t block = std::uint64_t{1} << bit;
        auto hi = static_cast<std::uint32_t>(block >> 32);
        auto lo = static_cast<std::uint32_t>(block);

        std::uint64_t ip = permuteBits(kInitialPermutation, block, 64);
        Halves fast = initialPermutation(hi, lo);
        if (fast.left != rotl32(static_cast<std::uint32_t>(ip >> 32), 1) ||
            fast.right != rotl32(static_cast<std::uint32_t>(ip), 1))
            return false;

        std::uint64_t fp = permuteBits(kFinalPermutation, block, 64);
        Halves back = finalPermutation(rotl32(hi, 1), rotl32(lo, 1));
        if (back.left != static_cast<std::uint32_t>(fp >> 32) || back.right != static_cast<std::uint32_t>(fp))
            return false;
    }
    return true;
}
static_assert(fastPermutationsMatchTables(), "fast IP/FP differ from the tables");

// ---- Block operations -------------------------------------------------------

inline std::uint32_t load32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

inline void store32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

// f(R, K) as one 32-bit value, rotated like the halves.
inline std::uint32_t feistel(std::uint32_t right, const std::uint32_t* k) {
    std::uint32_t w = rotr32(right, 4) ^ k[0];
    std::uint32_t f =
        kSp[6][w & 0x3f] | kSp[4][(w >> 8) & 0x3f] | kSp[2][(w >> 16) & 0x3f] | kSp[0][(w >> 24) & 0x3f];
    w = right ^ k[1];
    f |= kSp[7][w & 0x3f] | kSp[5][(w >> 8) & 0x3f] | kSp[3][(w >> 16) & 0x3f] | kSp[1][(w >> 24) & 0x3f];
    return f;
}

// Sixteen rounds. The halves are not swapped between rounds; the variables
// trade roles instead, so afterwards `left` holds L16 and `right` R16, and the
// pre-output block is (right, left).
inline void sixteenRounds(std::uint32_t& left, std::uint32_t& right, const std::uint32_t* k) {
#pragma GCC unroll 8
    for (int round = 0; round < 16; round += 2, k += 4) {
        left ^= feistel(right, k);
        right ^= feistel(left, k + 2);
    }
}

// Runs `block` over every 8-byte block, in the order that keeps overlapping
// buffers correct: a block is always read before anything writes over it.
template <typename BlockFn>
void forEachBlock(std::uint8_t* dst, const std::uint8_t* src, std::size_t blocks, BlockFn block) {
    auto d = reinterpret_cast<std::uintptr_t>(dst);
    auto s = reinterpret_cast<std::uintptr_t>(src);
    if (d > s && d - s < blocks * 8) {
        for (std::size_t i = blocks; i-- > 0;)
            block(dst + 8 * i, src + 8 * i);
    } else {
        for (std::size_t i = 0; i < blocks; ++i)
            block(dst + 8 * i, src + 8 * i);
    }
}

} // namespace

// ---- Key schedule -----------------------------------------------------------

DesKeySchedule::DesKeySchedule(const std::uint8_t key[8], DesDirection direction) {
    std::uint64_t k = 0;
    for (int i = 0; i < 8; ++i)
        k = (k << 8) | key[i];

    std::uint64_t cd = permuteBits(kPermutedChoice1, k, 64);
    auto c = static_cast<std::uint32_t>(cd >> 28) & 0x0fffffff;
    auto d = static_cast<std::uint32_t>(cd) & 0x0fffffff;

    for (int round = 0; round < 16; ++round) {
        unsigned s = kKeyShifts[round];
        c = ((c << s) | (c >> (28 - s))) & 0x0fffffff;
        d = ((d << s) | (d >> (28 - s))) & 0x0fffffff;
        std::uint64_t sub = permuteBits(kPermutedChoice2, (std::uint64_t{c} << 28) | d, 56);

        // Split the 48 bits into the eight S-box inputs; boxes 1, 3, 5, 7 go
        // in the first word and 2, 4, 6, 8 in the second, one per byte, as
        // feistel() reads them.
        std::uint32_t odd = 0, even = 0;
        for (int n = 0; n < 8; ++n) {
            auto six = static_cast<std::uint32_t>(sub >> (42 - 6 * n)) & 0x3f;
            std::uint32_t& word = (n % 2 == 0) ? odd : even;
            word |= six << (24 - 8 * (n / 2));
        }
        // Decryption runs the same rounds with the subkeys in reverse order.
        int slot = direction == DesDirection::Encrypt ? round : 15 - round;
        subkeys_[2 * slot] = odd;
        subkeys_[2 * slot + 1] = even;
    }
    wipe(&k, sizeof k);
    wipe(&cd, sizeof cd);
}

DesKeySchedule::~DesKeySchedule() { wipe(subkeys_.data(), sizeof subkeys_); }

// ---- Modes ------------------------------------------------------------------

void desEcb(std::uint8_t* dst, const std::uint8_t* src, std::size_t blocks, const DesKeySchedule& key) {
    const std::uint32_t* k = key.words();
    forEachBlock(dst, src, blocks, [k](std::uint8_t* out, const std::uint8_t* in) {
        Halves h = initialPermutation(load32(in), load32(in + 4));
        sixteenRounds(h.left, h.right, k);
        Halves c = finalPermutation(h.right, h.left);
        store32(out, c.left);
        store32(out + 4, c.right);
    });
}

void tripleDes2Ecb(std::uint8_t* dst, const std::uint8_t* src, std::size_t blocks, const std::uint8_t k1[8],
                   const std::uint8_t k2[8], DesDirection direction) {
    DesDirection reverse = direction == DesDirection::Encrypt ? DesDirection::Decrypt : DesDirection::Encrypt;
    DesKeySchedule outer(k1, direction);
    DesKeySchedule middle(k2, reverse);
    const std::uint32_t* ko = outer.words();
    const std::uint32_t* km = middle.words();

    forEachBlock(dst, src, blocks, [ko, km](std::uint8_t* out, const std::uint8_t* in) {
        Halves h = initialPermutation(load32(in), load32(in + 4));
        // FP followed by IP is the identity, so one pass hands its pre-output
        // (R16, L16) straight to the next as (L0, R0).
        sixteenRounds(h.left, h.right, ko);
        sixteenRounds(h.right, h.left, km);
        sixteenRounds(h.left, h.right, ko);
        Halves c = finalPermutation(h.right, h.left);
        store32(out, c.left);
        store32(out + 4, c.right);
    });
}

void wipe(void* p, std::size_t n) {
    volatile auto* bytes = static_cast<volatile unsigned char*>(p);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = 0;
}

} // namespace varrok::crypto
