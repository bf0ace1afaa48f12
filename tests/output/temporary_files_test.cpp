#include "output/temporary_files.h"

#include <vector>

#include "output/replaced_file.h"

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace zelvo {
namespace {

using test::write_file;

// The pid of a process that has ended.
pid_t ended_process() {
    pid_t ended = ::fork();
    if (ended == 0) ::_exit(0);
    ::waitpid(ended, nullptr, 0);
    return ended;
}

TEST(TemporaryFiles, OnlyStaleTemporariesOfTheTargetAreRemoved) {
    test::TempDir dir;
    const std::string dead = std::to_string(ended_process()), alive = std::to_string(::getpid());
    struct Case {
        std::string name, bytes;
        bool removed;
    };
    const Case cases[] = {
        {".old.kmz." + dead + "-0.tmp", "PK\x03\x04 a member", true},
        {".old.kmz." + dead + "-12.tmp", "", true},
        {".old.kmz." + dead + "-13.tmp", "PK\x05\x06", true},                 // an archive without members
        {".old.kmz." + alive + "-3.tmp", "PK\x03\x04", false},                // a run still going
        {".other.kmz." + dead + "-12.tmp", "", false},                         // another name's
        {".notes." + dead + "-0.tmp", "the user's text", false},              // not an archive
        {".old.kmz." + dead + "-1.tmp", "PKZ: the user's notes", false},      // a text starting "PK"
        {".old.kmz.x" + dead + "-0.tmp", "PK\x03\x04", false},                // not our name
        {"old.kmz." + dead + "-0.tmp", "PK\x03\x04", false},
        {".lock.99999999-0.tmp", "", false},
        {".notes.txt.99999999-1.tmp", "PK\x03\x04", false},
    };
    for (const Case& c : cases) write_file(dir / c.name, c.bytes);
    remove_stale_temporaries(dir.str(), "old.kmz");
    for (const Case& c : cases) EXPECT_EQ(std::filesystem::exists(dir / c.name), !c.removed) << c.name;
}

TEST(TemporaryFiles, PrivateDirectoriesOfEndedRunsAreRemoved) {
    test::TempDir dir;
    const std::string dead = std::to_string(ended_process()), alive = std::to_string(::getpid());
    struct Case {
        std::string name;
        std::vector<std::string> files;
        bool removed;
    };
    const Case cases[] = {
        {"zelvoconverter-" + dead + "-aB3xYz", {"doc.kmz", ".doc.kmz." + dead + "-0.tmp"}, true},
        {"zelvoconverter-" + dead + "-Qq1234", {}, true},
        {"zelvoconverter-" + alive + "-aB3xYz", {"doc.kmz"}, false},         // a run still going
        {"zelvoconverter-" + dead + "-Zz9876", {"doc.kmz", "notes.txt"}, false},  // someone's file
        {"zelvoconverter-aB3xYz", {}, false},                                // no pid in the name
        {"other-" + dead + "-aB3xYz", {}, false},
    };
    for (const Case& c : cases) {
        std::filesystem::create_directory(dir / c.name);
        for (const std::string& f : c.files) write_file(dir / c.name + "/" + f, "PK\x03\x04");
    }
    remove_stale_private_directories(dir.str(), "zelvoconverter-", "doc.kmz");
    for (const Case& c : cases) EXPECT_EQ(std::filesystem::exists(dir / c.name), !c.removed) << c.name;
}

TEST(ReplacedFile, TheTargetChangesOnlyByACompleteFile) {
    test::TempDir dir;
    write_file(dir / "s.json", "previous");
    write_file(dir / "real.json", "previous");
    std::filesystem::create_symlink("real.json", dir / "link.json");
    struct Case {
        std::string target, changed;  // the file the bytes reach
        bool commit;
    };
    const Case cases[] = {
        {"s.json", "s.json", true},
        {"new.json", "new.json", true},
        {"link.json", "real.json", true},  // through the link; the link stays
        {"s.json", "s.json", false},      // abandoned: the previous file stays
    };
    for (const Case& c : cases) {
        write_file(dir / "s.json", "previous");
        ReplacedFile file;
        file.open(dir / c.target);
        file.write("new", 3);
        if (c.target != "new.json") EXPECT_EQ(test::read_file(dir / c.changed), "previous") << c.target;
        else EXPECT_FALSE(std::filesystem::exists(dir / c.changed));
        if (c.commit) file.commit();
        else file.abandon();
        EXPECT_EQ(test::read_file(dir / c.changed), c.commit ? "new" : "previous") << c.target;
    }
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.json"));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"link.json", "new.json", "real.json", "s.json"}));
}

}  // namespace
}  // namespace zelvo
