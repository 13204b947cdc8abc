#pragma once
// The simulated reader: its state, the cards in its field, the commands it
// knows and the faults it is told to commit. Front ends (TCP, pseudo-terminal)
// hand it requests from their own threads, and tests inspect or change it from
// theirs, so everything goes through one lock.

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>

#include "simulator/reader/dispatcher.h"
#include "simulator/reader/field.h"
#include "simulator/reader/reader_state.h"
#include "simulator/wire/codec.h"
#include "simulator/wire/fault.h"

namespace sim {

// Which requests the reader answers.
enum class AddressPolicy {
    // Requests to its own address, plus the address query 0x03 sent to 0 (the
    // host asks "who is there" at 0). Anything else is for another reader on the
    // line, and is left unanswered, so a handshake to a wrong address times out.
    OwnAddress,
    // Every request, whatever its address: a reader alone on its line.
    AnyAddress,
};

class Reader {
  public:
    // A reader at address 0 that knows the reader-control commands.
    Reader();

    // The answer to one request, or std::nullopt when it is not for this reader.
    std::optional<Response> process(const Request& request);

    // Adds a command handler; card families call this (or install) once at set-up.
    void handle(std::uint8_t command, Handler handler);
    void install(const std::function<void(Dispatcher&)>& registerHandlers);

    // Runs fn(ReaderState&, Field&) under the reader's lock: the way tests and
    // scenarios read the state and put cards in the field.
    template <class F> decltype(auto) access(F&& fn) {
        std::lock_guard lock(mutex_);
        return std::forward<F>(fn)(state_, field_);
    }

    void setAddressPolicy(AddressPolicy policy);

    // Faults for the answers to come; has its own lock.
    FaultPlan& faults() { return faults_; }

    // Every request handed to the reader so far, answered or not: how tests
    // prove that a refused input sent nothing.
    std::size_t requestCount() const { return requests_.load(); }

  private:
    bool accepts(const Request& request) const;

    std::mutex mutex_;
    ReaderState state_;
    Field field_;
    Dispatcher dispatcher_;
    AddressPolicy policy_ = AddressPolicy::OwnAddress;
    FaultPlan faults_;
    std::atomic<std::size_t> requests_{0};
};

} // namespace sim
