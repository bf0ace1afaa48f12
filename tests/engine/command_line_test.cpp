#include <algorithm>
#include <map>
#include <cstdlib>
#include <gtest/gtest.h>
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/output/zip_reader.h"
#include "tests/test_support.h"
#include "ui/command_options.h"

using namespace zelvo;
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
    Outcome run(const std::string& args) { return shell("$Z " + args); }
    // Runs a shell command there, $Z naming the program; `out` is what it
    // leaves on stdout or stderr that is not redirected.
    Outcome shell(const std::string& command) {
        std::string log = dir_.str() + "out.txt";
        std::string cmd = "cd '" + dir_.str() + "' && Z='" + ZELVO_BINARY + "' && { " + command + "; } >'" +
                          log + "' 2>&1";
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
    std::vector<std::string> entries() {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir_.path())) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
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

TEST_F(CommandLine, ALogWithoutEpochsIsSaidAndExitsWithThree) {
    std::string noise(4096, '\0');
    std::uint32_t seed = 7;
    for (char& c : noise) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
    noise.erase(std::remove(noise.begin(), noise.end(), '$'), noise.end());  // no sentence can start
    write_file(dir_.path() / "a.log", kGga);
    write_file(dir_.path() / "empty.log", "");
    write_file(dir_.path() / "noise.bin", noise);
    const std::string as_nmea = ": no epoch found (read as NMEA; for a binary log use -f tolv, for a solution file -f pos)\n";
    const std::string none = ": no epoch found (none of NMEA, TOLV or a solution file was recognised; read as NMEA)\n";
    struct Case { std::string args; int status; std::string said; };
    const Case cases[] = {
        {"-q empty.log", 3, "empty.log" + none},
        {"-q noise.bin", 3, "noise.bin" + none},
        {"-q -f nmea noise.bin", 3, "noise.bin" + as_nmea},
        {"-q -f tolv a.log", 3, "a.log: no epoch found (read as TOLV; for an NMEA log use -f nmea, for a solution file -f pos)\n"},
        {"-q a.log empty.log", 3, "empty.log" + none},   // the worst wins
        {"-q empty.log missing.log", 1, "empty.log" + none},  // a failure over no epoch
        {"-q a.log", 0, ""},
        {at("empty.log") + " " + at("plain.kmz"), 0, dir_.str() + "empty.log" + as_nmea},  // the classic form keeps 0
    };
    for (const Case& c : cases) {
        Outcome o = run(c.args);
        EXPECT_EQ(o.status, c.status) << c.args << "\n" << o.out;
        if (c.said.empty()) EXPECT_EQ(o.out.find("no epoch"), std::string::npos) << o.out;
        else EXPECT_NE(o.out.find(c.said), std::string::npos) << c.args << "\n" << o.out;
    }
    EXPECT_TRUE(exists("empty.log.kmz"));  // the archive is written all the same
    EXPECT_TRUE(exists("plain.kmz"));
}

TEST_F(CommandLine, SummaryLinesJsonFileAndTimelineArchive) {
    write_file(dir_.path() / "a.log", kGga);
    write_file(dir_.path() / "b.log", kGga);
    Outcome o = run("--summary s.json --timeline a.log b.log");
    ASSERT_EQ(o.status, 0) << o.out;
    EXPECT_NE(o.out.find("a.log: Waypoints 1 -> a.log.kmz\n  format    NMEA (recognised)\n  time      12:35:19.000 to 12:35:19.000, 0:00:00.000\n"
                         "  epochs    1, 1 with a position, 1 placemarks\n  classes   auto 100.0 %\n"),
              std::string::npos)
        << o.out;
    const std::string json = read_file(dir_.path() / "s.json");
    EXPECT_EQ(json.rfind("[\n  {\n    \"input\": \"a.log\",\n    \"output\": \"a.log.kmz\",\n", 0), 0u) << json;
    EXPECT_NE(json.find("\"input\": \"b.log\""), std::string::npos);

    std::vector<ZipMember> members = read_zip(read_file(dir_.path() / "a.log.kmz"));
    EXPECT_EQ(members.back().name, "timeline.png");
    EXPECT_EQ(shell("python3 -m zipfile -t a.log.kmz >/dev/null").status, 0);
    const std::string schema = std::string(ZELVO_TEST_DATA) + "/../schema/kml22/ogckml22.xsd";
    if (std::filesystem::exists(schema) && members.front().data.rfind("<kml xmlns=", 0) == 0) {
        write_file(dir_.path() / "doc.kml", members.front().data);
        o = shell("xmllint --noout --nonet --schema '" + schema + "' doc.kml");
        EXPECT_EQ(o.status, 0) << o.out;
    }

    o = run("-q --summary s2.json a.log");
    EXPECT_EQ(o.out, "");
    EXPECT_TRUE(exists("s2.json"));
    o = run("--summary nodir/s.json a.log");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.out.find("nodir/s.json: cannot write the summary"), std::string::npos) << o.out;
    EXPECT_EQ(run("--summary").status, 2);
}

