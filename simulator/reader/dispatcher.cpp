#include "simulator/reader/dispatcher.h"

#include <stdexcept>

namespace sim {

void Dispatcher::add(std::uint8_t command, Handler handler) {
    if (!handler) throw std::invalid_argument("empty command handler");
    handlers_[command].push_back(std::move(handler));
}

Answer Dispatcher::dispatch(const Request& request, Context& context) const {
    for (const Handler& handler : handlers_[request.command])
        if (std::optional<Answer> answer = handler(request, context)) return std::move(*answer);
    return Status::UnknownCommand;
}

} // namespace sim
