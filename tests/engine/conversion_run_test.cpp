#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>

#include "run_fixture.h"

using namespace zelvo;
using namespace zelvo::test;

namespace {

const std::string kHead = "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\r\n<Document>\r\n";
const std::string kRedStyle =
    "<Style id=\"NormalTrack\">\r\n<LineStyle>\r\n<color>FF0000FF</color>\r\n<width>5</width>\r\n"
    "</LineStyle>\r\n</Style>\r\n";

// A host that notes the phases the run goes through.
class RecordingHost : public HeadlessHost {
public:
    void phase(RunPhase p, std::int32_t placemarks) override {
        HeadlessHost::phase(p, placemarks);
        phases.push_back(p);
    }
    std::vector<RunPhase> phases;
};

bool well_formed_xml(const std::string& path) {
    if (!have_tool("python3")) {
        ADD_FAILURE() << "python3 is not installed: the document's XML cannot be checked";
        return false;
    }
    std::string cmd = "python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' '" + path + "'";
    return std::system(cmd.c_str()) == 0;
}

}  // namespace

class ConversionRun : public RunFixture {};

TEST_F(ConversionRun, EmptyLogGivesACompleteDocument) {
    RecordingHost host;
    EXPECT_EQ(convert("", defaults(), &host),
              kHead + kRedStyle +
                  "<Folder>\r\n<name>WayPoints</name>\r\n</Folder>\r\n</Document>\r\n</kml>");
    EXPECT_EQ(count_text(result_), "Waypoints 0");
    EXPECT_EQ(host.status(), "The progress finished");
    EXPECT_EQ(finished_message("in.log", result_), "The progress finished!\n\rInput file in.log\n\rWaypoints 0");
    EXPECT_EQ(host.phases,
              (std::vector<RunPhase>{RunPhase::Begun, RunPhase::Reading, RunPhase::Writing, RunPhase::Finished}));
    EXPECT_EQ(result_.epochs, 0u);  // the host may say how to read the log instead
}

TEST_F(ConversionRun, BinaryAndSolutionFormatsShapeTheDocument) {
    ConversionOptions binary = defaults();
    binary.input_format = InputFormat::Tolv;
    EXPECT_EQ(convert("", binary),
              kHead + kRedStyle +
                  "<Folder>\r\n<name>WayPoints</name>\r\n</Folder>\r\n"
                  "<Placemark>\r\n<name>NormalTrack</name>\r\n<styleUrl>#NormalTrack</styleUrl>\r\n"
                  "<LineString>\r\n<tessellate>1</tessellate>\r\n<coordinates>\r\n</coordinates>\r\n"
                  "</LineString>\r\n</Placemark>\r\n</Document>\r\n</kml>");

    // An NMEA line is no epoch of a solution file: like an NMEA log without
    // epochs, the document has its folder but no valid track.
    ConversionOptions solution = defaults();
    solution.input_format = InputFormat::Solution;
    solution.use_all_waypoints = true;
    RecordingHost host;
    EXPECT_EQ(convert(test::nmea("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"), solution, &host),
              kHead + kRedStyle +
                  "<Style id=\"IncorrectTrack\">\r\n<LineStyle>\r\n<color>FF008000</color>\r\n<width>5</width>\r\n"
                  "</LineStyle>\r\n</Style>\r\n"
                  "<Folder>\r\n<name>WayPoints</name>\r\n</Folder>\r\n"
                  "<Placemark\r\n><name>IncorrectTrack</name>\r\n<styleUrl>#IncorrectTrack</styleUrl>\r\n"
                  "<LineString>\r\n<tessellate>1</tessellate>\r\n<coordinates>\r\n</coordinates>\r\n"
                  "</LineString>\r\n</Placemark>\r\n</Document>\r\n</kml>");
    EXPECT_EQ(finished_message("in.log", result_), "The progress finished!\n\rInput file in.log\n\rWaypoints 0");
    EXPECT_EQ(host.phases,
              (std::vector<RunPhase>{RunPhase::Begun, RunPhase::Reading, RunPhase::Writing, RunPhase::Finished}));
    EXPECT_EQ(result_.summary->skipped_lines, 1u);
}

