#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

#include "../test_support.h"
#include "engine/ingestion.h"
#include "engine/log_deviation.h"
#include "engine/session_summary.h"
#include "engine/summary_report.h"

using namespace zelvo;
using namespace zelvo::test;

namespace {

// Collects a log's positions as the run reads it.
class Collect : public EpochConsumer {
public:
    void epoch_final(waypoints& r) override {
        if (has_position(r) && counts_as_positioned(r, {true, std::nullopt, 0, false, receiver_date(r)}))
            positions.add(r, receiver_date(r));
    }
    PositionCollector positions;
};

LogPositions read_nmea(const std::string& path) {
    InputFile in;
    EXPECT_TRUE(in.open(path)) << path;
    HeadlessHost host;
    Collect collect;
    EpochStream epochs(collect);
    ingest_nmea(in, in.size() / 100, host, epochs);
    epochs.finish();
    return std::move(collect.positions).take();
}

void expect_spread(const std::optional<Spread>& actual, const Spread& expected, double tolerance) {
    ASSERT_TRUE(actual);
    EXPECT_NEAR(actual->median, expected.median, tolerance);
    EXPECT_NEAR(actual->p95, expected.p95, tolerance);
    EXPECT_NEAR(actual->max, expected.max, tolerance);
}

// Worked out by tests/deviation_expectations.py, which derived the second
// log from the first: horizontal and vertical {median, p95, max} in metres.
TEST(LogDeviation, AgreesWithTheIndependentComputationOnNmeaLogs) {
    struct Case {
        const char* second;
        std::uint64_t common;
        Spread horizontal, vertical;
    };
    const Case cases[] = {
        // clang-format off
        {"dated", 102, {0.501975261762667, 0.548378090721959, 0.558846663343113}, {0.24399999999997135, 0.32799999999997453, 0.37000000000000455}},
        {"no RMC", 102, {0.501975261762667, 0.548378090721959, 0.558846663343113}, {0.24399999999997135, 0.32799999999997453, 0.37000000000000455}},
        // clang-format on
    };
    const std::string data = ZELVO_TEST_DATA;
    const std::string second = read_file(data + "/generated-nmea-rtk-second.nmea");
    TempDir dir;
    std::string undated;
    for (std::size_t at = 0, end; at < second.size(); at = end) {
        end = second.find('\n', at) + 1;
        if (end == 0) end = second.size();
        if (second.compare(at + 3, 3, "RMC") != 0) undated += second.substr(at, end - at);
    }
    write_file(dir.path() / "undated.nmea", undated);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.second);
        LogPositions first = read_nmea(data + "/gpsd-nmea-rtk.log");
        LogPositions later = read_nmea(c.second == std::string("dated") ? data + "/generated-nmea-rtk-second.nmea"
                                                                        : dir.str() + "undated.nmea");
        EXPECT_EQ(later.dated, c.second == std::string("dated"));
        const LogDeviation d = compare_with_first(first, std::move(later));
        EXPECT_EQ(d.common_epochs, c.common);
        expect_spread(d.horizontal_m, c.horizontal, 1e-9);
        expect_spread(d.vertical_m, c.vertical, 1e-9);
    }
}

constexpr std::int64_t kDay = 86'400'000;
constexpr std::int64_t kNewYear = 20089 * kDay;  // 2025-01-01
constexpr std::int64_t kBeforeMidnight = kNewYear - 2000;

// Epochs on the equator, one a second from `start`: the later log `steps`
// 1e-5 degrees east and metres up at each, so the differences are whole
// multiples of one step (6378137 m * 1e-5 degrees along the equator).
LogPositions equator_log(std::int64_t start, std::vector<int> steps, bool dated = true) {
    LogPositions log;
    log.dated = dated;
    for (std::size_t i = 0; i < steps.size(); ++i)
        log.epochs.push_back({start + static_cast<std::int64_t>(i) * 1000, 0, steps[i] * 1e-5, double(steps[i])});
    return log;
}

