#pragma once
// A small smart-card application in the ISO 7816-4 style, the one every
// simulated smart card runs: contactless ISO 14443-4 cards of both types, the
// ID card and the SAMs in the reader's contact slots.
//
// What the application holds: one application identifier (AID) and, inside
// the application, one transparent elementary file of up to kMaxFileSize bytes
// kept in the card's EEPROM (it survives power loss). After power-up nothing is
// selected; the host selects the application by its AID first.
//
// Commands (short APDUs only: CLA INS P1 P2 [Lc data] [Le]; Le 00 means "as
// much as there is, up to 256"):
//
//   CLA INS P1 P2                        answer
//   00  A4  04 00 Lc AID [Le]  SELECT    FCI (6F L 84 L AID) 9000; unknown AID 6A82
//   00  A4  04 0C Lc AID [Le]  SELECT    9000 with no data; unknown AID 6A82
//   00  84  00 00 Le           GET CHALLENGE  Le random bytes (1..32) 9000
//   00  B0  off   Le           READ BINARY    data 9000, or the bytes up to the
//                                             end of the file 6282 when Le asks for more
//   00  D6  off   Lc data      UPDATE BINARY  9000
//
// Status words for what it refuses. First the APDU as a whole: 6700 when it
// is not a well-formed short APDU (fewer than 4 bytes, Lc/Le not matching its
// length), 6E00 for a class byte other than 00, 6D00 for an instruction it
// does not know. Then each command's own checks:
//   6700  a body the command does not take, or a missing one; GET CHALLENGE
//         with Le 00 or above 32
//   6A86  P1-P2 it does not support (SELECT other than by AID; P1 with bit 8
//         set, the short file identifier form of READ/UPDATE BINARY)
//   6986  READ/UPDATE BINARY before the application is selected
//   6B00  offset at or beyond the end of the file
//   6982  UPDATE BINARY on a read-only file
//   6A84  UPDATE BINARY running past the end of the file
// A failed SELECT keeps the current selection, as ISO 7816-4 cards do.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>

#include "simulator/wire/bytes.h"

namespace sim {

// Status words, SW1 high.
namespace sw {
inline constexpr std::uint16_t Ok = 0x9000;
inline constexpr std::uint16_t EndOfFile = 0x6282; // fewer bytes than Le before the end of the file
inline constexpr std::uint16_t WrongLength = 0x6700;
inline constexpr std::uint16_t SecurityNotSatisfied = 0x6982; // the file is read-only
inline constexpr std::uint16_t NoCurrentFile = 0x6986;        // command not allowed: nothing selected
inline constexpr std::uint16_t FileNotFound = 0x6A82;
inline constexpr std::uint16_t NotEnoughSpace = 0x6A84;
inline constexpr std::uint16_t WrongP1P2 = 0x6A86;
inline constexpr std::uint16_t OffsetOutsideFile = 0x6B00;
inline constexpr std::uint16_t UnknownInstruction = 0x6D00;
inline constexpr std::uint16_t UnknownClass = 0x6E00;
inline constexpr std::uint16_t NoPreciseDiagnosis = 0x6F00;
// 6Cxx: wrong Le, xx is the exact length the card would give.
inline constexpr std::uint16_t wrongLe(std::uint8_t exact) { return 0x6C00 | exact; }
// 61xx: xx more bytes waiting for GET RESPONSE (T=0).
inline constexpr std::uint16_t bytesAvailable(std::uint8_t count) { return 0x6100 | count; }
} // namespace sw

// One short command APDU taken apart.
struct Apdu {
    std::uint8_t cla = 0, ins = 0, p1 = 0, p2 = 0;
    Bytes data;                    // Lc bytes; empty when there is no Lc
    std::optional<std::size_t> le; // expected answer length; 00 reads as 256

    // nullopt when the bytes are not a well-formed short APDU: fewer than 4
    // bytes, Lc 00 with a body (extended length, not supported), or a length
    // that fits neither case.
    static std::optional<Apdu> parse(const Bytes& bytes);
    // Case 4: the command carries data and expects data back.
    bool expectsDataBack() const { return !data.empty() && le.has_value(); }
};

// An answer: response data followed by SW1 SW2.
Bytes withStatus(Bytes data, std::uint16_t statusWord);
inline Bytes statusOnly(std::uint16_t statusWord) { return withStatus({}, statusWord); }
// The status word at the end of an answer (0 when the answer is shorter than 2 bytes).
std::uint16_t statusWordOf(const Bytes& answer);

class SmartCardApp {
  public:
    static constexpr std::size_t kMaxFileSize = 240; // a whole file must fit one reader answer
    static constexpr std::size_t kMaxChallenge = 32;
    enum class Access { ReadWrite, ReadOnly };

    // aid: 1 to 16 bytes; file: its initial content (1 to kMaxFileSize bytes).
    // Throws std::invalid_argument otherwise.
    SmartCardApp(Bytes aid, Bytes file, Access access = Access::ReadWrite);
    virtual ~SmartCardApp() = default;
    // A copy in the same state, for a copy of the card that carries it.
    virtual std::unique_ptr<SmartCardApp> clone() const { return std::make_unique<SmartCardApp>(*this); }

    // The application of our sample cards: AID F0 56 52 4B 41 50 50
    // ("\xF0VRKAPP"), a read-write file of 128 zero bytes.
    static Bytes sampleAid();
    static std::unique_ptr<SmartCardApp> sample();

    // One command APDU in, the answer (data + SW1 SW2) out. Never throws on
    // any input.
    virtual Bytes process(const Bytes& command);

    // The card powered up again: nothing selected, no challenge outstanding.
    // The file keeps its content.
    virtual void reset();

    const Bytes& aid() const { return aid_; }
    const Bytes& file() const { return file_; }
    Access access() const { return access_; }
    bool selected() const { return selected_; }
    // The challenge of a GET CHALLENGE that was the last command; empty otherwise.
    const Bytes& lastChallenge() const { return challenge_; }

  protected:
    // Commands of a derived application, asked after the class check and
    // before the common instructions; nullopt when the instruction is not its own.
    virtual std::optional<Bytes> processOwn(const Apdu&) { return std::nullopt; }

  private:
    Bytes select(const Apdu& apdu);
    Bytes getChallenge(const Apdu& apdu);
    Bytes readBinary(const Apdu& apdu);
    Bytes updateBinary(const Apdu& apdu);

    Bytes aid_;
    Bytes file_;
    Access access_;
    bool selected_ = false;
    Bytes challenge_;
    std::mt19937 random_;
};

} // namespace sim
