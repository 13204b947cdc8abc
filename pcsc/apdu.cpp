#include "apdu.h"

namespace varrok_ifd {

Bytes withSw(Bytes data, Sw sw) {
    const auto word = static_cast<std::uint16_t>(sw);
    data.push_back(static_cast<std::uint8_t>(word >> 8));
    data.push_back(static_cast<std::uint8_t>(word));
    return data;
}

Bytes wrongLe(std::size_t available) { return {0x6C, static_cast<std::uint8_t>(available)}; }

std::optional<Apdu> Apdu::parse(const std::uint8_t* bytes, std::size_t size) {
    if (bytes == nullptr || size < 4) return std::nullopt;
    Apdu apdu{bytes[0], bytes[1], bytes[2], bytes[3], {}, std::nullopt};
    if (size == 4) return apdu; // case 1
    const unsigned p3 = bytes[4];
    if (size == 5) { // case 2: P3 is Le
        apdu.le = p3 == 0 ? 256 : p3;
        return apdu;
    }
    // Case 3 or 4: P3 is Lc, and it must be followed by exactly Lc bytes and at
    // most one Le byte. Lc 00 with more bytes is the extended form, not taken.
    if (p3 == 0 || size < 5 + p3 || size > 6 + p3) return std::nullopt;
    apdu.data.assign(bytes + 5, bytes + 5 + p3);
    if (size == 6 + p3) apdu.le = bytes[5 + p3] == 0 ? 256 : bytes[5 + p3];
    return apdu;
}

} // namespace varrok_ifd
