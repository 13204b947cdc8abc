#include "link/readers.h"

#include "link/bus_com.h"
#include "link/bus_tcp.h"
#include "link/exchange.h"
#include "varrok.h"

#include <map>
#include <memory>
#include <string>

namespace varrok {

namespace {

struct OpenReader {
    long long handle;
    std::unique_ptr<CCommBus> bus;
};

// Keys compare byte by byte, a prefix first: COM10 < COM3 < TCP://...
std::map<std::string, OpenReader> names;
std::map<std::uint16_t, CCommBus*> addresses;
struct Alias {
    long long reader;
    std::uint16_t address;
};
std::map<std::uint16_t, Alias> aliases;
// Handles are never reused, so a stale handle can never reach a newer reader.
long long nextHandle = 0x10000;

std::string connectionKey(const std::string& text) {
    if (text.compare(0, 3, "COM") == 0) return text.substr(0, text.find(':'));
    if (text.compare(0, 3, "TCP") == 0) return text;
    return {};
}

void unbind(const OpenReader& reader) {
    for (auto it = addresses.begin(); it != addresses.end();)
        it = it->second == reader.bus.get() ? addresses.erase(it) : std::next(it);
    for (auto it = aliases.begin(); it != aliases.end();)
        it = it->second.reader == reader.handle ? aliases.erase(it) : std::next(it);
}

void destroy(std::map<std::string, OpenReader>::iterator it) {
    it->second.bus->close();
    unbind(it->second);
    names.erase(it);
}

std::map<std::string, OpenReader>::iterator byHandle(long long handle) {
    for (auto it = names.begin(); it != names.end(); ++it)
        if (it->second.handle == handle) return it;
    return names.end();
}

} // namespace

CCommBus* findTransport(int icdev) { return findRoute(icdev).bus; }

Route findRoute(int icdev) {
    const auto address = static_cast<std::uint16_t>(icdev);
    if (const auto alias = aliases.find(address); alias != aliases.end())
        if (const auto reader = byHandle(alias->second.reader); reader != names.end())
            return {reader->second.bus.get(), alias->second.address};
    if (const auto bound = addresses.find(address); bound != addresses.end()) return {bound->second, address};
    if (names.empty()) return {};
    return {names.begin()->second.bus.get(), address};
}

long long adoptTransport(const std::string& key, std::unique_ptr<CCommBus> bus) {
    if (auto old = names.find(key); old != names.end()) destroy(old);
    const long long handle = nextHandle++;
    names.emplace(key, OpenReader{handle, std::move(bus)});
    return handle;
}

void addAlias(std::uint16_t icdev, long long readerHandle, std::uint16_t address) {
    aliases[icdev] = Alias{readerHandle, address};
}

void removeAlias(std::uint16_t icdev) { aliases.erase(icdev); }

bool hasAlias(std::uint16_t icdev) { return aliases.count(icdev) != 0; }

long long aliasReader(std::uint16_t icdev) {
    const auto it = aliases.find(icdev);
    return it == aliases.end() ? 0 : it->second.reader;
}

void readdressAlias(std::uint16_t icdev, std::uint16_t address) {
    if (const auto it = aliases.find(icdev); it != aliases.end()) it->second.address = address;
}

} // namespace varrok

using namespace varrok;

extern "C" VARROK_API long long ReaderOpen(const char* text) {
    if (text == nullptr) return -1;
    std::string upper = text;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const std::string key = connectionKey(upper);
    if (key.empty()) return -1;
    if (auto old = names.find(key); old != names.end()) destroy(old);

    std::unique_ptr<CCommBus> bus;
    if (key.compare(0, 3, "COM") == 0)
        bus = std::make_unique<CCommBusCom>();
    else
        bus = std::make_unique<CCommBusTcp>();
    if (bus->open(upper.c_str()) != 0) return -1;
    return adoptTransport(key, std::move(bus));
}

extern "C" VARROK_API int ReaderClose(long long handle) {
    if (handle == 0) {
        for (auto& [key, reader] : names)
            reader.bus->close();
        names.clear();
        addresses.clear();
        aliases.clear();
        return 0;
    }
    const auto it = byHandle(handle);
    if (it == names.end()) return -6;
    destroy(it);
    return 0;
}

extern "C" VARROK_API int ReaderHandshake(long long handle, int icdev) {
    const auto it = byHandle(handle);
    if (it == names.end()) return -6;
    CCommPacket frame(static_cast<std::uint16_t>(icdev), 0x03, nullptr, 0);
    if (exchange(*it->second.bus, frame, 50) != 0) return -5;
    addresses[static_cast<std::uint16_t>(icdev)] = it->second.bus.get();
    return 0;
}

extern "C" VARROK_API int lib_ver(unsigned int* ver) {
    if (ver == nullptr) return -1;
    *ver = 26646;
    return 0;
}

extern "C" VARROK_API const char* rf_GetErrorMessage(int) { return nullptr; }
