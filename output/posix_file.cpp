#include "output/posix_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <unistd.h>

namespace zelvo {
namespace {

// Copies go through a buffer of 1 MiB.
constexpr std::size_t kCopyBlock = std::size_t{1} << 20;

}  // namespace

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

int UniqueFd::close_checked() {
    if (fd_ < 0) return 0;
    // On Linux the descriptor is released even when close reports an
    // error, so it is never closed a second time.
    int rc = ::close(release());
    return rc == 0 ? 0 : errno;
}

std::string describe_errno(const std::string& what, const std::string& path, int code) {
    return what + " " + path + ": " + std::strerror(code);
}

void throw_file_error(const char* what, const std::string& path, int code) {
    throw FileError(describe_errno(what, path, code), code);
}

void write_all(int fd, const void* data, std::size_t size, const std::string& path) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw_file_error("Cannot write file", path, errno);
        }
        // A write of zero bytes on a regular file means no space was found.
        if (n == 0) throw_file_error("Cannot write file", path, ENOSPC);
        p += n;
        size -= static_cast<std::size_t>(n);
    }
}

void pwrite_all(int fd, const void* data, std::size_t size, std::uint64_t offset,
                const std::string& path) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::pwrite(fd, p, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw_file_error("Cannot write file", path, errno);
        }
        if (n == 0) throw_file_error("Cannot write file", path, ENOSPC);
        p += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
}

std::size_t read_some(int fd, void* data, std::size_t size, const std::string& path) {
    for (;;) {
        ssize_t n = ::read(fd, data, size);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno == EINTR) continue;
        throw_file_error("Cannot read file", path, errno);
    }
}

void truncate_to(int fd, std::uint64_t size, const std::string& path) {
    while (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        if (errno == EINTR) continue;
        throw_file_error("Cannot write file", path, errno);
    }
}

void seek_to(int fd, std::uint64_t offset, const std::string& path) {
    if (::lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0) throw_file_error("Cannot write file", path, errno);
}

void copy_range(int from, std::uint64_t from_offset, int to, std::uint64_t to_offset, std::uint64_t size,
                const std::string& path) {
    std::vector<unsigned char> buffer(std::min<std::uint64_t>(size, kCopyBlock));
    while (size > 0) {
        std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size, buffer.size()));
        ssize_t n = ::pread(from, buffer.data(), want, static_cast<off_t>(from_offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw_file_error("Cannot copy within", path, n < 0 ? errno : EIO);
        pwrite_all(to, buffer.data(), static_cast<std::size_t>(n), to_offset, path);
        from_offset += static_cast<std::uint64_t>(n);
        to_offset += static_cast<std::uint64_t>(n);
        size -= static_cast<std::uint64_t>(n);
    }
}

void sync_to_device(int fd, const std::string& path) {
    if (::fsync(fd) != 0) throw_file_error("Cannot write file", path, errno);
}

}  // namespace zelvo
