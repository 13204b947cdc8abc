// A reader on the network: a TCP client connection, non-blocking.
#pragma once

#include "link/bus.h"
#include "link/stream_io.h"
#ifdef _WIN32
#include "link/win/pending_bytes.h"
#endif

#include <cstdint>
#include <string>

namespace varrok {

class CCommBusTcp : public CCommBus {
  public:
    static constexpr int kConnectTimeoutMs = 2000;

    CCommBusTcp() : CCommBus(kTcp) {}
    ~CCommBusTcp() override;

    // "TCP://<a.b.c.d>:<port>". 0, or -3 when no connection stands within 2 s.
    int open(const char* text) override;
    bool close() override;
    // Bytes, 0 when nothing came in time or the peer has closed, -1 on a receive error.
    int read(std::uint8_t* dst, int n) override;
    int write(const std::uint8_t* src, int n) override;
#ifdef _WIN32
    bool isOpen() const override { return socket_ != kNoSocket; }
#else
    bool isOpen() const override { return socket_ >= 0; }
#endif
    bool purge() override;
    bool setTimeouts(int totalMs, int intervalMs) override;

    // The address as the text gave it, cut to the 16 bytes kept.
    std::string addressText() const;
    int port() const { return port_; }

  private:
    // How much shorter than the wait the socket's own receive time-out is set:
    // more than one kernel tick at any tick rate.
    static constexpr int kReceiveMarginMs = 10;
    bool setReceiveTimeout(int ms);
    // Reads "TCP://<a.b.c.d>:<port>" into port_ and address_; returns the host text.
    std::string takeText(const char* text);

    char address_[16] = {};
    int port_ = 0;
#ifdef _WIN32
    // A Winsock SOCKET, held as its integer type so that this header needs
    // no <winsock2.h>; kNoSocket is INVALID_SOCKET.
    static constexpr std::uintptr_t kNoSocket = ~std::uintptr_t{0};
    std::uintptr_t socket_ = kNoSocket;
#else
    int socket_ = -1;
#endif
    int timeoutMs_ = 200;
    int receiveTimeoutMs_ = 0; // as set on the socket; 0 is "wait forever", never set

#ifdef _WIN32
    PendingBytes pending_;
#else
    ReceiveBuffer pending_;
#endif
};

} // namespace varrok