TEST(LogDeviation, PairsEpochsByInstantOrTimeOfDayAcrossMidnightAndRanksTheDifferences) {
    const double step = 6378137 * 1e-5 * std::numbers::pi / 180;
    struct Case {
        const char* what;
        LogPositions first, later;
        std::uint64_t common;
        std::optional<Spread> in_steps;  // horizontal in steps, vertical in metres alike
    };
    Case cases[] = {
        {"one value", equator_log(kNewYear, {0}), equator_log(kNewYear, {3}), 1, Spread{3, 3, 3}},
        {"two values", equator_log(kNewYear, {0, 0}), equator_log(kNewYear, {2, 1}), 2, Spread{1, 2, 2}},
        {"four across midnight, dated", equator_log(kBeforeMidnight, {0, 0, 0, 0}),
         equator_log(kBeforeMidnight, {4, 1, 3, 2}), 4, Spread{2, 4, 4}},
        {"four across midnight, time of day alone", equator_log(kBeforeMidnight % kDay, {0, 0, 0, 0}, false),
         equator_log(kBeforeMidnight % kDay, {4, 1, 3, 2}, false), 4, Spread{2, 4, 4}},
        {"five values", equator_log(kNewYear, {0, 0, 0, 0, 0}), equator_log(kNewYear, {5, 1, 4, 2, 3}), 5,
         Spread{3, 5, 5}},
        {"same times on another day", equator_log(kNewYear, {0, 0}), equator_log(kNewYear + kDay, {1, 1}), 0,
         std::nullopt},
        {"one log undated: the time of day", equator_log(kNewYear, {0, 0}), equator_log(kNewYear + kDay, {1, 1}, false),
         2, Spread{1, 1, 1}},
        {"no overlap", equator_log(kNewYear, {0, 0}), equator_log(kNewYear + 5000, {1, 1}), 0, std::nullopt},
        {"one log empty", equator_log(kNewYear, {}), equator_log(kNewYear, {1, 1}), 0, std::nullopt},
    };
    // A repeated instant counts at its first: the later log's second 0 again.
    cases[1].later.epochs.push_back({kNewYear, 0, 9e-5, 9});
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        const LogDeviation d = compare_with_first(c.first, std::move(c.later));
        EXPECT_EQ(d.common_epochs, c.common);
        EXPECT_EQ(d.horizontal_m.has_value(), c.in_steps.has_value());
        EXPECT_EQ(d.vertical_m.has_value(), c.in_steps.has_value());
        if (!c.in_steps) continue;
        expect_spread(d.horizontal_m, {c.in_steps->median * step, c.in_steps->p95 * step, c.in_steps->max * step}, 1e-8);
        expect_spread(d.vertical_m, *c.in_steps, 0);
    }
}

TEST(LogDeviation, DatesCountDaysFromNineteenSeventyAndOnlyRealDatesCount) {
    const std::pair<const char*, std::optional<std::int64_t>> cases[] = {
        {"1970-01-01", 0},          {"1969-12-31", -1},         {"2000-03-01", 11017},
        {"2024-02-29", 19782},      {"2024-12-31", 20088},      {"2023-02-29", std::nullopt},
        {"2024-13-01", std::nullopt}, {"2024-00-10", std::nullopt}, {"2024-01-1x", std::nullopt},
        {"", std::nullopt},
    };
    for (auto [date, days] : cases) EXPECT_EQ(days_since_epoch(date), days) << date;

    // An epoch without the log's own date makes the log undated; one
    // without a time is left out.
    PositionCollector c;
    waypoints r;
    r.time = "23:59:59.5";
    c.add(r, "2024-12-31");
    LogPositions dated = PositionCollector(c).take();
    ASSERT_EQ(dated.epochs.size(), 1u);
    EXPECT_TRUE(dated.dated);
    EXPECT_EQ(dated.epochs[0].instant_ms, 20088 * kDay + kDay - 500);
    c.add(r, "");
    r.time.clear();
    c.add(r, "2024-12-31");
    const LogPositions mixed = std::move(c).take();
    EXPECT_EQ(mixed.epochs.size(), 2u);
    EXPECT_FALSE(mixed.dated);
}

TEST(LogDeviation, SummaryGivesTheComparisonOrSaysThereIsNoCommonEpoch) {
    SessionSummary s;
    s.versus_first = LogDeviation{};
    const SummaryEntry none{"b.log", "out", InputFormat::Nmea, s};
    EXPECT_NE(summary_json({&none, 1}).find(
                  ",\n    \"versus_first\": {\"common_epochs\": 0, \"horizontal_m\": null, \"vertical_m\": null}\n"),
              std::string::npos);
    EXPECT_NE(summary_lines(s).find("  vs first  no common epoch\n"), std::string::npos);

    s.versus_first = LogDeviation{3, Spread{0.5, 1.25, 2}, Spread{0.0625, 0.125, 0.25}};
    const SummaryEntry some{"b.log", "out", InputFormat::Nmea, s};
    EXPECT_NE(summary_json({&some, 1}).find(
                  "\"versus_first\": {\"common_epochs\": 3, \"horizontal_m\": {\"median\": 0.5, \"p95\": 1.25, "
                  "\"max\": 2}, \"vertical_m\": {\"median\": 0.0625, \"p95\": 0.125, \"max\": 0.25}}\n"),
              std::string::npos);
    EXPECT_NE(summary_lines(s).find("  vs first  3 common epochs\n"
                                    "  horizontal median 0.500 m, p95 1.250 m, max 2.000 m\n"
                                    "  vertical  median 0.062 m, p95 0.125 m, max 0.250 m\n"),
              std::string::npos);
    EXPECT_EQ(summary_json({}).find("versus_first"), std::string::npos);
}

}  // namespace