TEST_F(ConversionRun, GaugeFollowsTheBytesRead) {
    struct Case { std::size_t size; int nmea; int binary; };
    const Case cases[] = {{50, 50, 50}, {100, 50, 100}, {1024, 93, 100}, {2000, 96, 100}, {12345, 100, 100}};
    for (const Case& c : cases) {
        for (InputFormat format : {InputFormat::Nmea, InputFormat::Tolv}) {
            ConversionOptions o = defaults();
            o.input_format = format;
            HeadlessHost host;
            convert(std::string(c.size, 'x'), o, &host);
            EXPECT_EQ(host.progress(), format == InputFormat::Nmea ? c.nmea : c.binary) << c.size << " " << static_cast<int>(format);
        }
    }
}

TEST_F(ConversionRun, FailuresToOpenLeaveEverythingAsItWas) {
    RecordingHost host;
    host.advance_progress();
    ConversionOptions o = defaults();
    o.input_path = dir_.str() + "missing.log";
    o.output_path = dir_.str() + "out.kmz";
    o.output_name = "out.kmz";
    RunResult r = conversion_run(o, host);
    EXPECT_EQ(r.outcome, RunOutcome::InputNotOpened);
    EXPECT_EQ(host.status(), "Can't open the input file");
    EXPECT_EQ(host.progress(), 1);
    EXPECT_EQ(r.archive_path, "");

    write_file(dir_.path() / "in.log", "x");
    o.input_path = dir_.str() + "in.log";
    o.output_path = dir_.str() + "no/such/dir/out.kmz";
    r = conversion_run(o, host);
    EXPECT_EQ(r.outcome, RunOutcome::OutputNotCreated);
    EXPECT_EQ(host.status(), "Can't create the output file");
    EXPECT_EQ(r.archive_path, "");
    EXPECT_EQ(host.phases, (std::vector<RunPhase>{RunPhase::InputRefused, RunPhase::OutputRefused}));

    // A ".kml" archive name would overwrite the document it packs.
    write_file(dir_.path() / "keep.kml", "precious");
    o.output_path = dir_.str() + "keep.kml";
    o.output_name = "keep.kml";
    r = conversion_run(o, host);
    EXPECT_EQ(r.outcome, RunOutcome::OutputNotCreated);
    EXPECT_EQ(read_file(dir_.path() / "keep.kml"), "precious");
}

TEST_F(ConversionRun, OutputNamesAndTheArchivePath) {
    write_file(dir_.path() / "in.log", "");
    struct Case { const char* name; const char* kml; };
    for (const Case& c : {Case{"track.kmz", "track.kml"}, Case{"track", "track.kml"}, Case{"a.b.kmz", "a.b.kml"}}) {
        ConversionOptions o = defaults();
        o.input_path = dir_.str() + "in.log";
        o.output_path = dir_.str() + "old.kmz";
        o.output_name = c.name;
        HeadlessHost host;
        RunResult r = conversion_run(o, host);
        ASSERT_EQ(r.outcome, RunOutcome::Finished);
        EXPECT_EQ(r.archive_path, dir_.str() + c.name);
        EXPECT_EQ(archive_path_for(o), r.archive_path);
        EXPECT_EQ(members(dir_.path() / c.name).front().name, c.kml);
    }
}

