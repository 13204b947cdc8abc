#include "simulator/reader/reader.h"

#include <exception>

#include "simulator/reader/reader_control.h"

namespace sim {

Reader::Reader() { registerReaderControl(dispatcher_); }

std::optional<Response> Reader::process(const Request& request) {
    std::lock_guard lock(mutex_);
    ++requests_;
    if (!accepts(request)) return std::nullopt;
    Context context{state_, field_};
    Answer answer;
    try {
        answer = dispatcher_.dispatch(request, context);
    } catch (const std::exception&) {
        // A broken card model must not take the reader down with it.
        answer = Status::InternalError;
    }
    if (answer.data.size() > kMaxResponseData) answer = Status::InternalError;
    return Response{answer.address.value_or(state_.address), request.command, answer.status,
                    std::move(answer.data)};
}

void Reader::handle(std::uint8_t command, Handler handler) {
    std::lock_guard lock(mutex_);
    dispatcher_.add(command, std::move(handler));
}

void Reader::install(const std::function<void(Dispatcher&)>& registerHandlers) {
    std::lock_guard lock(mutex_);
    registerHandlers(dispatcher_);
}

void Reader::setAddressPolicy(AddressPolicy policy) {
    std::lock_guard lock(mutex_);
    policy_ = policy;
}

bool Reader::accepts(const Request& request) const {
    if (policy_ == AddressPolicy::AnyAddress) return true;
    if (request.address == state_.address) return true;
    return request.address == 0 && request.command == cmd::GetAddress;
}

} // namespace sim
