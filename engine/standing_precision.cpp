#include "engine/standing_precision.h"

#include <GeographicLib/LocalCartesian.hpp>
#include <cmath>

#include "engine/nearest_rank.h"

namespace zelvo {

namespace {

// Keeps the entries whose slot is `slot`, in order, and drops the others.
template <typename T>
void keep_where(std::deque<T>& values, const std::deque<std::uint8_t>& slots, std::uint8_t slot) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < values.size(); ++i)
        if (slots[i] == slot) values[kept++] = values[i];
    values.resize(kept);
}

// Longitude difference brought into [-180, 180): a cluster astride the
// antimeridian averages to where it stands, not to the other side of the
// globe.
double wrapped(double degrees) { return degrees - 360 * std::floor((degrees + 180) / 360); }

double mean_of(const std::deque<double>& values, double origin, bool wrap = false) {
    double sum = 0;
    for (double v : values) sum += wrap ? wrapped(v - origin) : v - origin;
    return origin + sum / static_cast<double>(values.size());
}

// The population standard deviation, about the values' own mean.
double population_sd(const std::deque<double>& values) {
    double sum = 0;
    for (double v : values) sum += v;
    const double mean = sum / static_cast<double>(values.size());
    double squares = 0;
    for (double v : values) squares += (v - mean) * (v - mean);
    return std::sqrt(squares / static_cast<double>(values.size()));
}

}  // namespace

void StandingAccumulator::add(const waypoints& r, std::optional<FixClass> first_class) {
    // A height that reads as infinite or not a number says nothing of where the receiver stands.
    if (!std::isfinite(r.altitude)) return;
    const int slot = first_class ? static_cast<int>(*first_class) : kFixClassCount;
    latitude_.push_back(r.latitude);
    longitude_.push_back(r.longitude);
    height_.push_back(r.altitude);
    slot_.push_back(static_cast<std::uint8_t>(slot));
    if (first_class == FixClass::RtkFix) ++rtk_fix_;
}

StandingResult StandingAccumulator::finish() && {
    StandingResult result;
    if (latitude_.empty()) return result;
    StandingFigures f;
    f.rtk_fix_only = rtk_fix_ >= kStandingRtkFixMinimum;
    if (f.rtk_fix_only) {
        const auto rtk = static_cast<std::uint8_t>(FixClass::RtkFix);
        keep_where(latitude_, slot_, rtk);
        keep_where(longitude_, slot_, rtk);
        keep_where(height_, slot_, rtk);
        slot_.assign(latitude_.size(), rtk);
    }
    f.epochs = latitude_.size();
    // Sums of differences from the first epoch keep the mean exact however
    // long the log.
    f.latitude = mean_of(latitude_, latitude_.front());
    f.longitude = wrapped(mean_of(longitude_, longitude_.front(), true));
    f.height = mean_of(height_, height_.front());

    // Each position becomes its east, north and up offset from the mean, in place.
    const GeographicLib::LocalCartesian frame(f.latitude, f.longitude, f.height);
    for (std::size_t i = 0; i < latitude_.size(); ++i) {
        double east = 0, north = 0, up = 0;
        frame.Forward(latitude_[i], longitude_[i], height_[i], east, north, up);
        latitude_[i] = east;
        longitude_[i] = north;
        height_[i] = up;
    }
    f.sd_east_m = population_sd(latitude_);
    f.sd_north_m = population_sd(longitude_);
    f.sd_up_m = population_sd(height_);

    // The heights are done with: their room takes the horizontal offsets.
    for (std::size_t i = 0; i < height_.size(); ++i) height_[i] = std::hypot(latitude_[i], longitude_[i]);
    f.cep50_m = *nearest_rank(height_.begin(), height_.end(), 50);
    f.cep95_m = *nearest_rank(height_.begin(), height_.end(), 95);

    result.figures = f;
    result.scatter.east_m = std::move(latitude_);
    result.scatter.north_m = std::move(longitude_);
    result.scatter.slot = std::move(slot_);
    return result;
}

}  // namespace zelvo
