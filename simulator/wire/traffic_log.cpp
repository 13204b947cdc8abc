#include "simulator/wire/traffic_log.h"

#include <string>

namespace sim {

void TrafficLog::received(std::string_view channel, const Parsed& parsed, bool forThisReader) {
    std::string remark;
    if (parsed.drop != Drop::None)
        remark = "dropped: " + std::string(describe(parsed.drop));
    else if (!forThisReader)
        remark = "for another reader";
    line(channel, "->", toHex(parsed.raw), remark);
}

void TrafficLog::sent(std::string_view channel, const Delivery& delivery) {
    std::string remark = delivery.note;
    if (delivery.bytes.empty() && remark.empty()) remark = "nothing";
    line(channel, "<-", toHex(delivery.bytes), remark);
}

void TrafficLog::note(std::string_view channel, std::string_view text) { line(channel, "--", {}, text); }

void TrafficLog::line(std::string_view channel, std::string_view arrow, std::string_view bytes,
                      std::string_view remark) {
    std::string text(channel);
    text.append(" ").append(arrow);
    if (!bytes.empty()) text.append(" ").append(bytes);
    if (!remark.empty()) text.append(" (").append(remark).append(")");
    text += '\n';
    std::lock_guard lock(mutex_);
    out_ << text << std::flush;
}

} // namespace sim
