#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "binary/binary_decoders.h"
#include "tests/binary/binary_test_support.h"

namespace zelvo {
namespace {

using test::ingest;
using tolv::append;
using tolv::Bytes;

Bytes pvt_frame(double time_of_week_ms, bool long_form = false, std::uint8_t flags = 0x01) {
    tolv::Pvt pvt;
    pvt.latitude_rad = 0.5;
    pvt.longitude_rad = 0.25;
    pvt.time_of_week_ms = time_of_week_ms;
    pvt.week = 1000;
    pvt.fix_flags = flags;
    pvt.long_form = long_form;
    return tolv::frame(kIdPvt, tolv::pvt_payload(pvt));
}

Bytes sats_frame(std::uint8_t prn) {
    const tolv::SatInView s{1, prn, 0, 30, 100, 40};
    return tolv::frame(kIdSatellites, tolv::satellites_payload(std::span(&s, 1)));
}

Bytes dop_frame(float hdop, std::size_t payload_size) {
    Bytes payload = tolv::dop_payload(hdop, true);
    payload.resize(payload_size);
    return tolv::frame(kIdDop, payload);
}

Bytes used_frame(std::uint32_t gps) { return tolv::frame(kIdUsedSatellites, tolv::used_payload(gps, 0, 0)); }

TEST(BinaryIngestion, MessagesCompleteTheLatestPositionOnly) {
    Bytes log;
    append(log, sats_frame(9));      // before any position: passed over
    append(log, dop_frame(9.0f, 11));
    append(log, used_frame(0xFF));
    append(log, pvt_frame(1000.0));
    append(log, sats_frame(3));
    append(log, dop_frame(1.5f, 11));
    append(log, used_frame(0x4));
    append(log, pvt_frame(1000.0, true, 0x00));  // same time: a record of its own
    append(log, sats_frame(4));
    append(log, dop_frame(2.5f, 13));             // length 16: passed over
    append(log, dop_frame(0.5f, 15));
    append(log, tolv::frame(0x41, Bytes{1, 2, 3}));  // not read
    append(log, tolv::frame(kIdPvt, Bytes(71, 0)));  // length 74: passed over

    const auto result = ingest(log);
    ASSERT_EQ(result.records.size(), 2u);

    waypoints first;
    first.time = "00:00:01.000";
    first.latitude = 0.5 * 180.0 / std::numbers::pi;
    first.longitude = 0.25 * 180.0 / std::numbers::pi;
    first.date = "2018-10-21";
    first.status = 'A';
    first.fix_text = "3D";
    first.ms_of_day = 1000;
    first.has_latitude = first.has_longitude = true;
    first.sats[3] = test::satellite('G', 3, 0, 30, 100, 40);
    first.sats[3].used = 1;
    first.has_sats = 1;
    first.hdop = 1.5;
    first.sats_used = 1;
    test::expect_same_record(first, result.records[0]);

    waypoints second = first;
    second.status = 'V';
    second.fix_text = "No Fix";
    second.sats = {};
    second.sats[4] = test::satellite('G', 4, 0, 30, 100, 40);
    second.hdop = 0.5;
    second.sats_used = 0;
    test::expect_same_record(second, result.records[1]);
}

TEST(BinaryIngestion, FramesAcrossChunksAndAShortLastChunk) {
    // Positions every few hundred bytes, with garbage in between, so that
    // frames straddle the 1024-byte reads; the log ends in a partial chunk.
    Bytes log;
    std::vector<std::int32_t> times;
    for (int i = 0; log.size() < 5000; ++i) {
        log.insert(log.end(), static_cast<std::size_t>(i % 37), 0x55);
        append(log, pvt_frame(1000.0 * i + 16.0, i % 2 == 1));  // 0x10 in the time bytes
        append(log, sats_frame(static_cast<std::uint8_t>(i % 32 + 1)));
        times.push_back(1000 * i + 16);
    }
    ASSERT_NE(log.size() % 1024, 0u);
    const auto result = ingest(log);
    ASSERT_EQ(result.records.size(), times.size());
    for (std::size_t i = 0; i < times.size(); ++i) {
        EXPECT_EQ(result.records[i].ms_of_day, times[i]);
        EXPECT_EQ(result.records[i].sats[i % 32 + 1].present, 1) << i;
    }
}

TEST(BinaryIngestion, LogOfWholeChunksEndingWithAFrame) {
    Bytes log(2048 - pvt_frame(0).size(), 0x00);
    append(log, pvt_frame(7.0));
    ASSERT_EQ(log.size(), 2048u);
    const auto result = ingest(log);
    ASSERT_EQ(result.records.size(), 1u);
    EXPECT_EQ(result.records[0].time, "00:00:00.007");
}

TEST(BinaryIngestion, UnfinishedFrameAtTheEndIsDroppedAndNotCarriedOver) {
    Bytes first = pvt_frame(1.0);
    Bytes unfinished = pvt_frame(2.0);
    unfinished.resize(unfinished.size() - 2);
    append(first, unfinished);
    EXPECT_EQ(ingest(first).records.size(), 1u);

    // A second run starts afresh: these bytes would close the frame above.
    Bytes second{0x10, 0x03};
    append(second, sats_frame(1));
    EXPECT_EQ(ingest(second).records.size(), 0u);
}

TEST(BinaryIngestion, PumpsBeforeEveryByteAndKeepsItsOwnGauge) {
    struct GaugeCase {
        std::size_t size;
        std::uint64_t step;
        std::uint64_t advances;
        int progress;
    };
    const GaugeCase cases[] = {
        {100, 1, 100, 100},    // a 100-byte log: every byte
        {100, 0, 100, 100},    // step 0 advances on every byte too
        {1024, 10, 102, 100},  // reaches 100 after 1000 bytes
        {999, 10, 99, 99},
        {0, 10, 0, 0},
    };
    for (const GaugeCase& c : cases) {
        const auto result = ingest(Bytes(c.size, 0x10), c.step);
        EXPECT_EQ(result.pumps, c.size) << c.size;
        EXPECT_EQ(result.advances, c.advances) << c.size;
        EXPECT_EQ(result.progress, c.progress) << c.size;
    }
}

TEST(BinaryIngestion, SampleLogMatchesItsGeneratorAndDecodes) {
    std::ifstream in(ZELVO_EXAMPLES "/sample.tolv", std::ios::binary);
    ASSERT_TRUE(in) << "examples/sample.tolv";
    const Bytes stored{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const Bytes log = tolv::make_sample_log();
    EXPECT_EQ(stored, log) << "regenerate it with make_tolv_sample";

    const auto result = ingest(log);
    ASSERT_EQ(result.records.size(), 40u);
    EXPECT_EQ(result.records[0].date, "2019-03-30");
    EXPECT_EQ(result.records[0].time, "23:59:40.000");
    EXPECT_EQ(result.records[19].time, "23:59:59.000");
    EXPECT_EQ(result.records[20].date, "2038-11-14");
    EXPECT_EQ(result.records[20].time, "00:00:00.000");
    EXPECT_EQ(result.records[12].course, 0.0);
    for (const waypoints& r : result.records) {
        EXPECT_NE(r.sats_used, -1);
        EXPECT_NE(r.hdop, 0.0);
    }
}

}  // namespace
}  // namespace zelvo
