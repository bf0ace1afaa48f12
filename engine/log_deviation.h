// How far a log strays from another of the same session: the two compared
// at the epochs both give a position for, horizontally along the WGS84
// geodesic and vertically by the heights as the logs give them.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string_view>
#include <utility>

#include "record/waypoints.h"

namespace zelvo {

// One epoch of a log as the comparison keeps it: 32 bytes.
struct EpochPosition {
    // Milliseconds since 1970-01-01 00:00 UTC on the log's own date; the
    // time of day alone when the log gave none.
    std::int64_t instant_ms = 0;
    double latitude = 0, longitude = 0, height = 0;
};

struct LogPositions {
    // Those with a position and a time, in log order; in blocks that never
    // move, so a long log never needs room for twice its epochs.
    std::deque<EpochPosition> epochs;
    bool dated = true;                  // every one of them had the log's own date
};

// Nearest-rank median and 95th percentile, and the largest value.
struct Spread {
    double median = 0, p95 = 0, max = 0;
    friend bool operator==(const Spread&, const Spread&) = default;
};

struct LogDeviation {
    std::uint64_t common_epochs = 0;
    std::optional<Spread> horizontal_m, vertical_m;  // none without a common epoch
};

// Days from 1970-01-01 to a "yyyy-mm-dd" date of the proleptic Gregorian
// calendar; none for text that is not such a date.
std::optional<std::int64_t> days_since_epoch(std::string_view date);

// Gathers a log's positions epoch by epoch.
class PositionCollector {
public:
    // An epoch with a position, with the date the log itself gave it
    // ("yyyy-mm-dd", or empty); an epoch without a time, or with a height
    // that is not a finite number, is left out.
    void add(const waypoints& record, std::string_view receiver_date);
    LogPositions take() && { return std::move(log_); }

private:
    LogPositions log_;
};

// Compares `later` with `first` at their common epochs: the same instant
// to the millisecond, or the same time of day when either log has no
// dates. An instant a log gives more than once counts at its first.
// `first` is reordered by time; `later` is used up as room for the
// differences, so the comparison needs no memory of its own.
LogDeviation compare_with_first(LogPositions& first, LogPositions later);

}  // namespace zelvo
