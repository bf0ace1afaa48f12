#include "engine/input_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace zelvo {

namespace {
constexpr std::size_t kBufferSize = 1 << 18;
}

InputFile::~InputFile() { close(); }

bool InputFile::open(const std::string& path) {
    close();
    path_ = path;
    error_.clear();
    eof_ = false;
    begin_ = end_ = 0;
    consumed_ = 0;
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

std::size_t InputFile::read_chunk(const unsigned char*& data) {
    if (end_ - begin_ < kChunkSize && !eof_) {
        // Move the rest to the front and fill up until a whole chunk is
        // there or the end of the input is found.
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
        while (end_ < kChunkSize && !eof_) {
            ssize_t got = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
            if (got > 0) {
                end_ += static_cast<std::size_t>(got);
            } else if (got == 0) {
                eof_ = true;
            } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
                // Standard input handed over without blocking: wait for it.
                pollfd wait{fd_, POLLIN, 0};
                ::poll(&wait, 1, -1);
            } else if (errno != EINTR) {
                throw std::runtime_error("Cannot read the input file " + path_ + ": " +
                                         std::strerror(errno));
            }
        }
    }
    std::size_t n = end_ - begin_ < kChunkSize ? end_ - begin_ : kChunkSize;
    data = buffer_.data() + begin_;
    begin_ += n;
    consumed_ += n;
    return n;
}

}  // namespace zelvo
