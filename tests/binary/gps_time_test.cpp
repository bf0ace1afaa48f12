#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <random>

#include "binary/gps_time.h"
#include "tests/binary/binary_test_support.h"

namespace zelvo {
namespace {

constexpr double kMsPerDay = 86'400'000.0;

// The 80-bit fields of a double, by the test-data builder's encoder.
Float80 f80(double v) {
    tolv::PayloadWriter w;
    w.f80(v);
    return read_float80(w.bytes(), 0);
}

constexpr std::uint16_t kBias = 16383;

struct TruncationCase {
    const char* legend;
    Float80 value;
    std::int32_t expected;
};

TEST(GpsTime, TimeOfWeekTruncatesTowardZeroFromItsFields) {
    const TruncationCase cases[] = {
        {"zero", {0, 0}, 0},
        {"negative zero", {0, 0x8000}, 0},
        {"one", {1ull << 63, kBias}, 1},
        {"1.5", f80(1.5), 1},
        {"-1.5", f80(-1.5), -1},
        {"0.999", f80(0.999), 0},
        {"45,296,789.9", f80(45'296'789.9), 45'296'789},
        {"largest int32", f80(2147483647.0), INT32_MAX},
        {"just below 2^31", f80(2147483647.75), INT32_MAX},
        {"2^31 is out of range", f80(2147483648.0), INT32_MIN},
        {"-2^31 is in range", f80(-2147483648.0), INT32_MIN},
        {"-2^31 - 0.5 truncates into range", f80(-2147483648.5), INT32_MIN},
        {"-2^31 - 1 is out of range", f80(-2147483649.0), INT32_MIN},
        {"-2147483647", f80(-2147483647.0), -2147483647},
        {"2^40", f80(1099511627776.0), INT32_MIN},
        {"huge exponent", {1ull << 63, 0x7FFE}, INT32_MIN},
        {"infinity", {1ull << 63, 0x7FFF}, INT32_MIN},
        {"negative infinity", {1ull << 63, 0xFFFF}, INT32_MIN},
        {"NaN", {0xC000000000000000ull, 0x7FFF}, INT32_MIN},
        {"exponent 0x7FFF with zero significand", {0, 0x7FFF}, INT32_MIN},
        {"integer bit clear: taken at its field value", {3, kBias + 63}, 3},
        {"integer bit clear, shifted", {0x5, kBias + 63 + 4}, 80},
        {"denormal", {1, 0}, 0},
        {"tiny", {1ull << 63, 1}, 0},
        {"below one by one ulp", {~0ull, kBias - 1}, 0},
    };
    for (const TruncationCase& c : cases) {
        EXPECT_EQ(truncate_to_int32(c.value), c.expected) << c.legend;
    }
}

// Where long double is the x87 format, the exact decoding must agree with
// the hardware for any bit pattern in the interesting range.
TEST(GpsTime, TruncationAgreesWithNativeExtendedPrecision) {
    if constexpr (LDBL_MANT_DIG != 64 || sizeof(long double) < 10) {
        GTEST_SKIP() << "long double is not the x87 extended format here";
    } else {
        std::mt19937_64 random(20240601);
        for (int i = 0; i < 200000; ++i) {
            const std::uint64_t significand = random() | (i % 7 == 0 ? 0 : 1ull << 63);
            const std::uint16_t exponent =
                static_cast<std::uint16_t>(kBias - 4 + random() % 40) | (i % 2 == 0 ? 0x8000 : 0);
            unsigned char raw[sizeof(long double)] = {};
            std::memcpy(raw, &significand, 8);
            std::memcpy(raw + 8, &exponent, 2);
            long double native;
            std::memcpy(&native, raw, sizeof native);
            if (!std::isfinite(native)) continue;  // unnormals: the hardware calls them invalid
            const long double whole = std::trunc(native);
            const std::int32_t expected =
                whole >= -2147483648.0L && whole <= 2147483647.0L ? static_cast<std::int32_t>(whole) : INT32_MIN;
            ASSERT_EQ(truncate_to_int32(Float80{significand, exponent}), expected)
                << std::hex << significand << ' ' << exponent;
        }
    }
}

struct WeekTimeCase {
    const char* legend;
    std::int16_t week;
    double time_of_week_ms;
    const char* time;
    const char* date;
    std::int32_t ms_of_day;
};

TEST(GpsTime, WeekAndTimeGiveTimeDateAndKey) {
    const WeekTimeCase cases[] = {
        {"week 0 starts after the first rollover", 0, 0, "00:00:00.000", "1999-08-22", 0},
        {"week 1000, Monday", 1000, 131'696'789.0, "12:34:56.789", "2018-10-22", 45'296'789},
        {"a fraction of a millisecond is dropped", 1000, 45'296'789.9, "12:34:56.789", "2018-10-21", 45'296'789},
        {"the start of Monday", 1000, kMsPerDay, "00:00:00.000", "2018-10-22", 0},
        {"last millisecond of a week", 1000, 7 * kMsPerDay - 1, "23:59:59.999", "2018-10-27", 86'399'999},
        {"week 1022, Saturday", 1022, 6 * kMsPerDay + 1, "00:00:00.001", "2019-03-30", 1},
        {"week 1023 jumps to the next rollover", 1023, 0, "00:00:00.000", "2038-11-14", 0},
        {"week 1024", 1024, 0, "00:00:00.000", "2038-11-21", 0},
        {"negative weeks count as week 0 of 1980", -5, 3 * kMsPerDay, "00:00:00.000", "1980-01-09", 0},
        {"week -1, Sunday", -1, 0, "00:00:00.000", "1980-01-06", 0},
        {"the day count's last exact day", 4221, 0, "00:00:00.000", "2100-02-28", 0},
        {"and the leap day 2100 does not have", 4221, kMsPerDay, "00:00:00.000", "2100-02-29", 0},
        {"later dates come one day early", 4221, 2 * kMsPerDay, "00:00:00.000", "2100-03-01", 0},
        {"a negative time of week is not corrected", 0, -1, "00:00:00.295", "1999-08-22", 295},
        {"NaN cuts to INT_MIN and is carried through", 0, std::nan(""), "236:225:233.648", "1999-07-29",
         863'333'648},
    };
    for (const WeekTimeCase& c : cases) {
        waypoints record;
        record.latitude = 1.25;  // must stay as it is
        convert_week_time(f80(c.time_of_week_ms), c.week, record);
        waypoints expected;
        expected.latitude = 1.25;
        expected.time = c.time;
        expected.date = c.date;
        expected.ms_of_day = c.ms_of_day;
        SCOPED_TRACE(c.legend);
        test::expect_same_record(expected, record);
    }
}

TEST(GpsTime, LeapDaysBeforeAndAfterTheRollovers) {
    struct Day {
        std::int16_t week;
        int day;
        const char* date;
    };
    const Day days[] = {
        {27, 2, "2000-02-29"}, {27, 3, "2000-03-01"}, {862, 1, "2016-02-29"},
        {1090, 3, "2040-02-29"}, {1090, 4, "2040-03-01"}, {1022, 6, "2019-03-30"},
    };
    for (const Day& d : days) {
        waypoints record;
        convert_week_time_ms(d.day * 86'400'000, d.week, record);
        EXPECT_EQ(record.date, d.date) << "week " << d.week << " day " << d.day;
    }
}

TEST(GpsTime, KeyIsTheTimeOfWeekModuloOneDay) {
    for (std::int32_t ms = 0; ms <= 604'800'000; ms += 999'983) {
        waypoints record;
        convert_week_time_ms(ms, 500, record);
        ASSERT_EQ(record.ms_of_day, ms % 86'400'000) << ms;
    }
}

}  // namespace
}  // namespace zelvo
