// MIFARE Plus: personalisation, level switch, AES authentication and level-3 blocks.
// Card addresses go most significant byte first; purse values least significant first.
#include "commands/command.h"
#include "varrok.h"

#include <cstring>

using varrok::Command;

namespace {

int purseOperation(unsigned short icdev, unsigned char code, unsigned short block, int value) {
    return Command(icdev, code, 200).be16(block).le32(static_cast<unsigned>(value)).none();
}

} // namespace

extern "C" {

VARROK_API int rf_MFP_L0WritePerso(unsigned short icdev, unsigned short address, unsigned char* data) {
    return Command(icdev, 0x70, 200).be16(address).bytes(data, 16).none();
}

VARROK_API int rf_MFP_L0CommitPerso(unsigned short icdev) { return Command(icdev, 0x71, 200).none(); }

VARROK_API int rf_MFP_SwitchToHighLevel(unsigned short icdev, unsigned char level, unsigned char* key) {
    return Command(icdev, 0x72, 200).u8(level).bytes(key, 16).none();
}

VARROK_API int rf_MFP_DataBlockAuthentication(unsigned short icdev, unsigned char keytype,
                                              unsigned short block, unsigned char* key) {
    return Command(icdev, 0x73, 200).u8(keytype).be16(block).bytes(key, 16).none();
}

VARROK_API int rf_MFP_FirstAuthentication(unsigned short icdev, unsigned short keyaddr, unsigned char* key) {
    return Command(icdev, 0x7B, 200).be16(keyaddr).bytes(key, 16).none();
}

VARROK_API int rf_MFP_FollowingAuthentication(unsigned short icdev, unsigned short keyaddr,
                                              unsigned char* key) {
    return Command(icdev, 0x7C, 200).be16(keyaddr).bytes(key, 16).none();
}

VARROK_API int rf_MFP_L3Read(unsigned short icdev, unsigned short block, unsigned char count,
                             unsigned char* data) {
    return Command(icdev, 0x74, 200).be16(block).u8(count).exact(count * 16, data);
}

VARROK_API int rf_MFP_L3Write(unsigned short icdev, unsigned char block, unsigned char count,
                              unsigned char* data) {
    return Command(icdev, 0x75, 200)
        .check(count <= 3, VARROK_REJECTED)
        .u8(0x00)
        .u8(block)
        .u8(count)
        .bytes(data, count * 16)
        .none();
}

VARROK_API int rf_MFP_L3PurseCreate(unsigned short icdev, unsigned short block, int value) {
    return purseOperation(icdev, 0x76, block, value);
}

VARROK_API int rf_MFP_L3PurseRead(unsigned short icdev, unsigned short block, unsigned char* value) {
    // Only a whole 4-byte value is handed out: an answer without one is an
    // error, never a success with stale bytes.
    return Command(icdev, 0x77, 200).be16(block).exact(4, value);
}

VARROK_API int rf_MFP_L3PurseIncrement(unsigned short icdev, unsigned short block, int value) {
    return purseOperation(icdev, 0x78, block, value);
}

VARROK_API int rf_MFP_L3PurseDecrement(unsigned short icdev, unsigned short block, int value) {
    return purseOperation(icdev, 0x79, block, value);
}

VARROK_API int rf_MFP_L3PurseBackup(unsigned short icdev, unsigned short src, unsigned short dst) {
    return Command(icdev, 0x7A, 200).be16(src).be16(dst).none();
}

} // extern "C"
