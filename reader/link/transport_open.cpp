// What opening a transport is on every platform. A serial port: the text,
// the range of port numbers, the device behind the number, then the
// platform's own steps (openPort, configureLine, setupPort), closing again
// when one fails. A TCP connection: the port and the address text kept.
#include "link/bus_com.h"
#include "link/bus_tcp.h"
#include "link/com_ports.h"
#include "link/open_text.h"

#include <algorithm>
#include <cstring>

namespace varrok {

int CCommBusCom::open(const char* text) {
    const ComText parsed = parseComText(text);
    return openSerial(parsed.port, parsed.baud, 0, 8, 0);
}

int CCommBusCom::openSerial(int port, int baud, int parity, int byteSize, int stopBits) {
    if (port < 1 || port > 1024) return -1;
    port_ = port;
    path_ = comDevicePath(port);
    if (!openPort()) return -2;
    if (!configureLine(baud, parity, byteSize, stopBits)) {
        close();
        return -2;
    }
    if (setupPort()) return 0;
    close();
    return -2;
}

std::string CCommBusTcp::takeText(const char* text) {
    TcpText parsed = parseTcpText(text);
    port_ = parsed.port;
    std::memset(address_, 0, sizeof address_);
    std::memcpy(address_, parsed.host.data(), std::min(parsed.host.size(), sizeof address_));
    return std::move(parsed.host);
}

std::string CCommBusTcp::addressText() const { return std::string(address_, strnlen(address_, sizeof address_)); }

} // namespace varrok
