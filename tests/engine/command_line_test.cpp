#include <cstdlib>
#include <gtest/gtest.h>
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

TEST_F(CommandLine, ClassicFormTakesAtMostThreeArguments) {
    for (const char* name : {"a.log", "b.log", "c.log", "d.log"}) write_file(dir_.path() / name, kGga);
    Outcome o = run(at("a.log") + " " + at("b.log") + " " + at("c.log") + " " + at("d.log"));
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.out.find("zelvoconverter -q LOG..."), std::string::npos) << o.out;
    EXPECT_EQ(read_file(dir_.path() / "b.log"), kGga);
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
