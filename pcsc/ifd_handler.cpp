// The entry points pcscd calls (version 3 of its driver interface). A Lun is
// the reader's number in its high 16 bits and the slot in the low ones; pcscd
// opens a channel for slot 0 only and reaches the other slots through it.
extern "C" {
#include <ifdhandler.h>
#include <reader.h>
}

#include "reader.h"

#include <cstring>
#include <map>

using namespace varrok_ifd;

namespace {

std::mutex readersMutex;
std::map<DWORD, std::shared_ptr<Reader>> readers; // by the high half of the Lun

DWORD readerOf(DWORD lun) { return lun >> 16; }
unsigned slotOf(DWORD lun) { return lun & 0xFFFF; }

// The reader and slot of a Lun, with the reader's lock held: a channel
// closed meanwhile leaves the reader alive until this call is done with it.
struct Target {
    std::shared_ptr<Reader> owner;
    std::unique_lock<std::mutex> lock;
    Reader* reader = nullptr;
    Slot* slot = nullptr;
};

Target find(DWORD lun) {
    std::shared_ptr<Reader> reader;
    {
        std::lock_guard guard(readersMutex);
        const auto it = readers.find(readerOf(lun));
        if (it == readers.end()) return {};
        reader = it->second;
    }
    std::unique_lock lock(reader->mutex);
    Slot* slot = reader->slot(slotOf(lun));
    return {reader, std::move(lock), reader.get(), slot};
}

RESPONSECODE putBytes(const Bytes& bytes, PUCHAR out, PDWORD length) {
    if (out == nullptr || length == nullptr) return IFD_COMMUNICATION_ERROR;
    if (*length < bytes.size()) return IFD_ERROR_INSUFFICIENT_BUFFER;
    if (!bytes.empty()) std::memcpy(out, bytes.data(), bytes.size());
    *length = static_cast<DWORD>(bytes.size());
    return IFD_SUCCESS;
}

RESPONSECODE putByte(UCHAR value, PUCHAR out, PDWORD length) { return putBytes(Bytes{value}, out, length); }

} // namespace

RESPONSECODE IFDHCreateChannelByName(DWORD Lun, LPSTR DeviceName) {
    if (DeviceName == nullptr) return IFD_COMMUNICATION_ERROR;
    const auto name = DeviceName::parse(DeviceName);
    if (!name) return IFD_NO_SUCH_DEVICE;
    auto reader = std::make_shared<Reader>(*name);
    // The reader must answer now: a configuration naming the wrong port shows
    // at once in pcscd's log. Once served, a reader that goes away is looked
    // for again at every presence check.
    if (!reader->reachable()) return IFD_COMMUNICATION_ERROR;
    std::lock_guard guard(readersMutex);
    readers[readerOf(Lun)] = std::move(reader);
    return IFD_SUCCESS;
}

RESPONSECODE IFDHCreateChannel(DWORD Lun, DWORD Channel) {
    // A bare channel number is taken as a serial port at the reader's usual rate.
    std::string name = "COM" + std::to_string(Channel) + ":115200";
    return IFDHCreateChannelByName(Lun, name.data());
}

RESPONSECODE IFDHCloseChannel(DWORD Lun) {
    if (slotOf(Lun) != 0) return IFD_SUCCESS;
    std::lock_guard guard(readersMutex);
    readers.erase(readerOf(Lun)); // a call in flight keeps its reader until it returns
    return IFD_SUCCESS;
}

RESPONSECODE IFDHGetCapabilities(DWORD Lun, DWORD Tag, PDWORD Length, PUCHAR Value) {
    Target t = find(Lun);
    if (t.reader == nullptr || t.slot == nullptr) return IFD_NO_SUCH_DEVICE;
    switch (Tag) {
    case TAG_IFD_ATR:
    case SCARD_ATTR_ATR_STRING:
        return putBytes(t.slot->atr(), Value, Length);
    case TAG_IFD_SLOTS_NUMBER:
        return putByte(static_cast<UCHAR>(t.reader->slotCount()), Value, Length);
    case TAG_IFD_SIMULTANEOUS_ACCESS:
        return putByte(16, Value, Length);
    // Different readers may be used at once (the library lets calls on
    // different readers run side by side); the slots of one reader share its link.
    case TAG_IFD_THREAD_SAFE:
        return putByte(1, Value, Length);
    case TAG_IFD_SLOT_THREAD_SAFE:
        return putByte(0, Value, Length);
    default:
        return IFD_ERROR_TAG;
    }
}

