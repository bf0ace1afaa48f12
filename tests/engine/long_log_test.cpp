// Options for long logs and GIS tools: fewer placemarks, tracks broken at
// gaps in the log, and the epoch values as typed fields.
#include <gtest/gtest.h>

#include <climits>
#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <regex>

#include "engine/log_time.h"
#include "engine/placemark_thinning.h"
#include "run_fixture.h"

using namespace zelvo;
using namespace zelvo::test;

namespace {

constexpr std::int32_t kNoTime = INT_MIN;
constexpr std::int32_t s(double seconds) { return static_cast<std::int32_t>(seconds * 1000); }
constexpr std::int32_t hms(int h, int m, double sec) { return h * 3'600'000 + m * 60'000 + s(sec); }

std::string between(const std::string& doc, const std::string& from, const std::string& to) {
    std::size_t a = doc.find(from);
    std::size_t b = doc.find(to, a);
    return a == std::string::npos || b == std::string::npos ? std::string() : doc.substr(a, b - a);
}

std::size_t count_of(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::string without(std::string text, const std::string& what) {
    for (std::size_t at; (at = text.find(what)) != std::string::npos;) text.erase(at, what.size());
    return text;
}

// The waypoint placemarks of the folder, each as its text.
std::vector<std::string> placemarks(const std::string& doc) {
    std::vector<std::string> out;
    const std::string folder = between(doc, "<Folder>", "</Folder>");
    for (std::size_t at = folder.find("<Placemark>"); at != std::string::npos;
         at = folder.find("<Placemark>", at + 1))
        out.push_back(folder.substr(at, folder.find("</Placemark>", at) - at));
    return out;
}

std::string row(const std::string& placemark, const std::string& header) {
    std::smatch m;
    std::regex re("<th>" + std::regex_replace(header, std::regex(R"([()])"), R"(\$&)") + "</th><td>([^<]*)</td>");
    return std::regex_search(placemark, m, re) ? m[1].str() : "";
}

// Icons along the folder with repeats folded: the sequence of class runs.
std::vector<std::string> class_runs(const std::string& doc) {
    std::vector<std::string> runs;
    for (const std::string& p : placemarks(doc)) {
        std::string icon = between(p, "<href>", "</href>");
        if (runs.empty() || runs.back() != icon) runs.push_back(icon);
    }
    return runs;
}

std::string epoch(double second, int quality, char status) {
    char time[16];
    std::snprintf(time, sizeof time, "1000%02d.%02d", static_cast<int>(second), static_cast<int>(second * 100) % 100);
    const std::string q = std::to_string(quality);
    return nmea(std::string("GPGGA,") + time + ",4807.038,N,01131.000,E," + q + ",08,0.9,545.4,M,46.9,M,,") +
           "\r\n" + nmea(std::string("GPRMC,") + time + "," + status + ",4807.038,N,01131.000,E,022.4,084.4,230394,,,A") +
           "\r\n";
}

// The tracks and the rest after the folder.
std::string after_folder(const std::string& doc) { return doc.substr(doc.find("</Folder>")); }

std::string real_log(const std::string& name) { return read_file(std::string(ZELVO_TEST_DATA "/") + name); }

// Runs a tool; its output with its errors, and its exit status.
std::string output_of(const std::string& cmd, int* status = nullptr) {
    std::string out;
    std::FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    for (char buf[4096]; p && std::fgets(buf, sizeof buf, p);) out += buf;
    const int rc = p ? pclose(p) : -1;
    if (status) *status = rc;
    return out;
}


}  // namespace

TEST(PlacemarkThinning, RunStartsThenOnePerIntervalAndTheLastEpoch) {
    struct Step { FixClass c; std::int32_t ms; bool last; bool drawn; };
    struct Case { const char* legend; std::int64_t interval_ms; std::vector<Step> steps; };
    const FixClass A = FixClass::Auto, D = FixClass::Diff;
    const std::vector<Case> cases = {
        {"one per interval, at or after", 10'000,
         {{A, s(0), 0, 1}, {A, s(5), 0, 0}, {A, s(10), 0, 1}, {A, s(19.9), 0, 0}, {A, s(20), 0, 1}}},
        {"a class change shows and restarts the interval", 10'000,
         {{A, s(0), 0, 1}, {A, s(3), 0, 0}, {D, s(4), 0, 1}, {D, s(5), 0, 0}, {A, s(6), 0, 1}, {A, s(15), 0, 0},
          {A, s(16), 0, 1}}},
        {"the log's last epoch", 10'000, {{A, s(0), 0, 1}, {A, s(1), 0, 0}, {A, s(2), 1, 1}}},
        {"midnight passes", 10'000, {{A, hms(23, 59, 55), 0, 1}, {A, hms(0, 0, 4), 0, 0}, {A, hms(0, 0, 5), 0, 1}}},
        {"an epoch without a time does not move the clock", 10'000,
         {{A, s(0), 0, 1}, {A, kNoTime, 0, 0}, {A, s(9), 0, 0}, {A, -5, 0, 0}, {A, s(10), 0, 1}}},
        {"no interval draws all", 0, {{A, s(0), 0, 1}, {A, s(0), 0, 1}, {A, kNoTime, 0, 1}}},
    };
    for (const Case& c : cases) {
        PlacemarkThinning thinning(c.interval_ms);
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            const Step& st = c.steps[i];
            EXPECT_EQ(thinning.draw(st.c, st.ms, st.last), st.drawn) << c.legend << ", step " << i;
        }
    }
}

TEST(TrackGaps, BreaksOnlyWhereTheTrackSkipsMoreThanTheGap) {
    struct Case { const char* legend; std::int64_t gap_ms; std::vector<std::pair<std::int32_t, bool>> points; };
    const std::vector<Case> cases = {
        {"more than the gap breaks, the gap itself does not", 5'000,
         {{s(0), 0}, {s(5), 0}, {s(10.001), 1}, {kNoTime, 0}, {s(12), 0}}},
        {"a step back is midnight", 5'000, {{hms(23, 59, 58), 0}, {hms(0, 0, 1), 0}, {hms(0, 0, 0), 1}}},
        {"no gap never breaks", 0, {{s(0), 0}, {s(50), 0}}},
    };
    for (const Case& c : cases) {
        TrackGaps gaps(c.gap_ms);
        for (std::size_t i = 0; i < c.points.size(); ++i)
            EXPECT_EQ(gaps.breaks_before(c.points[i].first), c.points[i].second) << c.legend << ", point " << i;
    }
}

class LongLog : public RunFixture {
protected:
    static ConversionOptions with(std::int64_t interval_ms, std::int64_t gap_ms, bool data,
                                  InputFormat format = InputFormat::Nmea) {
        ConversionOptions o = defaults();
        o.use_all_waypoints = true;
        o.input_format = format;
        o.placemark_interval_ms = interval_ms;
        o.split_gap_ms = gap_ms;
        o.epoch_data = data;
        return o;
    }
};

TEST_F(LongLog, PlantedGapsGiveOneMoreLinePerGapInEachTrack) {
    // Valid epochs skip 8 s and 28 s; the invalid one at 25 s splits the
    // all-epochs track's 28 s into 13 s and 15 s.
    std::string log;
    for (double t : {0, 1, 2, 10, 11, 12}) log += epoch(t, 1, 'A');
    log += epoch(25, 0, 'V');
    for (double t : {40, 41, 42, 43}) log += epoch(t, 1, 'A');
    const std::string plain = convert(log, with(0, 0, false));
    struct Case { std::int64_t gap_ms; std::size_t valid_lines, all_lines; };
    for (const Case& c : std::vector<Case>{{5'000, 3, 4}, {10'000, 2, 3}, {14'000, 2, 2}, {30'000, 1, 1}}) {
        const std::string doc = convert(log, with(0, c.gap_ms, false));
        const std::string valid = between(doc, "<name>NormalTrack</name>", "</Placemark>");
        const std::string all = between(doc, "<name>IncorrectTrack</name>", "</Placemark>");
        EXPECT_EQ(count_of(valid, "<LineString>"), c.valid_lines) << c.gap_ms;
        EXPECT_EQ(count_of(all, "<LineString>"), c.all_lines) << c.gap_ms;
        // Every point stays, in order: without the breaks it is the plain document.
        std::string joined = without(doc, crlf("</coordinates>\n</LineString>\n<LineString>\n<tessellate>1</tessellate>\n<coordinates>\n"));
        joined = without(without(joined, crlf("<MultiGeometry>\n")), crlf("</MultiGeometry>\n"));
        EXPECT_EQ(joined, plain) << c.gap_ms;
    }
}

TEST_F(LongLog, ThinningKeepsClassRunsTracksAndTheLastEpoch) {
    const std::string log = real_log("gpsd-nmea-rtk.log");
    const std::string plain = convert(log, with(0, 0, false));
    const std::string thin = convert(log, with(10'000, 0, false));
    const std::vector<std::string> all = placemarks(plain), drawn = placemarks(thin);
    ASSERT_GT(all.size(), 100u);
    EXPECT_LT(drawn.size(), all.size() / 5);
    EXPECT_EQ(class_runs(thin), class_runs(plain));
    EXPECT_EQ(row(drawn.back(), "Time"), row(all.back(), "Time"));
    for (std::size_t i = 0; i < drawn.size(); ++i) EXPECT_EQ(row(drawn[i], "NN"), std::to_string(i));
    EXPECT_EQ(after_folder(thin), after_folder(plain));
}

namespace {

// What each description row shows as a field: the field, and the unit the
// row appends.
struct RowField { const char* header; const char* field; const char* unit; };
constexpr RowField kRowFields[] = {
    {"NN", "number", ""},          {"Longitude", "longitude", ""}, {"Latitude", "latitude", ""},
    {"Altitude", "altitude", "m"}, {"Time", "utc_time", "Z"},      {"Speed", "speed_kmh", "kmh"},
    {"COG", "course", ""},         {"RMS", "rms", "m"},            {"Status(GGA)", "gga_quality", ""},
    {"Diff age", "diff_age", ""},  {"Status(GSA)", "gsa_fix_mode", ""}, {"HDOP", "hdop", ""},
    {"SAT", "satellites", ""},
};

// The fields a placemark's description table shows as numbers (a status
// row by the number in its brackets, the time without its date marker),
// beside the fix class of its icon.
std::map<std::string, std::string> table_fields(const std::string& placemark) {
    static const std::map<std::string, std::string> kClassOfIcon = {
        {"255", "Auto"}, {"65535", "Diff"}, {"32768", "RTK Fix"}, {"16711935", "RTK Float"},
        {"16776960", "Estimated"}, {"0", "Invalid"}};
    std::map<std::string, std::string> out;
    out["fix_class"] = kClassOfIcon.at(between(placemark, "<href>", ".png").substr(6));
    const std::string table = between(placemark, "<table>", "</table>");
    for (const RowField& f : kRowFields) {
        std::string v = row(table, f.header);
        if (v.empty() || v == "None") continue;
        std::smatch m;
        if (std::regex_search(v, m, std::regex(R"(\((-?[0-9]+)\)$)"))) v = m[1];
        if (v.size() >= std::strlen(f.unit) && v.ends_with(f.unit)) v.resize(v.size() - std::strlen(f.unit));
        if (f.field == std::string("utc_time")) v = std::regex_replace(v, std::regex(R"([\^*]T)"), "T") + "Z";
        out[f.field] = v;
    }
    return out;
}

std::map<std::string, std::string> data_fields(const std::string& placemark) {
    std::map<std::string, std::string> out;
    std::regex re("<SimpleData name=\"([a-z_]+)\">([^<]*)</SimpleData>");
    for (auto it = std::sregex_iterator(placemark.begin(), placemark.end(), re); it != std::sregex_iterator(); ++it)
        out[(*it)[1]] = (*it)[2];
    return out;
}

std::string sample_tolv() { return read_file(ZELVO_EXAMPLES "/sample.tolv"); }

}  // namespace

TEST_F(LongLog, EpochFieldsAreTheTableValuesAndChangeNothingElse) {
    struct Case { std::string log; InputFormat format; };
    for (const Case& c : {Case{real_log("gpsd-garmin-10x.log"), InputFormat::Nmea}, Case{real_log("gpsd-nmea-rtk.log"), InputFormat::Nmea},
                          Case{sample_tolv(), InputFormat::Tolv}}) {
        const std::string plain = convert(c.log, with(0, 0, false, c.format));
        const std::string doc = convert(c.log, with(0, 0, true, c.format));
        const std::vector<std::string> marks = placemarks(doc);
        ASSERT_FALSE(marks.empty());
        for (const std::string& p : marks) EXPECT_EQ(data_fields(p), table_fields(p)) << p;
        // Without the Schema and the ExtendedData it is the plain document.
        std::string stripped = without(doc, between(doc, "<Schema ", "<Folder>"));
        for (std::string block; !(block = between(stripped, "<ExtendedData>", "<Point>")).empty();)
            stripped = without(stripped, block);
        EXPECT_EQ(stripped, plain);
    }
}

TEST_F(LongLog, EveryCombinationValidatesAgainstTheKmlSchema) {
    const std::string xsd = ZELVO_KML_SCHEMA;
    ASSERT_TRUE(have_tool("xmllint")) << "xmllint is not installed (package libxml2-utils)";
    ASSERT_TRUE(std::filesystem::exists(xsd)) << xsd;
    struct Case { std::string log; InputFormat format; };
    for (const Case& c : {Case{real_log("gpsd-nmea-rtk.log"), InputFormat::Nmea}, Case{real_log("gpsd-garmin-10x.log"), InputFormat::Nmea},
                          Case{real_log("gnsslibpy-pixel6.nmea"), InputFormat::Nmea}, Case{sample_tolv(), InputFormat::Tolv}}) {
        for (int mask = 0; mask < 8; ++mask) {
            const std::string doc = convert(c.log, with(mask & 1 ? 5'000 : 0, mask & 2 ? 2'000 : 0, (mask & 4) != 0, c.format));
            int status = -1;
            const std::string out =
                output_of("xmllint --noout --nonet --schema '" + xsd + "' '" + document_file() + "'", &status);
            EXPECT_EQ(status, 0) << "options " << mask << ", format " << static_cast<int>(c.format) << ":\n" << out.substr(0, 2000);
        }
    }
}

namespace {

// Numbers as GDAL prints them ("204.3") against the table's ("204.300").
bool same_value(const std::string& gis, const std::string& table) {
    char* end = nullptr;
    const double a = std::strtod(gis.c_str(), &end);
    if (end == gis.c_str() || *end) return gis == table;
    return std::abs(a - std::strtod(table.c_str(), nullptr)) <= 1e-9 * std::max(1.0, std::abs(a));
}

}  // namespace

TEST_F(LongLog, GisToolsListTheFieldsWithTheirTypesAndTheTableValues) {
    if (!have_tool("ogrinfo")) GTEST_SKIP() << "gdal-bin is not installed";
    const std::string doc = convert(real_log("gpsd-garmin-10x.log"), with(0, 0, true));
    const std::string kmz = dir_.str() + "out.kmz";
    const std::string listing = output_of("ogrinfo -ro -al -so '" + kmz + "'");
    for (const char* field : {"number: Integer", "fix_class: String", "longitude: Real", "latitude: Real",
                              "altitude: Real", "utc_time: String", "speed_kmh: Real", "course: Real", "rms: Real",
                              "gga_quality: Integer", "diff_age: Real", "gsa_fix_mode: Integer", "hdop: Real",
                              "satellites: Integer"})
        EXPECT_NE(listing.find(std::string("\n") + field + " ("), std::string::npos) << field << "\n" << listing;

    // GDAL resolves the schema of a folder's placemarks only in a KML
    // document, so the values are read from the document in the archive.
    const std::string features = output_of("ogrinfo -ro -al '/vsizip/" + kmz + "/out.kml' WayPoints");
    const std::vector<std::string> marks = placemarks(doc);
    std::vector<std::map<std::string, std::string>> read;
    std::regex value(R"(^  ([a-z_]+) \((Integer|Real|String)\) = (.*)$)");
    std::istringstream lines(features);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (line.starts_with("OGRFeature(WayPoints)")) read.emplace_back();
        else if (!read.empty() && std::regex_match(line, m, value) && listing.find("\n" + m[1].str() + ": ") != std::string::npos &&
                 !std::set<std::string>{"description", "tessellate", "extrude", "visibility", "drawOrder", "icon"}.count(m[1]))
            read.back()[m[1]] = m[3];
    }
    ASSERT_EQ(read.size(), marks.size()) << features.substr(0, 3000);
    for (std::size_t i = 0; i < marks.size(); ++i) {
        const auto table = table_fields(marks[i]);
        EXPECT_EQ(read[i].size(), table.size()) << "placemark " << i;
        for (const auto& [name, shown] : table)
            EXPECT_TRUE(read[i].count(name) && same_value(read[i][name], shown))
                << "placemark " << i << " " << name << ": GIS " << read[i][name] << ", table " << shown;
    }
}
