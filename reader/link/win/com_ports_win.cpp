// On Windows a serial port number names its device directly: COMn is "\\.\COMn".
#include "link/com_ports.h"

#include <cstdlib>

namespace varrok {

std::string comDevicePath(int port) {
    if (port < 1 || port > 1024) return {};
    return "\\\\.\\COM" + std::to_string(port);
}

int comNumberOfDevice(const std::string& path) {
    std::string name = path;
    if (name.compare(0, 4, "\\\\.\\") == 0) name.erase(0, 4);
    if (name.size() < 4 || name.size() > 7 || name.compare(0, 3, "COM") != 0) return 0;
    const std::string digits = name.substr(3);
    if (digits.find_first_not_of("0123456789") != std::string::npos || digits[0] == '0') return 0;
    const int number = std::atoi(digits.c_str());
    return number <= 1024 ? number : 0;
}

} // namespace varrok
