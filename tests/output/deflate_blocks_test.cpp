#include "output/deflate_blocks.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "zip_reader.h"

namespace zelvo {
namespace {

constexpr std::size_t MiB = DeflateBlocks::kBlockSize;

struct Compressed {
    std::string bytes;
    std::uint32_t crc;
    std::uint64_t in, out;
};

Compressed compress(const std::string& input, unsigned workers, std::size_t chunk) {
    Compressed c;
    DeflateBlocks d([&](const unsigned char* p, std::size_t n) { c.bytes.append(reinterpret_cast<const char*>(p), n); },
                    workers);
    for (std::size_t at = 0; at < input.size(); at += chunk) {
        std::size_t n = std::min(chunk, input.size() - at);
        d.write(reinterpret_cast<const unsigned char*>(input.data()) + at, n);
    }
    d.finish();
    c.crc = d.crc32();
    c.in = d.bytes_in();
    c.out = d.bytes_out();
    return c;
}

std::uint32_t crc_of(const std::string& s) {
    return static_cast<std::uint32_t>(::crc32(0L, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

// Sizes around the block boundary, where an off-by-one would drop, repeat
// or misplace a block, or finish the stream one block early.
TEST(DeflateBlocks, InflatesBackToTheInputAtEveryBlockBoundary) {
    const std::size_t sizes[] = {0, 1, MiB - 1, MiB, MiB + 1, 2 * MiB, 5 * MiB + 123};
    const std::string text = test::sample_text(5 * MiB + 123);
    for (std::size_t size : sizes) {
        std::string input = text.substr(0, size);
        // Half noise in the larger inputs, so some blocks barely compress.
        if (size > MiB) input.replace(MiB / 2, MiB / 2, test::noise(MiB / 2));
        std::string reference;
        for (unsigned workers : {0u, 1u, 3u, 8u}) {
            SCOPED_TRACE("size " + std::to_string(size) + ", workers " + std::to_string(workers));
            Compressed c = compress(input, workers, 100000);
            EXPECT_EQ(test::inflate_raw(c.bytes, size), input);
            EXPECT_EQ(c.crc, crc_of(input));
            EXPECT_EQ(c.in, size);
            EXPECT_EQ(c.out, c.bytes.size());
            // Independent blocks: the same bytes whatever the thread count.
            if (workers == 1) reference = c.bytes;
            if (workers > 1) {
                EXPECT_EQ(c.bytes, reference);
            }
        }
    }
}

TEST(DeflateBlocks, OutputDoesNotDependOnHowTheInputArrives) {
    const std::string input = test::sample_text(3 * MiB + 17);
    for (unsigned workers : {0u, 4u}) {
        SCOPED_TRACE(workers);
        std::string whole = compress(input, workers, input.size()).bytes;
        EXPECT_EQ(compress(input, workers, 1000).bytes, whole);
        EXPECT_EQ(compress(input, workers, MiB).bytes, whole);
        EXPECT_EQ(compress(input, workers, MiB + 1).bytes, whole);
    }
}

// One stream, sync flush after each full block, finish after the last: the
// same bytes as zlib driven directly that way.
TEST(DeflateBlocks, SingleStreamIsSyncFlushedPerMebibyte) {
    const std::string input = test::sample_text(3000000);
    z_stream z{};
    ASSERT_EQ(deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string expected(4 * MiB, '\0');
    z.next_out = reinterpret_cast<Bytef*>(expected.data());
    z.avail_out = static_cast<uInt>(expected.size());
    for (std::size_t at = 0; at < input.size(); at += MiB) {
        std::size_t n = std::min(MiB, input.size() - at);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data() + at));
        z.avail_in = static_cast<uInt>(n);
        bool last = at + n == input.size();
        ASSERT_EQ(deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH), last ? Z_STREAM_END : Z_OK);
        // Each sync flush ends in the empty stored block 00 00 FF FF.
        if (!last) {
            std::size_t produced = expected.size() - z.avail_out;
            EXPECT_EQ(expected.substr(produced - 4, 4), std::string("\0\0\xff\xff", 4));
        }
    }
    expected.resize(expected.size() - z.avail_out);
    deflateEnd(&z);

    EXPECT_EQ(compress(input, 0, 65536).bytes, expected);
}

TEST(DeflateBlocks, OutputFailureReachesTheCaller) {
    for (unsigned workers : {0u, 4u}) {
        DeflateBlocks d([](const unsigned char*, std::size_t) { throw std::runtime_error("disk gone"); }, workers);
        std::string input = test::noise(3 * MiB);
        EXPECT_THROW(
            {
                d.write(reinterpret_cast<const unsigned char*>(input.data()), input.size());
                d.finish();
            },
            std::runtime_error);
    }
}

}  // namespace
}  // namespace zelvo
