// The card tool's connection entries. Each connection gets a handle from
// 0x1000 up whose low 16 bits are the icdev of every later call: that icdev
// reaches the connection's own reader, and frames to it carry the reader's
// real device address (asked at connect time), so several readers can be
// open at once whatever addresses they have.
#include "commands/command.h"
#include "link/readers.h"
#include "varrok.h"

#include <string>

namespace {

constexpr std::uint16_t kFirstHandle = 0x1000;
std::uint16_t nextHandle = kFirstHandle;

std::uint16_t freeHandle() {
    while (varrok::hasAlias(nextHandle) || nextHandle < kFirstHandle)
        nextHandle = static_cast<std::uint16_t>(nextHandle + 1);
    return nextHandle++;
}

int connect(const std::string& text) {
    const long long reader = ReaderOpen(text.c_str());
    if (reader == -1) return -1;
    const std::uint16_t icdev = freeHandle();
    varrok::addAlias(icdev, reader, 0);
    unsigned short address = 0;
    if (rf_Reader_GetID(icdev, &address) == 0) varrok::readdressAlias(icdev, address);
    return icdev;
}

} // namespace

extern "C" {

VARROK_API int rf_init_com(int port, int baud) {
    return connect("COM" + std::to_string(port) + ":" + std::to_string(baud));
}

VARROK_API int rf_init_net(const char* address, int port) {
    if (address == nullptr) return -1;
    return connect("TCP://" + std::string(address) + ":" + std::to_string(port));
}

VARROK_API int rf_ClosePortVer5(unsigned short icdev) {
    const long long reader = varrok::aliasReader(icdev);
    return reader == 0 ? -6 : ReaderClose(reader);
}

} // extern "C"
