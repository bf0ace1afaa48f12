#include "output/deflate_blocks.h"

#include "output/crc32_fast.h"

#include <algorithm>
#include <condition_variable>
#include <span>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

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

// The one deflate loop: runs all of input through z, ending with a sync
// flush, or for the last input with the end of the stream. Each round asks
// room() where deflate may write next and tells filled() how many bytes it
// wrote there. How much room each round has decides where zlib may repeat
// a flush marker, so each caller keeps its own buffer sizes.
template <typename Room, typename Filled>
void deflate_all(z_stream* z, std::span<const unsigned char> input, bool last, const char* what, Room&& room,
                 Filled&& filled) {
    z->next_in = const_cast<unsigned char*>(input.data());
    z->avail_in = static_cast<uInt>(input.size());
    const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
        const std::span<unsigned char> out = room();
        z->next_out = out.data();
        z->avail_out = static_cast<uInt>(out.size());
        int rc = deflate(z, flush);
        check(rc, what);
        filled(out.size() - z->avail_out);
        bool done = last ? rc == Z_STREAM_END : (z->avail_in == 0 && z->avail_out != 0);
        if (done) return;
    }
}

}  // namespace

struct DeflateBlocks::Job {
    std::vector<unsigned char> input;
    std::vector<unsigned char> dictionary;
    bool last = false;
    // Filled by the worker.
    std::vector<unsigned char> compressed;  // the first `produced` bytes count
    std::size_t produced = 0;
    std::uint32_t crc = 0;
    std::exception_ptr error;
    bool done = false;
};

namespace {

// Compresses one block on a stream of its own, reset for every block. The
// dictionary lets matches reach back into the block before, as they would
// in one long stream.
void compress_block(Deflater& deflater, DeflateBlocks::Job& job) {
    job.crc = crc32_update(0, job.input.data(), job.input.size());
    z_stream* z = deflater.get();
    check(deflateReset(z), "deflateReset");
    if (!job.dictionary.empty())
        check(deflateSetDictionary(z, job.dictionary.data(), static_cast<uInt>(job.dictionary.size())),
              "deflateSetDictionary");

    // One buffer takes the whole block; it doubles whenever deflate fills it.
    std::vector<unsigned char>& out = job.compressed;
    std::size_t bound = deflateBound(z, static_cast<uLong>(job.input.size())) + 64;
    if (out.size() < bound) out.resize(bound);
    std::size_t produced = 0;
    deflate_all(
        z, job.input, job.last, "a block",
        [&] {
            if (produced == out.size()) out.resize(out.size() * 2);
            return std::span<unsigned char>(out).subspan(produced);
        },
        [&](std::size_t n) { produced += n; });
    job.produced = produced;
}

}  // namespace

struct DeflateBlocks::Stream {
    Deflater deflater;
};

// Worker threads that take blocks in the order given; each keeps one
// deflate stream for all its blocks.
class DeflateBlocks::Pool {
public:
    explicit Pool(unsigned threads) {
        for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { run(); });
    }
    ~Pool() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        work_.notify_all();
        for (std::thread& t : threads_) t.join();
    }
    void submit(std::shared_ptr<Job> job) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(std::move(job));
        }
        work_.notify_one();
    }
    void wait(const Job& job) {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [&] { return job.done; });
    }

private:
    void run() {
        std::unique_ptr<Deflater> deflater;
        for (;;) {
            std::shared_ptr<Job> job;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                work_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
                if (queue_.empty()) return;
                job = std::move(queue_.front());
                queue_.pop_front();
            }
            try {
                if (!deflater) deflater = std::make_unique<Deflater>();
                compress_block(*deflater, *job);
            } catch (...) {
                job->error = std::current_exception();
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                job->done = true;
            }
            done_.notify_all();
        }
    }

    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable done_;
    std::deque<std::shared_ptr<Job>> queue_;
    bool stopping_ = false;
};

DeflateBlocks::DeflateBlocks(Output output, unsigned workers)
    : output_(std::move(output)), workers_(workers), crc_(static_cast<std::uint32_t>(::crc32(0L, Z_NULL, 0))) {
    pending_.reserve(kBlockSize);
    if (workers_ == 0) {
        stream_ = std::make_unique<Stream>();
        out_buffer_.resize(256 * 1024);
    }
}

DeflateBlocks::~DeflateBlocks() {
    // Let the workers finish what they hold before the jobs go.
    for (auto& job : in_flight_) {
        if (pool_) pool_->wait(*job);
    }
}

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
        crc_ = crc32_update(crc_, pending_.data(), pending_.size());
        single_stream(pending_.data(), pending_.size(), last);
        pending_.clear();
        return;
    }

    auto job = std::make_shared<Job>();
    if (!spare_buffers_.empty()) {
        job->input = std::move(spare_buffers_.back());
        spare_buffers_.pop_back();
    }
    job->input.clear();
    job->input.reserve(kBlockSize);
    job->input.swap(pending_);
    if (!spare_buffers_.empty()) {
        job->compressed = std::move(spare_buffers_.back());
        spare_buffers_.pop_back();
    }
    job->dictionary = std::move(dictionary_);
    job->last = last;
    std::size_t tail = std::min(job->input.size(), kWindowSize);
    dictionary_.assign(job->input.end() - static_cast<std::ptrdiff_t>(tail), job->input.end());

    if (workers_ == 1) {
        Deflater deflater;
        compress_block(deflater, *job);
        emit(*job);
        return;
    }
    if (!pool_) pool_ = std::make_unique<Pool>(workers_);
    // One block waits queued while every worker is busy, so that no worker
    // idles while the next block is being written.
    while (in_flight_.size() > workers_) drain_one();
    in_flight_.push_back(job);
    pool_->submit(std::move(job));
}

void DeflateBlocks::single_stream(const unsigned char* data, std::size_t size, bool last) {
    // Each round's output goes on at once, and the buffer is used again.
    deflate_all(
        stream_->deflater.get(), {data, size}, last, "the stream",
        [&] { return std::span<unsigned char>(out_buffer_); },
        [&](std::size_t produced) {
            if (produced == 0) return;
            output_(out_buffer_.data(), produced);
            bytes_out_ += produced;
        });
}

void DeflateBlocks::emit(Job& job) {
    if (job.error) std::rethrow_exception(job.error);
    crc_ = static_cast<std::uint32_t>(::crc32_combine(crc_, job.crc, static_cast<z_off_t>(job.input.size())));
    if (job.produced > 0) output_(job.compressed.data(), job.produced);
    bytes_out_ += job.produced;
    // Keep the buffers for the blocks to come.
    if (spare_buffers_.size() < 2 * workers_ + 4) {
        spare_buffers_.push_back(std::move(job.input));
        spare_buffers_.push_back(std::move(job.compressed));
    }
}

void DeflateBlocks::drain_one() {
    std::shared_ptr<Job> oldest = std::move(in_flight_.front());
    in_flight_.pop_front();
    pool_->wait(*oldest);
    emit(*oldest);
}

}  // namespace zelvo
