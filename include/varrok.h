/*
 * Varrok: the reader library for desktop contactless (13.56 MHz) card readers.
 *
 * Every card and reader command sends one frame to the reader at device
 * address `icdev` (low 16 bits used) and waits for one answer.
 *
 * Return codes shared by every command:
 *    0   success
 *   -1   no reader is open (or, where a command says so, a rejected argument)
 *   -5   link failure, short or wrong-length answer, or a bad argument;
 *        also a null pointer where the command would read its request data
 *        or write its answer (checked after the reader lookup, nothing sent)
 *   -6   a reader handle that is not an open reader
 *    9   the answer's header is missing or malformed (reader silent)
 *  1..255 the reader's own status byte, passed through; 252 also means the
 *        answer's checksum was wrong
 * On any failure the caller's buffers are left as they were, except where a
 * command writes a length first (it says so).
 *
 * Threads: every function may be called from any number of threads at once.
 * Calls on one reader take turns, one exchange at a time; calls on different
 * readers run side by side and never wait for each other. A reader closed
 * while another thread is using it finishes the exchange in flight; later
 * calls through it are routed like any address no reader claims (-1 when no
 * reader is left open). A Classic session or any other card state is shared
 * by every thread using that reader: keep a card conversation on one thread.
 */
#ifndef VARROK_H
#define VARROK_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(VARROK_BUILDING) && defined(_WIN32)
#define VARROK_API __declspec(dllexport)
#elif defined(VARROK_BUILDING)
#define VARROK_API __attribute__((visibility("default")))
#else
#define VARROK_API
#endif

/* The library's own return codes, as listed above. */
enum {
    VARROK_OK = 0,
    VARROK_NO_READER = -1,    /* no reader open, open failed */
    VARROK_REJECTED = -1,     /* an argument a command rejects with the same value */
    VARROK_LINK_FAILURE = -5, /* link failure, short or wrong-length answer, bad argument */
    VARROK_BAD_HANDLE = -6,   /* a handle that is not an open reader */
    VARROK_BAD_HEADER = 9,    /* the answer's header is missing or malformed */
    VARROK_BAD_CHECKSUM = 252 /* the answer's checksum was wrong */
};

/* ---- Reader connections ------------------------------------------------ */

/* Opens a reader: "COM<n>:<baud>" (serial) or "TCP://<a.b.c.d>:<port>"; any case.
 * Returns a handle (never 0 or -1), or -1. Re-opening the same port replaces it.
 * COM<n> maps to a device path: $VARROK_COM<n> if set, else COM1-32 -> /dev/ttyS0-31,
 * COM33-64 -> /dev/ttyUSB0-31, COM65-96 -> /dev/ttyACM0-31; higher numbers have no device. */
VARROK_API long long ReaderOpen(const char* text);
/* Closes one reader, or every reader with handle 0. 0, or -6 for an unknown handle. */
VARROK_API int ReaderClose(long long handle);
/* Asks device address `icdev` on this reader to answer (50 ms) and routes that address to it. 0, -5, -6;
 * -5 also when `icdev` is a live connection handle of rf_init_com/rf_init_net (see there). */
VARROK_API int ReaderHandshake(long long handle, int icdev);
/* Stores the library version (26646) through ver. 0, or -1 for a null pointer. */
VARROK_API int lib_ver(unsigned int* ver);
/* The library has no message texts: always returns a null pointer. */
VARROK_API const char* rf_GetErrorMessage(int code);

/* ---- Reader control ------------------------------------------------------ */

/* Gives the reader a new device address. */
VARROK_API int rf_Reader_SetID(unsigned short icdev, unsigned short newid);
/* Reads the device address of the reader behind icdev (asked of address 0); bytes in frame order. */
VARROK_API int rf_Reader_GetID(unsigned short icdev, unsigned short* id);
/* Reads the 2-byte firmware version. */
VARROK_API int rf_Reader_GetFirmwareVer(unsigned short icdev, unsigned char* ver);
/* Reads the reader's 8-byte serial number. */
VARROK_API int rf_Reader_GetSN(unsigned short icdev, unsigned char* sn);
/* Sounds the beeper for `time` (units of the reader's firmware). */
VARROK_API int rf_Reader_SetBeep(unsigned short icdev, unsigned char time);
/* Chooses the card protocol the reader's field speaks (e.g. 'A', 'B', '1' for ISO 15693). */
VARROK_API int rf_Reader_SetISOType(unsigned short icdev, unsigned char type);
/* Switches the antenna field off (0) or on (1); other states give -5. */
VARROK_API int rf_Reader_SetAntenna(unsigned short icdev, unsigned char state);
/* Switches the antenna field on. */
VARROK_API int rf_Reader_AntennaON(unsigned short icdev);
/* Switches the antenna field off. */
VARROK_API int rf_Reader_AntennaOFF(unsigned short icdev);
/* Sets the LED colour code. */
VARROK_API int rf_Reader_SetLight(unsigned short icdev, unsigned char color);
/* Sets the reader's authentication standard. */
VARROK_API int rf_Reader_SetAuthenticationStandard(unsigned short icdev, unsigned char standard);
/* Shows 8 digits: mode 0 sends data[8] as raw segments; otherwise data holds digits 0-9 (10 = blank)
 * and point 1-8 lights the decimal point of that digit (0 = none). Bad digit or point: -5. */
VARROK_API int rf_Reader_DigtalDisplay(unsigned short icdev, unsigned char mode, unsigned char point, unsigned char* data);
/* Reads `length` (<= 200) bytes of a 256-byte flash page from offset; offset+length > 256 gives -1. */
VARROK_API int rf_Reader_FlashRead(unsigned short icdev, unsigned short page, unsigned char offset, unsigned char length, unsigned char* data);
/* Writes `length` (<= 224) bytes into a flash page at offset; offset+length > 256 gives -1. */
VARROK_API int rf_Reader_FlashWrite(unsigned short icdev, unsigned short page, unsigned char offset, unsigned char length, unsigned char* data);
/* Releases a block allocated by the library; null is ignored. */
VARROK_API void rf_free(void* p);

