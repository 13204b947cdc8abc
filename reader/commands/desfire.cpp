// DESFire applications, files, values and records. Byte orders differ by
// command: AIDs, values and record offsets go least significant byte first,
// data-file sizes and offsets most significant first.
#include "commands/command.h"
#include "varrok.h"

#include <cstring>

using varrok::CCommPacket;
using varrok::Command;

namespace {

constexpr unsigned kMaxWrite = 244; // 7 bytes of header leave this much of one frame

int createDataFile(unsigned short icdev, unsigned char code, unsigned char fileno, unsigned char comm,
                   unsigned char* access, unsigned size) {
    return Command(icdev, code, 200).u8(fileno).u8(comm).bytes(access, 2).be24(size).none();
}

int createRecordFile(unsigned short icdev, unsigned char code, unsigned char fileno, unsigned char comm,
                     unsigned char* access, unsigned recsize, unsigned maxrecs) {
    return Command(icdev, code, 200).u8(fileno).u8(comm).bytes(access, 2).be24(recsize).be24(maxrecs).none();
}

int valueChange(unsigned short icdev, unsigned char code, unsigned char fileno, int amount) {
    return Command(icdev, code, 200).u8(fileno).le32(static_cast<unsigned>(amount)).none();
}

// Data and record writes: fileno, offset, length (3 bytes each, in the
// command's byte order), then the data. A refused length reads no data.
int write(unsigned short icdev, unsigned char code, unsigned char fileno, unsigned offset, unsigned length,
          unsigned char* data, bool mostSignificantFirst) {
    Command c(icdev, code, 200);
    c.check(length <= kMaxWrite).u8(fileno);
    if (mostSignificantFirst) c.be24(offset).be24(length);
    else c.le24(offset).le24(length);
    return c.bytes(data, static_cast<int>(length)).none();
}

// A count byte and the entries: the caller gets the entries at the start of
// its buffer and the count apart.
int listAnswer(const CCommPacket& f, unsigned char* list, unsigned char* count) {
    const int n = f.dataLength();
    if (n == 0) return VARROK_LINK_FAILURE;
    std::memcpy(list, f.data(), static_cast<std::size_t>(n));
    *count = list[0];
    std::memmove(list, list + 1, static_cast<std::size_t>(n - 1));
    return 0;
}

// A 3-byte length and that many bytes. The length is believed only as far
// as the bytes that actually arrived (and, for data, the length asked for).
int lengthPrefixedAnswer(const CCommPacket& f, bool mostSignificantFirst, unsigned limit, unsigned char* dst,
                         unsigned* len) {
    if (f.dataLength() < 3) return VARROK_LINK_FAILURE;
    const unsigned char* a = f.data();
    const unsigned n =
        mostSignificantFirst ? (a[0] << 16 | a[1] << 8 | a[2]) : (a[2] << 16 | a[1] << 8 | a[0]);
    if (n > limit || n > static_cast<unsigned>(f.dataLength() - 3)) return VARROK_LINK_FAILURE;
    if (!mostSignificantFirst && n == 0) return VARROK_LINK_FAILURE; // an empty record read is an error
    *len = n;
    std::memcpy(dst, a + 3, n);
    return 0;
}

} // namespace

