#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include "../output/zip_reader.h"
#include "../test_support.h"

using namespace zelvo::test;

namespace {

struct Outcome {
    int status;
    std::string out;
};

const std::string kGga = nmea("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,") + "\r\n";

class CommandLine : public ::testing::Test {
protected:
    // Runs the program in the temporary directory with the given arguments.
    Outcome run(const std::string& args) {
        std::string log = dir_.str() + "out.txt";
        std::string cmd = "cd '" + dir_.str() + "' && '" + ZELVO_BINARY + "' " + args + " >'" + log + "' 2>&1";
        int raw = std::system(cmd.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file(log)};
    }
    // The quoted absolute path of a file in the directory.
    std::string at(const std::string& name) {
        std::string s = "'";
        s.append(dir_.str()).append(name).append("'");
        return s;
    }
    bool exists(const std::string& name) { return std::filesystem::exists(dir_.path() / name); }
    std::string kml(const std::string& kmz) { return read_zip(read_file(dir_.path() / kmz)).front().data; }
    TempDir dir_;
};

}  // namespace

TEST_F(CommandLine, UsageErrorsExitWithTwo) {
    EXPECT_EQ(run("--help").status, 0);
    EXPECT_NE(run("--version").out.find("6.0"), std::string::npos);
    EXPECT_EQ(run("-q").status, 2);
    EXPECT_EQ(run("-x a.log").status, 2);
    EXPECT_EQ(run("-f sirf a.log").status, 2);
    EXPECT_EQ(run("-o out.kmz a.log b.log").status, 2);
    EXPECT_EQ(run("-c missing.ini a.log").status, 2);
    EXPECT_EQ(run("-o").status, 2);
}

TEST_F(CommandLine, OptionsFormConvertsEveryInput) {
    write_file(dir_.path() / "a.log", kGga);
    write_file(dir_.path() / "b.log", kGga + kGga);
    Outcome o = run("-q a.log b.log");
    EXPECT_EQ(o.status, 0) << o.out;
    EXPECT_EQ(o.out, "");
    EXPECT_TRUE(exists("a.log.kmz"));
    EXPECT_TRUE(exists("b.log.kmz"));
    EXPECT_FALSE(exists("a.log.kml"));  // no loose files stay behind
    EXPECT_FALSE(exists("255.png"));

    o = run("-o named.kmz a.log");
    EXPECT_EQ(o.status, 0);
    EXPECT_NE(o.out.find("a.log: Waypoints 1 -> named.kmz"), std::string::npos) << o.out;
    EXPECT_TRUE(exists("named.kmz"));
}

TEST_F(CommandLine, FailuresAreNamedAndExitWithOne) {
    write_file(dir_.path() / "a.log", kGga);
    Outcome o = run("-q missing.log a.log");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.out.find("Can't open the input file: missing.log"), std::string::npos) << o.out;
    EXPECT_TRUE(exists("a.log.kmz"));  // the others still convert

    o = run("-o nodir/x.kmz a.log");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.out.find("Can't create the output file"), std::string::npos) << o.out;

    o = run("-o same.kml a.log");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.out.find(".kml"), std::string::npos) << o.out;
}

TEST_F(CommandLine, PlainFormTakesAbsolutePathsAsTheyStand) {
    write_file(dir_.path() / "a.log", kGga);
    write_file(dir_.path() / "my.ini", "[Settings]\nCheckBox3=1\nEdit4=0.8\n");
    Outcome o = run(at("a.log") + " " + at("out.kmz") + " my.ini");
    EXPECT_EQ(o.status, 0) << o.out;
    EXPECT_EQ(o.out, "");
    std::string doc = kml("out.kmz");
    EXPECT_NE(doc.find("<extrude>1</extrude>"), std::string::npos);
    EXPECT_NE(doc.find("<scale>0.8</scale>"), std::string::npos);
    // The form's initial track colour (green) stays where the file is silent.
    EXPECT_NE(doc.find("<color>FF008000</color>"), std::string::npos);

    // Without a settings file the built-in settings apply: a red track.
    o = run(at("a.log") + " " + at("out2.kmz"));
    EXPECT_EQ(o.status, 0);
    EXPECT_NE(kml("out2.kmz").find("<color>FF0000FF</color>"), std::string::npos);

    o = run(at("missing.log") + " " + at("out3.kmz"));
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.out.find("Can't open the input file"), std::string::npos);
}

TEST_F(CommandLine, SummaryLinesJsonFileAndTimelineArchive) {
    write_file(dir_.path() / "a.log", kGga);
    write_file(dir_.path() / "b.log", kGga);
    Outcome o = run("--summary s.json --timeline a.log b.log");
    ASSERT_EQ(o.status, 0) << o.out;
    EXPECT_NE(o.out.find("a.log: Waypoints 1 -> a.log.kmz\n  time      12:35:19.000 to 12:35:19.000, 0:00:00.000\n"
                         "  epochs    1, 1 with a position, 1 placemarks\n  classes   auto 100.0 %\n"),
              std::string::npos)
        << o.out;
    const std::string json = read_file(dir_.path() / "s.json");
    EXPECT_EQ(json.rfind("[\n  {\n    \"input\": \"a.log\",\n    \"output\": \"a.log.kmz\",\n", 0), 0u) << json;
    EXPECT_NE(json.find("\"input\": \"b.log\""), std::string::npos);

    std::vector<ZipMember> members = read_zip(read_file(dir_.path() / "a.log.kmz"));
    EXPECT_EQ(members.back().name, "timeline.png");
    auto shell = [&](const std::string& cmd) { return std::system(("cd '" + dir_.str() + "' && " + cmd).c_str()); };
    EXPECT_EQ(shell("python3 -m zipfile -t a.log.kmz >/dev/null"), 0);
    const std::string schema = std::string(ZELVO_TEST_DATA) + "/../../../shared/kml-schema/ogckml22.xsd";
    if (std::filesystem::exists(schema) && members.front().data.rfind("<kml xmlns=", 0) == 0) {
        write_file(dir_.path() / "doc.kml", members.front().data);
        EXPECT_EQ(shell("xmllint --noout --nonet --schema '" + schema + "' doc.kml"), 0);
    }

    o = run("-q --summary s2.json a.log");
    EXPECT_EQ(o.out, "");
    EXPECT_TRUE(exists("s2.json"));
    o = run("--summary nodir/s.json a.log");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.out.find("nodir/s.json: cannot write the summary"), std::string::npos) << o.out;
    EXPECT_EQ(run("--summary").status, 2);
}
