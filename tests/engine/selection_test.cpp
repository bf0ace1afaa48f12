#include <gtest/gtest.h>
#include <limits>
#include <regex>

#include "binary/binary_decoders.h"
#include "engine/waypoint_selection.h"
#include "nmea/field_text.h"
#include "tools/tolv_builder.h"
#include "run_fixture.h"

using namespace zelvo;
using namespace zelvo::test;

namespace {

void fixed_today(int& y, int& m, int& d) { y = 2026, m = 12, d = 9; }

// "href" of every placemark, in order.
std::vector<std::string> icons_of(const std::string& doc) {
    std::vector<std::string> out;
    std::regex href("<href>([0-9]+)\\.png</href>");
    for (auto it = std::sregex_iterator(doc.begin(), doc.end(), href); it != std::sregex_iterator(); ++it)
        out.push_back((*it)[1]);
    return out;
}

std::string gga(const char* time, int quality) {
    return nmea(std::string("GPGGA,") + time + ",4807.038,N,01131.000,E," + std::to_string(quality) +
                ",08,0.9,545.4,M,46.9,M,,") + "\r\n";
}

std::string rmc(const char* time, const char* status, const char* mode) {
    std::string body = std::string("GPRMC,") + time + "," + status + ",4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W";
    if (mode) body += std::string(",") + mode;
    return nmea(body) + "\r\n";
}

const std::string kAuto = "255", kDiff = "65535", kRtkFix = "32768", kFloat = "16711935", kEst = "16776960",
                  kInvalid = "0";

}  // namespace

class Selection : public RunFixture {
protected:
    void SetUp() override { set_today_hook(fixed_today); }
    void TearDown() override { set_today_hook(nullptr); }
};

TEST_F(Selection, ClassesOfEpochsWithBothHalves) {
    struct Case { std::string log; std::vector<std::string> icons; };
    const std::vector<Case> cases = {
        {gga("100000", 1) + rmc("100000", "A", "A"), {kAuto}},
        // The mode letter of an RMC half that arrives second is not merged.
        {rmc("100000", "A", "A") + gga("100000", 0), {kAuto, kInvalid}},
        {gga("100000", 0) + rmc("100000", "A", "A"), {kInvalid}},
        {gga("100000", 1) + rmc("100000", "V", "N"), {kAuto, kInvalid}},
        {rmc("100000", "A", "E") + gga("100000", 1), {kAuto, kEst}},
        {gga("100000", 6) + rmc("100000", "A", "E"), {kEst}},
        {gga("100000", 3) + rmc("100000", "A", "N"), {}},
        {gga("100000", 5) + rmc("100000", "A", "F"), {kFloat}},
        {gga("100000", 4) + rmc("100000", "A", "P"), {kRtkFix}},
        {gga("100000", 2) + rmc("100000", "A", "D"), {kDiff}},
    };
    for (const Case& c : cases) EXPECT_EQ(icons_of(convert(c.log)), c.icons) << c.log;
}

TEST_F(Selection, HalvesAloneAndTheirDates) {
    ConversionOptions fixed = defaults();
    std::string doc = convert(gga("100000", 1) + gga("100001", 0) + gga("100002", 6), fixed);
    EXPECT_EQ(icons_of(doc), (std::vector<std::string>{kAuto, kEst}));
    EXPECT_NE(doc.find("<td>2000-01-01^T10:00:00Z</td>"), std::string::npos);

    ConversionOptions today = defaults();
    today.use_fixed_date = false;
    doc = convert(gga("100000", 1), today);
    EXPECT_NE(doc.find("<td>2026-12-09*T10:00:00Z</td>"), std::string::npos);
    EXPECT_NE(doc.find("<when>2026-12-09T10:00:00Z</when>"), std::string::npos);

    doc = convert(rmc("100000", "A", nullptr) + rmc("100001", "A", " ") + rmc("100002", "V", "A") +
                      rmc("100003", "A", "X"),
                  today);
    EXPECT_EQ(icons_of(doc), (std::vector<std::string>{kAuto, kInvalid}));
    EXPECT_NE(doc.find("<td>2094-03-23T10:00:01Z</td>"), std::string::npos);

    doc = convert(gga("100000", 1) + rmc("100000", "A", "A"), today);
    EXPECT_NE(doc.find("<td>2094-03-23T10:00:00Z</td>"), std::string::npos);
}