namespace {

// Parses a command line given as words (the program's name is added).
CommandRequest parse(std::vector<std::string> words) {
    words.insert(words.begin(), "zelvoconverter");
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    return parse_options(static_cast<int>(argv.size()), argv.data());
}

CommandForm form_of(std::vector<std::string> words) {
    words.insert(words.begin(), "zelvoconverter");
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    return command_form(static_cast<int>(argv.size()), argv.data());
}

}  // namespace

TEST(CommandForms, ClassicIsTwoOrThreeNamesAndNoOption) {
    const struct {
        std::vector<std::string> words;
        CommandForm form;
    } cases[] = {
        {{}, CommandForm::Window},
        {{"a.log"}, CommandForm::Window},
        {{"-"}, CommandForm::Options},
        {{"a.log", "b.kmz"}, CommandForm::Classic},
        {{"a.log", "b.kmz", "c.ini"}, CommandForm::Classic},
        {{"-", "b.kmz"}, CommandForm::Classic},
        {{"a.log", "b.log", "c.log", "d.log"}, CommandForm::Options},
        {{"a.log", "-o", "out.kmz"}, CommandForm::Options},
        {{"a.log", "b.kmz", "-q"}, CommandForm::Options},
        {{"--", "a.log", "b.kmz"}, CommandForm::Options},
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const auto& w : c.words) shown += w + " ";
        EXPECT_EQ(form_of(c.words), c.form) << shown;
    }
}

TEST(CommandOptions, GnuFormsInAnyOrder) {
    const struct {
        std::vector<std::string> words;
        std::vector<std::string> inputs;
        std::string output;
        bool quiet;
        std::optional<InputFormat> format;  // none: by the content
    } cases[] = {
        {{"-o", "out.kmz", "a.log"}, {"a.log"}, "out.kmz", false, std::nullopt},
        {{"a.log", "-o", "out.kmz"}, {"a.log"}, "out.kmz", false, std::nullopt},
        {{"--output=out.kmz", "a.log"}, {"a.log"}, "out.kmz", false, std::nullopt},
        {{"-oout.kmz", "a.log"}, {"a.log"}, "out.kmz", false, std::nullopt},
        {{"-qo", "out.kmz", "a.log"}, {"a.log"}, "out.kmz", true, std::nullopt},
        {{"--out", "out.kmz", "a.log"}, {"a.log"}, "out.kmz", false, std::nullopt},  // unambiguous prefix
        {{"a.log", "-ftolv", "b.log", "--quiet"}, {"a.log", "b.log"}, "", true, InputFormat::Tolv},
        {{"--format", "TOLV", "a.log"}, {"a.log"}, "", false, InputFormat::Tolv},
        {{"-q", "--", "-o", "--x"}, {"-o", "--x"}, "", true, std::nullopt},
        {{"-o", "-", "-"}, {"-"}, "-", false, std::nullopt},
        {{"-f", "pos", "a.pos"}, {"a.pos"}, "", false, InputFormat::Solution},
        {{"--format=NMEA", "a.log"}, {"a.log"}, "", false, InputFormat::Nmea},
        {{"-ftolv", "-fAuto", "a.log"}, {"a.log"}, "", false, std::nullopt},
    };
    for (const auto& c : cases) {
        CommandRequest r = parse(c.words);
        EXPECT_EQ(r.error, "") << c.words[0];
        EXPECT_EQ(r.inputs, c.inputs) << c.words[0];
        EXPECT_EQ(r.output, c.output) << c.words[0];
        EXPECT_EQ(r.quiet, c.quiet) << c.words[0];
        EXPECT_EQ(r.format, c.format) << c.words[0];
    }
    EXPECT_TRUE(parse({"-V"}).version);
    EXPECT_TRUE(parse({"a.log", "--help"}).help);
}

