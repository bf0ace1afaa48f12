#include "record/waypoints.h"

namespace zelvo {

void waypoints::clear() {
    time.clear();
    latitude = longitude = altitude = 0;
    date.clear();
    date_source = DateSource::Log;
    status = 0;
    rms = 0;
    quality = 0;
    fix_text.clear();
    sats_used = 0;
    hdop = diff_age = speed_kmh = course = 0;
    dgps_station = -1;
    mode_indicator = 0;
    fix_mode = 0;
    sats.fill(sat_entry{});
    has_sats = 0;
    ms_of_day = 0;
    has_gga = has_rmc = 0;
    has_latitude = has_longitude = false;
    sd_north = sd_east = sd_up = ratio = 0;
    motion_derived = false;
}

bool has_position(const waypoints& r) {
    // NaN fails both comparisons.
    return r.has_latitude && r.has_longitude && r.latitude >= -90 && r.latitude <= 90 &&
           r.longitude >= -180 && r.longitude <= 180;
}

}  // namespace zelvo
