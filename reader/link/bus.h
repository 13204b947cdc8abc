// A byte stream to one reader: a serial port or a TCP connection.
#pragma once

#include <cstdint>

namespace varrok {

class CCommBus {
  public:
    enum Kind : std::int32_t { kSerial = 0, kTcp = 1 };

    explicit CCommBus(std::int32_t kind) : kind_(kind) {}
    virtual ~CCommBus() = default;
    CCommBus(const CCommBus&) = delete;
    CCommBus& operator=(const CCommBus&) = delete;

    // Text as handed to ReaderOpen, upper-cased. 0 on success.
    virtual int open(const char* text) = 0;
    // Safe on a closed transport.
    virtual bool close() = 0;
    // Bytes read (up to n), 0 when nothing came within the total wait,
    // negative on a receive error. Bytes already received come back at once.
    virtual int read(std::uint8_t* dst, int n) = 0;
    // Bytes written; 0 or negative when nothing could be sent.
    virtual int write(const std::uint8_t* src, int n) = 0;
    virtual bool isOpen() const = 0;
    // Drops everything received and not yet read, so a late answer to an
    // earlier command is never taken for the next one.
    virtual bool purge() = 0;
    // Total wait for a read in ms; interval -1 means no inter-byte limit.
    virtual bool setTimeouts(int totalMs, int intervalMs) = 0;
    virtual void reserved() {}

    std::int32_t kind() const { return kind_; }

    // Set when an exchange gave up while the reader may still be sending (a
    // time-out, a cut or overlong answer): the next exchange first lets the
    // line fall quiet. Kept with the transport because it is the line's state.
    bool unsettled() const { return unsettled_; }
    void setUnsettled(bool unsettled) { unsettled_ = unsettled; }

  private:
    std::int32_t kind_;
    bool unsettled_ = false;
};

} // namespace varrok
