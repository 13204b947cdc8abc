// The card tool's connection entries. Each connection gets a handle from
// 0x1000 up whose low 16 bits are the icdev of every later call: that icdev
// reaches the connection's own reader, and frames to it carry the reader's
// real device address (asked at connect time), so several readers can be
// open at once whatever addresses they have. The handles are given out and
// kept apart from device addresses by the reader tables (link/readers.h).
#include "commands/command.h"
#include "link/readers.h"
#include "varrok.h"

#include <string>

namespace {

int connect(const std::string& text) {
    const long long reader = ReaderOpen(text.c_str());
    if (reader == VARROK_NO_READER) return VARROK_NO_READER;
    const int icdev = varrok::addConnection(reader, 0);
    if (icdev < 0) {
        // Every handle is taken: a reader nobody can reach must not stay open.
        ReaderClose(reader);
        return VARROK_NO_READER;
    }
    unsigned short address = 0;
    if (rf_Reader_GetID(static_cast<unsigned short>(icdev), &address) == 0)
        varrok::readdressAlias(static_cast<std::uint16_t>(icdev), address);
    return icdev;
}

} // namespace

extern "C" {

VARROK_API int rf_init_com(int port, int baud) {
    return connect("COM" + std::to_string(port) + ":" + std::to_string(baud));
}

VARROK_API int rf_init_net(const char* address, int port) {
    if (address == nullptr) return VARROK_REJECTED;
    return connect("TCP://" + std::string(address) + ":" + std::to_string(port));
}

VARROK_API int rf_ClosePortVer5(unsigned short icdev) {
    // Only handles handed out here: a device address bound by ReaderHandshake is not one.
    const long long reader = varrok::connectionReader(icdev);
    return reader == 0 ? VARROK_BAD_HANDLE : ReaderClose(reader);
}

} // extern "C"
