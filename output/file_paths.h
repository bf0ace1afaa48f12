// The parts of a path, and where the running program lives. Paths use '/'.
#pragma once

#include <string>

namespace zelvo {

// Directory part with its trailing '/', or empty when there is none.
std::string directory_part(const std::string& path);
// The part after the last '/': the whole path when there is none.
std::string file_name_part(const std::string& path);

// The running program's file, from /proc/self/exe; empty when unknown.
std::string executable_path();
// Its directory with the trailing '/', or "./" when unknown.
std::string executable_dir();

}  // namespace zelvo
