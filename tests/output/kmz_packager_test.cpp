#include "output/kmz_packager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

#include "output/kml_stream.h"
#include "tests/test_support.h"
#include "zip_reader.h"

namespace zelvo {
namespace {

using test::read_file;
using test::read_zip;
using test::write_file;
using test::ZipMember;

std::vector<std::string> names_of(const std::vector<ZipMember>& members) {
    std::vector<std::string> names;
    for (const auto& m : members) names.push_back(m.name);
    return names;
}

void set_mtime(const std::string& path, std::time_t t) {
    struct timespec times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

class KmzPackagerTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string archive = dir / "track.kmz";
    std::vector<std::string> asked;  // texts OnProcessFileFailure was asked with

    // Answers with the given actions in turn, then Abort.
    void answer(KmzPackager& p, std::vector<FileFailureAction> actions) {
        p.OnProcessFileFailure = [this, actions, i = std::size_t{0}](const std::string& text) mutable {
            asked.push_back(text);
            return i < actions.size() ? actions[i++] : FileFailureAction::Abort;
        };
    }
    std::vector<ZipMember> working_members(const KmzPackager& p) { return read_zip(read_file(p.working_path())); }
};

TEST_F(KmzPackagerTest, RoundTripKeepsNamesOrderSizesCrcsAndBytes) {
    const std::string kml = test::sample_text(200000);
    const std::string icon = test::noise(3000);
    write_file(dir / "track.kml", kml);
    write_file(dir / "255.png", icon);
    write_file(dir / "empty.txt", "");
    write_file(dir / "größe.png", "non-ASCII name");
    // 2021-06-15 13:45:31 local time: DOS keeps seconds in steps of two.
    std::tm local{};
    local.tm_year = 121, local.tm_mon = 5, local.tm_mday = 15, local.tm_hour = 13, local.tm_min = 45,
    local.tm_sec = 31, local.tm_isdst = -1;
    set_mtime(dir / "track.kml", std::mktime(&local));

    KmzPackager p;
    p.create(archive);
    p.add_file(dir / "track.kml");
    p.add_file(dir / "255.png");
    p.add_file(dir / "empty.txt");
    p.add_file(dir / "größe.png");
    EXPECT_EQ(p.member_count(), 4u);
    p.close();

    const auto members = read_zip(read_file(archive));
    ASSERT_EQ(names_of(members), (std::vector<std::string>{"track.kml", "255.png", "empty.txt", "größe.png"}));
    EXPECT_EQ(members[0].data, kml);
    EXPECT_EQ(members[1].data, icon);
    EXPECT_EQ(members[2].data, "");
    EXPECT_EQ(members[3].data, "non-ASCII name");
    EXPECT_LT(members[0].compressed_size, kml.size() / 2);
    for (const auto& m : members) {
        SCOPED_TRACE(m.name);
        EXPECT_EQ(m.version_made_by, 20);
        EXPECT_EQ(m.version_needed, 20);
        EXPECT_EQ(m.external_attributes, 0x20u);
        EXPECT_EQ(m.method, m.name == "empty.txt" ? 0 : 8);
        // Only a name with bytes above 0x7F says it is UTF-8.
        EXPECT_EQ(m.flags, m.name == "größe.png" ? 1 << 11 : 0);
    }
    EXPECT_EQ(members[2].compressed_size, 0u);
    EXPECT_EQ(members[2].crc, 0u);
    EXPECT_EQ(members[0].time, 13 << 11 | 45 << 5 | 15);
    EXPECT_EQ(members[0].date, (2021 - 1980) << 9 | 6 << 5 | 15);
    // Nothing but the archive and the loose files is left behind.
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"255.png", "empty.txt", "größe.png", "track.kml", "track.kmz"}));
}