TEST(CommandOptions, UsageErrorsNameTheOption) {
    const struct {
        std::vector<std::string> words;
        const char* names;
    } cases[] = {
        {{"-o"}, "'--output' needs a value"},
        {{"--extrude=1", "a.log"}, "'--extrude' takes no value"},
        {{"-x", "a.log"}, "'-x'"},
        {{"--bogus", "a.log"}, "'--bogus'"},
        {{"--color", "red", "a.log"}, "'--color'"},  // ambiguous
        {{"-f", "sirf", "a.log"}, "'--format'"},
        {{"-q"}, "no input"},
        {{"-o", "x.kmz", "a.log", "b.log"}, "one INPUT only"},
        {{"-", "-"}, "only once"},
        {{"--width", "0", "a.log"}, "'0' for option '--width'"},
        {{"--width=11", "a.log"}, "'--width'"},
        {{"--width=5.5", "a.log"}, "'--width'"},
        {{"--scale=0.09", "a.log"}, "'--scale'"},
        {{"--scale=1.01", "a.log"}, "'--scale'"},
        {{"--scale=-0.5", "a.log"}, "'--scale'"},
        {{"--scale", "banana", "a.log"}, "'--scale'"},
        {{"--fixed-date=2023-02-29", "a.log"}, "'--fixed-date'"},
        {{"--fixed-date=2024-13-01", "a.log"}, "'--fixed-date'"},
        {{"--fixed-date=0000-01-01", "a.log"}, "'--fixed-date'"},
        {{"--fixed-date=2024-1-01", "a.log"}, "'--fixed-date'"},
        {{"--track-color=#0f0", "a.log"}, "'--track-color'"},
        {{"--color-rtk-fix=blurple", "a.log"}, "'--color-rtk-fix'"},
        {{"--all-epochs=nocolour", "a.log"}, "'--all-epochs'"},
        {{"--placemark-interval=0", "a.log"}, "'--placemark-interval'"},
        {{"--placemark-interval", "ten", "a.log"}, "'--placemark-interval'"},
        {{"--split-gap=-1", "a.log"}, "'--split-gap'"},
        {{"--split-gap=1,5", "a.log"}, "'--split-gap'"},
        {{"--split-gap"}, "'--split-gap' needs a value"},
        {{"--data=1", "a.log"}, "'--data' takes no value"},
    };
    for (const auto& c : cases) {
        CommandRequest r = parse(c.words);
        EXPECT_NE(r.error.find(c.names), std::string::npos) << c.words[0] << ": " << r.error;
    }
}

