// Rows for the bad-input tests: every export that takes a pointer, called
// with each of its pointers null in turn, and every argument the library
// range-checks, one value either side of the edge.
//
// A row's pointer arguments are written p[0], p[1], p[2] in parameter order;
// the runner hands in 256-byte buffers and nulls one of them at a time. The
// row's name and its argument text come from the call itself (NULL_ROW), so a
// row cannot name one function and call another, and the completeness test
// can count the p[i] a row hands over against the header's pointer parameters.
#pragma once

#include "varrok.h"

#include <array>

namespace bad_input {

using Pointers = std::array<unsigned char*, 3>;
using Call = int (*)(const Pointers&);

// What a call returns for a null pointer: with a reader open, and with none.
struct Codes {
    int withReader;
    int withoutReader;
};

// The common rule: the pointer is refused after the reader lookup.
constexpr Codes kAfterLookup{-5, -1};

struct NullRow {
    const char* name;
    const char* args; // the call's argument text, for counting its p[i]
    Call call;
    Codes codes = kAfterLookup;
    unsigned writtenFirst = 0; // bit i: p[i] is documented to be written before anything is checked
    bool reachesReader = true; // with no pointer null, the call sends a request
};

inline unsigned short* u16(unsigned char* p) { return reinterpret_cast<unsigned short*>(p); }
inline unsigned int* u32(unsigned char* p) { return reinterpret_cast<unsigned int*>(p); }
inline int* i32(unsigned char* p) { return reinterpret_cast<int*>(p); }
inline const char* text(unsigned char* p) { return reinterpret_cast<const char*>(p); }

#define NULL_ROW(fn, ...) \
    #fn, #__VA_ARGS__, [](const Pointers& p) { return static_cast<int>(fn(__VA_ARGS__)); }

// Scalars are chosen inside every range the library checks, so the only
// thing wrong with a call is the null pointer (BadInputNullPointers checks
// that each row with no null pointer does reach the reader).
inline const NullRow kNullRows[] = {
    // Reader connections and the library itself.
    {NULL_ROW(ReaderOpen, text(p[0])), {-1, -1}, 0, false},
    {NULL_ROW(lib_ver, u32(p[0])), {-1, -1}, 0, false},
    {NULL_ROW(rf_init_net, text(p[0]), 6000), {-1, -1}, 0, false},
    {"rf_free", "p[0]", [](const Pointers& p) { rf_free(p[0]); return 0; }, {0, 0}, 0, false},

    // Reader control, and its older names.
    {NULL_ROW(rf_Reader_GetID, 0, u16(p[0]))},
    {NULL_ROW(rf_Reader_GetFirmwareVer, 0, p[0])},
    {NULL_ROW(rf_Reader_GetSN, 0, p[0])},
    {NULL_ROW(rf_Reader_DigtalDisplay, 0, 0, 0, p[0])},
    {NULL_ROW(rf_Reader_DigtalDisplay, 0, 1, 3, p[0])},
    {NULL_ROW(rf_Reader_FlashRead, 0, 1, 0, 16, p[0])},
    {NULL_ROW(rf_Reader_FlashWrite, 0, 1, 0, 16, p[0])},
    {NULL_ROW(rf_get_device_number, 0, u16(p[0]))},
    {NULL_ROW(rf_get_model, 0, p[0])},
    {NULL_ROW(rf_get_snr, 0, p[0])},
    {NULL_ROW(rf_display, 0, 1, 3, p[0])},
    {NULL_ROW(rf_flash_read, 0, 1, 0, 16, p[0])},
    {NULL_ROW(rf_flash_write, 0, 1, 0, 16, p[0])},

    // Type A, MIFARE Classic, Ultralight.
    {NULL_ROW(rf_ISO14443A_Request, 0, 0x52, p[0]), {-5, -5}}, // refused before the lookup
    {NULL_ROW(rf_ISO14443A_GetCard, 0, 0x52, p[0], p[1])},
    {NULL_ROW(rf_ISO14443A_AnticollisionLevel1, 0, p[0])},
    {NULL_ROW(rf_ISO14443A_AnticollisionLevel2, 0, p[0])},
    {NULL_ROW(rf_ISO14443A_AnticollisionLevel3, 0, p[0])},
    {NULL_ROW(rf_anticollCLn, 0, 2, p[0])},
    {NULL_ROW(rf_ISO14443A_SelectLevel1, 0, p[0], p[1])},
    {NULL_ROW(rf_ISO14443A_SelectLevel2, 0, p[0], p[1])},
    {NULL_ROW(rf_ISO14443A_SelectLevel3, 0, p[0], p[1])},
    {NULL_ROW(rf_selectCLn, 0, 2, p[0], p[1])},
    {NULL_ROW(rf_ISO14443A_AnticollisionAndSelect, 0, p[0], p[1])},
    {NULL_ROW(rf_anticoll, 0, 7, p[0], p[1])},
    {NULL_ROW(rf_select, 0, p[0], 4, p[1])},
    {NULL_ROW(rf_typea_rst, 0, 0, p[0], p[1])},
    {NULL_ROW(rf_M1_Authentication, 0, 0x60, 4, p[0])},
    {NULL_ROW(rf_M1_DownloadKeyToReader, 0, 3, p[0])},
    {NULL_ROW(rf_M1_Read, 0, 4, p[0])},
    {NULL_ROW(rf_UltraLight_Read, 0, 4, p[0])},
    {NULL_ROW(rf_M1_Write, 0, 4, p[0])},
    {NULL_ROW(rf_M1_MultiRead, 0, 4, 2, p[0], p[1])},
    {NULL_ROW(rf_M1_MultiWrite, 0, 4, 2, p[0])},
    {NULL_ROW(rf_M1_PurseRead, 0, 5, p[0])},
    {NULL_ROW(rf_UltraLight_Write, 0, 4, p[0])},
    {NULL_ROW(rf_UltraLightC_Authentication, 0, p[0])},
    {NULL_ROW(rf_search_type_a, 0, 0x52, p[0], p[1], p[2])},
    {NULL_ROW(rf_ul_select, 0, p[0], p[1])},
    {NULL_ROW(rf_getlockcardinfo, 0, 0x52, p[0], p[1], p[2]), {-1, -1}},

    // Type B, ISO 14443-4, ID cards, SAM slots.
    {NULL_ROW(rf_ISO14443B_Request, 0, 0, p[0])},
    {NULL_ROW(rf_ISO14443B_GetCard, 0, 1, 0, 0, p[0])},
    {NULL_ROW(rf_ISO14443B_Attribute, 0, p[0], 0)},
    {NULL_ROW(rf_ISO14443B_Halt, 0, p[0])},
    {NULL_ROW(rf_ISO14443_4_TypeA_RATS, 0, p[0], p[1])},
    {NULL_ROW(rf_ISO14443_4_COS, 0, p[0], 5, p[1], p[2], 300)},
    {NULL_ROW(rf_cos_command, 0, p[0], 5, p[1], p[2])},
    {NULL_ROW(rf_typeb_cos, 0, 0x0B, p[0], 5, p[1], p[2])},
    {NULL_ROW(rf_IDCard_Request, 0, p[0], i32(p[1])), kAfterLookup, 0b10},
    {NULL_ROW(rf_IDCard_COS, 0, p[0], 5, p[1], i32(p[2])), kAfterLookup, 0b100},
    {NULL_ROW(rf_sam_rst, 0, p[0], p[1])},
    {NULL_ROW(rf_sam_rst_byid, 0, 2, p[0], p[1])},
    {NULL_ROW(rf_sam_cos, 0, p[0], 5, p[1], p[2])},
    {NULL_ROW(rf_sam_cos_byid, 0, 2, p[0], 5, p[1], p[2])},
    {NULL_ROW(rf_SAM_RST, 0, 1, p[0], p[1])}, // slots 1-4 take the per-slot command
    {NULL_ROW(rf_SAM_RST, 0, 5, p[0], p[1])}, // higher slots carry the slot in the request
    {NULL_ROW(rf_SAM_COS, 0, 1, p[0], 5, p[1], p[2], 300)},
    {NULL_ROW(rf_SAM_COS, 0, 5, p[0], 5, p[1], p[2], 300)},

    // ISO 15693 and ICODE1.
    {NULL_ROW(rf_ISO15693_Inventory, 0, p[0], p[1])},
    {NULL_ROW(rf_ISO15693_MultiInventory, 0, 6, 0, p[0], p[1])},
    {NULL_ROW(rf_ISO15693_StayQuiet, 0, p[0])},
    {NULL_ROW(rf_ISO15693_Select, 0, p[0])},
    {NULL_ROW(rf_ISO15693_ResetToReady, 0, 0x22, p[0])},
    {NULL_ROW(rf_ISO15693_Read, 0, 0x22, p[0], 0, 2, p[1], p[2])},
    {NULL_ROW(rf_ISO15693_Write, 0, 0x22, p[0], 3, p[1])},
    {NULL_ROW(rf_ISO15693_LockBlock, 0, 0x22, p[0], 3)},
    {NULL_ROW(rf_ISO15693_WriteAFI, 0, 0x22, p[0], 1)},
    {NULL_ROW(rf_ISO15693_LockAFI, 0, 0x22, p[0])},
    {NULL_ROW(rf_ISO15693_WriteDSFID, 0, 0x22, p[0], 1)},
    {NULL_ROW(rf_ISO15693_LockDSFID, 0, 0x22, p[0])},
    {NULL_ROW(rf_ISO15693_GetSystemInfomation, 0, 0x22, p[0], p[1], p[2])},
    {NULL_ROW(rf_ISO15693_GetBlockSecurity, 0, 0x22, p[0], 0, 4, p[1], p[2])},
    {NULL_ROW(rf_ICODE1_Request, 0, p[0])},
    {NULL_ROW(rf_ICODE1_Read, 0, 1, p[0])},
    {NULL_ROW(rf_ICODE1_Write, 0, 1, p[0])},

    // MIFARE Plus.
    {NULL_ROW(rf_MFP_L0WritePerso, 0, 0x9000, p[0])},
    {NULL_ROW(rf_MFP_SwitchToHighLevel, 0, 1, p[0])},
    {NULL_ROW(rf_MFP_DataBlockAuthentication, 0, 0, 0x4000, p[0])},
    {NULL_ROW(rf_MFP_FirstAuthentication, 0, 0x4000, p[0])},
    {NULL_ROW(rf_MFP_FollowingAuthentication, 0, 0x4000, p[0])},
    {NULL_ROW(rf_MFP_L3Read, 0, 4, 1, p[0])},
    {NULL_ROW(rf_MFP_L3Write, 0, 4, 1, p[0])},
    {NULL_ROW(rf_MFP_L3PurseRead, 0, 5, p[0])},

    // DESFire.
    {NULL_ROW(rf_DF_Authenticat, 0, 0, p[0], p[1])},
    {NULL_ROW(rf_DF_ChangeKeySettings, 0, p[0])},
    {NULL_ROW(rf_DF_GetKeySetting, 0, p[0])},
    {NULL_ROW(rf_DF_ChangeKey, 0, 0, p[0])},
    {NULL_ROW(rf_DF_GetKeyVer, 0, 0, p[0])},
    {NULL_ROW(rf_DF_GetAppIDs, 0, p[0], p[1])},
    {NULL_ROW(rf_DF_GetVer, 0, p[0])},
    {NULL_ROW(rf_DF_GetFileIDs, 0, p[0], p[1])},
    {NULL_ROW(rf_DF_GetFileSettings, 0, 1, p[0], p[1])},
    {NULL_ROW(rf_DF_ChangeFileSettings, 0, 1, p[0], 3)},
    {NULL_ROW(rf_DF_CreateStdDataFile, 0, 1, 0, p[0], 32)},
    {NULL_ROW(rf_DF_CreateBackupDataFile, 0, 1, 0, p[0], 32)},
    {NULL_ROW(rf_DF_CreateValueFile, 0, 1, 0, p[0], 0, 1000, 10, 0)},
    {NULL_ROW(rf_DF_CreateLinearRecordFile, 0, 1, 0, p[0], 16, 4)},
    {NULL_ROW(rf_DF_CreateCyclicRecordFile, 0, 1, 0, p[0], 16, 4)},
    {NULL_ROW(rf_DF_ReadData, 0, 1, 0, 16, p[0], u32(p[1]))},
    {NULL_ROW(rf_DF_WriteData, 0, 1, 0, 16, p[0])},
    {NULL_ROW(rf_DF_GetValue, 0, 1, i32(p[0]))},
    {NULL_ROW(rf_DF_WriteRecord, 0, 1, 0, 16, p[0])},
    {NULL_ROW(rf_DF_ReadRecord, 0, 1, 0, 1, p[0], u32(p[1]))},

    // ST SR176 / SRIX, AT88RF020 / 080, USSEN.
    {NULL_ROW(rf_ST_GetCard, 0, p[0])},
    {NULL_ROW(rf_ST_Select, 0, p[0])},
    {NULL_ROW(rf_ST_SR176_Select, 0, p[0])},
    {NULL_ROW(rf_ST_SRI_Select, 0, p[0])},
    {NULL_ROW(rf_st_select, 0, p[0])},
    {NULL_ROW(rf_ST_SR176_ReadBlock, 0, 1, p[0])},
    {NULL_ROW(rf_ST_SR176_WriteBlock, 0, 1, p[0])},
    {NULL_ROW(rf_ST_SR176_GetProtectReg, 0, p[0])},
    {NULL_ROW(rf_ST_SR176_MultiRead, 0, 0, 2, p[0], p[1])},
    {NULL_ROW(rf_ST_SR176_MultiWrite, 0, 0, 2, p[0])},
    {NULL_ROW(rf_ST_SRI_ReadBlock, 0, 7, p[0])},
    {NULL_ROW(rf_ST_SRI_WriteBlock, 0, 7, p[0])},
    {NULL_ROW(rf_ST_SRIX_Authenticate, 0, p[0], p[1])},
    {NULL_ROW(rf_ST_SRI_GetUID, 0, p[0])},
    {NULL_ROW(rf_ST_SRI_MultiRead, 0, 7, 2, p[0], p[1])},
    {NULL_ROW(rf_ST_SRI_MultiWrite, 0, 7, 2, p[0])},
    {NULL_ROW(rf_AT88RF020_Check, 0, p[0])},
    {NULL_ROW(rf_AT88RF020_Read, 0, 1, p[0])},
    {NULL_ROW(rf_AT88RF020_write, 0, 1, p[0])},
    {NULL_ROW(rf_AT88RF020_Lock, 0, p[0])},
    {NULL_ROW(rf_AT88RF020_Count, 0, p[0])},
    {NULL_ROW(rf_AT88RF020_MultiRead, 0, 1, 2, p[0], p[1])},
    {NULL_ROW(rf_AT88RF020_MultiWrite, 0, 1, 2, p[0])},
    {NULL_ROW(rf_AT88RF080_Request, 0, 0, 0, p[0], p[1])},
    {NULL_ROW(rf_USSEN_GetCard, 0, 0x52, p[0], p[1])},
    {NULL_ROW(rf_USSEN_GetCard_D, 0, 0x52, p[0], p[1], 0x010203, 1, 2, 3, 4)},
    {NULL_ROW(rf_USSEN_GetMem, 0, p[0], p[1])},
    {NULL_ROW(rf_USSEN_SetMem, 0, p[0], 4)},

    // Older names. Those that write a fixed length first do so whatever follows.
    {NULL_ROW(rf_request, 0, 0x26, p[0]), {-5, -5}},
    {NULL_ROW(rf_M1_authentication2, 0, 0x61, 4, p[0])},
    {NULL_ROW(rf_download_key, 0, 3, p[0])},
    {NULL_ROW(rf_M1_read, 0, 4, p[0], p[1]), kAfterLookup, 0b10},
    {NULL_ROW(rf_M1_write, 0, 4, p[0])},
    {NULL_ROW(rf_M1_multi_read, 0, 4, 2, p[0], p[1])},
    {NULL_ROW(rf_M1_multi_write, 0, 4, 2, p[0])},
    {NULL_ROW(rf_M1_readval, 0, 5, p[0])},
    {NULL_ROW(rf_ul_write, 0, 4, p[0])},
    {NULL_ROW(rf_atqb, 0, 0, p[0], p[1]), kAfterLookup, 0b10},
    {NULL_ROW(rf_iso14443_4_type_a_reset, 0, p[0], p[1])},
    {NULL_ROW(rf_request_Identify, 0, p[0], i32(p[1])), kAfterLookup, 0b10},
    {NULL_ROW(rf_sendcos_Identify, 0, p[0], 5, p[1], i32(p[2])), kAfterLookup, 0b100},
    {NULL_ROW(ISO15693_Inventory, 0, p[0], p[1])},
    {NULL_ROW(ISO15693_MultiInventory, 0, 6, 0, p[0], p[1])},
    {NULL_ROW(ISO15693_Stay_Quiet, 0, p[0])},
    {NULL_ROW(ISO15693_Select, 0, p[0])},
    {NULL_ROW(ISO15693_Reset_To_Ready, 0, 0x22, p[0])},
    {NULL_ROW(ISO15693_Read, 0, 0x22, p[0], 0, 2, p[1], p[2])},
    {NULL_ROW(ISO15693_Write, 0, 0x22, p[0], 3, p[1])},
    {NULL_ROW(ISO15693_Lock_Block, 0, 0x22, p[0], 3)},
    {NULL_ROW(ISO15693_Write_AFI, 0, 0x22, p[0], 1)},
    {NULL_ROW(ISO15693_Lock_AFI, 0, 0x22, p[0])},
    {NULL_ROW(ISO15693_Write_DSFID, 0, 0x22, p[0], 1)},
    {NULL_ROW(ISO15693_Lock_DSFID, 0, 0x22, p[0])},
    {NULL_ROW(ISO15693_Get_System_Information, 0, 0x22, p[0], p[1], p[2])},
    {NULL_ROW(ISO15693_Get_Block_Security, 0, 0x22, p[0], 0, 4, p[1], p[2])},
    {NULL_ROW(MFP_L0WritePerso, 0, 0x9000, p[0])},
    {NULL_ROW(MFP_SwitchToHighLevel, 0, 1, p[0])},
    {NULL_ROW(MFP_FirstAuthentication, 0, 0x4000, p[0])},
    {NULL_ROW(MFP_FollowingAuthentication, 0, 0x4000, p[0])},
    {NULL_ROW(MFP_DataBlockAuthentication, 0, 1, 8, p[0])},
    {NULL_ROW(MFP_L3ReadDataBlock, 0, 4, 1, p[0])},
    {NULL_ROW(MFP_L3CommonRead, 0, 4, 1, p[0])},
    {NULL_ROW(MFP_L3WriteDataBlock, 0, 4, 1, p[0])},
    {NULL_ROW(MFP_L3CommonWrite, 0, 4, 1, p[0])},
    {NULL_ROW(MFP_L3PurseRead, 0, 5, p[0])},
    {NULL_ROW(rf_sr176_readblock, 0, 1, p[0], p[1]), kAfterLookup, 0b10},
    {NULL_ROW(rf_sr176_writeblock, 0, 1, p[0])},
    {NULL_ROW(rf_sr176_multi_read, 0, 0, 2, p[0], p[1])},
    {NULL_ROW(rf_sr176_multi_write, 0, 0, 2, p[0])},
    {NULL_ROW(rf_sr176_getprotectreg, 0, p[0])},
    {NULL_ROW(rf_srix4k_getuid, 0, p[0], p[1]), kAfterLookup, 0b10},
    {NULL_ROW(rf_srix4k_readblock, 0, 7, p[0], p[1]), kAfterLookup, 0b10},
    {NULL_ROW(rf_srix4k_writeblock, 0, 7, p[0])},
    {NULL_ROW(rf_srix4k_multi_read, 0, 7, 2, p[0], p[1])},
    {NULL_ROW(rf_srix4k_multi_write, 0, 7, 2, p[0])},
    {NULL_ROW(rf_srix4k_authenticate, 0, p[0], p[1], p[2]), kAfterLookup, 0b100},
    {NULL_ROW(rf_at020_check, 0, p[0])},
    {NULL_ROW(rf_at020_read, 0, 1, p[0], p[1]), kAfterLookup, 0b10},
    {NULL_ROW(rf_at020_write, 0, 1, p[0])},
    {NULL_ROW(rf_at020_multi_read, 0, 1, 2, p[0], p[1])},
    {NULL_ROW(rf_at020_multi_write, 0, 1, 2, p[0])},
    {NULL_ROW(rf_at020_lock, 0, p[0])},
    {NULL_ROW(rf_at020_count, 0, p[0])},
    {NULL_ROW(rf_request_080, 0, 0, 0, p[0], p[1])},

    // Host-side DES: no reader involved, a null pointer is -5 in every case.
    {NULL_ROW(rf_DES_Encrypt, p[0], p[1], 8, p[2], 8), {-5, -5}, 0, false},
    {NULL_ROW(rf_DES_Decrypt, p[0], p[1], 16, p[2], 16), {-5, -5}, 0, false},
    {NULL_ROW(des_encrypt, p[0], p[1], 8, p[2], 8), {-5, -5}, 0, false},
    {NULL_ROW(des_decrypt, p[0], p[1], 16, p[2], 16), {-5, -5}, 0, false},
};

#undef NULL_ROW

// One range check of the library, one value either side of its edge: the
// call just inside goes to the reader, the one just outside is refused with
// `code` and sends nothing.
struct Boundary {
    const char* what;
    Call inside;
    Call outside;
    int code;             // the refusal with a reader open
    bool beforeLookup;    // refused with the same code when no reader is open
    const char* request;  // the first bytes the inside call sends: address, command, data
    int dataBytes;        // how many data bytes follow the command in that request
};

#define CALL(fn, ...) [](const Pointers& p) { (void)p; return static_cast<int>(fn(__VA_ARGS__)); }

// The test's buffers hold 0x05 in every byte: a valid display digit (segments
// 5B) and an unremarkable key, UID and APDU byte.
inline const Boundary kBoundaries[] = {
    // Reader control.
    {"antenna state 1 / 2", CALL(rf_Reader_SetAntenna, 0, 1), CALL(rf_Reader_SetAntenna, 0, 2), -5, false,
     "00 00 0B 01", 1},
    {"older antenna state 1 / 2", CALL(rf_antenna_sta, 0, 1), CALL(rf_antenna_sta, 0, 2), -5, false,
     "00 00 0B 01", 1},
    {"display digit 10 (blank) / 11", CALL(rf_Reader_DigtalDisplay, 0, 1, 0, (p[0][0] = 10, p[0])),
     CALL(rf_Reader_DigtalDisplay, 0, 1, 0, (p[0][0] = 11, p[0])), -5, false,
     "00 00 60 00 5B 5B 5B 5B 5B 5B 5B", 8},
    {"display point 8 / 9", CALL(rf_Reader_DigtalDisplay, 0, 1, 8, p[0]), CALL(rf_Reader_DigtalDisplay, 0, 1, 9, p[0]),
     -5, false, "00 00 60 5B 5B 5B 5B 5B 5B 5B DB", 8},
    {"older display digit 10 / 11", CALL(rf_display, 0, 1, 0, (p[0][7] = 10, p[0])),
     CALL(rf_display, 0, 1, 0, (p[0][7] = 11, p[0])), -5, false, "00 00 60 5B 5B 5B 5B 5B 5B 5B 00", 8},
    {"older display point 8 / 9", CALL(rf_display, 0, 1, 8, p[0]), CALL(rf_display, 0, 1, 9, p[0]), -5, false,
     "00 00 60 5B 5B 5B 5B 5B 5B 5B DB", 8},
    {"flash read of 200 / 201", CALL(rf_Reader_FlashRead, 0, 0x0102, 0, 200, p[0]),
     CALL(rf_Reader_FlashRead, 0, 0x0102, 0, 201, p[0]), -1, false, "00 00 61 01 02 00 C8", 4},
    {"flash read up to the page end / one past", CALL(rf_Reader_FlashRead, 0, 0x0102, 56, 200, p[0]),
     CALL(rf_Reader_FlashRead, 0, 0x0102, 57, 200, p[0]), -1, false, "00 00 61 01 02 38 C8", 4},
    {"flash read of the last byte / two", CALL(rf_Reader_FlashRead, 0, 0x0102, 255, 1, p[0]),
     CALL(rf_Reader_FlashRead, 0, 0x0102, 255, 2, p[0]), -1, false, "00 00 61 01 02 FF 01", 4},
    {"older flash read of 200 / 201", CALL(rf_flash_read, 0, 0x0102, 0, 200, p[0]),
     CALL(rf_flash_read, 0, 0x0102, 0, 201, p[0]), -1, false, "00 00 61 01 02 00 C8", 4},
    {"flash write of 224 / 225", CALL(rf_Reader_FlashWrite, 0, 0x0102, 0, 224, p[0]),
     CALL(rf_Reader_FlashWrite, 0, 0x0102, 0, 225, p[0]), -1, false, "00 00 62 01 02 00 E0 05", 228},
    {"flash write up to the page end / one past", CALL(rf_Reader_FlashWrite, 0, 0x0102, 32, 224, p[0]),
     CALL(rf_Reader_FlashWrite, 0, 0x0102, 33, 224, p[0]), -1, false, "00 00 62 01 02 20 E0 05", 228},
    {"flash write of the last byte / two", CALL(rf_Reader_FlashWrite, 0, 0x0102, 255, 1, p[0]),
     CALL(rf_Reader_FlashWrite, 0, 0x0102, 255, 2, p[0]), -1, false, "00 00 62 01 02 FF 01 05", 5},
    {"older flash write of 224 / 225", CALL(rf_flash_write, 0, 0x0102, 0, 224, p[0]),
     CALL(rf_flash_write, 0, 0x0102, 0, 225, p[0]), -1, false, "00 00 62 01 02 00 E0 05", 228},

    // Type A, MIFARE Classic.
    {"anticollision level 1 / 0", CALL(rf_anticollCLn, 0, 1, p[0]), CALL(rf_anticollCLn, 0, 0, p[0]), -5, false,
     "00 00 80 01", 1},
    {"anticollision level 3 / 4", CALL(rf_anticollCLn, 0, 3, p[0]), CALL(rf_anticollCLn, 0, 4, p[0]), -5, false,
     "00 00 80 03", 1},
    {"select level 1 / 0", CALL(rf_selectCLn, 0, 1, p[0], p[1]), CALL(rf_selectCLn, 0, 0, p[0], p[1]), -5, false,
     "00 00 81 01 05 05 05 05", 5},
    {"select level 3 / 4", CALL(rf_selectCLn, 0, 3, p[0], p[1]), CALL(rf_selectCLn, 0, 4, p[0], p[1]), -5, false,
     "00 00 81 03 05 05 05 05", 5},
    {"UID size 4 / 3", CALL(rf_anticoll, 0, 4, p[0], p[1]), CALL(rf_anticoll, 0, 3, p[0], p[1]), -5, false,
     "00 00 0D 04", 1},
    {"UID size 4 / 5", CALL(rf_anticoll, 0, 4, p[0], p[1]), CALL(rf_anticoll, 0, 5, p[0], p[1]), -5, false,
     "00 00 0D 04", 1},
    {"UID size 7 / 6", CALL(rf_anticoll, 0, 7, p[0], p[1]), CALL(rf_anticoll, 0, 6, p[0], p[1]), -5, false,
     "00 00 0D 07", 1},
    {"UID size 7 / 8", CALL(rf_anticoll, 0, 7, p[0], p[1]), CALL(rf_anticoll, 0, 8, p[0], p[1]), -5, false,
     "00 00 0D 07", 1},
    {"UID size 10 / 9", CALL(rf_anticoll, 0, 10, p[0], p[1]), CALL(rf_anticoll, 0, 9, p[0], p[1]), -5, false,
     "00 00 0D 0A", 1},
    {"UID size 10 / 11", CALL(rf_anticoll, 0, 10, p[0], p[1]), CALL(rf_anticoll, 0, 11, p[0], p[1]), -5, false,
     "00 00 0D 0A", 1},
    {"UID of 251 bytes / 252", CALL(rf_select, 0, p[0], 251, p[1]), CALL(rf_select, 0, p[0], 252, p[1]), -5, false,
     "00 00 0E 05", 251},
    {"key type 60 / 5F", CALL(rf_M1_Authentication, 0, 0x60, 4, p[0]), CALL(rf_M1_Authentication, 0, 0x5F, 4, p[0]),
     -5, true, "00 00 12 60 04 05 05 05 05 05 05", 8},
    {"key type 61 / 62", CALL(rf_M1_Authentication, 0, 0x61, 4, p[0]), CALL(rf_M1_Authentication, 0, 0x62, 4, p[0]),
     -5, true, "00 00 12 61 04 05 05 05 05 05 05", 8},
    {"older key type 61 / 62", CALL(rf_M1_authentication2, 0, 0x61, 4, p[0]),
     CALL(rf_M1_authentication2, 0, 0x62, 4, p[0]), -5, true, "00 00 12 61 04 05 05 05 05 05 05", 8},
    {"stored-key type 60 / 5F", CALL(rf_M1_AuthenticateByDownloadedKey, 0, 0x60, 4, 31),
     CALL(rf_M1_AuthenticateByDownloadedKey, 0, 0x5F, 4, 31), -1, true, "00 00 11 60 04 1F", 3},
    {"stored-key type 61 / 62", CALL(rf_M1_AuthenticateByDownloadedKey, 0, 0x61, 4, 31),
     CALL(rf_M1_AuthenticateByDownloadedKey, 0, 0x62, 4, 31), -1, true, "00 00 11 61 04 1F", 3},
    {"older stored-key type 60 / 5F", CALL(rf_M1_authentication1, 0, 0x60, 4, 0),
     CALL(rf_M1_authentication1, 0, 0x5F, 4, 0), -1, true, "00 00 11 60 04 00", 3},
    {"key slot 31 / 32", CALL(rf_M1_DownloadKeyToReader, 0, 31, p[0]), CALL(rf_M1_DownloadKeyToReader, 0, 32, p[0]),
     -5, false, "00 00 82 1F 05 05 05 05 05 05", 7},
    {"older key slot 31 / 32", CALL(rf_download_key, 0, 31, p[0]), CALL(rf_download_key, 0, 32, p[0]), -5, false,
     "00 00 82 1F 05 05 05 05 05 05", 7},
    {"multi-block write of 15 / 16", CALL(rf_M1_MultiWrite, 0, 4, 15, p[0]), CALL(rf_M1_MultiWrite, 0, 4, 16, p[0]),
     -5, false, "00 00 89 04 0F 05", 242},
    {"older multi-block write of 15 / 16", CALL(rf_M1_multi_write, 0, 4, 15, p[0]),
     CALL(rf_M1_multi_write, 0, 4, 16, p[0]), -5, false, "00 00 89 04 0F 05", 242},

    // Type B, ISO 14443-4, ID cards, SAM slots.
    {"type B request mode 1 / 2", CALL(rf_ISO14443B_Request, 0, 1, p[0]), CALL(rf_ISO14443B_Request, 0, 2, p[0]), -5,
     false, "00 00 1D 01", 1},
    {"older type B request mode 1 / 2", CALL(rf_atqb, 0, 1, p[0], p[1]), CALL(rf_atqb, 0, 2, p[0], p[1]), -5, false,
     "00 00 1D 01", 1},
    {"type B get card mode 1 / 2", CALL(rf_ISO14443B_GetCard, 0, 1, 7, 8, p[0]),
     CALL(rf_ISO14443B_GetCard, 0, 2, 7, 8, p[0]), -5, false, "00 00 97 01 07 08", 3},
    {"APDU of 251 / 252", CALL(rf_ISO14443_4_COS, 0, p[0], 251, p[1], p[2], 300),
     CALL(rf_ISO14443_4_COS, 0, p[0], 252, p[1], p[2], 300), -5, false, "00 00 1C 05", 251},
    {"default-timeout APDU of 251 / 252", CALL(rf_cos_command, 0, p[0], 251, p[1], p[2]),
     CALL(rf_cos_command, 0, p[0], 252, p[1], p[2]), -5, false, "00 00 1C 05", 251},
    {"lead byte and APDU of 250 / 251", CALL(rf_typeb_cos, 0, 0x0B, p[0], 250, p[1], p[2]),
     CALL(rf_typeb_cos, 0, 0x0B, p[0], 251, p[1], p[2]), -5, false, "00 00 1C 0B 05", 251},
    {"ID card command of 0 / -1 bytes", CALL(rf_IDCard_COS, 0, p[0], 0, p[1], i32(p[2])),
     CALL(rf_IDCard_COS, 0, p[0], -1, p[1], i32(p[2])), -5, false, "00 00 FE", 0},
    {"ID card command of 251 / 252 bytes", CALL(rf_IDCard_COS, 0, p[0], 251, p[1], i32(p[2])),
     CALL(rf_IDCard_COS, 0, p[0], 252, p[1], i32(p[2])), -5, false, "00 00 FE 05", 251},
    {"older ID card command of 0 / -1 bytes", CALL(rf_sendcos_Identify, 0, p[0], 0, p[1], i32(p[2])),
     CALL(rf_sendcos_Identify, 0, p[0], -1, p[1], i32(p[2])), -5, false, "00 00 FE", 0},
    {"SAM APDU of 251 / 252", CALL(rf_sam_cos, 0, p[0], 251, p[1], p[2]), CALL(rf_sam_cos, 0, p[0], 252, p[1], p[2]),
     -5, false, "00 00 09 05", 251},
    {"slot 3 SAM APDU of 251 / 252", CALL(rf_sam_cos_byid, 0, 3, p[0], 251, p[1], p[2]),
     CALL(rf_sam_cos_byid, 0, 3, p[0], 252, p[1], p[2]), -5, false, "00 00 69 05", 251},
    {"any-slot SAM APDU, slot 1, of 251 / 252", CALL(rf_SAM_COS, 0, 1, p[0], 251, p[1], p[2], 300),
     CALL(rf_SAM_COS, 0, 1, p[0], 252, p[1], p[2], 300), -5, false, "00 00 09 05", 251},
    {"any-slot SAM APDU, slot 5, of 250 / 251 (the slot byte goes first)",
     CALL(rf_SAM_COS, 0, 5, p[0], 250, p[1], p[2], 300), CALL(rf_SAM_COS, 0, 5, p[0], 251, p[1], p[2], 300), -5,
     false, "00 00 93 05 05", 251},
    {"SAM baud rate slot 1 / 0", CALL(rf_SAM_InitBaudrate, 0, 1, 115200), CALL(rf_SAM_InitBaudrate, 0, 0, 115200),
     -1, true, "00 00 07 05", 1},
    {"SAM reset slot 1 / 0", CALL(rf_SAM_RST, 0, 1, p[0], p[1]), CALL(rf_SAM_RST, 0, 0, p[0], p[1]), -1, true,
     "00 00 08", 0},
    {"SAM PPS slot 1 / 0", CALL(rf_SAM_SetPPS, 0, 1, 115200), CALL(rf_SAM_SetPPS, 0, 0, 115200), -1, true,
     "00 00 84 05", 1},
    {"SAM APDU slot 1 / 0", CALL(rf_SAM_COS, 0, 1, p[0], 5, p[1], p[2], 300),
     CALL(rf_SAM_COS, 0, 0, p[0], 5, p[1], p[2], 300), -1, true, "00 00 09 05 05 05 05 05", 5},

    // ISO 15693.
    {"tag read of 15 / 16 blocks", CALL(rf_ISO15693_Read, 0, 0x22, p[0], 0, 15, p[1], p[2]),
     CALL(rf_ISO15693_Read, 0, 0x22, p[0], 0, 16, p[1], p[2]), -5, false,
     "00 00 44 22 05 05 05 05 05 05 05 05 00 0F", 11},
    {"older tag read of 15 / 16 blocks", CALL(ISO15693_Read, 0, 0x22, p[0], 0, 15, p[1], p[2]),
     CALL(ISO15693_Read, 0, 0x22, p[0], 0, 16, p[1], p[2]), -5, false,
     "00 00 44 22 05 05 05 05 05 05 05 05 00 0F", 11},
    {"block security of 63 / 64", CALL(rf_ISO15693_GetBlockSecurity, 0, 0x22, p[0], 0, 63, p[1], p[2]),
     CALL(rf_ISO15693_GetBlockSecurity, 0, 0x22, p[0], 0, 64, p[1], p[2]), -1, false,
     "00 00 4C 22 05 05 05 05 05 05 05 05 00 3F", 11},
    {"older block security of 63 / 64", CALL(ISO15693_Get_Block_Security, 0, 0x22, p[0], 0, 63, p[1], p[2]),
     CALL(ISO15693_Get_Block_Security, 0, 0x22, p[0], 0, 64, p[1], p[2]), -1, false,
     "00 00 4C 22 05 05 05 05 05 05 05 05 00 3F", 11},

    // MIFARE Plus.
    {"level 3 write of 3 / 4 blocks", CALL(rf_MFP_L3Write, 0, 4, 3, p[0]), CALL(rf_MFP_L3Write, 0, 4, 4, p[0]), -1,
     false, "00 00 75 00 04 03 05", 51},
    {"older level 3 write of 3 / 4 blocks", CALL(MFP_L3WriteDataBlock, 0, 4, 3, p[0]),
     CALL(MFP_L3WriteDataBlock, 0, 4, 4, p[0]), -1, false, "00 00 75 00 04 03 05", 51},
    {"older common write of 3 / 4 blocks", CALL(MFP_L3CommonWrite, 0, 4, 3, p[0]),
     CALL(MFP_L3CommonWrite, 0, 4, 4, p[0]), -1, false, "00 00 75 00 04 03 05", 51},

    // DESFire.
    {"file settings of 249 / 250 bytes", CALL(rf_DF_ChangeFileSettings, 0, 1, p[0], 249),
     CALL(rf_DF_ChangeFileSettings, 0, 1, p[0], 250), -5, false, "00 00 BD 01 F9 05", 251},
    {"data write of 244 / 245", CALL(rf_DF_WriteData, 0, 1, 0, 244, p[0]), CALL(rf_DF_WriteData, 0, 1, 0, 245, p[0]),
     -5, false, "00 00 C5 01 00 00 00 00 00 F4 05", 251},
    {"record write of 244 / 245", CALL(rf_DF_WriteRecord, 0, 1, 0, 244, p[0]),
     CALL(rf_DF_WriteRecord, 0, 1, 0, 245, p[0]), -5, false, "00 00 CA 01 00 00 00 F4 00 00 05", 251},

    // ST, AT88RF020, USSEN: the frame's 251 data bytes are the limit.
    {"SR176 write of 124 / 125 blocks", CALL(rf_ST_SR176_MultiWrite, 0, 0, 124, p[0]),
     CALL(rf_ST_SR176_MultiWrite, 0, 0, 125, p[0]), -5, false, "00 00 89 00 7C 05", 250},
    {"older SR176 write of 124 / 125 blocks", CALL(rf_sr176_multi_write, 0, 0, 124, p[0]),
     CALL(rf_sr176_multi_write, 0, 0, 125, p[0]), -5, false, "00 00 89 00 7C 05", 250},
    {"SRIX write of 62 / 63 blocks", CALL(rf_ST_SRI_MultiWrite, 0, 0, 62, p[0]),
     CALL(rf_ST_SRI_MultiWrite, 0, 0, 63, p[0]), -5, false, "00 00 89 00 3E 05", 250},
    {"older SRIX write of 62 / 63 blocks", CALL(rf_srix4k_multi_write, 0, 0, 62, p[0]),
     CALL(rf_srix4k_multi_write, 0, 0, 63, p[0]), -5, false, "00 00 89 00 3E 05", 250},
    {"AT88RF020 write of 31 / 32 pages", CALL(rf_AT88RF020_MultiWrite, 0, 0, 31, p[0]),
     CALL(rf_AT88RF020_MultiWrite, 0, 0, 32, p[0]), -5, false, "00 00 8B 00 1F 05", 250},
    {"older AT88RF020 write of 31 / 32 pages", CALL(rf_at020_multi_write, 0, 0, 31, p[0]),
     CALL(rf_at020_multi_write, 0, 0, 32, p[0]), -5, false, "00 00 8B 00 1F 05", 250},
    {"USSEN memory write of 249 / 250", CALL(rf_USSEN_SetMem, 0, p[0], 249), CALL(rf_USSEN_SetMem, 0, p[0], 250), -5,
     false, "00 00 E0 12 F9 05", 251},
};

#undef CALL

} // namespace bad_input
