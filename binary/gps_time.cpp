#include "binary/gps_time.h"

#include <climits>
#include <cstdio>

#include "binary/little_endian.h"

namespace zelvo {

namespace {

constexpr int kExponentBias = 16383;
constexpr int kSignificandBits = 63;  // below the explicit integer bit
constexpr int kInfinityOrNanExponent = 0x7FFF;

constexpr std::int32_t kMsPerDay = 86'400'000;
constexpr std::int32_t kSecondsPerDay = 86'400;

// The day count starts at 1980-01-06 + 68 days, so that 123 is 1980-03-01,
// the first day of the first March-based year the count handles directly.
constexpr std::int32_t kDayCountBase = 68;
constexpr std::int32_t kFirstMarchDay = 123;
constexpr std::int32_t kLeapYearDays = 366;
constexpr double kYearOffset = 122.1;
constexpr double kDaysPerYear = 365.25;
constexpr double kDaysPerMonth = 30.6001;
constexpr int kBaseYear = 1980;

// Receivers count weeks modulo 1024; weeks before 1023 are taken to be in
// the second rollover period and the rest in the third.
std::int16_t adjust_week(std::int16_t week) {
    if (week < 0) return 0;
    if (week <= 1022) return static_cast<std::int16_t>(week + 1024);
    return static_cast<std::int16_t>(week + 2048);
}

}  // namespace

Float80 read_float80(std::span<const std::uint8_t> bytes, std::size_t pos) {
    return Float80{le64(bytes, pos), le16(bytes, pos + 8)};
}

std::int32_t truncate_to_int32(Float80 value) {
    const bool negative = (value.sign_exponent & 0x8000) != 0;
    const int exponent = value.sign_exponent & 0x7FFF;
    if (exponent == kInfinityOrNanExponent) return INT32_MIN;  // infinity or NaN
    if (value.significand == 0) return 0;

    // value = significand * 2^shift, taken as the fields say even when the
    // integer bit is clear.
    const int shift = exponent - kExponentBias - kSignificandBits;
    std::uint64_t whole = 0;
    if (shift >= 0) {
        if (shift >= 32 || value.significand > (std::uint64_t{1} << 31) >> shift) {
            return INT32_MIN;  // at least 2^31 in magnitude
        }
        whole = value.significand << shift;
    } else if (shift > -64) {
        whole = value.significand >> -shift;
    }

    if (negative) {
        if (whole > std::uint64_t{1} << 31) return INT32_MIN;
        return static_cast<std::int32_t>(-static_cast<std::int64_t>(whole));
    }
    if (whole > static_cast<std::uint64_t>(INT32_MAX)) return INT32_MIN;
    return static_cast<std::int32_t>(whole);
}

void convert_week_time(Float80 time_of_week_ms, std::int16_t week, waypoints& record) {
    convert_week_time_ms(truncate_to_int32(time_of_week_ms), week, record);
}

void convert_week_time_ms(std::int32_t ms, std::int16_t week, waypoints& record) {
    // Time of day. A time of week below zero is not corrected: its parts come
    // out negative and are kept in 8 bits as they are.
    const std::int32_t seconds_of_day = (ms / 1000) % kSecondsPerDay;
    const std::uint32_t millis = static_cast<std::uint32_t>(ms) % 1000u;
    const auto hours = static_cast<std::uint8_t>(seconds_of_day / 3600);
    const auto minutes = static_cast<std::uint8_t>((seconds_of_day % 3600) / 60);
    const auto seconds = static_cast<std::uint8_t>(seconds_of_day % 60);

    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", hours, minutes, seconds,
                  static_cast<int>(millis));
    record.time = text;
    record.ms_of_day = hours * 3'600'000 + minutes * 60'000 + seconds * 1000 +
                       static_cast<std::int32_t>(millis);

    // Date, by a day count whose years start in March, so that the leap day
    // is the last day of its year.
    const std::int32_t day_of_week = ms / kMsPerDay;
    std::int32_t b = day_of_week + 7 * adjust_week(week) + kDayCountBase;
    std::int16_t year_offset = 0;
    if (b < kFirstMarchDay) {
        // March 1979 to February 1980, which holds 1980-02-29.
        b += kLeapYearDays;
        year_offset = -1;
    } else {
        year_offset = static_cast<std::int16_t>(static_cast<std::int32_t>((b - kYearOffset) / kDaysPerYear));
        b -= static_cast<std::int32_t>(year_offset * kDaysPerYear);
    }
    const auto month_index = static_cast<std::int32_t>(b / kDaysPerMonth);
    const auto day = static_cast<std::uint8_t>(b - static_cast<std::int32_t>(month_index * kDaysPerMonth));
    auto month = static_cast<std::uint8_t>(month_index - 1);
    if (month > 12) {
        month = static_cast<std::uint8_t>(month_index - 13);
        if (month < 3) year_offset = static_cast<std::int16_t>(year_offset + 1);
    }
    const auto year = static_cast<std::uint16_t>(year_offset + kBaseYear);

    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
    record.date = text;
}

}  // namespace zelvo
