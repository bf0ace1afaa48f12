// How tightly a standing receiver's positions cluster: the mean position,
// the spread about it in a local east-north-up frame and the circles that
// hold half and 95 % of the horizontal offsets.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>

#include "record/vocabulary.h"
#include "record/waypoints.h"

namespace zelvo {

// RTK-fixed epochs stand in for the receiver when there are at least this
// many; fewer say little, and every epoch with a position is taken.
inline constexpr std::uint64_t kStandingRtkFixMinimum = 10;

struct StandingFigures {
    bool rtk_fix_only = false;  // over the RTK-fixed epochs; otherwise over every epoch with a position
    std::uint64_t epochs = 0;
    double latitude = 0, longitude = 0, height = 0;  // the mean of each
    // Population standard deviations of the offsets from the mean.
    double sd_north_m = 0, sd_east_m = 0, sd_up_m = 0;
    // Nearest-rank percentiles of the horizontal offsets from the mean.
    double cep50_m = 0, cep95_m = 0;
};

// The horizontal offsets from the mean of the epochs the figures are over,
// in log order, each with its class: a FixClass, or kFixClassCount for an
// epoch without a placemark.
struct StandingScatter {
    std::deque<double> east_m, north_m;
    std::deque<std::uint8_t> slot;
};

struct StandingResult {
    std::optional<StandingFigures> figures;  // none without an epoch with a position
    StandingScatter scatter;
};

// Keeps the position and class of every epoch with a position: 25 bytes
// each, in blocks that never move, so a long log never needs twice its
// size at once. finish() turns them into offsets in place.
class StandingAccumulator {
public:
    // An epoch with a position, under the class of its first placemark; one
    // whose height is not a finite number is left out.
    void add(const waypoints& record, std::optional<FixClass> first_class);
    StandingResult finish() &&;

private:
    std::deque<double> latitude_, longitude_, height_;
    std::deque<std::uint8_t> slot_;
    std::uint64_t rtk_fix_ = 0;
};

}  // namespace zelvo
