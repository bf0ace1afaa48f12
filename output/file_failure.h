// The answer to a file that cannot be stored in the archive.
#pragma once

#include <string>

namespace zelvo {

// Retry processes the file again; Ignore leaves it out; Abort gives up.
enum class FileFailureAction { Retry, Ignore, Abort };

// The answer without a user: the failure is named on stderr and the run
// gives up.
FileFailureAction report_and_abort(const std::string& text);

}  // namespace zelvo
