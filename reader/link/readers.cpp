#include "link/readers.h"

#include "link/bus_com.h"
#include "link/bus_tcp.h"
#include "link/exchange.h"
#include "link/trace.h"
#include "varrok.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace varrok {

// One open reader. Its mutex is held for one exchange at a time and for the
// close, so a close waits for the exchange in flight and no exchange starts
// on a closed transport.
struct OpenReader {
    OpenReader(long long h, std::string k, std::unique_ptr<CCommBus> b)
        : handle(h), key(std::move(k)), bus(std::move(b)) {}
    const long long handle;
    const std::string key; // the reader as the frame trace names it
    std::mutex mutex;
    // The pointer never changes; the transport behind it is used under mutex only.
    const std::unique_ptr<CCommBus> bus;
    bool closed = false; // guarded by mutex
};

namespace {

using ReaderPtr = std::shared_ptr<OpenReader>;

struct Alias {
    long long reader;
    std::uint16_t address;
};

// Everything below is guarded by tableMutex, which is never held while
// waiting for a reader (neither its exchange nor its close).
std::mutex tableMutex;
// Keys compare byte by byte, a prefix first: COM10 < COM3 < TCP://...
std::map<std::string, ReaderPtr> names;
std::map<long long, std::string> keys; // reader handle -> its key in names
std::map<std::uint16_t, ReaderPtr> addresses;
std::map<std::uint16_t, Alias> aliases;
// Handles are never reused, so a stale handle can never reach a newer reader.
long long nextHandle = 0x10000;
// Where the round of connection handles goes on.
std::uint16_t nextConnection = kFirstConnectionHandle;

std::string connectionKey(const std::string& text) {
    if (text.compare(0, 3, "COM") == 0) return text.substr(0, text.find(':'));
    if (text.compare(0, 3, "TCP") == 0) return text;
    return {};
}

// Takes a reader out of every table; the caller closes it once the lock is gone.
void unbind(const ReaderPtr& reader) {
    for (auto it = addresses.begin(); it != addresses.end();)
        it = it->second == reader ? addresses.erase(it) : std::next(it);
    for (auto it = aliases.begin(); it != aliases.end();)
        it = it->second.reader == reader->handle ? aliases.erase(it) : std::next(it);
}

ReaderPtr takeOut(std::map<std::string, ReaderPtr>::iterator it) {
    ReaderPtr reader = std::move(it->second);
    names.erase(it);
    keys.erase(reader->handle);
    unbind(reader);
    return reader;
}

// Waits for an exchange in flight on the reader, then closes its transport.
void closeReader(const ReaderPtr& reader) {
    if (reader == nullptr) return;
    std::lock_guard lock(reader->mutex);
    reader->bus->close();
    reader->closed = true;
}

std::map<std::string, ReaderPtr>::iterator byHandle(long long handle) {
    const auto key = keys.find(handle);
    return key == keys.end() ? names.end() : names.find(key->second);
}

ReaderPtr takeOutKey(const std::string& key) {
    std::lock_guard lock(tableMutex);
    const auto it = names.find(key);
    return it == names.end() ? nullptr : takeOut(it);
}

} // namespace

Route::Route(std::shared_ptr<OpenReader> reader, std::uint16_t address)
    : reader_(std::move(reader)), address_(address) {}

int Route::exchange(CCommPacket& frame, unsigned timeoutMs) const {
    if (reader_ == nullptr) return VARROK_NO_READER;
    std::lock_guard lock(reader_->mutex);
    if (reader_->closed) return VARROK_NO_READER;
    if (!trace::enabled()) return varrok::exchange(*reader_->bus, frame, timeoutMs);
    const trace::Sent sent = trace::request(reader_->key, frame);
    const int rc = varrok::exchange(*reader_->bus, frame, timeoutMs);
    trace::answer(reader_->key, sent, frame, rc);
    return rc;
}

Route findRoute(int icdev) {
    const auto address = static_cast<std::uint16_t>(icdev);
    std::lock_guard lock(tableMutex);
    if (const auto alias = aliases.find(address); alias != aliases.end())
        if (const auto reader = byHandle(alias->second.reader); reader != names.end())
            return {reader->second, alias->second.address};
    if (const auto bound = addresses.find(address); bound != addresses.end()) return {bound->second, address};
    if (names.empty()) return {};
    return {names.begin()->second, address};
}

CCommBus* findTransport(int icdev) {
    // The transport object lives as long as its reader and the pointer itself
    // never changes, so reading it is safe; following it is not.
    const Route route = findRoute(icdev);
    return route ? route.reader()->bus.get() : nullptr;
}

