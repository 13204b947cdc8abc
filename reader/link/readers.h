// The process-wide tables of open readers: by connection key (owning the
// transports), by device address (routing commands) and by the card tool's
// connection handles.
//
// Any number of threads may call in. The tables sit behind one lock that is
// never held during an exchange; each reader has a lock of its own, held for
// exactly one exchange, so two callers on one reader take turns while callers
// on different readers never wait for each other. A reader closed while
// another thread is mid-exchange on it stays alive until that exchange ends,
// and is closed only then.
#pragma once

#include "link/bus.h"
#include "link/packet.h"

#include <cstdint>
#include <memory>
#include <string>

namespace varrok {

struct OpenReader;

// Non-null when device address icdev reaches an open reader. Only a test
// against nullptr: another thread may close that reader the next moment, so
// the pointer is never to be followed. Commands go through findRoute.
CCommBus* findTransport(int icdev);

// Where a command for icdev goes: the reader, and the device address the
// frame carries. They differ only for the card tool's connection handles,
// whose low 16 bits stand in for the reader's own address. A route keeps its
// reader's transport alive for as long as the route lives, even if the
// reader is closed in the meantime.
class Route {
  public:
    Route() = default;
    Route(std::shared_ptr<OpenReader> reader, std::uint16_t address);

    explicit operator bool() const { return reader_ != nullptr; }
    std::uint16_t address() const { return address_; }
    const std::shared_ptr<OpenReader>& reader() const { return reader_; }

    // One exchange on the reader's transport, alone on it: a second caller on
    // the same reader waits for this one to finish. -1 when the reader was
    // closed before the exchange could start; otherwise as exchange().
    int exchange(CCommPacket& frame, unsigned timeoutMs) const;

  private:
    std::shared_ptr<OpenReader> reader_;
    std::uint16_t address_ = 0;
};
Route findRoute(int icdev);

// Records an already open transport under a connection key and returns its
// reader handle, replacing any reader of that key. ReaderOpen ends here; so
// do in-process transports of tests and fuzzers.
long long adoptTransport(const std::string& key, std::unique_ptr<CCommBus> bus);

// Connection handles of the card tool live in [kFirstConnectionHandle, 0xFFFF].
// A handle and a device address bound by ReaderHandshake are never the same
// number, so neither can send a command to the other's reader: a new handle
// skips bound addresses, and a handshake refuses a live handle (see
// ReaderHandshake). Handles go round the whole space, so a just-closed handle
// is the last to be handed out again.
constexpr std::uint16_t kFirstConnectionHandle = 0x1000;
// A new handle for the reader opened under `readerHandle`, frames sent to
// `address`; -1 when every handle is taken.
int addConnection(long long readerHandle, std::uint16_t address);
// The reader behind a connection handle, or 0.
long long connectionReader(std::uint16_t icdev);
// After the reader behind icdev took a new device address.
void readdressAlias(std::uint16_t icdev, std::uint16_t address);

} // namespace varrok
