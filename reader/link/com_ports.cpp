#include "link/com_ports.h"

#include <cstdlib>

namespace varrok {

namespace {
struct Range {
    int first;
    const char* prefix;
};
constexpr Range kRanges[] = {{1, "/dev/ttyS"}, {33, "/dev/ttyUSB"}, {65, "/dev/ttyACM"}};
constexpr int kPerRange = 32;
} // namespace

std::string comDevicePath(int port) {
    const std::string var = "VARROK_COM" + std::to_string(port);
    if (const char* override = std::getenv(var.c_str()); override != nullptr && *override != '\0')
        return override;
    for (const Range& r : kRanges)
        if (port >= r.first && port < r.first + kPerRange) return r.prefix + std::to_string(port - r.first);
    return {};
}

int comNumberOfDevice(const std::string& path) {
    for (const Range& r : kRanges) {
        const std::string prefix = r.prefix;
        if (path.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string rest = path.substr(prefix.size());
        if (rest.empty() || rest.find_first_not_of("0123456789") != std::string::npos || rest.size() > 3)
            continue;
        const int index = std::atoi(rest.c_str());
        if (index < kPerRange) return r.first + index;
    }
    return 0;
}

} // namespace varrok
