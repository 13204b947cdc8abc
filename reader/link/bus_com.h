// A reader on a serial line, 8 data bits, no parity, one stop bit.
#pragma once

#include "link/bus.h"
#include "link/stream_io.h"
#ifdef _WIN32
#include "link/win/pending_bytes.h"
#endif

#include <cstdint>
#include <string>

namespace varrok {

class CCommBusCom : public CCommBus {
  public:
    CCommBusCom() : CCommBus(kSerial) {}
    ~CCommBusCom() override;

    // "COM<n>:<baud>". -1 for a port number outside 1..1024, -2 when the
    // device cannot be opened (absent or in use) or configured.
    int open(const char* text) override;
    bool close() override;
    int read(std::uint8_t* dst, int n) override;
    int write(const std::uint8_t* src, int n) override;
#ifdef _WIN32
    bool isOpen() const override { return handle_ != kNoHandle; }
#else
    bool isOpen() const override { return fd_ >= 0; }
#endif
    bool purge() override;
    bool setTimeouts(int totalMs, int intervalMs) override;

    int openSerial(int port, int baud, int parity, int byteSize, int stopBits);
    virtual bool openPort();
    virtual bool setupPort();
    bool configureLine(int baud, int parity, int byteSize, int stopBits);

    int portNumber() const { return port_; }
    const std::string& devicePath() const { return path_; }
    int lastError() const { return errno_; }

  private:
#ifdef _WIN32
    // The port's HANDLE, held as an integer so that this header needs no
    // <windows.h>; kNoHandle is INVALID_HANDLE_VALUE.
    static constexpr std::intptr_t kNoHandle = -1;
    std::intptr_t handle_ = kNoHandle;
#else
    int fd_ = -1;
#endif
    int port_ = -1;
    std::string path_;
    int totalMs_ = 200;
    int intervalMs_ = 2;
    int errno_ = 0;
#ifdef _WIN32
    PendingBytes pending_;
#else
    ReceiveBuffer pending_;
#endif
};

} // namespace varrok
