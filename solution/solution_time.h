// Time in solution files: a count of milliseconds from the start of GPS
// time (1980-01-06 00:00) in the file's own system, and its way to UTC.
#pragma once

#include <cstdint>
#include <optional>

namespace zelvo {

enum class SolutionTimeSystem { Gpst, Utc, Jst };

inline constexpr std::int64_t kMsPerWeek = 604'800'000;

// Days from 1970-01-01 to a Gregorian date (proleptic, any year).
std::int64_t days_from_civil(std::int64_t year, unsigned month, unsigned day);

// The milliseconds of yyyy/mm/dd hh:mm:ss.sss from 1980-01-06 00:00, or none
// for a date or time of day that does not exist.
std::optional<std::int64_t> ms_of_calendar(int year, int month, int day, int hour, int minute, double seconds);

// GPS minus UTC in seconds at a GPS time: the leap seconds in force then.
int gps_leap_seconds(std::int64_t gps_ms);

// The UTC of a time in `system`.
std::int64_t utc_ms(std::int64_t ms, SolutionTimeSystem system);

// A UTC time as the epoch shows it: "yyyy-mm-dd", "hh:mm:ss.sss" and the
// milliseconds of its day.
struct UtcText {
    char date[24];  // room for any int year, so no date is cut
    char time[24];
    std::int32_t ms_of_day;
};
UtcText utc_text(std::int64_t utc_ms);

}  // namespace zelvo