TEST(CommandOptions, SettingsTakeTheirValues) {
    CommandRequest r = parse({"--fixed-date=2024-02-29", "--width", "10", "--scale=.25", "--track-color=#123456",
                              "--all-epochs=DarkOrange", "--extrude", "--color-auto", "navy",
                              "--color-diff=white", "--color-rtk-fix=#ABCDEF", "--color-rtk-float=lime",
                              "--color-estimated=grey", "--color-invalid=#000001", "--placemark-interval=2.5",
                              "--split-gap", "60", "--data", "a.log"});
    ASSERT_EQ(r.error, "");
    ConversionOptions o;
    for (const auto& setting : r.settings) setting(o);
    EXPECT_TRUE(o.use_fixed_date);
    EXPECT_EQ(o.fixed_date, "2024-02-29");
    EXPECT_EQ(o.track_width, "10");
    EXPECT_EQ(o.icon_scale, ".25");
    EXPECT_EQ(o.track_color, 0x563412u);  // red in the low byte
    EXPECT_TRUE(o.use_all_waypoints);
    EXPECT_EQ(o.full_track_color, 0x008CFFu);
    EXPECT_TRUE(o.show_height);
    EXPECT_EQ(o.color_auto, 0x800000u);
    EXPECT_EQ(o.color_diff, 0xFFFFFFu);
    EXPECT_EQ(o.color_rtk_fix, 0xEFCDABu);
    EXPECT_EQ(o.color_rtk_float, 0x00FF00u);
    EXPECT_EQ(o.color_estimated, 0x808080u);
    EXPECT_EQ(o.color_invalid, 0x010000u);
    EXPECT_EQ(o.placemark_interval_ms, 2500);
    EXPECT_EQ(o.split_gap_ms, 60'000);
    EXPECT_TRUE(o.epoch_data);

    // Later options win; --all-epochs without a colour keeps the track's.
    r = parse({"--log-dates", "--fixed-date=2001-02-03", "--all-epochs", "--width=2", "--width=3", "a.log"});
    ConversionOptions p;
    for (const auto& setting : r.settings) setting(p);
    EXPECT_TRUE(p.use_fixed_date);
    EXPECT_EQ(p.track_width, "3");
    EXPECT_TRUE(p.use_all_waypoints);
    EXPECT_EQ(p.full_track_color, ConversionOptions().full_track_color);
}

TEST_F(CommandLine, SettingOptionsChangeTheDocumentAsTheSettingsFileDoes) {
    std::filesystem::copy_file(std::string(ZELVO_TEST_DATA) + "/gpsd-nmea-rtk.log", dir_.path() / "a.log");
    const std::string base =
        "[Settings]\nCheckBox1=1\nMaskEdit1=2000-01-01\nShapeStyleTrack=255\nShapeFullTrack=32768\n"
        "Edit3=5\nCheckBox2=0\nCheckBox4=0\nCheckBox3=0\nEdit4=0.5\n";
    write_file(dir_.path() / "base.ini", base);
    const std::string plain = kml((run("-q -o base.kmz -c base.ini a.log"), "base.kmz"));
    const struct {
        const char* option;
        const char* lines;  // what the settings file says instead
    } cases[] = {
        {"--fixed-date=2021-06-30", "MaskEdit1=2021-06-30\n"},
        {"--log-dates", "CheckBox1=0\n"},
        {"--width 3", "Edit3=3\n"},
        {"--scale=0.8", "Edit4=0.8\n"},
        {"--track-color=blue", "ShapeStyleTrack=16711680\n"},
        {"--all-epochs", "CheckBox2=1\n"},
        {"--all-epochs=#FFFF00", "CheckBox2=1\nShapeFullTrack=65535\n"},
        {"--extrude", "CheckBox3=1\n"},
    };
    for (const auto& c : cases) {
        // A later line of a key is ignored by the reader, so the changes go first.
        write_file(dir_.path() / "changed.ini", "[Settings]\n" + std::string(c.lines) + base.substr(11));
        Outcome o = run(std::string("-q -o opt.kmz -c base.ini ") + c.option + " a.log");
        ASSERT_EQ(o.status, 0) << c.option << o.out;
        ASSERT_EQ(run("-q -o ini.kmz -c changed.ini a.log").status, 0);
        std::string by_option = kml("opt.kmz");
        EXPECT_EQ(by_option, kml("ini.kmz")) << c.option;
        EXPECT_NE(by_option, plain) << c.option;
    }
    // The class colours have no key: each names its icon.
    const struct {
        const char* option;
        const char* icon;
    } colours[] = {{"--color-auto=#010203", "197121.png"},    {"--color-diff=#010204", "262657.png"},
                   {"--color-rtk-fix=#010205", "328193.png"}, {"--color-rtk-float=#010206", "393729.png"},
                   {"--color-estimated=#010207", "459265.png"}, {"--color-invalid=#010208", "524801.png"}};
    for (const auto& c : colours) {
        ASSERT_EQ(run(std::string("-q -o col.kmz ") + c.option + " a.log").status, 0);
        auto members = read_zip(read_file(dir_.path() / "col.kmz"));
        EXPECT_TRUE(std::any_of(members.begin(), members.end(), [&](const ZipMember& m) { return m.name == c.icon; }))
            << c.option;
    }
}

TEST_F(CommandLine, UnreadableSettingsValuesAreWarnedAboutAndWritten) {
    write_file(dir_.path() / "a.log", kGga);
    const struct {
        const char* lines;
        const char* options;
        const char* warning;  // empty: none
        const char* written;
    } cases[] = {
        {"Edit3=abc\n", "", "Edit3=abc", "<width>abc</width>"},
        {"Edit4=banana\n", "", "Edit4=banana", "<scale>banana</scale>"},
        {"CheckBox1=1\nMaskEdit1=2024-13-45\n", "", "MaskEdit1=2024-13-45", "<th>Time</th><td>2024-13-45^T"},
        {"CheckBox1=0\nMaskEdit1=2024-13-45\n", "", "", "<Placemark>"},  // the date is not used
        {"Edit3=abc\n", "--width=4", "", "<width>4</width>"},          // the option wins
        {"Edit3=2.5\nEdit4=.75\n", "", "", "<width>2.5</width>"},
    };
    for (const auto& c : cases) {
        write_file(dir_.path() / "bad.ini", std::string("[Settings]\n") + c.lines);
        Outcome o = shell(std::string("$Z -q -o w.kmz -c bad.ini ") + c.options + " a.log");
        EXPECT_EQ(o.status, 0) << c.lines;
        if (*c.warning) {
            EXPECT_NE(o.out.find("warning: bad.ini: " + std::string(c.warning)), std::string::npos) << o.out;
        } else {
            EXPECT_EQ(o.out, "") << c.lines;
        }
        EXPECT_NE(kml("w.kmz").find(c.written), std::string::npos) << c.lines;
    }
}

TEST_F(CommandLine, StandardInputAndOutput) {
    std::filesystem::copy_file(std::string(ZELVO_TEST_DATA) + "/gpsd-nmea-rtk.log", dir_.path() / "a.log");
    ASSERT_EQ(shell("cat a.log | $Z -q -o - - > piped.kmz").status, 0);
    ASSERT_EQ(run("-q -o doc.kmz a.log").status, 0);
    // The same archive apart from the members' time stamps.
    std::string piped = read_file(dir_.path() / "piped.kmz"), direct = read_file(dir_.path() / "doc.kmz");
    EXPECT_EQ(piped.size(), direct.size());
    auto a = read_zip(piped), b = read_zip(direct);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].name, b[i].name);
        EXPECT_EQ(a[i].crc, b[i].crc);
        EXPECT_EQ(a[i].compressed, b[i].compressed);
    }
    EXPECT_EQ(a.front().name, "doc.kml");

    // "-" alone writes to standard output; the line about it goes to stderr.
    Outcome o = shell("$Z - < a.log > alone.kmz");
    EXPECT_EQ(o.status, 0);
    // The line and the session summary under it go to stderr.
    EXPECT_EQ(o.out.rfind("standard input: Waypoints 122 -> standard output\n  format    NMEA (recognised)\n  time ", 0),
              0u)
        << o.out;
    EXPECT_EQ(read_zip(read_file(dir_.path() / "alone.kmz")).size(), 7u);
    // Nothing is left beside the input.
    EXPECT_FALSE(exists("-.kmz") || exists("-") || exists("doc.kml"));

    o = shell("$Z -q -o - missing.log > none.kmz");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.out.find("missing.log"), std::string::npos);
}

