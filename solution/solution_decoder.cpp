#include "solution/solution_decoder.h"

#include <GeographicLib/Geocentric.hpp>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace zelvo {

namespace {

constexpr std::size_t kMaxColumns = 40;
constexpr double kDegree = 3.14159265358979323846 / 180;

struct Columns {
    std::array<std::string_view, kMaxColumns> text;
    std::size_t count = 0;
    bool too_many = false;
};

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

Columns split(std::string_view line) {
    Columns c;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && is_blank(line[i])) ++i;
        if (i == line.size()) break;
        std::size_t end = i;
        while (end < line.size() && !is_blank(line[end])) ++end;
        if (c.count == kMaxColumns) {
            c.too_many = true;
            break;
        }
        c.text[c.count++] = line.substr(i, end - i);
        i = end;
    }
    return c;
}

// A finite number filling the whole text.
bool number(std::string_view t, double& v) {
    if (!t.empty() && t[0] == '+') t.remove_prefix(1);
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    return ec == std::errc() && end == t.data() + t.size() && std::isfinite(v);
}

bool integer(std::string_view t, int& v) {
    if (!t.empty() && t[0] == '+') t.remove_prefix(1);
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    return ec == std::errc() && end == t.data() + t.size();
}

// "2023/11/07" and "23:42:57.000".
std::optional<std::int64_t> calendar_time(std::string_view date, std::string_view time) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0;
    double s = 0;
    if (date.size() != 10 || date[4] != '/' || date[7] != '/') return std::nullopt;
    if (time.size() < 8 || time[2] != ':' || time[5] != ':') return std::nullopt;
    if (!integer(date.substr(0, 4), y) || !integer(date.substr(5, 2), mo) || !integer(date.substr(8, 2), d) ||
        !integer(time.substr(0, 2), h) || !integer(time.substr(3, 2), mi) || !number(time.substr(6), s))
        return std::nullopt;
    return ms_of_calendar(y, mo, d, h, mi, s);
}

// GPS week and seconds of the week.
std::optional<std::int64_t> week_time(std::string_view week_text, std::string_view seconds_text) {
    int week = 0;
    double seconds = 0;
    if (!integer(week_text, week) || !number(seconds_text, seconds)) return std::nullopt;
    if (week < 0 || week > 9999 || seconds < 0 || seconds >= 604800) return std::nullopt;
    return week * kMsPerWeek + std::llround(seconds * 1000);
}

// Three numbers "-105 08 50.0975", the sign on the degrees.
bool deg_min_sec(const Columns& c, std::size_t at, double& v) {
    double d = 0, m = 0, s = 0;
    if (!number(c.text[at], d) || !number(c.text[at + 1], m) || !number(c.text[at + 2], s)) return false;
    if (m < 0 || m >= 60 || s < 0 || s >= 60) return false;
    const double magnitude = std::fabs(d) + m / 60 + s / 3600;
    v = c.text[at][0] == '-' ? -magnitude : magnitude;
    return true;
}

// The north, east and up deviations of the ECEF ones, through the
// covariance (the cross terms are written as signed square roots).
void ecef_deviations_to_local(const std::array<double, 6>& sd, double lat, double lon, waypoints& r) {
    auto cov = [](double signed_root) { return signed_root < 0 ? -signed_root * signed_root : signed_root * signed_root; };
    const double cxx = cov(sd[0]), cyy = cov(sd[1]), czz = cov(sd[2]);
    const double cxy = cov(sd[3]), cyz = cov(sd[4]), czx = cov(sd[5]);
    const double sp = std::sin(lat * kDegree), cp = std::cos(lat * kDegree);
    const double sl = std::sin(lon * kDegree), cl = std::cos(lon * kDegree);
    auto variance = [&](double ax, double ay, double az) {
        return ax * ax * cxx + ay * ay * cyy + az * az * czz + 2 * (ax * ay * cxy + ay * az * cyz + az * ax * czx);
    };
    r.sd_east = std::sqrt(std::max(0.0, variance(-sl, cl, 0)));
    r.sd_north = std::sqrt(std::max(0.0, variance(-sp * cl, -sp * sl, cp)));
    r.sd_up = std::sqrt(std::max(0.0, variance(cp * cl, cp * sl, sp)));
}

// Course as the binary log works it out from its velocities.
void motion_from_velocity(double north, double east, waypoints& r) {
    double course = std::atan2(east, north) * 180.0 / 3.14159265358979323846;
    if (course < 0) course += 360;
    r.course = course;
    r.speed_kmh = std::hypot(north, east) * 3.6;
}

std::size_t position_columns(SolutionLayout layout) { return layout == SolutionLayout::DegMinSec ? 7 : 3; }

}  // namespace

