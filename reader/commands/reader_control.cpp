// The reader's own peripherals and identity.
#include "commands/command.h"
#include "link/readers.h"
#include "varrok.h"

#include <cstdlib>

using varrok::Command;

namespace {

// Seven-segment patterns of the digits 0-9, and 10 for a blank digit.
constexpr unsigned char kSegments[11] = {0x7E, 0x30, 0x6D, 0x79, 0x33, 0x5B, 0x5F, 0x70, 0x7F, 0x7B, 0x00};

} // namespace

extern "C" {

VARROK_API int rf_Reader_SetID(unsigned short icdev, unsigned short newid) {
    const int rc = Command(icdev, 0x02, 100).be16(newid).none();
    // A card-tool connection keeps reaching its reader under the new address.
    if (rc == 0) varrok::readdressAlias(icdev, newid);
    return rc;
}

VARROK_API int rf_Reader_GetID(unsigned short icdev, unsigned short* id) {
    // Asked of address 0, which every reader answers with its own address.
    return Command(icdev, 0x03, 100).addressedTo(0).out(id).answer([id](const varrok::CCommPacket& f) {
        *id = f.responseAddress();
        return 0;
    });
}

VARROK_API int rf_Reader_GetFirmwareVer(unsigned short icdev, unsigned char* ver) {
    return varrok::settle(Command(icdev, 0x04, 100).exact(2, ver));
}

VARROK_API int rf_Reader_GetSN(unsigned short icdev, unsigned char* sn) {
    return varrok::settle(Command(icdev, 0x05, 200).exact(8, sn));
}

VARROK_API int rf_Reader_SetBeep(unsigned short icdev, unsigned char time) {
    return Command(icdev, 0x06, 100).u8(time).none();
}

VARROK_API int rf_Reader_SetISOType(unsigned short icdev, unsigned char type) {
    return Command(icdev, 0x0A, 100).u8(type).none();
}

VARROK_API int rf_Reader_SetAntenna(unsigned short icdev, unsigned char state) {
    return Command(icdev, 0x0B, 100).check(state <= 1).u8(state).none();
}

VARROK_API int rf_Reader_AntennaON(unsigned short icdev) { return rf_Reader_SetAntenna(icdev, 1); }
VARROK_API int rf_Reader_AntennaOFF(unsigned short icdev) { return rf_Reader_SetAntenna(icdev, 0); }

VARROK_API int rf_Reader_SetLight(unsigned short icdev, unsigned char color) {
    return Command(icdev, 0x27, 200).u8(color).none();
}

VARROK_API int rf_Reader_SetAuthenticationStandard(unsigned short icdev, unsigned char standard) {
    return Command(icdev, 0x35, 100).u8(standard).none();
}

VARROK_API int rf_Reader_DigtalDisplay(unsigned short icdev, unsigned char mode, unsigned char point,
                                       unsigned char* data) {
    Command cmd(icdev, 0x60, 200);
    cmd.check(data != nullptr);
    if (data == nullptr) return cmd.empty();
    unsigned char segments[8];
    for (int i = 0; i < 8; ++i) {
        if (mode == 0) {
            segments[i] = data[i];
            continue;
        }
        cmd.check(data[i] <= 10);
        segments[i] = data[i] <= 10 ? kSegments[data[i]] : 0;
    }
    if (mode != 0) {
        cmd.check(point <= 8);
        if (point >= 1 && point <= 8) segments[point - 1] |= 0x80;
    }
    return cmd.bytes(segments, 8).empty();
}

VARROK_API int rf_Reader_FlashRead(unsigned short icdev, unsigned short page, unsigned char offset,
                                   unsigned char length, unsigned char* data) {
    return Command(icdev, 0x61, 200)
        .check(offset + length <= 256 && length <= 200, VARROK_REJECTED)
        .be16(page)
        .u8(offset)
        .u8(length)
        .exact(length, data);
}

VARROK_API int rf_Reader_FlashWrite(unsigned short icdev, unsigned short page, unsigned char offset,
                                    unsigned char length, unsigned char* data) {
    // A null page buffer is refused even for an empty write, as the read refuses it.
    return Command(icdev, 0x62, 200)
        .check(offset + length <= 256 && length <= 224, VARROK_REJECTED)
        .check(data != nullptr)
        .be16(page)
        .u8(offset)
        .u8(length)
        .bytes(data, length)
        .empty();
}

VARROK_API void rf_free(void* p) { std::free(p); }

// Older names of the same commands.
VARROK_API int rf_init_device_number(unsigned short icdev, unsigned short newid) {
    return rf_Reader_SetID(icdev, newid);
}
VARROK_API int rf_get_device_number(unsigned short icdev, unsigned short* id) {
    return rf_Reader_GetID(icdev, id);
}
VARROK_API int rf_get_model(unsigned short icdev, unsigned char* ver) {
    return rf_Reader_GetFirmwareVer(icdev, ver);
}
VARROK_API int rf_get_snr(unsigned short icdev, unsigned char* sn) { return rf_Reader_GetSN(icdev, sn); }
VARROK_API int rf_beep(unsigned short icdev, unsigned char time) { return rf_Reader_SetBeep(icdev, time); }
VARROK_API int rf_init_type(unsigned short icdev, unsigned char type) {
    return rf_Reader_SetISOType(icdev, type);
}
VARROK_API int rf_antenna_sta(unsigned short icdev, unsigned char state) {
    return rf_Reader_SetAntenna(icdev, state);
}
VARROK_API int rf_light(unsigned short icdev, unsigned char color)
    __attribute__((alias("rf_Reader_SetLight")));
VARROK_API int rf_Reader_SetLed(unsigned short icdev, unsigned char color)
    __attribute__((alias("rf_Reader_SetLight")));
VARROK_API int rf_set_authentication_standard(unsigned short icdev, unsigned char standard) {
    return rf_Reader_SetAuthenticationStandard(icdev, standard);
}
VARROK_API int rf_display(unsigned short icdev, unsigned char mode, unsigned char point,
                          unsigned char* data) {
    return rf_Reader_DigtalDisplay(icdev, mode, point, data);
}
VARROK_API int rf_flash_read(unsigned short icdev, unsigned short page, unsigned char offset,
                             unsigned char length, unsigned char* data) {
    return rf_Reader_FlashRead(icdev, page, offset, length, data);
}
VARROK_API int rf_flash_write(unsigned short icdev, unsigned short page, unsigned char offset,
                              unsigned char length, unsigned char* data) {
    return rf_Reader_FlashWrite(icdev, page, offset, length, data);
}

} // extern "C"
