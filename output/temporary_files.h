// The files a run has made and not yet handed over (the archive under its
// temporary name). A program stopped by a signal removes them from its
// handler, so only async-signal-safe calls touch the list there.
#pragma once

#include <string>

namespace zelvo {

// Notes a file to remove if the program is stopped; returns its slot, or -1
// when every slot is taken (the file is then only left to the next run's
// clean-up of stale files).
int note_temporary_file(const std::string& path);
// The same for a private directory, removed after the files.
int note_temporary_directory(const std::string& path);

// The file was handed over or removed; its slot is free again.
void forget_temporary_file(int slot);

// Removes every noted file, then every noted directory. Async-signal-safe:
// only unlink(2) and rmdir(2).
void remove_temporary_files_now();

}  // namespace zelvo