/* Older names of the reader commands, same behaviour. */
VARROK_API int rf_init_device_number(unsigned short icdev, unsigned short newid);
VARROK_API int rf_get_device_number(unsigned short icdev, unsigned short* id);
VARROK_API int rf_get_model(unsigned short icdev, unsigned char* ver);
VARROK_API int rf_get_snr(unsigned short icdev, unsigned char* sn);
VARROK_API int rf_beep(unsigned short icdev, unsigned char time);
VARROK_API int rf_init_type(unsigned short icdev, unsigned char type);
VARROK_API int rf_antenna_sta(unsigned short icdev, unsigned char state);
VARROK_API int rf_light(unsigned short icdev, unsigned char color);
VARROK_API int rf_Reader_SetLed(unsigned short icdev, unsigned char color);
VARROK_API int rf_set_authentication_standard(unsigned short icdev, unsigned char standard);
VARROK_API int rf_display(unsigned short icdev, unsigned char mode, unsigned char point, unsigned char* data);
VARROK_API int rf_flash_read(unsigned short icdev, unsigned short page, unsigned char offset, unsigned char length, unsigned char* data);
VARROK_API int rf_flash_write(unsigned short icdev, unsigned short page, unsigned char offset, unsigned char length, unsigned char* data);

/* ---- ISO 14443 Type A, MIFARE Classic, Ultralight ---------------------- */
/* Variable-length answers (data + len byte) need a 250-byte buffer unless a line says otherwise. */

/* Asks the field for cards: mode 0x26 idle cards only, anything else is sent as 0x52 (all cards).
 * A null atqa gives -5 before anything else. atqa: 2 bytes. */
VARROK_API int rf_ISO14443A_Request(unsigned short icdev, unsigned char mode, unsigned char* atqa);
/* Finds and selects one card: data = ATQA (2), SAK (1), then the UID; len = 3 + UID length. */
VARROK_API int rf_ISO14443A_GetCard(unsigned short icdev, unsigned char mode, unsigned char* data, unsigned char* len);
/* Anticollision of cascade level 1/2/3: 4 UID bytes. */
VARROK_API int rf_ISO14443A_AnticollisionLevel1(unsigned short icdev, unsigned char* uid);
VARROK_API int rf_ISO14443A_AnticollisionLevel2(unsigned short icdev, unsigned char* uid);
VARROK_API int rf_ISO14443A_AnticollisionLevel3(unsigned short icdev, unsigned char* uid);
/* Anticollision with the level (1-3, else -5) as an argument. */
VARROK_API int rf_anticollCLn(unsigned short icdev, unsigned char level, unsigned char* uid);
/* Selects the 4 UID bytes at cascade level 1/2/3; sak receives 1 byte. */
VARROK_API int rf_ISO14443A_SelectLevel1(unsigned short icdev, unsigned char* uid, unsigned char* sak);
VARROK_API int rf_ISO14443A_SelectLevel2(unsigned short icdev, unsigned char* uid, unsigned char* sak);
VARROK_API int rf_ISO14443A_SelectLevel3(unsigned short icdev, unsigned char* uid, unsigned char* sak);
/* Select with the level (1-3, else -5) as an argument. */
VARROK_API int rf_selectCLn(unsigned short icdev, unsigned char level, unsigned char* uid, unsigned char* sak);
/* Anticollision and select in one go; the reader's answer as it comes. */
VARROK_API int rf_ISO14443A_AnticollisionAndSelect(unsigned short icdev, unsigned char* data, unsigned char* len);
/* Anticollision for a UID of uidsize 4, 7 or 10 bytes (else -5). */
VARROK_API int rf_anticoll(unsigned short icdev, unsigned char uidsize, unsigned char* uid, unsigned char* len);
/* Selects the card with the uidlen-byte UID; sak receives 1 byte. */
VARROK_API int rf_select(unsigned short icdev, unsigned char* uid, unsigned char uidlen, unsigned char* sak);
/* Puts the selected card to sleep (HLTA). */
VARROK_API int rf_ISO14443A_Halt(unsigned short icdev);
/* Type A reset; the answer as it comes. */
VARROK_API int rf_typea_rst(unsigned short icdev, unsigned char mode, unsigned char* data, unsigned char* len);
/* MIFARE Classic authentication with a 6-byte key; mode 0x60 key A, 0x61 key B (else -5 before anything). */
VARROK_API int rf_M1_Authentication(unsigned short icdev, unsigned char mode, unsigned char block, unsigned char* key);
/* Authentication with key slot keyindex of the reader's store; mode 0x60/0x61 (else -1 before anything). */
VARROK_API int rf_M1_AuthenticateByDownloadedKey(unsigned short icdev, unsigned char mode, unsigned char block, unsigned char keyindex);
/* Stores a 6-byte key in the reader's slot keyindex (0-31, else -5). */
VARROK_API int rf_M1_DownloadKeyToReader(unsigned short icdev, unsigned char keyindex, unsigned char* key);
/* Reads a 16-byte block (on Ultralight: four pages from page `block`). */
VARROK_API int rf_M1_Read(unsigned short icdev, unsigned char block, unsigned char* data);
/* Same as rf_M1_Read. */
VARROK_API int rf_UltraLight_Read(unsigned short icdev, unsigned char block, unsigned char* data);
/* Writes a 16-byte block. */
VARROK_API int rf_M1_Write(unsigned short icdev, unsigned char block, unsigned char* data);
/* Reads count blocks from start into count*16 bytes; len gets the answer length even when it is wrong (-5). */
VARROK_API int rf_M1_MultiRead(unsigned short icdev, unsigned char start, unsigned char count, unsigned char* data, unsigned char* len);
/* Writes count (at most 15, else -5) blocks of 16 bytes from start. */
VARROK_API int rf_M1_MultiWrite(unsigned short icdev, unsigned char start, unsigned char count, unsigned char* data);
/* Formats a block as a value block holding value. */
VARROK_API int rf_M1_PurseCreate(unsigned short icdev, unsigned char block, int value);
/* Reads a value block's 4 value bytes, least significant first. */
VARROK_API int rf_M1_PurseRead(unsigned short icdev, unsigned char block, unsigned char* value);
/* Decrements a value block by value. */
VARROK_API int rf_M1_PurseDecrement(unsigned short icdev, unsigned char block, int value);
/* Increments a value block by value. */
VARROK_API int rf_M1_PurseIncrement(unsigned short icdev, unsigned char block, int value);
/* Loads a value block into the card's transfer buffer. */
VARROK_API int rf_M1_PurseRestore(unsigned short icdev, unsigned char block);
/* Writes the card's transfer buffer to a block. */
VARROK_API int rf_M1_PurseTransfer(unsigned short icdev, unsigned char block);
/* Copies value block src to dst (restore, then transfer); any failure is -5. */
VARROK_API int rf_M1_PurseBackup(unsigned short icdev, unsigned char src, unsigned char dst);
/* Writes one 4-byte Ultralight page. */
VARROK_API int rf_UltraLight_Write(unsigned short icdev, unsigned char page, unsigned char* data);
/* Ultralight C authentication with 16 bytes of key material. */
VARROK_API int rf_UltraLightC_Authentication(unsigned short icdev, unsigned char* data);
/* rf_ISO14443A_GetCard, and uidlen = len - 3 on success. */
VARROK_API int rf_search_type_a(unsigned short icdev, unsigned char mode, unsigned char* data, unsigned char* len, unsigned char* uidlen);
/* Selects any card (mode 0x52) and returns its UID alone; uid must hold 61 bytes (a UID is 4, 7 or 10). */
VARROK_API int rf_ul_select(unsigned short icdev, unsigned char* uid, unsigned char* uidlen);
/* Finds one card and its UID: ATQA 44 00 takes the Ultralight road (7-byte UID), any other the Classic road
 * (4-byte UID, selected). atqa: 2 bytes; uid: 250 bytes. Returns 0, or -1..-6 for the step that failed. */
