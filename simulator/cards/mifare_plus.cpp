#include "simulator/cards/mifare_plus.h"

#include <algorithm>
#include <stdexcept>

namespace sim {

namespace {

using Size = MifarePlusCard::Size;

std::array<std::uint8_t, 2> atqaFor(Size size, std::size_t uidSize) {
    const std::uint8_t longUid = uidSize == 7 ? 0x40 : 0x00;
    return {static_cast<std::uint8_t>((size == Size::TwoK ? 0x04 : 0x02) | longUid), 0x00};
}

std::uint8_t sakFor(Size size, int level) {
    const bool twoK = size == Size::TwoK;
    switch (level) {
    case 1:
        return twoK ? 0x08 : 0x18;
    case 2:
        return twoK ? 0x10 : 0x11;
    default:
        return 0x20;
    }
}

int checkedLevel(int level) {
    if (level < 0 || level > 3) throw std::invalid_argument("a MIFARE Plus level is 0 to 3");
    return level;
}

} // namespace

MifarePlusCard::MifarePlusCard(Size size, Bytes uid, int level)
    : TypeACard(uid, atqaFor(size, uid.size()), sakFor(size, checkedLevel(level))), size_(size),
      level_(level), classic_(ClassicCard::Model::Classic4K, uid) {
    // Block 0 carries the level-1 identity of this card, not that of the
    // Classic 4K the engine was built as.
    classic::Block zero = classic_.block(0);
    const std::size_t at = this->uid().size() == 4 ? 5 : 7;
    const auto atqa = atqaFor(size, this->uid().size());
    zero[at] = sakFor(size, 1);
    zero[at + 1] = atqa[0];
    zero[at + 2] = atqa[1];
    classic_.setBlock(0, zero);

    if (level > 0) {
        for (std::uint16_t address = plus::kCardMasterKey; address <= plus::kLevel1CardKey; ++address)
            written_.insert(address);
        for (std::size_t sector = 0; sector < sectorCount(); ++sector) {
            written_.insert(plus::sectorKey(sector, 0));
            written_.insert(plus::sectorKey(sector, 1));
        }
    }
}

std::string MifarePlusCard::describe() const {
    return std::string("MIFARE Plus ") + (size_ == Size::TwoK ? "2K" : "4K") + " level " +
           std::to_string(level_) + " " + toHex(uid());
}

Bytes MifarePlusCard::ats() const {
    return {0x75, 0x77, 0x80, 0x02, 0xC1,
            0x05, 0x2F, 0x2F, 0x01, static_cast<std::uint8_t>(size_ == Size::TwoK ? 0x16 : 0x18)};
}

bool MifarePlusCard::isKeyAddress(std::uint16_t address) const {
    if (address >= plus::kCardMasterKey && address <= plus::kLevel1CardKey) return true;
    return address >= plus::kSectorKeys && address < plus::kSectorKeys + 2 * sectorCount();
}

std::optional<plus::Key> MifarePlusCard::key(std::uint16_t address) const {
    if (!isKeyAddress(address)) return std::nullopt;
    const auto it = keys_.find(address);
    if (it != keys_.end()) return it->second;
    plus::Key blank;
    blank.fill(0xFF);
    return blank;
}

void MifarePlusCard::endSessions() {
    session_.reset();
    classic_.endSession();
}

void MifarePlusCard::setLevel(int level) {
    level_ = level;
    setSak(sakFor(size_, level));
    endSessions();
}

// ---- level 0 -----------------------------------------------------------------

Status MifarePlusCard::writePerso(std::uint16_t address, std::span<const std::uint8_t, 16> data) {
    if (level_ != 0) return Status::WrongCardState;
    if (address < blockCount()) {
        if (address == 0) return Status::AccessDenied;
        classic::Block block;
        std::copy(data.begin(), data.end(), block.begin());
        classic_.setBlock(address, block);
        return Status::Ok;
    }
    if (!isKeyAddress(address)) return Status::CardAddressInvalid;
    plus::Key& stored = keys_[address];
    std::copy(data.begin(), data.end(), stored.begin());
    written_.insert(address);
    return Status::Ok;
}

Status MifarePlusCard::commitPerso() {
    if (level_ != 0) return Status::WrongCardState;
    for (const std::uint16_t needed :
         {plus::kCardMasterKey, plus::kCardConfigurationKey, plus::kLevel3SwitchKey})
        if (!personalised(needed)) return Status::WrongCardState;
    setLevel(1);
    return Status::Ok;
}

// ---- levels and authentication -------------------------------------------------

Status MifarePlusCard::switchLevel(std::uint8_t level, plus::KeyView key) {
    if (level_ == 0) return Status::WrongCardState;
    if ((level != 2 && level != 3) || level <= level_) return Status::BadParameter;
    return authenticate(level == 2 ? plus::kLevel2SwitchKey : plus::kLevel3SwitchKey, key, false);
}

Status MifarePlusCard::authenticate(std::uint16_t keyAddress, plus::KeyView key, bool following) {
    if (level_ == 0) return Status::WrongCardState;
    if (!isKeyAddress(keyAddress)) return Status::CardAddressInvalid;
    if (following && !session_) return Status::NotAuthenticated;
    const bool sectorKey = keyAddress >= plus::kSectorKeys && keyAddress < plus::kCardMasterKey;
    // Level 1 protects its sectors with Crypto1 keys only.
    if (sectorKey && level_ == 1) return Status::WrongCardState;

    const plus::Key stored = *this->key(keyAddress);
    if (!std::equal(key.begin(), key.end(), stored.begin())) {
        endSessions();
        return Status::AuthFailed;
    }

    const int switchTo = keyAddress == plus::kLevel2SwitchKey   ? 2
                         : keyAddress == plus::kLevel3SwitchKey ? 3
                                                                : 0;
    if (!following && switchTo > level_) {
        setLevel(switchTo);
        return Status::Ok;
    }

    classic_.endSession();
    if (!sectorKey) {
        session_ = Session{keyAddress, std::nullopt};
        return Status::Ok;
    }
    const std::size_t sector = (keyAddress - plus::kSectorKeys) / 2;
    const bool keyB = (keyAddress - plus::kSectorKeys) % 2 == 1;
    // At level 2 the AES key only admits the Crypto1 authentication that follows.
    if (level_ == 2) {
        session_ = Session{keyAddress, sector};
        return Status::Ok;
    }
    // Open the Classic engine on the sector with the trailer's own key, so its
    // access rules hold for the AES key of the same type.
    const classic::Block& trailer = classic_.block(classic_.trailerOf(sector));
    std::array<std::uint8_t, 6> crypto1{};
    std::copy_n(trailer.begin() + (keyB ? 10 : 0), crypto1.size(), crypto1.begin());
    const Status opened =
        classic_.authenticate(keyB ? classic::KeyType::B : classic::KeyType::A,
                              static_cast<std::uint8_t>(classic_.firstBlock(sector)), crypto1);
    if (opened != Status::Ok) {
        endSessions();
        return opened;
    }
    session_ = Session{keyAddress, sector};
    return Status::Ok;
}

Status MifarePlusCard::firstAuthentication(std::uint16_t keyAddress, plus::KeyView key) {
    return authenticate(keyAddress, key, false);
}

Status MifarePlusCard::followingAuthentication(std::uint16_t keyAddress, plus::KeyView key) {
    return authenticate(keyAddress, key, true);
}

Status MifarePlusCard::authenticateBlock(std::uint8_t keyType, std::uint16_t block, plus::KeyView key) {
    if (keyType > 1) return Status::BadParameter;
    if (level_ < 2) return Status::WrongCardState;
    if (block >= blockCount()) return Status::CardAddressInvalid;
    return authenticate(plus::sectorKey(classic_.sectorOf(block), keyType), key, false);
}

std::optional<std::uint16_t> MifarePlusCard::sessionKey() const {
    if (!session_) return std::nullopt;
    return session_->keyAddress;
}

Status MifarePlusCard::crypto1Access(std::uint16_t block) const {
    if (level_ == 1) return Status::Ok;
    if (level_ != 2) return Status::WrongCardState;
    if (block >= blockCount()) return Status::CardAddressInvalid;
    if (!session_ || session_->sector != classic_.sectorOf(block)) return Status::NotAuthenticated;
    return Status::Ok;
}

// ---- level 3 -------------------------------------------------------------------

Status MifarePlusCard::levelThree(std::uint16_t block) const {
    if (level_ != 3) return Status::WrongCardState;
    if (block >= blockCount()) return Status::CardAddressInvalid;
    if (!session_ || session_->sector != classic_.sectorOf(block)) return Status::NotAuthenticated;
    return Status::Ok;
}

Status MifarePlusCard::engine(Status status) {
    if (status != Status::Ok) endSessions();
    return status;
}

Status MifarePlusCard::readBlocks(std::uint16_t block, std::uint8_t count, Bytes& out) {
    if (count == 0 || count > plus::kMaxReadBlocks) return engine(Status::BadParameter);
    Bytes data;
    for (unsigned i = 0; i < count; ++i) {
        const auto b = static_cast<std::uint16_t>(block + i);
        if (const Status s = levelThree(b); s != Status::Ok) return engine(s);
        classic::Block content;
        if (const Status s = classic_.read(static_cast<std::uint8_t>(b), content); s != Status::Ok)
            return engine(s);
        data.insert(data.end(), content.begin(), content.end());
    }
    out = std::move(data);
    return Status::Ok;
}

Status MifarePlusCard::writeBlocks(std::uint16_t block, std::uint8_t count,
                                   std::span<const std::uint8_t> data) {
    if (count == 0 || count > plus::kMaxWriteBlocks) return engine(Status::BadParameter);
    if (data.size() != count * sizeof(classic::Block)) return engine(Status::BadLength);
    for (unsigned i = 0; i < count; ++i)
        if (const Status s = levelThree(static_cast<std::uint16_t>(block + i)); s != Status::Ok)
            return engine(s);
    for (unsigned i = 0; i < count; ++i) {
        classic::Block content;
        std::copy_n(data.begin() + 16 * i, content.size(), content.begin());
        if (const Status s = classic_.write(static_cast<std::uint8_t>(block + i), content); s != Status::Ok)
            return engine(s);
    }
    return Status::Ok;
}

Status MifarePlusCard::createValue(std::uint16_t block, std::int32_t value) {
    if (const Status s = levelThree(block); s != Status::Ok) return engine(s);
    return engine(classic_.createValue(static_cast<std::uint8_t>(block), value));
}

Status MifarePlusCard::readValue(std::uint16_t block, std::int32_t& value) {
    if (const Status s = levelThree(block); s != Status::Ok) return engine(s);
    return engine(classic_.readValue(static_cast<std::uint8_t>(block), value));
}

Status MifarePlusCard::increment(std::uint16_t block, std::int32_t amount) {
    if (const Status s = levelThree(block); s != Status::Ok) return engine(s);
    const auto b = static_cast<std::uint8_t>(block);
    if (const Status s = engine(classic_.increment(b, amount)); s != Status::Ok) return s;
    return engine(classic_.transfer(b));
}

Status MifarePlusCard::decrement(std::uint16_t block, std::int32_t amount) {
    if (const Status s = levelThree(block); s != Status::Ok) return engine(s);
    const auto b = static_cast<std::uint8_t>(block);
    if (const Status s = engine(classic_.decrement(b, amount)); s != Status::Ok) return s;
    return engine(classic_.transfer(b));
}

Status MifarePlusCard::backup(std::uint16_t source, std::uint16_t destination) {
    if (const Status s = levelThree(source); s != Status::Ok) return engine(s);
    if (const Status s = levelThree(destination); s != Status::Ok) return engine(s);
    if (const Status s = engine(classic_.restore(static_cast<std::uint8_t>(source))); s != Status::Ok)
        return s;
    return engine(classic_.transfer(static_cast<std::uint8_t>(destination)));
}

} // namespace sim
