// ST SR176 and SRIX memory tags, AT88RF020/080 tags and USSEN cards.
#include "commands/command.h"
#include "varrok.h"

using varrok::Command;

namespace {

constexpr unsigned char kUssen = 0xE0;
enum UssenOperation : unsigned char {
    kGetCard = 0x01,
    kGetCardWithParameters = 0x02,
    kWriteMemory = 0x12,
    kReadMemory = 0x13
};

unsigned char ussenMode(unsigned char mode) { return mode == 0x26 ? 0x26 : 0x52; }

// Multi-block writes of every tag family share command 0x89 and differ in block size.
int multiWrite(unsigned short icdev, unsigned char code, unsigned char start, unsigned char count,
               int blockSize, unsigned char* data) {
    return Command(icdev, code, 200).u8(start).u8(count).bytes(data, count * blockSize).none();
}

} // namespace

extern "C" {

VARROK_API int rf_ST_GetCard(unsigned short icdev, unsigned char* chipid) {
    return Command(icdev, 0x29, 200).exact(1, chipid);
}
VARROK_API int rf_ST_Select(unsigned short, unsigned char*) __attribute__((alias("rf_ST_GetCard")));
VARROK_API int rf_ST_SR176_Select(unsigned short, unsigned char*) __attribute__((alias("rf_ST_GetCard")));
VARROK_API int rf_ST_SRI_Select(unsigned short, unsigned char*) __attribute__((alias("rf_ST_GetCard")));
VARROK_API int rf_st_select(unsigned short, unsigned char*) __attribute__((alias("rf_ST_GetCard")));

VARROK_API int rf_ST_Completion(unsigned short icdev) { return Command(icdev, 0x2A, 200).none(); }
VARROK_API int rf_ST_SR176_Completion(unsigned short) __attribute__((alias("rf_ST_Completion")));
VARROK_API int rf_ST_SRI_Completion(unsigned short) __attribute__((alias("rf_ST_Completion")));
VARROK_API int rf_st_completion(unsigned short) __attribute__((alias("rf_ST_Completion")));

VARROK_API int rf_ST_SR176_ReadBlock(unsigned short icdev, unsigned char block, unsigned char* data) {
    return Command(icdev, 0x2B, 200).u8(block).exact(2, data);
}

VARROK_API int rf_ST_SR176_WriteBlock(unsigned short icdev, unsigned char block, unsigned char* data) {
    return Command(icdev, 0x2C, 200).u8(block).bytes(data, 2).none();
}

VARROK_API int rf_ST_SR176_ProtectBlock(unsigned short icdev, unsigned char value) {
    return Command(icdev, 0x2D, 200).u8(value).none();
}

VARROK_API int rf_ST_SR176_GetProtectReg(unsigned short icdev, unsigned char* reg) {
    return Command(icdev, 0x83, 200).exact(1, reg);
}

VARROK_API int rf_ST_SR176_MultiRead(unsigned short icdev, unsigned char start, unsigned char count,
                                     unsigned char* data, unsigned char* len) {
    return Command(icdev, 0x8C, 200).u8(start).u8(count).counted(count, 2, data, len);
}

VARROK_API int rf_ST_SR176_MultiWrite(unsigned short icdev, unsigned char start, unsigned char count,
                                      unsigned char* data) {
    return multiWrite(icdev, 0x89, start, count, 2, data);
}

VARROK_API int rf_ST_SRI_ReadBlock(unsigned short icdev, unsigned char block, unsigned char* data) {
    return Command(icdev, 0x2E, 200).u8(block).exact(4, data);
}

VARROK_API int rf_ST_SRI_WriteBlock(unsigned short icdev, unsigned char block, unsigned char* data) {
    return Command(icdev, 0x2F, 200).u8(block).bytes(data, 4).none();
}

VARROK_API int rf_ST_SRIX_Authenticate(unsigned short icdev, unsigned char* data, unsigned char* resp) {
    return Command(icdev, 0x30, 200).bytes(data, 6).exact(3, resp);
}

VARROK_API int rf_ST_SRI_GetUID(unsigned short icdev, unsigned char* uid) {
    return Command(icdev, 0x31, 200).exact(8, uid);
}

VARROK_API int rf_ST_SRI_WriteLockReg(unsigned short icdev, unsigned char value) {
    return Command(icdev, 0x32, 200).u8(value).none();
}

VARROK_API int rf_ST_SRI_MultiRead(unsigned short icdev, unsigned char start, unsigned char count,
                                   unsigned char* data, unsigned char* len) {
    return Command(icdev, 0x8E, 200).u8(start).u8(count).counted(count, 4, data, len);
}

VARROK_API int rf_ST_SRI_MultiWrite(unsigned short icdev, unsigned char start, unsigned char count,
                                    unsigned char* data) {
    return multiWrite(icdev, 0x89, start, count, 4, data);
}

VARROK_API int rf_AT88RF020_Check(unsigned short icdev, unsigned char* key) {
    return Command(icdev, 0x21, 200).bytes(key, 8).none();
}

VARROK_API int rf_AT88RF020_Read(unsigned short icdev, unsigned char page, unsigned char* data) {
    return Command(icdev, 0x22, 200).u8(page).exact(8, data);
}

VARROK_API int rf_AT88RF020_write(unsigned short icdev, unsigned char page, unsigned char* data) {
    return Command(icdev, 0x23, 200).u8(page).bytes(data, 8).none();
}

VARROK_API int rf_AT88RF020_Lock(unsigned short icdev, unsigned char* data) {
    return Command(icdev, 0x24, 200).bytes(data, 4).none();
}

VARROK_API int rf_AT88RF020_Count(unsigned short icdev, unsigned char* data) {
    return Command(icdev, 0x25, 200).bytes(data, 6).none();
}

VARROK_API int rf_AT88RF020_Deselect(unsigned short icdev) { return Command(icdev, 0x26, 100).none(); }

VARROK_API int rf_AT88RF020_MultiRead(unsigned short icdev, unsigned char start, unsigned char count,
                                      unsigned char* data, unsigned char* len) {
    return Command(icdev, 0x8A, 200).u8(start).u8(count).counted(count, 8, data, len);
}

VARROK_API int rf_AT88RF020_MultiWrite(unsigned short icdev, unsigned char start, unsigned char count,
                                       unsigned char* data) {
    return multiWrite(icdev, 0x8B, start, count, 8, data);
}

VARROK_API int rf_AT88RF080_Request(unsigned short icdev, unsigned char param1, unsigned char param2,
                                    unsigned char* data, unsigned char* len) {
    const int rc = Command(icdev, 0x70, 200).u8(param1).u8(param2).out(len).exact(8, data);
    if (rc == 0) *len = 8;
    return rc;
}

VARROK_API int rf_USSEN_GetCard(unsigned short icdev, unsigned char mode, unsigned char* data,
                                unsigned char* len) {
    return Command(icdev, kUssen, 800).u8(kGetCard).u8(ussenMode(mode)).variable(data, len);
}

VARROK_API int rf_USSEN_GetCard_D(unsigned short icdev, unsigned char mode, unsigned char* data,
                                  unsigned char* len, unsigned int param, unsigned char b1, unsigned char b2,
                                  unsigned char b3, unsigned char b4) {
    return Command(icdev, kUssen, 800)
        .u8(kGetCardWithParameters)
        .u8(ussenMode(mode))
        .le24(param)
        .u8(b1)
        .u8(b2)
        .u8(b3)
        .u8(b4)
        .variable(data, len);
}

VARROK_API int rf_USSEN_GetMem(unsigned short icdev, unsigned char* data, unsigned char* len) {
    return Command(icdev, kUssen, 800).out(len).u8(kReadMemory).u8(len ? *len : 0).variable(data, len);
}

VARROK_API int rf_USSEN_SetMem(unsigned short icdev, unsigned char* data, unsigned char len) {
    return Command(icdev, kUssen, 800).u8(kWriteMemory).u8(len).bytes(data, len).none();
}

} // extern "C"
