#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "binary/binary_framer.h"
#include "tests/binary/binary_test_support.h"

namespace zelvo {
namespace {

using tolv::Bytes;

// What feed() reported for one byte: the result, the frame's id and length,
// and the held bytes (everything after them must be zero).
struct Report {
    int result;
    std::uint8_t id;
    std::uint16_t length;
    Bytes held;
};

bool operator==(const Report& a, const Report& b) {
    return a.result == b.result && a.id == b.id && a.length == b.length && a.held == b.held;
}

std::ostream& operator<<(std::ostream& os, const Report& r) {
    os << "{result " << r.result << ", id 0x" << std::hex << int{r.id} << std::dec << ", length "
       << r.length << ", held";
    for (std::uint8_t b : r.held) os << ' ' << std::hex << int{b} << std::dec;
    return os << '}';
}

constexpr int kComplete = BinaryFramer::kComplete;
constexpr int kCutOff = BinaryFramer::kCutOff;

// Feeds the bytes and records every non-zero result; `held` is the data up
// to the last non-zero byte.
std::vector<Report> run(const Bytes& input) {
    BinaryFramer framer;
    BinaryFrame frame;
    std::vector<Report> reports;
    for (std::uint8_t b : input) {
        const int result = framer.feed(b, frame);
        if (result == BinaryFramer::kNothing) continue;
        auto last = std::find_if(frame.data.rbegin(), frame.data.rend(), [](std::uint8_t x) { return x != 0; });
        Bytes held(frame.data.begin(), last.base());
        reports.push_back(Report{result, frame.id, frame.length, held});
    }
    return reports;
}

struct FramerCase {
    const char* legend;
    Bytes input;
    std::vector<Report> expected;
};

const FramerCase kCases[] = {
    {"leading garbage, then a frame",
     {0x00, 0x41, 0x10, 0x60, 0x01, 0x10, 0x03},
     {{kComplete, 0x60, 4, {0x10, 0x60, 0x01, 0x10, 0x03}}}},
    {"repeated DLE before the id is dropped",
     {0x10, 0x10, 0x88, 0x01, 0x10, 0x03},
     {{kComplete, 0x88, 4, {0x10, 0x88, 0x01, 0x10, 0x03}}}},
    {"empty payload",
     {0x10, 0x52, 0x10, 0x03},
     {{kComplete, 0x52, 3, {0x10, 0x52, 0x10, 0x03}}}},
    {"doubled DLE is held once",
     {0x10, 0x52, 0x10, 0x10, 0x05, 0x10, 0x03},
     {{kComplete, 0x52, 5, {0x10, 0x52, 0x10, 0x05, 0x10, 0x03}}}},
    {"DLE 0xFF is held as both bytes",
     {0x10, 0x52, 0x10, 0xFF, 0x10, 0x03},
     {{kComplete, 0x52, 5, {0x10, 0x52, 0x10, 0xFF, 0x10, 0x03}}}},
    {"lone ETX and 0xFF in the payload are data",
     {0x10, 0x52, 0x03, 0xFF, 0x04, 0x10, 0x03},
     {{kComplete, 0x52, 6, {0x10, 0x52, 0x03, 0xFF, 0x04, 0x10, 0x03}}}},
    {"payload of DLEs only",
     {0x10, 0x93, 0x10, 0x10, 0x10, 0x10, 0x10, 0x03},
     {{kComplete, 0x93, 5, {0x10, 0x93, 0x10, 0x10, 0x10, 0x03}}}},
    {"ids 0x03 and 0xFF",
     {0x10, 0x03, 0x07, 0x10, 0x03, 0x10, 0xFF, 0x10, 0x03},
     {{kComplete, 0x03, 4, {0x10, 0x03, 0x07, 0x10, 0x03}}, {kComplete, 0xFF, 3, {0x10, 0xFF, 0x10, 0x03}}}},
    {"garbage with ETX and 0xFF between two frames",
     {0x10, 0x60, 0x01, 0x10, 0x03, 0x03, 0xFF, 0x55, 0x10, 0x52, 0x02, 0x10, 0x03},
     {{kComplete, 0x60, 4, {0x10, 0x60, 0x01, 0x10, 0x03}}, {kComplete, 0x52, 4, {0x10, 0x52, 0x02, 0x10, 0x03}}}},
    {"a DLE and another byte cut the frame off",
     {0x10, 0x52, 0x01, 0x10, 0x93, 0x02, 0x10, 0x03},
     {{kCutOff, 0x52, 3, {0x10, 0x93}}, {kComplete, 0x93, 4, {0x10, 0x93, 0x02, 0x10, 0x03}}}},
    {"after a cut-off the DLEs before the first data byte are dropped",
     {0x10, 0x52, 0x01, 0x10, 0x93, 0x10, 0x10, 0x05, 0x10, 0x03},
     {{kCutOff, 0x52, 3, {0x10, 0x93}}, {kComplete, 0x93, 4, {0x10, 0x93, 0x05, 0x10, 0x03}}}},
    {"after a cut-off an ETX right after the id is data",
     {0x10, 0x52, 0x01, 0x10, 0x93, 0x10, 0x03, 0x10, 0x03},
     {{kCutOff, 0x52, 3, {0x10, 0x93}}, {kComplete, 0x93, 4, {0x10, 0x93, 0x03, 0x10, 0x03}}}},
    {"cut-off right after the id",
     {0x10, 0x52, 0x10, 0x88, 0x10, 0x03},
     {{kCutOff, 0x52, 2, {0x10, 0x88}}}},
    {"two cut-offs in a row",
     {0x10, 0x52, 0x10, 0x60, 0x07, 0x10, 0x41, 0x10, 0x03},
     {{kCutOff, 0x52, 2, {0x10, 0x60}}, {kCutOff, 0x60, 3, {0x10, 0x41}}}},
    {"ETX outside a frame is ignored",
     {0x03, 0x10, 0x03, 0x10, 0x03},
     {{kComplete, 0x03, 3, {0x10, 0x03, 0x10, 0x03}}}},
    {"unfinished frame gives no result",
     {0x10, 0x88, 0x01, 0x02, 0x10, 0x10},
     {}},
};

TEST(BinaryFramer, FollowsTheFrameGrammar) {
    for (const FramerCase& c : kCases) {
        EXPECT_EQ(run(c.input), c.expected) << c.legend;
    }
}

TEST(BinaryFramer, OpeningAFrameClearsWhatTheLastOneLeft) {
    BinaryFramer framer;
    BinaryFrame frame;
    Bytes wire = tolv::frame(0x52, Bytes(40, 0xAA));
    tolv::append(wire, {0x10, 0x60, 0x01, 0x10, 0x03});
    std::vector<std::uint16_t> lengths;
    for (std::uint8_t b : wire) {
        if (framer.feed(b, frame) == BinaryFramer::kComplete) lengths.push_back(frame.length);
    }
    EXPECT_EQ(lengths, (std::vector<std::uint16_t>{43, 4}));
    EXPECT_TRUE(std::all_of(frame.data.begin() + 5, frame.data.end(), [](std::uint8_t x) { return x == 0; }));
}

// A frame of `held` bytes before its ETX: DLE, id, payload, DLE.
Bytes frame_holding(std::size_t held) { return tolv::frame(0x52, Bytes(held - 3, 0x20)); }

TEST(BinaryFramer, FrameOf2048BytesCompletes) {
    const auto reports = run(frame_holding(2048));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].result, kComplete);
    EXPECT_EQ(reports[0].length, 2048);
    EXPECT_EQ(reports[0].held.back(), 0x03);  // the ETX in the last place of the buffer
}

