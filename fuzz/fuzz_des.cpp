// DES with any lengths, keys and overlapping buffers: nothing outside the
// destination's whole blocks may change, and an in-place call must give
// what a call on separate buffers gives.
#include "varrok.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    if (size < 4) return 0;
    const int keylen = static_cast<signed char>(data[0]) % 24;
    const int len = static_cast<signed char>(data[1]);
    const unsigned dstAt = data[2] % 32, srcAt = data[3] % 32;
    const bool encrypt = data[0] & 0x80;
    data += 4;
    size -= 4;
    std::vector<unsigned char> key(24, 0);
    std::memcpy(key.data(), data, size < 24 ? size : 24);

    std::vector<unsigned char> area(32 + 160 + 32);
    for (std::size_t i = 0; i < area.size(); ++i)
        area[i] = static_cast<unsigned char>(i < size ? data[i] : i);
    const std::vector<unsigned char> before = area;

    // The expected result, from separate buffers.
    const int n = len < 8 ? 0 : len / 8 * 8;
    std::vector<unsigned char> source(area.begin() + srcAt, area.begin() + srcAt + 160);
    std::vector<unsigned char> expected(160, 0);
    const auto run = encrypt ? rf_DES_Encrypt : rf_DES_Decrypt;
    run(expected.data(), source.data(), len, key.data(), keylen);

    if (run(area.data() + dstAt, area.data() + srcAt, len, key.data(), keylen) != 0) std::abort();
    for (std::size_t i = 0; i < area.size(); ++i) {
        const bool inDestination = i >= dstAt && i < dstAt + static_cast<unsigned>(n);
        if (!inDestination && (i < srcAt || i >= srcAt + 160) && area[i] != before[i]) std::abort();
        if (inDestination && area[i] != expected[i - dstAt]) std::abort();
    }
    return 0;
}
