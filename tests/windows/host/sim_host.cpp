// varrok-sim-host: the simulated reader for the Windows test programs. They
// run under Wine and cannot hold a simulator in their own process, so this
// Linux program holds it for them and takes orders over a loopback control
// connection, one line each, answered by one line ("ok [value]" or "error
// reason"):
//   reset                  a fresh reader with every card family installed
//   scenario <json>        put a scenario's cards and SAMs in the field
//   fault-once <fault>     misbehave on the next answer (varrok-sim's fault syntax)
//   fault-taken            faults handed out so far
//   wait-sent <n> <ms>     wait until the n-th faulty answer is out ("ok" or "error time-out")
//   tcp-start / tcp-stop   the TCP front end on 127.0.0.1 ("ok <port>")
//   pty-start / pty-stop   the pseudo-terminal front end ("ok <path>")
//   link <n> <path>        make Wine's COM<n> the serial device at <path>
// Prints "control 127.0.0.1:<port>" once listening; stops when standard input closes.
#include "simulator/commands/families.h"
#include "simulator/wire/fault.h"
#include "simulator/servers/pty_server.h"
#include "simulator/reader/reader.h"
#include "simulator/scenario/scenario.h"
#include "simulator/servers/tcp_server.h"

#include <arpa/inet.h>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

struct Host {
    std::filesystem::path dosdevices;
    // The front ends serve the reader, so they are declared after it and go first.
    std::unique_ptr<sim::Reader> reader;
    sim::Equipment equipment{};
    std::unique_ptr<sim::TcpServer> tcp;
    std::unique_ptr<sim::PtyServer> pty;

    void reset() {
        tcp.reset();
        pty.reset();
        reader = std::make_unique<sim::Reader>();
        equipment = sim::installAllFamilies(*reader);
    }

    std::string handle(const std::string& line) {
        std::istringstream in(line);
        std::string verb;
        in >> verb;
        std::string rest;
        std::getline(in >> std::ws, rest);
        if (verb == "reset") {
            reset();
            return "ok";
        }
        if (verb == "scenario") {
            sim::Scenario scenario = sim::parseScenario(rest, sim::allCardKinds());
            sim::placeSams(scenario.sams, *equipment.sams);
            sim::applyScenario(std::move(scenario), *reader);
            return "ok";
        }
        if (verb == "fault-once") {
            reader->faults().once(sim::parseFault(rest));
            return "ok";
        }
        if (verb == "fault-taken") return "ok " + std::to_string(reader->faults().taken());
        if (verb == "wait-sent") {
            std::size_t n = 0;
            long ms = 0;
            std::istringstream(rest) >> n >> ms;
            return reader->faults().waitSent(n, std::chrono::milliseconds(ms)) ? "ok" : "error time-out";
        }
        if (verb == "tcp-start") {
            tcp = std::make_unique<sim::TcpServer>(*reader);
            tcp->start(0);
            return "ok " + std::to_string(tcp->port());
        }
        if (verb == "tcp-stop") {
            tcp.reset();
            return "ok";
        }
        if (verb == "pty-start") {
            pty = std::make_unique<sim::PtyServer>(*reader);
            pty->start();
            return "ok " + pty->path();
        }
        if (verb == "pty-stop") {
            pty.reset();
            return "ok";
        }
        if (verb == "link") {
            int number = 0;
            std::string target;
            std::istringstream(rest) >> number >> target;
            if (number < 1 || number > 256 || target.empty()) return "error bad link";
            // Wine looks the link up each time the port is opened.
            const auto link = dosdevices / ("com" + std::to_string(number));
            std::error_code ignored;
            std::filesystem::remove(link, ignored);
            std::filesystem::create_symlink(target, link);
            return "ok";
        }
        return "error unknown order " + verb;
    }
};

int listenLoopback(std::uint16_t& port) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof at;
    if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(s, 4) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&at), &size) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    port = ntohs(at.sin_port);
    return s;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 || std::string(argv[1]) != "--dosdevices") {
        std::cerr << "usage: varrok-sim-host --dosdevices <wine prefix>/dosdevices\n";
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    Host host;
    host.dosdevices = argv[2];
    host.reset();
    std::uint16_t port = 0;
    const int listener = listenLoopback(port);
    std::cout << "control 127.0.0.1:" << port << std::endl;

    // One test program at a time; each connection is served to its end.
    for (;;) {
        pollfd fds[2] = {{listener, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents) {
            char c;
            if (::read(STDIN_FILENO, &c, 1) <= 0) break;
        }
        if (!(fds[0].revents & POLLIN)) continue;
        const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        std::string pending;
        char buffer[4096];
        for (long got; (got = ::read(client, buffer, sizeof buffer)) > 0;) {
            pending.append(buffer, static_cast<std::size_t>(got));
            for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
                std::string reply;
                try {
                    reply = host.handle(pending.substr(0, end));
                } catch (const std::exception& error) {
                    reply = std::string("error ") + error.what();
                }
                reply += '\n';
                if (::send(client, reply.data(), reply.size(), MSG_NOSIGNAL) < 0) break;
            }
        }
        ::close(client);
        host.reset(); // the next program starts from a fresh reader
    }
    host.tcp.reset();
    host.pty.reset();
    ::close(listener);
    return 0;
}
