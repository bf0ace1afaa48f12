// Fewer placemarks for long logs. Within each run of consecutive
// placemarks of one fix class the first is drawn, then the first at or
// after the previously drawn one plus the interval of log time; the
// placemarks of the log's last epoch are always drawn. A change of class
// therefore always shows.
#pragma once

#include <cstdint>

#include "engine/conversion_options.h"

namespace zelvo {

class PlacemarkThinning {
public:
    // An interval of 0 draws every placemark.
    explicit PlacemarkThinning(std::int64_t interval_ms) : interval_ms_(interval_ms) {}

    // Whether the placemark of class `fix_class` of an epoch at `ms_of_day`
    // is drawn. Called for every placemark the epoch would give, in order.
    bool draw(FixClass fix_class, std::int32_t ms_of_day, bool last_epoch);

private:
    // Log time since the previous placemark with a time; 0 without one.
    std::int64_t advance(std::int32_t ms_of_day);

    std::int64_t interval_ms_;
    bool in_run_ = false;
    FixClass run_class_ = FixClass::Auto;
    std::int64_t since_drawn_ = 0;
    std::int32_t previous_ = 0;
    bool has_previous_ = false;
};

}  // namespace zelvo
