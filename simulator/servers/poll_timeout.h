#pragma once
// The time-out for the next poll(): until the earliest delayed answer is due,
// or forever when none waits.

#include <chrono>
#include <optional>

namespace sim {

class PollTimeout {
  public:
    using Clock = std::chrono::steady_clock;

    explicit PollTimeout(Clock::time_point now) : now_(now) {}

    void until(std::optional<Clock::time_point> due) {
        if (due && *due < earliest_) earliest_ = *due;
    }
    void atMost(std::chrono::milliseconds limit) { until(now_ + limit); }

    // Rounded up, so the loop never wakes just before the answer is due.
    int milliseconds() const {
        if (earliest_ == Clock::time_point::max()) return -1;
        if (earliest_ <= now_) return 0;
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(earliest_ - now_);
        return static_cast<int>(wait.count());
    }

  private:
    Clock::time_point now_;
    Clock::time_point earliest_ = Clock::time_point::max(); // max: nothing to wait for
};

} // namespace sim
