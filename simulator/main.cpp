// varrok-sim: a card reader on loopback TCP and/or a pseudo-terminal, for
// tests, demos and trying the library without hardware.

#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "simulator/commands/families.h"
#include "simulator/reader/desk.h"
#include "simulator/reader/reader.h"
#include "simulator/scenario/options.h"
#include "simulator/scenario/scenario.h"
#include "simulator/servers/posix.h"
#include "simulator/servers/pty_server.h"
#include "simulator/servers/tcp_server.h"
#include "simulator/wire/traffic_log.h"

namespace {

// Blocks until SIGINT/SIGTERM, standard input closing (with --stdin-quit) or
// the --exit-after time. With a desk, standard input carries card commands.
void waitForEnd(const sim::Options& options, int signals, sim::Desk* desk) {
    std::string pending;
    bool inputOpen = options.stdinQuit || desk != nullptr;
    const auto deadline = options.exitAfter
                              ? std::optional(std::chrono::steady_clock::now() + *options.exitAfter)
                              : std::nullopt;
    for (;;) {
        pollfd fds[2] = {{signals, POLLIN, 0}, {inputOpen ? STDIN_FILENO : -1, POLLIN, 0}};
        int timeout = -1;
        if (deadline) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return;
            timeout = static_cast<int>(left.count());
        }
        if (::poll(fds, 2, timeout) < 0) continue;
        if (fds[0].revents) return;
        if (fds[1].revents) {
            char buffer[256];
            const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (got <= 0) {
                if (options.stdinQuit) return;
                inputOpen = false; // no more commands: keep serving until told to stop
                continue;
            }
            if (desk == nullptr) continue;
            pending.append(buffer, static_cast<std::size_t>(got));
            for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1))
                std::cerr << desk->command(pending.substr(0, end)) << std::flush;
            if (pending.size() > 4096) pending.clear(); // not a command line
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    sim::Options options;
    try {
        options = sim::parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::invalid_argument& error) {
        std::cerr << "varrok-sim: " << error.what() << '\n' << sim::kUsage;
        return 2;
    }
    if (options.help) {
        std::cout << sim::kUsage;
        return 0;
    }
    const sim::CardKinds kinds = sim::allCardKinds();
    if (options.listKinds) {
        for (const auto& kind : kinds.names())
            std::cout << kind << "  " << kinds.summary(kind) << '\n';
        return 0;
    }

    // Signals are taken from a descriptor, so every thread started below
    // inherits them blocked and the main thread alone decides when to stop.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    sim::Fd signals(::signalfd(-1, &stopSignals, SFD_CLOEXEC));
    std::signal(SIGPIPE, SIG_IGN);

    sim::Reader reader;
    const sim::Equipment equipment = sim::installAllFamilies(reader);
    reader.access([&](sim::ReaderState& state, sim::Field&) { state.address = options.address; });
    if (options.scenario) {
        try {
            sim::Scenario scenario = sim::loadScenarioFile(*options.scenario, kinds);
            sim::placeSams(scenario.sams, *equipment.sams);
            sim::applyScenario(std::move(scenario), reader);
        } catch (const std::exception& error) {
            std::cerr << "varrok-sim: " << error.what() << '\n';
            return 2;
        }
    }
    reader.setAddressPolicy(options.policy);
    if (options.fault) reader.faults().always(*options.fault);
    if (options.faultOnce) reader.faults().once(*options.faultOnce);

    std::optional<sim::TrafficLog> log;
    if (options.verbose) log.emplace(std::cerr);
    sim::TrafficLog* logPtr = log ? &*log : nullptr;

    sim::TcpServer tcp(reader, logPtr);
    sim::PtyServer pty(reader, logPtr);
    try {
        if (options.tcpPort) {
            tcp.start(*options.tcpPort);
            std::cout << "tcp 127.0.0.1:" << tcp.port() << std::endl;
        }
        if (options.pty) {
            pty.start();
            std::cout << "pty " << pty.path() << std::endl;
        }
    } catch (const std::exception& error) {
        std::cerr << "varrok-sim: " << error.what() << '\n';
        return 1;
    }

    std::optional<sim::Desk> desk;
    if (options.hand) {
        desk.emplace(reader);
        std::cerr << desk->command("cards") << std::flush;
    }
    waitForEnd(options, signals.get(), desk ? &*desk : nullptr);
    tcp.stop();
    pty.stop();
    return 0;
}
