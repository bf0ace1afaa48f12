#include "ui/pump_throttle.h"

#include <algorithm>

namespace zelvo {

void PumpThrottle::restart() {
    started_ = false;
    stride_ = 1;
    looks_ = 0;
}

std::int64_t PumpThrottle::elapsed_ns() const {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start_)
        .count();
}

bool PumpThrottle::check(int& skip) {
    skip = 1;
    if (interval_ms_ <= 0) {
        ++looks_;
        return true;
    }
    const std::int64_t interval_ns = std::int64_t{interval_ms_} * 1'000'000;
    if (!started_) {
        start_ = std::chrono::steady_clock::now();
        started_ = true;
        last_check_ns_ = 0;
        last_look_ns_ = -interval_ns;  // the first check looks
    }
    // The stride doubles while checks come faster than every quarter
    // millisecond and halves while they come slower than every two.
    const std::int64_t now = elapsed_ns();
    const std::int64_t since_check = now - last_check_ns_;
    if (since_check < 250'000) stride_ = std::min(stride_ * 2, 1 << 16);
    else if (since_check > 2'000'000) stride_ = std::max(stride_ / 2, 1);
    skip = stride_;
    last_check_ns_ = now;
    if (now - last_look_ns_ < interval_ns) return false;
    ++looks_;
    return true;
}

void PumpThrottle::looked() {
    if (interval_ms_ > 0) last_look_ns_ = elapsed_ns();
}

}  // namespace zelvo
