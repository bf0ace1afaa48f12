#include "output/kml_document.h"

#include <gtest/gtest.h>
#include <vector>

#include "tests/test_support.h"

using namespace zelvo;
using zelvo::test::crlf;
using zelvo::test::StringSink;

namespace {

KmlLook look_of(InputFormat format, std::string icon_scale = "0.5", bool show_height = false) {
    IconNames icons = {"255.png", "65535.png", "32768.png", "16711935.png", "16776960.png", "0.png"};
    const EpochLayout* layout = format == InputFormat::Nmea ? &kNmeaLayout
                                : format == InputFormat::Tolv ? &kTolvLayout
                                                              : &kSolutionLayout;
    return {layout, icons, std::move(icon_scale), show_height, std::string(1, '5'), 0x0000FF, false, 0x008000, false, false, {}, {}, {}, {}};
}

// The whole document, with `drive` between its opening and finish().
template <typename F>
std::string document(const KmlLook& look, F&& drive, std::uint64_t epochs = 1) {
    StringSink sink;
    {
        KmlDocument doc(sink, look);
        drive(doc);
        doc.finish(epochs);
    }
    return sink.text;
}

// The text of placemark number `number` of a class, after as many others.
std::string placemark_text(const waypoints& r, FixClass c, const KmlLook& look, int number = 0) {
    std::string doc = document(look, [&](KmlDocument& d) {
        for (int n = 0; n <= number; ++n) d.placemark(r, c);
    });
    std::size_t begin = doc.rfind("<Placemark>\r\n<description>");
    std::size_t end = doc.find("</Placemark>\r\n", begin);
    return begin == std::string::npos ? "" : doc.substr(begin, end + 14 - begin);
}

waypoints example_epoch() {
    waypoints r;
    r.time = "09:27:50.000";
    r.latitude = 53.361336666666666;
    r.longitude = -6.505620;
    r.altitude = 61.7;
    r.date = "2011-05-28";
    r.status = 'A';
    r.quality = 2;
    r.sats_used = 8;
    r.hdop = 1.03;
    r.speed_kmh = 0.03704;
    r.course = 31.66;
    r.fix_mode = 3;
    r.has_gga = 1;
    r.has_rmc = 1;
    return r;
}

}  // namespace

TEST(KmlDocument, HeadStyleFolderAndTail) {
    EXPECT_EQ(document(look_of(InputFormat::Nmea), [](KmlDocument&) {}, 0),
              crlf("<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Document>\n"
                   "<Style id=\"NormalTrack\">\n<LineStyle>\n<color>FF0000FF</color>\n<width>5</width>\n"
                   "</LineStyle>\n</Style>\n"
                   "<Folder>\n<name>WayPoints</name>\n</Folder>\n</Document>\n</kml>"));
    EXPECT_EQ(kml_colour_text(0x008000), "FF008000");
    EXPECT_EQ(kml_colour_text(0x00FFFF), "FF00FFFF");
    EXPECT_EQ(kml_colour_text(0x80000005), "FF80000005");  // a system colour keeps all its digits
}