VARROK_API int rf_getlockcardinfo(unsigned short icdev, unsigned char mode, unsigned char* uid, unsigned char* uidlen, unsigned char* atqa);

/* ---- ISO 14443 Type B, ISO 14443-4, ID cards, SAM slots ----------------- */

/* Type B request, mode 0 or 1 (else -5); 12-byte ATQB. */
VARROK_API int rf_ISO14443B_Request(unsigned short icdev, unsigned char mode, unsigned char* atqb);
/* Type B request with two reader parameters; 12-byte ATQB. */
VARROK_API int rf_ISO14443B_GetCard(unsigned short icdev, unsigned char mode, unsigned char param1, unsigned char param2, unsigned char* atqb);
/* ATTRIB for the card with this 4-byte PUPI. */
VARROK_API int rf_ISO14443B_Attribute(unsigned short icdev, unsigned char* pupi, unsigned char param);
/* HLTB for the card with this 4-byte PUPI. */
VARROK_API int rf_ISO14443B_Halt(unsigned short icdev, unsigned char* pupi);
/* RATS to a Type A card; its ATS. */
VARROK_API int rf_ISO14443_4_TypeA_RATS(unsigned short icdev, unsigned char* ats, unsigned char* len);
/* Sends an APDU (up to 251 bytes) to an ISO 14443-4 card; timeout in ms, 0 = 5100. */
VARROK_API int rf_ISO14443_4_COS(unsigned short icdev, unsigned char* apdu, unsigned char apdulen, unsigned char* resp, unsigned char* resplen, unsigned int timeout);
/* rf_ISO14443_4_COS with the default 5100 ms. */
VARROK_API int rf_cos_command(unsigned short icdev, unsigned char* apdu, unsigned char apdulen, unsigned char* resp, unsigned char* resplen);
/* Sends lead byte + APDU (up to 250 bytes, else -5) to an ISO 14443-4 card. */
VARROK_API int rf_typeb_cos(unsigned short icdev, unsigned char lead, unsigned char* apdu, unsigned char apdulen, unsigned char* resp, unsigned char* resplen);
/* Deselects the ISO 14443-4 card. */
VARROK_API int rf_cl_deselect(unsigned short icdev);
/* Requests an ID card; *len is set to 0 first, then to the answer length (buffer: 250 bytes). */
VARROK_API int rf_IDCard_Request(unsigned short icdev, unsigned char* data, int* len);
/* Sends a command to an ID card; *resplen is set to 0 first (resp: 250 bytes). */
VARROK_API int rf_IDCard_COS(unsigned short icdev, unsigned char* cmd, int cmdlen, unsigned char* resp, int* resplen);
/* Sets the baud rate identifier of SAM slot 1. */
VARROK_API int rf_init_sam(unsigned short icdev, unsigned char baudid);
/* Sets the baud rate identifier of SAM slot 1-4 (other values mean slot 1). */
VARROK_API int rf_init_sam_byid(unsigned short icdev, unsigned char slot, unsigned char baudid);
/* Resets the SAM in slot 1; its ATR. */
VARROK_API int rf_sam_rst(unsigned short icdev, unsigned char* atr, unsigned char* len);
/* Resets the SAM in slot 1-4; its ATR. */
VARROK_API int rf_sam_rst_byid(unsigned short icdev, unsigned char slot, unsigned char* atr, unsigned char* len);
/* Sends an APDU to the SAM in slot 1. */
VARROK_API int rf_sam_cos(unsigned short icdev, unsigned char* apdu, unsigned char apdulen, unsigned char* resp, unsigned char* resplen);
/* Sends an APDU to the SAM in slot 1-4. */
VARROK_API int rf_sam_cos_byid(unsigned short icdev, unsigned char slot, unsigned char* apdu, unsigned char apdulen, unsigned char* resp, unsigned char* resplen);
/* PPS of SAM slot 1-4 with a baud rate identifier. */
VARROK_API int rf_set_sam_pps_byid(unsigned short icdev, unsigned char slot, unsigned char baudid);
/* Sets the protocol of a SAM slot. */
VARROK_API int rf_sam_set_protocol_byid(unsigned short icdev, unsigned char slot, unsigned char protocol);
/* Baud rate identifier of a rate: 9600 0, 38400 1, 19200 2, 55800 3, 57600 4, 115200 5, 230400 6, others 0. */
VARROK_API unsigned char rf_SAM_GetBaudID(unsigned int baud);
/* SAM baud rate of any slot: 0 gives -1, 1-4 the per-slot command, 5 and up the slot in the request. */
VARROK_API int rf_SAM_InitBaudrate(unsigned short icdev, unsigned char slot, unsigned int baud);
/* Resets the SAM of any slot (as above); its ATR. */
VARROK_API int rf_SAM_RST(unsigned short icdev, unsigned char slot, unsigned char* atr, unsigned char* len);
/* PPS of any slot (as above). */
VARROK_API int rf_SAM_SetPPS(unsigned short icdev, unsigned char slot, unsigned int baud);
/* APDU to the SAM of any slot (as above); timeout (0 = 1500 ms) counts for slots 5 and up only. */
VARROK_API int rf_SAM_COS(unsigned short icdev, unsigned char slot, unsigned char* apdu, unsigned char apdulen, unsigned char* resp, unsigned char* resplen, unsigned int timeout);

