// A target that crashes on purpose on one input, so the fuzzing script can
// prove that a finding fails the run: tools/fuzz.sh --self-check.
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char kPlanted[] = "PLANTED";
    if (size >= sizeof kPlanted - 1 && std::memcmp(data, kPlanted, sizeof kPlanted - 1) == 0) __builtin_trap();
    return 0;
}
