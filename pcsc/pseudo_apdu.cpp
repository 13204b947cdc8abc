// The class FF commands applications send to the reader itself: Get Data,
// Load Keys, General Authenticate (and the older Authenticate), Read Binary,
// Update Binary, and the MIFARE Classic value blocks in the form most readers
// use. Each checks what it can before the card hears anything, so a malformed
// command costs no exchange.
#include "contactless_slot.h"

#include "varrok.h"

namespace varrok_ifd {

namespace {

enum : std::uint8_t {
    kGetData = 0xCA,
    kLoadKeys = 0x82,
    kGeneralAuthenticate = 0x86,
    kAuthenticate = 0x88,
    kReadBinary = 0xB0,
    kReadValue = 0xB1,
    kUpdateBinary = 0xD6,
    kValue = 0xD7,
};

constexpr std::uint8_t kKeyA = 0x60, kKeyB = 0x61;
constexpr std::uint8_t kVicinityFlags = 0x22; // addressed, high data rate

Reply ok(Bytes data = {}) { return Reply::ok(withSw(std::move(data), Sw::Ok)); }
Reply sw(Sw word) { return Reply::ok(withSw(word)); }

// Data of `available` bytes against the Le asked for: all of it for Le 00
// (or none given), 6C XX when Le asks for less, a warning when Le asks more.
Reply answerLe(Bytes data, const Apdu& apdu) {
    const unsigned le = apdu.le.value_or(256);
    if (le == 256 || le == data.size()) return ok(std::move(data));
    if (le < data.size()) return Reply::ok(wrongLe(data.size()));
    return Reply::ok(withSw(std::move(data), Sw::EndOfData));
}

// A sector trailer whose access bits disagree with their inverted copy makes
// the sector unusable for good: such a write is never sent.
bool consistentTrailer(const Bytes& t) {
    return (t[6] & 0x0F) == (~t[7] >> 4 & 0x0F) && (t[6] >> 4) == (~t[8] & 0x0F) &&
           (t[7] & 0x0F) == (~t[8] >> 4 & 0x0F);
}

bool isTrailer(unsigned block) { return block < 128 ? block % 4 == 3 : block % 16 == 15; }

std::int32_t bigEndian32(const std::uint8_t* b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) << 24 |
                                     static_cast<std::uint32_t>(b[1]) << 16 |
                                     static_cast<std::uint32_t>(b[2]) << 8 | b[3]);
}

} // namespace

Reply ContactlessSlot::pseudo(const Apdu& apdu) {
    switch (apdu.ins) {
    case kGetData:
        return getData(apdu);
    case kLoadKeys:
        return loadKeys(apdu);
    case kGeneralAuthenticate:
        // Data: version 01, block (2 bytes, MSB first), key type, key number.
        if (apdu.p1p2() != 0) return sw(Sw::WrongP1P2);
        if (apdu.data.size() != 5 || apdu.le) return sw(Sw::WrongLength);
        if (apdu.data[0] != 0x01 || apdu.data[1] != 0x00) return sw(Sw::BadData);
        return authenticate(apdu.data[2], apdu.data[3], apdu.data[4]);
    case kAuthenticate:
        return sw(Sw::WrongLength); // the six-byte form is taken before parsing
    case kReadBinary:
        return readBinary(apdu);
    case kUpdateBinary:
        return updateBinary(apdu);
    case kReadValue:
        return readValue(apdu);
    case kValue:
        return valueOperation(apdu);
    default:
        return sw(Sw::UnknownInstruction);
    }
}

Reply ContactlessSlot::getData(const Apdu& apdu) {
    if (apdu.p2 != 0 || apdu.p1 > 1) return sw(Sw::WrongP1P2);
    if (!apdu.data.empty()) return sw(Sw::WrongLength);
    if (apdu.p1 == 0) return answerLe(card_->uid, apdu);
    if (!isSmartCard(card_->kind)) return sw(Sw::NotSupported);
    return answerLe(card_->historical, apdu);
}