/* ---- ISO 15693 and ICODE1 ---------------------------------------------- */

/* Inventory: DSFID and 8-byte UID (9 bytes); len gets the answer length even when it is not 9 (-5). */
VARROK_API int rf_ISO15693_Inventory(unsigned short icdev, unsigned char* data, unsigned char* len);
/* Inventory of several tags; the answer as it comes. */
VARROK_API int rf_ISO15693_MultiInventory(unsigned short icdev, unsigned char param1, unsigned char param2, unsigned char* data, unsigned char* len);
/* Sends the tag with this 8-byte UID to the quiet state. */
VARROK_API int rf_ISO15693_StayQuiet(unsigned short icdev, unsigned char* uid);
/* Selects the tag with this 8-byte UID. */
VARROK_API int rf_ISO15693_Select(unsigned short icdev, unsigned char* uid);
/* Returns a tag to the ready state. */
VARROK_API int rf_ISO15693_ResetToReady(unsigned short icdev, unsigned char flags, unsigned char* uid);
/* Reads count (below 16, else -5) blocks from block. */
VARROK_API int rf_ISO15693_Read(unsigned short icdev, unsigned char flags, unsigned char* uid, unsigned char block, unsigned char count, unsigned char* data, unsigned char* len);
/* Writes one 4-byte block. */
VARROK_API int rf_ISO15693_Write(unsigned short icdev, unsigned char flags, unsigned char* uid, unsigned char block, unsigned char* data);
/* Locks a block for good. */
VARROK_API int rf_ISO15693_LockBlock(unsigned short icdev, unsigned char flags, unsigned char* uid, unsigned char block);
/* Writes the AFI. */
VARROK_API int rf_ISO15693_WriteAFI(unsigned short icdev, unsigned char flags, unsigned char* uid, unsigned char afi);
/* Locks the AFI. */
VARROK_API int rf_ISO15693_LockAFI(unsigned short icdev, unsigned char flags, unsigned char* uid);
/* Writes the DSFID. */
VARROK_API int rf_ISO15693_WriteDSFID(unsigned short icdev, unsigned char flags, unsigned char* uid, unsigned char dsfid);
/* Locks the DSFID. */
VARROK_API int rf_ISO15693_LockDSFID(unsigned short icdev, unsigned char flags, unsigned char* uid);
/* The tag's system information, as it comes. */
VARROK_API int rf_ISO15693_GetSystemInfomation(unsigned short icdev, unsigned char flags, unsigned char* uid, unsigned char* data, unsigned char* len);
/* Lock status of count (below 64, else -1) blocks from block. */
VARROK_API int rf_ISO15693_GetBlockSecurity(unsigned short icdev, unsigned char flags, unsigned char* uid, unsigned char block, unsigned char count, unsigned char* data, unsigned char* len);
/* ICODE1 request: the label's 8-byte serial number. */
VARROK_API int rf_ICODE1_Request(unsigned short icdev, unsigned char* data);
/* Reads one 4-byte ICODE1 block. */
VARROK_API int rf_ICODE1_Read(unsigned short icdev, unsigned char block, unsigned char* data);
/* Writes one 4-byte ICODE1 block. */
VARROK_API int rf_ICODE1_Write(unsigned short icdev, unsigned char block, unsigned char* data);
/* Halts the ICODE1 label. */
VARROK_API int rf_ICODE1_Halt(unsigned short icdev);

/* ---- MIFARE Plus --------------------------------------------------------- */
/* Card addresses go most significant byte first; keys and blocks are 16 bytes. */

/* Level 0: writes 16 bytes of personalisation data at address. */
VARROK_API int rf_MFP_L0WritePerso(unsigned short icdev, unsigned short address, unsigned char* data);
/* Level 0: commits the personalisation. */
VARROK_API int rf_MFP_L0CommitPerso(unsigned short icdev);
/* Switches the card to level `level` with its 16-byte key. */
VARROK_API int rf_MFP_SwitchToHighLevel(unsigned short icdev, unsigned char level, unsigned char* key);
/* Authenticates for one block; keytype 0 key A, 1 key B. */
VARROK_API int rf_MFP_DataBlockAuthentication(unsigned short icdev, unsigned char keytype, unsigned short block, unsigned char* key);
/* First AES authentication with the key at keyaddr. */
VARROK_API int rf_MFP_FirstAuthentication(unsigned short icdev, unsigned short keyaddr, unsigned char* key);
/* Following AES authentication with the key at keyaddr. */
VARROK_API int rf_MFP_FollowingAuthentication(unsigned short icdev, unsigned short keyaddr, unsigned char* key);
/* Level 3: reads count blocks (count*16 bytes, else -5). */
VARROK_API int rf_MFP_L3Read(unsigned short icdev, unsigned short block, unsigned char count, unsigned char* data);
/* Level 3: writes count (at most 3, else -1) blocks. */
VARROK_API int rf_MFP_L3Write(unsigned short icdev, unsigned char block, unsigned char count, unsigned char* data);
/* Level 3: formats a value block. */
VARROK_API int rf_MFP_L3PurseCreate(unsigned short icdev, unsigned short block, int value);
/* Level 3: reads a value, 4 bytes least significant first; -5 unless the answer holds exactly 4 bytes. */
VARROK_API int rf_MFP_L3PurseRead(unsigned short icdev, unsigned short block, unsigned char* value);
/* Level 3: increments a value block. */
VARROK_API int rf_MFP_L3PurseIncrement(unsigned short icdev, unsigned short block, int value);
/* Level 3: decrements a value block. */
VARROK_API int rf_MFP_L3PurseDecrement(unsigned short icdev, unsigned short block, int value);
/* Level 3: copies value block src to dst. */
VARROK_API int rf_MFP_L3PurseBackup(unsigned short icdev, unsigned short src, unsigned short dst);

