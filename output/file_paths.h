// The parts of a path, and where the running program lives. Paths use '/'.
#pragma once

#include <cstddef>
#include <string>

namespace zelvo {

// Directory part with its trailing '/', or empty when there is none.
std::string directory_part(const std::string& path);
// The part after the last '/': the whole path when there is none.
std::string file_name_part(const std::string& path);

// The name of the k-th of several files of one kind (k from 0): the path
// itself for the first, "-2", "-3" ... before the file name's extension for
// the others ("day.gpx", "day-2.gpx"; "dir.d/day" gives "dir.d/day-2").
std::string numbered_name(const std::string& path, std::size_t k);

// The running program's file, from /proc/self/exe; empty when unknown.
std::string executable_path();
// Its directory with the trailing '/', or "./" when unknown.
std::string executable_dir();

}  // namespace zelvo
