// The answer to a file that cannot be stored in the archive.
#pragma once

namespace zelvo {

// Retry processes the file again; Ignore leaves it out; Abort gives up.
enum class FileFailureAction { Retry, Ignore, Abort };

}  // namespace zelvo