TEST(BinaryFramer, FrameOf2049BytesIsAbandonedWithTheByteAfterIt) {
    // 2049 bytes held: DLE, id, 2047 payload bytes. The next byte is a DLE
    // that would close the frame; it is lost with the frame, so the ETX
    // after it falls outside any frame.
    Bytes wire{0x10, 0x52};
    wire.insert(wire.end(), 2047, 0x20);
    tolv::append(wire, {0x10, 0x03});
    tolv::append(wire, {0x10, 0x60, 0x01, 0x10, 0x03});

    BinaryFramer framer;
    BinaryFrame frame;
    std::vector<int> results;
    for (std::size_t i = 0; i < wire.size(); ++i) {
        results.push_back(framer.feed(wire[i], frame));
        if (i == 2048) {
            EXPECT_EQ(framer.count(), 2049u);
        }
        if (i == 2049) {
            EXPECT_EQ(framer.state(), BinaryFramer::State::Idle);
        }
    }
    EXPECT_EQ(std::count(results.begin(), results.end(), kComplete), 1);
    EXPECT_EQ(frame.id, 0x60);
    EXPECT_EQ(frame.length, 4);
}

TEST(BinaryFramer, ResetDropsTheFrameInProgress) {
    BinaryFramer framer;
    BinaryFrame frame;
    for (std::uint8_t b : Bytes{0x10, 0x88, 0x01, 0x10}) framer.feed(b, frame);
    framer.reset();
    EXPECT_EQ(framer.state(), BinaryFramer::State::Idle);
    EXPECT_EQ(framer.count(), 0u);
    // Without the reset these bytes would close the 0x88 frame.
    int result = 0;
    for (std::uint8_t b : Bytes{0x03, 0x01, 0x10, 0x03}) result |= framer.feed(b, frame);
    EXPECT_EQ(result, 0);
}

TEST(BinaryFramer, StuffingRoundTripsEveryByteValue) {
    Bytes payload;
    for (int v = 0; v < 256; ++v) payload.push_back(static_cast<std::uint8_t>(v));
    payload.push_back(0x10);
    payload.push_back(0xFF);
    for (tolv::Stuffing s : {tolv::Stuffing::Doubled, tolv::Stuffing::FfShorthand}) {
        const BinaryFrame frame = test::assemble(tolv::frame(0x77, payload, s));
        EXPECT_EQ(frame.length, payload.size() + 3);
        EXPECT_TRUE(std::equal(payload.begin(), payload.end(), frame.data.begin() + 2));
    }
}

}  // namespace
}  // namespace zelvo
