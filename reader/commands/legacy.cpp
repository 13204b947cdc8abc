// Names of the older interface generation, kept for programs written
// against it. Most forward unchanged; a few write a fixed answer length
// first, take a byte where the newer call takes a 16-bit block, or take a
// PUPI as an integer. Parameters a0, a1, ... are those of the newer call, in order.
#include "link/readers.h"
#include "varrok.h"

#include <cstring>

namespace {

// The PUPI as the integer lies in memory, least significant byte first.
void pupiBytes(unsigned int pupi, unsigned char out[4]) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<unsigned char>(pupi >> (8 * i));
}

// The length goes out before the call, whatever the call then returns. With
// nowhere to put it the call is refused like any other null answer pointer:
// -5 after the reader lookup, nothing sent.
bool setLength(unsigned short icdev, unsigned char* len, unsigned char n) {
    if (len != nullptr) *len = n;
    return len != nullptr || varrok::findTransport(icdev) == nullptr;
}

} // namespace

extern "C" {

// Type A, MIFARE Classic and Ultralight.
VARROK_API int rf_request(unsigned short icdev, unsigned char a1, unsigned char* a2) {
    return rf_ISO14443A_Request(icdev, a1, a2);
}
VARROK_API int rf_halt(unsigned short icdev) { return rf_ISO14443A_Halt(icdev); }
VARROK_API int rf_M1_authentication1(unsigned short icdev, unsigned char a1, unsigned char a2,
                                     unsigned char a3) {
    return rf_M1_AuthenticateByDownloadedKey(icdev, a1, a2, a3);
}
VARROK_API int rf_M1_authentication2(unsigned short icdev, unsigned char a1, unsigned char a2,
                                     unsigned char* a3) {
    return rf_M1_Authentication(icdev, a1, a2, a3);
}
VARROK_API int rf_download_key(unsigned short icdev, unsigned char a1, unsigned char* a2) {
    return rf_M1_DownloadKeyToReader(icdev, a1, a2);
}
VARROK_API int rf_M1_read(unsigned short icdev, unsigned char block, unsigned char* data,
                          unsigned char* len) {
    if (!setLength(icdev, len, 16)) return VARROK_LINK_FAILURE;
    return rf_M1_Read(icdev, block, data);
}
VARROK_API int rf_M1_write(unsigned short icdev, unsigned char a1, unsigned char* a2) {
    return rf_M1_Write(icdev, a1, a2);
}
VARROK_API int rf_M1_multi_read(unsigned short icdev, unsigned char a1, unsigned char a2, unsigned char* a3,
                                unsigned char* a4) {
    return rf_M1_MultiRead(icdev, a1, a2, a3, a4);
}
VARROK_API int rf_M1_multi_write(unsigned short icdev, unsigned char a1, unsigned char a2,
                                 unsigned char* a3) {
    return rf_M1_MultiWrite(icdev, a1, a2, a3);
}
VARROK_API int rf_M1_initval(unsigned short icdev, unsigned char a1, int a2) {
    return rf_M1_PurseCreate(icdev, a1, a2);
}
VARROK_API int rf_M1_readval(unsigned short icdev, unsigned char a1, unsigned char* a2) {
    return rf_M1_PurseRead(icdev, a1, a2);
}
VARROK_API int rf_M1_increment(unsigned short icdev, unsigned char a1, int a2) {
    return rf_M1_PurseIncrement(icdev, a1, a2);
}
VARROK_API int rf_M1_decrement(unsigned short icdev, unsigned char a1, int a2) {
    return rf_M1_PurseDecrement(icdev, a1, a2);
}
VARROK_API int rf_M1_restore(unsigned short icdev, unsigned char a1) { return rf_M1_PurseRestore(icdev, a1); }
VARROK_API int rf_M1_transfer(unsigned short icdev, unsigned char a1) {
    return rf_M1_PurseTransfer(icdev, a1);
}
VARROK_API int rf_ul_write(unsigned short icdev, unsigned char a1, unsigned char* a2) {
    return rf_UltraLight_Write(icdev, a1, a2);
}

// Type B, ISO 14443-4 and ID cards.
VARROK_API int rf_atqb(unsigned short icdev, unsigned char mode, unsigned char* atqb, unsigned char* len) {
    if (!setLength(icdev, len, 12)) return VARROK_LINK_FAILURE;
    return rf_ISO14443B_Request(icdev, mode, atqb);
}
VARROK_API int rf_attrib(unsigned short icdev, unsigned int pupi, unsigned char param) {
    unsigned char bytes[4];
    pupiBytes(pupi, bytes);
    return rf_ISO14443B_Attribute(icdev, bytes, param);
}
VARROK_API int rf_hltb(unsigned short icdev, unsigned int pupi) {
    unsigned char bytes[4];
    pupiBytes(pupi, bytes);
    return rf_ISO14443B_Halt(icdev, bytes);
}
VARROK_API int rf_iso14443_4_type_a_reset(unsigned short icdev, unsigned char* a1, unsigned char* a2) {
    return rf_ISO14443_4_TypeA_RATS(icdev, a1, a2);
}
VARROK_API int rf_request_Identify(unsigned short icdev, unsigned char* a1, int* a2) {
    return rf_IDCard_Request(icdev, a1, a2);
}
VARROK_API int rf_sendcos_Identify(unsigned short icdev, unsigned char* a1, int a2, unsigned char* a3,
                                   int* a4) {
    return rf_IDCard_COS(icdev, a1, a2, a3, a4);
}

// ISO 15693.
VARROK_API int ISO15693_Inventory(unsigned short icdev, unsigned char* a1, unsigned char* a2) {
    return rf_ISO15693_Inventory(icdev, a1, a2);
}
VARROK_API int ISO15693_MultiInventory(unsigned short icdev, unsigned char a1, unsigned char a2,
                                       unsigned char* a3, unsigned char* a4) {
    return rf_ISO15693_MultiInventory(icdev, a1, a2, a3, a4);
}
VARROK_API int ISO15693_Stay_Quiet(unsigned short icdev, unsigned char* a1) {
    return rf_ISO15693_StayQuiet(icdev, a1);
}
VARROK_API int ISO15693_Select(unsigned short icdev, unsigned char* a1) {
    return rf_ISO15693_Select(icdev, a1);
}
VARROK_API int ISO15693_Reset_To_Ready(unsigned short icdev, unsigned char a1, unsigned char* a2) {
    return rf_ISO15693_ResetToReady(icdev, a1, a2);
}
VARROK_API int ISO15693_Read(unsigned short icdev, unsigned char a1, unsigned char* a2, unsigned char a3,
                             unsigned char a4, unsigned char* a5, unsigned char* a6) {
    return rf_ISO15693_Read(icdev, a1, a2, a3, a4, a5, a6);
}
VARROK_API int ISO15693_Write(unsigned short icdev, unsigned char a1, unsigned char* a2, unsigned char a3,
                              unsigned char* a4) {
    return rf_ISO15693_Write(icdev, a1, a2, a3, a4);
}
VARROK_API int ISO15693_Lock_Block(unsigned short icdev, unsigned char a1, unsigned char* a2,
                                   unsigned char a3) {
    return rf_ISO15693_LockBlock(icdev, a1, a2, a3);
}
VARROK_API int ISO15693_Write_AFI(unsigned short icdev, unsigned char a1, unsigned char* a2,
                                  unsigned char a3) {
    return rf_ISO15693_WriteAFI(icdev, a1, a2, a3);
}
VARROK_API int ISO15693_Lock_AFI(unsigned short icdev, unsigned char a1, unsigned char* a2) {
    return rf_ISO15693_LockAFI(icdev, a1, a2);
}
VARROK_API int ISO15693_Write_DSFID(unsigned short icdev, unsigned char a1, unsigned char* a2,
                                    unsigned char a3) {
    return rf_ISO15693_WriteDSFID(icdev, a1, a2, a3);
}
VARROK_API int ISO15693_Lock_DSFID(unsigned short icdev, unsigned char a1, unsigned char* a2) {
    return rf_ISO15693_LockDSFID(icdev, a1, a2);
}
VARROK_API int ISO15693_Get_System_Information(unsigned short icdev, unsigned char a1, unsigned char* a2,
                                               unsigned char* a3, unsigned char* a4) {
    return rf_ISO15693_GetSystemInfomation(icdev, a1, a2, a3, a4);
}
VARROK_API int ISO15693_Get_Block_Security(unsigned short icdev, unsigned char a1, unsigned char* a2,
                                           unsigned char a3, unsigned char a4, unsigned char* a5,
                                           unsigned char* a6) {
    return rf_ISO15693_GetBlockSecurity(icdev, a1, a2, a3, a4, a5, a6);
}

// MIFARE Plus: the "byte block" names reach blocks 0 to 255 only.
VARROK_API int MFP_L0WritePerso(unsigned short icdev, unsigned short a1, unsigned char* a2) {
    return rf_MFP_L0WritePerso(icdev, a1, a2);
}
VARROK_API int MFP_L0CommitPerso(unsigned short icdev) { return rf_MFP_L0CommitPerso(icdev); }
VARROK_API int MFP_SwitchToHighLevel(unsigned short icdev, unsigned char a1, unsigned char* a2) {
    return rf_MFP_SwitchToHighLevel(icdev, a1, a2);
}
VARROK_API int MFP_FirstAuthentication(unsigned short icdev, unsigned short a1, unsigned char* a2) {
    return rf_MFP_FirstAuthentication(icdev, a1, a2);
}
VARROK_API int MFP_FollowingAuthentication(unsigned short icdev, unsigned short a1, unsigned char* a2) {
    return rf_MFP_FollowingAuthentication(icdev, a1, a2);
}
VARROK_API int MFP_DataBlockAuthentication(unsigned short icdev, unsigned char keytype, unsigned char block,
                                           unsigned char* key) {
    return rf_MFP_DataBlockAuthentication(icdev, keytype, block, key);
}
VARROK_API int MFP_L3ReadDataBlock(unsigned short icdev, unsigned char block, unsigned char count,
                                   unsigned char* data) {
    return rf_MFP_L3Read(icdev, block, count, data);
}
VARROK_API int MFP_L3CommonRead(unsigned short icdev, unsigned char block, unsigned char count,
                                unsigned char* data) {
    return rf_MFP_L3Read(icdev, block, count, data);
}
VARROK_API int MFP_L3WriteDataBlock(unsigned short icdev, unsigned char a1, unsigned char a2,
                                    unsigned char* a3) {
    return rf_MFP_L3Write(icdev, a1, a2, a3);
}
VARROK_API int MFP_L3CommonWrite(unsigned short icdev, unsigned char a1, unsigned char a2,
                                 unsigned char* a3) {
    return rf_MFP_L3Write(icdev, a1, a2, a3);
}
VARROK_API int MFP_L3PurseInitial(unsigned short icdev, unsigned char block, int value) {
    return rf_MFP_L3PurseCreate(icdev, block, value);
}
VARROK_API int MFP_L3PurseRead(unsigned short icdev, unsigned char block, unsigned char* value) {
    return rf_MFP_L3PurseRead(icdev, block, value);
}
VARROK_API int MFP_L3PurseIncrement(unsigned short icdev, unsigned char block, int value) {
    return rf_MFP_L3PurseIncrement(icdev, block, value);
}
VARROK_API int MFP_L3PurseDecrement(unsigned short icdev, unsigned char block, int value) {
    return rf_MFP_L3PurseDecrement(icdev, block, value);
}
VARROK_API int MFP_L3PurseBackup(unsigned short icdev, unsigned char src, unsigned char dst) {
    return rf_MFP_L3PurseBackup(icdev, src, dst);
}

// ST SR176 and SRIX.
VARROK_API int rf_sr176_readblock(unsigned short icdev, unsigned char block, unsigned char* data,
                                  unsigned char* len) {
    if (!setLength(icdev, len, 2)) return VARROK_LINK_FAILURE;
    return rf_ST_SR176_ReadBlock(icdev, block, data);
}
VARROK_API int rf_sr176_writeblock(unsigned short icdev, unsigned char a1, unsigned char* a2) {
    return rf_ST_SR176_WriteBlock(icdev, a1, a2);
}
VARROK_API int rf_sr176_multi_read(unsigned short icdev, unsigned char a1, unsigned char a2,
                                   unsigned char* a3, unsigned char* a4) {
    return rf_ST_SR176_MultiRead(icdev, a1, a2, a3, a4);
}
VARROK_API int rf_sr176_multi_write(unsigned short icdev, unsigned char a1, unsigned char a2,
                                    unsigned char* a3) {
    return rf_ST_SR176_MultiWrite(icdev, a1, a2, a3);
}
VARROK_API int rf_sr176_protectblock(unsigned short icdev, unsigned char a1) {
    return rf_ST_SR176_ProtectBlock(icdev, a1);
}
VARROK_API int rf_sr176_getprotectreg(unsigned short icdev, unsigned char* a1) {
    return rf_ST_SR176_GetProtectReg(icdev, a1);
}
VARROK_API int rf_srix4k_getuid(unsigned short icdev, unsigned char* uid, unsigned char* len) {
    if (!setLength(icdev, len, 8)) return VARROK_LINK_FAILURE;
    return rf_ST_SRI_GetUID(icdev, uid);
}
VARROK_API int rf_srix4k_readblock(unsigned short icdev, unsigned char block, unsigned char* data,
                                   unsigned char* len) {
    if (!setLength(icdev, len, 4)) return VARROK_LINK_FAILURE;
    return rf_ST_SRI_ReadBlock(icdev, block, data);
}
VARROK_API int rf_srix4k_writeblock(unsigned short icdev, unsigned char a1, unsigned char* a2) {
    return rf_ST_SRI_WriteBlock(icdev, a1, a2);
}
VARROK_API int rf_srix4k_multi_read(unsigned short icdev, unsigned char a1, unsigned char a2,
                                    unsigned char* a3, unsigned char* a4) {
    return rf_ST_SRI_MultiRead(icdev, a1, a2, a3, a4);
}
VARROK_API int rf_srix4k_multi_write(unsigned short icdev, unsigned char a1, unsigned char a2,
                                     unsigned char* a3) {
    return rf_ST_SRI_MultiWrite(icdev, a1, a2, a3);
}
VARROK_API int rf_srix4k_authenticate(unsigned short icdev, unsigned char* data, unsigned char* resp,
                                      unsigned char* len) {
    if (!setLength(icdev, len, 3)) return VARROK_LINK_FAILURE;
    return rf_ST_SRIX_Authenticate(icdev, data, resp);
}
VARROK_API int rf_srix4k_writelockreg(unsigned short icdev, unsigned char a1) {
    return rf_ST_SRI_WriteLockReg(icdev, a1);
}

// AT88RF020 and AT88RF080.
VARROK_API int rf_at020_check(unsigned short icdev, unsigned char* a1) {
    return rf_AT88RF020_Check(icdev, a1);
}
VARROK_API int rf_at020_read(unsigned short icdev, unsigned char page, unsigned char* data,
                             unsigned char* len) {
    if (!setLength(icdev, len, 8)) return VARROK_LINK_FAILURE;
    return rf_AT88RF020_Read(icdev, page, data);
}
VARROK_API int rf_at020_write(unsigned short icdev, unsigned char a1, unsigned char* a2) {
    return rf_AT88RF020_write(icdev, a1, a2);
}
VARROK_API int rf_at020_multi_read(unsigned short icdev, unsigned char a1, unsigned char a2,
                                   unsigned char* a3, unsigned char* a4) {
    return rf_AT88RF020_MultiRead(icdev, a1, a2, a3, a4);
}
VARROK_API int rf_at020_multi_write(unsigned short icdev, unsigned char a1, unsigned char a2,
                                    unsigned char* a3) {
    return rf_AT88RF020_MultiWrite(icdev, a1, a2, a3);
}
VARROK_API int rf_at020_lock(unsigned short icdev, unsigned char* a1) { return rf_AT88RF020_Lock(icdev, a1); }
VARROK_API int rf_at020_count(unsigned short icdev, unsigned char* data) {
    return rf_AT88RF020_Count(icdev, data);
}
VARROK_API int rf_at020_deselect(unsigned short icdev) { return rf_AT88RF020_Deselect(icdev); }
VARROK_API int rf_request_080(unsigned short icdev, unsigned char a1, unsigned char a2, unsigned char* a3,
                              unsigned char* a4) {
    return rf_AT88RF080_Request(icdev, a1, a2, a3, a4);
}

} // extern "C"
