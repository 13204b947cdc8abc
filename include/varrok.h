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
 * Calls are not thread-safe: serialise every call into the library.
 */
#ifndef VARROK_H
#define VARROK_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(VARROK_BUILDING)
#define VARROK_API __attribute__((visibility("default")))
#else
#define VARROK_API
#endif

/* ---- Reader connections ------------------------------------------------ */

/* Opens a reader: "COM<n>:<baud>" (serial) or "TCP://<a.b.c.d>:<port>"; any case.
 * Returns a handle (never 0 or -1), or -1. Re-opening the same port replaces it.
 * COM<n> maps to a device path: $VARROK_COM<n> if set, else COM1-32 -> /dev/ttyS0-31,
 * COM33-64 -> /dev/ttyUSB0-31, COM65-96 -> /dev/ttyACM0-31; higher numbers have no device. */
VARROK_API long long ReaderOpen(const char* text);
/* Closes one reader, or every reader with handle 0. 0, or -6 for an unknown handle. */
VARROK_API int ReaderClose(long long handle);
/* Asks device address `icdev` on this reader to answer (50 ms) and routes that address to it. 0, -5, -6. */
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

/* ---- DES service (host-side, no reader involved) ------------------------ */
/* ECB over len/8 whole blocks; a tail of len%8 bytes is left alone. A key of up to 8
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
