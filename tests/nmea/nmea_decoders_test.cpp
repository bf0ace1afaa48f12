#include "nmea/nmea_decoders.h"

#include <climits>
#include <cstring>
#include <random>
#include <cmath>
#include <gtest/gtest.h>
#include <string>

#include "engine/ingestion.h"
#include "tests/test_support.h"
#include "nmea/field_text.h"

using namespace zelvo;
using zelvo::test::nmea;

namespace {

SentenceBuffer buffer_of(const std::string& sentence) {
    SentenceBuffer b{};
    std::copy(sentence.begin(), sentence.begin() + static_cast<long>(std::min(sentence.size(), b.size())), b.begin());
    return b;
}

waypoints gga(const std::string& body) {
    waypoints r;
    decode_gga(buffer_of(nmea(body)), r);
    return r;
}

waypoints rmc(const std::string& body, bool* kept = nullptr) {
    waypoints r;
    bool ok = decode_rmc(buffer_of(nmea(body)), r);
    if (kept) *kept = ok;
    return r;
}

void fixed_today(int& y, int& m, int& d) { y = 2026, m = 12, d = 9; }

class ClockFixed : public ::testing::Test {
protected:
    void SetUp() override { set_today_hook(fixed_today); }
    void TearDown() override { set_today_hook(nullptr); }
};

}  // namespace

TEST(GgaDecoder, CompleteSentence) {
    waypoints r = gga("GPGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,M,55.2,M,,");
    waypoints expected;
    expected.time = "09:27:50.000";
    expected.ms_of_day = 34070000;
    expected.latitude = 53 + 21.6802 * 0.016666666666666666;
    expected.longitude = -(6 + 30.3372 * 0.016666666666666666);
    expected.quality = 1;
    expected.sats_used = 8;
    expected.hdop = 1.03;
    expected.altitude = 61.7;
    expected.has_gga = 1;
    EXPECT_EQ(r.time, expected.time);
    EXPECT_EQ(r.ms_of_day, expected.ms_of_day);
    EXPECT_EQ(r.latitude, expected.latitude);
    EXPECT_EQ(r.longitude, expected.longitude);
    EXPECT_NEAR(r.longitude, -6.50562, 1e-12);
    EXPECT_EQ(r.quality, expected.quality);
    EXPECT_EQ(r.sats_used, expected.sats_used);
    EXPECT_EQ(r.hdop, expected.hdop);
    EXPECT_EQ(r.altitude, expected.altitude);
    EXPECT_EQ(r.has_gga, 1);
    EXPECT_EQ(r.diff_age, 0);
}

