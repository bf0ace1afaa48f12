// The files a run has made and not yet handed over (the archive under its
// temporary name). A program stopped by a signal removes them from its
// handler, so only async-signal-safe calls touch the list there.
#pragma once

#include <string>

#include "output/posix_file.h"

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

// A new file under a hidden name beside the file it is to replace, in the
// same directory so that the final rename stays on one file system:
// "." name "." pid "-" number ".tmp", the name cut so that the whole stays
// within NAME_MAX. It is noted for removal before it exists, so that a
// signal in between finds it.
struct TemporaryFile {
    UniqueFd fd;        // read and write; invalid when it could not be made
    std::string path;
    int slot = -1;      // from note_temporary_file
    int error = 0;      // errno of the failure
};
// directory ends with '/'.
TemporaryFile create_temporary_beside(const std::string& directory, const std::string& file_name);

// Removes from the directory (ending with '/') the temporaries that
// create_temporary_beside made for file_name in a process that no longer
// exists, when they are ours and still empty or ZIP data.
void remove_stale_temporaries(const std::string& directory, const std::string& file_name);

// Removes from parent (ending with '/') the private directories named
// prefix, pid, '-' and six characters (as mkdtemp completes them) whose
// process no longer exists, when they are ours and hold nothing but the file
// member_name and its temporaries.
void remove_stale_private_directories(const std::string& parent, const std::string& prefix,
                                      const std::string& member_name);

}  // namespace zelvo
