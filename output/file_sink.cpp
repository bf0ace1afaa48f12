#include "output/file_sink.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace zelvo {

FileSink::~FileSink() {
    if (fd_ >= 0) ::close(fd_);
}

bool FileSink::create(const std::string& path) {
    path_ = path;
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        error_ = std::strerror(errno);
        return false;
    }
    return true;
}

void FileSink::write(const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd_, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error("Cannot write " + path_ + ": " + std::strerror(errno));
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

void FileSink::close() {
    if (fd_ < 0) return;
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) throw std::runtime_error("Cannot write " + path_ + ": " + std::strerror(errno));
}

SpoolSink::~SpoolSink() {
    if (file_) std::fclose(file_);
}

void SpoolSink::write(const char* data, std::size_t size) {
    if (!file_ && memory_.size() + size <= limit_) {
        memory_.insert(memory_.end(), data, data + size);
        return;
    }
    if (!file_) {
        file_ = std::tmpfile();
        if (!file_) throw std::runtime_error(std::string("Cannot create a temporary file: ") + std::strerror(errno));
        if (!memory_.empty() && std::fwrite(memory_.data(), 1, memory_.size(), file_) != memory_.size())
            throw std::runtime_error(std::string("Cannot write a temporary file: ") + std::strerror(errno));
        std::vector<char>().swap(memory_);
    }
    if (std::fwrite(data, 1, size, file_) != size)
        throw std::runtime_error(std::string("Cannot write a temporary file: ") + std::strerror(errno));
}

void SpoolSink::copy_to(KmlStream& out) {
    if (!file_) {
        out.put_raw(memory_.data(), memory_.size());
        return;
    }
    if (std::fflush(file_) != 0 || std::fseek(file_, 0, SEEK_SET) != 0)
        throw std::runtime_error(std::string("Cannot read a temporary file: ") + std::strerror(errno));
    std::vector<char> block(1 << 16);
    std::size_t n;
    while ((n = std::fread(block.data(), 1, block.size(), file_)) > 0) out.put_raw(block.data(), n);
    if (std::ferror(file_)) throw std::runtime_error("Cannot read a temporary file");
    std::fseek(file_, 0, SEEK_END);
}

}  // namespace zelvo
