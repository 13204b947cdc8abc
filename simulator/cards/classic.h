#pragma once
// MIFARE Classic Mini, 1K and 4K: sectors of blocks guarded by two keys and
// access bits in each sector trailer, and value blocks for purses.
//
// The card keeps its memory for good and its session (the authenticated
// sector and key, the transfer buffer) only while it stays selected: a halt,
// a new wake-up or a loss of power ends the session, as on the real chip.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "simulator/cards/type_a_card.h"
#include "simulator/wire/status.h"

namespace sim {

namespace classic {

using Block = std::array<std::uint8_t, 16>;
using Key = std::array<std::uint8_t, 6>;

enum class KeyType { A, B };

// Key type byte of the authentication commands.
inline constexpr std::uint8_t kAuthKeyA = 0x60;
inline constexpr std::uint8_t kAuthKeyB = 0x61;

// Access condition of one block group, C1 C2 C3 packed as (C1 << 2) | (C2 << 1) | C3,
// so 0b001 is the transport trailer condition and 0b110 the value-block one.
using Condition = std::uint8_t;

// The conditions of the four groups of a sector (three data groups, then the
// trailer) from trailer bytes 6-8, or nullopt when the inverted copies do not
// match (a sector the card treats as unusable).
std::optional<std::array<Condition, 4>> decodeAccessBits(std::span<const std::uint8_t, 3> bytes);
std::array<std::uint8_t, 3> encodeAccessBits(const std::array<Condition, 4>& conditions);

// What a key may do to a data block. decrement also stands for transfer and
// restore, which the card grants together.
struct DataRights {
    bool read = false, write = false, increment = false, decrement = false;
    bool operator==(const DataRights&) const = default;
};
// What a key may do to a sector trailer. Key A itself is never readable.
struct TrailerRights {
    bool writeKeyA = false, readAccess = false, writeAccess = false, readKeyB = false, writeKeyB = false;
    bool operator==(const TrailerRights&) const = default;
};

// The rows of the access tables. trailer is the condition of the sector's
// trailer: where it makes key B readable, key B is plain data and grants nothing.
DataRights dataRights(Condition data, Condition trailer, KeyType key);
TrailerRights trailerRights(Condition trailer, KeyType key);
bool keyBReadable(Condition trailer);

// Value blocks: V ~V V A ~A A ~A, V signed 32-bit little-endian.
std::optional<std::int32_t> valueOf(const Block& block);
Block valueBlock(std::int32_t value, std::uint8_t address);

// The factory state of a trailer: keys FF..FF, access bytes FF 07 80, GPB 69.
Block transportTrailer();

} // namespace classic

class ClassicCard : public TypeACard {
  public:
    std::unique_ptr<Card> clone() const override { return std::make_unique<ClassicCard>(*this); }
    enum class Model { Mini, Classic1K, Classic4K };

    // uid: 4 or 7 bytes (std::invalid_argument otherwise). manufacturer: the
    // bytes after UID/BCC, SAK and ATQA in block 0 (8 bytes for a 4-byte UID,
    // 6 for a 7-byte one); empty takes a fixed default. ATQA and SAK follow the
    // model and UID size. Every sector starts in the transport configuration.
    ClassicCard(Model model, Bytes uid, Bytes manufacturer = {});

    Model model() const { return model_; }
    // Blocks on a card of the model: 20, 64 or 256.
    static std::size_t blocksOf(Model model);
    std::string describe() const override;

    std::size_t blockCount() const { return memory_.size(); }
    std::size_t sectorCount() const;
    std::size_t sectorOf(std::size_t block) const;
    std::size_t firstBlock(std::size_t sector) const;
    std::size_t blocksIn(std::size_t sector) const;
    std::size_t trailerOf(std::size_t sector) const { return firstBlock(sector) + blocksIn(sector) - 1; }
    bool isTrailer(std::size_t block) const { return block == trailerOf(sectorOf(block)); }

    // The memory as it is, without any access check: for tests and scenarios.
    const classic::Block& block(std::size_t index) const { return memory_.at(index); }
    void setBlock(std::size_t index, const classic::Block& data) { memory_.at(index) = data; }

    // --- What the reader asks of the card. Each returns Ok or the reason the
    // card refused; a refusal ends the session (the card's NAK sends it back to
    // idle), which the reader completes by dropping the selection.
    Status authenticate(classic::KeyType type, std::uint8_t block, std::span<const std::uint8_t, 6> key);
    Status read(std::uint8_t block, classic::Block& out);
    Status write(std::uint8_t block, const classic::Block& data);
    // Formats a data block as a value block holding value (a write).
    Status createValue(std::uint8_t block, std::int32_t value);
    Status readValue(std::uint8_t block, std::int32_t& value);
    // Increment, decrement and restore leave their result in the transfer
    // buffer; transfer writes it to a block of the same sector.
    Status increment(std::uint8_t block, std::int32_t amount);
    Status decrement(std::uint8_t block, std::int32_t amount);
    Status restore(std::uint8_t block);
    Status transfer(std::uint8_t block);

    bool authenticated() const { return session_.has_value(); }
    // Ends the session: halt, wake-up, NAK.
    void endSession();

  protected:
    void onPowerCycle() override { endSession(); }

  private:
    struct Session {
        std::size_t sector;
        classic::KeyType key;
        std::optional<classic::Block> transferBuffer;
    };

    // Common checks before a block operation: address, session and sector.
    Status reach(std::uint8_t block) const;
    std::optional<std::array<classic::Condition, 4>> conditions(std::size_t sector) const;
    std::size_t groupOf(std::size_t block) const;
    // Rights of the session's key on a data block; nullopt for a blocked sector.
    std::optional<classic::DataRights> rightsOn(std::size_t block) const;
    Status refuse(Status why);
    Status loadValue(std::uint8_t block, bool (*allowed)(const classic::DataRights&), std::int64_t delta);

    Model model_;
    std::vector<classic::Block> memory_;
    std::optional<Session> session_;
};

} // namespace sim
