#include "output/posix_file.h"

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace zelvo {

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

void write_all(int fd, const void* data, std::size_t size, const std::string& path) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            int code = errno;
            throw FileError(describe_errno("Cannot write file", path, code), code);
        }
        // A write of zero bytes on a regular file means no space was found.
        if (n == 0) throw FileError(describe_errno("Cannot write file", path, ENOSPC), ENOSPC);
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
            int code = errno;
            throw FileError(describe_errno("Cannot write file", path, code), code);
        }
        if (n == 0) throw FileError(describe_errno("Cannot write file", path, ENOSPC), ENOSPC);
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
        int code = errno;
        throw FileError(describe_errno("Cannot read file", path, code), code);
    }
}

}  // namespace zelvo
