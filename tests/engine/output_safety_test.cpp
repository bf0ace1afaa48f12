// What a run does around its archive: the user's files in the output folder,
// outputs and inputs it must refuse, a disk that fills up.
#include <climits>
#include <cstdlib>
#include <gtest/gtest.h>
#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/input_file.h"
#include "run_fixture.h"

using namespace zelvo;
using namespace zelvo::test;

namespace {

const std::string kGga = nmea("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,") + "\r\n";

std::vector<std::string> entries(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A host that answers the archive's question as told and keeps the text.
class AnsweringHost : public HeadlessHost {
public:
    explicit AnsweringHost(FileFailureAction answer) : answer_(answer) {}
    FileFailureAction file_failure(const std::string& text) override {
        asked = text;
        return answer_;
    }
    std::string asked;

private:
    FileFailureAction answer_;
};

class OutputSafety : public RunFixture {
protected:
    ConversionOptions options_for(const std::string& input, const std::string& output) {
        ConversionOptions o = defaults();
        o.input_path = dir_.str() + input;
        o.input_name = input;
        o.output_path = dir_.str() + output;
        o.output_name = output;
        return o;
    }
};

}  // namespace

TEST_F(OutputSafety, UsersFilesNamedLikeIconsAreNeverTouched) {
    write_file(dir_.path() / "255.png", "the user's picture");
    write_file(dir_.path() / "elsewhere", "the link's target");
    std::filesystem::create_symlink("elsewhere", dir_.path() / "65535.png");
    std::filesystem::create_symlink("missing-target", dir_.path() / "32768.png");
    const auto before = entries(dir_.path());

    std::string doc = convert(kGga);
    EXPECT_NE(doc.find("<href>255.png</href>"), std::string::npos);
    std::vector<std::string> names;
    for (const auto& m : members(dir_.path() / "out.kmz")) names.push_back(m.name);
    EXPECT_EQ(names, (std::vector<std::string>{"out.kml", "255.png", "65535.png", "32768.png",
                                               "16711935.png", "16776960.png", "0.png"}));
    EXPECT_EQ(read_file(dir_.path() / "255.png"), "the user's picture");
    EXPECT_EQ(read_file(dir_.path() / "elsewhere"), "the link's target");
    EXPECT_TRUE(std::filesystem::is_symlink(dir_.path() / "65535.png"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir_.path() / "32768.png"));
    auto after = entries(dir_.path());
    std::erase(after, "in.log");
    std::erase(after, "out.kmz");
    EXPECT_EQ(after, before);
}

TEST_F(OutputSafety, OutputsThatMustNotBeWrittenAreRefusedBeforeReading) {
    write_file(dir_.path() / "in.log", kGga);
    write_file(dir_.path() / "notes.kmz", "the user's notes");
    ASSERT_EQ(::mkfifo((dir_.path() / "pipe.kmz").c_str(), 0600), 0);
    std::filesystem::create_symlink("in.log", dir_.path() / "link.kmz");
    const std::string long_name = std::string(NAME_MAX - 3, 'n') + ".kmz";
    struct Case {
        std::string output, reason;
    };
    const Case cases[] = {
        {"in.log", "it is the input file"},
        {"link.kmz", "it is the input file"},
        {"notes.kmz", "is not a ZIP archive"},
        {"pipe.kmz", "not a regular file"},
        {long_name, "File name too long"},
    };
    const auto before = entries(dir_.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output.substr(0, 20));
        HeadlessHost host;
        ConversionOptions o = options_for("in.log", c.output);
        RunResult r = conversion_run(o, host);
        EXPECT_EQ(r.outcome, RunOutcome::OutputNotCreated);
        EXPECT_NE(r.reason.find(c.reason), std::string::npos) << r.reason;
        EXPECT_EQ(o.output_path, dir_.str() + c.output);
    }
    EXPECT_EQ(entries(dir_.path()), before);
    EXPECT_EQ(read_file(dir_.path() / "in.log"), kGga);
    EXPECT_EQ(read_file(dir_.path() / "notes.kmz"), "the user's notes");

