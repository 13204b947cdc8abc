#include "simulator/cards/desfire.h"

#include <algorithm>
#include <climits>
#include <stdexcept>

namespace sim {

using namespace desfire;

std::uint8_t desfire::keyVersion(const Key& key) {
    std::uint8_t version = 0;
    for (std::size_t i = 0; i < 8; ++i)
        version = static_cast<std::uint8_t>(version << 1 | (key[i] & 0x01));
    return version;
}

namespace {

std::size_t capacity(Storage storage) {
    switch (storage) {
    case Storage::Size2K:
        return 2048;
    case Storage::Size4K:
        return 4096;
    case Storage::Size8K:
        return 8192;
    }
    return 0;
}

std::uint64_t roundUp32(std::uint64_t n) { return (n + 31) / 32 * 32; }

void putLe(Bytes& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// DES ignores the lowest bit of every key byte (there the card keeps the key
// version), so two keys differing only there open the same doors.
bool sameKey(const Key& a, const Key& b) {
    for (std::size_t i = 0; i < kKeySize; ++i)
        if ((a[i] ^ b[i]) & 0xFE) return false;
    return true;
}

bool validComm(std::uint8_t comm) { return comm == kPlain || comm == kMaced || comm == kEnciphered; }

Reply okReply(Bytes data = {}) { return Reply{Ok, std::move(data)}; }

Bytes sevenByteUid(Bytes uid) {
    if (uid.size() != 7) throw std::invalid_argument("a DESFire card has a 7-byte UID");
    return uid;
}

} // namespace

DesfireCard::DesfireCard(Bytes uid, Identity identity)
    : TypeACard(sevenByteUid(std::move(uid)), {0x44, 0x03}, 0x20), identity_(identity) {
    std::uint64_t seed = 0;
    for (const std::uint8_t b : this->uid())
        seed = seed << 8 | b;
    random_.seed(seed);
}

std::string DesfireCard::describe() const {
    const char* size = identity_.storage == Storage::Size2K   ? "2K"
                       : identity_.storage == Storage::Size8K ? "8K"
                                                              : "4K";
    return std::string("DESFire EV1 ") + size + " " + toHex(uid());
}

// T0 75 (TA, TB, TC present, FSCI 5), TA 77, TB 81, TC 02, one historical byte 80.
Bytes DesfireCard::ats() const { return {0x75, 0x77, 0x81, 0x02, 0x80}; }

void DesfireCard::onPowerCycle() { leaveSession(); }

void DesfireCard::leaveSession() {
    dropTransaction();
    dropAuthentication();
    selectedAid_ = 0;
}

// ---- state helpers -----------------------------------------------------------

DesfireCard::Application* DesfireCard::current() {
    if (selectedAid_ == 0) return nullptr;
    for (Application& app : applications_)
        if (app.aid == selectedAid_) return &app;
    return nullptr;
}

Reply DesfireCard::fail(std::uint8_t status) {
    // The chip throws away the whole pending transaction on any error.
    dropTransaction();
    return Reply{status, {}};
}

void DesfireCard::dropTransaction() {
    for (Application& app : applications_) {
        for (auto& [number, file] : app.files) {
            if (auto* data = std::get_if<DataFile>(&file.content)) data->dirty.reset();
            if (auto* value = std::get_if<ValueFile>(&file.content)) {
                value->dirty.reset();
                value->debited = 0;
                value->limitedCredited = false;
            }
            if (auto* records = std::get_if<RecordFile>(&file.content)) {
                records->dirty.reset();
                records->recordOpen = false;
            }
        }
    }
}

void DesfireCard::dropAuthentication() {
    authenticatedKey_.reset();
    sessionKey_.fill(0);
}

bool DesfireCard::transactionPending() const {
    for (const Application& app : applications_) {
        for (const auto& [number, file] : app.files) {
            if (auto* data = std::get_if<DataFile>(&file.content); data && data->dirty) return true;
            if (auto* value = std::get_if<ValueFile>(&file.content); value && value->dirty) return true;
            if (auto* records = std::get_if<RecordFile>(&file.content); records && records->dirty)
                return true;
        }
    }
    return false;
}

std::size_t DesfireCard::footprint(const File& file) {
    if (auto* data = std::get_if<DataFile>(&file.content))
        return roundUp32(data->data.size()) * (file.type == FileType::BackupData ? 2 : 1);
    if (auto* records = std::get_if<RecordFile>(&file.content))
        return roundUp32(std::uint64_t{records->recordSize} * records->maxRecords);
    return 32;
}

std::size_t DesfireCard::usedMemory() const {
    std::size_t used = 0;
    for (const Application& app : applications_)
        for (const auto& [number, file] : app.files)
            used += footprint(file);
    return used;
}

std::size_t DesfireCard::freeMemory() const {
    const std::size_t total = capacity(identity_.storage);
    const std::size_t used = usedMemory();
    return used >= total ? 0 : total - used;
}

std::uint8_t DesfireCard::levelKeySettings() {
    const Application* app = current();
    return app ? app->keySettings : piccKeySettings_;
}

bool DesfireCard::mayList() { return (levelKeySettings() & kFreeListing) || authenticatedWithMaster(); }

bool DesfireCard::allowed(const File& file, std::initializer_list<Right> rights) const {
    for (const Right right : rights) {
        const std::uint8_t key = right == Right::Read        ? file.access.read
                                 : right == Right::Write     ? file.access.write
                                 : right == Right::ReadWrite ? file.access.readWrite
                                                             : file.access.change;
        if (key == kFreeAccess) return true;
        if (key < kMaxKeys && authenticatedKey_ == key) return true;
    }
    return false;
}

std::variant<DesfireCard::File*, std::uint8_t> DesfireCard::fileFor(std::uint8_t fileNo,
                                                                    std::initializer_list<Right> rights,
                                                                    std::initializer_list<FileType> types) {
    Application* app = current();
    if (!app) return PermissionDenied; // the card level holds no files
    const auto it = app->files.find(fileNo);
    if (it == app->files.end()) return FileNotFound;
    File& file = it->second;
    if (std::find(types.begin(), types.end(), file.type) == types.end()) return ParameterError;
    if (!allowed(file, rights)) return PermissionDenied;
    return &file;
}

// ---- keys and authentication -------------------------------------------------

Reply DesfireCard::authenticate(std::uint8_t keyNo, const Key& key) {
    // Every authentication starts by forgetting the previous one, so a failed
    // attempt leaves the card unauthenticated.
    dropAuthentication();
    const Application* app = current();
    const std::size_t keys = app ? app->keys.size() : 1;
    if (keyNo >= keys) return fail(NoSuchKey);
    const Key& stored = app ? app->keys[keyNo] : piccKey_;
    if (!sameKey(key, stored)) return fail(AuthenticationError);

    std::array<std::uint8_t, 8> rndA{};
    std::array<std::uint8_t, 8> rndB{};
    const std::uint64_t a = random_();
    const std::uint64_t b = random_();
    for (std::size_t i = 0; i < 8; ++i) {
        rndA[i] = static_cast<std::uint8_t>(a >> (8 * i));
        rndB[i] = static_cast<std::uint8_t>(b >> (8 * i));
    }
    const bool singleDes = std::equal(stored.begin(), stored.begin() + 8, stored.begin() + 8,
                                      [](std::uint8_t x, std::uint8_t y) { return ((x ^ y) & 0xFE) == 0; });
    for (std::size_t i = 0; i < 4; ++i) {
        sessionKey_[i] = rndA[i];
        sessionKey_[4 + i] = rndB[i];
        sessionKey_[8 + i] = singleDes ? rndA[i] : rndA[4 + i];
        sessionKey_[12 + i] = singleDes ? rndB[i] : rndB[4 + i];
    }
    authenticatedKey_ = keyNo;
    return okReply(Bytes(sessionKey_.begin(), sessionKey_.end()));
}

Reply DesfireCard::changeKeySettings(std::uint8_t keySettings) {
    if (!authenticatedWithMaster()) return fail(AuthenticationError);
    Application* app = current();
    std::uint8_t& settings = app ? app->keySettings : piccKeySettings_;
    if (!(settings & kConfigurationChangeable)) return fail(PermissionDenied);
    settings = keySettings;
    return okReply();
}

Reply DesfireCard::getKeySettings() {
    if (!mayList()) return fail(PermissionDenied);
    const Application* app = current();
    if (!app) return okReply({piccKeySettings_, 0x01});
    return okReply({app->keySettings, static_cast<std::uint8_t>(app->keys.size())});
}

Reply DesfireCard::changeKey(std::uint8_t keyNo, const Key& newKey) {
    Application* app = current();
    if (!app) {
        if (keyNo != 0) return fail(NoSuchKey);
        if (!authenticatedWithMaster()) return fail(AuthenticationError);
        if (!(piccKeySettings_ & kMasterKeyChangeable)) return fail(PermissionDenied);
        piccKey_ = newKey;
        dropAuthentication(); // the session was opened with the old key
        return okReply();
    }
    if (keyNo >= app->keys.size()) return fail(NoSuchKey);
    if (keyNo == 0) {
        if (!authenticatedWithMaster()) return fail(AuthenticationError);
        if (!(app->keySettings & kMasterKeyChangeable)) return fail(PermissionDenied);
    } else {
        // KS1 bits 7-4: the key that may change the other keys; E = each key
        // itself, F = they are frozen.
        const std::uint8_t changeKey = app->keySettings >> 4;
        if (changeKey == kNoAccess) return fail(PermissionDenied);
        const std::uint8_t needed = changeKey == kFreeAccess ? keyNo : changeKey;
        if (authenticatedKey_ != needed) return fail(AuthenticationError);
    }
    app->keys[keyNo] = newKey;
    if (authenticatedKey_ == keyNo) dropAuthentication();
    return okReply();
}

Reply DesfireCard::getKeyVersion(std::uint8_t keyNo) {
    const Application* app = current();
    const std::size_t keys = app ? app->keys.size() : 1;
    if (keyNo >= keys) return fail(NoSuchKey);
    return okReply({keyVersion(app ? app->keys[keyNo] : piccKey_)});
}

// ---- applications --------------------------------------------------------------

Reply DesfireCard::createApplication(std::uint32_t aid, std::uint8_t keySettings, std::uint8_t numberOfKeys) {
    if (selectedAid_ != 0) return fail(PermissionDenied);
    if (!(piccKeySettings_ & kFreeCreateDelete) && !authenticatedWithMaster()) return fail(PermissionDenied);
    if (aid == 0 || aid > 0xFFFFFF) return fail(ParameterError);
    // KS2: the low nibble counts the keys; the high bits would ask for AES or
    // three-key 3DES keys, which this card does not keep.
    if (numberOfKeys == 0 || numberOfKeys > kMaxKeys) return fail(ParameterError);
    if (std::any_of(applications_.begin(), applications_.end(),
                    [&](const Application& a) { return a.aid == aid; }))
        return fail(DuplicateError);
    if (applications_.size() >= kMaxApplications) return fail(CountError);
    applications_.push_back(Application{aid, keySettings, std::vector<Key>(numberOfKeys), {}});
    return okReply();
}

Reply DesfireCard::deleteApplication(std::uint32_t aid) {
    if (aid == 0 || aid > 0xFFFFFF) return fail(ParameterError);
    const auto it = std::find_if(applications_.begin(), applications_.end(),
                                 [&](const Application& a) { return a.aid == aid; });
    if (it == applications_.end()) return fail(ApplicationNotFound);
    // The card master key at the card level, or the application's own master key.
    const bool mayDelete = authenticatedWithMaster() && (selectedAid_ == 0 || selectedAid_ == aid);
    if (!mayDelete) return fail(PermissionDenied);
    if (selectedAid_ == aid) {
        dropTransaction();
        dropAuthentication();
        selectedAid_ = 0;
    }
    applications_.erase(it);
    return okReply();
}

Reply DesfireCard::getApplicationIds() {
    if (selectedAid_ != 0) return fail(PermissionDenied);
    if (!mayList()) return fail(PermissionDenied);
    Bytes aids;
    for (const Application& app : applications_)
        putLe(aids, app.aid, 3);
    return okReply(std::move(aids));
}

Reply DesfireCard::selectApplication(std::uint32_t aid) {
    // A new selection ends the session with the old one: its pending changes
    // and its authentication go, even when the AID is not there.
    dropTransaction();
    dropAuthentication();
    if (aid > 0xFFFFFF) return fail(ParameterError);
    if (aid != 0 && std::none_of(applications_.begin(), applications_.end(),
                                 [&](const Application& a) { return a.aid == aid; }))
        return fail(ApplicationNotFound);
    selectedAid_ = aid;
    return okReply();
}

Reply DesfireCard::formatPicc() {
    if (selectedAid_ != 0 || !authenticatedWithMaster()) return fail(PermissionDenied);
    applications_.clear();
    return okReply();
}

Reply DesfireCard::getVersion() {
    const auto storage = static_cast<std::uint8_t>(identity_.storage);
    // vendor code 04, type DESFire, subtype, version 1.0 (hardware) / 1.4 (software), storage, ISO 14443-2
    // and -3
    Bytes version = {0x04, 0x01, 0x01, 0x01, 0x00, storage, 0x05,
                     0x04, 0x01, 0x01, 0x01, 0x04, storage, 0x05};
    version.insert(version.end(), uid().begin(), uid().end());
    version.insert(version.end(), identity_.batch.begin(), identity_.batch.end());
    version.push_back(identity_.week);
    version.push_back(identity_.year);
    return okReply(std::move(version));
}

// ---- files -------------------------------------------------------------------------

Reply DesfireCard::getFileIds() {
    const Application* app = current();
    if (!app || !mayList()) return fail(PermissionDenied);
    Bytes ids;
    for (const auto& [number, file] : app->files)
        ids.push_back(number);
    return okReply(std::move(ids));
}

Reply DesfireCard::getFileSettings(std::uint8_t fileNo) {
    const Application* app = current();
    if (!app || !mayList()) return fail(PermissionDenied);
    const auto it = app->files.find(fileNo);
    if (it == app->files.end()) return fail(FileNotFound);
    const File& file = it->second;
    const auto access = file.access.bytes();
    Bytes settings = {static_cast<std::uint8_t>(file.type), file.comm, access[0], access[1]};
    if (auto* data = std::get_if<DataFile>(&file.content)) {
        putLe(settings, data->data.size(), 3);
    } else if (auto* value = std::get_if<ValueFile>(&file.content)) {
        putLe(settings, static_cast<std::uint32_t>(value->lower), 4);
        putLe(settings, static_cast<std::uint32_t>(value->upper), 4);
        putLe(settings, static_cast<std::uint32_t>(value->limitedCreditValue), 4);
        settings.push_back(value->limitedCreditEnabled ? 0x01 : 0x00);
    } else if (auto* records = std::get_if<RecordFile>(&file.content)) {
        putLe(settings, records->recordSize, 3);
        putLe(settings, records->maxRecords, 3);
        putLe(settings, records->records.size(), 3);
    }
    return okReply(std::move(settings));
}

Reply DesfireCard::changeFileSettings(std::uint8_t fileNo, std::span<const std::uint8_t> settings) {
    Application* app = current();
    if (!app) return fail(PermissionDenied);
    const auto it = app->files.find(fileNo);
    if (it == app->files.end()) return fail(FileNotFound);
    if (settings.size() != 3) return fail(LengthError);
    File& file = it->second;
    if (!allowed(file, {Right::Change})) return fail(PermissionDenied);
    if (!validComm(settings[0])) return fail(ParameterError);
    file.comm = settings[0];
    file.access = AccessRights::fromBytes(settings[1], settings[2]);
    return okReply();
}

Reply DesfireCard::createFile(std::uint8_t fileNo, File file) {
    Application* app = current();
    if (!app) return fail(PermissionDenied);
    if (!(app->keySettings & kFreeCreateDelete) && !authenticatedWithMaster()) return fail(PermissionDenied);
    if (fileNo >= kMaxFiles || !validComm(file.comm)) return fail(ParameterError);
    if (app->files.contains(fileNo)) return fail(DuplicateError);
    if (footprint(file) > freeMemory()) return fail(OutOfEeprom);
    app->files.emplace(fileNo, std::move(file));
    return okReply();
}

Reply DesfireCard::createDataFile(std::uint8_t fileNo, bool backup, std::uint8_t comm, AccessRights access,
                                  std::uint32_t size) {
    if (size == 0 || size > 0xFFFFFF) return fail(ParameterError);
    if (size > capacity(identity_.storage)) return fail(OutOfEeprom); // before allocating the bytes
    return createFile(fileNo, File{backup ? FileType::BackupData : FileType::StandardData, comm, access,
                                   DataFile{Bytes(size, 0x00), std::nullopt}});
}

Reply DesfireCard::createValueFile(std::uint8_t fileNo, std::uint8_t comm, AccessRights access,
                                   std::int32_t lower, std::int32_t upper, std::int32_t value,
                                   std::uint8_t limitedCredit) {
    if (lower > upper || value < lower || value > upper || (limitedCredit & ~0x01))
        return fail(ParameterError);
    ValueFile content;
    content.lower = lower;
    content.upper = upper;
    content.value = value;
    content.limitedCreditEnabled = limitedCredit & 0x01;
    return createFile(fileNo, File{FileType::Value, comm, access, content});
}

Reply DesfireCard::createRecordFile(std::uint8_t fileNo, bool cyclic, std::uint8_t comm, AccessRights access,
                                    std::uint32_t recordSize, std::uint32_t maxRecords) {
    if (recordSize == 0 || recordSize > 0xFFFFFF || maxRecords == 0 || maxRecords > 0xFFFFFF)
        return fail(ParameterError);
    if (cyclic && maxRecords < 2) return fail(ParameterError); // one record is always the spare
    RecordFile content;
    content.recordSize = recordSize;
    content.maxRecords = maxRecords;
    return createFile(fileNo,
                      File{cyclic ? FileType::CyclicRecord : FileType::LinearRecord, comm, access, content});
}

Reply DesfireCard::deleteFile(std::uint8_t fileNo) {
    Application* app = current();
    if (!app) return fail(PermissionDenied);
    if (!(app->keySettings & kFreeCreateDelete) && !authenticatedWithMaster()) return fail(PermissionDenied);
    if (!app->files.erase(fileNo)) return fail(FileNotFound);
    return okReply();
}

// ---- data files ------------------------------------------------------------------

Reply DesfireCard::readData(std::uint8_t fileNo, std::uint32_t offset, std::uint32_t length) {
    const auto target =
        fileFor(fileNo, {Right::Read, Right::ReadWrite}, {FileType::StandardData, FileType::BackupData});
    if (const auto* refused = std::get_if<std::uint8_t>(&target)) return fail(*refused);
    // Reads see committed data: a backup file's pending writes stay hidden.
    const Bytes& data = std::get<DataFile>(std::get<File*>(target)->content).data;
    const std::uint64_t end = length == 0 ? data.size() : std::uint64_t{offset} + length;
    if (offset >= data.size() || end > data.size()) return fail(BoundaryError);
    return okReply(Bytes(data.begin() + offset, data.begin() + static_cast<std::ptrdiff_t>(end)));
}

Reply DesfireCard::writeData(std::uint8_t fileNo, std::uint32_t offset, std::span<const std::uint8_t> bytes) {
    const auto target =
        fileFor(fileNo, {Right::Write, Right::ReadWrite}, {FileType::StandardData, FileType::BackupData});
    if (const auto* refused = std::get_if<std::uint8_t>(&target)) return fail(*refused);
    File& file = *std::get<File*>(target);
    DataFile& content = std::get<DataFile>(file.content);
    if (bytes.empty()) return fail(LengthError);
    if (std::uint64_t{offset} + bytes.size() > content.data.size()) return fail(BoundaryError);
    Bytes* into = &content.data;
    if (file.type == FileType::BackupData) {
        if (!content.dirty) content.dirty = content.data;
        into = &*content.dirty;
    }
    std::copy(bytes.begin(), bytes.end(), into->begin() + offset);
    return okReply();
}

// ---- value files -------------------------------------------------------------------

Reply DesfireCard::getValue(std::uint8_t fileNo) {
    const auto target = fileFor(fileNo, {Right::Read, Right::Write, Right::ReadWrite}, {FileType::Value});
    if (const auto* refused = std::get_if<std::uint8_t>(&target)) return fail(*refused);
    Bytes value;
    putLe(value, static_cast<std::uint32_t>(std::get<ValueFile>(std::get<File*>(target)->content).value), 4);
    return okReply(std::move(value));
}

Reply DesfireCard::credit(std::uint8_t fileNo, std::int32_t amount) {
    const auto target = fileFor(fileNo, {Right::ReadWrite}, {FileType::Value});
    if (const auto* refused = std::get_if<std::uint8_t>(&target)) return fail(*refused);
    ValueFile& v = std::get<ValueFile>(std::get<File*>(target)->content);
    if (amount < 0) return fail(ParameterError);
    const std::int64_t after = v.dirty.value_or(v.value) + amount;
    if (after > v.upper) return fail(BoundaryError);
    v.dirty = after;
    return okReply();
}

Reply DesfireCard::debit(std::uint8_t fileNo, std::int32_t amount) {
    const auto target = fileFor(fileNo, {Right::Read, Right::Write, Right::ReadWrite}, {FileType::Value});
    if (const auto* refused = std::get_if<std::uint8_t>(&target)) return fail(*refused);
    ValueFile& v = std::get<ValueFile>(std::get<File*>(target)->content);
    if (amount < 0) return fail(ParameterError);
    const std::int64_t after = v.dirty.value_or(v.value) - amount;
    if (after < v.lower) return fail(BoundaryError);
    v.dirty = after;
    v.debited += amount;
    return okReply();
}

Reply DesfireCard::limitedCredit(std::uint8_t fileNo, std::int32_t amount) {
    const auto target = fileFor(fileNo, {Right::Write, Right::ReadWrite}, {FileType::Value});
    if (const auto* refused = std::get_if<std::uint8_t>(&target)) return fail(*refused);
    ValueFile& v = std::get<ValueFile>(std::get<File*>(target)->content);
    if (!v.limitedCreditEnabled) return fail(PermissionDenied);
    if (amount < 0) return fail(ParameterError);
    // What the last committed debits took away may be given back, once.
    const std::int64_t available = v.limitedCredited ? 0 : v.limitedCreditValue;
    const std::int64_t after = v.dirty.value_or(v.value) + amount;
    if (amount > available || after > v.upper) return fail(BoundaryError);
    v.dirty = after;
    v.limitedCredited = true;
    return okReply();
}

// ---- record files ----------------------------------------------------------------

Reply DesfireCard::writeRecord(std::uint8_t fileNo, std::uint32_t offset,
                               std::span<const std::uint8_t> bytes) {
    const auto target =
        fileFor(fileNo, {Right::Write, Right::ReadWrite}, {FileType::LinearRecord, FileType::CyclicRecord});
    if (const auto* refused = std::get_if<std::uint8_t>(&target)) return fail(*refused);
    File& file = *std::get<File*>(target);
    RecordFile& r = std::get<RecordFile>(file.content);
    if (bytes.empty()) return fail(LengthError);
    if (std::uint64_t{offset} + bytes.size() > r.recordSize) return fail(BoundaryError);
    if (!r.dirty) r.dirty = r.records;
    // The first write of a transaction opens a new record; later writes of the
    // same transaction go into that record.
    if (!r.recordOpen) {
        if (file.type == FileType::LinearRecord && r.dirty->size() >= r.maxRecords)
            return fail(BoundaryError);
        r.dirty->push_back(Bytes(r.recordSize, 0x00));
        r.recordOpen = true;
    }
    std::copy(bytes.begin(), bytes.end(), r.dirty->back().begin() + offset);
    return okReply();
}

Reply DesfireCard::readRecords(std::uint8_t fileNo, std::uint32_t offset, std::uint32_t count) {
    const auto target =
        fileFor(fileNo, {Right::Read, Right::ReadWrite}, {FileType::LinearRecord, FileType::CyclicRecord});
    if (const auto* refused = std::get_if<std::uint8_t>(&target)) return fail(*refused);
    const std::deque<Bytes>& records = std::get<RecordFile>(std::get<File*>(target)->content).records;
    const std::uint64_t total = records.size();
    if (offset >= total) return fail(BoundaryError);
    const std::uint64_t wanted = count == 0 ? total - offset : count;
    if (offset + wanted > total) return fail(BoundaryError);
    // offset counts back from the newest record; the answer runs oldest first.
    Bytes out;
    for (std::uint64_t i = total - offset - wanted; i < total - offset; ++i)
        out.insert(out.end(), records[i].begin(), records[i].end());
    return okReply(std::move(out));
}

Reply DesfireCard::clearRecordFile(std::uint8_t fileNo) {
    const auto target = fileFor(fileNo, {Right::ReadWrite}, {FileType::LinearRecord, FileType::CyclicRecord});
    if (const auto* refused = std::get_if<std::uint8_t>(&target)) return fail(*refused);
    RecordFile& r = std::get<RecordFile>(std::get<File*>(target)->content);
    r.dirty = std::deque<Bytes>{};
    r.recordOpen = false;
    return okReply();
}

// ---- transaction -----------------------------------------------------------------

Reply DesfireCard::commitTransaction() {
    Application* app = current();
    if (!app) return okReply();
    for (auto& [number, file] : app->files) {
        if (auto* data = std::get_if<DataFile>(&file.content); data && data->dirty) {
            data->data = std::move(*data->dirty);
        } else if (auto* value = std::get_if<ValueFile>(&file.content)) {
            if (value->dirty) value->value = static_cast<std::int32_t>(*value->dirty);
            if (value->debited > 0)
                value->limitedCreditValue =
                    static_cast<std::int32_t>(std::min<std::int64_t>(value->debited, INT32_MAX));
            else if (value->limitedCredited)
                value->limitedCreditValue = 0;
        } else if (auto* records = std::get_if<RecordFile>(&file.content); records && records->dirty) {
            records->records = std::move(*records->dirty);
            // A cyclic file overwrites its oldest record, keeping one spare.
            if (file.type == FileType::CyclicRecord)
                while (records->records.size() > records->maxRecords - 1)
                    records->records.pop_front();
        }
    }
    dropTransaction();
    return okReply();
}

Reply DesfireCard::abortTransaction() {
    dropTransaction();
    return okReply();
}

} // namespace sim
