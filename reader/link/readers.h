// The process-wide tables of open readers: by connection key (owning the
// transports) and by device address (routing commands).
#pragma once

#include "link/bus.h"

#include <cstdint>
#include <memory>
#include <string>

namespace varrok {

// The transport that device address icdev reaches, or nullptr when no reader is open.
CCommBus* findTransport(int icdev);

// Where a command for icdev goes: the transport, and the device address the
// frame carries. They differ only for the card tool's connection handles,
// whose low 16 bits stand in for the reader's own address.
struct Route {
    CCommBus* bus = nullptr;
    std::uint16_t address = 0;
};
Route findRoute(int icdev);

// Records an already open transport under a connection key and returns its
// reader handle, replacing any reader of that key. ReaderOpen ends here; so
// do in-process transports of tests and fuzzers.
long long adoptTransport(const std::string& key, std::unique_ptr<CCommBus> bus);

// Connection handles of the card tool: an icdev that reaches the reader
// opened under `readerHandle` and is sent there as `address`.
void addAlias(std::uint16_t icdev, long long readerHandle, std::uint16_t address);
void removeAlias(std::uint16_t icdev);
bool hasAlias(std::uint16_t icdev);
// The reader behind an alias, or 0.
long long aliasReader(std::uint16_t icdev);
// After the reader behind icdev took a new device address.
void readdressAlias(std::uint16_t icdev, std::uint16_t address);

} // namespace varrok
