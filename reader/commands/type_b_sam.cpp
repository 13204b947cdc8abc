// ISO 14443 Type B, APDUs to ISO 14443-4 cards, ID cards and the contact SAM slots.
#include "commands/command.h"
#include "link/readers.h"
#include "varrok.h"

#include <cstring>

using varrok::Command;

namespace {

// Command codes of the older SAM functions, one per slot; any slot other
// than 2 to 4 is served as slot 1.
struct SlotCodes {
    unsigned char baud, reset, apdu, pps;
};
constexpr SlotCodes kSlots[] = {
    {0x07, 0x08, 0x09, 0x84}, {0x6C, 0x66, 0x67, 0x85}, {0x6D, 0x68, 0x69, 0x86}, {0x6E, 0x6A, 0x6B, 0x87}};

const SlotCodes& slotCodes(unsigned char slot) { return kSlots[slot >= 2 && slot <= 4 ? slot - 1 : 0]; }

// The length of an ID-card answer, with the buffer size the caller's int may promise.
int idCardAnswer(const varrok::CCommPacket& f, unsigned char* dst, int* len) {
    *len = f.dataLength();
    f.copyData(dst, f.dataLength());
    return 0;
}

} // namespace

extern "C" {

VARROK_API int rf_ISO14443B_Request(unsigned short icdev, unsigned char mode, unsigned char* atqb) {
    return Command(icdev, 0x1D, 200).check(mode <= 1).u8(mode).exact(12, atqb);
}

VARROK_API int rf_ISO14443B_GetCard(unsigned short icdev, unsigned char mode, unsigned char param1,
                                    unsigned char param2, unsigned char* atqb) {
    return Command(icdev, 0x97, 200).check(mode <= 1).u8(mode).u8(param1).u8(param2).exact(12, atqb);
}

VARROK_API int rf_ISO14443B_Attribute(unsigned short icdev, unsigned char* pupi, unsigned char param) {
    return Command(icdev, 0x1E, 200).bytes(pupi, 4).u8(param).none();
}

VARROK_API int rf_ISO14443B_Halt(unsigned short icdev, unsigned char* pupi) {
    return Command(icdev, 0x20, 200).bytes(pupi, 4).none();
}

VARROK_API int rf_ISO14443_4_TypeA_RATS(unsigned short icdev, unsigned char* ats, unsigned char* len) {
    return Command(icdev, 0x1F, 200).variable(ats, len);
}

VARROK_API int rf_ISO14443_4_COS(unsigned short icdev, unsigned char* apdu, unsigned char apdulen,
                                 unsigned char* resp, unsigned char* resplen, unsigned int timeout) {
    return Command(icdev, 0x1C, timeout == 0 ? 5100 : timeout).bytes(apdu, apdulen).variable(resp, resplen);
}

VARROK_API int rf_cos_command(unsigned short icdev, unsigned char* apdu, unsigned char apdulen,
                              unsigned char* resp, unsigned char* resplen) {
    return rf_ISO14443_4_COS(icdev, apdu, apdulen, resp, resplen, 0);
}

VARROK_API int rf_typeb_cos(unsigned short icdev, unsigned char lead, unsigned char* apdu,
                            unsigned char apdulen, unsigned char* resp, unsigned char* resplen) {
    // Lead byte and APDU go out as one request; more than 250 APDU bytes
    // cannot share a frame with the lead byte.
    if (varrok::findTransport(icdev) != nullptr && (apdulen > 250 || (apdu == nullptr && apdulen > 0)))
        return VARROK_LINK_FAILURE;
    unsigned char request[512];
    request[0] = lead;
    if (apdulen > 0 && apdu != nullptr) std::memcpy(request + 1, apdu, apdulen);
    return rf_ISO14443_4_COS(icdev, request, static_cast<unsigned char>(apdulen + 1), resp, resplen, 0);
}

VARROK_API int rf_cl_deselect(unsigned short icdev) { return Command(icdev, 0x28, 200).none(); }

VARROK_API int rf_IDCard_Request(unsigned short icdev, unsigned char* data, int* len) {
    if (len != nullptr) *len = 0;
    return Command(icdev, 0xFD, 200).out(data).out(len).answer([&](const varrok::CCommPacket& f) {
        return idCardAnswer(f, data, len);
    });
}

VARROK_API int rf_IDCard_COS(unsigned short icdev, unsigned char* cmd, int cmdlen, unsigned char* resp,
                             int* resplen) {
    if (resplen != nullptr) *resplen = 0;
    return Command(icdev, 0xFE, 200)
        .check(cmdlen >= 0)
        .bytes(cmd, cmdlen)
        .out(resp)
        .out(resplen)
        .answer([&](const varrok::CCommPacket& f) { return idCardAnswer(f, resp, resplen); });
}

VARROK_API int rf_init_sam(unsigned short icdev, unsigned char baudid) {
    return Command(icdev, 0x07, 200).u8(baudid).none();
}

VARROK_API int rf_init_sam_byid(unsigned short icdev, unsigned char slot, unsigned char baudid) {
    return Command(icdev, slotCodes(slot).baud, 200).u8(baudid).none();
}

VARROK_API int rf_sam_rst(unsigned short icdev, unsigned char* atr, unsigned char* len) {
    return Command(icdev, 0x08, 100).variable(atr, len);
}

VARROK_API int rf_sam_rst_byid(unsigned short icdev, unsigned char slot, unsigned char* atr,
                               unsigned char* len) {
    return Command(icdev, slotCodes(slot).reset, 3000).variable(atr, len);
}

VARROK_API int rf_sam_cos(unsigned short icdev, unsigned char* apdu, unsigned char apdulen,
                          unsigned char* resp, unsigned char* resplen) {
    return Command(icdev, 0x09, 1500).bytes(apdu, apdulen).variable(resp, resplen);
}

VARROK_API int rf_sam_cos_byid(unsigned short icdev, unsigned char slot, unsigned char* apdu,
                               unsigned char apdulen, unsigned char* resp, unsigned char* resplen) {
    return Command(icdev, slotCodes(slot).apdu, 1500).bytes(apdu, apdulen).variable(resp, resplen);
}

VARROK_API int rf_set_sam_pps_byid(unsigned short icdev, unsigned char slot, unsigned char baudid) {
    return Command(icdev, slotCodes(slot).pps, 200).u8(baudid).none();
}

VARROK_API int rf_sam_set_protocol_byid(unsigned short icdev, unsigned char slot, unsigned char protocol) {
    return Command(icdev, 0x6A, 200).u8(slot).u8(protocol).none();
}

VARROK_API unsigned char rf_SAM_GetBaudID(unsigned int baud) {
    switch (baud) {
    case 19200:
        return 2;
    case 38400:
        return 1;
    case 55800:
        return 3;
    case 57600:
        return 4;
    case 115200:
        return 5;
    case 230400:
        return 6;
    default:
        return 0; // 9600 and any rate the slots do not know
    }
}

VARROK_API int rf_SAM_InitBaudrate(unsigned short icdev, unsigned char slot, unsigned int baud) {
    if (slot == 0) return VARROK_REJECTED;
    if (slot <= 4) return rf_init_sam_byid(icdev, slot, rf_SAM_GetBaudID(baud));
    return Command(icdev, 0x90, 100).u8(slot).u8(rf_SAM_GetBaudID(baud)).none();
}

VARROK_API int rf_SAM_RST(unsigned short icdev, unsigned char slot, unsigned char* atr, unsigned char* len) {
    if (slot == 0) return VARROK_REJECTED;
    if (slot <= 4) return rf_sam_rst_byid(icdev, slot, atr, len);
    return Command(icdev, 0x91, 3000).u8(slot).variable(atr, len);
}

VARROK_API int rf_SAM_SetPPS(unsigned short icdev, unsigned char slot, unsigned int baud) {
    if (slot == 0) return VARROK_REJECTED;
    if (slot <= 4) return rf_set_sam_pps_byid(icdev, slot, rf_SAM_GetBaudID(baud));
    return Command(icdev, 0x92, 100).u8(slot).u8(rf_SAM_GetBaudID(baud)).none();
}

VARROK_API int rf_SAM_COS(unsigned short icdev, unsigned char slot, unsigned char* apdu,
                          unsigned char apdulen, unsigned char* resp, unsigned char* resplen,
                          unsigned int timeout) {
    if (slot == 0) return VARROK_REJECTED;
    if (slot <= 4) return rf_sam_cos_byid(icdev, slot, apdu, apdulen, resp, resplen);
    return Command(icdev, 0x93, timeout == 0 ? 1500 : timeout)
        .u8(slot)
        .bytes(apdu, apdulen)
        .variable(resp, resplen);
}

} // extern "C"
