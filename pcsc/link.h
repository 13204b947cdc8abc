// The driver's connection to one reader, opened from the device name of the
// reader configuration with the library's own open texts ("COM3:115200",
// "TCP://127.0.0.1:4000"). A link that failed is closed and opened again on
// the next use, so a reader that was unplugged or restarted comes back.
#pragma once

#include <optional>
#include <string>

namespace varrok_ifd {

struct DeviceName {
    enum class Kind { Serial, Tcp } kind = Kind::Tcp;
    int port = 0; // COM port number, or TCP port
    int baud = 0;
    std::string host;

    // nullopt for anything but "COM<n>:<baud>" or "TCP://<a.b.c.d>:<port>" (any case).
    static std::optional<DeviceName> parse(const std::string& text);
};

class Link {
  public:
    explicit Link(DeviceName name) : name_(std::move(name)) {}
    ~Link() { down(); }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // True when the reader is open, opening it first if it is not; the
    // reader must answer a short request to count as there.
    bool up();
    void down();
    unsigned short icdev() const { return icdev_; }
    // How many times the link was opened: slots forget what they knew of the
    // field when it changes.
    unsigned generation() const { return generation_; }
    // A library code that means the reader is gone (not a card's or the
    // reader's refusal) closes the link. Returns whether it did.
    bool lostOn(int rc);
    // A request that touches only the reader, never the field.
    bool ping();

  private:
    DeviceName name_;
    bool open_ = false;
    unsigned short icdev_ = 0;
    unsigned generation_ = 0;
};

} // namespace varrok_ifd
