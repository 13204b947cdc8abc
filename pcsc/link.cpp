#include "link.h"

#include "varrok.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace varrok_ifd {

namespace {

std::optional<int> number(std::string_view text, int min, int max) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < min ||
        value > max)
        return std::nullopt;
    return value;
}

bool dottedQuad(std::string_view host) {
    int parts = 0;
    while (true) {
        const std::size_t dot = host.find('.');
        if (!number(host.substr(0, dot), 0, 255)) return false;
        ++parts;
        if (dot == std::string_view::npos) return parts == 4;
        host.remove_prefix(dot + 1);
    }
}

} // namespace

std::optional<DeviceName> DeviceName::parse(const std::string& text) {
    std::string upper = text;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return std::toupper(c); });
    const std::string_view view(upper);
    const std::size_t colon = view.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    DeviceName name;
    if (view.starts_with("COM")) {
        const auto port = number(view.substr(3, colon - 3), 1, 255);
        const auto baud = number(view.substr(colon + 1), 1, 4'000'000);
        if (!port || !baud) return std::nullopt;
        name.kind = Kind::Serial;
        name.port = *port;
        name.baud = *baud;
        return name;
    }
    if (view.starts_with("TCP://") && colon > 6) {
        const auto port = number(view.substr(colon + 1), 1, 65535);
        const std::string_view host = view.substr(6, colon - 6);
        if (!port || !dottedQuad(host)) return std::nullopt;
        name.kind = Kind::Tcp;
        name.port = *port;
        name.host = std::string(host);
        return name;
    }
    return std::nullopt;
}

bool Link::up() {
    if (open_) return true;
    const int handle = name_.kind == DeviceName::Kind::Serial ? rf_init_com(name_.port, name_.baud)
                                                              : rf_init_net(name_.host.c_str(), name_.port);
    if (handle < 0) return false;
    icdev_ = static_cast<unsigned short>(handle);
    open_ = true;
    if (!ping()) return false;
    ++generation_;
    return true;
}

void Link::down() {
    if (open_) rf_ClosePortVer5(icdev_);
    open_ = false;
}

bool Link::lostOn(int rc) {
    // Negative codes are the library's own (no reader, link failure, bad
    // handle); 9 and 252 are answers that never arrived whole.
    if (rc >= 0 && rc != VARROK_BAD_HEADER && rc != VARROK_BAD_CHECKSUM) return false;
    down();
    return true;
}

bool Link::ping() {
    unsigned short address = 0;
    return open_ && !lostOn(rf_Reader_GetID(icdev_, &address));
}

} // namespace varrok_ifd
