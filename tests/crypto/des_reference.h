// Shared helpers for the DES tests: hex conversion, random bytes, the four
// exports in one table, and OpenSSL's libcrypto as the independent reference.
#ifndef VARROK_TESTS_CRYPTO_DES_REFERENCE_H
#define VARROK_TESTS_CRYPTO_DES_REFERENCE_H

// The single-DES calls of libcrypto are marked deprecated in OpenSSL 3; they
// are still the plainest independent reference, so silence the warning here.
#ifndef OPENSSL_SUPPRESS_DEPRECATED
#define OPENSSL_SUPPRESS_DEPRECATED
#endif
#include <openssl/des.h>

#include "varrok.h"

#include <cstdint>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace destest {

using Bytes = std::vector<std::uint8_t>;

inline Bytes fromHex(std::string_view hex) {
    if (hex.size() % 2 != 0) throw std::invalid_argument("odd hex length");
    auto nibble = [](char c) -> std::uint8_t {
        if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
        if (c >= 'A' && c <= 'F') return static_cast<std::uint8_t>(c - 'A' + 10);
        if (c >= 'a' && c <= 'f') return static_cast<std::uint8_t>(c - 'a' + 10);
        throw std::invalid_argument("bad hex digit");
    };
    Bytes out;
    for (std::size_t i = 0; i < hex.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(nibble(hex[i]) << 4 | nibble(hex[i + 1])));
    return out;
}

inline std::string toHex(const Bytes& b) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (auto v : b) {
        s += digits[v >> 4];
        s += digits[v & 0xf];
    }
    return s;
}

inline Bytes randomBytes(std::mt19937& rng, std::size_t n) {
    std::uniform_int_distribution<int> byte(0, 255);
    Bytes b(n);
    for (auto& v : b)
        v = static_cast<std::uint8_t>(byte(rng));
    return b;
}

using DesCall = int (*)(unsigned char*, const unsigned char*, int, const unsigned char*, int);

struct DesExport {
    const char* name;
    DesCall call;
    bool encrypt;
};

inline const DesExport kDesExports[] = {
    {"rf_DES_Encrypt", rf_DES_Encrypt, true},
    {"rf_DES_Decrypt", rf_DES_Decrypt, false},
    {"des_encrypt", des_encrypt, true},
    {"des_decrypt", des_decrypt, false},
};

// Calls an export with separate buffers and returns the destination.
inline Bytes callExport(DesCall call, const Bytes& data, const Bytes& key) {
    Bytes out(data.size());
    int rc = call(out.data(), data.data(), static_cast<int>(data.size()), key.data(),
                  static_cast<int>(key.size()));
    if (rc != 0) throw std::runtime_error("DES export returned " + std::to_string(rc));
    return out;
}

// ---- libcrypto reference: returns the whole blocks only ----

inline DES_key_schedule opensslSchedule(const std::uint8_t* key8) {
    DES_cblock k;
    std::memcpy(k, key8, 8);
    DES_key_schedule ks;
    DES_set_key_unchecked(&k, &ks);
    return ks;
}

inline Bytes opensslDes(const Bytes& key8, const Bytes& data, bool encrypt) {
    DES_key_schedule ks = opensslSchedule(key8.data());
    Bytes out(data.size() / 8 * 8);
    for (std::size_t i = 0; i < out.size(); i += 8) {
        DES_cblock in, res;
        std::memcpy(in, data.data() + i, 8);
        DES_ecb_encrypt(&in, &res, &ks, encrypt ? DES_ENCRYPT : DES_DECRYPT);
        std::memcpy(out.data() + i, res, 8);
    }
    return out;
}

// Two-key triple DES EDE: the third key is the first.
inline Bytes opensslTripleDes2(const Bytes& k1, const Bytes& k2, const Bytes& data, bool encrypt) {
    DES_key_schedule ks1 = opensslSchedule(k1.data());
    DES_key_schedule ks2 = opensslSchedule(k2.data());
    Bytes out(data.size() / 8 * 8);
    for (std::size_t i = 0; i < out.size(); i += 8) {
        DES_cblock in, res;
        std::memcpy(in, data.data() + i, 8);
        DES_ecb3_encrypt(&in, &res, &ks1, &ks2, &ks1, encrypt ? DES_ENCRYPT : DES_DECRYPT);
        std::memcpy(out.data() + i, res, 8);
    }
    return out;
}

} // namespace destest

#endif
