// A file that replaces another only once it is complete: written under a
// temporary name beside the target and renamed over it by commit(), so a
// failure or a stop at any moment leaves the previous file as it was and no
// partial one under the target's name.
#pragma once

#include <string>

#include "output/posix_file.h"

namespace zelvo {

class ReplacedFile {
public:
    ReplacedFile() = default;
    // Abandons a file that was not committed.
    ~ReplacedFile();
    ReplacedFile(const ReplacedFile&) = delete;
    ReplacedFile& operator=(const ReplacedFile&) = delete;

    // Starts the file that is to replace target. Through a symbolic link the
    // file it points to is replaced, not the link. A target that exists and
    // is not a regular file (a device such as /dev/stdout, a FIFO) cannot be
    // replaced and is written in place. Temporaries of this target left by
    // runs that no longer exist are removed first. Throws FileError
    // "Cannot create file <target>: <reason>".
    void open(const std::string& target);

    // Writes at the current position; throws FileError naming the target.
    void write(const void* data, std::size_t size);

    // Flushes the file to the device and renames it over the target. Throws
    // FileError naming the target after removing the temporary file.
    void commit();

    // Drops the file: the temporary is removed, the target not touched.
    void abandon() noexcept;

    bool is_open() const { return fd_.valid(); }
    int fd() const { return fd_.get(); }
    // Where the bytes go until commit(); the target itself when in place.
    const std::string& working_path() const { return working_path_; }
    // The file that is replaced (a link's target), for messages.
    const std::string& target_path() const { return target_path_; }

private:
    UniqueFd fd_;
    std::string target_path_;
    std::string working_path_;
    std::string directory_;  // of the target, with its trailing '/'
    int slot_ = -1;          // in the list a stopped program removes
    bool in_place_ = false;
};

}  // namespace zelvo
