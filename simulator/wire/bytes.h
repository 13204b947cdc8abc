#pragma once
// Byte buffers as they travel between the reader and its host.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sim {

using Bytes = std::vector<std::uint8_t>;

// "AA BB 04 FB": the way traffic is shown to a person watching the reader.
std::string toHex(std::span<const std::uint8_t> bytes);

} // namespace sim
