// Opening a serial port, the same on every platform: the text, the range of
// port numbers, the device behind the number, then the platform's own steps
// (openPort, configureLine, setupPort), closing again when one fails.
#include "link/bus_com.h"
#include "link/com_ports.h"
#include "link/open_text.h"

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

} // namespace varrok
