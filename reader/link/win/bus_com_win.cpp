// The serial transport on the Windows communications API.
#include "link/bus_com.h"

#include "link/com_ports.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace varrok {

namespace {

constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr DWORD kQueueBytes = 1024; // more than the largest frame, stuffing included

HANDLE handleOf(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

// The rates a reader's line runs at. Any other value (0 included) is refused
// here, as the POSIX build refuses it, instead of depending on what a given
// driver accepts.
bool knownBaud(int baud) {
    static constexpr int kRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600};
    return std::find(std::begin(kRates), std::end(kRates), baud) != std::end(kRates);
}

} // namespace

CCommBusCom::~CCommBusCom() {
    // The owner closes before destroying; this only keeps a handle from leaking.
    if (isOpen()) ::CloseHandle(handleOf(handle_));
}

bool CCommBusCom::openPort() {
    if (isOpen()) close();
    if (path_.empty()) return false;
    const std::wstring wide(path_.begin(), path_.end()); // "\\.\COMn" is plain ASCII
    // Share mode 0: the port is ours alone, a second open (from this process
    // or another) fails until we close it.
    const HANDLE h = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        errno_ = static_cast<int>(::GetLastError());
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
    return true;
}

bool CCommBusCom::configureLine(int baud, int parity, int byteSize, int stopBits) {
    if (!isOpen()) return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (::GetCommState(handleOf(handle_), &dcb) != TRUE) return (errno_ = static_cast<int>(::GetLastError())), false;
    if (!knownBaud(baud)) return (errno_ = ERROR_INVALID_PARAMETER), false;
    dcb.BaudRate = static_cast<DWORD>(baud);
    dcb.ByteSize = static_cast<BYTE>(byteSize >= 5 && byteSize <= 8 ? byteSize : 8);
    dcb.Parity = static_cast<BYTE>(parity == 1 ? ODDPARITY : parity == 2 ? EVENPARITY : NOPARITY);
    dcb.StopBits = static_cast<BYTE>(stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT);
    dcb.fParity = parity != 0;
    // Frames are binary: no byte is a software flow-control character, none is
    // replaced or dropped, and a line error must not stall later transfers.
    // Hardware flow control stays as the port has it.
    dcb.fBinary = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    if (::SetCommState(handleOf(handle_), &dcb) != TRUE) return (errno_ = static_cast<int>(::GetLastError())), false;
    return true;
}

bool CCommBusCom::setupPort() {
    return isOpen() && ::SetupComm(handleOf(handle_), kQueueBytes, kQueueBytes) && setTimeouts(200, 2) && purge();
}

bool CCommBusCom::close() {
    if (isOpen()) {
        ::PurgeComm(handleOf(handle_), kPurgeAll);
        ::CloseHandle(handleOf(handle_));
        handle_ = kNoHandle;
        pending_.clear();
    }
    return true;
}

int CCommBusCom::read(std::uint8_t* dst, int n) {
    if (n <= 0 || !isOpen()) return 0;
    if (!pending_.empty()) return pending_.take(dst, n);
    // With the time-outs setTimeouts programs, this returns at once with what
    // the driver holds, or waits for the first byte up to the total wait.
    DWORD got = 0;
    if (!::ReadFile(handleOf(handle_), pending_.space(), static_cast<DWORD>(PendingBytes::kCapacity), &got, nullptr)) {
        errno_ = static_cast<int>(::GetLastError());
        return 0; // a failed read is nothing received; the exchange's budget ends it
    }
    pending_.filled(got);
    return pending_.take(dst, n);
}

int CCommBusCom::write(const std::uint8_t* src, int n) {
    if (!isOpen() || n <= 0) return 0;
    int sent = 0;
    while (sent < n) {
        DWORD wrote = 0;
        if (!::WriteFile(handleOf(handle_), src + sent, static_cast<DWORD>(n - sent), &wrote, nullptr)) {
            errno_ = static_cast<int>(::GetLastError());
            break;
        }
        if (wrote == 0) break; // the write time-out ran out with the line blocked
        sent += static_cast<int>(wrote);
    }
    return sent;
}

bool CCommBusCom::purge() {
    if (!isOpen()) return false;
    pending_.clear();
    return ::PurgeComm(handleOf(handle_), kPurgeAll) != FALSE;
}

bool CCommBusCom::setTimeouts(int totalMs, int intervalMs) {
    totalMs_ = totalMs;
    intervalMs_ = intervalMs;
    if (!isOpen()) return false;
    // Both read fields at MAXDWORD with a constant below it: a read returns at
    // once with whatever has arrived, and otherwise waits up to the constant
    // for the first byte, returning as soon as one comes. A wait of 0 asks for
    // "return at once", which MAXDWORD/0/0 says without the special case. Like
    // the POSIX build, each read is bounded by the total wait alone; the
    // inter-byte interval is kept but the exchange never asks for one. A write
    // is bounded by the same wait, so a stalled line cannot hold a call forever.
    const DWORD total = totalMs <= 0 ? 0 : static_cast<DWORD>(std::min<long long>(totalMs, MAXDWORD - 1));
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = total == 0 ? 0 : MAXDWORD;
    t.ReadTotalTimeoutConstant = total;
    t.WriteTotalTimeoutMultiplier = 0;
    t.WriteTotalTimeoutConstant = total == 0 ? 1 : total;
    return ::SetCommTimeouts(handleOf(handle_), &t) != FALSE;
}

} // namespace varrok
