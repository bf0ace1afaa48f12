#include "engine/input_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace zelvo {

namespace {
constexpr std::size_t kBufferSize = 1 << 18;
constexpr std::size_t kCompressedBufferSize = 1 << 16;
// Inflated at a time: small enough that the gauge moves smoothly.
constexpr std::size_t kInflateStep = 1 << 14;
constexpr unsigned char kGzipMagic[] = {0x1f, 0x8b};
}  // namespace

// The gzip stream: the compressed bytes read so far and zlib's state.
struct InputFile::Inflater {
    z_stream z{};
    std::vector<unsigned char> in = std::vector<unsigned char>(kCompressedBufferSize);
    std::uint64_t taken = 0;  // compressed bytes inflate has consumed
    bool raw_ended = false;

    Inflater() {
        // 16 + the largest window: a gzip wrapper.
        if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) throw std::runtime_error("cannot start inflating the log");
    }
    ~Inflater() { inflateEnd(&z); }
};

InputFile::InputFile() = default;

InputFile::~InputFile() { close(); }

bool InputFile::open(const std::string& path) {
    close();
    path_ = path;
    error_.clear();
    eof_ = source_ended_ = started_ = false;
    begin_ = end_ = 0;
    consumed_ = 0;
    inflater_.reset();
    if (path.empty()) {
        error_ = "no file name given";
        return false;
    }
    // Without blocking on a FIFO that has no writer; only a regular file is
    // read, since a device, FIFO or socket may never end. Standard input is
    // read whatever it is (a pipe, most often): the user chose it.
    const bool standard_input = path == kStandardInputPath;
    // Standard input is taken as it is, not opened again by name: a socket
    // cannot be opened through /dev/stdin, and its flags are shared with
    // whoever gave it.
    fd_ = standard_input ? ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0)
                         : ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
        error_ = std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode) || (!S_ISREG(st.st_mode) && !standard_input)) {
        error_ = S_ISDIR(st.st_mode) ? "it is a directory"
                                     : "it is not a regular file (a device, FIFO or socket may never end)";
        close();
        return false;
    }
    if (!standard_input) ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    buffer_.resize(kBufferSize);
    return true;
}

void InputFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

std::uint64_t InputFile::size() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || st.st_size < 0) return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

// A compressed log's last chunk may need no more compressed bytes: holding
// the last byte back until then lets the gauge's last step come with it.
std::uint64_t InputFile::consumed() const {
    if (!inflater_) return consumed_;
    return eof_ || inflater_->taken == 0 ? inflater_->taken : inflater_->taken - 1;
}

std::size_t InputFile::read_raw(unsigned char* into, std::size_t room) {
    for (;;) {
        const ssize_t got = ::read(fd_, into, room);
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            // Standard input handed over without blocking: wait for it.
            pollfd wait{fd_, POLLIN, 0};
            ::poll(&wait, 1, -1);
        } else if (errno != EINTR) {
            throw std::runtime_error("Cannot read the input file " + path_ + ": " + std::strerror(errno));
        }
    }
}

bool InputFile::fill() {
    if (source_ended_ || end_ == buffer_.size()) return !source_ended_;
    if (!started_) {
        // The first two bytes tell a gzip file; a pipe may hand them over one by one.
        started_ = true;
        while (end_ < 2) {
            const std::size_t got = read_raw(buffer_.data() + end_, buffer_.size() - end_);
            if (got == 0) break;
            end_ += got;
        }
        if (end_ - begin_ >= 2 && std::equal(kGzipMagic, kGzipMagic + 2, buffer_.data() + begin_)) {
            inflater_ = std::make_unique<Inflater>();
            const std::size_t held = end_ - begin_;
            inflater_->in.resize(std::max(held, kCompressedBufferSize));
            std::memcpy(inflater_->in.data(), buffer_.data() + begin_, held);
            inflater_->z.next_in = inflater_->in.data();
            inflater_->z.avail_in = static_cast<uInt>(held);
            end_ = begin_;
        } else {
            if (end_ == begin_) source_ended_ = true;
            return !source_ended_;
        }
    }
    if (!inflater_) {
        const std::size_t got = read_raw(buffer_.data() + end_, buffer_.size() - end_);
        if (got == 0) source_ended_ = true;
        end_ += got;
        return !source_ended_;
    }
    Inflater& f = *inflater_;
    f.z.next_out = buffer_.data() + end_;
    f.z.avail_out = static_cast<uInt>(std::min(kInflateStep, buffer_.size() - end_));
    const uInt room = f.z.avail_out;
    while (f.z.avail_out == room) {
        if (f.z.avail_in == 0 && !f.raw_ended) {
            const std::size_t got = read_raw(f.in.data(), f.in.size());
            f.raw_ended = got == 0;
            f.z.next_in = f.in.data();
            f.z.avail_in = static_cast<uInt>(got);
        }
        if (f.z.avail_in == 0 && f.raw_ended) {
            // The input ended inside a member (a member's end resets the
            // stream, which then waits for a next member's header).
            if (f.z.total_in != 0 || f.z.total_out != 0)
                throw std::runtime_error("The compressed log " + path_ + " ends before its data does");
            source_ended_ = true;
            break;
        }
        const uInt before = f.z.avail_in;
        const int status = inflate(&f.z, Z_NO_FLUSH);
        f.taken += before - f.z.avail_in;
        if (status == Z_STREAM_END) {
            // Another member may follow; anything else after the last
            // member is not part of the log.
            if (f.z.avail_in == 0 && !f.raw_ended) {
                const std::size_t got = read_raw(f.in.data(), f.in.size());
                f.raw_ended = got == 0;
                f.z.next_in = f.in.data();
                f.z.avail_in = static_cast<uInt>(got);
            }
            if (f.z.avail_in >= 1 && f.z.next_in[0] == kGzipMagic[0]) {
                inflateReset(&f.z);
            } else {
                f.taken += f.z.avail_in;
                f.z.avail_in = 0;
                f.raw_ended = true;
                source_ended_ = true;
                break;
            }
        } else if (status != Z_OK && status != Z_BUF_ERROR) {
            throw std::runtime_error("The compressed log " + path_ + " is damaged" +
                                     (f.z.msg ? std::string(" (") + f.z.msg + ")" : std::string()));
        }
    }
    end_ += room - f.z.avail_out;
    return !source_ended_;
}

std::span<const unsigned char> InputFile::peek(std::size_t limit) {
    limit = std::min(limit, buffer_.size() / 2);
    if (end_ - begin_ < limit) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
        while (end_ - begin_ < limit && fill()) {
        }
    }
    return {buffer_.data() + begin_, std::min(limit, end_ - begin_)};
}

std::size_t InputFile::read_chunk(const unsigned char*& data) {
    if (end_ - begin_ < kChunkSize) {
        // Move the rest to the front and fill up until a whole chunk is
        // there or the end of the input is found.
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
        while (end_ < kChunkSize && fill()) {
        }
        // Inflating may have added more than a chunk before the end.
        if (source_ended_ && end_ < kChunkSize) eof_ = true;
    }
    std::size_t n = end_ - begin_ < kChunkSize ? end_ - begin_ : kChunkSize;
    data = buffer_.data() + begin_;
    begin_ += n;
    consumed_ += n;
    return n;
}

}  // namespace zelvo
