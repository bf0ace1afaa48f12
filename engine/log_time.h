// Log time between epochs, from their times of day. The log carries no
// date of its own, so a step back in the time of day is taken as midnight
// passing; a time outside a day (an undecodable field) is no time at all.
#pragma once

#include <cstdint>

namespace zelvo {

inline constexpr std::int32_t kMsPerDay = 86'400'000;

inline bool is_time_of_day(std::int32_t ms_of_day) { return ms_of_day >= 0 && ms_of_day < kMsPerDay; }

// Milliseconds from `before` to `after`, both times of day.
inline std::int32_t log_ms_between(std::int32_t before, std::int32_t after) {
    std::int32_t d = after - before;
    return d < 0 ? d + kMsPerDay : d;
}

// Where a track breaks: before a point that lies more than the gap after
// the track's previous point. Points without a time neither break the
// track nor move its clock.
class TrackGaps {
public:
    // A gap of 0 never breaks.
    explicit TrackGaps(std::int64_t gap_ms) : gap_ms_(gap_ms) {}

    bool breaks_before(std::int32_t ms_of_day) {
        if (gap_ms_ <= 0 || !is_time_of_day(ms_of_day)) return false;
        const bool gap = has_previous_ && log_ms_between(previous_, ms_of_day) > gap_ms_;
        previous_ = ms_of_day;
        has_previous_ = true;
        return gap;
    }

private:
    std::int64_t gap_ms_;
    std::int32_t previous_ = 0;
    bool has_previous_ = false;
};

}  // namespace zelvo
