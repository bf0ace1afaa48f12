// Hostile input: the ingestion must end, without a crash or a sanitizer
// finding, whatever the log holds.
#include <gtest/gtest.h>

#include <random>

#include "binary/binary_decoders.h"
#include "tests/binary/binary_test_support.h"

namespace zelvo {
namespace {

using test::ingest;
using tolv::Bytes;

TEST(BinaryRobustness, RandomBytes) {
    std::mt19937 random(4242);
    Bytes log(1 << 20);
    for (auto& b : log) {
        // Plenty of DLEs, ETXs and known ids to reach every state.
        const unsigned r = random() % 16;
        b = r == 0 ? 0x10 : r == 1 ? 0x03 : r == 2 ? 0x88 : static_cast<std::uint8_t>(random());
    }
    const auto result = ingest(log, log.size() / 100);
    EXPECT_EQ(result.pumps, log.size());
    EXPECT_EQ(result.progress, 100);
}

TEST(BinaryRobustness, FileOfDleBytes) {
    const auto result = ingest(Bytes(100'000, 0x10));
    EXPECT_TRUE(result.records.empty());
}

TEST(BinaryRobustness, OverlongAndTruncatedFrames) {
    Bytes log(2 + 2047 + 3000, 0x10);  // 2049 bytes held, then more
    log[1] = 0x88;
    tolv::append(log, {0x10, 0x03});
    log.insert(log.end(), {0x10, 0x52, 0x01});  // ends inside a frame
    EXPECT_TRUE(ingest(log).records.empty());
}

// Every accepted message kind at every frame length, filled with random
// bytes: the decoders read inside the frame only.
TEST(BinaryRobustness, EveryLengthOfEveryMessage) {
    std::mt19937 random(77);
    Bytes log;
    for (std::size_t size = 0; size <= 2045; ++size) {
        for (std::uint8_t id : {kIdPvt, kIdSatellites, kIdDop, kIdUsedSatellites}) {
            Bytes payload(size);
            for (auto& b : payload) b = static_cast<std::uint8_t>(random());
            tolv::append(log, tolv::frame(id, payload));
        }
    }
    const auto result = ingest(log);
    EXPECT_FALSE(result.records.empty());
}

TEST(BinaryRobustness, RandomPositionsDecodeWithoutFault) {
    std::mt19937_64 random(99);
    Bytes log;
    for (int i = 0; i < 2000; ++i) {
        Bytes payload(i % 2 == 0 ? 69 : 73);
        for (auto& b : payload) b = static_cast<std::uint8_t>(random());
        tolv::append(log, tolv::frame(kIdPvt, payload));
    }
    const auto result = ingest(log);
    ASSERT_EQ(result.records.size(), 2000u);
    for (const waypoints& r : result.records) {
        EXPECT_TRUE(r.status == 'A' || r.status == 'V');
        EXPECT_LE(r.time.size(), 15u);
        EXPECT_LE(r.date.size(), 13u);  // "yyyyy-mmm-ddd" at the widest
    }
}

}  // namespace
}  // namespace zelvo