TEST(GgaDecoder, TimeFields) {
    struct Case { const char* field; const char* time; std::int32_t ms; };
    const Case cases[] = {
        {"123519.5", "12:35:19.5", 45319500},
        {"123519", "12:35:19", 45319000},          // receivers without a fraction
        {"235960.00", "00:00:00.000", 0},          // seconds carry through to midnight
        {"095960.25", "10:00:00.000", 36000000},
        {"12.456.00", "12:.4:56.00", 43256000},    // the last point counts
    };
    for (const Case& c : cases) {
        waypoints r = gga(std::string("GPGGA,") + c.field + ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
        EXPECT_EQ(r.time, c.time) << c.field;
        EXPECT_EQ(r.ms_of_day, c.ms) << c.field;
        EXPECT_EQ(r.has_gga, 1) << c.field;
    }
}

TEST(GgaDecoder, RejectedFieldShiftsTheRest) {
    // Five characters: the time handler rejects it and stays armed, so the
    // latitude "4807.038" is offered to it and rejected too, and so on.
    waypoints r = gga("GPGGA,12351,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
    EXPECT_EQ(r.time, "");
    EXPECT_EQ(r.ms_of_day, 0);
    EXPECT_EQ(r.latitude, 0);
    // A latitude with five digits before the point is rejected; "N" then
    // reaches the latitude handler and is rejected too (no point).
    waypoints s = gga("GPGGA,123519,48070.38,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
    EXPECT_EQ(s.latitude, 0);
    EXPECT_EQ(s.time, "12:35:19");
}

TEST(GgaDecoder, NoFixStillMarksTheHalf) {
    waypoints r = gga("GPGGA,,,,,,0,00,,,,,,,");
    EXPECT_EQ(r.has_gga, 1);
    EXPECT_EQ(r.quality, 0);
    EXPECT_EQ(r.latitude, 0);
    // A short sentence whose altitude field is the last one, ended by '*'.
    waypoints s = gga("GPGGA,123519,4807.038,S,01131.000,W,4,08,0.9,");
    EXPECT_EQ(s.has_gga, 1);
    EXPECT_LT(s.latitude, 0);
    EXPECT_LT(s.longitude, 0);
}

TEST(GgaDecoder, TimeKeyUsesExtendedPrecision) {
    // At 09:27 these two seconds fall on the same millisecond key.
    EXPECT_EQ(time_to_ms(9, 27, 50.003), time_to_ms(9, 27, 50.004));
    EXPECT_EQ(time_to_ms(9, 27, 50.0), 34070000);
    EXPECT_EQ(time_to_ms(0, 0, 1e300), INT32_MIN);
    EXPECT_EQ(time_to_ms(0, 0, std::nan("")), INT32_MIN);
}

TEST(NumberConversions, BehaveLikeTheCLibrary) {
    EXPECT_EQ(c_atol("  -12abc"), -12);
    EXPECT_EQ(c_atol("99999999999999999999"), LONG_MAX);
    EXPECT_EQ(c_atol("-99999999999999999999"), LONG_MIN);
    EXPECT_EQ(low32(c_atol("4294967301")), 5);
    EXPECT_EQ(c_strtod("0x1p3"), 8.0);
    EXPECT_EQ(c_strtod(" 1.5e2,3"), 150.0);
    EXPECT_EQ(c_strtod(""), 0.0);
    EXPECT_TRUE(std::isinf(c_strtod("inf")));
}

TEST(NumberConversions, DecimalFieldsMatchStrtodExactly) {
    std::mt19937_64 rng(99);
    const char* tails[] = {"", ",", "*", "e", "E5", "x", ".", "5.5"};
    for (int i = 0; i < 300000; ++i) {
        std::string text;
        if (rng() % 4 == 0) text += "-";
        int digits = 1 + static_cast<int>(rng() % 17);
        int point = static_cast<int>(rng() % (digits + 1));
        for (int d = 0; d < digits; ++d) {
            if (d == point) text += '.';
            text += static_cast<char>('0' + rng() % 10);
        }
        text += tails[rng() % 8];
        double expected = std::strtod(text.c_str(), nullptr);
        double got = c_strtod(text);
        ASSERT_EQ(std::memcmp(&expected, &got, sizeof got), 0) << text;
    }
}

TEST_F(ClockFixed, RmcCompleteSentence) {
    bool kept = false;
    waypoints r = rmc("GPRMC,092750.000,A,5321.6802,N,00630.3372,W,0.02,31.66,280511,,,A", &kept);
    EXPECT_TRUE(kept);
    EXPECT_EQ(r.status, 'A');
    EXPECT_DOUBLE_EQ(r.speed_kmh, 0.03704);
    EXPECT_EQ(r.course, 31.66);
    EXPECT_EQ(r.date, "2011-05-28");
    EXPECT_EQ(r.mode_indicator, 'A');
    EXPECT_EQ(r.has_rmc, 1);
    EXPECT_EQ(r.time, "09:27:50.000");
    EXPECT_EQ(r.ms_of_day, 34070000);
}

// An altitude or a course no reader could parse is taken as an empty field;
// the fields after it are read as usual.
TEST_F(ClockFixed, UnparsableAltitudeAndCourseReadAsEmptyFields) {
    struct Case { const char* text; double altitude; double course; };
    const Case cases[] = {
        {"nan", 0, 0},         {"-nan", 0, 0},           {"inf", 0, 0},       {"-inf", 0, 0},
        {"1e999", 0, 0},       {"-1e999", 0, 0},         {"infinity", 0, 0},  {"1271.49", 1271.49, 0},
        {"-361", -361, 0},     {"360.0000001", 360.0000001, 0},               {"360", 360, 360},
        {"-360", -360, -360},  {"-0", -0.0, -0.0},       {"12.5", 12.5, 12.5},
        {"1e300", 1e300, 0},
    };
    for (const Case& c : cases) {
        const std::string text = c.text;
        waypoints g = gga("GPGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03," + text + ",M,55.2,M,2.5,");
        EXPECT_EQ(g.altitude, c.altitude) << text;
        EXPECT_EQ(g.has_gga, 1) << text;
        EXPECT_EQ(g.diff_age, 2.5) << text;
        waypoints r = rmc("GPRMC,092750.000,A,5321.6802,N,00630.3372,W,0.02," + text + ",280511,,,A");
        EXPECT_EQ(r.course, c.course) << text;
        EXPECT_EQ(r.date, "2011-05-28") << text;
        EXPECT_EQ(r.mode_indicator, 'A') << text;
    }
}

TEST_F(ClockFixed, RmcDates) {
    struct Case { const char* body; const char* date; bool today; std::uint8_t has_rmc; };
    const Case cases[] = {
        {"GPRMC,092750,A,5321.6802,N,00630.3372,W,0.02,31.66,000013,,,A", "2013-01-01", false, 1},
        {"GPRMC,092750,A,5321.6802,N,00630.3372,W,0.02,31.66,321399,,,A", "2099-01-01", false, 1},
        {"GPRMC,092750,A,5321.6802,N,00630.3372,W,0.02,31.66,,,,A", "2026-12-09", true, 1},
        // Five characters: the date handler stays armed and takes the
        // empty magnetic variation as an empty date.
        {"GPRMC,092750,A,5321.6802,N,00630.3372,W,0.02,31.66,28051,,,A", "2026-12-09", true, 1},
        {"GPRMC,092750,A,5321.6802,N,00630.3372,W,0.02,31.66,2805111,1.0,E,A", "", false, 0},
        {"GPRMC,092750,A,5321.6802,N,00630.3372,W,0.02,31.66,29022400,,A", "2026-12-09", true, 1},
        {"GPRMC,092750,A,5321.6802,N,00630.3372,W,0.02,31.66,290224,,,A", "2024-02-29", false, 1},
    };
    for (const Case& c : cases) {
        waypoints r = rmc(c.body);
        EXPECT_EQ(r.date, c.date) << c.body;
        EXPECT_EQ(r.date_source, c.today ? DateSource::Today : DateSource::Log) << c.body;
        EXPECT_EQ(r.has_rmc, c.has_rmc) << c.body;
    }
}

TEST_F(ClockFixed, RmcDateMissingFromTheCalendarDropsTheSentence) {
    for (const char* date : {"310411", "300223", "290223", "310999"}) {
        bool kept = true;
        rmc(std::string("GPRMC,092750,A,5321.6802,N,00630.3372,W,0.02,31.66,") + date + ",,,A", &kept);
        EXPECT_FALSE(kept) << date;
    }
    bool kept = false;
    waypoints r = rmc("GPRMC,092750,A,5321.6802,N,00630.3372,W,0.02,31.66,290200,,,A", &kept);
    EXPECT_TRUE(kept);  // 2000 is a leap year
    EXPECT_EQ(r.date, "2000-02-29");
}

TEST_F(ClockFixed, RmcStatusAndModeFields) {
    waypoints empty_status = rmc("GPRMC,092750,,5321.6802,N,00630.3372,W,0.02,31.66,280511,,,A");
    EXPECT_EQ(empty_status.status, 0);
    EXPECT_EQ(empty_status.date, "2011-05-28");
    EXPECT_NE(empty_status.latitude, 0);
    // "X" is rejected; the latitude field then reaches the status handler.
    waypoints x = rmc("GPRMC,092750,X,5321.6802,N,00630.3372,W,0.02,31.66,280511,,,A");
    EXPECT_EQ(x.status, 0);
    EXPECT_EQ(x.latitude, 0);
    waypoints eleven = rmc("GPRMC,092750,A,5321.6802,N,00630.3372,W,0.02,31.66,280511,,");
    EXPECT_EQ(eleven.mode_indicator, 0);
    waypoints thirteen = rmc("GNRMC,092750,A,5321.6802,N,00630.3372,W,0.02,31.66,280511,,,F,V");
    EXPECT_EQ(thirteen.mode_indicator, 'F');
}

TEST(GsaDecoder, UsedSatellitesAndFixMode) {
    waypoints r;
    decode_gsa(buffer_of(nmea("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1")), r);
    EXPECT_EQ(r.fix_mode, 3);
    for (int id = 0; id < kSatTableSize; ++id) {
        bool used = id == 4 || id == 5 || id == 9 || id == 12 || id == 24;
        EXPECT_EQ(r.sats[static_cast<std::size_t>(id)].used, used ? 1 : 0) << id;
    }
    EXPECT_EQ(r.has_sats, 0);
    decode_gsa(buffer_of(nmea("GLGSA,A,2,65,96,0,97,4294967361,,,,,,,,2.5,1.3,2.1")), r);
    EXPECT_EQ(r.fix_mode, 2);
    EXPECT_EQ(r.sats[65].used, 1);
    EXPECT_EQ(r.sats[96].used, 1);
    EXPECT_EQ(r.sats[4].used, 1);  // earlier flags stay
    EXPECT_EQ(r.sats[0].used, 0);
    EXPECT_EQ(r.sats[65].system, 0);  // GSA does not name satellites
}

TEST(GsaDecoder, ShortSentencesReadNoIds) {
    waypoints r;
    decode_gsa(buffer_of(nmea("GPGSA,A")), r);
    EXPECT_EQ(r.fix_mode, 0);
    decode_gsa(buffer_of(nmea("GPGSA,A,3")), r);
    EXPECT_EQ(r.fix_mode, 3);
    decode_gsa(buffer_of(nmea("GPGSA,A,2,07,08")), r);
    EXPECT_EQ(r.fix_mode, 2);
    for (const sat_entry& e : r.sats) EXPECT_EQ(e.used, 0);
}

TEST(GsvDecoder, GroupsNameAndFillSatellites) {
    waypoints r;
    decode_gsv(buffer_of(nmea("GPGSV,3,1,11,67,03,111,00,40,15,270,,12,01,010,45,00,06,292,00")), r);
    EXPECT_EQ(r.has_sats, 1);
    const sat_entry& glo = r.sats[67];
    EXPECT_EQ(glo.system, 'R');
    EXPECT_EQ(glo.number, 3);
    EXPECT_EQ(glo.elevation, 3);
    EXPECT_EQ(glo.azimuth, 111);
    EXPECT_EQ(glo.present, 1);
    EXPECT_EQ(r.sats[40].system, 'S');
    EXPECT_EQ(r.sats[40].number, 127);
    EXPECT_EQ(r.sats[40].snr, 0);
    EXPECT_EQ(r.sats[40].present, 1);
    EXPECT_EQ(r.sats[12].system, 'G');
    EXPECT_EQ(r.sats[12].snr, 45);
    EXPECT_EQ(r.sats[0].present, 0);
}

TEST(GsvDecoder, CutOffGroupsAndOutOfRangeIds) {
    waypoints r;
    decode_gsv(buffer_of(nmea("GPGSV,1,1,02,05,40,300")), r);
    EXPECT_EQ(r.sats[5].system, 'G');
    EXPECT_EQ(r.sats[5].elevation, 40);
    EXPECT_EQ(r.sats[5].present, 0);
    EXPECT_EQ(r.has_sats, 0);
    decode_gsv(buffer_of(nmea("GPGSV,1,1,02,4294967301,40,300,20,97,1,2,3")), r);
    for (const sat_entry& e : r.sats) EXPECT_EQ(e.present, 0);
}

TEST(RmsDecoder, SecondFieldIsTheError) {
    waypoints r;
    r.rms = 9;
    decode_rms(buffer_of(nmea("PQALD,A,")), r);
    EXPECT_EQ(r.rms, 9);
    decode_rms(buffer_of(nmea("PQALD,A,1.5")), r);
    EXPECT_EQ(r.rms, 1.5);
    decode_rms(buffer_of(nmea("PXEMRZD,A,2.5,2.0")), r);
    EXPECT_EQ(r.rms, 2.5);
    decode_rms(buffer_of(nmea("PQALD,A,,2.0")), r);
    EXPECT_EQ(r.rms, 0);
    decode_rms(buffer_of(nmea("PQALD,A,0.00000000000000000019")), r);
    EXPECT_EQ(r.rms, 0);  // only the first 19 characters count
}

TEST(MergeEpoch, HalvesFollowTheLastRecordsFlags) {
    waypoints g = gga("GPGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,M,55.2,M,2.5,");
    waypoints m = rmc("GPRMC,092750.000,A,5321.6802,N,00630.3372,W,0.02,31.66,280511,,,A");

    waypoints gga_first = g;
    merge_epoch(m, gga_first);
    EXPECT_EQ(gga_first.has_rmc, 1);
    EXPECT_EQ(gga_first.date, "2011-05-28");
    EXPECT_EQ(gga_first.status, 'A');
    EXPECT_EQ(gga_first.mode_indicator, 0);  // not taken from a second RMC half
    EXPECT_EQ(gga_first.diff_age, 2.5);

    waypoints rmc_first = m;
    merge_epoch(g, rmc_first);
    EXPECT_EQ(rmc_first.has_gga, 1);
    EXPECT_EQ(rmc_first.altitude, 61.7);
    EXPECT_EQ(rmc_first.quality, 1);
    EXPECT_EQ(rmc_first.diff_age, 0);
    EXPECT_EQ(rmc_first.mode_indicator, 'A');

    // A third sentence is always a GGA half: an RMC wipes the GGA fields.
    merge_epoch(m, rmc_first);
    EXPECT_EQ(rmc_first.has_gga, 0);
    EXPECT_EQ(rmc_first.altitude, 0);

    // A second GGA on a GGA-only record is taken as an RMC half.
    waypoints twice = g;
    merge_epoch(g, twice);
    EXPECT_EQ(twice.has_rmc, 0);
    EXPECT_EQ(twice.date, "");
}

TEST(Position, OnlyCoordinatesReadFromTheOpeningSentenceAndOnTheGlobe) {
    struct Case { const char* body; bool position; };
    const Case cases[] = {
        {"GPGGA,100000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,", true},
        {"GPGGA,100000,,,,,1,08,0.9,545.4,M,46.9,M,,", false},
        {"GPGGA,100000,4807.038,N,,,1,08,0.9,545.4,M,46.9,M,,", false},
        {"GPGGA,100000,,,01131.000,E,1,08,0.9,545.4,M,46.9,M,,", false},
        {"GPGGA,100000,0000.000,N,00000.000,E,1,08,0.9,545.4,M,46.9,M,,", true},  // a real 0,0
        {"GPGGA,100000,9000.000,S,18000.000,W,1,08,0.9,545.4,M,46.9,M,,", true},
        {"GPGGA,100000,9000.001,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,", false},
        {"GPGGA,100000,4807.038,N,18000.001,E,1,08,0.9,545.4,M,46.9,M,,", false},
        {"GPGGA,100000,0012.5e999,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,", false},  // infinite
        {"GPRMC,100000,A,4807.038,N,01131.000,E,022.4,084.4,230394,,,A", true},
        {"GPRMC,100000,V,,,,,,,230394,,,N", false},
    };
    for (const Case& c : cases) {
        waypoints r = c.body[2] == 'G' ? gga(c.body) : rmc(c.body);
        EXPECT_EQ(has_position(r), c.position) << c.body;
    }
    // The second half of an epoch brings no position of its own.
    waypoints empty = gga("GPGGA,100000,,,,,1,08,0.9,545.4,M,46.9,M,,");
    merge_epoch(rmc("GPRMC,100000,A,4807.038,N,01131.000,E,022.4,084.4,230394,,,A"), empty);
    EXPECT_FALSE(has_position(empty));
}

TEST(GgaDecoder, KeepsOnlyAStationIdTheFormatAllows) {
    const struct {
        const char* station;
        std::int32_t expected;
    } rows[] = {{"0042", 42}, {"1023", 1023}, {"", -1}, {"1024", -1}, {"12a", -1}, {"-1", -1}, {"00042", -1}};
    for (const auto& row : rows) {
        waypoints r = gga(std::string("GPGGA,092750.000,5321.6802,N,00630.3372,W,2,8,1.03,61.7,M,55.2,M,2.5,") +
                          row.station);
        EXPECT_EQ(r.dgps_station, row.expected) << row.station;
        EXPECT_EQ(r.diff_age, 2.5);
    }
}
