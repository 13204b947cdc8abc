#pragma once
// MIFARE Plus 2K and 4K: a Type A card with four security levels.
//
//   level 0  delivery: personalisation writes, then commit
//   level 1  MIFARE Classic compatible (Crypto1 keys in the sector trailers)
//   level 2  AES and Crypto1: a sector opens to the Classic commands once its
//            AES key and then its Crypto1 key have authenticated
//   level 3  AES only: authenticated block reads and writes, value blocks
//
// Memory. 2K: 32 sectors of 4 blocks (blocks 0-127); 4K: 32 sectors of 4
// and 8 sectors of 16 blocks (blocks 0-255), laid out as on MIFARE Classic.
// Level 1 and level 3 work on the same blocks: the level-1 card is the
// MIFARE Classic model itself (ClassicCard), which this card owns, and level
// 3 applies the same trailer access conditions with its AES keys standing in
// for the Crypto1 keys. So after an AES authentication to a sector the card
// opens the Classic engine's session on that sector with the same key type,
// and every block and value operation then follows exactly the Classic rules
// (trailer masks, value-block format, transfer buffer, overflow refusal).
//
// Keys (16 bytes, AES). Personalisation addresses:
//   0x9000 card master key         0x9001 card configuration key
//   0x9002 level-2 switch key      0x9003 level-3 switch key
//   0x9004 level-1 card authentication key
//   0x4000 + 2 x sector (+1 for key B): sector keys (2K: to 0x403F, 4K: to 0x404F)
// Data blocks 0x0000 up to the last block can be personalised too (block 0,
// the manufacturer block, cannot). Other addresses are CardAddressInvalid.
// A key that was never personalised holds 16 bytes 0xFF. The reader runs
// AES with the key the host hands it; the model stands for that by comparing
// the host's key with the stored one: the exchange succeeds exactly when they
// are equal.
//
// Commit needs 0x9000, 0x9001 and 0x9003 to have been written (else
// WrongCardState) and moves the card to level 1. Switching level (the
// reader's switch command, or a first authentication with the switch key
// 0x9002 / 0x9003 at a lower level) needs the matching switch key: a wrong
// key is AuthFailed and the level stays. Only upward switches exist.
//
// Authentication. First authentication opens a session with a key: a sector
// key (levels 2 and 3) gives access to that sector; 0x9000, 0x9001 and 0x9004
// authenticate the card without opening a sector. Following authentication
// changes the key within an open session (NotAuthenticated without one).
// Data-block authentication is a first authentication with the key of the
// block's sector: key type 0 key A, 1 key B. A wrong key is AuthFailed and
// ends the session. Level 0 knows no authentication (WrongCardState).
//
// Level 2 keeps the Classic memory and commands, but a Crypto1 authentication
// (crypto1Access) reaches only the sector whose AES key authenticated first,
// within the same selection; a new AES authentication ends the Crypto1 one.
//
// Level 3 reads and writes take 1 to 3 blocks (reads up to 15, what one frame
// holds), all in the authenticated sector. A refused operation ends the
// session, as on level 1. Purse increment and decrement write their result
// straight back (increment + transfer); backup copies src to dst (restore +
// transfer), both in the authenticated sector.
//
// SAK follows the level (0x20 at levels 0 and 3, 0x08/0x18 at level 1,
// 0x10/0x11 at level 2); ATQA follows size and UID length (2K 04 00 / 44 00,
// 4K 02 00 / 42 00). The card answers RATS at every level: its ATS (without
// the length byte) is 75 77 80 02 and the historical bytes C1 05 2F 2F 01,
// then 16 (2K) or 18 (4K).
//
// Sessions end when the card loses power or switches level.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>

#include "simulator/cards/classic.h"
#include "simulator/cards/type_a_card.h"
#include "simulator/wire/status.h"