/* ---- DESFire --------------------------------------------------------------- */
/* AIDs are 24-bit; values are signed 32-bit. */

/* Authenticates with key keyno and a 16-byte key; 16 bytes of answer. */
VARROK_API int rf_DF_Authenticat(unsigned short icdev, unsigned char keyno, unsigned char* key, unsigned char* data);
/* Changes the key settings (8 bytes as the reader wants them). */
VARROK_API int rf_DF_ChangeKeySettings(unsigned short icdev, unsigned char* settings);
/* Reads the key settings: 2 bytes. */
VARROK_API int rf_DF_GetKeySetting(unsigned short icdev, unsigned char* data);
/* Changes key keyno (24 bytes of key data). */
VARROK_API int rf_DF_ChangeKey(unsigned short icdev, unsigned char keyno, unsigned char* keydata);
/* Reads the version of key keyno: 1 byte. */
VARROK_API int rf_DF_GetKeyVer(unsigned short icdev, unsigned char keyno, unsigned char* ver);
/* Creates an application. */
VARROK_API int rf_DF_CreateApp(unsigned short icdev, unsigned int aid, unsigned char keysettings, unsigned char numkeys);
/* Deletes an application. */
VARROK_API int rf_DF_DeletApp(unsigned short icdev, unsigned int aid);
/* Lists the applications: aids (250 bytes) gets the 3-byte AIDs, count their number; an empty answer is -5. */
VARROK_API int rf_DF_GetAppIDs(unsigned short icdev, unsigned char* aids, unsigned char* count);
/* Selects an application (0 = the card level). */
VARROK_API int rf_DF_SelectApp(unsigned short icdev, unsigned int aid);
/* Erases every application of the card. */
VARROK_API int rf_DF_FormatPICC(unsigned short icdev);
/* Reads the card's version information: 28 bytes. */
VARROK_API int rf_DF_GetVer(unsigned short icdev, unsigned char* data);
/* Lists the files of the application: ids (250 bytes), count; an empty answer is -5. */
VARROK_API int rf_DF_GetFileIDs(unsigned short icdev, unsigned char* ids, unsigned char* count);
/* Reads a file's settings, as they come. */
VARROK_API int rf_DF_GetFileSettings(unsigned short icdev, unsigned char fileno, unsigned char* data, unsigned char* len);
/* Changes a file's settings (len at most 249). */
VARROK_API int rf_DF_ChangeFileSettings(unsigned short icdev, unsigned char fileno, unsigned char* data, unsigned char len);
/* Creates a standard data file of size bytes; access: 2 bytes. */
VARROK_API int rf_DF_CreateStdDataFile(unsigned short icdev, unsigned char fileno, unsigned char comm, unsigned char* access, unsigned int size);
/* Creates a backup data file of size bytes (changes count on commit). */
VARROK_API int rf_DF_CreateBackupDataFile(unsigned short icdev, unsigned char fileno, unsigned char comm, unsigned char* access, unsigned int size);
/* Creates a value file with its limits, initial value and limited-credit flag. */
VARROK_API int rf_DF_CreateValueFile(unsigned short icdev, unsigned char fileno, unsigned char comm, unsigned char* access, int lower, int upper, int value, unsigned char limitedcredit);
/* Creates a linear record file. */
VARROK_API int rf_DF_CreateLinearRecordFile(unsigned short icdev, unsigned char fileno, unsigned char comm, unsigned char* access, unsigned int recsize, unsigned int maxrecs);
/* Creates a cyclic record file. */
VARROK_API int rf_DF_CreateCyclicRecordFile(unsigned short icdev, unsigned char fileno, unsigned char comm, unsigned char* access, unsigned int recsize, unsigned int maxrecs);
/* Deletes a file. */
VARROK_API int rf_DF_DeleteFile(unsigned short icdev, unsigned char fileno);
/* Reads length bytes from offset; data must hold `length` bytes, *len gets the count read.
 * An answer that announces more than asked for, or more than it carries, is -5. */
VARROK_API int rf_DF_ReadData(unsigned short icdev, unsigned char fileno, unsigned int offset, unsigned int length, unsigned char* data, unsigned int* len);
/* Writes length (at most 244, else -5) bytes at offset. */
VARROK_API int rf_DF_WriteData(unsigned short icdev, unsigned char fileno, unsigned int offset, unsigned int length, unsigned char* data);
/* Reads a value file. */
VARROK_API int rf_DF_GetValue(unsigned short icdev, unsigned char fileno, int* value);
/* Credits a value file. */
VARROK_API int rf_DF_Credit(unsigned short icdev, unsigned char fileno, int amount);
/* Debits a value file. */
VARROK_API int rf_DF_Debit(unsigned short icdev, unsigned char fileno, int amount);
/* Limited credit of a value file. */
VARROK_API int rf_DF_LimitedCredit(unsigned short icdev, unsigned char fileno, int amount);
/* Writes length (at most 244, else -5) bytes into a record file at offset. */
VARROK_API int rf_DF_WriteRecord(unsigned short icdev, unsigned char fileno, unsigned int offset, unsigned int length, unsigned char* data);
/* Reads count records from offset; data must hold 247 bytes; an empty answer is -5. */
VARROK_API int rf_DF_ReadRecord(unsigned short icdev, unsigned char fileno, unsigned int offset, unsigned int count, unsigned char* data, unsigned int* len);
/* Clears a record file. */
VARROK_API int rf_DF_ClearRecordFile(unsigned short icdev, unsigned char fileno);
/* Commits the pending changes of backup, value and record files. */
VARROK_API int rf_DF_CommitTransaction(unsigned short icdev);
/* Drops the pending changes. */
VARROK_API int rf_DF_AbortTransaction(unsigned short icdev);

