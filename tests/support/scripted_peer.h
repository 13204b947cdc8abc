// A stand-in reader for wire-level tests: it listens on a loopback TCP port
// or sits behind a pseudo-terminal, records every request frame it gets,
// and answers each with the next scripted reply, byte for byte as written.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

using Bytes = std::vector<std::uint8_t>;

// "AA BB 05" -> bytes.
Bytes hex(const std::string& text);
std::string toHex(const Bytes& bytes);

// Raw (stuffed) bytes of a well-formed frame, for replies: address bytes go
// as given (an answer carries the low byte first), then command, status, data.
Bytes frame(std::uint8_t addr4, std::uint8_t addr5, std::uint8_t command, const Bytes& body);
// A reader's answer: status then data, from the address 00 00.
Bytes answer(std::uint8_t status, const Bytes& data = {}, std::uint8_t command = 0);

struct Reply {
    Bytes bytes;              // sent as they stand
    int delayMs = 0;          // wait before answering
    bool hangUpAfter = false; // close the connection after sending
    static Reply silent() { return Reply{{}, 0, false}; }
};

class ScriptedPeer {
  public:
    enum class Kind { Tcp, Pty };
    explicit ScriptedPeer(Kind kind = Kind::Tcp);
    ~ScriptedPeer();

    // Text for ReaderOpen: "TCP://127.0.0.1:<port>", or "COM<n>:115200" after
    // pointing VARROK_COM<n> at the pseudo-terminal.
    std::string openText(int comNumber = 0, int baud = 115200);
    std::uint16_t port() const { return port_; }
    const std::string& ptyPath() const { return ptyPath_; }

    // Replies, one per request in order; a request with none left gets silence.
    void script(Reply reply);
    void script(const Bytes& bytes) { script(Reply{bytes}); }
    // Forgets replies that no request has used.
    void clearScript();
    // Requests (raw, as received) seen so far.
    std::vector<Bytes> requests();
    // Waits until n requests have arrived (or the time is up).
    bool waitForRequests(std::size_t n, int timeoutMs = 1000);
    // Sends bytes right now, unasked.
    void push(const Bytes& bytes);

  private:
    void serve();
    void handle(int fd, Bytes& pending);
    // Takes the first complete request frame out of `pending` (skipping noise
    // before it), records it, and hands out the next scripted reply if there
    // is one (answered). False when no complete frame is there yet.
    bool takeRequest(Bytes& pending, Reply& reply, bool& answered);

    Kind kind_;
    int listenFd_ = -1;
    int masterFd_ = -1;
    int slaveKeep_ = -1;
    int clientFd_ = -1;
    std::uint16_t port_ = 0;
    std::string ptyPath_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Reply> replies_;
    std::vector<Bytes> requests_;
    std::thread thread_;
};

// Length of the first complete request frame in raw bytes, 0 if incomplete.
std::size_t completeFrameLength(const Bytes& raw);

} // namespace testing_support