Reply ContactlessSlot::loadKeys(const Apdu& apdu) {
    // P1 00: kept by the driver for this reader (volatile); 20: also stored in
    // the reader's own key memory.
    if (apdu.p1 != 0x00 && apdu.p1 != 0x20) return sw(Sw::WrongP1P2);
    if (apdu.data.size() != 6 || apdu.le) return sw(Sw::WrongLength);
    if (apdu.p2 >= keys_.size()) return sw(Sw::KeyNumberInvalid);
    std::array<std::uint8_t, 6> key;
    std::copy(apdu.data.begin(), apdu.data.end(), key.begin());
    if (apdu.p1 == 0x20) {
        const int rc = rf_M1_DownloadKeyToReader(link_.icdev(), apdu.p2, key.data());
        if (rc != 0) return linkOk(rc) ? sw(Sw::NoInformation) : Reply::failed();
    }
    keys_[apdu.p2] = key;
    return ok();
}

Reply ContactlessSlot::authenticate(std::uint8_t block, std::uint8_t keyType, std::uint8_t keyNumber) {
    if (!isClassic(card_->kind)) return sw(Sw::Incompatible);
    if (keyType != kKeyA && keyType != kKeyB) return sw(Sw::NotAllowed);
    if (keyNumber >= keys_.size()) return sw(Sw::KeyNumberInvalid);
    if (!keys_[keyNumber]) return sw(Sw::KeyNotUsable);
    if (block >= memoryUnits(card_->kind)) return sw(Sw::NoSuchBlock);
    auto key = *keys_[keyNumber];
    const int rc = rf_M1_Authentication(link_.icdev(), keyType, block, key.data());
    return rc == 0 ? ok() : refused(rc, Sw::NoInformation);
}

Reply ContactlessSlot::readBinary(const Apdu& apdu) {
    if (!apdu.data.empty()) return sw(Sw::WrongLength);
    const unsigned block = apdu.p1p2();
    const unsigned units = memoryUnits(card_->kind);
    unsigned char data[256] = {};
    if (isClassic(card_->kind) || isUltralight(card_->kind)) {
        if (block >= units) return sw(Sw::NoSuchBlock);
        // A Classic block, or four Ultralight pages: 16 bytes.
        if (apdu.le && *apdu.le != 256 && *apdu.le > 16) return Reply::ok(wrongLe(16));
        const int rc = rf_M1_Read(link_.icdev(), static_cast<unsigned char>(block), data);
        if (rc != 0) return refused(rc, Sw::NoInformation);
        const unsigned n = apdu.le && *apdu.le != 256 ? *apdu.le : 16;
        return ok(Bytes(data, data + n));
    }
    if (card_->kind == CardKind::Vicinity) {
        if (block > 0xFF) return sw(Sw::NoSuchBlock);
        if (apdu.le && *apdu.le != 256 && *apdu.le > blockSize_) return Reply::ok(wrongLe(blockSize_));
        unsigned char len = 0;
        auto uid = card_->uid;
        const int rc = rf_ISO15693_Read(link_.icdev(), kVicinityFlags, uid.data(),
                                        static_cast<unsigned char>(block), 1, data, &len);
        if (rc != 0) return refused(rc, Sw::NoInformation);
        if (len == 0) return sw(Sw::NoInformation);
        blockSize_ = len;
        const unsigned n = apdu.le && *apdu.le != 256 ? std::min<unsigned>(*apdu.le, len) : len;
        return ok(Bytes(data, data + n));
    }
    return sw(Sw::NotSupported);
}

Reply ContactlessSlot::updateBinary(const Apdu& apdu) {
    if (apdu.le) return sw(Sw::WrongLength);
    const unsigned block = apdu.p1p2();
    const unsigned units = memoryUnits(card_->kind);
    Bytes data = apdu.data;
    if (isClassic(card_->kind)) {
        if (data.size() != 16) return sw(Sw::WrongLength);
        if (block >= units) return sw(Sw::NoSuchBlock);
        if (isTrailer(block) && !consistentTrailer(data)) return sw(Sw::BadData);
        const int rc = rf_M1_Write(link_.icdev(), static_cast<unsigned char>(block), data.data());
        return rc == 0 ? ok() : refused(rc, Sw::MemoryFailure);
    }
    if (isUltralight(card_->kind) || card_->kind == CardKind::Vicinity) {
        // Whole 4-byte pages or blocks, one after the other.
        if (data.empty() || data.size() % 4 != 0 || data.size() > 16) return sw(Sw::WrongLength);
        const unsigned count = static_cast<unsigned>(data.size() / 4);
        const unsigned limit = units != 0 ? units : 256;
        if (block + count > limit) return sw(Sw::NoSuchBlock);
        for (unsigned i = 0; i < count; ++i) {
            const auto at = static_cast<unsigned char>(block + i);
            auto uid = card_->uid;
            const int rc =
                card_->kind == CardKind::Vicinity
                    ? rf_ISO15693_Write(link_.icdev(), kVicinityFlags, uid.data(), at, data.data() + 4 * i)
                    : rf_UltraLight_Write(link_.icdev(), at, data.data() + 4 * i);
            if (rc != 0) return refused(rc, Sw::MemoryFailure);
        }
        return ok();
    }
    return sw(Sw::NotSupported);
}

