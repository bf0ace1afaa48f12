#include "nmea/field_chain.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "nmea/field_text.h"
#include "nmea/nmea_decoders.h"

namespace zelvo {

bool run_field_chain(const SentenceBuffer& s, waypoints& record,
                     std::span<const FieldHandler> handlers) {
    ChainContext c{s, star_index(s), record};
    std::size_t pos = 6;  // the ',' after "$" and the five-character address
    std::size_t armed = 0;
    while (pos < c.star) {
        if (s[pos] != ',' || armed >= handlers.size()) {
            ++pos;
            continue;
        }
        FieldStep step = handlers[armed](c, pos);
        if (c.drop) return false;
        if (step.accepted) ++armed;
        pos = step.next < c.star ? step.next : c.star;
    }
    return true;
}

namespace {

// Characters before the last '.' of the field; -1 when there is none.
long chars_before_point(std::string_view text) {
    std::size_t dot = text.rfind('.');
    return dot == std::string_view::npos ? -1 : static_cast<long>(dot);
}

std::string two_digits(long v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02ld", v);
    return buf;
}

// ddmm.mmmm or dddmm.mmmm: `degree_digits` characters of degrees.
FieldStep take_coordinate(ChainContext& c, std::size_t open, long degree_digits, double& out,
                          bool& read) {
    if (field_is_empty(c, open)) return {true, open + 1};
    std::size_t end = field_end(c.s, open, c.star);
    std::string_view text = field_text(c.s, open, end);
    if (chars_before_point(text) != degree_digits + 2) return {false, end};
    long degrees = c_atol(text.substr(0, static_cast<std::size_t>(degree_digits)));
    double minutes = c_strtod(text.substr(static_cast<std::size_t>(degree_digits)));
    out = static_cast<double>(degrees) + minutes * 0.016666666666666666;
    read = true;
    return {true, end};
}

// A one-letter field: `positive` accepts, `negative` negates the value
// decoded just before it. The scan moves two characters on either way.
FieldStep take_hemisphere(ChainContext& c, std::size_t open, char positive, char negative,
                          double& value) {
    if (field_is_empty(c, open)) return {true, open + 1};
    char letter = c.s[open + 1];
    bool accepted = letter == positive || letter == negative;
    if (letter == negative) value = -value;
    return {accepted, open + 2};
}

}  // namespace

// hhmmss.sss; receivers without a fraction write exactly "hhmmss".
FieldStep take_time(ChainContext& c, std::size_t open) {
    if (field_is_empty(c, open)) return {true, open + 1};
    std::size_t end = field_end(c.s, open, c.star);
    std::string_view text = field_text(c.s, open, end);
    long before_point = chars_before_point(text);
    if (before_point < 0 && text.size() == 6) before_point = 6;
    if (before_point != 6) return {false, end};

    std::string hours(text.substr(0, 2));
    std::string minutes(text.substr(2, 2));
    std::string seconds(text.substr(4));
    // Seconds of 60 and more carry into the minutes, and on into the hours;
    // the date is not touched.
    if (c_atol(seconds) > 59) {
        seconds = "00.000";
        minutes = two_digits(c_atol(minutes) + 1);
    }
    if (c_atol(minutes) > 59) {
        minutes = "00";
        hours = two_digits(c_atol(hours) + 1);
    }
    if (c_atol(hours) > 23) hours = "00";

    c.record.ms_of_day = time_to_ms(low32(c_atol(hours)), low32(c_atol(minutes)), c_strtod(seconds));
    c.record.time = hours + ":" + minutes + ":" + seconds;
    return {true, end};
}

FieldStep take_latitude(ChainContext& c, std::size_t open) {
    return take_coordinate(c, open, 2, c.record.latitude, c.record.has_latitude);
}

FieldStep take_north_south(ChainContext& c, std::size_t open) {
    return take_hemisphere(c, open, 'N', 'S', c.record.latitude);
}

FieldStep take_longitude(ChainContext& c, std::size_t open) {
    return take_coordinate(c, open, 3, c.record.longitude, c.record.has_longitude);
}

FieldStep take_east_west(ChainContext& c, std::size_t open) {
    return take_hemisphere(c, open, 'E', 'W', c.record.longitude);
}

}  // namespace zelvo
