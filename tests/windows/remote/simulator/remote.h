// The simulator's test-facing classes, for test programs that run under Wine:
// the reader itself lives in varrok-sim-host, a Linux process, and these
// classes forward to it over its loopback control connection (address in
// $VARROK_SIM_CONTROL, "127.0.0.1:<port>"). Only what the shared end-to-end
// tables use is here, with the same names, so those sources build unchanged.
// The headers beside this one (reader.h, tcp_server.h, ...) stand in for the
// simulator's own under the same include names.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sim {

// One order to the host, its answer without "ok ". A refusal fails the
// running test and comes back as an empty text.
std::string order(const std::string& line);

enum class FaultKind { Silent, Late, CutShort, BadChecksum, FloodAA, CloseConnection };

struct Fault {
    FaultKind kind = FaultKind::Silent;
    std::chrono::milliseconds delay{0};
    std::size_t count = 0;
    static Fault silent() { return {FaultKind::Silent}; }
    static Fault late(std::chrono::milliseconds delay) { return {FaultKind::Late, delay}; }
    static Fault cutAfter(std::size_t bytes) { return {FaultKind::CutShort, {}, bytes}; }
    static Fault badChecksum() { return {FaultKind::BadChecksum}; }
    static Fault flood(std::size_t bytes = 2000) { return {FaultKind::FloodAA, {}, bytes}; }
    static Fault closeAfter(std::size_t bytes = 3) { return {FaultKind::CloseConnection, {}, bytes}; }
};
// The command-line form the host parses: "silent", "late=300", "cut=5", ...
std::string describe(const Fault& fault);

class FaultPlan {
  public:
    void once(const Fault& fault) { order("fault-once " + describe(fault)); }
    // Faults handed out so far; waitSent(n) waits until the n-th faulty answer is out.
    std::size_t taken() { return std::stoul("0" + order("fault-taken")); }
    bool waitSent(std::size_t n, std::chrono::milliseconds cap) {
        return order("wait-sent " + std::to_string(n) + " " + std::to_string(cap.count())) == "ok";
    }
};

// A fresh reader with every card family; the host keeps one at a time.
class Reader {
  public:
    Reader() { order("reset"); }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    FaultPlan& faults() { return faults_; }

  private:
    FaultPlan faults_;
};

struct SamSlots {};
struct Equipment {
    SamSlots* sams;
};
inline Equipment installAllFamilies(Reader&) {
    static SamSlots slots;
    return {&slots};
}

struct CardKinds {};
inline CardKinds allCardKinds() { return {}; }
// The host parses the scenario itself: its SAMs and cards go over as one text.
struct Scenario {
    std::string text;
    int sams = 0;
};
inline Scenario parseScenario(std::string_view text, const CardKinds&) { return {std::string(text)}; }
inline void placeSams(int, SamSlots&) {}
void applyScenario(Scenario scenario, Reader&);

class TcpServer {
  public:
    explicit TcpServer(Reader&) {}
    ~TcpServer() { stop(); }
    void start(std::uint16_t = 0);
    void stop();
    std::uint16_t port() const { return port_; }

  private:
    std::uint16_t port_ = 0;
    bool running_ = false;
};

class PtyServer {
  public:
    explicit PtyServer(Reader&) {}
    ~PtyServer() { stop(); }
    void start();
    void stop();
    // The pseudo-terminal's path on the Linux side, for setenv below.
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    bool running_ = false;
};

} // namespace sim

// Pointing VARROK_COM<n> at a pseudo-terminal is how the POSIX build maps a
// port number to the simulator; under Wine the same request becomes the
// prefix's dosdevices link for COM<n>. Other variables are set as usual.
int setenv(const char* name, const char* value, int overwrite);
