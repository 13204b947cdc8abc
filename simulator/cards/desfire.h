#pragma once
// A DESFire EV1 card: the card level (AID 000000) with its master key, up to
// 28 applications with up to 14 keys and 32 files each, the five file kinds,
// and the card's transaction: backup data, value and record files change only
// when the host commits, and any error throws the pending changes away.
//
// The reader in front of the card runs the radio protocol and the
// cryptography; what reaches this model is the plain request of each native
// command, and what it answers is the card's own status byte plus plain data.
//
// Byte orders follow the card: AIDs, values, sizes and record numbers go least
// significant byte first inside the card's answers (GetFileSettings, list
// answers). The reader's handlers translate the host's request layouts.
//
// Choices where real cards leave room or the reader stands in between:
// - Authentication: the reader does the three-pass DES/3DES exchange with the
//   card; here the reader simply compares the host's 16-byte key with the key
//   stored on the card. As on the real chip the lowest bit of every key byte
//   is a parity bit that DES ignores, so it is ignored in the comparison too
//   (it carries the key version, see keyVersion()). On success the answer is
//   the 16-byte session key built from this run's random numbers the way the
//   card builds it: RndA[0..3] RndB[0..3] RndA[4..7] RndB[4..7] for a two-key
//   key, the first 8 of those bytes twice for a single-DES key (both halves
//   equal). A fresh pair of random numbers is drawn for every authentication.
// - Keys are 16 bytes (DES or two-key 3DES); applications asking for another
//   key type in KS2 are refused with a parameter error.
// - Communication settings (plain, MACed, enciphered) are stored and reported;
//   the reader does the secure messaging, so data reaches the model plain.
// - Commit and abort with nothing pending answer 00, as EV1 cards do; the
//   "no changes" status 0C is never produced.
// - Applying an operation to a file of the wrong kind (a credit on a data file,
//   a read of records from a value file) answers the parameter error 9E.
// - File access without the right key answers permission denied 9D. Key
//   management (ChangeKey, ChangeKeySettings) without the authentication it
//   needs answers the authentication error AE; where the key settings forbid
//   it whatever the authentication, 9D.
// - FormatPICC always needs authentication with the card master key, whatever
//   the card's key settings; the key and its settings survive a format.
// - DeleteApplication needs authentication with the card master key or with
//   the application's own master key; KS1 bit 2 (free create/delete) at the
//   card level only frees CreateApplication.
// - Memory: the card holds 2048, 4096 or 8192 bytes for files. A file takes its
//   size rounded up to 32-byte blocks (twice that for a backup file, which
//   keeps a mirror; 32 bytes for a value file); applications themselves are
//   not counted. Out of memory answers 0E.
// - Cyclic record files keep one record free for the write in progress, as the
//   chip does: a file created for n records shows at most n - 1 (n >= 2).
// - Value files start with a limited credit value of 0. A committed
//   transaction with debits sets it to their sum; one with a limited credit and
//   no debit sets it to 0. The limited-credit byte of CreateValueFile knows only
//   bit 0 (enabled); other bits are a parameter error.

#include <array>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "simulator/cards/type_a_card.h"