TEST_F(KmzPackagerTest, ArchiveIsCompleteAfterEveryAddition) {
    KmzPackager p;
    p.create(archive);
    std::vector<std::string> expected;
    for (int i = 0; i < 4; ++i) {
        std::string name = std::to_string(i) + ".png";
        write_file(dir / name, test::sample_text(1000 + i * 5000, i));
        p.add_file(dir / name);
        expected.push_back(name);
        EXPECT_EQ(names_of(working_members(p)), expected);
    }
    p.close();
}

TEST_F(KmzPackagerTest, RepeatedNameReplacesTheMemberInItsPlace) {
    write_file(dir / "a.kml", "first a");
    write_file(dir / "b.png", test::sample_text(5000, 2));
    write_file(dir / "c.png", test::noise(7000));
    KmzPackager p;
    p.create(archive);
    p.add_file(dir / "a.kml");
    p.add_file(dir / "b.png");
    p.add_file(dir / "c.png");

    // Larger, then smaller, than before: the members after it move.
    for (std::size_t size : {40000u, 10u}) {
        std::string b = test::noise(size, static_cast<std::uint32_t>(size));
        write_file(dir / "b.png", b);
        p.add_file(dir / "b.png");
        auto members = working_members(p);
        ASSERT_EQ(names_of(members), (std::vector<std::string>{"a.kml", "b.png", "c.png"}));
        EXPECT_EQ(members[1].data, b);
        EXPECT_EQ(members[2].data, test::noise(7000));
    }
    // The same path twice (two classes of one colour) and the last member.
    p.add_file(dir / "c.png");
    p.add_file(dir / "c.png");
    EXPECT_EQ(p.member_count(), 3u);
    p.close();
    auto members = read_zip(read_file(archive));
    EXPECT_EQ(names_of(members), (std::vector<std::string>{"a.kml", "b.png", "c.png"}));
    EXPECT_EQ(members[0].data, "first a");
}

TEST_F(KmzPackagerTest, ArchiveWithoutMembersIsTheEndRecordAlone) {
    const std::string end_record = std::string("PK\x05\x06", 4) + std::string(18, '\0');
    {
        KmzPackager p;
        p.create(archive);
        p.close();
        EXPECT_EQ(read_file(archive), end_record);
    }
    {
        // Every addition finds nothing: a file gone before add_file.
        KmzPackager p;
        p.create(archive);
        p.add_file(dir / "gone.kml");
        p.add_file(dir / "no-such-dir/x.png");
        EXPECT_EQ(p.member_count(), 0u);
        p.close();
        EXPECT_EQ(read_file(archive), end_record);
    }
}

TEST_F(KmzPackagerTest, MemberOfThreeMegabytesCrossesThreeBlocks) {
    const std::string kml = test::sample_text(3000000);
    write_file(dir / "big.kml", kml);
    for (unsigned threads : {0u, 4u}) {
        SCOPED_TRACE(threads);
        KmzPackager p({.compression_threads = threads});
        p.create(archive);
        p.add_file(dir / "big.kml");
        p.close();
        auto members = read_zip(read_file(archive));
        ASSERT_EQ(members.size(), 1u);
        EXPECT_EQ(members[0].data, kml);
        // Two sync flushes inside the stream: the empty stored block after
        // the first and second mebibyte.
        std::size_t markers = 0;
        for (std::size_t at = members[0].compressed.find(std::string("\0\0\xff\xff", 4)); at != std::string::npos;
             at = members[0].compressed.find(std::string("\0\0\xff\xff", 4), at + 1))
            ++markers;
        EXPECT_GE(markers, 2u);
    }
}

TEST_F(KmzPackagerTest, RunningTwiceKeepsOnlyTheSecondRunsMembers) {
    write_file(dir / "one.kml", "one");
    write_file(dir / "two.kml", "two");
    for (const char* name : {"one.kml", "two.kml"}) {
        KmzPackager p;
        p.create(archive);
        p.add_file(dir / name);
        p.close();
    }
    EXPECT_EQ(names_of(read_zip(read_file(archive))), std::vector<std::string>{"two.kml"});
}

