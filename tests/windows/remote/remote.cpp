#include "simulator/remote.h"

#include <winsock2.h>

#include <cstdlib>
#include <gtest/gtest.h>
#include <stdexcept>

namespace sim {

namespace {

// The one control connection of this test program, opened on first use.
class Control {
  public:
    static Control& get() {
        static Control control;
        return control;
    }
    std::string ask(const std::string& line) {
        const std::string out = line + "\n";
        if (::send(socket_, out.data(), static_cast<int>(out.size()), 0) != static_cast<int>(out.size()))
            throw std::runtime_error("the simulator host went away");
        std::string reply;
        for (char c; reply.empty() || reply.back() != '\n';) {
            if (::recv(socket_, &c, 1, 0) != 1) throw std::runtime_error("the simulator host went away");
            reply += c;
        }
        reply.pop_back();
        return reply;
    }

  private:
    Control() {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
        const char* where = std::getenv("VARROK_SIM_CONTROL");
        if (where == nullptr) throw std::runtime_error("VARROK_SIM_CONTROL is not set (run tools/windows_stage.sh)");
        const std::string text = where;
        const std::size_t colon = text.find(':');
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = ::inet_addr(text.substr(0, colon).c_str());
        to.sin_port = ::htons(static_cast<u_short>(std::atoi(text.c_str() + colon + 1)));
        socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (colon == std::string::npos || ::connect(socket_, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0)
            throw std::runtime_error("cannot reach the simulator host at " + text);
    }
    SOCKET socket_ = INVALID_SOCKET;
};

} // namespace

std::string order(const std::string& line) {
    const std::string reply = Control::get().ask(line);
    if (reply == "ok") return "ok";
    if (reply.rfind("ok ", 0) == 0) return reply.substr(3);
    // A wait that ran out is an answer, not a broken order.
    if (line.rfind("wait-sent", 0) == 0) return reply;
    ADD_FAILURE() << "simulator host refused '" << line << "': " << reply;
    return {};
}

std::string describe(const Fault& fault) {
    switch (fault.kind) {
    case FaultKind::Silent:
        return "silent";
    case FaultKind::Late:
        return "late=" + std::to_string(fault.delay.count());
    case FaultKind::CutShort:
        return "cut=" + std::to_string(fault.count);
    case FaultKind::BadChecksum:
        return "checksum";
    case FaultKind::FloodAA:
        return "flood=" + std::to_string(fault.count);
    case FaultKind::CloseConnection:
        return "close=" + std::to_string(fault.count);
    }
    return "silent";
}

void applyScenario(Scenario scenario, Reader&) {
    std::string oneLine = scenario.text;
    for (char& c : oneLine)
        if (c == '\n' || c == '\r') c = ' ';
    order("scenario " + oneLine);
}

void TcpServer::start(std::uint16_t) {
    port_ = static_cast<std::uint16_t>(std::atoi(order("tcp-start").c_str()));
    running_ = true;
}

void TcpServer::stop() {
    if (running_) order("tcp-stop");
    running_ = false;
}

void PtyServer::start() {
    path_ = order("pty-start");
    running_ = true;
}

void PtyServer::stop() {
    if (running_) order("pty-stop");
    running_ = false;
}

} // namespace sim

int setenv(const char* name, const char* value, int) {
    const std::string variable = name;
    if (variable.rfind("VARROK_COM", 0) == 0)
        return sim::order("link " + variable.substr(10) + " " + value) == "ok" ? 0 : -1;
    return ::_putenv_s(name, value);
}
