#include "output/crc32_fast.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>
#include <zlib.h>

using zelvo::crc32_update;

namespace {

std::uint32_t reference(std::uint32_t crc, const unsigned char* p, std::size_t n) {
    return static_cast<std::uint32_t>(::crc32(crc, p, static_cast<uInt>(n)));
}

}  // namespace

TEST(Crc32Fast, MatchesZlibForEveryLengthOffsetAndStartValue) {
    std::mt19937 rng(3);
    std::vector<unsigned char> data(70000);
    for (auto& b : data) b = static_cast<unsigned char>(rng());
    for (std::size_t n = 0; n < 600; ++n) {
        for (std::size_t offset : {0u, 1u, 7u, 15u}) {
            std::uint32_t start = n % 3 == 0 ? 0 : static_cast<std::uint32_t>(rng());
            ASSERT_EQ(crc32_update(start, data.data() + offset, n), reference(start, data.data() + offset, n))
                << n << " at " << offset;
        }
    }
    for (std::size_t n : {4095u, 65536u, 69999u}) {
        ASSERT_EQ(crc32_update(0, data.data() + 1, n), reference(0, data.data() + 1, n)) << n;
    }
}

TEST(Crc32Fast, RunningValueSplitsAnywhere) {
    std::vector<unsigned char> data(1 << 20, 'k');
    for (std::size_t i = 0; i < data.size(); i += 97) data[i] = static_cast<unsigned char>(i);
    std::uint32_t whole = crc32_update(0, data.data(), data.size());
    EXPECT_EQ(whole, reference(0, data.data(), data.size()));
    std::uint32_t split = crc32_update(0, data.data(), 12345);
    split = crc32_update(split, data.data() + 12345, data.size() - 12345);
    EXPECT_EQ(split, whole);
    EXPECT_EQ(crc32_update(0, reinterpret_cast<const unsigned char*>("123456789"), 9), 0xCBF43926u);
}
