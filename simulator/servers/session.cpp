#include "simulator/servers/session.h"

namespace sim {

Session::Session(Reader& reader, TrafficLog* log, std::string channel)
    : reader_(reader), log_(log), channel_(std::move(channel)) {}

std::vector<Delivery> Session::receive(std::span<const std::uint8_t> bytes) {
    std::vector<Delivery> deliveries;
    for (const Parsed& parsed : parser_.feed(bytes)) {
        std::optional<Response> response;
        if (parsed.request) response = reader_.process(*parsed.request);
        if (log_) log_->received(channel_, parsed, response.has_value());
        if (!response) continue;
        Delivery delivery = deliver(*response, reader_.faults().take());
        if (log_) log_->sent(channel_, delivery);
        deliveries.push_back(std::move(delivery));
    }
    return deliveries;
}

} // namespace sim