TEST_F(Selection, NumbersRunThroughTheFolderAndTheCountMatches) {
    std::string doc = convert(rmc("100000", "A", "A") + gga("100000", 0) + rmc("100001", "A", "E") + gga("100001", 1));
    for (int n = 0; n < 4; ++n)
        EXPECT_NE(doc.find("<th>NN</th><td>" + std::to_string(n) + "</td>"), std::string::npos) << n;
    EXPECT_EQ(count_text(result_), "Waypoints 4");
}

TEST_F(Selection, EpochsAssembleByTimeOfDay) {
    // GSV, GSA and RMS before the first GGA/RMC change nothing; after it
    // they complete the last record whatever their own time.
    std::string log = nmea("GPGSV,1,1,01,05,40,300,45") + nmea("PQALD,A,7.5") + gga("100000", 1) +
                      nmea("GPGSV,1,1,01,07,40,300,45") + nmea("GPGSA,A,3,07,,,,,,,,,,,,2.5,1.3,2.1") +
                      nmea("PQALD,A,1.5") + rmc("100000", "A", "A") + gga("100001", 1) + gga("100000", 1);
    std::string doc = convert(log);
    EXPECT_EQ(icons_of(doc).size(), 3u);  // 10:00:00 again after 10:00:01 starts a new epoch
    EXPECT_NE(doc.find("<td>G</td>\t<td>7*</td>"), std::string::npos);
    EXPECT_EQ(doc.find("<td>5</td>"), std::string::npos);
    EXPECT_NE(doc.find("<th>RMS</th><td>1.5m</td>"), std::string::npos);
    EXPECT_EQ(doc.find("7.5m"), std::string::npos);
}

TEST_F(Selection, RmcShapesAndImpossibleDates) {
    std::string ten = nmea("GPRMC,100000,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1") + "\r\n";
    std::string thirteen = nmea("GNRMC,100001,A,4807.038,N,01131.000,E,022.4,084.4,230394,,,D,V") + "\r\n";
    std::string bad_date = nmea("GPRMC,100002,A,4807.038,N,01131.000,E,022.4,084.4,310494,,,A") + "\r\n";
    std::string doc = convert(ten + thirteen + bad_date + rmc("100003", "A", "A"));
    EXPECT_EQ(icons_of(doc), (std::vector<std::string>{kDiff, kAuto}));
    EXPECT_EQ(result_.placemarks, 2);
}

TEST_F(Selection, ShowHeightAndTracks) {
    ConversionOptions o = defaults();
    o.show_height = true;
    o.use_all_waypoints = true;
    std::string doc = convert(gga("100000", 1) + rmc("100000", "V", "A") + gga("100001", 2), o);
    EXPECT_NE(doc.find("<extrude>1</extrude>"), std::string::npos);
    // The valid track skips the epoch whose RMC says V; the other takes both.
    EXPECT_NE(doc.find("<coordinates>\r\n11.516667,48.117300,545.400000\r\n</coordinates>"), std::string::npos);
    EXPECT_NE(doc.find("<coordinates>\r\n\t11.516667,48.117300,545.400000\r\n\t11.516667,48.117300,545.400000\r\n"
                       "</coordinates>"),
              std::string::npos);
}

