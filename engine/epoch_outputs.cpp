#include "engine/epoch_outputs.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/output_guard.h"
#include "output/file_paths.h"

namespace zelvo {

const CompanionFormat& companion_format(CompanionKind kind) {
    for (const CompanionFormat& f : kCompanionFormats)
        if (f.kind == kind) return f;
    return kCompanionFormats[0];
}

std::string companion_refusal(const CompanionFile& file, const CompanionLook& look, const std::string& input_path) {
    if (file_name_part(file.path).size() > NAME_MAX) return std::strerror(ENAMETOOLONG);
    const CompanionFormat& format = companion_format(file.kind);
    if (auto conflict = run_files_conflict({{input_path, RunFileRole::Input, "the log"},
                                            {file.path, RunFileRole::Companion, format.title}}))
        return conflict->reason;
    struct stat out {};
    if (::stat(file.path.c_str(), &out) != 0) return {};  // a new file; creating it says the rest
    if (S_ISDIR(out.st_mode)) return std::strerror(EISDIR);
    if (!S_ISREG(out.st_mode)) return "it is not a regular file";
    if (out.st_size == 0) return {};

    const int fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::string("it exists and cannot be read to see what it is: ") + std::strerror(errno);
    char head[4096];
    const ssize_t n = ::pread(fd, head, sizeof head, 0);
    ::close(fd);
    if (n < 0 || !format.own_kind(std::string_view(head, static_cast<std::size_t>(n)), look))
        return std::string("it exists and is not a ") + format.title +
               " file this program wrote; it is left as it is: choose another name or remove it";
    return {};
}

}  // namespace zelvo
