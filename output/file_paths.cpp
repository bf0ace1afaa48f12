#include "output/file_paths.h"

#include <limits.h>
#include <unistd.h>

namespace zelvo {

std::string directory_part(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string file_name_part(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string numbered_name(const std::string& path, std::size_t k) {
    if (k == 0) return path;
    const std::size_t name = path.rfind('/') + 1;  // 0 without a '/'
    std::size_t dot = path.rfind('.');
    // A leading dot names a hidden file, not an extension.
    if (dot == std::string::npos || dot <= name) dot = path.size();
    return path.substr(0, dot) + '-' + std::to_string(k + 1) + path.substr(dot);
}

std::string executable_path() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    return std::string(buf, static_cast<std::size_t>(n));
}

std::string executable_dir() {
    const std::string path = executable_path();
    return path.empty() ? "./" : directory_part(path);
}

}  // namespace zelvo