TEST(SelectionDecisions, ValidTrackTakesEpochsWithAValidHalf) {
    struct Case { InputFormat format; std::uint8_t gga, rmc; char status; std::int32_t quality; bool on_track; };
    const Case cases[] = {
        {InputFormat::Nmea, 1, 1, 'A', 0, true},   {InputFormat::Nmea, 1, 1, 'V', 1, false},
        {InputFormat::Nmea, 1, 0, 0, 4, true},     {InputFormat::Nmea, 1, 0, 0, 0, false},
        {InputFormat::Nmea, 0, 1, 'A', 0, true},   {InputFormat::Nmea, 0, 1, 'V', 0, false},
        {InputFormat::Tolv, 0, 0, 'A', 0, true}, {InputFormat::Tolv, 0, 0, 'V', 0, false},
        // A solution's Q 1 to 6 (fix to PPP) is on the track; dead reckoning and no solution are not.
        {InputFormat::Solution, 0, 0, 0, 1, true}, {InputFormat::Solution, 0, 0, 0, 6, true},
        {InputFormat::Solution, 0, 0, 0, 7, false}, {InputFormat::Solution, 0, 0, 0, 0, false},
    };
    for (const Case& c : cases) {
        waypoints r;
        r.has_latitude = r.has_longitude = true;
        r.has_gga = c.gga, r.has_rmc = c.rmc, r.status = c.status, r.quality = c.quality;
        SelectionRules rules{c.format, true, "2000-01-01", true};
        EpochDecision d = select_epoch(r, rules);
        EXPECT_EQ(d.on_valid_track, c.on_track) << static_cast<int>(c.format) << ' ' << c.status << c.quality;
        EXPECT_TRUE(d.on_all_points_track);
    }
}

TEST_F(Selection, EpochsWithoutAPositionAreDrawnNowhere) {
    const std::string no_position = nmea("GPGGA,100000,,,,,1,08,0.9,545.4,M,46.9,M,,") + "\r\n" +
                                    nmea("GPRMC,100001,V,,,,,,,230394,,,N") + "\r\n" +
                                    nmea("GPGGA,100002,9500.000,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,") + "\r\n";
    const std::string second_half_only = nmea("GPGGA,100003,,,,,1,08,0.9,545.4,M,46.9,M,,") + "\r\n" +
                                         rmc("100003", "A", "A");
    tolv::Pvt off_globe;
    off_globe.latitude_rad = std::numeric_limits<double>::quiet_NaN();
    off_globe.fix_flags = 0x01;
    tolv::Pvt positioned = off_globe;
    positioned.latitude_rad = 0.5;
    tolv::Bytes binary_log = tolv::frame(kIdPvt, tolv::pvt_payload(off_globe));
    tolv::append(binary_log, tolv::frame(kIdPvt, tolv::pvt_payload(positioned)));

    struct Case { std::string log; InputFormat format; const char* point; };
    const Case cases[] = {
        {no_position + second_half_only + gga("100004", 1) + rmc("100004", "A", "A"), InputFormat::Nmea,
         "11.516667,48.117300,545.400000\r\n"},
        {std::string(binary_log.begin(), binary_log.end()), InputFormat::Tolv, "0.000000,28.647890,0.000000\r\n"},
    };
    for (const Case& c : cases) {
        ConversionOptions o = defaults();
        o.input_format = c.format;
        o.use_all_waypoints = true;
        HeadlessHost host;
        std::string doc = convert(c.log, o, &host);
        EXPECT_EQ(count_text(result_), "Waypoints 1");
        EXPECT_NE(doc.find("<th>NN</th><td>0</td>"), std::string::npos);
        // Each track holds the one positioned epoch and nothing else.
        const std::string tracks = doc.substr(doc.find("</Folder>"));
        std::size_t count = 0;
        for (std::size_t at = tracks.find("<coordinates>\r\n"); at != std::string::npos;
             at = tracks.find("<coordinates>\r\n", at + 1), ++count) {
            const std::size_t from = at + 15;
            const std::string body = tracks.substr(from, tracks.find("</coordinates>", from) - from);
            EXPECT_TRUE(body == c.point || body == "\t" + std::string(c.point)) << body;
        }
        EXPECT_EQ(count, 2u);
    }
}
