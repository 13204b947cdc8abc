#pragma once
// From command code to the code that answers it. The reader-control commands
// and every card family register their handlers here.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "simulator/reader/field.h"
#include "simulator/reader/reader_state.h"
#include "simulator/wire/codec.h"
#include "simulator/wire/status.h"

namespace sim {

// A handler's answer: status and data, and the address to put in the
// response when it is not simply the reader's own.
struct Answer {
    Answer() = default;
    Answer(Status status) : status(static_cast<std::uint8_t>(status)) {}

    static Answer ok(Bytes data = {}) {
        Answer answer;
        answer.data = std::move(data);
        return answer;
    }
    // A status byte of a card family that is not in the Status table.
    static Answer raw(std::uint8_t status, Bytes data = {}) {
        Answer answer;
        answer.status = status;
        answer.data = std::move(data);
        return answer;
    }

    std::uint8_t status = 0;
    Bytes data;
    std::optional<std::uint16_t> address;
};

// Everything a handler may look at or change, valid for one call.
struct Context {
    ReaderState& reader;
    Field& field;
};

// Returns std::nullopt to pass the request on to the next handler of the same
// code: a few codes are shared by card families that take different data
// (0x70, 0x89, 0x6A), and each handler claims only the requests that are its own.
using Handler = std::function<std::optional<Answer>(const Request&, Context&)>;

class Dispatcher {
  public:
    // Adds a handler behind those already registered for the code.
    void add(std::uint8_t command, Handler handler);
    bool handles(std::uint8_t command) const { return !handlers_[command].empty(); }

    // The first answer of the handlers for the request's code; UnknownCommand
    // when there are none or all of them pass.
    Answer dispatch(const Request& request, Context& context) const;

  private:
    std::array<std::vector<Handler>, 256> handlers_;
};

// The request data must be exactly n bytes; most handlers start with this.
inline bool hasLength(const Request& request, std::size_t n) { return request.data.size() == n; }

} // namespace sim