TEST_F(CommandLine, AGlobOverLogsNeverOverwritesOne) {
    // Two or three names are the classic form: the second, a log, is refused
    // as the output. Four or more are the options form: each log converts.
    for (const char* name : {"a.log", "b.log", "c.log", "d.log"}) write_file(dir_.path() / name, kGga);
    Outcome o = run(at("a.log") + " " + at("b.log") + " " + at("c.log"));
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.out.find("is not a ZIP archive"), std::string::npos) << o.out;
    o = run("a.log b.log c.log d.log");
    EXPECT_EQ(o.status, 0) << o.out;
    for (const char* name : {"a.log", "b.log", "c.log", "d.log"}) {
        EXPECT_EQ(read_file(dir_.path() / name), kGga) << name;
        EXPECT_TRUE(exists(std::string(name) + ".kmz")) << name;
    }
}

TEST_F(CommandLine, OutputThatIsTheInputIsRefused) {
    write_file(dir_.path() / "a.log", kGga);
    for (const std::string& args : {std::string("-o a.log a.log"), at("a.log") + " " + at("a.log")}) {
        Outcome o = run(args);
        EXPECT_EQ(o.status, 1) << args;
        EXPECT_NE(o.out.find("it is the input file"), std::string::npos) << o.out;
        EXPECT_EQ(read_file(dir_.path() / "a.log"), kGga);
    }
}

TEST_F(CommandLine, SettingsFileThatCannotBeReadIsAnError) {
    write_file(dir_.path() / "a.log", kGga);
    ASSERT_EQ(::mkfifo((dir_.path() / "fifo.ini").c_str(), 0600), 0);
    std::vector<std::string> unreadable = {"fifo.ini"};
    if (::geteuid() != 0) {  // root reads any file
        write_file(dir_.path() / "locked.ini", "[Settings]\n");
        ::chmod((dir_.path() / "locked.ini").c_str(), 0);
        unreadable.push_back("locked.ini");
    }
    for (const std::string& ini : unreadable) {
        for (const std::string& args : {"-q -c " + ini + " a.log", at("a.log") + " " + at("out.kmz") + " " + ini}) {
            Outcome o = run(args);
            EXPECT_EQ(o.status, 2) << args;
            EXPECT_NE(o.out.find("Cannot read the settings file"), std::string::npos) << o.out;
        }
    }
    EXPECT_FALSE(exists("out.kmz"));
    EXPECT_FALSE(exists("a.log.kmz"));
}

namespace {

// A log that takes the program a while: a real one, many times over.
std::string long_log() {
    std::string one = read_file(std::filesystem::path(ZELVO_TEST_DATA) / "gpsd-nmea-rtk.log");
    std::string log;
    while (log.size() < (40u << 20)) log += one;
    return log;
}

// Starts the program in dir with the arguments; returns its pid.
pid_t start(const std::filesystem::path& dir, std::vector<std::string> args) {
    pid_t pid = ::fork();
    if (pid == 0) {
        // A test runner started in the background may ignore SIGINT; the
        // program keeps an ignored signal ignored, as nohup expects.
        for (int s : {SIGINT, SIGTERM, SIGHUP}) ::signal(s, SIG_DFL);
        if (::chdir(dir.c_str()) != 0) ::_exit(127);
        std::vector<char*> argv{const_cast<char*>(ZELVO_BINARY)};
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(ZELVO_BINARY, argv.data());
        ::_exit(127);
    }
    return pid;
}

int exit_status(pid_t pid) {
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
}

}  // namespace

TEST_F(CommandLine, SignalsLeaveOnlyThePreviousArchive) {
    write_file(dir_.path() / "big.log", long_log());
    write_file(dir_.path() / "small.log", kGga);
    ASSERT_EQ(run("-q -o old.kmz small.log").status, 0);
    const std::string previous = read_file(dir_.path() / "old.kmz");
    for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal_number);
        pid_t pid = start(dir_.path(), {"-q", "-o", "old.kmz", "big.log"});
        // Once the temporary archive is there, the run is writing into it.
        const std::string temporary = ".old.kmz." + std::to_string(pid) + "-0.tmp";
        for (int i = 0; i < 10000 && !exists(temporary); ++i) ::usleep(1000);
        ASSERT_TRUE(exists(temporary));
        ::kill(pid, signal_number);
        EXPECT_EQ(exit_status(pid), 128 + signal_number);
        EXPECT_EQ(entries(), (std::vector<std::string>{"big.log", "old.kmz", "out.txt", "small.log"}));
        EXPECT_EQ(read_file(dir_.path() / "old.kmz"), previous);
    }
}

