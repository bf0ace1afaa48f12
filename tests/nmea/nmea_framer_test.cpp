#include "nmea/nmea_framer.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/test_support.h"

using namespace zelvo;
using zelvo::test::nmea;

namespace {

// Feeds the bytes and returns every sentence reported, as text.
std::vector<std::string> frame(const std::string& bytes) {
    NmeaFramer framer;
    SentenceBuffer buffer{};
    std::vector<std::string> out;
    for (char c : bytes) {
        if (framer.feed(c, buffer)) out.emplace_back(buffer.data(), strnlen(buffer.data(), buffer.size()));
    }
    return out;
}

}  // namespace

TEST(NmeaFramer, TableOfByteSequences) {
    const std::string gga = "$GPGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,M,55.2,M,,*76";
    const std::string rmc = nmea("GPRMC,1,A");
    struct Row { const char* legend; std::string bytes; std::vector<std::string> expected; };
    const std::vector<Row> rows = {
        {"valid sentence with line end", gga + "\r\n", {gga}},
        {"lower-case checksum digits", "$GPTXT,x*1b", {"$GPTXT,x*1b"}},
        {"wrong checksum", "$GPTXT,x*3D\r\n", {}},
        {"noise before the first $", "garbage**12" + rmc, {rmc}},
        {"$ inside a body restarts", "$GPGGA,12,$" + rmc.substr(1), {rmc}},
        {"bad digit abandons", "$GPTXT,x*G" + rmc, {rmc}},
        {"$ as a checksum digit loses the next sentence", "$GPTXT,x*$" + rmc.substr(1) + rmc, {rmc}},
        {"$ after first digit is lost too", "$GPTXT,x*3$" + rmc.substr(1), {}},
        {"no star", "$GPTXT,x\r\n" + rmc, {rmc}},
        {"split across two sentences", rmc + rmc, {rmc, rmc}},
    };
    for (const Row& r : rows) EXPECT_EQ(frame(r.bytes), r.expected) << r.legend;
}

TEST(NmeaFramer, StateAfterEachKindOfByte) {
    using S = NmeaFramer::State;
    struct Row { const char* bytes; S state; };
    const Row rows[] = {
        {"noise", S::Idle},         {"$GP", S::InBody},   {"$GP*", S::FirstDigit},
        {"$GP*1", S::SecondDigit},  {"$GP*17", S::Idle},  {"$GP*x", S::Idle},
        {"$GP*1$", S::Idle},        {"$GP$G", S::InBody},
    };
    for (const Row& r : rows) {
        NmeaFramer framer;
        SentenceBuffer buffer{};
        for (const char* c = r.bytes; *c; ++c) framer.feed(*c, buffer);
        EXPECT_EQ(framer.state(), r.state) << r.bytes;
    }
}

TEST(NmeaFramer, HundredBytesIsTheLimit) {
    const std::string body97 = nmea(std::string(96, 'A'));  // $ + 96 + *hh = 100 bytes
    ASSERT_EQ(body97.size(), 100u);
    EXPECT_EQ(frame(body97), std::vector<std::string>{body97});
    const std::string body98 = nmea(std::string(97, 'A'));
    EXPECT_TRUE(frame(body98).empty());
    // The byte that overflows is looked at afresh: a '$' there starts a sentence.
    const std::string next = nmea("GPX,1");
    EXPECT_EQ(frame("$" + std::string(99, 'B') + next), std::vector<std::string>{next});
}

TEST(NmeaFramer, BufferIsZeroAfterTheSentence) {
    NmeaFramer framer;
    SentenceBuffer buffer{};
    buffer.fill('x');
    std::string s = nmea("GPGSA,A,3");
    bool done = false;
    for (char c : s) done = framer.feed(c, buffer);
    ASSERT_TRUE(done);
    for (std::size_t i = s.size(); i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0) << i;
}

TEST(NmeaFramer, CountCommasSeesTheWholeBuffer) {
    SentenceBuffer buffer{};
    std::string s = "$GPRMC,,,,,,,,,,,,*hh";  // 12 commas
    std::copy(s.begin(), s.end(), buffer.begin());
    EXPECT_TRUE(count_commas(buffer, 12));
    EXPECT_FALSE(count_commas(buffer, 11));
}