TEST_F(KmzPackagerTest, PreviousArchiveSurvivesAFailedOrAbandonedRun) {
    write_file(archive, "the user's previous archive");
    write_file(dir / "a.kml", "a");
    {
        KmzPackager p;
        p.create(archive);
        p.add_file(dir / "a.kml");
        EXPECT_EQ(read_file(archive), "the user's previous archive");
        p.abandon();
        EXPECT_FALSE(p.is_open());
    }
    {
        KmzPackager p;
        answer(p, {});
        p.create(archive);
        p.add_file(dir / "a.kml");
        ::mkdir((dir / "dir.png").c_str(), 0755);
        EXPECT_THROW(p.add_file(dir / "dir.png"), KmzError);
        // The run stops here; the packager goes out of scope unclosed.
    }
    EXPECT_EQ(read_file(archive), "the user's previous archive");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"a.kml", "dir.png", "track.kmz"}));
}

TEST_F(KmzPackagerTest, CreateFailuresNameThePath) {
    auto expect_create_error = [](const std::string& path, const std::string& text) {
        KmzPackager p;
        try {
            p.create(path);
            ADD_FAILURE() << "no error for " << path;
        } catch (const KmzError& e) {
            EXPECT_EQ(std::string(e.what()), text);
        }
        EXPECT_FALSE(p.is_open());
    };
    expect_create_error(dir / "missing/track.kmz",
                        "Cannot create file " + dir / "missing/track.kmz: No such file or directory");
    ::mkdir((dir / "folder.kmz").c_str(), 0755);
    expect_create_error(dir / "folder.kmz", "Cannot create file " + dir / "folder.kmz: Is a directory");
    expect_create_error(dir.str(),
                        "KmzPackager: File name is blank. Specify appropriate file name - Native error: 00010");
    if (test::permissions_enforced()) {
        ::mkdir((dir / "ro").c_str(), 0555);
        expect_create_error(dir / "ro/track.kmz", "Cannot create file " + dir / "ro/track.kmz: Permission denied");
    }
}

TEST_F(KmzPackagerTest, FileThatCannotBeOpenedIsAskedAbout) {
    write_file(dir / "a.kml", "a");
    ::mkdir((dir / "bad.png").c_str(), 0755);  // exists, but cannot be read as a file
    const std::string text = "KmzPackager: Cannot open file \"" + dir / "bad.png" +
                             "\" - Native error: 00033. File processing error, possibly disk is full";

    KmzPackager p;
    p.create(archive);
    p.add_file(dir / "a.kml");

    // Ignore: left out, the run goes on.
    answer(p, {FileFailureAction::Ignore});
    p.add_file(dir / "bad.png");
    EXPECT_EQ(asked, std::vector<std::string>{text});
    EXPECT_EQ(names_of(working_members(p)), std::vector<std::string>{"a.kml"});

    // Retry after the cause is gone: stored.
    asked.clear();
    p.OnProcessFileFailure = [&](const std::string& t) {
        asked.push_back(t);
        ::rmdir((dir / "bad.png").c_str());
        write_file(dir / "bad.png", "fixed");
        return FileFailureAction::Retry;
    };
    ::rmdir((dir / "bad.png").c_str());
    ::mkdir((dir / "bad.png").c_str(), 0755);
    p.add_file(dir / "bad.png");
    EXPECT_EQ(asked.size(), 1u);
    auto members = working_members(p);
    ASSERT_EQ(names_of(members), (std::vector<std::string>{"a.kml", "bad.png"}));
    EXPECT_EQ(members[1].data, "fixed");

    // Abort: the error reaches the caller, the archive is as before.
    ::unlink((dir / "bad.png").c_str());
    ::mkdir((dir / "other.png").c_str(), 0755);
    answer(p, {});
    EXPECT_THROW(p.add_file(dir / "other.png"), KmzError);
    EXPECT_EQ(names_of(working_members(p)), (std::vector<std::string>{"a.kml", "bad.png"}));
    p.close();
}

