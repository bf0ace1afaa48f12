#include "output/deflate_blocks.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include <zlib.h>

namespace zelvo {
namespace {

constexpr int kLevel = 6;
constexpr int kRawWindowBits = -15;  // negative: no zlib header or trailer
constexpr int kMemLevel = 8;

// One zlib deflate stream, ended when it goes out of scope.
class Deflater {
public:
    Deflater() {
        int rc = deflateInit2(&z_, kLevel, Z_DEFLATED, kRawWindowBits, kMemLevel, Z_DEFAULT_STRATEGY);
        if (rc != Z_OK) throw std::runtime_error("Cannot start the deflate compressor (zlib " + std::to_string(rc) + ")");
    }
    ~Deflater() { deflateEnd(&z_); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    z_stream* get() { return &z_; }

private:
    z_stream z_{};
};

void check(int rc, const char* what) {
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
        throw std::runtime_error(std::string("deflate failed in ") + what + " (zlib " + std::to_string(rc) + ")");
}

// Compresses one block on a stream of its own. The dictionary lets matches
// reach back into the block before, as they would in one long stream.
DeflateBlocks::BlockResult compress_block(std::vector<unsigned char> input,
                                          std::vector<unsigned char> dictionary, bool last) {
    DeflateBlocks::BlockResult result;
    result.size = input.size();
    result.crc = static_cast<std::uint32_t>(::crc32(0L, input.data(), static_cast<uInt>(input.size())));

    Deflater deflater;
    z_stream* z = deflater.get();
    if (!dictionary.empty())
        check(deflateSetDictionary(z, dictionary.data(), static_cast<uInt>(dictionary.size())),
              "deflateSetDictionary");

    std::vector<unsigned char>& out = result.compressed;
    out.resize(deflateBound(z, static_cast<uLong>(input.size())) + 64);
    z->next_in = input.data();
    z->avail_in = static_cast<uInt>(input.size());
    std::size_t produced = 0;
    const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
        z->next_out = out.data() + produced;
        z->avail_out = static_cast<uInt>(out.size() - produced);
        int rc = deflate(z, flush);
        check(rc, "a block");
        produced = out.size() - z->avail_out;
        bool done = last ? rc == Z_STREAM_END : (z->avail_in == 0 && z->avail_out != 0);
        if (done) break;
        out.resize(out.size() * 2);
    }
    out.resize(produced);
    return result;
}

}  // namespace

struct DeflateBlocks::Stream {
    Deflater deflater;
};

DeflateBlocks::DeflateBlocks(Output output, unsigned workers)
    : output_(std::move(output)), workers_(workers), crc_(static_cast<std::uint32_t>(::crc32(0L, Z_NULL, 0))) {
    pending_.reserve(kBlockSize);
    if (workers_ == 0) {
        stream_ = std::make_unique<Stream>();
        out_buffer_.resize(256 * 1024);
    }
}

DeflateBlocks::~DeflateBlocks() = default;

void DeflateBlocks::write(const unsigned char* data, std::size_t size) {
    if (finished_) throw std::logic_error("DeflateBlocks: write after finish");
    while (size > 0) {
        // A full block is compressed only once more input shows it is not
        // the last one; the last block must end the stream instead.
        if (pending_.size() == kBlockSize) compress_pending(false);
        std::size_t take = std::min(size, kBlockSize - pending_.size());
        pending_.insert(pending_.end(), data, data + take);
        data += take;
        size -= take;
        bytes_in_ += take;
    }
}

void DeflateBlocks::finish() {
    if (finished_) return;
    compress_pending(true);
    while (!in_flight_.empty()) drain_one();
    finished_ = true;
}

void DeflateBlocks::compress_pending(bool last) {
    if (workers_ == 0) {
        crc_ = static_cast<std::uint32_t>(::crc32(crc_, pending_.data(), static_cast<uInt>(pending_.size())));
        single_stream(pending_.data(), pending_.size(), last);
        pending_.clear();
        return;
    }

    std::vector<unsigned char> block;
    block.reserve(kBlockSize);
    block.swap(pending_);
    std::vector<unsigned char> dictionary = std::move(dictionary_);
    std::size_t tail = std::min(block.size(), kWindowSize);
    dictionary_.assign(block.end() - static_cast<std::ptrdiff_t>(tail), block.end());

    if (workers_ == 1) {
        emit(compress_block(std::move(block), std::move(dictionary), last));
        return;
    }
    while (in_flight_.size() >= workers_) drain_one();
    in_flight_.push_back(std::async(std::launch::async, compress_block, std::move(block),
                                    std::move(dictionary), last));
}

void DeflateBlocks::single_stream(const unsigned char* data, std::size_t size, bool last) {
    z_stream* z = stream_->deflater.get();
    z->next_in = const_cast<unsigned char*>(data);
    z->avail_in = static_cast<uInt>(size);
    const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
        z->next_out = out_buffer_.data();
        z->avail_out = static_cast<uInt>(out_buffer_.size());
        int rc = deflate(z, flush);
        check(rc, "the stream");
        std::size_t produced = out_buffer_.size() - z->avail_out;
        if (produced > 0) {
            output_(out_buffer_.data(), produced);
            bytes_out_ += produced;
        }
        bool done = last ? rc == Z_STREAM_END : (z->avail_in == 0 && z->avail_out != 0);
        if (done) break;
    }
}

void DeflateBlocks::emit(const BlockResult& result) {
    crc_ = static_cast<std::uint32_t>(::crc32_combine(crc_, result.crc, static_cast<z_off_t>(result.size)));
    if (!result.compressed.empty()) output_(result.compressed.data(), result.compressed.size());
    bytes_out_ += result.compressed.size();
}

void DeflateBlocks::drain_one() {
    std::future<BlockResult> oldest = std::move(in_flight_.front());
    in_flight_.pop_front();
    emit(oldest.get());
}

}  // namespace zelvo
