// The library's DES exports: host-side ECB encryption for preparing and
// checking card keys and cryptograms. No reader is involved.
//
// Key rules, shared by all four entry points:
//  - up to 8 key bytes: single DES, key zero-padded to 8 bytes;
//  - 9 to 16 bytes: two-key triple DES, K1 = bytes 1-8, K2 = the rest
//    zero-padded to 8 bytes; bytes beyond the 16th are ignored;
//  - a key length of 0 or below gives the all-zero single DES key (a negative
//    length is a caller error; reading no key bytes is the safe answer).
// Only whole 8-byte blocks are processed; a tail of len % 8 bytes in dst is
// neither read nor written. dst may be src itself. The source is only ever
// read, in two-key mode too, and every call keeps its keys on its own stack,
// so calls from several threads do not disturb each other.
#include "varrok.h"

#include "crypto/des.h"

#include <algorithm>
#include <cstring>

namespace {

using varrok::crypto::DesDirection;

constexpr int kNullPointer = VARROK_LINK_FAILURE;

int runDes(unsigned char* dst, const unsigned char* src, int len, const unsigned char* key, int keylen,
           DesDirection direction) {
    if (dst == nullptr || src == nullptr || key == nullptr) return kNullPointer;
    if (len < 8) return 0;

    const auto blocks = static_cast<std::size_t>(len) / 8;
    const int keyBytes = std::max(keylen, 0);

    unsigned char k1[8] = {};
    if (keyBytes <= 8) {
        std::memcpy(k1, key, static_cast<std::size_t>(keyBytes));
        varrok::crypto::DesKeySchedule schedule(k1, direction);
        varrok::crypto::desEcb(dst, src, blocks, schedule);
    } else {
        unsigned char k2[8] = {};
        std::memcpy(k1, key, 8);
        std::memcpy(k2, key + 8, static_cast<std::size_t>(std::min(keyBytes - 8, 8)));
        varrok::crypto::tripleDes2Ecb(dst, src, blocks, k1, k2, direction);
        varrok::crypto::wipe(k2, sizeof k2);
    }
    varrok::crypto::wipe(k1, sizeof k1);
    return 0;
}

} // namespace

extern "C" {

VARROK_API int rf_DES_Encrypt(unsigned char* dst, const unsigned char* src, int len, const unsigned char* key,
                              int keylen) {
    return runDes(dst, src, len, key, keylen, DesDirection::Encrypt);
}

VARROK_API int rf_DES_Decrypt(unsigned char* dst, const unsigned char* src, int len, const unsigned char* key,
                              int keylen) {
    return runDes(dst, src, len, key, keylen, DesDirection::Decrypt);
}

// Second names for the same two calls; the card tool's DES calculator uses these.
VARROK_API int des_encrypt(unsigned char* dst, const unsigned char* src, int len, const unsigned char* key,
                           int keylen) {
    return runDes(dst, src, len, key, keylen, DesDirection::Encrypt);
}

VARROK_API int des_decrypt(unsigned char* dst, const unsigned char* src, int len, const unsigned char* key,
                           int keylen) {
    return runDes(dst, src, len, key, keylen, DesDirection::Decrypt);
}

} // extern "C"