TEST_F(CommandLine, TwoRunsIntoOneFolderBothComplete) {
    write_file(dir_.path() / "a.log", long_log().substr(0, 4u << 20));
    std::filesystem::copy_file(std::filesystem::path(ZELVO_TEST_DATA) / "gpsd-hemi.log", dir_.path() / "b.log");
    pid_t a = start(dir_.path(), {"-q", "a.log"});
    pid_t b = start(dir_.path(), {"-q", "b.log"});
    EXPECT_EQ(exit_status(a), 0);
    EXPECT_EQ(exit_status(b), 0);
    for (const char* kmz : {"a.log.kmz", "b.log.kmz"}) {
        auto members = read_zip(read_file(dir_.path() / kmz));  // checks every CRC
        EXPECT_EQ(members.size(), 7u) << kmz;
        for (const auto& m : members) EXPECT_FALSE(m.data.empty()) << kmz << " " << m.name;
    }
    EXPECT_EQ(entries(), (std::vector<std::string>{"a.log", "a.log.kmz", "b.log", "b.log.kmz"}));
}

TEST_F(CommandLine, ASingleLogWithoutADisplayShowsTheFormsAndExitsWithTwo) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) ::unsetenv(name);
    write_file(dir_.path() / "a.log", kGga);
    // The command that converts the one log named, quoted for the shell.
    struct Case { const char* args; const char* command; };
    for (const Case& c : {Case{"a.log", "zelvoconverter -- a.log\n"}, Case{"'my day.nmea'", "zelvoconverter -- 'my day.nmea'\n"},
                          Case{"", nullptr}}) {
        Outcome o = run(c.args);
        EXPECT_EQ(o.status, 2) << c.args;
        EXPECT_NE(o.out.find("zelvoconverter INPUT OUTPUT.kmz"), std::string::npos) << o.out;
        if (c.command) EXPECT_NE(o.out.find(std::string("To convert it: ") + c.command), std::string::npos) << o.out;
        else EXPECT_EQ(o.out.find("To convert it"), std::string::npos) << o.out;
        EXPECT_FALSE(exists("a.log.kmz"));
    }
    // The command it names converts the log.
    EXPECT_EQ(run("-q -- a.log").status, 0);
    EXPECT_TRUE(exists("a.log.kmz"));
}

TEST_F(CommandLine, QuietDrawsNoProgressOnATerminal) {
    write_file(dir_.path() / "a.log", kGga);
    // script(1) gives the program a terminal for its standard error.
    ASSERT_TRUE(have_tool("script")) << "script (bsdutils) runs the program on a terminal";
    struct Case { const char* options; bool bar; };
    for (const Case& c : {Case{"-q", false}, Case{"", true}}) {
        Outcome o = shell("script -qec \"$Z " + std::string(c.options) + " -o t.kmz a.log\" /dev/null");
        EXPECT_EQ(o.status, 0) << o.out;
        if (c.bar) EXPECT_NE(o.out.find("% a.log"), std::string::npos) << o.out;
        else EXPECT_EQ(o.out, "") << c.options;
    }
}

TEST_F(CommandLine, HelpLinesFitEightyColumnsAndShowTheWindowForms) {
    const std::string help = run("--help").out;
    for (std::size_t at = 0, end; (end = help.find('\n', at)) != std::string::npos; at = end + 1)
        EXPECT_LE(end - at, 80u) << help.substr(at, end - at);
    EXPECT_NE(help.find("zelvoconverter [INPUT]\n"), std::string::npos) << help;
}

TEST_F(CommandLine, CompanionsThatWouldTakeAnotherFileOfTheRunAreRefusedBeforeReading) {
    write_file(dir_.path() / "a.log", kGga);
    write_file(dir_.path() / "s.json", "");
    const struct {
        const char* args;
        int status;
    } rows[] = {
        {"--gpx a.log a.log", 1},
        {"--gpx ./a.log a.log", 1},
        {"-o x.kmz --csv x.kmz a.log", 1},
        {"--csv a.log.kmz a.log", 1},  // the archive's default name
        {"--gpx t.out --geojson t.out a.log", 1},
        {"--summary s.json --csv s.json a.log", 1},
        {"-o - --gpx - a.log", 1},
        {"--gpx - --csv - a.log", 1},
        {"--gpx t.gpx a.log a.log.kmz", 2},
        {"--gpx= a.log", 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        Outcome o = run(row.args + std::string(" >/dev/null"));
        EXPECT_EQ(o.status, row.status) << o.out;
        EXPECT_EQ(entries(), (std::vector<std::string>{"a.log", "out.txt", "s.json"}));
    }
}

TEST_F(CommandLine, CompanionsReplaceOnlyTheirOwnKindAndGoToStandardOutput) {
    write_file(dir_.path() / "a.log", kGga);
    write_file(dir_.path() / "notes.csv", "my,own\r\n");
    Outcome o = run("-q --csv notes.csv a.log");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.out.find("notes.csv: it exists and is not a CSV file"), std::string::npos) << o.out;
    EXPECT_EQ(read_file(dir_.path() / "notes.csv"), "my,own\r\n");
    EXPECT_FALSE(exists("a.log.kmz"));

    ASSERT_EQ(run("-q --gpx t.gpx --geojson t.geojson --csv t.csv a.log").status, 0);
    ASSERT_EQ(run("-q --gpx t.gpx --geojson t.geojson --csv t.csv a.log").status, 0);  // its own files again
    EXPECT_EQ(entries(), (std::vector<std::string>{"a.log", "a.log.kmz", "notes.csv", "out.txt", "t.csv",
                                                   "t.geojson", "t.gpx"}));
    // With a companion on standard output, the lines go to standard error.
    o = shell("$Z --gpx - a.log 2>/dev/null");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, read_file(dir_.path() / "t.gpx"));
}

