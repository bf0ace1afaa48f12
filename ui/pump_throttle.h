// When a run's pump looks at the window's event queue: once the interval
// has passed since the last look, with the clock itself read only about
// once a millisecond whether the run pumps once per byte or once per chunk.
#pragma once

#include <chrono>
#include <cstdint>

namespace zelvo {

class PumpThrottle {
public:
    // Zero or less: every check looks at the queue.
    void set_interval_ms(int ms) { interval_ms_ = ms; }
    // Before a run: the first check looks at the queue.
    void restart();
    // One check of the clock. Returns whether the queue is due a look, and
    // sets `skip` to the number of pumps that go by before the next check.
    bool check(int& skip);
    // After a look at the queue.
    void looked();
    int looks() const { return looks_; }

private:
    std::int64_t elapsed_ns() const;

    std::chrono::steady_clock::time_point start_{};
    bool started_ = false;
    std::int64_t last_look_ns_ = 0;
    std::int64_t last_check_ns_ = 0;
    int stride_ = 1;
    int interval_ms_ = 15;
    int looks_ = 0;
};

}  // namespace zelvo
