// Raw deflate of a byte stream in blocks of 1 MiB, the form the archive
// members are stored in: every block but the last ends with a sync flush,
// the last one finishes the stream, and the whole is one raw deflate stream
// (no zlib header, no Adler-32 trailer) at level 6, 15-bit window, memory
// level 8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace zelvo {

class DeflateBlocks {
public:
    static constexpr std::size_t kBlockSize = std::size_t{1} << 20;
    static constexpr std::size_t kWindowSize = std::size_t{1} << 15;

    // Receives the compressed bytes in stream order; may throw, which then
    // leaves this object unusable.
    using Output = std::function<void(const unsigned char* data, std::size_t size)>;

    // workers == 0: one deflate stream carries its state from block to block,
    // all on the calling thread.
    // workers >= 1: each block is compressed on a stream of its own, primed
    // with the 32 KiB before it as dictionary, so that blocks can be
    // compressed side by side on that many threads. The bytes produced are
    // the same for every number of workers.
    explicit DeflateBlocks(Output output, unsigned workers = 0);
    ~DeflateBlocks();
    DeflateBlocks(const DeflateBlocks&) = delete;
    DeflateBlocks& operator=(const DeflateBlocks&) = delete;

    void write(const unsigned char* data, std::size_t size);
    // Compresses what is left as the last block and ends the stream. An
    // input of no bytes still gives a (two-byte) complete stream.
    void finish();

    std::uint32_t crc32() const { return crc_; }
    std::uint64_t bytes_in() const { return bytes_in_; }
    std::uint64_t bytes_out() const { return bytes_out_; }

    // One block on its way through a worker.
    struct Job;

private:
    void compress_pending(bool last);
    void single_stream(const unsigned char* data, std::size_t size, bool last);
    void emit(Job& job);
    void drain_one();

    Output output_;
    unsigned workers_;
    std::vector<unsigned char> pending_;
    std::uint32_t crc_;
    std::uint64_t bytes_in_ = 0;
    std::uint64_t bytes_out_ = 0;
    bool finished_ = false;

    // Single stream.
    struct Stream;
    std::unique_ptr<Stream> stream_;
    std::vector<unsigned char> out_buffer_;

    // Independent blocks: the tail of the block before, the blocks being
    // compressed (oldest first), the worker threads, and buffers kept for
    // reuse so that a long member does not fault in fresh pages per block.
    class Pool;
    std::vector<unsigned char> dictionary_;
    std::deque<std::shared_ptr<Job>> in_flight_;
    std::unique_ptr<Pool> pool_;
    std::vector<std::vector<unsigned char>> spare_buffers_;
};

}  // namespace zelvo
