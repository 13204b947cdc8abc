#include "simulator/scenario/options.h"

#include <charconv>
#include <limits>
#include <stdexcept>
#include <string_view>

namespace sim {

const char* const kUsage =
    "usage: varrok-sim [options]\n"
    "  --tcp PORT          listen on 127.0.0.1:PORT (0 = any free port)\n"
    "  --pty               open a pseudo-terminal standing for a serial port\n"
    "  --address N         the reader's device address (decimal or 0x hex; default 0)\n"
    "  --any-address       answer requests for every device address\n"
    "  --verbose           print every request and answer on stderr\n"
    "  --fault FAULT       misbehave on every answer; FAULT is one of\n"
    "                      silent, late=MS, cut=N, checksum, flood[=N], close[=N]\n"
    "  --fault-once FAULT  misbehave on the first answer only\n"
    "  --exit-after SECS   stop after this many seconds\n"
    "  --stdin-quit        stop when standard input closes\n"
    "  --hand              read card commands on standard input (cards, take N, put N,\n"
    "                      only N, all) and answer on standard error\n"
    "  --scenario FILE     put the cards of a scenario file in the field (see SCENARIOS.md)\n"
    "  --list-kinds        list the card kinds a scenario may name, and stop\n"
    "Prints 'tcp 127.0.0.1:PORT' and 'pty PATH' on stdout once serving;\n"
    "stops on SIGINT or SIGTERM.\n";

namespace {

std::uint64_t parseNumber(std::string_view text, std::uint64_t max, std::string_view option) {
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > max)
        throw std::invalid_argument("bad value '" + std::string(text) + "' for " + std::string(option));
    return value;
}

} // namespace

Options parseOptions(const std::vector<std::string>& arguments) {
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        const auto value = [&]() -> const std::string& {
            if (i + 1 >= arguments.size()) throw std::invalid_argument(option + " needs a value");
            return arguments[++i];
        };
        if (option == "--tcp") {
            options.tcpPort = static_cast<std::uint16_t>(parseNumber(value(), 0xFFFF, option));
        } else if (option == "--pty") {
            options.pty = true;
        } else if (option == "--address") {
            options.address = static_cast<std::uint16_t>(parseNumber(value(), 0xFFFF, option));
        } else if (option == "--any-address") {
            options.policy = AddressPolicy::AnyAddress;
        } else if (option == "--verbose") {
            options.verbose = true;
        } else if (option == "--fault") {
            options.fault = parseFault(value());
        } else if (option == "--fault-once") {
            options.faultOnce = parseFault(value());
        } else if (option == "--exit-after") {
            options.exitAfter = std::chrono::seconds(parseNumber(value(), 1'000'000, option));
        } else if (option == "--stdin-quit") {
            options.stdinQuit = true;
        } else if (option == "--hand") {
            options.hand = true;
        } else if (option == "--scenario") {
            options.scenario = value();
        } else if (option == "--list-kinds") {
            options.listKinds = true;
        } else if (option == "--help" || option == "-h") {
            options.help = true;
        } else {
            throw std::invalid_argument("unknown option " + option);
        }
    }
    if (!options.tcpPort && !options.pty) options.tcpPort = 0;
    return options;
}

} // namespace sim