TEST_F(CommandLine, SignalsLeaveOnlyThePreviousCompanions) {
    write_file(dir_.path() / "big.log", long_log());
    write_file(dir_.path() / "small.log", kGga);
    ASSERT_EQ(run("-q -o old.kmz --gpx old.gpx --csv old.csv small.log").status, 0);
    const std::string gpx = read_file(dir_.path() / "old.gpx"), csv = read_file(dir_.path() / "old.csv");
    pid_t pid = start(dir_.path(), {"-q", "-o", "old.kmz", "--gpx", "old.gpx", "--csv", "old.csv", "big.log"});
    const std::string temporary = ".old.csv." + std::to_string(pid) + "-2.tmp";
    for (int i = 0; i < 10000 && !exists(temporary); ++i) ::usleep(1000);
    ASSERT_TRUE(exists(temporary));
    ::kill(pid, SIGTERM);
    EXPECT_EQ(exit_status(pid), 128 + SIGTERM);
    EXPECT_EQ(entries(), (std::vector<std::string>{"big.log", "old.csv", "old.gpx", "old.kmz", "out.txt", "small.log"}));
    EXPECT_EQ(read_file(dir_.path() / "old.gpx"), gpx);
    EXPECT_EQ(read_file(dir_.path() / "old.csv"), csv);
}

namespace {

// Every file in the directory but the test's own output, with its bytes.
std::map<std::string, std::string> snapshot(const std::filesystem::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
        if (e.path().filename() != "out.txt")
            files[e.path().lexically_relative(dir).string()] = e.is_regular_file() ? read_file(e.path()) : "";
    return files;
}

}  // namespace

TEST_F(CommandLine, SummaryThatIsAnotherFileOfTheRunIsRefusedBeforeAnythingIsRead) {
    write_file(dir_.path() / "in.nmea", kGga);
    write_file(dir_.path() / "cfg.ini", "[Settings]\n");
    ASSERT_EQ(run("-q -o o.kmz in.nmea").status, 0);
    std::filesystem::create_hard_link(dir_.path() / "in.nmea", dir_.path() / "hard.nmea");
    std::filesystem::create_symlink("in.nmea", dir_.path() / "link.json");
    std::filesystem::create_directory(dir_.path() / "sub");
    const auto before = snapshot(dir_.path());
    for (const char* args : {
             "-q --summary in.nmea -o o.kmz in.nmea",
             "-q --summary o.kmz -o o.kmz in.nmea",
             "-q --summary sub/../in.nmea -o o.kmz in.nmea",
             "-q --summary hard.nmea -o o.kmz in.nmea",
             "-q --summary link.json -o o.kmz in.nmea",
             "-q --summary cfg.ini -c cfg.ini -o o.kmz in.nmea",
             "-q --summary in.nmea.kmz in.nmea",  // the archive the run would write
             "-q --summary - -o - in.nmea",        // both on standard output
         }) {
        Outcome o = run(args);
        EXPECT_EQ(o.status, 1) << args;
        EXPECT_NE(o.out.find("Can't create the output file"), std::string::npos) << args << "\n" << o.out;
        EXPECT_EQ(snapshot(dir_.path()), before) << args;
    }
    // A glob that takes in a log's previous archive still converts both, as
    // runs one after another would.
    ASSERT_EQ(run("-q in.nmea").status, 0);
    Outcome o = run("-q --summary s.json in.nmea in.nmea.kmz");
    EXPECT_EQ(o.status, 3) << o.out;
    EXPECT_TRUE(exists("s.json") && exists("in.nmea.kmz.kmz"));
}

TEST_F(CommandLine, SummaryGoesToStandardOutputOrReplacesItsFileWhole) {
    write_file(dir_.path() / "a.log", kGga);
    // "-": the JSON alone on standard output, the lines about each log on stderr.
    Outcome o = shell("$Z --summary - a.log 2>/dev/null");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out.rfind("[\n  {\n    \"input\": \"a.log\",\n", 0), 0u) << o.out;
    EXPECT_EQ(o.out.back(), '\n');

    // A summary that cannot be written whole leaves the previous one and no
    // part of the new one; a file size limit stands in for a full disk.
    std::string logs;
    for (char c = 'a'; c < 'a' + 20; ++c) {
        const std::string name = std::string("l") + c + ".log";
        write_file(dir_.path() / name, kGga);
        logs += " " + name;
    }
    write_file(dir_.path() / "s.json", "previous");
    o = shell("trap '' XFSZ; ulimit -f 8; $Z -q --summary s.json" + logs);
    EXPECT_EQ(o.status, 1) << o.out;
    EXPECT_NE(o.out.find("s.json: cannot write the summary"), std::string::npos) << o.out;
    EXPECT_EQ(read_file(dir_.path() / "s.json"), "previous");
    for (const std::string& name : entries()) EXPECT_NE(name.rfind(".s.json", 0), 0u) << name;
}

