#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

#include "../output/zip_reader.h"
#include "../test_support.h"
#include "engine/conversion_run.h"
#include "engine/nearest_rank.h"
#include "engine/summary_report.h"

using namespace zelvo;
using namespace zelvo::test;

namespace {

// Worked out by tests/standing_expectations.py, which wrote the logs: the
// mean, then sd north/east/up and CEP50/CEP95 in metres.
struct StandingExpectation {
    const char* file;
    bool rtk_fix_only;
    std::uint64_t epochs;
    std::array<double, 3> mean;
    std::array<double, 3> sd;
    std::array<double, 2> cep;
};

const StandingExpectation kStanding[] = {
    // clang-format off
    {"generated-standing-rtk.nmea", true, 120, {47.39774190008333, 8.545593818444445, 488.12417166666665}, {0.012016795398165327, 0.007891861327092345, 0.0221723632820228}, {0.010931674181553967, 0.02504159150991171}},
    {"generated-standing-few-fixes.nmea", false, 86, {47.39774262833333, 8.545593484689922, 488.17552325581397}, {0.8686739483067744, 0.7585872400933413, 1.538775958960391}, {0.6640584283387797, 2.123160079145842}},
    // clang-format on
};

RunResult convert_standing(const std::string& log, const std::string& out_dir) {
    ConversionOptions o;
    o.input_path = log;
    o.output_path = out_dir + "out.kmz";
    o.output_name = "out.kmz";
    o.standing = true;
    o.timeline = true;
    HeadlessHost host;
    return conversion_run(o, host);
}

TEST(StandingPrecision, AgreesWithTheIndependentComputationOnGeneratedStandingLogs) {
    TempDir dir;
    for (const StandingExpectation& e : kStanding) {
        SCOPED_TRACE(e.file);
        const RunResult r = convert_standing(std::string(ZELVO_TEST_DATA) + "/" + e.file, dir.str());
        ASSERT_TRUE(r.summary && r.summary->standing);
        const StandingFigures& f = *r.summary->standing;
        EXPECT_EQ(f.rtk_fix_only, e.rtk_fix_only);
        EXPECT_EQ(f.epochs, e.epochs);
        EXPECT_NEAR(f.latitude, e.mean[0], 1e-11);
        EXPECT_NEAR(f.longitude, e.mean[1], 1e-11);
        EXPECT_NEAR(f.height, e.mean[2], 1e-9);
        // Nanometres: the two ways to the local frame round differently.
        EXPECT_NEAR(f.sd_north_m, e.sd[0], 1e-8);
        EXPECT_NEAR(f.sd_east_m, e.sd[1], 1e-8);
        EXPECT_NEAR(f.sd_up_m, e.sd[2], 1e-8);
        EXPECT_NEAR(f.cep50_m, e.cep[0], 1e-8);
        EXPECT_NEAR(f.cep95_m, e.cep[1], 1e-8);

        // The scatter is the archive's last member, shown by a second overlay.
        const std::vector<ZipMember> members = read_zip(read_file(dir.path() / "out.kmz"));
        ASSERT_EQ(members.size(), 9u);
        EXPECT_EQ(members[7].name, "timeline.png");
        EXPECT_EQ(members[8].name, "scatter.png");
        const PngImage scatter = decode_png(
            {reinterpret_cast<const unsigned char*>(members[8].data.data()), members[8].data.size()});
        EXPECT_EQ(scatter.width, kScatterWidth);
        EXPECT_NE(members[0].data.find("<href>scatter.png</href>"), std::string::npos);
        EXPECT_NE(members[0].data.find("<th>CEP</th>"), std::string::npos);
    }
}

TEST(StandingPrecision, NearestRankIsTheSmallestValueWithPPercentAtOrBelowIt) {
    struct Case {
        std::vector<double> values;
        int percent;
        std::optional<double> expected;
    };
    const Case cases[] = {
        {{}, 50, std::nullopt},   {{7}, 50, 7},           {{7}, 95, 7},           {{9, 3}, 50, 3},
        {{9, 3}, 51, 9},          {{9, 3}, 95, 9},        {{4, 1, 3, 2}, 50, 2},  {{4, 1, 3, 2}, 75, 3},
        {{4, 1, 3, 2}, 95, 4},    {{5, 1, 4, 2, 3}, 50, 3}, {{5, 1, 4, 2, 3}, 95, 5}, {{5, 1, 4, 2, 3}, 100, 5},
        {{5, 1, 4, 2, 3}, 20, 1}, {{5, 1, 4, 2, 3}, 21, 2},
    };
    for (const Case& c : cases) {
        std::vector<double> v = c.values;
        EXPECT_EQ(nearest_rank(v.begin(), v.end(), c.percent), c.expected) << c.values.size() << " " << c.percent;
    }
}

// Epochs on the equator: `fixes` RTK-fixed ones at the mark, `others`
// autonomous ones a degree away.
StandingResult standing_of(int fixes, int others, double lon_a = 0, double lon_b = 0) {
    StandingAccumulator a;
    waypoints r;
    for (int i = 0; i < fixes + others; ++i) {
        r.longitude = i < fixes ? (i % 2 ? lon_a : lon_b) : 1;
        a.add(r, i < fixes ? FixClass::RtkFix : FixClass::Auto);
    }
    return std::move(a).finish();
}

TEST(StandingPrecision, TakesTheRtkFixesFromTenOnAndAveragesAcrossTheAntimeridian) {
    struct Case {
        int fixes, others;
        bool rtk_fix_only;
        std::uint64_t epochs;
    };
    for (const Case& c : {Case{10, 5, true, 10}, Case{9, 5, false, 14}, Case{0, 3, false, 3}}) {
        const StandingResult s = standing_of(c.fixes, c.others);
        ASSERT_TRUE(s.figures);
        EXPECT_EQ(s.figures->rtk_fix_only, c.rtk_fix_only);
        EXPECT_EQ(s.figures->epochs, c.epochs);
        EXPECT_EQ(s.scatter.east_m.size(), c.epochs);
    }
    EXPECT_FALSE(standing_of(0, 0).figures);
    StandingAccumulator odd;
    waypoints r;
    r.altitude = NAN;
    odd.add(r, FixClass::RtkFix);
    EXPECT_FALSE(std::move(odd).finish().figures) << "a height that is not a number";

    // Two fixes astride the antimeridian, 1e-5 degrees apart on the equator:
    // 6378137 m * sin(1e-5 degrees) each side of the mean.
    const StandingResult s = standing_of(10, 0, 179.99999, -179.99999);
    ASSERT_TRUE(s.figures);
    EXPECT_NEAR(std::fabs(s.figures->longitude), 180, 1e-12);
    const double half = 6378137 * std::sin(1e-5 * std::numbers::pi / 180);
    EXPECT_NEAR(s.figures->sd_east_m, half, 1e-7);
    EXPECT_NEAR(s.figures->sd_north_m, 0, 1e-9);
    EXPECT_NEAR(s.figures->cep50_m, half, 1e-7);
    EXPECT_NEAR(s.figures->cep95_m, half, 1e-7);
}

TEST(StandingPrecision, SummaryReportsTheFiguresOrThatThereAreNone) {
    SessionSummary s;
    s.standing_measured = true;
    const SummaryEntry none{"in", "out", InputFormat::Nmea, s};
    EXPECT_NE(summary_json({&none, 1}).find("\"first_rtk_fix_after_s\": null,\n    \"static\": null\n"),
              std::string::npos);
    EXPECT_NE(summary_lines(s).find("  static    no epoch with a position\n"), std::string::npos);

    s.standing = StandingFigures{true, 12, 47.5, 8.25, 500.125, 0.012, 0.008, 0.0205, 0.011, 0.025};
    const SummaryEntry some{"in", "out", InputFormat::Nmea, s};
    EXPECT_NE(summary_json({&some, 1}).find(
                  "\"static\": {\"class\": \"rtk_fix\", \"epochs\": 12, \"lat\": 47.5, \"lon\": 8.25, \"height\": "
                  "500.125, \"sd_m\": {\"north\": 0.012, \"east\": 0.008, \"up\": 0.0205}, \"cep50_m\": 0.011, "
                  "\"cep95_m\": 0.025}\n"),
              std::string::npos);
    EXPECT_NE(summary_lines(s).find("  static    12 RTK fix epochs, mean 47.500000000, 8.250000000, 500.1250 m\n"
                                    "  sd        north 0.012 m, east 0.008 m, up 0.021 m\n"
                                    "  CEP       50 % 0.011 m, 95 % 0.025 m\n"),
              std::string::npos);
    SessionSummary plain;
    EXPECT_EQ(summary_lines(plain).find("static"), std::string::npos);
}

}  // namespace
