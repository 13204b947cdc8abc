#include "support/reader_fixture.h"

namespace testing_support {

Bytes ReaderOnPeer::unstuffedBody(const Bytes& raw) {
    Bytes plain;
    for (std::size_t i = 2; i < raw.size(); ++i) {
        plain.push_back(raw[i]);
        if (raw[i] == 0xAA) ++i;
    }
    // Drop L, ~L and the checksum: address, command and data remain.
    if (plain.size() < 3) return plain;
    return Bytes(plain.begin() + 2, plain.end() - 1);
}

} // namespace testing_support
