#include "simulator/cards/classic.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace sim {

namespace classic {

std::optional<std::array<Condition, 4>> decodeAccessBits(std::span<const std::uint8_t, 3> bytes) {
    const unsigned c1 = bytes[1] >> 4, c2 = bytes[2] & 0x0F, c3 = bytes[2] >> 4;
    const bool consistent = (bytes[0] & 0x0F) == (~c1 & 0x0F) && (bytes[0] >> 4) == (~c2 & 0x0F) &&
                            (bytes[1] & 0x0F) == (~c3 & 0x0F);
    if (!consistent) return std::nullopt;
    std::array<Condition, 4> conditions{};
    for (unsigned group = 0; group < 4; ++group)
        conditions[group] =
            static_cast<Condition>(((c1 >> group) & 1) << 2 | ((c2 >> group) & 1) << 1 | ((c3 >> group) & 1));
    return conditions;
}

std::array<std::uint8_t, 3> encodeAccessBits(const std::array<Condition, 4>& conditions) {
    unsigned c1 = 0, c2 = 0, c3 = 0;
    for (unsigned group = 0; group < 4; ++group) {
        c1 |= ((conditions[group] >> 2) & 1u) << group;
        c2 |= ((conditions[group] >> 1) & 1u) << group;
        c3 |= (conditions[group] & 1u) << group;
    }
    return {static_cast<std::uint8_t>((~c2 & 0x0F) << 4 | (~c1 & 0x0F)),
            static_cast<std::uint8_t>(c1 << 4 | (~c3 & 0x0F)), static_cast<std::uint8_t>(c3 << 4 | c2)};
}

namespace {

// Who may do something under one access condition.
enum Who : std::uint8_t { Never, A, B, AB };

bool permits(Who who, KeyType key) {
    return who == AB || (who == A && key == KeyType::A) || (who == B && key == KeyType::B);
}

// Indexed by condition (C1 C2 C3 as a 3-bit number): read, write, increment,
// decrement/transfer/restore.
constexpr Who kDataTable[8][4] = {
    /* 000 */ {AB, AB, AB, AB},
    /* 001 */ {AB, Never, Never, AB},
    /* 010 */ {AB, Never, Never, Never},
    /* 011 */ {B, B, Never, Never},
    /* 100 */ {AB, B, Never, Never},
    /* 101 */ {B, Never, Never, Never},
    /* 110 */ {AB, B, B, AB},
    /* 111 */ {Never, Never, Never, Never},
};

// Indexed by condition: write key A, read access bits, write access bits,
// read key B, write key B. (Key A is never readable.)
constexpr Who kTrailerTable[8][5] = {
    /* 000 */ {A, A, Never, A, A},
    /* 001 */ {A, A, A, A, A},
    /* 010 */ {Never, A, Never, A, Never},
    /* 011 */ {B, AB, B, Never, B},
    /* 100 */ {B, AB, Never, Never, B},
    /* 101 */ {Never, AB, B, Never, Never},
    /* 110 */ {Never, AB, Never, Never, Never},
    /* 111 */ {Never, AB, Never, Never, Never},
};

} // namespace


bool keyBReadable(Condition trailer) { return permits(kTrailerTable[trailer & 7][3], KeyType::A); }

DataRights dataRights(Condition data, Condition trailer, KeyType key) {
    if (key == KeyType::B && keyBReadable(trailer)) return {};
    const auto& row = kDataTable[data & 7];
    return {permits(row[0], key), permits(row[1], key), permits(row[2], key), permits(row[3], key)};
}

TrailerRights trailerRights(Condition trailer, KeyType key) {
    if (key == KeyType::B && keyBReadable(trailer)) return {};
    const auto& row = kTrailerTable[trailer & 7];
    return {permits(row[0], key), permits(row[1], key), permits(row[2], key), permits(row[3], key),
            permits(row[4], key)};
}

std::optional<std::int32_t> valueOf(const Block& b) {
    for (int i = 0; i < 4; ++i)
        if (b[4 + i] != static_cast<std::uint8_t>(~b[i]) || b[8 + i] != b[i]) return std::nullopt;
    if (b[13] != static_cast<std::uint8_t>(~b[12]) || b[14] != b[12] || b[15] != b[13]) return std::nullopt;
    const std::uint32_t raw = static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
                              static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    return static_cast<std::int32_t>(raw);
}

Block valueBlock(std::int32_t value, std::uint8_t address) {
    const auto raw = static_cast<std::uint32_t>(value);
    Block b{};
    for (int i = 0; i < 4; ++i) {
        const auto byte = static_cast<std::uint8_t>(raw >> (8 * i));
        b[i] = b[8 + i] = byte;
        b[4 + i] = static_cast<std::uint8_t>(~byte);
    }
    b[12] = b[14] = address;
    b[13] = b[15] = static_cast<std::uint8_t>(~address);
    return b;
}

Block transportTrailer() {
    return {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x07, 0x80, 0x69, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
}

} // namespace classic

using namespace classic;

namespace {

std::array<std::uint8_t, 2> atqaFor(ClassicCard::Model model, std::size_t uidSize) {
    const std::uint8_t size = uidSize == 7 ? 0x40 : 0x00;
    return {static_cast<std::uint8_t>((model == ClassicCard::Model::Classic4K ? 0x02 : 0x04) | size), 0x00};
}

std::uint8_t sakFor(ClassicCard::Model model) {
    switch (model) {
    case ClassicCard::Model::Mini:
        return 0x09;
    case ClassicCard::Model::Classic1K:
        return 0x08;
    case ClassicCard::Model::Classic4K:
        return 0x18;
    }
    return 0x08;
}

const Bytes& checkedUid(const Bytes& uid) {
    if (uid.size() != 4 && uid.size() != 7) throw std::invalid_argument("a Classic UID has 4 or 7 bytes");
    return uid;
}

} // namespace

std::size_t ClassicCard::blocksOf(Model model) {
    switch (model) {
    case Model::Mini:
        return 20;
    case Model::Classic1K:
        return 64;
    case Model::Classic4K:
        return 256;
    }
    return 64;
}

ClassicCard::ClassicCard(Model model, Bytes uid, Bytes manufacturer)
    : TypeACard(checkedUid(uid), atqaFor(model, uid.size()), sakFor(model)), model_(model),
      memory_(blocksOf(model)) {
    const Bytes& id = this->uid();
    const std::size_t makerSize = id.size() == 4 ? 8 : 6;
    if (manufacturer.empty()) {
        manufacturer = {0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69};
        manufacturer.resize(makerSize);
    }
    if (manufacturer.size() != makerSize)
        throw std::invalid_argument("block 0 holds " + std::to_string(makerSize) + " manufacturer bytes");

    // Block 0: UID (with BCC for a 4-byte UID), SAK, ATQA, manufacturer data.
    Bytes zero(id.begin(), id.end());
    if (id.size() == 4) zero.push_back(static_cast<std::uint8_t>(id[0] ^ id[1] ^ id[2] ^ id[3]));
    zero.push_back(sak());
    zero.push_back(atqa()[0]);
    zero.push_back(atqa()[1]);
    zero.insert(zero.end(), manufacturer.begin(), manufacturer.end());
    std::copy(zero.begin(), zero.end(), memory_[0].begin());

    for (std::size_t sector = 0; sector < sectorCount(); ++sector)
        memory_[trailerOf(sector)] = transportTrailer();
}

std::string ClassicCard::describe() const {
    const char* name = model_ == Model::Mini        ? "Classic Mini"
                       : model_ == Model::Classic1K ? "Classic 1K"
                                                    : "Classic 4K";
    return std::string(name) + " " + toHex(uid());
}

std::size_t ClassicCard::sectorCount() const {
    return memory_.size() <= 128 ? memory_.size() / 4 : 32 + (memory_.size() - 128) / 16;
}

std::size_t ClassicCard::sectorOf(std::size_t block) const {
    return block < 128 ? block / 4 : 32 + (block - 128) / 16;
}

std::size_t ClassicCard::firstBlock(std::size_t sector) const {
    return sector < 32 ? sector * 4 : 128 + (sector - 32) * 16;
}

std::size_t ClassicCard::blocksIn(std::size_t sector) const { return sector < 32 ? 4 : 16; }

std::size_t ClassicCard::groupOf(std::size_t block) const {
    const std::size_t sector = sectorOf(block);
    const std::size_t index = block - firstBlock(sector);
    if (blocksIn(sector) == 4) return index;
    return index == 15 ? 3 : index / 5;
}

std::optional<std::array<Condition, 4>> ClassicCard::conditions(std::size_t sector) const {
    const Block& trailer = memory_[trailerOf(sector)];
    return decodeAccessBits(std::span<const std::uint8_t, 3>(trailer.data() + 6, 3));
}

std::optional<DataRights> ClassicCard::rightsOn(std::size_t block) const {
    const auto c = conditions(sectorOf(block));
    if (!c) return std::nullopt;
    return dataRights((*c)[groupOf(block)], (*c)[3], session_->key);
}

void ClassicCard::endSession() { session_.reset(); }

Status ClassicCard::refuse(Status why) {
    endSession();
    return why;
}

Status ClassicCard::reach(std::uint8_t block) const {
    if (block >= memory_.size()) return Status::CardAddressInvalid;
    if (!session_ || session_->sector != sectorOf(block)) return Status::NotAuthenticated;
    return Status::Ok;
}

Status ClassicCard::authenticate(KeyType type, std::uint8_t block, std::span<const std::uint8_t, 6> key) {
    if (block >= memory_.size()) return refuse(Status::CardAddressInvalid);
    const std::size_t sector = sectorOf(block);
    const Block& trailer = memory_[trailerOf(sector)];
    const auto stored = trailer.begin() + (type == KeyType::A ? 0 : 10);
    if (!std::equal(key.begin(), key.end(), stored)) return refuse(Status::AuthFailed);
    session_ = Session{sector, type, std::nullopt};
    return Status::Ok;
}

Status ClassicCard::read(std::uint8_t block, Block& out) {
    if (const Status s = reach(block); s != Status::Ok) return refuse(s);
    const auto c = conditions(session_->sector);
    if (!c) return refuse(Status::AccessDenied);
    const Block& stored = memory_[block];
    if (isTrailer(block)) {
        // Key A never leaves the card; the rest only where the trailer's
        // condition lets this key read it. The GPB byte is always readable.
        const TrailerRights rights = trailerRights((*c)[3], session_->key);
        out.fill(0);
        if (rights.readAccess) std::copy(stored.begin() + 6, stored.begin() + 9, out.begin() + 6);
        out[9] = stored[9];
        if (rights.readKeyB) std::copy(stored.begin() + 10, stored.end(), out.begin() + 10);
        return Status::Ok;
    }
    if (!rightsOn(block)->read) return refuse(Status::AccessDenied);
    out = stored;
    return Status::Ok;
}

Status ClassicCard::write(std::uint8_t block, const Block& data) {
    if (const Status s = reach(block); s != Status::Ok) return refuse(s);
    const auto c = conditions(session_->sector);
    if (!c || block == 0) return refuse(Status::AccessDenied);
    Block& stored = memory_[block];
    if (isTrailer(block)) {
        // Each part of the trailer is written where the condition allows it and
        // keeps its content otherwise; a write that may change nothing is refused.
        const TrailerRights rights = trailerRights((*c)[3], session_->key);
        if (!rights.writeKeyA && !rights.writeAccess && !rights.writeKeyB)
            return refuse(Status::AccessDenied);
        if (rights.writeKeyA) std::copy(data.begin(), data.begin() + 6, stored.begin());
        if (rights.writeAccess) std::copy(data.begin() + 6, data.begin() + 10, stored.begin() + 6);
        if (rights.writeKeyB) std::copy(data.begin() + 10, data.end(), stored.begin() + 10);
        return Status::Ok;
    }
    if (!rightsOn(block)->write) return refuse(Status::AccessDenied);
    stored = data;
    return Status::Ok;
}

Status ClassicCard::createValue(std::uint8_t block, std::int32_t value) {
    if (block < memory_.size() && isTrailer(block)) {
        if (const Status s = reach(block); s != Status::Ok) return refuse(s);
        return refuse(Status::AccessDenied);
    }
    return write(block, valueBlock(value, block));
}

Status ClassicCard::readValue(std::uint8_t block, std::int32_t& value) {
    if (const Status s = reach(block); s != Status::Ok) return refuse(s);
    if (isTrailer(block)) return refuse(Status::AccessDenied);
    const auto rights = rightsOn(block);
    if (!rights || !rights->read) return refuse(Status::AccessDenied);
    const auto stored = valueOf(memory_[block]);
    if (!stored) return refuse(Status::NotValueBlock);
    value = *stored;
    return Status::Ok;
}

Status ClassicCard::loadValue(std::uint8_t block, bool (*allowed)(const DataRights&), std::int64_t delta) {
    if (const Status s = reach(block); s != Status::Ok) return refuse(s);
    if (isTrailer(block)) return refuse(Status::AccessDenied);
    const auto rights = rightsOn(block);
    if (!rights || !allowed(*rights)) return refuse(Status::AccessDenied);
    const auto stored = valueOf(memory_[block]);
    if (!stored) return refuse(Status::NotValueBlock);
    const std::int64_t result = *stored + delta;
    // What a real card does on overflow is not documented; refusing keeps a
    // purse from wrapping round to a large balance.
    if (result < std::numeric_limits<std::int32_t>::min() ||
        result > std::numeric_limits<std::int32_t>::max())
        return refuse(Status::CardRefused);
    // The address byte travels with the value, as the card copies it.
    session_->transferBuffer = valueBlock(static_cast<std::int32_t>(result), memory_[block][12]);
    return Status::Ok;
}

Status ClassicCard::increment(std::uint8_t block, std::int32_t amount) {
    return loadValue(
        block, [](const DataRights& r) { return r.increment; }, amount);
}

Status ClassicCard::decrement(std::uint8_t block, std::int32_t amount) {
    return loadValue(
        block, [](const DataRights& r) { return r.decrement; }, -static_cast<std::int64_t>(amount));
}

Status ClassicCard::restore(std::uint8_t block) {
    return loadValue(
        block, [](const DataRights& r) { return r.decrement; }, 0);
}

Status ClassicCard::transfer(std::uint8_t block) {
    if (const Status s = reach(block); s != Status::Ok) return refuse(s);
    if (block == 0 || isTrailer(block)) return refuse(Status::AccessDenied);
    const auto rights = rightsOn(block);
    if (!rights || !rights->decrement) return refuse(Status::AccessDenied);
    if (!session_->transferBuffer) return refuse(Status::WrongCardState);
    memory_[block] = *session_->transferBuffer;
    return Status::Ok;
}

} // namespace sim