TEST(KmlDocument, NmeaPlacemarkWholeText) {
    waypoints r = example_epoch();
    r.sats[5] = {'G', 5, 0, 40, 300, 45, 1, 1};
    r.sats[67] = {'R', 3, -7, 12, 90, 30, 0, 1};
    r.has_sats = 1;
    std::string expected = crlf(
        "<Placemark>\n<description><![CDATA[\n\t<table>\n"
        "\t<tr><th>NN</th><td>7</td></tr>\n"
        "\t<tr><th>Longitude</th><td>-6.505620</td></tr>\n"
        "\t<tr><th>Latitude</th><td>53.361337</td></tr>\n"
        "\t<tr><th>Altitude</th><td>61.700m</td></tr>\n"
        "\t<tr><th>Time</th><td>2011-05-28T09:27:50.000Z</td></tr>\n"
        "\t<tr><th>Speed</th><td>0.0kmh</td></tr>\n"
        "\t<tr><th>COG</th><td>31.7</td></tr>\n"
        "\t<tr><th>RMS</th><td>0.0m</td></tr>\n"
        "\t<tr><th>Status(GGA)</th><td>Diff fix valid (2)</td></tr>\n"
        "\t<tr><th>Diff age</th><td>0.00</td></tr>\n"
        "\t<tr><th>Status(GSA)</th><td>3D (3)</td></tr>\n"
        "\t<tr><th>HDOP</th><td>1.030</td></tr>\n"
        "\t<tr><th>SAT</th><td>8</td></tr>\n"
        "\t</table>\n"
        "\t<table>\n"
        "<tfoot><tr><th colspan=5 align=center>Information about the satellites</th></tr></tfoot>\n"
        "\t<tr>\t<th>SYS</th>\t<th>Svn</th>\t<th>El</th>\t<th>Az</th>\t<th>SNR</th>\t</tr>\n"
        "\t<tr>\t<td>G</td>\t<td>5*</td>\t<td>40</td>\t<td>300</td>\t<td>45</td>\t</tr>\n"
        "\t<tr>\t<td>R</td>\t<td>3</td>\t<td>12</td>\t<td>90</td>\t<td>30</td>\t</tr>\n"
        "\t</table>\n"
        "]]></description>\n<LookAt>\n<longitude>-6.505620</longitude>\n<latitude>53.361337</latitude>\n"
        "<tilt>66</tilt>\n</LookAt>\n<TimeStamp>\n<when>2011-05-28T09:27:50.000Z</when>\n</TimeStamp>\n"
        "<Style>\n<IconStyle>\n<scale>0.5</scale>\n<heading>31.660000</heading>\n<Icon>\n"
        "<href>65535.png</href>\n</Icon>\n</IconStyle>\n</Style>\n<Point>\n"
        "<coordinates>-6.505620,53.361337,61.700000</coordinates>\n</Point>\n</Placemark>\n");
    EXPECT_EQ(placemark_text(r, FixClass::Diff, look_of(InputFormat::Nmea), 7), expected);
}

TEST(KmlDocument, StatusTextsFollowQualityAndFixMode) {
    struct Case { std::uint8_t has_gga; std::int32_t quality; std::int32_t fix_mode; const char* gga; const char* gsa; };
    const Case cases[] = {
        {1, 0, 1, "N/A (0)", "N/A (1)"},   {1, 1, 2, "Fix valid (1)", "2D (2)"},
        {1, 4, 3, "RTK Fix (4)", "3D (3)"}, {1, 5, 0, "RTK Float (5)", "0"},
        {1, 6, 7, "Dead (6)", "7"},         {1, 3, -1, "None", "-1"},
        {0, 1, 0, "1", "0"},                {0, 2, 0, "None", "0"},
    };
    for (const Case& c : cases) {
        waypoints r;
        r.has_gga = c.has_gga;
        r.quality = c.quality;
        r.fix_mode = c.fix_mode;
        std::string text = placemark_text(r, FixClass::Invalid, look_of(InputFormat::Nmea, "1"));
        EXPECT_NE(text.find(std::string("Status(GGA)</th><td>") + c.gga + "<"), std::string::npos) << c.gga;
        EXPECT_NE(text.find(std::string("Status(GSA)</th><td>") + c.gsa + "<"), std::string::npos) << c.gsa;
    }
}

