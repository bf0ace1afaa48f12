#include <array>

#include "nmea/field_chain.h"
#include "nmea/field_text.h"
#include "nmea/nmea_decoders.h"

namespace zelvo {

namespace {

FieldStep take_int32(ChainContext& c, std::size_t open, std::int32_t& out) {
    std::size_t end = field_end(c.s, open, c.star);
    out = low32(c_atol(field_text(c.s, open, end)));
    return {true, end};
}

FieldStep take_double(ChainContext& c, std::size_t open, double& out) {
    std::size_t end = field_end(c.s, open, c.star);
    if (end > open + 1) out = c_strtod(field_text(c.s, open, end));
    return {true, end};
}

// A height and the unit field after it. A one-letter unit is passed over
// so the scan lands on the ',' of the next field; an empty unit field is
// left for the next handler.
FieldStep take_height_with_unit(ChainContext& c, std::size_t open, double* out) {
    if (field_is_empty(c, open)) return {true, open + 2};
    std::size_t end = field_end(c.s, open, c.star);
    if (out) *out = c_strtod(field_text(c.s, open, end));
    if (end >= c.star || field_is_empty(c, end)) return {true, end};
    return {true, end + 2};
}

FieldStep take_quality(ChainContext& c, std::size_t open) { return take_int32(c, open, c.record.quality); }
FieldStep take_satellites(ChainContext& c, std::size_t open) { return take_int32(c, open, c.record.sats_used); }
FieldStep take_hdop(ChainContext& c, std::size_t open) { return take_double(c, open, c.record.hdop); }

FieldStep take_altitude(ChainContext& c, std::size_t open) {
    c.record.has_gga = 1;
    return take_height_with_unit(c, open, &c.record.altitude);
}

// The geoid separation is read like the altitude and discarded.
FieldStep take_geoid(ChainContext& c, std::size_t open) { return take_height_with_unit(c, open, nullptr); }
FieldStep take_diff_age(ChainContext& c, std::size_t open) { return take_double(c, open, c.record.diff_age); }
// Only a station id the format allows (0 to 1023) is kept; the rest of the
// sentence is passed over as before.
FieldStep take_station(ChainContext& c, std::size_t open) {
    const std::size_t end = field_end(c.s, open, c.star);
    const std::string_view id = end > open ? field_text(c.s, open, end) : std::string_view();
    if (!id.empty() && id.size() <= 4 && id.find_first_not_of("0123456789") == std::string_view::npos) {
        const std::int32_t v = low32(c_atol(id));
        if (v <= 1023) c.record.dgps_station = v;
    }
    return {true, c.star};
}

constexpr std::array<FieldHandler, 12> kGgaFields = {
    take_time,       // 092750.000   UTC time
    take_latitude,   // 5321.6802
    take_north_south,// N
    take_longitude,  // 00630.3372
    take_east_west,  // W
    take_quality,    // 1            fix quality
    take_satellites, // 8            satellites in use
    take_hdop,       // 1.03
    take_altitude,   // 61.7,M       altitude and unit
    take_geoid,      // 55.2,M       geoid separation and unit
    take_diff_age,   //              age of differential data
    take_station,    //              differential station id
};

}  // namespace

// $GPGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,M,55.2,M,,*76
void decode_gga(const SentenceBuffer& sentence, waypoints& record) {
    run_field_chain(sentence, record, kGgaFields);
}

}  // namespace zelvo