TEST_F(KmzPackagerTest, DefaultAnswerIsAbortWithTheTextOnStderr) {
    ::mkdir((dir / "bad.png").c_str(), 0755);
    KmzPackager p;
    p.create(archive);
    ::testing::internal::CaptureStderr();
    EXPECT_THROW(p.add_file(dir / "bad.png"), KmzError);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Cannot open file \"" + dir / "bad.png" + "\""), std::string::npos) << err;
}

TEST_F(KmzPackagerTest, MemberOfFourGibibytesIsRefusedNotCorrupted) {
    // Sparse: takes no space and no time, but reports its full size.
    const std::string huge = dir / "huge.kml";
    {
        test::write_file(huge, "");
        ASSERT_EQ(::truncate(huge.c_str(), std::int64_t{1} << 32), 0);
    }
    write_file(dir / "a.png", "a");
    KmzPackager p;
    answer(p, {FileFailureAction::Ignore});
    p.create(archive);
    p.add_file(dir / "a.png");
    p.add_file(huge);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_NE(asked[0].find("4 GiB"), std::string::npos) << asked[0];
    p.close();
    EXPECT_EQ(names_of(read_zip(read_file(archive))), std::vector<std::string>{"a.png"});
}

// With the limit lowered, a replacement that would push the archive past it
// fails after its data is written; the archive must come back exactly.
TEST_F(KmzPackagerTest, FailedReplacementKeepsThePreviousMember) {
    write_file(dir / "a.png", "small a");
    write_file(dir / "b.png", test::noise(1000));
    KmzPackager p({.compression_threads = 2, .size_limit = 3000});
    answer(p, {FileFailureAction::Ignore, FileFailureAction::Ignore});
    p.create(archive);
    p.add_file(dir / "a.png");
    p.add_file(dir / "b.png");
    const std::string before = read_file(p.working_path());

    write_file(dir / "a.png", test::noise(2500, 3));
    p.add_file(dir / "a.png");
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_EQ(read_file(p.working_path()), before);

    // An offset beyond the limit fails the same way for an appended member.
    write_file(dir / "c.png", test::noise(2500, 4));
    p.add_file(dir / "c.png");
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(read_file(p.working_path()), before);
    p.close();
}

TEST_F(KmzPackagerTest, StreamedMemberIsStoredLikeAFile) {
    const std::string body = test::sample_text(2500000);
    write_file(dir / "255.png", "icon");
    KmzPackager p;
    p.create(archive);
    {
        ByteSink& sink = p.begin_member("track.kml", 1000000000);
        KmlStream kml(sink);
        kml.put(body);
        kml.flush();
        p.end_member();
    }
    p.add_file(dir / "255.png");
    // A member given up half way leaves no trace.
    ByteSink& sink = p.begin_member("draft.kml", 1000000000);
    sink.write("partial", 7);
    p.cancel_member();
    p.begin_member("empty.kml", 1000000000);
    p.end_member();
    p.close();

    auto members = read_zip(read_file(archive));
    ASSERT_EQ(names_of(members), (std::vector<std::string>{"track.kml", "255.png", "empty.kml"}));
    std::string expected;
    for (char c : body) {
        if (c == '\n') expected += '\r';
        expected += c;
    }
    EXPECT_EQ(members[0].data, expected);
    EXPECT_EQ(members[2].method, 0);
}