TEST(KmlDocument, BinaryPlacemarkRows) {
    waypoints r = example_epoch();
    r.fix_text = "3D,DIFF";
    r.sats_used = -1;
    r.sats[69] = {'R', 5, -7, 10, 20, 30, 1, 1};
    r.has_sats = 1;
    std::string text = placemark_text(r, FixClass::Auto, look_of(InputFormat::Tolv, "0.5", true));
    EXPECT_EQ(text.find("Status(GGA)"), std::string::npos);
    EXPECT_EQ(text.find("Diff age"), std::string::npos);
    EXPECT_NE(text.find("<tr><th>Status</th><td>3D,DIFF</td></tr>"), std::string::npos);
    EXPECT_NE(text.find("<tr><th>SAT</th><td>None</td></tr>"), std::string::npos);
    EXPECT_NE(text.find("\t<td>R/-7</td>\t<td>5*</td>"), std::string::npos);
    EXPECT_NE(text.find("<Point>\r\n<extrude>1</extrude>\r\n<altitudeMode>relativeToGround</altitudeMode>\r\n<coordinates>"),
              std::string::npos);
    // A solution file's table has none of the receiver's rows.
    std::string other = placemark_text(r, FixClass::Auto, look_of(InputFormat::Solution));
    EXPECT_EQ(other.find("HDOP"), std::string::npos);
    EXPECT_EQ(other.find("Status"), std::string::npos);
}

TEST(KmlDocument, TimeStampOnlyForATimeReadersTake) {
    // when: the text of <when>, or nullptr for a placemark without a time stamp.
    struct Case { const char* date; const char* time; const char* row; const char* when; };
    const Case cases[] = {
        {"2000-01-01^", "09:27:50.000", "2000-01-01^T09:27:50.000Z", "2000-01-01T09:27:50.000Z"},
        {"2009-07-15*", "09:27:50", "2009-07-15*T09:27:50Z", "2009-07-15T09:27:50Z"},
        {"2024-02-29", "23:59:59.5", "2024-02-29T23:59:59.5Z", "2024-02-29T23:59:59.5Z"},
        {"2009-07-15", "", "2009-07-15T(null)Z", nullptr},  // an empty time field
        {"", "09:27:50", "(null)T09:27:50Z", nullptr},
        {"^2009", "09:27:50", "^2009T09:27:50Z", nullptr},
        {"2023-02-29^", "09:27:50", "2023-02-29^T09:27:50Z", nullptr},  // a broken fixed date
        {"2000-01-01-12345^", "09:27:50", "2000-01-01-12345^T09:27:50Z", nullptr},  // cut to 14
        {"2009-07-15", "ab:27:50.000", "2009-07-15Tab:27:50.000Z", nullptr},
    };
    for (const Case& c : cases) {
        waypoints r;
        // A trailing mark in the table's date is where the date came from.
        r.date = c.date;
        const char mark = r.date.empty() ? '\0' : r.date.back();
        r.date_source = mark == '^' ? DateSource::Fixed : mark == '*' ? DateSource::Today : DateSource::Log;
        if (r.date_source != DateSource::Log) r.date.pop_back();
        r.time = c.time;
        std::string text = placemark_text(r, FixClass::Invalid, look_of(InputFormat::Nmea, ""));
        EXPECT_NE(text.find(std::string("<th>Time</th><td>") + c.row + "</td>"), std::string::npos) << c.date;
        if (c.when) {
            EXPECT_NE(text.find(crlf(std::string("</LookAt>\n<TimeStamp>\n<when>") + c.when +
                                     "</when>\n</TimeStamp>\n<Style>")),
                      std::string::npos) << c.date;
        } else {
            EXPECT_NE(text.find(crlf("</LookAt>\n<Style>")), std::string::npos) << c.date;
        }
        EXPECT_NE(text.find("<scale>(null)</scale>"), std::string::npos);
    }
}

TEST(KmlDocument, KmlTimeIsACalendarDateAndClockTime) {
    for (const char* good : {"2011-05-28T09:27:50Z", "0001-01-01T00:00:00.0Z", "2000-02-29T23:59:59.123456Z",
                             "1900-12-31T12:00:00Z"}) {
        EXPECT_TRUE(is_kml_time(good)) << good;
    }
    for (const char* bad : {"0000-01-01T00:00:00Z", "1900-02-29T00:00:00Z", "2011-04-31T00:00:00Z",
                            "2011-13-01T00:00:00Z", "2011-05-28T24:00:00Z", "2011-05-28T09:60:00Z",
                            "2011-05-28T09:27:60Z", "2011-05-28T09:27:50.Z", "2011-05-28T09:27:50",
                            "2011-05-28T09:27:50.5xZ", "2011-05-28 09:27:50Z", "2011-5-28T09:27:50Z",
                            "-011-05-28T09:27:50Z", "(null)T09:27:50Z", ""}) {
        EXPECT_FALSE(is_kml_time(bad)) << bad;
    }
}