TEST_F(ConversionRun, NumbersUseAPointInEveryLocale) {
    const char* saved = std::setlocale(LC_ALL, nullptr);
    std::string before = saved ? saved : "C";
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    std::string doc = convert(test::nmea("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
    std::setlocale(LC_ALL, before.c_str());
    EXPECT_NE(doc.find("<coordinates>11.516667,48.117300,545.400000</coordinates>"), std::string::npos);
}

TEST_F(ConversionRun, RealLogsConvertToWellFormedDocuments) {
    struct Case { const char* log; int waypoints; };
    const Case cases[] = {
        {"gpsd-nmea-rtk.log", 122}, {"gpsd-garmin-10x.log", 11}, {"gpsd-hemi.log", 21},
        {"gpsd-magellan-ec10.log", 0}, {"gpsd-ublox-zed-f9r.log", 30}, {"gpsd-humminbird-M37.log", 8},
        {"gpsd-rx210.log", 40}, {"gpsd-sl869.log", 15}, {"gnsslibpy-pixel6.nmea", 48},
        {"gpsd-myguide-3100.log", 13},
    };
    for (const Case& c : cases) {
        HeadlessHost host;
        ConversionOptions o = defaults();
        o.use_all_waypoints = true;
        std::string doc = convert(read_file(std::string(ZELVO_TEST_DATA) + "/" + c.log), o, &host);
        EXPECT_EQ(result_.placemarks, c.waypoints) << c.log;
        EXPECT_GT(result_.epochs, 0u) << c.log;  // a log without positions still has its epochs
        EXPECT_GE(host.progress(), 95) << c.log;
        EXPECT_TRUE(well_formed_xml(document_file())) << c.log;
        EXPECT_EQ(doc.substr(doc.size() - 6), "</kml>");
    }
}

TEST_F(ConversionRun, HostileInputStillGivesAWellFormedDocument) {
    std::mt19937 rng(42);
    std::string noise(1 << 20, '\0');
    for (char& c : noise) c = static_cast<char>(rng());
    HeadlessHost host;
    convert(noise, defaults(), &host);
    EXPECT_TRUE(well_formed_xml(document_file()));

    convert(std::string(16 << 20, '\0'));
    EXPECT_TRUE(well_formed_xml(document_file()));

    // Markup characters in the time fields of otherwise good sentences.
    std::string log;
    for (const char* t : {"12<519.00", "12&519.00", "1]]>19.00", "]]>]]>.00"}) {
        log += test::nmea(std::string("GPGGA,") + t + ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,") + "\r\n";
        log += test::nmea(std::string("GPRMC,") + t + ",A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W") + "\r\n";
    }
    ConversionOptions o = defaults();
    o.track_width = "<b>&";
    o.icon_scale = "]]>";
    o.fixed_date = "<&]]>";
    o.use_all_waypoints = true;
    std::string doc = convert(log, o);
    EXPECT_TRUE(well_formed_xml(document_file()));
    // None of these times is one a reader takes: no time stamps, the rows keep the text.
    EXPECT_EQ(doc.find("<TimeStamp>"), std::string::npos) << doc;
    EXPECT_NE(doc.find("<td><&]]]]><![CDATA[>^T1]:]>:19.00Z</td>"), std::string::npos);
}

// An altitude or a course no reader could parse writes the document an empty
// field writes; a value in range is written as read.
TEST_F(ConversionRun, UnparsableAltitudeAndCourseWriteWhatAnEmptyFieldWrites) {
    auto log = [](const std::string& altitude, const std::string& course) {
        return test::nmea("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9," + altitude + ",M,46.9,M,,") + "\r\n" +
               test::nmea("GPRMC,123519,A,4807.038,N,01131.000,E,022.4," + course + ",230394,003.1,W") + "\r\n";
    };
    ConversionOptions o = defaults();
    o.show_height = true;
    o.epoch_data = true;
    const std::string empty = convert(log("", ""), o);
    struct Case { const char* altitude; const char* course; bool as_empty; const char* shown; };
    const Case cases[] = {
        {"nan", "", true, ""},          {"-nan", "", true, ""},          {"inf", "", true, ""},
        {"-inf", "", true, ""},         {"1e999", "", true, ""},         {"-1e999", "", true, ""},
        {"", "nan", true, ""},          {"", "inf", true, ""},           {"", "-inf", true, ""},
        {"", "1e999", true, ""},        {"", "1271.49", true, ""},       {"", "-361", true, ""},
        {"", "360.0000001", true, ""},  {"nan", "1271.49", true, ""},
        {"", "360", false, "<heading>360.000000</heading>"},
        {"", "-360", false, "<heading>-360.000000</heading>"},
        {"", "359.9", false, "<heading>359.900000</heading>"},
        {"1e20", "", false, "<coordinates>11.516667,48.117300,100000000000000000000.000000</coordinates>"},
        {"-12.5", "", false, "<coordinates>11.516667,48.117300,-12.500000</coordinates>"},
    };
    for (const Case& c : cases) {
        const std::string doc = convert(log(c.altitude, c.course), o);
        SCOPED_TRACE(std::string(c.altitude) + " / " + c.course);
        EXPECT_EQ(doc == empty, c.as_empty);
        if (!c.as_empty) {
            EXPECT_NE(doc.find(c.shown), std::string::npos);
        }
    }
}