bool read_solution_header(std::string_view line, SolutionHeader& header) {
    if (line.empty() || line[0] != '%') return false;
    line.remove_prefix(1);
    SolutionHeader h = header;
    if (line.find("latitude(d'\")") != std::string_view::npos) h.layout = SolutionLayout::DegMinSec;
    else if (line.find("latitude(") != std::string_view::npos) h.layout = SolutionLayout::Degrees;
    else if (line.find("x-ecef(") != std::string_view::npos) h.layout = SolutionLayout::Ecef;
    else if (line.find("e-baseline(") != std::string_view::npos) h.layout = SolutionLayout::Baseline;
    else return false;
    const Columns names = split(line);
    if (names.too_many || names.count < 2) return false;
    if (names.text[0] == "UTC") h.time = SolutionTimeSystem::Utc;
    else if (names.text[0] == "JST") h.time = SolutionTimeSystem::Jst;
    else h.time = SolutionTimeSystem::Gpst;
    // The time is one name over two numbers, a position of degrees,
    // minutes and seconds one name over three.
    h.columns = names.count + 1 + (h.layout == SolutionLayout::DegMinSec ? 4 : 0);
    h.velocities = false;
    for (std::size_t i = 0; i < names.count; ++i)
        if (names.text[i].starts_with("vn(") || names.text[i].starts_with("vx(")) h.velocities = true;
    header = h;
    return true;
}

std::optional<std::int64_t> decode_solution_line(std::string_view line, const SolutionHeader& h, waypoints& r) {
    if (h.layout == SolutionLayout::Baseline) return std::nullopt;
    const Columns c = split(line);
    const std::size_t base = 2 + position_columns(h.layout) + 10;
    if (c.too_many) return std::nullopt;
    // Without a header naming them: the plain columns, or velocities after them.
    const bool velocities = h.columns ? h.velocities : c.count >= base + 3;
    if (h.columns ? c.count != h.columns : (c.count != base && c.count < base + 3)) return std::nullopt;

    const bool calendar = c.text[0].find('/') != std::string_view::npos;
    const std::optional<std::int64_t> ms = calendar ? calendar_time(c.text[0], c.text[1]) : week_time(c.text[0], c.text[1]);
    if (!ms) return std::nullopt;

    double lat = 0, lon = 0, height = 0;
    std::size_t at = 2;
    if (h.layout == SolutionLayout::DegMinSec) {
        if (!deg_min_sec(c, 2, lat) || !deg_min_sec(c, 5, lon) || !number(c.text[8], height)) return std::nullopt;
        at = 9;
    } else {
        double a = 0, b = 0;
        if (!number(c.text[2], a) || !number(c.text[3], b) || !number(c.text[4], height)) return std::nullopt;
        if (h.layout == SolutionLayout::Ecef) {
            GeographicLib::Geocentric::WGS84().Reverse(a, b, height, lat, lon, height);
        } else {
            lat = a;
            lon = b;
        }
        at = 5;
    }
    if (!(std::fabs(lat) <= 90 && std::fabs(lon) <= 180)) return std::nullopt;

    int q = 0, ns = 0;
    std::array<double, 6> sd{};
    double age = 0, ratio = 0;
    if (!integer(c.text[at], q) || !integer(c.text[at + 1], ns)) return std::nullopt;
    for (std::size_t k = 0; k < 6; ++k)
        if (!number(c.text[at + 2 + k], sd[k])) return std::nullopt;
    if (!number(c.text[at + 8], age) || !number(c.text[at + 9], ratio)) return std::nullopt;
    std::array<double, 3> v{};
    if (velocities) {
        for (std::size_t k = 0; k < 3; ++k)
            if (!number(c.text[at + 10 + k], v[k])) return std::nullopt;
    }
    // Every remaining column (the velocities' deviations) must be a number too.
    for (std::size_t k = at + 10 + (velocities ? 3 : 0); k < c.count; ++k) {
        double unused = 0;
        if (!number(c.text[k], unused)) return std::nullopt;
    }

    const std::int64_t utc = utc_ms(*ms, h.time);
    const UtcText t = utc_text(utc);
    r.date = t.date;
    r.date_source = DateSource::Log;
    r.time = t.time;
    r.ms_of_day = t.ms_of_day;
    r.latitude = lat;
    r.longitude = lon;
    r.altitude = height;
    r.has_latitude = r.has_longitude = true;
    r.quality = q;
    r.sats_used = ns;
    r.diff_age = age;
    r.ratio = ratio;
    if (h.layout == SolutionLayout::Ecef) {
        ecef_deviations_to_local(sd, lat, lon, r);
    } else {
        r.sd_north = sd[0];
        r.sd_east = sd[1];
        r.sd_up = sd[2];
    }
    if (velocities) {
        double north = v[0], east = v[1];
        if (h.layout == SolutionLayout::Ecef) {
            const double sp = std::sin(lat * kDegree), cp = std::cos(lat * kDegree);
            const double sl = std::sin(lon * kDegree), cl = std::cos(lon * kDegree);
            east = -sl * v[0] + cl * v[1];
            north = -sp * cl * v[0] - sp * sl * v[1] + cp * v[2];
        }
        motion_from_velocity(north, east, r);
    }
    r.motion_derived = !velocities;
    return utc;
}

}  // namespace zelvo