TEST(KmlDocument, TextsFromTheLogAreMadeSafe) {
    waypoints r;
    r.time = "1<&]]>\x01";
    r.date = std::string("20]]>1\0xyz", 10);
    std::string text = placemark_text(r, FixClass::Invalid, look_of(InputFormat::Nmea, "a&b"));
    EXPECT_NE(text.find("<td>20]]]]><![CDATA[>1T1<&]]]]><![CDATA[>?Z</td>"), std::string::npos);
    EXPECT_EQ(text.find("<TimeStamp>"), std::string::npos);
    EXPECT_NE(text.find("<scale>a&amp;b</scale>"), std::string::npos);
    KmlLook odd_width = look_of(InputFormat::Nmea);
    odd_width.track_width = "<5>";
    std::string style = document(odd_width, [](KmlDocument&) {});
    EXPECT_NE(style.find("<width>&lt;5></width>"), std::string::npos);
}

TEST(KmlDocument, TracksFollowTheFolder) {
    std::vector<waypoints> records(3);
    records[0].longitude = 1;
    records[1].longitude = 2;
    records[2].altitude = -0.0;
    auto points = [&](Track track) {
        return [&records, track](KmlDocument& d) {
            for (const waypoints& r : records) d.track_point(track, r);
        };
    };
    const std::string folder_end = "</Folder>\r\n";
    std::string nmea = document(look_of(InputFormat::Nmea), points(Track::Valid));
    EXPECT_EQ(nmea.substr(nmea.find(folder_end) + folder_end.size()),
              crlf("<Placemark>\n<name>NormalTrack</name>\n<styleUrl>#NormalTrack</styleUrl>\n<LineString>\n"
                   "<tessellate>1</tessellate>\n<coordinates>\n"
                   "1.000000,0.000000,0.000000\n2.000000,0.000000,0.000000\n0.000000,0.000000,-0.000000\n"
                   "</coordinates>\n</LineString>\n</Placemark>\n</Document>\n</kml>"));
    // An NMEA log without epochs has no valid track; a binary one has an empty one.
    EXPECT_EQ(document(look_of(InputFormat::Nmea), [](KmlDocument&) {}, 0).find("NormalTrack</name>"), std::string::npos);
    std::string binary = document(look_of(InputFormat::Tolv), [](KmlDocument&) {}, 0);
    EXPECT_NE(binary.find(crlf("</Folder>\n<Placemark>\n<name>NormalTrack</name>\n<styleUrl>#NormalTrack</styleUrl>\n"
                               "<LineString>\n<tessellate>1</tessellate>\n<coordinates>\n</coordinates>\n")),
              std::string::npos);
    // The track through every epoch comes last, after its own style, its
    // points indented; another format has neither folder nor valid track.
    KmlLook all = look_of(InputFormat::Nmea);
    all.layout = nullptr;
    all.all_points_track = true;
    std::string every = document(all, points(Track::AllPoints));
    EXPECT_EQ(every.find("Folder"), std::string::npos);
    EXPECT_EQ(every.find("NormalTrack</name>"), std::string::npos);
    EXPECT_NE(every.find(crlf("<color>FF008000</color>\n<width>5</width>\n</LineStyle>\n</Style>\n"
                              "<Placemark\n><name>IncorrectTrack</name>")),
              std::string::npos);
    EXPECT_NE(every.find("\t1.000000,0.000000,0.000000\r\n\t2.000000"), std::string::npos);
}
