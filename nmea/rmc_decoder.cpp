#include <array>
#include <cstdio>

#include "nmea/field_chain.h"
#include "nmea/field_text.h"
#include "nmea/nmea_decoders.h"

namespace zelvo {

namespace {

bool is_leap_year(long year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

long days_in_month(long year, long month) {
    static constexpr long kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : kDays[month - 1];
}

// A or V; anything else is rejected.
FieldStep take_status(ChainContext& c, std::size_t open) {
    if (field_is_empty(c, open)) return {true, open + 1};
    char letter = c.s[open + 1];
    bool accepted = letter == 'A' || letter == 'V';
    if (accepted) c.record.status = letter;
    return {accepted, open + 2};
}

FieldStep take_speed(ChainContext& c, std::size_t open) {
    std::size_t end = field_end(c.s, open, c.star);
    if (end > open + 1) c.record.speed_kmh = c_strtod(field_text(c.s, open, end)) * 1.852;
    return {true, end};
}

FieldStep take_course(ChainContext& c, std::size_t open) {
    std::size_t end = field_end(c.s, open, c.star);
    if (end > open + 1) c.record.course = c_strtod(field_text(c.s, open, end));
    return {true, end};
}

// ddmmyy. An empty field means the receiver had no date: today's date from
// the computer's clock, which the epoch says it is.
FieldStep take_date(ChainContext& c, std::size_t open) {
    if (field_is_empty(c, open)) {
        c.record.date = today_date();
        c.record.date_source = DateSource::Today;
        c.record.has_rmc = 1;
        return {true, open + 1};
    }
    std::size_t end = field_end(c.s, open, c.star);
    std::string_view text = field_text(c.s, open, end);
    if (text.size() != 6) return {false, end};
    long day = c_atol(text.substr(0, 2));
    long month = c_atol(text.substr(2, 2));
    std::string year_text = "20";
    year_text += text.substr(4, 2);
    long year = c_atol(year_text);
    if (day < 1 || day > 31) day = 1;
    if (month < 1 || month > 12) month = 1;
    if (day > days_in_month(year, month)) {
        // No such day (31 April, 29 February of a common year): the
        // sentence is dropped rather than ending the whole conversion.
        c.drop = true;
        return {false, end};
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04ld-%02ld-%02ld", year, month, day);
    c.record.date = buf;
    c.record.has_rmc = 1;
    return {true, end};
}

FieldStep pass_over(ChainContext& c, std::size_t open) { return {true, field_end(c.s, open, c.star)}; }

FieldStep take_mode(ChainContext& c, std::size_t open) {
    if (field_is_empty(c, open)) return {true, open + 1};
    c.record.mode_indicator = c.s[open + 1];
    return {true, open + 2};
}

constexpr std::array<FieldHandler, 12> kRmcFields = {
    take_time,        // 092750.000  UTC time
    take_status,      // A           valid / V invalid
    take_latitude,    // 5321.6802
    take_north_south, // N
    take_longitude,   // 00630.3372
    take_east_west,   // W
    take_speed,       // 0.02        knots
    take_course,      // 31.66       degrees true
    take_date,        // 280511      ddmmyy
    pass_over,        //             magnetic variation
    pass_over,        //             variation direction
    take_mode,        // A           mode indicator
};

}  // namespace

// $GPRMC,092750.000,A,5321.6802,N,00630.3372,W,0.02,31.66,280511,,,A*43
bool decode_rmc(const SentenceBuffer& sentence, waypoints& record) {
    return run_field_chain(sentence, record, kRmcFields);
}

}  // namespace zelvo