namespace sim {

// The card's own status bytes, which the reader passes on to the host
// unchanged. The reader's own statuses (no card, bad request length) come from
// the reader's table instead.
namespace desfire {
inline constexpr std::uint8_t Ok = 0x00;
inline constexpr std::uint8_t NoChanges = 0x0C;        // never produced, see above
inline constexpr std::uint8_t OutOfEeprom = 0x0E;      // no room for the file
inline constexpr std::uint8_t IllegalCommand = 0x1C;   // not produced: the reader sends only known commands
inline constexpr std::uint8_t IntegrityError = 0x1E;   // not produced: the reader does the cryptography
inline constexpr std::uint8_t NoSuchKey = 0x40;        // key number beyond the keys of the level
inline constexpr std::uint8_t LengthError = 0x7E;      // zero length, wrong settings length, answer too long
inline constexpr std::uint8_t PermissionDenied = 0x9D; // access rights or key settings forbid it
inline constexpr std::uint8_t ParameterError = 0x9E;   // a value out of range, wrong file kind
inline constexpr std::uint8_t ApplicationNotFound = 0xA0; // no application with that AID
inline constexpr std::uint8_t AuthenticationError =
    0xAE; // wrong key, or authentication missing for key management
inline constexpr std::uint8_t AdditionalFrame = 0xAF; // not produced: the reader joins chained frames
inline constexpr std::uint8_t BoundaryError = 0xBE;  // beyond a file's size, a value's limits, a record count
inline constexpr std::uint8_t CommandAborted = 0xCA; // not produced: no chained command can be cut short here
inline constexpr std::uint8_t CountError = 0xCE;     // 28 applications already
inline constexpr std::uint8_t DuplicateError = 0xDE; // AID or file number already in use
inline constexpr std::uint8_t EepromError = 0xEE;    // not produced
inline constexpr std::uint8_t FileNotFound = 0xF0;   // no file with that number

inline constexpr std::size_t kMaxApplications = 28;
inline constexpr std::uint8_t kMaxFiles = 32; // file numbers 0..31
inline constexpr std::uint8_t kMaxKeys = 14;
inline constexpr std::size_t kKeySize = 16;

// Access-rights nibbles: a key number 0..13, or one of these.
inline constexpr std::uint8_t kFreeAccess = 0xE;
inline constexpr std::uint8_t kNoAccess = 0xF;

// KS1 bits.
inline constexpr std::uint8_t kMasterKeyChangeable = 0x01;
inline constexpr std::uint8_t kFreeListing = 0x02;
inline constexpr std::uint8_t kFreeCreateDelete = 0x04;
inline constexpr std::uint8_t kConfigurationChangeable = 0x08;

enum class FileType : std::uint8_t {
    StandardData = 0,
    BackupData = 1,
    Value = 2,
    LinearRecord = 3,
    CyclicRecord = 4
};

// Communication settings byte values.
inline constexpr std::uint8_t kPlain = 0x00;
inline constexpr std::uint8_t kMaced = 0x01;
inline constexpr std::uint8_t kEnciphered = 0x03;

// The card's chip generations by storage size (the storage byte of GetVersion).
enum class Storage : std::uint8_t { Size2K = 0x16, Size4K = 0x18, Size8K = 0x1A };

using Key = std::array<std::uint8_t, kKeySize>;

// The 16-bit access-rights word, nibbles Read | Write | ReadWrite | Change from
// the most significant down, sent least significant byte first: the two bytes
// 54 12 mean Read 1, Write 2, ReadWrite 5, Change 4.
struct AccessRights {
    std::uint8_t read = kFreeAccess;
    std::uint8_t write = kFreeAccess;
    std::uint8_t readWrite = kFreeAccess;
    std::uint8_t change = kFreeAccess;

    static AccessRights fromBytes(std::uint8_t low, std::uint8_t high) {
        return {static_cast<std::uint8_t>(high >> 4), static_cast<std::uint8_t>(high & 0x0F),
                static_cast<std::uint8_t>(low >> 4), static_cast<std::uint8_t>(low & 0x0F)};
    }
    std::array<std::uint8_t, 2> bytes() const {
        return {static_cast<std::uint8_t>(readWrite << 4 | change),
                static_cast<std::uint8_t>(read << 4 | write)};
    }
    bool operator==(const AccessRights&) const = default;
};

// The key version a DESFire DES key carries in its parity bits: bit 0 of key
// bytes 0..7, byte 0 giving the most significant bit.
std::uint8_t keyVersion(const Key& key);

// What GetVersion tells apart from the UID.
struct Identity {
    Storage storage = Storage::Size4K;
    std::array<std::uint8_t, 5> batch{0xBA, 0x34, 0x98, 0xBA, 0xD0};
    std::uint8_t week = 0x29; // production week and year, BCD as the chip reports them
    std::uint8_t year = 0x12;
};

// What the card answers to one command: its status byte and, on success, data.
struct Reply {
    std::uint8_t status = Ok;
    Bytes data;

    bool ok() const { return status == Ok; }
};

} // namespace desfire

class DesfireCard : public TypeACard {
  public:
    std::unique_ptr<Card> clone() const override { return std::make_unique<DesfireCard>(*this); }
    using Identity = desfire::Identity;

    // uid: 7 bytes (other lengths throw std::invalid_argument).
    explicit DesfireCard(Bytes uid, Identity identity = {});

    std::string describe() const override;
    Bytes ats() const override;
    // Halted, refused or woken again: like a power loss, the session goes back
    // to the card level, unauthenticated, its pending changes lost.
    void leaveSession() override;

    // The native commands, in the card's terms.
    desfire::Reply authenticate(std::uint8_t keyNo, const desfire::Key& key);
    desfire::Reply changeKeySettings(std::uint8_t keySettings);
    desfire::Reply getKeySettings();
    desfire::Reply changeKey(std::uint8_t keyNo, const desfire::Key& newKey);
    desfire::Reply getKeyVersion(std::uint8_t keyNo);

    desfire::Reply createApplication(std::uint32_t aid, std::uint8_t keySettings, std::uint8_t numberOfKeys);
    desfire::Reply deleteApplication(std::uint32_t aid);
    desfire::Reply getApplicationIds(); // 3 bytes per AID, least significant first
    desfire::Reply selectApplication(std::uint32_t aid);
    desfire::Reply formatPicc();
    desfire::Reply getVersion(); // 28 bytes