extern "C" {

VARROK_API int rf_DF_Authenticat(unsigned short icdev, unsigned char keyno, unsigned char* key,
                                 unsigned char* data) {
    return Command(icdev, 0xB0, 200).u8(keyno).bytes(key, 16).exact(16, data);
}

VARROK_API int rf_DF_ChangeKeySettings(unsigned short icdev, unsigned char* settings) {
    return Command(icdev, 0xB1, 200).bytes(settings, 8).none();
}

VARROK_API int rf_DF_GetKeySetting(unsigned short icdev, unsigned char* data) {
    return Command(icdev, 0xB2, 200).exact(2, data);
}

VARROK_API int rf_DF_ChangeKey(unsigned short icdev, unsigned char keyno, unsigned char* keydata) {
    return Command(icdev, 0xB3, 200).u8(keyno).bytes(keydata, 24).none();
}

VARROK_API int rf_DF_GetKeyVer(unsigned short icdev, unsigned char keyno, unsigned char* ver) {
    return Command(icdev, 0xB4, 200).u8(keyno).exact(1, ver);
}

VARROK_API int rf_DF_CreateApp(unsigned short icdev, unsigned int aid, unsigned char keysettings,
                               unsigned char numkeys) {
    return Command(icdev, 0xB5, 200).le24(aid).u8(keysettings).u8(numkeys).none();
}

VARROK_API int rf_DF_DeletApp(unsigned short icdev, unsigned int aid) {
    return Command(icdev, 0xB6, 200).le24(aid).none();
}

VARROK_API int rf_DF_GetAppIDs(unsigned short icdev, unsigned char* aids, unsigned char* count) {
    return Command(icdev, 0xB7, 200).out(aids).out(count).answer([&](const CCommPacket& f) {
        return listAnswer(f, aids, count);
    });
}

VARROK_API int rf_DF_SelectApp(unsigned short icdev, unsigned int aid) {
    return Command(icdev, 0xB8, 200).le24(aid).none();
}

VARROK_API int rf_DF_FormatPICC(unsigned short icdev) { return Command(icdev, 0xB9, 200).none(); }

VARROK_API int rf_DF_GetVer(unsigned short icdev, unsigned char* data) {
    return Command(icdev, 0xBA, 200).exact(28, data);
}

VARROK_API int rf_DF_GetFileIDs(unsigned short icdev, unsigned char* ids, unsigned char* count) {
    return Command(icdev, 0xBB, 200).out(ids).out(count).answer([&](const CCommPacket& f) {
        return listAnswer(f, ids, count);
    });
}

VARROK_API int rf_DF_GetFileSettings(unsigned short icdev, unsigned char fileno, unsigned char* data,
                                     unsigned char* len) {
    return Command(icdev, 0xBC, 200).u8(fileno).variable(data, len);
}

VARROK_API int rf_DF_ChangeFileSettings(unsigned short icdev, unsigned char fileno, unsigned char* data,
                                        unsigned char len) {
    return Command(icdev, 0xBD, 200).u8(fileno).u8(len).bytes(data, len).none();
}

VARROK_API int rf_DF_CreateStdDataFile(unsigned short icdev, unsigned char fileno, unsigned char comm,
                                       unsigned char* access, unsigned int size) {
    return createDataFile(icdev, 0xBE, fileno, comm, access, size);
}

VARROK_API int rf_DF_CreateBackupDataFile(unsigned short icdev, unsigned char fileno, unsigned char comm,
                                          unsigned char* access, unsigned int size) {
    return createDataFile(icdev, 0xBF, fileno, comm, access, size);
}

VARROK_API int rf_DF_CreateValueFile(unsigned short icdev, unsigned char fileno, unsigned char comm,
                                     unsigned char* access, int lower, int upper, int value,
                                     unsigned char limitedcredit) {
    return Command(icdev, 0xC0, 200)
        .u8(fileno)
        .u8(comm)
        .bytes(access, 2)
        .le32(static_cast<unsigned>(lower))
        .le32(static_cast<unsigned>(upper))
        .le32(static_cast<unsigned>(value))
        .u8(limitedcredit)
        .none();
}

VARROK_API int rf_DF_CreateLinearRecordFile(unsigned short icdev, unsigned char fileno, unsigned char comm,
                                            unsigned char* access, unsigned int recsize,
                                            unsigned int maxrecs) {
    return createRecordFile(icdev, 0xC1, fileno, comm, access, recsize, maxrecs);
}

VARROK_API int rf_DF_CreateCyclicRecordFile(unsigned short icdev, unsigned char fileno, unsigned char comm,
                                            unsigned char* access, unsigned int recsize,
                                            unsigned int maxrecs) {
    return createRecordFile(icdev, 0xC2, fileno, comm, access, recsize, maxrecs);
}

VARROK_API int rf_DF_DeleteFile(unsigned short icdev, unsigned char fileno) {
    return Command(icdev, 0xC3, 200).u8(fileno).none();
}

VARROK_API int rf_DF_ReadData(unsigned short icdev, unsigned char fileno, unsigned int offset,
                              unsigned int length, unsigned char* data, unsigned int* len) {
    return Command(icdev, 0xC4, 200)
        .u8(fileno)
        .be24(offset)
        .be24(length)
        .out(data)
        .out(len)
        .answer([&](const CCommPacket& f) { return lengthPrefixedAnswer(f, true, length, data, len); });
}

VARROK_API int rf_DF_WriteData(unsigned short icdev, unsigned char fileno, unsigned int offset,
                               unsigned int length, unsigned char* data) {
    return write(icdev, 0xC5, fileno, offset, length, data, true);
}

VARROK_API int rf_DF_GetValue(unsigned short icdev, unsigned char fileno, int* value) {
    return Command(icdev, 0xC6, 200).u8(fileno).out(value).answer([&](const CCommPacket& f) -> int {
        if (f.dataLength() < 5) return VARROK_LINK_FAILURE;
        const unsigned char* a = f.data();
        *value = static_cast<int>(static_cast<unsigned>(a[1]) | a[2] << 8 | a[3] << 16 |
                                  static_cast<unsigned>(a[4]) << 24);
        return 0;
    });
}

VARROK_API int rf_DF_Credit(unsigned short icdev, unsigned char fileno, int amount) {
    return valueChange(icdev, 0xC7, fileno, amount);
}

VARROK_API int rf_DF_Debit(unsigned short icdev, unsigned char fileno, int amount) {
    return valueChange(icdev, 0xC8, fileno, amount);
}

VARROK_API int rf_DF_LimitedCredit(unsigned short icdev, unsigned char fileno, int amount) {
    return valueChange(icdev, 0xC9, fileno, amount);
}

VARROK_API int rf_DF_WriteRecord(unsigned short icdev, unsigned char fileno, unsigned int offset,
                                 unsigned int length, unsigned char* data) {
    return write(icdev, 0xCA, fileno, offset, length, data, false);
}

VARROK_API int rf_DF_ReadRecord(unsigned short icdev, unsigned char fileno, unsigned int offset,
                                unsigned int count, unsigned char* data, unsigned int* len) {
    return Command(icdev, 0xCB, 200)
        .u8(fileno)
        .le24(offset)
        .le24(count)
        .out(data)
        .out(len)
        .answer([&](const CCommPacket& f) { return lengthPrefixedAnswer(f, false, 0xFFFFFF, data, len); });
}

VARROK_API int rf_DF_ClearRecordFile(unsigned short icdev, unsigned char fileno) {
    return Command(icdev, 0xCC, 200).u8(fileno).none();
}

VARROK_API int rf_DF_CommitTransaction(unsigned short icdev) { return Command(icdev, 0xCD, 200).none(); }

VARROK_API int rf_DF_AbortTransaction(unsigned short icdev) { return Command(icdev, 0xCE, 200).none(); }

} // extern "C"
