#include "output/temporary_files.h"

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace zelvo {
namespace {

using test::write_file;

TEST(TemporaryFiles, StaleTemporaryArchivesOfEndedRunsAreRemoved) {
    test::TempDir dir;
    pid_t ended = ::fork();
    if (ended == 0) ::_exit(0);
    ::waitpid(ended, nullptr, 0);
    const std::string dead = std::to_string(ended), alive = std::to_string(::getpid());
    struct Case {
        std::string name, bytes;
        bool removed;
    };
    const Case cases[] = {
        {".old.kmz." + dead + "-0.tmp", "PK\x03\x04 a member", true},
        {".other.kmz." + dead + "-12.tmp", "", true},
        {".old.kmz." + alive + "-3.tmp", "PK\x03\x04", false},   // a run still going
        {".notes." + dead + "-0.tmp", "the user's text", false},  // not an archive
        {".old.kmz.x" + dead + "-0.tmp", "PK\x03\x04", false},    // not our name
        {"old.kmz." + dead + "-0.tmp", "PK\x03\x04", false},
    };
    for (const Case& c : cases) write_file(dir / c.name, c.bytes);
    remove_stale_temporaries(dir.str());
    for (const Case& c : cases) EXPECT_EQ(std::filesystem::exists(dir / c.name), !c.removed) << c.name;
}

}  // namespace
}  // namespace zelvo
