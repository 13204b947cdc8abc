// ISO 14443 Type A cards, MIFARE Classic sectors and Ultralight pages.
#include "commands/command.h"
#include "link/readers.h"
#include "varrok.h"

#include <cstring>

using varrok::Command;

namespace {

bool isKeyType(unsigned char mode) { return mode == 0x60 || mode == 0x61; }

int anticollision(unsigned short icdev, unsigned char level, unsigned timeout, unsigned char* uid) {
    return Command(icdev, 0x80, timeout).u8(level).exact(4, uid);
}

int selectLevel(unsigned short icdev, unsigned char level, unsigned char* uid, unsigned char* sak) {
    return Command(icdev, 0x81, 200).u8(level).bytes(uid, 4).exact(1, sak);
}

int valueOperation(unsigned short icdev, unsigned char code, unsigned char block, int value) {
    return Command(icdev, code, 200).u8(block).le32(static_cast<unsigned>(value)).none();
}

} // namespace

extern "C" {

VARROK_API int rf_ISO14443A_Request(unsigned short icdev, unsigned char mode, unsigned char* atqa) {
    const unsigned char sent = mode == 0x26 ? 0x26 : 0x52;
    return Command(icdev, 0x0C, 100).checkBeforeLookup(atqa != nullptr, VARROK_LINK_FAILURE).u8(sent).exact(2, atqa);
}

VARROK_API int rf_ISO14443A_GetCard(unsigned short icdev, unsigned char mode, unsigned char* data,
                                    unsigned char* len) {
    return Command(icdev, 0x10, 200).u8(mode).variable(data, len);
}

VARROK_API int rf_ISO14443A_AnticollisionLevel1(unsigned short icdev, unsigned char* uid) {
    return anticollision(icdev, 1, 100, uid);
}
VARROK_API int rf_ISO14443A_AnticollisionLevel2(unsigned short icdev, unsigned char* uid) {
    return anticollision(icdev, 2, 100, uid);
}
VARROK_API int rf_ISO14443A_AnticollisionLevel3(unsigned short icdev, unsigned char* uid) {
    return anticollision(icdev, 3, 100, uid);
}

VARROK_API int rf_anticollCLn(unsigned short icdev, unsigned char level, unsigned char* uid) {
    return Command(icdev, 0x80, 200).check(level >= 1 && level <= 3).u8(level).exact(4, uid);
}

VARROK_API int rf_ISO14443A_SelectLevel1(unsigned short icdev, unsigned char* uid, unsigned char* sak) {
    return selectLevel(icdev, 1, uid, sak);
}
VARROK_API int rf_ISO14443A_SelectLevel2(unsigned short icdev, unsigned char* uid, unsigned char* sak) {
    return selectLevel(icdev, 2, uid, sak);
}
VARROK_API int rf_ISO14443A_SelectLevel3(unsigned short icdev, unsigned char* uid, unsigned char* sak) {
    return selectLevel(icdev, 3, uid, sak);
}

VARROK_API int rf_selectCLn(unsigned short icdev, unsigned char level, unsigned char* uid,
                            unsigned char* sak) {
    return Command(icdev, 0x81, 200).check(level >= 1 && level <= 3).u8(level).bytes(uid, 4).exact(1, sak);
}

VARROK_API int rf_ISO14443A_AnticollisionAndSelect(unsigned short icdev, unsigned char* data,
                                                   unsigned char* len) {
    return Command(icdev, 0x94, 200).variable(data, len);
}

VARROK_API int rf_anticoll(unsigned short icdev, unsigned char uidsize, unsigned char* uid,
                           unsigned char* len) {
    return Command(icdev, 0x0D, 200)
        .check(uidsize == 4 || uidsize == 7 || uidsize == 10)
        .u8(uidsize)
        .variable(uid, len);
}

VARROK_API int rf_select(unsigned short icdev, unsigned char* uid, unsigned char uidlen, unsigned char* sak) {
    return Command(icdev, 0x0E, 200).bytes(uid, uidlen).exact(1, sak);
}

VARROK_API int rf_ISO14443A_Halt(unsigned short icdev) { return Command(icdev, 0x0F, 100).none(); }

VARROK_API int rf_typea_rst(unsigned short icdev, unsigned char mode, unsigned char* data,
                            unsigned char* len) {
    return Command(icdev, 0x1B, 200).u8(mode).variable(data, len);
}

VARROK_API int rf_M1_Authentication(unsigned short icdev, unsigned char mode, unsigned char block,
                                    unsigned char* key) {
    return Command(icdev, 0x12, 200)
        .checkBeforeLookup(isKeyType(mode), VARROK_LINK_FAILURE)
        .u8(mode)
        .u8(block)
        .bytes(key, 6)
        .none();
}

VARROK_API int rf_M1_AuthenticateByDownloadedKey(unsigned short icdev, unsigned char mode,
                                                 unsigned char block, unsigned char keyindex) {
    return Command(icdev, 0x11, 200)
        .checkBeforeLookup(isKeyType(mode), VARROK_REJECTED)
        .u8(mode)
        .u8(block)
        .u8(keyindex)
        .none();
}

VARROK_API int rf_M1_DownloadKeyToReader(unsigned short icdev, unsigned char keyindex, unsigned char* key) {
    return Command(icdev, 0x82, 200).check(keyindex < 32).u8(keyindex).bytes(key, 6).none();
}

VARROK_API int rf_M1_Read(unsigned short icdev, unsigned char block, unsigned char* data) {
    return Command(icdev, 0x13, 200).u8(block).exact(16, data);
}
VARROK_API int rf_UltraLight_Read(unsigned short icdev, unsigned char block, unsigned char* data)
    __attribute__((alias("rf_M1_Read")));

VARROK_API int rf_M1_Write(unsigned short icdev, unsigned char block, unsigned char* data) {
    return Command(icdev, 0x14, 200).u8(block).bytes(data, 16).none();
}

VARROK_API int rf_M1_MultiRead(unsigned short icdev, unsigned char start, unsigned char count,
                               unsigned char* data, unsigned char* len) {
    return Command(icdev, 0x88, 200).u8(start).u8(count).counted(count, 16, data, len);
}

VARROK_API int rf_M1_MultiWrite(unsigned short icdev, unsigned char start, unsigned char count,
                                unsigned char* data) {
    return Command(icdev, 0x89, 200).check(count <= 15).u8(start).u8(count).bytes(data, count * 16).none();
}

VARROK_API int rf_M1_PurseCreate(unsigned short icdev, unsigned char block, int value) {
    return valueOperation(icdev, 0x15, block, value);
}

VARROK_API int rf_M1_PurseRead(unsigned short icdev, unsigned char block, unsigned char* value) {
    return Command(icdev, 0x16, 200).u8(block).exact(4, value);
}

VARROK_API int rf_M1_PurseDecrement(unsigned short icdev, unsigned char block, int value) {
    return valueOperation(icdev, 0x17, block, value);
}

VARROK_API int rf_M1_PurseIncrement(unsigned short icdev, unsigned char block, int value) {
    return valueOperation(icdev, 0x18, block, value);
}

VARROK_API int rf_M1_PurseRestore(unsigned short icdev, unsigned char block) {
    return Command(icdev, 0x19, 200).u8(block).none();
}

VARROK_API int rf_M1_PurseTransfer(unsigned short icdev, unsigned char block) {
    return Command(icdev, 0x1A, 200).u8(block).none();
}

VARROK_API int rf_M1_PurseBackup(unsigned short icdev, unsigned char src, unsigned char dst) {
    if (rf_M1_PurseRestore(icdev, src) != 0) return VARROK_LINK_FAILURE;
    if (rf_M1_PurseTransfer(icdev, dst) != 0) return VARROK_LINK_FAILURE;
    return 0;
}

VARROK_API int rf_UltraLight_Write(unsigned short icdev, unsigned char page, unsigned char* data) {
    return Command(icdev, 0x34, 200).u8(page).bytes(data, 4).none();
}

VARROK_API int rf_UltraLightC_Authentication(unsigned short icdev, unsigned char* data) {
    return Command(icdev, 0x36, 200).bytes(data, 16).none();
}

VARROK_API int rf_search_type_a(unsigned short icdev, unsigned char mode, unsigned char* data,
                                unsigned char* len, unsigned char* uidlen) {
    if (varrok::findTransport(icdev) != nullptr && uidlen == nullptr) return VARROK_LINK_FAILURE;
    const int rc = rf_ISO14443A_GetCard(icdev, mode, data, len);
    // An answer too short to hold the three information bytes has no UID.
    if (rc == 0) *uidlen = static_cast<unsigned char>(*len >= 3 ? *len - 3 : 0);
    return rc;
}

VARROK_API int rf_ul_select(unsigned short icdev, unsigned char* uid, unsigned char* uidlen) {
    if (varrok::findTransport(icdev) != nullptr && (uid == nullptr || uidlen == nullptr)) return VARROK_LINK_FAILURE;
    // The reader's answer is at most 250 bytes, so this buffer always holds it;
    // what reaches the caller is the UID, capped at the 61 bytes a 64-byte answer holds.
    unsigned char answer[250];
    unsigned char len = 0;
    const int rc = rf_ISO14443A_GetCard(icdev, 0x52, answer, &len);
    if (rc != 0) return rc;
    int n = len >= 3 ? len - 3 : 0;
    if (n > 61) n = 61;
    *uidlen = static_cast<unsigned char>(n);
    std::memcpy(uid, answer + 3, static_cast<std::size_t>(n));
    return 0;
}

VARROK_API int rf_getlockcardinfo(unsigned short icdev, unsigned char mode, unsigned char* uid,
                                  unsigned char* uidlen, unsigned char* atqa) {
    if (uid == nullptr || uidlen == nullptr || atqa == nullptr || varrok::findTransport(icdev) == nullptr)
        return -1;
    if (rf_ISO14443A_Request(icdev, mode, atqa) != 0 && rf_ISO14443A_Request(icdev, mode, atqa) != 0)
        return -1;
    if (atqa[0] == 0x44 && atqa[1] == 0x00) {
        if (rf_ul_select(icdev, uid, uidlen) != 0) return -5;
        return *uidlen == 7 ? 0 : -6;
    }
    if (rf_anticoll(icdev, 4, uid, uidlen) != 0) return -2;
    if (*uidlen != 4) return -3;
    unsigned char sak = 0;
    return rf_select(icdev, uid, 4, &sak) != 0 ? -4 : 0;
}

} // extern "C"