/* ---- ST SR176 / SRIX, AT88RF020 / AT88RF080, USSEN ----------------------- */

/* Selects an ST tag; its 1-byte chip ID. */
VARROK_API int rf_ST_GetCard(unsigned short icdev, unsigned char* chipid);
VARROK_API int rf_ST_Select(unsigned short icdev, unsigned char* chipid);
VARROK_API int rf_ST_SR176_Select(unsigned short icdev, unsigned char* chipid);
VARROK_API int rf_ST_SRI_Select(unsigned short icdev, unsigned char* chipid);
VARROK_API int rf_st_select(unsigned short icdev, unsigned char* chipid);
/* Ends work with the ST tag. */
VARROK_API int rf_ST_Completion(unsigned short icdev);
VARROK_API int rf_ST_SR176_Completion(unsigned short icdev);
VARROK_API int rf_ST_SRI_Completion(unsigned short icdev);
VARROK_API int rf_st_completion(unsigned short icdev);
/* SR176: reads one 2-byte block. */
VARROK_API int rf_ST_SR176_ReadBlock(unsigned short icdev, unsigned char block, unsigned char* data);
/* SR176: writes one 2-byte block. */
VARROK_API int rf_ST_SR176_WriteBlock(unsigned short icdev, unsigned char block, unsigned char* data);
/* SR176: protects blocks (protection byte passed as is). */
VARROK_API int rf_ST_SR176_ProtectBlock(unsigned short icdev, unsigned char value);
/* SR176: reads the protection register (1 byte). */
VARROK_API int rf_ST_SR176_GetProtectReg(unsigned short icdev, unsigned char* reg);
/* SR176: reads count blocks (count*2 bytes; len written first). */
VARROK_API int rf_ST_SR176_MultiRead(unsigned short icdev, unsigned char start, unsigned char count, unsigned char* data, unsigned char* len);
/* SR176: writes count (at most 124) blocks. */
VARROK_API int rf_ST_SR176_MultiWrite(unsigned short icdev, unsigned char start, unsigned char count, unsigned char* data);
/* SRIX: reads one 4-byte block. */
VARROK_API int rf_ST_SRI_ReadBlock(unsigned short icdev, unsigned char block, unsigned char* data);
/* SRIX: writes one 4-byte block. */
VARROK_API int rf_ST_SRI_WriteBlock(unsigned short icdev, unsigned char block, unsigned char* data);
/* SRIX4K: authentication with 6 bytes; 3 bytes of answer. */
VARROK_API int rf_ST_SRIX_Authenticate(unsigned short icdev, unsigned char* data, unsigned char* resp);
/* SRIX: the 8-byte UID. */
VARROK_API int rf_ST_SRI_GetUID(unsigned short icdev, unsigned char* uid);
/* SRIX: writes the lock register. */
VARROK_API int rf_ST_SRI_WriteLockReg(unsigned short icdev, unsigned char value);
/* SRIX: reads count blocks (count*4 bytes; len written first). */
VARROK_API int rf_ST_SRI_MultiRead(unsigned short icdev, unsigned char start, unsigned char count, unsigned char* data, unsigned char* len);
/* SRIX: writes count (at most 62) blocks. */
VARROK_API int rf_ST_SRI_MultiWrite(unsigned short icdev, unsigned char start, unsigned char count, unsigned char* data);
/* AT88RF020: checks the 8-byte password. */
VARROK_API int rf_AT88RF020_Check(unsigned short icdev, unsigned char* key);
/* AT88RF020: reads one 8-byte page. */
VARROK_API int rf_AT88RF020_Read(unsigned short icdev, unsigned char page, unsigned char* data);
/* AT88RF020: writes one 8-byte page. */
VARROK_API int rf_AT88RF020_write(unsigned short icdev, unsigned char page, unsigned char* data);
/* AT88RF020: lock (4 bytes). */
VARROK_API int rf_AT88RF020_Lock(unsigned short icdev, unsigned char* data);
/* AT88RF020: count (6 bytes). */
VARROK_API int rf_AT88RF020_Count(unsigned short icdev, unsigned char* data);
/* AT88RF020: deselect. */
VARROK_API int rf_AT88RF020_Deselect(unsigned short icdev);
/* AT88RF020: reads count pages (count*8 bytes; len written first). */
VARROK_API int rf_AT88RF020_MultiRead(unsigned short icdev, unsigned char start, unsigned char count, unsigned char* data, unsigned char* len);
/* AT88RF020: writes count (at most 31) pages. */
VARROK_API int rf_AT88RF020_MultiWrite(unsigned short icdev, unsigned char start, unsigned char count, unsigned char* data);
/* AT88RF080 request: 8 bytes, and len = 8 on success. */
VARROK_API int rf_AT88RF080_Request(unsigned short icdev, unsigned char param1, unsigned char param2, unsigned char* data, unsigned char* len);
/* USSEN: get card (mode 0x26 idle, anything else 0x52). */
VARROK_API int rf_USSEN_GetCard(unsigned short icdev, unsigned char mode, unsigned char* data, unsigned char* len);
/* USSEN: get card with parameters (param: 24 bits). */
VARROK_API int rf_USSEN_GetCard_D(unsigned short icdev, unsigned char mode, unsigned char* data, unsigned char* len, unsigned int param, unsigned char b1, unsigned char b2, unsigned char b3, unsigned char b4);
/* USSEN: reads *len bytes of memory; *len becomes the count received. */
VARROK_API int rf_USSEN_GetMem(unsigned short icdev, unsigned char* data, unsigned char* len);
/* USSEN: writes len (at most 249) bytes of memory. */
VARROK_API int rf_USSEN_SetMem(unsigned short icdev, unsigned char* data, unsigned char len);

