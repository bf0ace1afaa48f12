#include "engine/output_guard.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "output/file_paths.h"

namespace zelvo {

namespace {

// A ZIP archive opens with a local header, or with the end record alone
// when it has no members.
bool starts_like_zip(const unsigned char* head, std::size_t size) {
    return size == 4 && head[0] == 'P' && head[1] == 'K' &&
           ((head[2] == 3 && head[3] == 4) || (head[2] == 5 && head[3] == 6));
}

}  // namespace

std::string output_refusal(const std::string& archive_path, const std::string& input_path) {
    if (file_name_part(archive_path).size() > NAME_MAX) return std::strerror(ENAMETOOLONG);

    struct stat out {};
    if (::stat(archive_path.c_str(), &out) != 0) return {};  // a new file; creating it says the rest
    struct stat in {};
    if (::stat(input_path.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino)
        return "it is the input file; the archive would replace the log";
    if (S_ISDIR(out.st_mode)) return std::strerror(EISDIR);
    if (!S_ISREG(out.st_mode)) return "it is not a regular file";
    if (out.st_size == 0) return {};

    int fd = ::open(archive_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::string("it exists and cannot be read to see what it is: ") + std::strerror(errno);
    unsigned char head[4];
    ssize_t n = ::pread(fd, head, sizeof head, 0);
    ::close(fd);
    if (n < 0 || !starts_like_zip(head, static_cast<std::size_t>(n)))
        return "it exists and is not a ZIP archive; it is left as it is: choose another name or remove it";
    return {};
}

}  // namespace zelvo
