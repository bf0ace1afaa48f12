#include "engine/placemark_thinning.h"

#include "engine/log_time.h"

namespace zelvo {

std::int64_t PlacemarkThinning::advance(std::int32_t ms_of_day) {
    if (!is_time_of_day(ms_of_day)) return 0;
    const std::int64_t step = has_previous_ ? log_ms_between(previous_, ms_of_day) : 0;
    previous_ = ms_of_day;
    has_previous_ = true;
    return step;
}

bool PlacemarkThinning::draw(FixClass fix_class, std::int32_t ms_of_day, bool last_epoch) {
    if (interval_ms_ <= 0) return true;
    const std::int64_t step = advance(ms_of_day);
    if (!in_run_ || fix_class != run_class_) {
        in_run_ = true;
        run_class_ = fix_class;
        since_drawn_ = 0;
        return true;
    }
    since_drawn_ += step;
    if (last_epoch || since_drawn_ >= interval_ms_) {
        since_drawn_ = 0;
        return true;
    }
    return false;
}

}  // namespace zelvo