/* ---- Older names ----------------------------------------------------------- */
/* Each behaves as the newer call named beside it. "len first": the extra length
 * argument receives the fixed answer length before the call, whatever it returns. */

VARROK_API int rf_request(unsigned short icdev, unsigned char mode, unsigned char* atqa);            /* rf_ISO14443A_Request */
VARROK_API int rf_halt(unsigned short icdev);                                                        /* rf_ISO14443A_Halt */
VARROK_API int rf_M1_authentication1(unsigned short icdev, unsigned char mode, unsigned char block, unsigned char keyindex); /* rf_M1_AuthenticateByDownloadedKey */
VARROK_API int rf_M1_authentication2(unsigned short icdev, unsigned char mode, unsigned char block, unsigned char* key);    /* rf_M1_Authentication */
VARROK_API int rf_download_key(unsigned short icdev, unsigned char keyindex, unsigned char* key);     /* rf_M1_DownloadKeyToReader */
VARROK_API int rf_M1_read(unsigned short icdev, unsigned char block, unsigned char* data, unsigned char* len); /* rf_M1_Read, len 16 first */
VARROK_API int rf_M1_write(unsigned short icdev, unsigned char block, unsigned char* data);           /* rf_M1_Write */
VARROK_API int rf_M1_multi_read(unsigned short icdev, unsigned char start, unsigned char count, unsigned char* data, unsigned char* len); /* rf_M1_MultiRead */
VARROK_API int rf_M1_multi_write(unsigned short icdev, unsigned char start, unsigned char count, unsigned char* data); /* rf_M1_MultiWrite */
VARROK_API int rf_M1_initval(unsigned short icdev, unsigned char block, int value);                  /* rf_M1_PurseCreate */
VARROK_API int rf_M1_readval(unsigned short icdev, unsigned char block, unsigned char* value);        /* rf_M1_PurseRead */
VARROK_API int rf_M1_increment(unsigned short icdev, unsigned char block, int value);                /* rf_M1_PurseIncrement */
VARROK_API int rf_M1_decrement(unsigned short icdev, unsigned char block, int value);                /* rf_M1_PurseDecrement */
VARROK_API int rf_M1_restore(unsigned short icdev, unsigned char block);                             /* rf_M1_PurseRestore */
VARROK_API int rf_M1_transfer(unsigned short icdev, unsigned char block);                            /* rf_M1_PurseTransfer */
VARROK_API int rf_ul_write(unsigned short icdev, unsigned char page, unsigned char* data);            /* rf_UltraLight_Write */
VARROK_API int rf_atqb(unsigned short icdev, unsigned char mode, unsigned char* atqb, unsigned char* len); /* rf_ISO14443B_Request, len 12 first */
VARROK_API int rf_attrib(unsigned short icdev, unsigned int pupi, unsigned char param);               /* rf_ISO14443B_Attribute, PUPI = pupi's bytes in memory order */
VARROK_API int rf_hltb(unsigned short icdev, unsigned int pupi);                                     /* rf_ISO14443B_Halt, same PUPI rule */
VARROK_API int rf_iso14443_4_type_a_reset(unsigned short icdev, unsigned char* ats, unsigned char* len); /* rf_ISO14443_4_TypeA_RATS */
VARROK_API int rf_request_Identify(unsigned short icdev, unsigned char* data, int* len);              /* rf_IDCard_Request */
VARROK_API int rf_sendcos_Identify(unsigned short icdev, unsigned char* cmd, int cmdlen, unsigned char* resp, int* resplen); /* rf_IDCard_COS */
VARROK_API int ISO15693_Inventory(unsigned short icdev, unsigned char* data, unsigned char* len);
VARROK_API int ISO15693_MultiInventory(unsigned short icdev, unsigned char param1, unsigned char param2, unsigned char* data, unsigned char* len);
VARROK_API int ISO15693_Stay_Quiet(unsigned short icdev, unsigned char* uid);
VARROK_API int ISO15693_Select(unsigned short icdev, unsigned char* uid);
VARROK_API int ISO15693_Reset_To_Ready(unsigned short icdev, unsigned char flags, unsigned char* uid);
VARROK_API int ISO15693_Read(unsigned short icdev, unsigned char flags, unsigned char* uid, unsigned char block, unsigned char count, unsigned char* data, unsigned char* len);
VARROK_API int ISO15693_Write(unsigned short icdev, unsigned char flags, unsigned char* uid, unsigned char block, unsigned char* data);
VARROK_API int ISO15693_Lock_Block(unsigned short icdev, unsigned char flags, unsigned char* uid, unsigned char block);
VARROK_API int ISO15693_Write_AFI(unsigned short icdev, unsigned char flags, unsigned char* uid, unsigned char afi);
VARROK_API int ISO15693_Lock_AFI(unsigned short icdev, unsigned char flags, unsigned char* uid);
VARROK_API int ISO15693_Write_DSFID(unsigned short icdev, unsigned char flags, unsigned char* uid, unsigned char dsfid);
VARROK_API int ISO15693_Lock_DSFID(unsigned short icdev, unsigned char flags, unsigned char* uid);
VARROK_API int ISO15693_Get_System_Information(unsigned short icdev, unsigned char flags, unsigned char* uid, unsigned char* data, unsigned char* len);
VARROK_API int ISO15693_Get_Block_Security(unsigned short icdev, unsigned char flags, unsigned char* uid, unsigned char block, unsigned char count, unsigned char* data, unsigned char* len);
VARROK_API int MFP_L0WritePerso(unsigned short icdev, unsigned short address, unsigned char* data);
VARROK_API int MFP_L0CommitPerso(unsigned short icdev);
VARROK_API int MFP_SwitchToHighLevel(unsigned short icdev, unsigned char level, unsigned char* key);
VARROK_API int MFP_FirstAuthentication(unsigned short icdev, unsigned short keyaddr, unsigned char* key);
VARROK_API int MFP_FollowingAuthentication(unsigned short icdev, unsigned short keyaddr, unsigned char* key);
/* The MFP_ names below take a one-byte block: blocks 0-255 only. */
VARROK_API int MFP_DataBlockAuthentication(unsigned short icdev, unsigned char keytype, unsigned char block, unsigned char* key);
VARROK_API int MFP_L3ReadDataBlock(unsigned short icdev, unsigned char block, unsigned char count, unsigned char* data);
VARROK_API int MFP_L3CommonRead(unsigned short icdev, unsigned char block, unsigned char count, unsigned char* data);
VARROK_API int MFP_L3WriteDataBlock(unsigned short icdev, unsigned char block, unsigned char count, unsigned char* data);
VARROK_API int MFP_L3CommonWrite(unsigned short icdev, unsigned char block, unsigned char count, unsigned char* data);
VARROK_API int MFP_L3PurseInitial(unsigned short icdev, unsigned char block, int value);
VARROK_API int MFP_L3PurseRead(unsigned short icdev, unsigned char block, unsigned char* value);
VARROK_API int MFP_L3PurseIncrement(unsigned short icdev, unsigned char block, int value);
VARROK_API int MFP_L3PurseDecrement(unsigned short icdev, unsigned char block, int value);
VARROK_API int MFP_L3PurseBackup(unsigned short icdev, unsigned char src, unsigned char dst);
VARROK_API int rf_sr176_readblock(unsigned short icdev, unsigned char block, unsigned char* data, unsigned char* len); /* len 2 first */
VARROK_API int rf_sr176_writeblock(unsigned short icdev, unsigned char block, unsigned char* data);
VARROK_API int rf_sr176_multi_read(unsigned short icdev, unsigned char start, unsigned char count, unsigned char* data, unsigned char* len);
VARROK_API int rf_sr176_multi_write(unsigned short icdev, unsigned char start, unsigned char count, unsigned char* data);
VARROK_API int rf_sr176_protectblock(unsigned short icdev, unsigned char value);
VARROK_API int rf_sr176_getprotectreg(unsigned short icdev, unsigned char* reg);
VARROK_API int rf_srix4k_getuid(unsigned short icdev, unsigned char* uid, unsigned char* len);        /* len 8 first */
VARROK_API int rf_srix4k_readblock(unsigned short icdev, unsigned char block, unsigned char* data, unsigned char* len); /* len 4 first */
VARROK_API int rf_srix4k_writeblock(unsigned short icdev, unsigned char block, unsigned char* data);
VARROK_API int rf_srix4k_multi_read(unsigned short icdev, unsigned char start, unsigned char count, unsigned char* data, unsigned char* len);
VARROK_API int rf_srix4k_multi_write(unsigned short icdev, unsigned char start, unsigned char count, unsigned char* data);
VARROK_API int rf_srix4k_authenticate(unsigned short icdev, unsigned char* data, unsigned char* resp, unsigned char* len); /* len 3 first */
VARROK_API int rf_srix4k_writelockreg(unsigned short icdev, unsigned char value);
VARROK_API int rf_at020_check(unsigned short icdev, unsigned char* key);
VARROK_API int rf_at020_read(unsigned short icdev, unsigned char page, unsigned char* data, unsigned char* len); /* len 8 first */
VARROK_API int rf_at020_write(unsigned short icdev, unsigned char page, unsigned char* data);
VARROK_API int rf_at020_multi_read(unsigned short icdev, unsigned char start, unsigned char count, unsigned char* data, unsigned char* len);
VARROK_API int rf_at020_multi_write(unsigned short icdev, unsigned char start, unsigned char count, unsigned char* data);
VARROK_API int rf_at020_lock(unsigned short icdev, unsigned char* data);
VARROK_API int rf_at020_count(unsigned short icdev, unsigned char* data);
VARROK_API int rf_at020_deselect(unsigned short icdev);
VARROK_API int rf_request_080(unsigned short icdev, unsigned char param1, unsigned char param2, unsigned char* data, unsigned char* len);

