#pragma once
// Command line of varrok-sim.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "simulator/reader/reader.h"
#include "simulator/wire/fault.h"

namespace sim {

struct Options {
    std::optional<std::uint16_t> tcpPort;             // --tcp PORT (0: any free port)
    bool pty = false;                                 // --pty
    std::uint16_t address = 0;                        // --address N
    AddressPolicy policy = AddressPolicy::OwnAddress; // --any-address
    bool verbose = false;                             // --verbose
    std::optional<Fault> fault;                       // --fault FAULT: every answer
    std::optional<Fault> faultOnce;                   // --fault-once FAULT: the first answer only
    std::optional<std::chrono::seconds> exitAfter;    // --exit-after SECONDS
    bool stdinQuit = false;                           // --stdin-quit
    bool hand = false;                                // --hand: card commands on standard input
    std::optional<std::string> scenario;              // --scenario FILE: cards and reader identity
    bool listKinds = false;                           // --list-kinds
    bool help = false;                                // --help
};

// Throws std::invalid_argument with a message for the user. Without --tcp or
// --pty the reader listens on a free TCP port.
Options parseOptions(const std::vector<std::string>& arguments);

extern const char* const kUsage;

} // namespace sim