TEST_F(CommandLine, PrivateFolderOfAKilledStreamingRunIsRemovedByTheNext) {
    write_file(dir_.path() / "big.log", long_log().substr(0, 8u << 20));
    write_file(dir_.path() / "a.log", kGga);
    std::filesystem::create_directory(dir_.path() / "tmp");
    Outcome o = shell("export TMPDIR=\"$PWD/tmp\"; $Z -q -o - big.log >/dev/null & p=$!; "
                      "while [ -z \"$(ls -A tmp)\" ]; do sleep 0.01; done; kill -9 $p; wait $p; ls -A tmp | wc -l");
    ASSERT_EQ(o.out.substr(o.out.size() - 2), "1\n") << o.out;  // the killed run's folder stays behind
    o = shell("TMPDIR=\"$PWD/tmp\" $Z -q -o - a.log >a.kmz; ls -A tmp | wc -l");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, "0\n");
    EXPECT_EQ(read_zip(read_file(dir_.path() / "a.kmz")).size(), 7u);
}

TEST_F(CommandLine, PlainFormTakesRelativeNamesFromTheCurrentDirectoryUnlessPortable) {
    write_file(dir_.path() / "a.log", kGga);
    Outcome o = run("a.log out.kmz");
    EXPECT_EQ(o.status, 0) << o.out;
    EXPECT_TRUE(exists("out.kmz"));
    // Every message names the full path it used.
    o = run("missing.log out2.kmz");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.out.find("Can't open the input file: " + dir_.str() + "missing.log"), std::string::npos) << o.out;
    o = run("a.log nodir/out.kmz");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.out.find("Can't create the output file: " + dir_.str() + "nodir/out.kmz"), std::string::npos) << o.out;

    // A copy with its settings file beside it takes the names there.
    std::filesystem::create_directory(dir_.path() / "bin");
    std::filesystem::copy_file(ZELVO_BINARY, dir_.path() / "bin/zelvoconverter");
    write_file(dir_.path() / "bin/zelvoconverter.ini", "[Settings]\n");
    write_file(dir_.path() / "bin/b.log", kGga);
    o = shell("bin/zelvoconverter b.log out3.kmz");
    EXPECT_EQ(o.status, 0) << o.out;
    EXPECT_TRUE(exists("bin/out3.kmz"));
    EXPECT_FALSE(exists("out3.kmz"));
}

TEST_F(CommandLine, ReportLinesThatCannotBeWrittenFailTheRun) {
    write_file(dir_.path() / "a.log", kGga);
    const struct {
        const char* command;
        int status;
    } cases[] = {
        {"$Z -o a.kmz a.log >/dev/full", 1},
        {"$Z --summary - -q a.log >/dev/full", 1},
        {"$Z --help >/dev/full", 1},
        {"$Z -q -o a.kmz a.log >/dev/full", 0},  // nothing to write
    };
    for (const auto& c : cases) {
        Outcome o = shell(c.command);
        EXPECT_EQ(o.status, c.status) << c.command << "\n" << o.out;
        EXPECT_EQ(o.out.find("write error: No space left on device") != std::string::npos, c.status == 1)
            << c.command << "\n" << o.out;
    }
}

TEST_F(CommandLine, StandardInputMayBeASocket) {
    write_file(dir_.path() / "a.log", kGga);
    Outcome o = shell("python3 -c 'import socket, subprocess, sys\n"
                      "a, b = socket.socketpair()\n"
                      "p = subprocess.Popen([sys.argv[1], \"-q\", \"-o\", \"s.kmz\", \"-\"], stdin=b)\n"
                      "b.close(); a.sendall(open(\"a.log\", \"rb\").read()); a.close(); sys.exit(p.wait())' \"$Z\"");
    EXPECT_EQ(o.status, 0) << o.out;
    ASSERT_TRUE(exists("s.kmz")) << o.out;
    EXPECT_NE(kml("s.kmz").find("<Placemark>"), std::string::npos);
}

TEST_F(CommandLine, ADisplayThatDoesNotAnswerShowsTheFormsAndExitsWithTwo) {
    write_file(dir_.path() / "a.log", kGga);
    for (const char* display : {"DISPLAY=:98765", "DISPLAY=unix:98765.0", "WAYLAND_DISPLAY=zelvo-none",
                                "WAYLAND_DISPLAY=/nonexistent/wayland-0"}) {
        for (const char* args : {"a.log", ""}) {
            Outcome o = shell(std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ") +
                              "XDG_RUNTIME_DIR=\"$PWD\" " + display + " $Z " + args);
            EXPECT_EQ(o.status, 2) << display << " " << args << "\n" << o.out;
            EXPECT_NE(o.out.find("zelvoconverter INPUT OUTPUT.kmz"), std::string::npos) << o.out;
        }
    }
    EXPECT_FALSE(exists("a.log.kmz"));
}