/* ---- Connections of the card tool ------------------------------------------ */
/* Open a reader (serial port number and baud rate, or IPv4 text and TCP port) and return a
 * connection handle >= 0x1000, or -1. Its low 16 bits are the icdev of every later call: it
 * reaches this reader alone, and frames carry the reader's own device address (read at connect
 * time; rf_Reader_SetID through the handle follows a change). Several connections may be open.
 * A handle is never a device address bound by ReaderHandshake, nor one closed less than a full
 * round of the 0xF000 handles ago; with every handle taken the call closes the reader and gives -1. */
VARROK_API int rf_init_com(int port, int baud);
VARROK_API int rf_init_net(const char* address, int port);
/* Closes the connection whose handle has these low 16 bits: 0, or -6 when there is none. */
VARROK_API int rf_ClosePortVer5(unsigned short icdev);

/* ---- DES service (host-side, no reader involved) ------------------------ */
/* ECB over len/8 whole blocks; a tail of len%8 bytes is left alone. A key of up to 8 (keylen <= 0: all zero)
 * bytes is single DES (zero-padded), 9-16 bytes two-key triple DES (K2 zero-padded).
 * dst may equal src; src is never modified otherwise. 0, or -5 for a null pointer. */
VARROK_API int rf_DES_Encrypt(unsigned char* dst, const unsigned char* src, int len, const unsigned char* key, int keylen);
VARROK_API int rf_DES_Decrypt(unsigned char* dst, const unsigned char* src, int len, const unsigned char* key, int keylen);
VARROK_API int des_encrypt(unsigned char* dst, const unsigned char* src, int len, const unsigned char* key, int keylen);
VARROK_API int des_decrypt(unsigned char* dst, const unsigned char* src, int len, const unsigned char* key, int keylen);

#ifdef __cplusplus
}
#endif

#endif /* VARROK_H */