    // An empty file and an archive (a previous run's) are replaced.
    write_file(dir_.path() / "empty.kmz", "");
    for (const char* output : {"empty.kmz", "empty.kmz"}) {
        HeadlessHost host;
        ConversionOptions o = options_for("in.log", output);
        EXPECT_EQ(conversion_run(o, host).outcome, RunOutcome::Finished) << output;
        EXPECT_EQ(members(dir_.path() / output).size(), 7u);
    }
}

TEST_F(OutputSafety, InputsThatMayNeverEndAreRefused) {
    ASSERT_EQ(::mkfifo((dir_.path() / "pipe.log").c_str(), 0600), 0);
    struct Case {
        std::string path, reason;
    };
    const Case cases[] = {
        {"/dev/zero", "not a regular file"},
        {dir_.str() + "pipe.log", "not a regular file"},
        {dir_.str(), "it is a directory"},
    };
    for (const Case& c : cases) {
        HeadlessHost host;
        ConversionOptions o = options_for("x", "out.kmz");
        o.input_path = c.path;
        RunResult r = conversion_run(o, host);
        EXPECT_EQ(r.outcome, RunOutcome::InputNotOpened) << c.path;
        EXPECT_NE(r.reason.find(c.reason), std::string::npos) << c.path << ": " << r.reason;
    }
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "out.kmz"));
}

// A full disk: a tmpfs of two pages, one of them taken by the previous
// archive, cannot take the document of a real log.
TEST_F(OutputSafety, FullDiskLeavesThePreviousArchiveAndNoOtherFile) {
    const std::filesystem::path small = dir_.path() / "small";
    std::filesystem::create_directory(small);
    if (::geteuid() != 0 || ::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=8k") != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    std::filesystem::copy_file(std::filesystem::path(ZELVO_TEST_DATA) / "gpsd-nmea-rtk.log", dir_.path() / "in.log");
    const std::string previous = "PK\x05\x06 the previous archive";
    write_file(small / "out.kmz", previous);
    HeadlessHost host;
    ConversionOptions o = options_for("in.log", "small/out.kmz");
    o.output_name = "out.kmz";
    try {
        conversion_run(o, host);
        ADD_FAILURE() << "the run did not fail";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("Disk is full"), std::string::npos) << e.what();
        // The archive being written is named, not the log.
        EXPECT_NE(std::string(e.what()).find("small/out.kmz"), std::string::npos) << e.what();
        EXPECT_EQ(std::string(e.what()).find("in.log"), std::string::npos) << e.what();
    }
    EXPECT_EQ(entries(small), std::vector<std::string>{"out.kmz"});
    EXPECT_EQ(read_file(small / "out.kmz"), previous);
    ::umount(small.c_str());
}

// A file size limit that the document fits under and the icons do not: the
// host is asked about each icon; Ignore leaves them out, Abort keeps the
// previous archive.
TEST_F(OutputSafety, HostAnswersForAnIconTheArchiveCannotTake) {
    write_file(dir_.path() / "in.log", kGga);
    convert(kGga);
    const std::uint64_t icons_start = members(dir_.path() / "out.kmz")[1].offset;
    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    struct Case {
        FileFailureAction answer;
        std::size_t members;  // 0: the run fails
    };
    for (Case c : {Case{FileFailureAction::Ignore, 1}, Case{FileFailureAction::Abort, 0}}) {
        AnsweringHost host(c.answer);
        ConversionOptions o = options_for("in.log", "out.kmz");
        const std::string previous = read_file(dir_.path() / "out.kmz");
        struct rlimit limit = saved;
        limit.rlim_cur = icons_start + 200;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        bool finished = false;
        try {
            finished = conversion_run(o, host).outcome == RunOutcome::Finished;
        } catch (const std::exception&) {
        }
        ::setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(finished, c.members > 0);
        EXPECT_NE(host.asked.find("File too large"), std::string::npos) << host.asked;
        if (finished) EXPECT_EQ(members(dir_.path() / "out.kmz").size(), c.members);
        else EXPECT_TRUE(read_file(dir_.path() / "out.kmz") == previous);
        EXPECT_EQ(entries(dir_.path()), (std::vector<std::string>{"in.log", "out.kmz"}));
    }
    std::signal(SIGXFSZ, old_handler);
}
