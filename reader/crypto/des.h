// DES block cipher (FIPS 46-3) and two-key triple DES, used by the library's
// host-side DES exports to prepare and check card keys and cryptograms.
//
// Everything here works on caller-owned state: there are no process-wide key
// buffers, so any number of threads may encrypt at once.
#ifndef VARROK_CRYPTO_DES_H
#define VARROK_CRYPTO_DES_H

#include <array>
#include <cstddef>
#include <cstdint>

namespace varrok::crypto {

enum class DesDirection { Encrypt, Decrypt };

// The 16 round subkeys of one DES key, already in the order the chosen
// direction uses them and in the layout the round function wants (two
// 32-bit words per round, each holding four 6-bit S-box inputs).
class DesKeySchedule {
  public:
    // Parity bits (the low bit of every key byte) are ignored, as DES does.
    DesKeySchedule(const std::uint8_t key[8], DesDirection direction);
    ~DesKeySchedule();

    DesKeySchedule(const DesKeySchedule&) = delete;
    DesKeySchedule& operator=(const DesKeySchedule&) = delete;

    const std::uint32_t* words() const { return subkeys_.data(); }

  private:
    std::array<std::uint32_t, 32> subkeys_{};
};

// Single DES in electronic codebook mode over `blocks` 8-byte blocks.
// dst may equal src, or overlap it in either direction.
void desEcb(std::uint8_t* dst, const std::uint8_t* src, std::size_t blocks, const DesKeySchedule& key);

// Two-key triple DES (EDE, K3 = K1) in electronic codebook mode.
// Encrypting: E_K1(D_K2(E_K1(x))); decrypting: D_K1(E_K2(D_K1(x))).
// The middle value stays in registers, so src is only ever read.
void tripleDes2Ecb(std::uint8_t* dst, const std::uint8_t* src, std::size_t blocks, const std::uint8_t k1[8],
                   const std::uint8_t k2[8], DesDirection direction);

// Overwrites key material in a way the optimiser may not drop.
void wipe(void* p, std::size_t n);

} // namespace varrok::crypto

#endif
