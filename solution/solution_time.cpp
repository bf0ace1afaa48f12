#include "solution/solution_time.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace zelvo {

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
// 1980-01-06, the start of GPS time, in days from 1970-01-01.
constexpr std::int64_t kGpsEpochDay = 3657;

// The UTC dates from which GPS time ran one more second ahead of UTC.
struct LeapStep {
    int year, month, day;
};
constexpr std::array<LeapStep, 18> kLeapSteps = {{
    {1981, 7, 1}, {1982, 7, 1}, {1983, 7, 1}, {1985, 7, 1}, {1988, 1, 1}, {1990, 1, 1},
    {1991, 1, 1}, {1992, 7, 1}, {1993, 7, 1}, {1994, 7, 1}, {1996, 1, 1}, {1997, 7, 1},
    {1999, 1, 1}, {2006, 1, 1}, {2009, 1, 1}, {2012, 7, 1}, {2015, 7, 1}, {2017, 1, 1},
}};

std::int64_t floor_div(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

bool is_leap_year(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

// The days-from-civil algorithm of the proleptic Gregorian calendar.
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = floor_div(y, 400);
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::optional<std::int64_t> ms_of_calendar(int year, int month, int day, int hour, int minute, double seconds) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return std::nullopt;
    if (day > kDays[month - 1] + (month == 2 && is_leap_year(year) ? 1 : 0)) return std::nullopt;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || !(seconds >= 0 && seconds < 60)) return std::nullopt;
    const std::int64_t days = days_from_civil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
                              kGpsEpochDay;
    return days * kMsPerDay + (hour * 3600LL + minute * 60LL) * 1000 + std::llround(seconds * 1000);
}

int gps_leap_seconds(std::int64_t gps_ms) {
    int leap = 0;
    for (const LeapStep& s : kLeapSteps) {
        // The step takes effect at its UTC midnight, which GPS time reaches
        // with the new count of seconds already added.
        const std::int64_t step_utc_ms =
            (days_from_civil(s.year, static_cast<unsigned>(s.month), static_cast<unsigned>(s.day)) - kGpsEpochDay) *
            kMsPerDay;
        if (gps_ms >= step_utc_ms + (leap + 1) * 1000LL) ++leap;
        else break;
    }
    return leap;
}

std::int64_t utc_ms(std::int64_t ms, SolutionTimeSystem system) {
    switch (system) {
        case SolutionTimeSystem::Gpst: return ms - gps_leap_seconds(ms) * 1000LL;
        case SolutionTimeSystem::Utc: return ms;
        case SolutionTimeSystem::Jst: return ms - 9 * 3'600'000LL;
    }
    return ms;
}

UtcText utc_text(std::int64_t ms) {
    UtcText t{};
    const std::int64_t day = floor_div(ms, kMsPerDay);
    const std::int64_t in_day = ms - day * kMsPerDay;
    // Civil from days (the inverse of days_from_civil).
    const std::int64_t z = day + kGpsEpochDay + 719468;
    const std::int64_t era = floor_div(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = yoe + era * 400 + (m <= 2);
    std::snprintf(t.date, sizeof t.date, "%04d-%02d-%02d", static_cast<int>(y), static_cast<int>(m),
                  static_cast<int>(d));
    const int ms_part = static_cast<int>(in_day);
    std::snprintf(t.time, sizeof t.time, "%02d:%02d:%02d.%03d", ms_part / 3'600'000, ms_part / 60'000 % 60,
                  ms_part / 1000 % 60, ms_part % 1000);
    t.ms_of_day = ms_part;
    return t;
}

}  // namespace zelvo
