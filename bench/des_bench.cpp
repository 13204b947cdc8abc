// Throughput of the library's DES exports next to OpenSSL's libcrypto on the
// same data. Large buffers, so the per-call key load does not count; best of
// several runs, so a busy neighbour on the machine does not either.
//
//   des_bench [MiB] [runs]      (defaults: 16 MiB, 7 runs)
//
// For a one-core figure run it under `taskset -c 0`. Exits non-zero if our
// output differs from libcrypto's.
#include "varrok.h"

// The block-at-a-time DES calls are deprecated in OpenSSL 3 but still the
// ones most programs use; EVP is timed as well (single DES needs the legacy
// provider there).
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/des.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

unsigned char kKey16[16] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF,
                            0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10};

double bestSeconds(int runs, const std::function<void()>& body) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        body();
        auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
    }
    return best;
}

double mbPerSecond(std::size_t bytes, double seconds) { return static_cast<double>(bytes) / 1e6 / seconds; }

// libcrypto's block calls take non-const block pointers; a template keeps the
// per-block call direct, so OpenSSL is not slowed by our loop.
template <typename OneBlock> void blockwise(Bytes& in, Bytes& out, OneBlock one) {
    for (std::size_t i = 0; i < in.size(); i += 8)
        one(reinterpret_cast<DES_cblock*>(in.data() + i), reinterpret_cast<DES_cblock*>(out.data() + i));
}

// Returns false when the cipher is not available from any loaded provider.
bool evpEcb(const char* name, const unsigned char* key, const Bytes& in, Bytes& out) {
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
    if (cipher == nullptr) return false;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int n1 = 0, n2 = 0;
    bool ok = EVP_EncryptInit_ex2(ctx, cipher, key, nullptr, nullptr) == 1 &&
              EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
              EVP_EncryptUpdate(ctx, out.data(), &n1, in.data(), static_cast<int>(in.size())) == 1 &&
              EVP_EncryptFinal_ex(ctx, out.data() + n1, &n2) == 1;
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
    return ok;
}

struct Row {
    const char* what;
    double mbps;
};

void printRow(const Row& r) { std::printf("  %-42s %8.1f MB/s\n", r.what, r.mbps); }

} // namespace

int main(int argc, char** argv) {
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 16;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
    const std::size_t size = mib << 20;
    const int len = static_cast<int>(size);

    Bytes in(size), ours(size), theirs(size);
    std::mt19937 rng(1);
    for (auto& b : in)
        b = static_cast<unsigned char>(rng());

    // Single DES loads the legacy provider for EVP; keep the default one too.
    OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    OSSL_PROVIDER* deflt = OSSL_PROVIDER_load(nullptr, "default");

    DES_key_schedule ks1, ks2;
    DES_set_key_unchecked(reinterpret_cast<DES_cblock*>(kKey16), &ks1);
    DES_set_key_unchecked(reinterpret_cast<DES_cblock*>(kKey16 + 8), &ks2);

    int failures = 0;
    auto check = [&](const char* what) {
        if (ours != theirs) {
            std::printf("  MISMATCH: %s differs from libcrypto\n", what);
            ++failures;
        }
    };

    std::printf("DES ECB encryption of %zu MiB, best of %d runs\n", mib, runs);

    // ---- single DES ----
    Row ourDes{"ours, rf_DES_Encrypt (8-byte key)",
               mbPerSecond(
                   size, bestSeconds(runs, [&] { rf_DES_Encrypt(ours.data(), in.data(), len, kKey16, 8); }))};
    Row sslDes{"OpenSSL DES_ecb_encrypt", mbPerSecond(size, bestSeconds(runs, [&] {
                                                          blockwise(in, theirs, [&](auto* i, auto* o) {
                                                              DES_ecb_encrypt(i, o, &ks1, DES_ENCRYPT);
                                                          });
                                                      }))};
    check("single DES");
    Row evpDes{"OpenSSL EVP des-ecb (legacy provider)", 0};
    if (evpEcb("DES-ECB", kKey16, in, theirs)) {
        check("single DES, EVP");
        evpDes.mbps = mbPerSecond(size, bestSeconds(runs, [&] { evpEcb("DES-ECB", kKey16, in, theirs); }));
    }

    // ---- two-key triple DES ----
    Row our3{"ours, rf_DES_Encrypt (16-byte key)",
             mbPerSecond(
                 size, bestSeconds(runs, [&] { rf_DES_Encrypt(ours.data(), in.data(), len, kKey16, 16); }))};
    Row ssl3{"OpenSSL DES_ecb3_encrypt (K3 = K1)",
             mbPerSecond(size, bestSeconds(runs, [&] {
                             blockwise(in, theirs, [&](auto* i, auto* o) {
                                 DES_ecb3_encrypt(i, o, &ks1, &ks2, &ks1, DES_ENCRYPT);
                             });
                         }))};
    check("two-key triple DES");
    Row evp3{"OpenSSL EVP des-ede-ecb", 0};
    if (evpEcb("DES-EDE-ECB", kKey16, in, theirs)) {
        check("two-key triple DES, EVP");
        evp3.mbps = mbPerSecond(size, bestSeconds(runs, [&] { evpEcb("DES-EDE-ECB", kKey16, in, theirs); }));
    }

    // ---- short calls, where the key schedule is most of the work ----
    constexpr int kShortCalls = 200000;
    unsigned char block[16] = {};
    double single8 = bestSeconds(runs, [&] {
        for (int i = 0; i < kShortCalls; ++i)
            rf_DES_Encrypt(block, block, 8, kKey16, 8);
    });
    double triple8 = bestSeconds(runs, [&] {
        for (int i = 0; i < kShortCalls; ++i)
            rf_DES_Encrypt(block, block, 8, kKey16, 16);
    });

    std::printf("single DES\n");
    printRow(ourDes);
    printRow(sslDes);
    if (evpDes.mbps > 0) printRow(evpDes);
    std::printf("two-key triple DES\n");
    printRow(our3);
    printRow(ssl3);
    if (evp3.mbps > 0) printRow(evp3);

    // The ratio is taken against the faster of OpenSSL's two interfaces.
    double bestSslDes = std::max(sslDes.mbps, evpDes.mbps);
    double bestSsl3 = std::max(ssl3.mbps, evp3.mbps);
    std::printf("ratio ours/OpenSSL (fastest OpenSSL path)\n");
    std::printf("  single DES                                 %8.2f\n", ourDes.mbps / bestSslDes);
    std::printf("  two-key triple DES                         %8.2f\n", our3.mbps / bestSsl3);
    std::printf("one-block calls (key schedule included)\n");
    std::printf("  single DES, 8 bytes                        %8.2f us/call\n", single8 * 1e6 / kShortCalls);
    std::printf("  two-key triple DES, 8 bytes                %8.2f us/call\n", triple8 * 1e6 / kShortCalls);

    if (legacy) OSSL_PROVIDER_unload(legacy);
    if (deflt) OSSL_PROVIDER_unload(deflt);
    return failures == 0 ? 0 : 1;
}
