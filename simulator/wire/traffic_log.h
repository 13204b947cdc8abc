#pragma once
// A readable trace of what crossed the wire, for a person watching the reader:
//
//   tcp#1 -> AA BB 04 FB 00 00 03 F8
//   tcp#1 <- AA BB 05 FA 00 00 03 00 F9
//   pty   -> 12 34 (dropped: garbage outside a frame)
//   tcp#2 <- AA BB 05 (cut after 3 bytes)

#include <mutex>
#include <ostream>
#include <string_view>

#include "simulator/wire/codec.h"
#include "simulator/wire/fault.h"

namespace sim {

class TrafficLog {
  public:
    explicit TrafficLog(std::ostream& out) : out_(out) {}

    void received(std::string_view channel, const Parsed& parsed, bool forThisReader);
    void sent(std::string_view channel, const Delivery& delivery);
    void note(std::string_view channel, std::string_view text);

  private:
    void line(std::string_view channel, std::string_view arrow, std::string_view bytes,
              std::string_view remark);

    std::mutex mutex_; // front ends log from their own threads
    std::ostream& out_;
};

} // namespace sim
