#include "output/number_format.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>

using zelvo::format_fixed;
using zelvo::format_int;

namespace {

std::string ours(double v, int decimals) {
    char buf[zelvo::kMaxFixedText];
    return std::string(buf, format_fixed(v, decimals, buf));
}

std::string printf_of(double v, int decimals) {
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

}  // namespace

TEST(NumberFormat, MatchesPrintfOnRandomBitPatterns) {
    std::mt19937_64 rng(20261209);
    const int precisions[] = {1, 2, 3, 6};
    for (int i = 0; i < 2'000'000; ++i) {
        double v = std::bit_cast<double>(rng());
        int d = precisions[i % 4];
        ASSERT_EQ(ours(v, d), printf_of(v, d)) << std::hexfloat << v << " %." << d << "f";
    }
}

TEST(NumberFormat, MatchesPrintfOnCoordinatesAndDecimalTies) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> degrees(-180.0, 180.0);
    for (int i = 0; i < 1'000'000; ++i) {
        double v = degrees(rng);
        ASSERT_EQ(ours(v, 6), printf_of(v, 6)) << std::hexfloat << v;
    }
    // Values exactly halfway in binary round to even, as glibc does.
    for (double v : {0.5, 1.5, 2.5, -0.5, 0.125, 0.375, 2.675, 1.0000005, 0.0000005, 1e-7, 123456.0000005}) {
        for (int d = 0; d <= 9; ++d) EXPECT_EQ(ours(v, d), printf_of(v, d)) << v << " " << d;
    }
}

TEST(NumberFormat, SpecialValuesAndSigns) {
    EXPECT_EQ(ours(-0.0, 6), "-0.000000");
    EXPECT_EQ(ours(-1e-9, 3), "-0.000");
    EXPECT_EQ(ours(0.0, 1), "0.0");
    EXPECT_EQ(ours(std::numeric_limits<double>::quiet_NaN(), 6), printf_of(std::numeric_limits<double>::quiet_NaN(), 6));
    EXPECT_EQ(ours(-std::numeric_limits<double>::quiet_NaN(), 6), "-nan");
    EXPECT_EQ(ours(std::numeric_limits<double>::infinity(), 1), "inf");
    EXPECT_EQ(ours(-std::numeric_limits<double>::infinity(), 1), "-inf");
    EXPECT_EQ(ours(1e300, 6), printf_of(1e300, 6));
    EXPECT_EQ(ours(std::numeric_limits<double>::denorm_min(), 6), "0.000000");
    EXPECT_EQ(ours(std::numeric_limits<double>::max(), 2), printf_of(std::numeric_limits<double>::max(), 2));
}

TEST(NumberFormat, IntegersAsPercentD) {
    char buf[24];
    for (std::int64_t v : {std::int64_t{0}, std::int64_t{-1}, std::int64_t{42}, std::int64_t{INT32_MIN},
                           std::int64_t{INT32_MAX}, std::numeric_limits<std::int64_t>::min()}) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "%lld", static_cast<long long>(v));
        EXPECT_EQ(std::string(buf, format_int(v, buf)), expected);
    }
}
