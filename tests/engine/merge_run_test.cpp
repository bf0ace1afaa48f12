#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include "../output/zip_reader.h"
#include "../test_support.h"
#include "engine/conversion_run.h"
#include "output/file_paths.h"
#include "output/kml_document.h"

using namespace zelvo;
using namespace zelvo::test;

namespace {

ConversionOptions log_options(const std::string& file, const std::string& out_dir) {
    ConversionOptions o;
    o.input_path = std::string(ZELVO_TEST_DATA) + "/" + file;
    o.input_name = file;
    o.output_path = out_dir + "out.kmz";
    o.output_name = "out.kmz";
    o.timeline = true;
    o.standing = true;
    o.epoch_data = true;
    o.use_all_waypoints = true;
    return o;
}

// The placemarks of each WayPoints folder of a document, in order.
std::vector<std::string> waypoint_folders(const std::string& kml) {
    std::vector<std::string> folders;
    const std::string open = "<Folder>\r\n<name>WayPoints</name>\r\n";
    for (std::size_t at = kml.find(open); at != std::string::npos; at = kml.find(open, at + 1))
        folders.push_back(kml.substr(at, kml.find("</Folder>", at) - at));
    return folders;
}

std::string document_of(const std::string& archive) { return read_zip(read_file(archive)).front().data; }

TEST(MergeRun, EachLogKeepsItsPlacemarksAndLaterLogsAreComparedWithTheFirst) {
    TempDir dir;
    const std::vector<std::string> files = {"gpsd-nmea-rtk.log", "generated-nmea-rtk-second.nmea", "gpsd-hemi.log"};
    std::vector<ConversionOptions> logs;
    std::vector<std::string> alone;
    for (const std::string& f : files) {
        logs.push_back(log_options(f, dir.str()));
        ConversionOptions single = logs.back();
        single.output_path = dir.str() + f + ".kmz";
        single.output_name = f + ".kmz";
        HeadlessHost host;
        ASSERT_EQ(conversion_run(single, host).outcome, RunOutcome::Finished);
        alone.push_back(waypoint_folders(document_of(single.output_path)).at(0));
    }
    HeadlessHost host;
    const MergedRun run = merge_run(logs, host);
    ASSERT_EQ(run.outcome, RunOutcome::Finished);
    ASSERT_EQ(run.logs.size(), 3u);
    const std::string kml = document_of(run.archive_path);
    EXPECT_EQ(waypoint_folders(kml), alone);

    // The second log against tests/deviation_expectations.py's figures; the
    // third is of another day and place.
    EXPECT_FALSE(run.logs[0].summary->versus_first);
    const LogDeviation& second = *run.logs[1].summary->versus_first;
    EXPECT_EQ(second.common_epochs, 102u);
    EXPECT_NEAR(second.horizontal_m->median, 0.501975261762667, 1e-9);
    EXPECT_NEAR(second.vertical_m->max, 0.37000000000000455, 1e-9);
    EXPECT_EQ(run.logs[2].summary->versus_first->common_epochs, 0u);
    EXPECT_FALSE(run.logs[2].summary->versus_first->horizontal_m);

    // A folder per log, later tracks in the palette's colours in turn.
    for (const std::string& f : files) EXPECT_NE(kml.find("<name>" + f + "</name>"), std::string::npos) << f;
    const std::pair<const char*, ColorRef> styles[] = {
        {"NormalTrack", logs[0].track_color},   {"IncorrectTrack", logs[0].full_track_color},
        {"NormalTrack-2", kMergePalette[0]},    {"IncorrectTrack-2", kMergePalette[1]},
        {"NormalTrack-3", kMergePalette[2]},    {"IncorrectTrack-3", kMergePalette[3]},
    };
    for (const auto& [id, colour] : styles) {
        const std::size_t at = kml.find(std::string("<Style id=\"") + id + "\">");
        ASSERT_NE(at, std::string::npos) << id;
        EXPECT_EQ(kml.substr(kml.find("<color>", at) + 7, 8), kml_colour_text(colour)) << id;
    }
    std::vector<std::string> names;
    for (const ZipMember& m : read_zip(read_file(run.archive_path))) names.push_back(m.name);
    EXPECT_EQ(std::vector<std::string>(names.end() - 6, names.end()),
              (std::vector<std::string>{"timeline.png", "scatter.png", "timeline-2.png", "scatter-2.png",
                                        "timeline-3.png", "scatter-3.png"}));
    EXPECT_NE(kml.find("<Document>\r\n<description><![CDATA[<h3>gpsd-nmea-rtk.log</h3>"), std::string::npos);
}

TEST(MergeRun, LogsOfEveryKindShareOneSchemaWithEachFieldOnce) {
    TempDir dir;
    std::vector<ConversionOptions> logs;
    for (const char* f : {"../solution/data/rtklibpy-rover.pos", "gpsd-nmea-rtk.log",
                          "../../examples/sample.tolv"}) {
        logs.push_back(log_options(f, dir.str()));
        logs.back().timeline = logs.back().standing = false;
        logs.back().detect_format = true;
    }
    HeadlessHost host;
    const MergedRun run = merge_run(logs, host);
    ASSERT_EQ(run.outcome, RunOutcome::Finished);
    EXPECT_EQ(run.logs[0].format, InputFormat::Solution);
    EXPECT_EQ(run.logs[2].format, InputFormat::Tolv);
    const std::string kml = document_of(run.archive_path);
    const std::string schema = kml.substr(kml.find("<Schema"), kml.find("</Schema>") - kml.find("<Schema"));
    for (const char* field : {"\"q\"", "\"gga_quality\"", "\"latitude\""}) {
        const std::size_t at = schema.find(field);
        EXPECT_NE(at, std::string::npos) << field;
        EXPECT_EQ(schema.find(field, at + 1), std::string::npos) << field;
    }
}

// Two real solution files of one session, processed by two programs (one
// dated, one in GPS weeks), against tests/deviation_expectations.py.
TEST(MergeRun, SolutionsOfOneSessionProcessedTwoWaysAreComparedAtTheirCommonInstants) {
    TempDir dir;
    std::vector<ConversionOptions> logs;
    for (const char* f : {"../solution/data/demo5-b34f-forward.pos", "../solution/data/py-0315-forward.pos"}) {
        logs.push_back(log_options(f, dir.str()));
        logs.back().detect_format = true;
    }
    HeadlessHost host;
    const MergedRun run = merge_run(logs, host);
    ASSERT_EQ(run.outcome, RunOutcome::Finished);
    for (const RunResult& log : run.logs) EXPECT_EQ(log.format, InputFormat::Solution);
    const LogDeviation& d = *run.logs[1].summary->versus_first;
    EXPECT_EQ(d.common_epochs, 106u);
    const Spread horizontal{0.20565352007176768, 0.37236212222069287, 0.3938661610118369};
    const Spread vertical{0.5181999999999789, 0.6862999999998465, 0.695699999999988};
    for (auto [got, want] : {std::pair{*d.horizontal_m, horizontal}, std::pair{*d.vertical_m, vertical}}) {
        EXPECT_NEAR(got.median, want.median, 1e-9);
        EXPECT_NEAR(got.p95, want.p95, 1e-9);
        EXPECT_NEAR(got.max, want.max, 1e-9);
    }
}

TEST(MergeRun, CommandLineNeedsTwoLogsAndOneNamedArchive) {
    TempDir dir;
    const std::string log = std::string(ZELVO_TEST_DATA) + "/gpsd-hemi.log";
    const std::string out = dir.str() + "m.kmz";
    const std::pair<std::string, int> cases[] = {
        {"--merge -o " + out + " " + log, 2},
        {"--merge " + log + " " + log, 2},
        {"--merge -o - " + log + " " + log, 2},
        {"--merge --gpx - -o " + out + " " + log + " " + log, 2},
        {"-q --merge --summary " + dir.str() + "s.json -o " + out + " " + log + " " + log, 0},
    };
    for (const auto& [args, status] : cases) {
        const int raw = std::system((std::string(ZELVO_BINARY) + " " + args + " 2>/dev/null").c_str());
        EXPECT_EQ(WEXITSTATUS(raw), status) << args;
    }
    // The same log twice: every epoch in common, no difference at all.
    const std::string json = read_file(dir.path() / "s.json");
    EXPECT_NE(json.find("\"versus_first\": {\"common_epochs\": 21, \"horizontal_m\": {\"median\": 0, \"p95\": 0, "
                        "\"max\": 0}"),
              std::string::npos)
        << json;
}

TEST(MergeRun, LaterLogsNumberTheirFilesBeforeTheExtension) {
    const std::pair<std::string, std::string> cases[] = {
        {"day.gpx", "day-2.gpx"},   {"out/day.v1.csv", "out/day.v1-2.csv"}, {"dir.d/day", "dir.d/day-2"},
        {"/tmp/.gpx", "/tmp/.gpx-2"}, {"timeline.png", "timeline-2.png"},
    };
    for (const auto& [first, second] : cases) {
        EXPECT_EQ(numbered_name(first, 0), first);
        EXPECT_EQ(numbered_name(first, 1), second);
    }
    EXPECT_EQ(numbered_name("day.gpx", 9), "day-10.gpx");
}

// Each log's companions are those the log alone gives, the later ones
// numbered; a numbered name that is a file of the run is refused.
TEST(MergeRun, EachLogWritesTheCompanionsItWouldWriteAlone) {
    TempDir dir;
    const std::string data = ZELVO_TEST_DATA;
    const std::string logs[] = {data + "/gpsd-nmea-rtk.log", data + "/../solution/data/py-0315-forward.pos"};
    const std::string kinds[] = {"gpx", "geojson", "csv"};
    auto run = [&](const std::string& args) {
        return WEXITSTATUS(std::system((std::string(ZELVO_BINARY) + " -q " + args + " 2>/dev/null").c_str()));
    };
    std::string companions;
    for (const std::string& kind : kinds) companions += " --" + kind + " " + dir.str() + "m." + kind;
    ASSERT_EQ(run("--merge --all-epochs --data" + companions + " -o " + dir.str() + "m.kmz " + logs[0] + " " + logs[1]), 0);
    for (std::size_t k = 0; k < 2; ++k) {
        std::string alone;
        for (const std::string& kind : kinds) alone += " --" + kind + " " + dir.str() + "alone." + kind;
        ASSERT_EQ(run("--all-epochs --data" + alone + " -o " + dir.str() + "alone.kmz " + logs[k]), 0);
        for (const std::string& kind : kinds) {
            const std::string merged = dir.str() + (k == 0 ? "m." : "m-2.") + kind;
            EXPECT_EQ(read_file(merged), read_file(dir.str() + "alone." + kind)) << merged;
        }
    }
    write_file(dir.path() / "x-2.gpx", "");
    EXPECT_EQ(run("--merge --gpx " + dir.str() + "x.gpx -o " + dir.str() + "x.kmz " + logs[0] + " " + dir.str() + "x-2.gpx"), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "x.kmz"));
}

}  // namespace
