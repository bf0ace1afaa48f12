#include "engine/output_guard.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
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

bool is_output(const RunFile& f) { return f.role != RunFileRole::Input; }

bool is_stream(const RunFile& f) { return f.path == "-"; }

// The file as it stands: a standard stream's, or the path's.
bool identity(const RunFile& f, struct stat& st) {
    if (is_stream(f)) return ::fstat(is_output(f) ? STDOUT_FILENO : STDIN_FILENO, &st) == 0;
    return ::stat(f.path.c_str(), &st) == 0;
}

// An absolute path through the links of what exists of it, so that two
// spellings of a file that is still to be made compare equal.
std::string normalised(const std::string& path) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(path, ec);
    if (ec) return path;
    std::filesystem::path real = std::filesystem::weakly_canonical(p, ec);
    return (ec ? p.lexically_normal() : real).string();
}

bool same_file(const RunFile& a, const RunFile& b) {
    if (is_stream(a) && is_stream(b) && is_output(a) == is_output(b)) return true;
    struct stat sa {}, sb {};
    if (identity(a, sa) && identity(b, sb))
        return S_ISREG(sa.st_mode) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return !is_stream(a) && !is_stream(b) && normalised(a.path) == normalised(b.path);
}

std::string shown(const RunFile& f) {
    if (is_stream(f)) return is_output(f) ? "standard output" : "standard input";
    return f.path;
}

}  // namespace

std::optional<RunFileConflict> run_files_conflict(const std::vector<RunFile>& files) {
    // A companion is named as the refused output before an archive it
    // collides with: the archive is what the run is for.
    std::vector<const RunFile*> outputs;
    for (RunFileRole role : {RunFileRole::Companion, RunFileRole::Archive})
        for (const RunFile& f : files)
            if (f.role == role) outputs.push_back(&f);
    for (const RunFile* output : outputs) {
        const RunFile& out = *output;
        for (const RunFile& other : files) {
            if (&other == &out) continue;
            const bool shares_a_conversion = out.conversion == kWholeRun || other.conversion == kWholeRun ||
                                             out.conversion == other.conversion;
            const bool matters = other.role == RunFileRole::Input
                                     ? shares_a_conversion
                                     : out.role == RunFileRole::Companion || other.role == RunFileRole::Companion;
            if (!matters || !same_file(out, other)) continue;
            if (other.role == RunFileRole::Input)
                return RunFileConflict{shown(out), "it is the input file " + shown(other) + ": " + out.label +
                                                       " would replace " + other.label};
            return RunFileConflict{shown(out), "it is also " + other.label + " of this run (" + shown(other) +
                                                   "): one would replace the other"};
        }
    }
    return std::nullopt;
}

std::string output_refusal(const std::string& archive_path, const std::string& input_path) {
    if (file_name_part(archive_path).size() > NAME_MAX) return std::strerror(ENAMETOOLONG);

    if (auto conflict = run_files_conflict({{input_path, RunFileRole::Input, "the log"},
                                            {archive_path, RunFileRole::Archive, "the archive"}}))
        return conflict->reason;
    struct stat out {};
    if (::stat(archive_path.c_str(), &out) != 0) return {};  // a new file; creating it says the rest
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
