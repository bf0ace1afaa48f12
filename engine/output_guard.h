// What a run checks before it reads its log, so that an output it must not
// write is refused with everything left as it was.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zelvo {

// Every file a run reads or writes. "-" is a standard stream: standard input
// as an input, standard output as an output.
enum class RunFileRole {
    Input,      // a log, the settings file
    Archive,    // a log's archive; a later one may replace an earlier one
    Companion,  // any other output (the summary): never shares a file
};
// A file that belongs to all the conversions of a run (the settings file,
// the summary) rather than to one of them.
inline constexpr int kWholeRun = -1;
struct RunFile {
    std::string path;
    RunFileRole role;
    std::string label;  // "the log", "the summary": how a refusal names it
    int conversion = kWholeRun;  // which log's conversion it belongs to
};

struct RunFileConflict {
    std::string path;    // the output that is refused
    std::string reason;  // why, naming the file it would replace
};

// The first output that is the same file as an input it could replace
// before that is read (one of its own conversion's, or one of the whole
// run's), or a companion output that is the same file as another output:
// by identity (device and inode) where both exist, or by the normalised
// path. An archive may replace another log's archive, or a log of a later
// conversion, as runs one after another would. A device or FIFO named twice
// (a terminal as standard input and standard output) is no conflict; the
// standard output named twice is.
std::optional<RunFileConflict> run_files_conflict(const std::vector<RunFile>& files);

// Why the archive may not be written at archive_path, or empty when it may:
// a name longer than the file system takes, the log itself, something that
// is not a regular file, or a file that is neither empty nor a ZIP archive
// (an archive, such as one a previous run wrote, is replaced).
std::string output_refusal(const std::string& archive_path, const std::string& input_path);

}  // namespace zelvo
