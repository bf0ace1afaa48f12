// What a run checks before it reads its log, so that an output it must not
// write is refused with everything left as it was.
#pragma once

#include <string>

namespace zelvo {

// Why the archive may not be written at archive_path, or empty when it may:
// a name longer than the file system takes, the log itself, something that
// is not a regular file, or a file that is neither empty nor a ZIP archive
// (an archive, such as one a previous run wrote, is replaced).
std::string output_refusal(const std::string& archive_path, const std::string& input_path);

}  // namespace zelvo