Reply ContactlessSlot::readValue(const Apdu& apdu) {
    if (!isClassic(card_->kind)) return sw(Sw::Incompatible);
    if (apdu.p1 != 0) return sw(Sw::WrongP1P2);
    if (!apdu.data.empty() || (apdu.le && *apdu.le != 4 && *apdu.le != 256)) return sw(Sw::WrongLength);
    if (apdu.p2 >= memoryUnits(card_->kind) || isTrailer(apdu.p2)) return sw(Sw::NoSuchBlock);
    unsigned char value[4] = {};
    const int rc = rf_M1_PurseRead(link_.icdev(), apdu.p2, value);
    if (rc != 0) return refused(rc, Sw::NoInformation);
    return ok({value[3], value[2], value[1], value[0]}); // most significant byte first
}

Reply ContactlessSlot::valueOperation(const Apdu& apdu) {
    // Data: 00 store, 01 increment, 02 decrement, each with a 4-byte value
    // (most significant first); or 03 with a target block: copy this value
    // block there.
    if (!isClassic(card_->kind)) return sw(Sw::Incompatible);
    if (apdu.p1 != 0) return sw(Sw::WrongP1P2);
    if (apdu.le || apdu.data.empty()) return sw(Sw::WrongLength);
    const unsigned units = memoryUnits(card_->kind);
    const std::uint8_t block = apdu.p2;
    if (block >= units || isTrailer(block)) return sw(Sw::NoSuchBlock);
    const std::uint8_t op = apdu.data[0];
    const unsigned short icdev = link_.icdev();
    int rc = 0;
    if (op <= 0x02) {
        if (apdu.data.size() != 5) return sw(Sw::WrongLength);
        const std::int32_t value = bigEndian32(apdu.data.data() + 1);
        rc = op == 0x00   ? rf_M1_PurseCreate(icdev, block, value)
             : op == 0x01 ? rf_M1_PurseIncrement(icdev, block, value)
                          : rf_M1_PurseDecrement(icdev, block, value);
    } else if (op == 0x03) {
        if (apdu.data.size() != 2) return sw(Sw::WrongLength);
        const std::uint8_t target = apdu.data[1];
        if (target >= units || isTrailer(target)) return sw(Sw::NoSuchBlock);
        rc = rf_M1_PurseBackup(icdev, block, target);
    } else {
        return sw(Sw::BadData);
    }
    return rc == 0 ? ok() : refused(rc, Sw::Incompatible);
}

Reply ContactlessSlot::toCard(const std::uint8_t* apdu, std::size_t size) {
    // The reader reads a first byte of 02, 03, 0A or 0B as a block header of
    // its own: such an APDU goes out behind an explicit I-block header.
    unsigned char command[256] = {}, answer[256] = {}, len = 0;
    const bool header = apdu[0] == 0x02 || apdu[0] == 0x03 || apdu[0] == 0x0A || apdu[0] == 0x0B;
    const std::size_t total = size + (header ? 1 : 0);
    if (total > 251) return sw(Sw::WrongLength);
    command[0] = 0x02;
    std::copy(apdu, apdu + size, command + (header ? 1 : 0));
    const int rc =
        rf_ISO14443_4_COS(link_.icdev(), command, static_cast<unsigned char>(total), answer, &len, 0);
    if (rc != 0) {
        const Reply r = refused(rc, Sw::NoInformation);
        return r.status == Reply::Status::Ok ? Reply::failed() : r;
    }
    const std::size_t skip = header && len > 0 ? 1 : 0;
    if (len < skip + 2) return Reply::failed(); // a card's answer ends in its status word
    return Reply::ok(Bytes(answer + skip, answer + len));
}

} // namespace varrok_ifd