RESPONSECODE IFDHSetCapabilities(DWORD, DWORD, DWORD, PUCHAR) { return IFD_NOT_SUPPORTED; }

RESPONSECODE IFDHSetProtocolParameters(DWORD Lun, DWORD Protocol, UCHAR, UCHAR, UCHAR, UCHAR) {
    // Contactless cards and the reader's SAM slots run the protocol the
    // reader chose; T=0 and T=1 are both accepted as the ATR offers them.
    if (find(Lun).slot == nullptr) return IFD_NO_SUCH_DEVICE;
    return Protocol == SCARD_PROTOCOL_T0 || Protocol == SCARD_PROTOCOL_T1 ? IFD_SUCCESS
                                                                          : IFD_PROTOCOL_NOT_SUPPORTED;
}

RESPONSECODE IFDHPowerICC(DWORD Lun, DWORD Action, PUCHAR Atr, PDWORD AtrLength) {
    Target t = find(Lun);
    if (t.slot == nullptr) return IFD_NO_SUCH_DEVICE;
    if (Action == IFD_POWER_DOWN) {
        t.slot->powerDown();
        if (AtrLength != nullptr) *AtrLength = 0;
        return IFD_SUCCESS;
    }
    if (Action != IFD_POWER_UP && Action != IFD_RESET) return IFD_NOT_SUPPORTED;
    const auto atr = t.slot->powerUp();
    if (!atr) {
        if (AtrLength != nullptr) *AtrLength = 0;
        return IFD_ERROR_POWER_ACTION;
    }
    return putBytes(*atr, Atr, AtrLength);
}

RESPONSECODE IFDHTransmitToICC(DWORD Lun, SCARD_IO_HEADER, PUCHAR TxBuffer, DWORD TxLength, PUCHAR RxBuffer,
                               PDWORD RxLength, PSCARD_IO_HEADER RecvPci) {
    Target t = find(Lun);
    if (t.slot == nullptr) return IFD_NO_SUCH_DEVICE;
    if (TxBuffer == nullptr || RxBuffer == nullptr || RxLength == nullptr) return IFD_COMMUNICATION_ERROR;
    const Reply reply = t.slot->transmit(TxBuffer, TxLength);
    if (RecvPci != nullptr) RecvPci->Length = 0;
    switch (reply.status) {
    case Reply::Status::Ok: {
        const RESPONSECODE rc = putBytes(reply.data, RxBuffer, RxLength);
        if (rc != IFD_SUCCESS) *RxLength = 0;
        return rc;
    }
    case Reply::Status::CardGone:
        *RxLength = 0;
        return IFD_ICC_NOT_PRESENT;
    case Reply::Status::LinkFailed:
        break;
    }
    *RxLength = 0;
    return IFD_COMMUNICATION_ERROR;
}

RESPONSECODE IFDHControl(DWORD Lun, DWORD dwControlCode, PUCHAR TxBuffer, DWORD TxLength, PUCHAR RxBuffer,
                         DWORD RxLength, LPDWORD pdwBytesReturned) {
    Target t = find(Lun);
    if (pdwBytesReturned != nullptr) *pdwBytesReturned = 0;
    if (t.reader == nullptr) return IFD_NO_SUCH_DEVICE;
    const auto out = t.reader->control(dwControlCode, TxBuffer, TxBuffer == nullptr ? 0 : TxLength);
    if (!out) return IFD_COMMUNICATION_ERROR;
    if (out->size() > RxLength) return IFD_ERROR_INSUFFICIENT_BUFFER;
    if (!out->empty() && RxBuffer != nullptr) std::memcpy(RxBuffer, out->data(), out->size());
    if (pdwBytesReturned != nullptr) *pdwBytesReturned = static_cast<DWORD>(out->size());
    return IFD_SUCCESS;
}

RESPONSECODE IFDHICCPresence(DWORD Lun) {
    Target t = find(Lun);
    if (t.slot == nullptr) return IFD_NO_SUCH_DEVICE;
    switch (t.slot->presence()) {
    case Presence::Present:
        return IFD_ICC_PRESENT;
    case Presence::Absent:
        return IFD_ICC_NOT_PRESENT;
    case Presence::ReaderDown:
        break;
    }
    return IFD_COMMUNICATION_ERROR;
}
