// A reader on a serial line, 8 data bits, no parity, one stop bit.
#pragma once

#include "link/bus.h"
#include "link/stream_io.h"

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
    bool isOpen() const override { return fd_ >= 0; }
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
    int fd_ = -1;
    int port_ = -1;
    std::string path_;
    int totalMs_ = 200;
    int intervalMs_ = 2;
    int errno_ = 0;
    ReceiveBuffer pending_;
};

// Leading blanks, optional sign, digits up to the first non-digit; 0 without digits.
int leadingInt(const char* text);

} // namespace varrok
