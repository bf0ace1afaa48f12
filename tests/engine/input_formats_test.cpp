// The table of formats, recognising a log by its content, compressed logs,
// and the time and lines of solution files.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <stdexcept>

#include "engine/input_formats.h"
#include "run_fixture.h"
#include "solution/solution_decoder.h"
#include "solution/solution_time.h"

namespace zelvo {
namespace {

using test::read_file;
using test::RunFixture;
using test::write_file;

// gzip members of `parts` one after the other.
std::string gzip_members(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& part : parts) {
        z_stream z{};
        deflateInit2(&z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        std::string member(deflateBound(&z, part.size()) + 32, '\0');
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(part.data()));
        z.avail_in = static_cast<uInt>(part.size());
        z.next_out = reinterpret_cast<Bytef*>(member.data());
        z.avail_out = static_cast<uInt>(member.size());
        deflate(&z, Z_FINISH);
        member.resize(z.total_out);
        deflateEnd(&z);
        out += member;
    }
    return out;
}

// Every log the project has: the test logs, the solution file, the shared
// real logs when they are there, the samples.
std::vector<std::filesystem::path> every_log() {
    std::vector<std::filesystem::path> logs;
    for (const char* dir : {ZELVO_TEST_DATA, ZELVO_SOLUTION_DATA, ZELVO_SHARED "/testdata/real"}) {
        if (!std::filesystem::is_directory(dir)) continue;
        for (const auto& e : std::filesystem::directory_iterator(dir))
            if (e.is_regular_file() && e.path().extension() != ".md") logs.push_back(e.path());
    }
    logs.push_back(ZELVO_EXAMPLES "/sample.tolv");
    std::sort(logs.begin(), logs.end());
    return logs;
}

InputFormat format_of_name(const std::filesystem::path& p) {
    if (p.extension() == ".tolv") return InputFormat::Tolv;
    if (p.extension() == ".pos") return InputFormat::Solution;
    return InputFormat::Nmea;
}

// All the bytes an InputFile hands out, and the file bytes it says it read.
std::pair<std::string, std::uint64_t> read_all(const std::string& path) {
    InputFile in;
    EXPECT_TRUE(in.open(path)) << in.error();
    std::string bytes;
    while (!in.eof()) {
        const unsigned char* chunk = nullptr;
        const std::size_t n = in.read_chunk(chunk);
        bytes.append(reinterpret_cast<const char*>(chunk), n);
    }
    return {bytes, in.consumed()};
}

TEST(InputFormats, EveryRowStandsAtItsFormatAndItsTokenNamesIt) {
    std::set<std::string> tokens;
    for (std::size_t i = 0; i < input_format_rows().size(); ++i) {
        const InputFormatRow& row = input_format_rows()[i];
        EXPECT_EQ(static_cast<std::size_t>(row.format), i);
        EXPECT_TRUE(tokens.insert(row.token).second) << row.token;
        std::string upper = row.token;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(input_format_of_token(upper.c_str()), row.format);
    }
    EXPECT_EQ(input_format_of_token("auto"), std::nullopt);  // the options' own word, not a format
    EXPECT_EQ(input_format_of_token("ubx"), std::nullopt);
}

class Recognition : public RunFixture {};

TEST_F(Recognition, EveryLogIsRecognisedAsItsFormatAndReadAsIfNamed) {
    for (const auto& log : every_log()) {
        const InputFormat named = format_of_name(log);
        EXPECT_EQ(detect_log_format(log.string()), named) << log;
        ConversionOptions given = defaults(), recognised = defaults();
        given.input_format = named;
        recognised.detect_format = true;
        const std::string content = read_file(log);
        const std::string expected = convert(content, given);
        EXPECT_EQ(convert(content, recognised), expected) << log;
        EXPECT_TRUE(result_.format_recognised);
        // The same log compressed, in one member and in three.
        const std::size_t third = content.size() / 3;
        for (const std::string& packed :
             {gzip_members({content}),
              gzip_members({content.substr(0, third), content.substr(third, third), content.substr(2 * third)})}) {
            HeadlessHost host;
            EXPECT_EQ(convert(packed, recognised, &host), expected) << log;
            EXPECT_EQ(result_.format, named) << log;
            EXPECT_GE(host.progress(), 90) << log;  // the gauge follows the compressed bytes to the end
        }
    }
}

TEST_F(Recognition, TheMostUnitsWinNmeaOnATieAndNoneWithoutAny) {
    const std::string gga = test::nmea("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,") + "\r\n";
    const std::string pos = "2137 422922.000 40.0 -105.0 1578.7 2 11 0.1 0.1 0.1 0 0 0 29.0 0.0\n";
    const std::string bad_sum = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*00\r\n";
    const struct {
        std::string head;
        std::optional<InputFormat> format;
    } cases[] = {
        {gga + pos, InputFormat::Nmea},                     // a tie
        {gga + pos + pos, InputFormat::Solution},
        {bad_sum + bad_sum + pos, InputFormat::Solution},   // a wrong checksum is no sentence
        {"$GPTXT,01,01,02,hello*00\r\n" + pos, InputFormat::Solution},
        {"% stations\nBASE 40.097 -105.147 1578.7\n", std::nullopt},
        {"", std::nullopt},
        {pos.substr(0, 30), std::nullopt},                  // a line cut by the end of the head
    };
    for (const auto& c : cases) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(c.head.data());
        EXPECT_EQ(detect_input_format({bytes, c.head.size()}), c.format) << c.head;
    }
}

