// ISO 15693 vicinity tags and ICODE1 labels.
#include "commands/command.h"
#include "varrok.h"

using varrok::Command;

namespace {

// Most tag commands carry the request flags and the tag's UID first.
Command addressed(unsigned short icdev, unsigned char code, unsigned char flags, const unsigned char* uid) {
    Command c(icdev, code, 200);
    c.u8(flags).bytes(uid, 8);
    return c;
}

} // namespace

extern "C" {

VARROK_API int rf_ISO15693_Inventory(unsigned short icdev, unsigned char* data, unsigned char* len) {
    return Command(icdev, 0x40, 200).counted(1, 9, data, len);
}

VARROK_API int rf_ISO15693_MultiInventory(unsigned short icdev, unsigned char param1, unsigned char param2,
                                          unsigned char* data, unsigned char* len) {
    return Command(icdev, 0x4D, 200).u8(param1).u8(param2).variable(data, len);
}

VARROK_API int rf_ISO15693_StayQuiet(unsigned short icdev, unsigned char* uid) {
    return Command(icdev, 0x41, 200).bytes(uid, 8).none();
}

VARROK_API int rf_ISO15693_Select(unsigned short icdev, unsigned char* uid) {
    return Command(icdev, 0x42, 200).bytes(uid, 8).none();
}

VARROK_API int rf_ISO15693_ResetToReady(unsigned short icdev, unsigned char flags, unsigned char* uid) {
    return addressed(icdev, 0x43, flags, uid).none();
}

VARROK_API int rf_ISO15693_Read(unsigned short icdev, unsigned char flags, unsigned char* uid,
                                unsigned char block, unsigned char count, unsigned char* data,
                                unsigned char* len) {
    return addressed(icdev, 0x44, flags, uid).check(count < 16).u8(block).u8(count).variable(data, len);
}

VARROK_API int rf_ISO15693_Write(unsigned short icdev, unsigned char flags, unsigned char* uid,
                                 unsigned char block, unsigned char* data) {
    return addressed(icdev, 0x45, flags, uid).u8(block).bytes(data, 4).none();
}

VARROK_API int rf_ISO15693_LockBlock(unsigned short icdev, unsigned char flags, unsigned char* uid,
                                     unsigned char block) {
    return addressed(icdev, 0x46, flags, uid).u8(block).none();
}

VARROK_API int rf_ISO15693_WriteAFI(unsigned short icdev, unsigned char flags, unsigned char* uid,
                                    unsigned char afi) {
    return addressed(icdev, 0x47, flags, uid).u8(afi).none();
}

VARROK_API int rf_ISO15693_LockAFI(unsigned short icdev, unsigned char flags, unsigned char* uid) {
    return addressed(icdev, 0x48, flags, uid).none();
}

VARROK_API int rf_ISO15693_WriteDSFID(unsigned short icdev, unsigned char flags, unsigned char* uid,
                                      unsigned char dsfid) {
    return addressed(icdev, 0x49, flags, uid).u8(dsfid).none();
}

VARROK_API int rf_ISO15693_LockDSFID(unsigned short icdev, unsigned char flags, unsigned char* uid) {
    return addressed(icdev, 0x4A, flags, uid).none();
}

VARROK_API int rf_ISO15693_GetSystemInfomation(unsigned short icdev, unsigned char flags, unsigned char* uid,
                                               unsigned char* data, unsigned char* len) {
    return addressed(icdev, 0x4B, flags, uid).variable(data, len);
}

VARROK_API int rf_ISO15693_GetBlockSecurity(unsigned short icdev, unsigned char flags, unsigned char* uid,
                                            unsigned char block, unsigned char count, unsigned char* data,
                                            unsigned char* len) {
    return addressed(icdev, 0x4C, flags, uid).check(count < 64, VARROK_REJECTED).u8(block).u8(count).variable(data, len);
}

VARROK_API int rf_ICODE1_Request(unsigned short icdev, unsigned char* data) {
    return Command(icdev, 0xA0, 200).exact(8, data);
}

VARROK_API int rf_ICODE1_Read(unsigned short icdev, unsigned char block, unsigned char* data) {
    return Command(icdev, 0xA1, 200).u8(block).exact(4, data);
}

VARROK_API int rf_ICODE1_Write(unsigned short icdev, unsigned char block, unsigned char* data) {
    return Command(icdev, 0xA2, 200).u8(block).bytes(data, 4).none();
}

VARROK_API int rf_ICODE1_Halt(unsigned short icdev) { return Command(icdev, 0xA3, 200).none(); }

} // extern "C"