TEST_F(KmzPackagerTest, BytesFromMemoryAreStoredAsTheSameFileWouldBe) {
    const std::string contents[] = {"", "icon", test::noise(3000), test::sample_text(2500000)};
    for (const std::string& bytes : contents) {
        SCOPED_TRACE(bytes.size());
        write_file(dir / "255.png", bytes);
        set_mtime(dir / "255.png", 1000000000);
        for (bool from_memory : {false, true}) {
            KmzPackager p;
            p.create(dir / (from_memory ? "memory.kmz" : "file.kmz"));
            if (from_memory)
                p.add_bytes("255.png", {reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()},
                            1000000000);
            else
                p.add_file(dir / "255.png");
            p.close();
        }
        EXPECT_EQ(read_file(dir / "memory.kmz"), read_file(dir / "file.kmz"));
    }

    // A member that cannot be stored is asked about, as a file is.
    KmzPackager p(KmzPackager::Options{.compression_threads = 1, .size_limit = 100});
    answer(p, {FileFailureAction::Ignore, FileFailureAction::Abort});
    p.create(archive);
    const std::vector<unsigned char> big(200, 'x');
    p.add_bytes("big.png", big, 1000000000);
    EXPECT_EQ(p.member_count(), 0u);
    EXPECT_THROW(p.add_bytes("big.png", big, 1000000000), KmzError);
    EXPECT_EQ(asked.size(), 2u);
}

TEST_F(KmzPackagerTest, StreamedMemberTooLargeFailsAndRollsBack) {
    KmzPackager p({.compression_threads = 0, .size_limit = 100000});
    p.create(archive);
    p.begin_member("first.kml", 0);
    p.end_member();
    ByteSink& sink = p.begin_member("huge.kml", 0);
    std::string chunk = test::noise(60000);
    sink.write(chunk.data(), chunk.size());
    EXPECT_THROW(sink.write(chunk.data(), chunk.size()), KmzError);
    EXPECT_THROW(p.end_member(), KmzError);
    EXPECT_EQ(names_of(working_members(p)), std::vector<std::string>{"first.kml"});
    p.close();
}

// Standard readers must accept what the packager writes. Each tool that is
// installed is run on an archive with every kind of member.
TEST_F(KmzPackagerTest, StandardToolsAcceptTheArchive) {
    write_file(dir / "track.kml", test::sample_text(3000000));
    write_file(dir / "255.png", test::noise(5000));
    write_file(dir / "empty.png", "");
    KmzPackager p;
    p.create(archive);
    p.add_file(dir / "track.kml");
    p.add_file(dir / "255.png");
    p.add_file(dir / "empty.png");
    p.add_file(dir / "255.png");
    p.close();
    const std::string empty = dir / "empty.kmz";
    KmzPackager e;
    e.create(empty);
    e.close();

    const std::pair<const char*, const char*> tools[] = {
        {"unzip", "unzip -tq '%s'"},
        {"7z", "7z t '%s'"},
        {"python3", "python3 -m zipfile -t '%s'"},
    };
    int run = 0;
    for (const auto& [tool, command] : tools) {
        if (std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) != 0) continue;
        ++run;
        for (const std::string& path : {archive, empty}) {
            // unzip reports an archive without members with status 1.
            if (path == empty && std::string(tool) == "unzip") continue;
            char line[1024];
            std::snprintf(line, sizeof line, command, path.c_str());
            EXPECT_EQ(std::system((std::string(line) + " >/dev/null 2>&1").c_str()), 0) << line;
        }
    }
    if (run == 0) GTEST_SKIP() << "no ZIP tool installed";
}

}  // namespace
}  // namespace zelvo

TEST(ZipNames, OnlyWellFormedUtf8NamesAreMarkedAsUtf8) {
    const struct {
        std::string name;
        std::uint16_t flags;
    } cases[] = {
        {"doc.kml", 0},
        {"gr\xC3\xB6\xC3\x9F" "e.kml", zelvo::zip::kFlagUtf8Name},
        {"\xF0\x9F\x9B\xB0.kml", zelvo::zip::kFlagUtf8Name},
        {"gr\xF6\xDF" "e.kml", 0},      // Latin-1
        {"\xC0\xAF.kml", 0},           // overlong
        {"\xF4\x90\x80\x80.kml", 0},   // above U+10FFFF
        {"cut\xE2\x82", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(zelvo::zip::name_flags(c.name), c.flags) << c.name;
}