long long adoptTransport(const std::string& key, std::unique_ptr<CCommBus> bus) {
    ReaderPtr old;
    long long handle = 0;
    {
        std::lock_guard lock(tableMutex);
        if (const auto it = names.find(key); it != names.end()) old = takeOut(it);
        handle = nextHandle++;
        names.emplace(key, std::make_shared<OpenReader>(handle, key, std::move(bus)));
        keys.emplace(handle, key);
    }
    closeReader(old);
    return handle;
}

int addConnection(long long readerHandle, std::uint16_t address) {
    constexpr int kSpace = 0x10000 - kFirstConnectionHandle;
    std::lock_guard lock(tableMutex);
    if (byHandle(readerHandle) == names.end()) return -1; // closed meanwhile by another thread
    for (int tried = 0; tried < kSpace; ++tried) {
        const std::uint16_t candidate = nextConnection;
        nextConnection =
            candidate == 0xFFFF ? kFirstConnectionHandle : static_cast<std::uint16_t>(candidate + 1);
        if (aliases.count(candidate) != 0 || addresses.count(candidate) != 0) continue;
        aliases[candidate] = Alias{readerHandle, address};
        return candidate;
    }
    return -1;
}

long long connectionReader(std::uint16_t icdev) {
    std::lock_guard lock(tableMutex);
    const auto it = aliases.find(icdev);
    return it == aliases.end() ? 0 : it->second.reader;
}

void readdressAlias(std::uint16_t icdev, std::uint16_t address) {
    std::lock_guard lock(tableMutex);
    if (const auto it = aliases.find(icdev); it != aliases.end()) it->second.address = address;
}

} // namespace varrok

using namespace varrok;

extern "C" VARROK_API long long ReaderOpen(const char* text) {
    if (text == nullptr) return VARROK_NO_READER;
    std::string upper = text;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const std::string key = connectionKey(upper);
    if (key.empty()) return VARROK_NO_READER;
    // The old reader of this port goes first: a serial port opens only once.
    closeReader(takeOutKey(key));

    std::unique_ptr<CCommBus> bus;
    if (key.compare(0, 3, "COM") == 0)
        bus = std::make_unique<CCommBusCom>();
    else
        bus = std::make_unique<CCommBusTcp>();
    if (bus->open(upper.c_str()) != 0) return VARROK_NO_READER;
    return adoptTransport(key, std::move(bus));
}

extern "C" VARROK_API int ReaderClose(long long handle) {
    std::vector<ReaderPtr> closing;
    {
        std::lock_guard lock(tableMutex);
        if (handle == 0) {
            for (auto& [key, reader] : names)
                closing.push_back(std::move(reader));
            names.clear();
            keys.clear();
            addresses.clear();
            aliases.clear();
        } else {
            const auto it = byHandle(handle);
            if (it == names.end()) return VARROK_BAD_HANDLE;
            closing.push_back(takeOut(it));
        }
    }
    for (const auto& reader : closing)
        closeReader(reader);
    return 0;
}

extern "C" VARROK_API int ReaderHandshake(long long handle, int icdev) {
    const auto address = static_cast<std::uint16_t>(icdev);
    ReaderPtr reader;
    {
        std::lock_guard lock(tableMutex);
        const auto it = byHandle(handle);
        if (it == names.end()) return VARROK_BAD_HANDLE;
        // A live connection handle keeps its number: binding it as an address
        // would send one of the two readers' commands to the other.
        if (aliases.count(address) != 0) return VARROK_LINK_FAILURE;
        reader = it->second;
    }
    CCommPacket frame(address, 0x03, nullptr, 0);
    const int rc = Route(reader, address).exchange(frame, 50);
    if (rc == VARROK_NO_READER) return VARROK_BAD_HANDLE;
    if (rc != 0) return VARROK_LINK_FAILURE;
    std::lock_guard lock(tableMutex);
    // Re-checked: the reader may have been closed, or the number taken as a
    // connection handle, while the reader was answering.
    const auto it = byHandle(handle);
    if (it == names.end() || it->second != reader) return VARROK_BAD_HANDLE;
    if (aliases.count(address) != 0) return VARROK_LINK_FAILURE;
    addresses[address] = reader;
    return 0;
}

extern "C" VARROK_API int lib_ver(unsigned int* ver) {
    if (ver == nullptr) return VARROK_REJECTED;
    *ver = 26646;
    return 0;
}

extern "C" VARROK_API const char* rf_GetErrorMessage(int) { return nullptr; }
