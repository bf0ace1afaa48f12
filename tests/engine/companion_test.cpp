#include <clocale>
#include <limits>
#include <gtest/gtest.h>

#include "tests/test_support.h"
#include "engine/epoch_outputs.h"
#include "output/epoch_data.h"

using namespace zelvo;
using namespace zelvo::test;

namespace {

waypoints epoch_at(double lat, double lon) {
    waypoints r;
    r.latitude = lat;
    r.longitude = lon;
    r.altitude = 12.5;
    r.time = "12:00:00.50";
    r.date = "2000-01-01^";
    r.has_gga = 1;
    r.sats_used = 9;
    r.hdop = 0.8;
    r.diff_age = 3;
    r.dgps_station = 7;
    r.has_latitude = r.has_longitude = true;
    return r;
}

EpochDecision placed(FixClass c) {
    EpochDecision d;
    d.add(c);
    d.on_valid_track = true;
    return d;
}

// The whole output of one writer fed `epochs` (each with its decision and log date).
struct Fed {
    waypoints record;
    EpochDecision decision;
    std::string log_date;
};
std::string write_all(CompanionKind kind, const CompanionLook& look, const std::vector<Fed>& epochs) {
    StringSink sink;
    auto output = companion_format(kind).make(sink, look);
    std::int32_t number = 0;
    for (const Fed& f : epochs) {
        output->epoch({f.record, f.decision, number, f.log_date});
        number += f.decision.placemarks;
    }
    output->finish(epochs.size());
    return sink.text;
}

int occurrences(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

}  // namespace

TEST(GpxCompanion, EachPointCarriesItsFixItsValuesAndOnlyTheLogsOwnTime) {
    struct Row {
        FixClass fix_class;
        std::int32_t fix_mode;
        const char* log_date;
        std::vector<std::string> present, absent;
    } rows[] = {
        {FixClass::Auto, 2, "2024-02-29", {"<fix>2d</fix>", "<time>2024-02-29T12:00:00.50Z</time>"}, {"<ageofdgpsdata>"}},
        {FixClass::Auto, 0, "", {"<type>Auto</type><fix>3d</fix>"}, {"<time>"}},
        {FixClass::Diff, 3, "2024-02-30", {"<fix>dgps</fix>", "<ageofdgpsdata>3.00</ageofdgpsdata><dgpsid>7</dgpsid>"}, {"<time>"}},
        {FixClass::RtkFloat, 3, "", {"<type>RTK Float</type><fix>dgps</fix>"}, {}},
        {FixClass::Estimated, 3, "", {"<fix>none</fix>"}, {}},
        {FixClass::Invalid, 3, "", {"<fix>none</fix>", "<ele>12.500</ele><", "<sat>9</sat><hdop>0.800</hdop>"}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(fix_class_name(row.fix_class));
        waypoints r = epoch_at(48.1, 11.5);
        r.fix_mode = row.fix_mode;
        const std::string gpx = write_all(CompanionKind::Gpx, {}, {{r, placed(row.fix_class), row.log_date}});
        EXPECT_NE(gpx.find("<trkpt lat=\"48.100000000\" lon=\"11.500000000\">"), std::string::npos) << gpx;
        for (const std::string& p : row.present) EXPECT_NE(gpx.find(p), std::string::npos) << p << "\n" << gpx;
        for (const std::string& a : row.absent) EXPECT_EQ(gpx.find(a), std::string::npos) << a << "\n" << gpx;
    }
}

TEST(Companions, SplitTracksGiveAPiecePerLineAndTheAllTrackComesSecond) {
    EpochDecision first = placed(FixClass::Auto), later = placed(FixClass::Auto), broken = placed(FixClass::Auto);
    for (EpochDecision* d : {&first, &later, &broken}) d->on_all_points_track = true;
    broken.valid_track_breaks = true;
    const std::vector<Fed> epochs{{epoch_at(1, 2), first, ""}, {epoch_at(3, 4), later, ""}, {epoch_at(5, 6), broken, ""}};
    const CompanionLook look{EpochFieldSet::Nmea, true, true};

    const std::string gpx = write_all(CompanionKind::Gpx, look, epochs);
    EXPECT_EQ(occurrences(gpx, "<trkseg>"), 3);  // two pieces of the valid track, one of the all track
    EXPECT_LT(gpx.find("<name>valid</name>"), gpx.find("<name>all</name>"));
    EXPECT_EQ(occurrences(gpx, "<trkpt"), 6);

    // A piece of one point is still a line: the point twice.
    const std::string json = write_all(CompanionKind::GeoJson, look, epochs);
    EXPECT_NE(json.find("\"MultiLineString\",\"coordinates\":[[[2.000000000,1.000000000,12.500],"
                        "[4.000000000,3.000000000,12.500]],[[6.000000000,5.000000000,12.500],"
                        "[6.000000000,5.000000000,12.500]]]},\"properties\":{\"track\":\"valid\"}"),
              std::string::npos)
        << json;
    EXPECT_EQ(occurrences(json, "\"Point\""), 3);
}

TEST(Companions, ValuesFollowTheEpochFieldsInEveryLocale) {
    const char* saved = std::setlocale(LC_ALL, nullptr);
    const std::string restore = saved ? saved : "C";
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    waypoints r = epoch_at(48.1, 11.5);
    r.time = "12:00,\"5";  // a time text from the log that needs quoting
    r.altitude = std::numeric_limits<double>::quiet_NaN();
    const std::vector<Fed> epochs{{r, placed(FixClass::RtkFix), ""}};
    const std::string csv = write_all(CompanionKind::Csv, {}, epochs);
    const std::string json = write_all(CompanionKind::GeoJson, {}, epochs);
    std::setlocale(LC_ALL, restore.c_str());

    EXPECT_EQ(csv,
              "number,fix_class,longitude,latitude,altitude,utc_time,speed_kmh,course,rms,gga_quality,diff_age,"
              "gsa_fix_mode,hdop,satellites\r\n"
              "0,RTK Fix,11.500000,48.100000,,\"2000-01-01T12:00,\"\"5Z\",0.0,0.0,0.0,0,3.00,0,0.800,9\r\n");
    EXPECT_NE(json.find("\"properties\":{\"number\":0,\"fix_class\":\"RTK Fix\",\"longitude\":11.500000,"
                        "\"latitude\":48.100000,\"altitude\":null,\"utc_time\":\"2000-01-01T12:00,\\\"5Z\""),
              std::string::npos)
        << json;
}

TEST(Companions, AnExistingFileIsReplacedOnlyWhenEmptyOrOfItsOwnKind) {
    const std::string header =
        "number,fix_class,longitude,latitude,altitude,utc_time,speed_kmh,course,rms,hdop,satellites\r\n";
    struct Row {
        CompanionKind kind;
        std::string contents;
        bool refused;
    } rows[] = {
        {CompanionKind::Gpx, "", false},
        {CompanionKind::Gpx, "<?xml version=\"1.0\"?>\n<!-- mine -->\n<gpx version=\"1.1\">", false},
        {CompanionKind::Gpx, "<?xml version=\"1.0\"?>\n<kml>", true},
        {CompanionKind::Gpx, "<gpxe>", true},
        {CompanionKind::GeoJson, " {\"type\":\"FeatureCollection\",\"features\":[]}", false},
        {CompanionKind::GeoJson, "{\"type\":\"Feature\"}", true},
        {CompanionKind::Csv, header + "0,Auto", false},     // the header of a binary log's table
        {CompanionKind::Csv, "number,fix_class\r\n", true},  // another table
        {CompanionKind::Csv, "PK\3\4", true},
    };
    TempDir dir;
    const std::string input = dir.str() + "in.log";
    write_file(input, "$GPGGA\r\n");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.contents);
        const std::string path = dir.str() + "out";
        write_file(path, row.contents);
        EXPECT_EQ(companion_refusal({row.kind, path}, {EpochFieldSet::Tolv, false, false}, input).empty(), !row.refused);
    }
    EXPECT_FALSE(companion_refusal({CompanionKind::Csv, input}, {}, input).empty());  // the log itself
    EXPECT_FALSE(companion_refusal({CompanionKind::Csv, dir.str()}, {}, input).empty());
}