TEST(CompressedLogs, AreReadAsTheLogTheyHoldAndDamageIsAnError) {
    test::TempDir dir;
    std::string log;
    for (int i = 0; i < 5000; ++i) log += "line " + std::to_string(i * 7919) + "\n";
    const std::string packed = gzip_members({log.substr(0, 1000), log.substr(1000)});
    write_file(dir.path() / "two.gz", packed);
    auto [bytes, consumed] = read_all(dir.str() + "two.gz");
    EXPECT_EQ(bytes, log);
    EXPECT_EQ(consumed, packed.size());
    // Looking ahead consumes nothing.
    InputFile in;
    ASSERT_TRUE(in.open(dir.str() + "two.gz"));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(in.peek(100).data()), 100), log.substr(0, 100));
    const unsigned char* chunk = nullptr;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(chunk), in.read_chunk(chunk)), log.substr(0, kChunkSize));

    std::string damaged = packed;
    damaged[packed.size() / 2] ^= 0x55;
    for (const std::string& broken : {packed.substr(0, packed.size() - 9), damaged, std::string("\x1f\x8b", 2)}) {
        write_file(dir.path() / "broken.gz", broken);
        EXPECT_THROW(read_all(dir.str() + "broken.gz"), std::runtime_error);
    }
    // What follows the last member is not part of the log.
    write_file(dir.path() / "tail.gz", gzip_members({log}) + "trailing bytes");
    EXPECT_EQ(read_all(dir.str() + "tail.gz").first, log);
}

TEST(SolutionTime, LeapSecondsStepAtUtcMidnight) {
    // GPS date and time -> GPS minus UTC, hand-worked from the steps.
    const struct {
        int year, month, day, hour, minute, second;
        int leap;
    } cases[] = {
        {1980, 1, 6, 0, 0, 0, 0},    {1981, 6, 30, 23, 59, 59, 0}, {1981, 7, 1, 0, 0, 0, 0},
        {1981, 7, 1, 0, 0, 1, 1},    {2016, 12, 31, 23, 59, 59, 17}, {2017, 1, 1, 0, 0, 17, 17},
        {2017, 1, 1, 0, 0, 18, 18},  {2026, 12, 9, 12, 0, 0, 18},   {2015, 7, 1, 0, 0, 16, 16},
        {2015, 7, 1, 0, 0, 17, 17},
    };
    for (const auto& c : cases) {
        const auto ms = ms_of_calendar(c.year, c.month, c.day, c.hour, c.minute, c.second);
        ASSERT_TRUE(ms);
        EXPECT_EQ(gps_leap_seconds(*ms), c.leap) << c.year << "-" << c.month << "-" << c.day << " " << c.second;
    }
    EXPECT_STREQ(utc_text(utc_ms(*ms_of_calendar(2017, 1, 1, 0, 0, 18), SolutionTimeSystem::Gpst)).time,
                 "00:00:00.000");
    EXPECT_STREQ(utc_text(utc_ms(*ms_of_calendar(2024, 3, 1, 8, 0, 0.25), SolutionTimeSystem::Jst)).date,
                 "2024-02-29");
    EXPECT_FALSE(ms_of_calendar(2023, 2, 29, 0, 0, 0));
}

TEST(SolutionLines, WhatMakesAnEpochLine) {
    SolutionHeader degrees;
    SolutionHeader dms;
    ASSERT_TRUE(read_solution_header("%  UTC latitude(d'\") longitude(d'\") height(m) Q ns sdn(m) sde(m) sdu(m) "
                                     "sdne(m) sdeu(m) sdun(m) age(s) ratio",
                                     dms));
    const std::string tail = " 1578.7 2 11 0.1 0.2 0.3 0 0 0 29.0 3.5";
    const struct {
        const SolutionHeader* header;
        std::string line;
        std::optional<double> latitude;  // none: no epoch
    } cases[] = {
        {&degrees, "2137 422922.000 40.5 -105.0" + tail, 40.5},
        {&degrees, "2020/12/24 21:28:24.000 -40.5 105.0" + tail, -40.5},
        {&degrees, "2137 422922.000 40.5 -105.0 1578.7 2 11 0.1 0.2 0.3 0 0 0 29.0", std::nullopt},  // a column short
        {&degrees, "2137 422922.000 40.5 -105.0" + tail + " 1.0 2.0", std::nullopt},  // velocities cut short
        {&degrees, "2137 422922.000 40.5 -105.0" + tail + " 1.0 2.0 0.5", 40.5},      // velocities without header
        {&degrees, "2137 422922.000 40.5x -105.0" + tail, std::nullopt},
        {&degrees, "2137 422922.000 nan -105.0" + tail, std::nullopt},
        {&degrees, "2137 604800.000 40.5 -105.0" + tail, std::nullopt},  // past the week's end
        {&degrees, "2021/02/29 00:00:00.000 40.5 -105.0" + tail, std::nullopt},
        {&degrees, "2137 422922.000 90.5 -105.0" + tail, std::nullopt},
        {&degrees, "2137 422922.000 40.5 -180.5" + tail, std::nullopt},
        {&dms, "2020/12/24 21:28:24.000 -0 30 00.0 105 07 30.0" + tail, -0.5},  // the sign on the degrees
        {&dms, "2020/12/24 21:28:24.000 40 61 00.0 105 07 30.0" + tail, std::nullopt},
        {&dms, "2020/12/24 21:28:24.000 40.5 -105.0" + tail, std::nullopt},  // degrees where d-m-s belong
    };
    for (const auto& c : cases) {
        waypoints r;
        const bool read = decode_solution_line(c.line, *c.header, r).has_value();
        EXPECT_EQ(read, c.latitude.has_value()) << c.line;
        if (read && c.latitude) {
            EXPECT_NEAR(r.latitude, *c.latitude, 1e-12) << c.line;
        }
    }
}

}  // namespace
}  // namespace zelvo