namespace sim {

namespace plus {
using Key = std::array<std::uint8_t, 16>;
using KeyView = std::span<const std::uint8_t, 16>;

inline constexpr std::uint16_t kCardMasterKey = 0x9000;
inline constexpr std::uint16_t kCardConfigurationKey = 0x9001;
inline constexpr std::uint16_t kLevel2SwitchKey = 0x9002;
inline constexpr std::uint16_t kLevel3SwitchKey = 0x9003;
inline constexpr std::uint16_t kLevel1CardKey = 0x9004;
inline constexpr std::uint16_t kSectorKeys = 0x4000;

// Key address of a sector key: key type 0 = A, 1 = B.
constexpr std::uint16_t sectorKey(std::size_t sector, std::uint8_t keyType) {
    return static_cast<std::uint16_t>(kSectorKeys + 2 * sector + keyType);
}

inline constexpr std::size_t kMaxWriteBlocks = 3;
inline constexpr std::size_t kMaxReadBlocks = 15;
} // namespace plus

class MifarePlusCard : public TypeACard {
  public:
    std::unique_ptr<Card> clone() const override { return std::make_unique<MifarePlusCard>(*this); }
    enum class Size { TwoK, FourK };

    // uid: 4 or 7 bytes. level: the level the card is delivered in; a card
    // delivered above level 0 counts as personalised with every key 0xFF.
    MifarePlusCard(Size size, Bytes uid, int level = 0);

    std::string describe() const override;
    Bytes ats() const override;

    Size size() const { return size_; }
    int securityLevel() const { return level_; }
    std::size_t blockCount() const { return size_ == Size::TwoK ? 128 : 256; }
    std::size_t sectorCount() const { return size_ == Size::TwoK ? 32 : 40; }
    bool isKeyAddress(std::uint16_t address) const;

    // The level-1 card. Callers keep to blocks below blockCount().
    ClassicCard& classic() { return classic_; }
    const ClassicCard& classic() const { return classic_; }

    // The stored key at a key address (tests), nullopt for other addresses.
    std::optional<plus::Key> key(std::uint16_t address) const;
    bool personalised(std::uint16_t address) const { return written_.count(address) != 0; }

    // Level 0.
    Status writePerso(std::uint16_t address, std::span<const std::uint8_t, 16> data);
    Status commitPerso();

    Status switchLevel(std::uint8_t level, plus::KeyView key);

    // AES authentication.
    Status firstAuthentication(std::uint16_t keyAddress, plus::KeyView key);
    Status followingAuthentication(std::uint16_t keyAddress, plus::KeyView key);
    Status authenticateBlock(std::uint8_t keyType, std::uint16_t block, plus::KeyView key);
    // The key address of the open session, if any.
    std::optional<std::uint16_t> sessionKey() const;
    // Whether the reader may run a Crypto1 authentication on block: always at
    // level 1, at level 2 only in the AES-authenticated sector
    // (NotAuthenticated otherwise), never at levels 0 and 3 (WrongCardState).
    Status crypto1Access(std::uint16_t block) const;

    // Level 3 blocks and purses.
    Status readBlocks(std::uint16_t block, std::uint8_t count, Bytes& out);
    Status writeBlocks(std::uint16_t block, std::uint8_t count, std::span<const std::uint8_t> data);
    Status createValue(std::uint16_t block, std::int32_t value);
    Status readValue(std::uint16_t block, std::int32_t& value);
    Status increment(std::uint16_t block, std::int32_t amount);
    Status decrement(std::uint16_t block, std::int32_t amount);
    Status backup(std::uint16_t source, std::uint16_t destination);

    // Ends every session (AES and level 1): halt, loss of power, level switch.
    void endSessions();
    void leaveSession() override { endSessions(); }

  protected:
    void onPowerCycle() override { endSessions(); }

  private:
    struct Session {
        std::uint16_t keyAddress;
        std::optional<std::size_t> sector; // set for a sector key
    };

    Status authenticate(std::uint16_t keyAddress, plus::KeyView key, bool following);
    void setLevel(int level);
    Status levelThree(std::uint16_t block) const;
    // Runs a step of the Classic engine and keeps the AES session in step
    // with it: a refusal there ends both.
    Status engine(Status status);

    Size size_;
    int level_;
    ClassicCard classic_;
    std::map<std::uint16_t, plus::Key> keys_;
    std::set<std::uint16_t> written_;
    std::optional<Session> session_;
};

} // namespace sim
