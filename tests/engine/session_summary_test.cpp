#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <numbers>

#include "tests/output/zip_reader.h"
#include "tests/test_support.h"
#include "engine/conversion_run.h"
#include "engine/summary_report.h"
#include "output/timeline_image.h"

using namespace zelvo;
using namespace zelvo::test;

namespace {

RunResult convert_file(const std::string& path, InputFormat format, const std::string& out_dir,
                       bool timeline = false) {
    ConversionOptions o;
    o.input_path = path;
    o.input_name = "in";
    o.input_format = format;
    o.output_path = out_dir + "out.kmz";
    o.output_name = "out.kmz";
    o.timeline = timeline;
    HeadlessHost host;
    return conversion_run(o, host);
}

void expect_relative(double actual, double expected) {
    EXPECT_NEAR(actual, expected, 1e-6 * std::max(1.0, std::fabs(expected)));
}

// Expected values worked out by tests/summary_expectations.py from the
// reference models' own decoding (times and steps in milliseconds).
struct LogExpectation {
    const char* file;
    InputFormat format;
    std::uint64_t epochs, with_position, placemarks;
    std::array<std::uint64_t, kClassSlots> classes;
    std::optional<std::string> first, last;
    std::uint64_t duration_ms;
    double track_m;
    struct {
        double threshold_ms;
        std::uint64_t count, longest_ms;
    } gaps;
    std::optional<double> hdop_median, hdop_max, diff_age_max;
    std::optional<std::uint64_t> first_rtk_fix_ms;
};

const LogExpectation kLogs[] = {
    // clang-format off
    {"gpsd-garmin-10x.log", InputFormat::Nmea, 14, 10, 11, {9, 0, 0, 0, 1, 0, 0}, "2010-07-18T16:50:07.000Z", "2010-07-18T16:50:49.000Z", 42000, 45.45560965629474, {5000.0, 2, 22000}, 1.5, 50.0, std::nullopt, std::nullopt},
    {"gpsd-hemi.log", InputFormat::Nmea, 22, 21, 21, {21, 0, 0, 0, 0, 0, 0}, "19:40:50.000", "19:41:00.000", 10000, 5.160661760935344, {5000.0, 0, 0}, 3.3, 3.3, std::nullopt, std::nullopt},
    {"gpsd-humminbird-M37.log", InputFormat::Nmea, 25, 25, 8, {0, 8, 0, 0, 0, 0, 17}, "2006-09-16T19:41:01.000Z", "2006-09-16T19:41:19.000Z", 23000, 85.77984993035297, {5000.0, 0, 0}, 0.9, 0.9, std::nullopt, std::nullopt},
    {"gpsd-magellan-ec10.log", InputFormat::Nmea, 38, 21, 0, {0, 0, 0, 0, 0, 0, 21}, "20:51:50.000", "20:53:04.000", 74000, 0.0, {10000, 0, 0}, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
    {"gpsd-myguide-3100.log", InputFormat::Nmea, 13, 13, 13, {9, 0, 0, 0, 0, 4, 0}, "2009-10-08T10:50:25.800Z", "2009-10-08T10:50:37.800Z", 12000, 24.27666131694562, {5000.0, 0, 0}, 17.491, 60.0, std::nullopt, std::nullopt},
    {"gpsd-nmea-rtk.log", InputFormat::Nmea, 122, 122, 122, {0, 104, 18, 0, 0, 0, 0}, "2020-03-18T13:28:19.600Z", "2020-03-18T13:39:01.500Z", 641900, 16.19336782490273, {5000.0, 1, 629900}, 1.0, 1.2, 14.8, 640200},
    {"gpsd-rx210.log", InputFormat::Nmea, 62, 40, 40, {40, 0, 0, 0, 0, 0, 0}, "2016-04-03T18:40:40.000Z", "2016-04-03T18:41:41.000Z", 61000, 30.870162050358932, {5000.0, 0, 0}, 2.55, 3.62, std::nullopt, std::nullopt},
    {"gpsd-sl869.log", InputFormat::Nmea, 15, 15, 15, {8, 0, 0, 0, 0, 7, 0}, "2012-11-25T10:21:36.000Z", "2012-11-25T10:21:49.000Z", 13000, 95.71793876419227, {5000.0, 0, 0}, 99.0, 99.0, std::nullopt, std::nullopt},
    {"gpsd-ublox-zed-f9r.log", InputFormat::Nmea, 30, 30, 30, {0, 0, 0, 30, 0, 0, 0}, "2025-04-11T23:14:08.000Z", "2025-04-11T23:14:37.000Z", 29000, 0.9046446892871425, {5000.0, 0, 0}, 0.88, 0.92, std::nullopt, std::nullopt},
    {"gnsslibpy-pixel6.nmea", InputFormat::Nmea, 48, 48, 48, {48, 0, 0, 0, 0, 0, 0}, "2023-11-07T23:42:57.000Z", "2023-11-07T23:52:21.000Z", 564000, 613.9710113890953, {60000, 0, 0}, 0.3, 0.4, std::nullopt, std::nullopt},
    {"../../examples/sample.tolv", InputFormat::Tolv, 40, 40, 40, {35, 0, 0, 0, 0, 5, 0}, "2019-03-30T23:59:40.000Z", "2038-11-14T00:00:19.000Z", 39000, 197.31033434463848, {5000.0, 0, 0}, 1.100000023841858, 1.4000000953674316, std::nullopt, std::nullopt},
    // clang-format on
};

std::optional<double> seconds(std::optional<std::uint64_t> ms) {
    if (!ms) return std::nullopt;
    return static_cast<double>(*ms) / 1000;
}

void expect_optional(std::optional<double> actual, std::optional<double> expected) {
    ASSERT_EQ(actual.has_value(), expected.has_value());
    if (expected) expect_relative(*actual, *expected);
}

TEST(SessionSummary, AgreesWithTheIndependentComputationOnRealLogs) {
    TempDir dir;
    for (const LogExpectation& e : kLogs) {
        SCOPED_TRACE(e.file);
        const RunResult r = convert_file(std::string(ZELVO_TEST_DATA) + "/" + e.file, e.format, dir.str());
        ASSERT_TRUE(r.summary);
        const SessionSummary& s = *r.summary;
        EXPECT_EQ(s.epochs, e.epochs);
        EXPECT_EQ(s.epochs_with_position, e.with_position);
        EXPECT_EQ(s.placemarks, e.placemarks);
        EXPECT_EQ(s.classes, e.classes);
        EXPECT_EQ(s.first_epoch, e.first);
        EXPECT_EQ(s.last_epoch, e.last);
        expect_relative(s.duration_s, static_cast<double>(e.duration_ms) / 1000);
        expect_relative(s.valid_track_m, e.track_m);
        expect_relative(s.gap_threshold_s, e.gaps.threshold_ms / 1000);
        EXPECT_EQ(s.gap_count, e.gaps.count);
        expect_relative(s.longest_gap_s, static_cast<double>(e.gaps.longest_ms) / 1000);
        expect_optional(s.hdop_median, e.hdop_median);
        expect_optional(s.hdop_max, e.hdop_max);
        expect_optional(e.format == InputFormat::Nmea ? s.diff_age_max_s : std::nullopt, e.diff_age_max);
        expect_optional(s.first_rtk_fix_after_s, seconds(e.first_rtk_fix_ms));
    }
}

// One epoch a second from 23:59:30, moving east along the equator by
// 0.0001 degrees an epoch; runs of classes with two planted gaps.
struct Run {
    int epochs, quality;
    char status, mode;
    const char* hdop;
    const char* diff_age;
    int gap_before_s;
};
constexpr Run kPlanted[] = {
    {10, 1, 'A', 'A', "0.8", "", 0},    // auto, t 0-9
    {10, 2, 'A', 'D', "1.2", "2.5", 0}, // diff, t 10-19
    {3, 6, 'A', 'E', "5.0", "", 0},     // estimated, t 20-22
    {10, 5, 'A', 'F', "0.9", "1.5", 22},// gap of 23 s; RTK float, t 45-54
    {10, 4, 'A', 'P', "0.6", "1.0", 0}, // RTK fixed, t 55-64
    {5, 0, 'V', 'N', "", "", 45},       // gap of 46 s; invalid, t 110-114
};

std::string planted_log() {
    std::string log;
    int t = 0, i = 0;
    for (const Run& run : kPlanted) {
        t += run.gap_before_s;
        for (int k = 0; k < run.epochs; ++k, ++t, ++i) {
            const int tod = (23 * 3600 + 59 * 60 + 30 + t) % 86400;
            char hms[16], lon[16], body[160];
            std::snprintf(hms, sizeof hms, "%02d%02d%02d.00", tod / 3600, tod / 60 % 60, tod % 60);
            std::snprintf(lon, sizeof lon, "000%07.4f", i * 0.006);  // minutes of arc
            std::snprintf(body, sizeof body, "GPGGA,%s,0000.0000,N,%s,E,%d,10,%s,10.0,M,0.0,M,%s,0000", hms, lon,
                          run.quality, run.hdop, run.diff_age);
            log += nmea(body) + "\r\n";
            std::snprintf(body, sizeof body, "GPRMC,%s,%c,0000.0000,N,%s,E,0.0,0.0,%s,,,%c", hms, run.status, lon,
                          t < 30 ? "311224" : "010125", run.mode);
            log += nmea(body) + "\r\n";
        }
    }
    return log;
}

TEST(SessionSummary, GeneratedLogGivesPlantedGapsSharesFirstFixAndLength) {
    TempDir dir;
    write_file(dir.path() / "planted.nmea", planted_log());
    const RunResult r = convert_file(dir.str() + "planted.nmea", InputFormat::Nmea, dir.str(), true);
    ASSERT_TRUE(r.summary);
    const SessionSummary& s = *r.summary;
    EXPECT_EQ(s.epochs, 48u);
    EXPECT_EQ(s.placemarks, 48u);
    EXPECT_EQ(s.classes, (std::array<std::uint64_t, kClassSlots>{10, 10, 10, 10, 3, 5, 0}));
    EXPECT_EQ(s.first_epoch, "2024-12-31T23:59:30.000Z");
    EXPECT_EQ(s.last_epoch, "2025-01-01T00:01:24.000Z");
    EXPECT_DOUBLE_EQ(s.duration_s, 114);
    EXPECT_DOUBLE_EQ(s.gap_threshold_s, 5);
    EXPECT_EQ(s.gap_count, 2u);
    EXPECT_DOUBLE_EQ(s.longest_gap_s, 46);
    EXPECT_EQ(s.longest_gap_start, "00:00:34.000");
    EXPECT_EQ(s.first_rtk_fix_after_s, 55);
    EXPECT_EQ(s.hdop_median, 0.9);
    EXPECT_EQ(s.hdop_max, 5.0);
    EXPECT_EQ(s.diff_age_max_s, 2.5);
    // 43 valid points along the equator, where the geodesic is the equator.
    expect_relative(s.valid_track_m, 6378137.0 * 42 * 0.0001 * std::numbers::pi / 180);

    // The strip: auto at the start, blank inside the second gap, fixed after it.
    ConversionOptions o;
    const TimelinePicture p = timeline_picture(s, o);
    auto at_second = [&](double t) { return p.columns[static_cast<std::size_t>(t / 114.001 * kTimelineColumns)]; };
    EXPECT_EQ(at_second(5), Rgb(255, 0, 0));
    EXPECT_EQ(at_second(30), std::nullopt);
    EXPECT_EQ(at_second(60), Rgb(0, 128, 0));
    EXPECT_EQ(at_second(90), std::nullopt);
    EXPECT_EQ(p.legend[2].label, "RTK fix 20.8 %");

    // The archive holds the strip after the icons and the document says so.
    const std::vector<ZipMember> members = read_zip(read_file(dir.path() / "out.kmz"));
    ASSERT_EQ(members.size(), 8u);
    EXPECT_EQ(members.back().name, "timeline.png");
    EXPECT_EQ(decode_png({reinterpret_cast<const unsigned char*>(members.back().data.data()), members.back().data.size()}).width,
              kTimelineWidth);
    EXPECT_NE(members.front().data.find("<Document>\r\n<description><![CDATA[<table>"), std::string::npos);
    EXPECT_NE(members.front().data.find("<href>timeline.png</href>"), std::string::npos);
}

TEST(SessionSummary, MedianIsTheMiddleValueOrTheMeanOfTheTwo) {
    struct Case {
        std::vector<double> values;
        std::optional<double> median;
        std::uint64_t above_one;
    };
    const Case cases[] = {
        {{}, std::nullopt, 0},
        {{1}, 1, 0},
        {{1, 3}, 2, 1},
        {{3, 1, 2}, 2, 2},
        {{1, 1, 1, 5}, 1, 1},
        {{0.5, 2, 0.5, 2}, 1.25, 2},
    };
    for (const Case& c : cases) {
        ExactHistogram<double> h;
        for (double v : c.values) h.add(v);
        EXPECT_EQ(h.median(), c.median);
        EXPECT_EQ(h.count_above(1), c.above_one);
    }
}

TEST(SessionSummary, OnlyTheLogsOwnDateCounts) {
    const struct {
        const char* date;
        DateSource source;
        const char* expected;
    } cases[] = {
        {"2024-01-02", DateSource::Log, "2024-01-02"}, {"2024-01-02", DateSource::Today, ""},
        {"2000-01-01", DateSource::Fixed, ""},         {"", DateSource::Log, ""},
        {"2024-1-02x", DateSource::Log, ""},
    };
    for (const auto& c : cases) {
        waypoints r;
        r.date = c.date;
        r.date_source = c.source;
        EXPECT_EQ(receiver_date(r), c.expected) << c.date;
    }
}

TEST(SessionSummary, JsonHoldsExactlyTheKeysOfTheReport) {
    SummaryAccumulator a;
    waypoints r;
    r.time = "12:00:00.5";
    r.date = "2024-05-06";
    r.hdop = 0.7;
    r.has_gga = 1;
    a.add(r, {true, FixClass::RtkFix, 1, true, receiver_date(r), true});
    const SummaryEntry entry{"in \"a\".log", "out.kmz", InputFormat::Nmea, a.finish()};
    EXPECT_EQ(summary_json({&entry, 1}),
              "[\n  {\n"
              "    \"input\": \"in \\\"a\\\".log\",\n"
              "    \"output\": \"out.kmz\",\n"
              "    \"format\": \"nmea\",\n"
              "    \"epochs\": 1,\n"
              "    \"epochs_with_position\": 1,\n"
              "    \"placemarks\": 1,\n"
              "    \"classes\": {\"auto\": 0, \"diff\": 0, \"rtk_fix\": 1, \"rtk_float\": 0, \"estimated\": 0, "
              "\"invalid\": 0, \"none\": 0},\n"
              "    \"first_epoch\": \"2024-05-06T12:00:00.500Z\",\n"
              "    \"last_epoch\": \"2024-05-06T12:00:00.500Z\",\n"
              "    \"duration_s\": 0,\n"
              "    \"valid_track_m\": 0,\n"
              "    \"gaps\": {\"threshold_s\": 5, \"count\": 0, \"longest_s\": 0},\n"
              "    \"hdop\": {\"median\": 0.7, \"max\": 0.7},\n"
              "    \"diff_age_max_s\": null,\n"
              "    \"first_rtk_fix_after_s\": 0\n"
              "  }\n]\n");
    EXPECT_EQ(summary_json({}), "[]\n");

    // A field that reads as infinite or not a number leaves no word JSON lacks.
    r.hdop = INFINITY;
    r.diff_age = NAN;
    SummaryAccumulator odd;
    odd.add(r, {true, FixClass::Auto, 1, true, receiver_date(r)});
    const SummaryEntry odd_entry{"in", "out", InputFormat::Nmea, odd.finish()};
    const std::string json = summary_json({&odd_entry, 1});
    EXPECT_EQ(json.find("inf"), std::string::npos) << json;
    EXPECT_EQ(json.find("nan"), std::string::npos) << json;
}

// Each bin counts the epochs whose offset from the first lies in it, by
// class, however the bins had to widen on the way (short steps and long jumps).
TEST(SessionSummary, TimelineBinsCountEachEpochWhereItsOffsetFalls) {
    const std::pair<const char*, FixClass> epochs[] = {
        {"00:00:00.000", FixClass::Auto},   {"00:00:00.001", FixClass::Diff},  {"00:00:00.003", FixClass::Auto},
        {"00:00:02.047", FixClass::RtkFix}, {"00:00:02.048", FixClass::Auto},  {"00:00:05.000", FixClass::Diff},
        {"00:00:05.001", FixClass::Diff},   {"01:00:00.000", FixClass::Auto},  {"01:00:00.500", FixClass::RtkFloat},
        {"06:00:00.000", FixClass::Auto},   {"11:59:59.999", FixClass::Invalid},
    };
    SummaryAccumulator a;
    std::vector<std::pair<std::uint64_t, FixClass>> offsets;
    for (auto [time, fix] : epochs) {
        waypoints r;
        r.time = time;
        r.ms_of_day = static_cast<std::int32_t>(std::stoi(time) * 3600000 + std::stoi(time + 3) * 60000 +
                                                std::lround(std::stod(time + 6) * 1000));
        a.add(r, {true, fix, 1, false, ""});
        offsets.push_back({static_cast<std::uint64_t>(r.ms_of_day), fix});
        const TimelineBins bins = a.finish().timeline;
        const std::uint64_t last = offsets.back().first;
        ASSERT_LT(last / bins.width_ms, std::uint64_t{TimelineBins::kBins}) << time;
        ASSERT_TRUE(bins.width_ms == 1 || last / (bins.width_ms / 2) >= TimelineBins::kBins) << time;
        std::map<std::uint64_t, std::array<std::uint32_t, kClassSlots>> expected;
        for (auto [offset, c] : offsets) ++expected[offset / bins.width_ms][static_cast<std::size_t>(c)];
        std::map<std::uint64_t, std::array<std::uint32_t, kClassSlots>> counted;
        for (std::size_t i = 0; i < bins.filled.size(); ++i) {
            if (i > 0) {
                ASSERT_LT(bins.filled[i - 1].index, bins.filled[i].index) << time;
            }
            counted[bins.filled[i].index] = bins.filled[i].counts;
        }
        EXPECT_EQ(counted, expected) << time;
    }
}

// Values as large as a double holds are written out in full, in the text
// lines and in the document's table alike.
TEST(SessionSummary, HugeValuesAreWrittenInFull) {
    waypoints r;
    r.time = "12:00:00";
    r.has_gga = 1;
    for (double v : {1e300, 1.5e62, 1e20}) {
        r.hdop = r.diff_age = v;
        SummaryAccumulator a;
        a.add(r, {true, FixClass::Auto, 1, true, "", /*has_correction_age=*/true});
        const SessionSummary s = a.finish();
        char digits[400];
        std::snprintf(digits, sizeof digits, "max %.2f, ", v);
        for (const std::string& text : {summary_html(s), summary_lines(s)}) {
            EXPECT_NE(text.find(std::string(digits, std::strlen(digits) - 2)), std::string::npos) << v << text;
            EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n' || (c >= 0x20 && c <= 0x7E); }))
                << v;
        }
    }
}

TEST(SessionSummary, NoEpochWithAValueGivesNoneNotZero) {
    // GGA fields as a receiver left them: empty HDOP and age fields read as 0.
    struct Case { double hdop, diff_age; const char* hdop_json; const char* age_json; const char* hdop_line; const char* age_line; };
    const Case cases[] = {
        {0, 0, "{\"median\": null, \"max\": null}", "null", "none reported", "none"},
        {1.2, 0, "{\"median\": 1.2, \"max\": 1.2}", "null", "median 1.20, max 1.20", "none"},
        {0, 3.5, "{\"median\": null, \"max\": null}", "3.5", "none reported", "max 3.5 s"},
    };
    for (const Case& c : cases) {
        SummaryAccumulator a;
        waypoints r;
        r.time = "12:00:00";
        r.has_gga = 1;
        r.hdop = c.hdop;
        r.diff_age = c.diff_age;
        a.add(r, {true, FixClass::Auto, 1, true, receiver_date(r), /*has_correction_age=*/true});
        const SummaryEntry e{"in", "out", InputFormat::Nmea, a.finish()};
        const std::string json = summary_json({&e, 1}), lines = summary_lines(e.summary);
        EXPECT_NE(json.find(std::string("\"hdop\": ") + c.hdop_json), std::string::npos) << json;
        EXPECT_NE(json.find(std::string("\"diff_age_max_s\": ") + c.age_json + ","), std::string::npos) << json;
        EXPECT_NE(lines.find(std::string("hdop      ") + c.hdop_line + "\n"), std::string::npos) << lines;
        EXPECT_NE(lines.find(std::string("diff age  ") + c.age_line + "\n"), std::string::npos) << lines;
    }
}

TEST(SessionSummary, StripDatesItsFirstTickAndNamesEpochsWithoutAPlacemark) {
    struct Case { const char* date; bool placemark; const char* first_tick; bool no_placemark_legend; };
    const Case cases[] = {
        {"2024-02-28", true, "2024-02-29 00:00", false},  // the first tick after midnight is the next day
        {"", false, "00:00", true},                       // no date in the log: the time alone
    };
    for (const Case& c : cases) {
        SummaryAccumulator a;
        for (int minute = 0; minute < 20; ++minute) {
            waypoints r;
            const int m = (23 * 3600 + 59 * 60 + 50) * 1000 + minute * 60'000;  // 23:59:50 on
            r.ms_of_day = m % 86'400'000;
            r.time = time_of_day_text(r.ms_of_day);
            r.date = minute < 1 ? c.date : "";
            a.add(r, {true, c.placemark ? std::optional(FixClass::Auto) : std::nullopt, c.placemark, true,
                      receiver_date(r)});
        }
        const TimelinePicture p = timeline_picture(a.finish(), ConversionOptions());
        ASSERT_FALSE(p.ticks.empty()) << c.date;
        EXPECT_EQ(p.ticks.front().label, c.first_tick);
        for (std::size_t i = 1; i < p.ticks.size(); ++i) EXPECT_EQ(p.ticks[i].label.size(), 5u) << p.ticks[i].label;
        EXPECT_EQ(p.legend.size(), c.no_placemark_legend ? 7u : 6u);
        if (c.no_placemark_legend) {
            EXPECT_EQ(p.legend.back().label, "No placemark 100.0 %");
        }
    }
}

TEST(SessionSummary, JsonNamesStayValidUtf8) {
    const struct {
        std::string name, written;
    } cases[] = {
        {"gr\xC3\xB6\xC3\x9F" "e.log", "gr\xC3\xB6\xC3\x9F" "e.log"},    // UTF-8 as it stands
        {"gr\xF6\xDF" "e.log", "gr\xEF\xBF\xBD\xEF\xBF\xBD" "e.log"},     // Latin-1 bytes
        {"a\xC0\xAF" "b", "a\xEF\xBF\xBD\xEF\xBF\xBD" "b"},               // an overlong '/'
        {"cut\xE2\x82", "cut\xEF\xBF\xBD\xEF\xBF\xBD"},                 // a sequence cut short
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},      // a surrogate
    };
    for (const auto& c : cases) {
        const SummaryEntry entry{c.name, "out.kmz", InputFormat::Nmea, SummaryAccumulator().finish()};
        EXPECT_NE(summary_json({&entry, 1}).find("\"input\": \"" + c.written + "\""), std::string::npos) << c.written;
    }
}

TEST(SessionSummary, TimelineDrawsColumnsTicksAndLegendText) {
    TimelinePicture p;
    p.columns.assign(kTimelineColumns, std::nullopt);
    for (std::uint32_t c = 0; c < 100; ++c) p.columns[c] = Rgb{0, 128, 0};
    p.ticks.push_back({500, "12:30"});
    p.legend.push_back({Rgb{255, 0, 0}, "Auto 50.0 %"});
    const PngImage image = draw_timeline(p, timeline_font_path());
    ASSERT_EQ(image.width, kTimelineWidth);
    ASSERT_EQ(image.height, kTimelineHeight);
    const std::uint32_t mid = kTimelineStripTop + kTimelineStripHeight / 2;
    EXPECT_EQ(image.colour_at(kTimelineStripLeft + 50, mid), (Rgb{0, 128, 0}));
    EXPECT_EQ(image.colour_at(kTimelineStripLeft + 500, mid), (Rgb{255, 255, 255}));
    // Glyphs leave dark pixels under the tick and beside the swatch.
    auto dark_pixels = [&](std::uint32_t left, std::uint32_t top, std::uint32_t w, std::uint32_t h) {
        int n = 0;
        for (std::uint32_t y = top; y < top + h; ++y)
            for (std::uint32_t x = left; x < left + w; ++x) n += image.colour_at(x, y).red < 128;
        return n;
    };
    EXPECT_GT(dark_pixels(kTimelineStripLeft + 480, 45, 40, 15), 20);
    EXPECT_GT(dark_pixels(kTimelineStripLeft + 18, 60, 80, 16), 20);
    EXPECT_EQ(dark_pixels(kTimelineStripLeft + 600, 45, 40, 15), 0);
    EXPECT_THROW(draw_timeline(p, "/nonexistent/font.ttf"), std::runtime_error);
}

}  // namespace