    desfire::Reply getFileIds();
    desfire::Reply getFileSettings(std::uint8_t fileNo);
    // settings: communication settings and the two access-rights bytes, as sent.
    desfire::Reply changeFileSettings(std::uint8_t fileNo, std::span<const std::uint8_t> settings);
    desfire::Reply createDataFile(std::uint8_t fileNo, bool backup, std::uint8_t comm,
                                  desfire::AccessRights access, std::uint32_t size);
    desfire::Reply createValueFile(std::uint8_t fileNo, std::uint8_t comm, desfire::AccessRights access,
                                   std::int32_t lower, std::int32_t upper, std::int32_t value,
                                   std::uint8_t limitedCredit);
    desfire::Reply createRecordFile(std::uint8_t fileNo, bool cyclic, std::uint8_t comm,
                                    desfire::AccessRights access, std::uint32_t recordSize,
                                    std::uint32_t maxRecords);
    desfire::Reply deleteFile(std::uint8_t fileNo);

    // length 0 reads from offset to the end of the file.
    desfire::Reply readData(std::uint8_t fileNo, std::uint32_t offset, std::uint32_t length);
    desfire::Reply writeData(std::uint8_t fileNo, std::uint32_t offset, std::span<const std::uint8_t> data);
    desfire::Reply getValue(std::uint8_t fileNo); // 4 bytes, least significant first
    desfire::Reply credit(std::uint8_t fileNo, std::int32_t amount);
    desfire::Reply debit(std::uint8_t fileNo, std::int32_t amount);
    desfire::Reply limitedCredit(std::uint8_t fileNo, std::int32_t amount);
    desfire::Reply writeRecord(std::uint8_t fileNo, std::uint32_t offset, std::span<const std::uint8_t> data);
    // offset 0 = the newest record; count 0 = every record from the oldest up to
    // the one at offset. Records come oldest first.
    desfire::Reply readRecords(std::uint8_t fileNo, std::uint32_t offset, std::uint32_t count);
    desfire::Reply clearRecordFile(std::uint8_t fileNo);
    desfire::Reply commitTransaction();
    desfire::Reply abortTransaction();

    // For tests and scenario set-up.
    std::uint32_t selectedApplication() const { return selectedAid_; }
    std::optional<std::uint8_t> authenticatedKey() const { return authenticatedKey_; }
    const desfire::Key& sessionKey() const { return sessionKey_; }
    bool transactionPending() const;
    std::size_t freeMemory() const;
    void setPiccMasterKey(const desfire::Key& key) { piccKey_ = key; }
    void setPiccKeySettings(std::uint8_t keySettings) { piccKeySettings_ = keySettings; }

  protected:
    void onPowerCycle() override;

  private:
    struct DataFile {
        Bytes data;                 // what reads see
        std::optional<Bytes> dirty; // a backup file's writes before commit
    };
    struct ValueFile {
        std::int32_t lower = 0;
        std::int32_t upper = 0;
        std::int32_t value = 0;
        std::int32_t limitedCreditValue = 0;
        bool limitedCreditEnabled = false;
        // Pending in this transaction:
        std::optional<std::int64_t> dirty;
        std::int64_t debited = 0;
        bool limitedCredited = false;
    };
    struct RecordFile {
        std::uint32_t recordSize = 0;
        std::uint32_t maxRecords = 0;
        std::deque<Bytes> records;              // committed, oldest first
        std::optional<std::deque<Bytes>> dirty; // the records after this transaction
        bool recordOpen = false;                // the transaction already appended its record
    };
    struct File {
        desfire::FileType type{};
        std::uint8_t comm = 0;
        desfire::AccessRights access;
        std::variant<DataFile, ValueFile, RecordFile> content;
    };
    struct Application {
        std::uint32_t aid = 0;
        std::uint8_t keySettings = 0;
        std::vector<desfire::Key> keys;
        std::map<std::uint8_t, File> files;
    };
    enum class Right { Read, Write, ReadWrite, Change };

    Application* current();
    std::size_t usedMemory() const;
    static std::size_t footprint(const File& file);
    desfire::Reply fail(std::uint8_t status); // aborts the pending transaction, then answers status
    bool authenticatedWithMaster() const { return authenticatedKey_ == 0; }
    std::uint8_t levelKeySettings(); // KS1 of the selected level
    // KS1 bit 1, or the level's master key: GetApplicationIDs, GetFileIDs, GetFileSettings, GetKeySettings.
    bool mayList();
    bool allowed(const File& file, std::initializer_list<Right> rights) const;
    // The file of the selected application for a file operation, or the status refusing it.
    std::variant<File*, std::uint8_t> fileFor(std::uint8_t fileNo, std::initializer_list<Right> rights,
                                              std::initializer_list<desfire::FileType> types);
    desfire::Reply createFile(std::uint8_t fileNo, File file);
    void dropTransaction();
    void dropAuthentication();

    Identity identity_;
    desfire::Key piccKey_{};
    std::uint8_t piccKeySettings_ = 0x0F;
    std::vector<Application> applications_; // in creation order, as GetApplicationIDs lists them

    // Volatile: lost with the field.
    std::uint32_t selectedAid_ = 0;
    std::optional<std::uint8_t> authenticatedKey_;
    desfire::Key sessionKey_{};
    std::mt19937_64 random_;
};

} // namespace sim
