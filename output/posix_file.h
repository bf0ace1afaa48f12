// Small checked wrappers over POSIX file descriptors for the output writers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace zelvo {

// A failed system call on a file: the message names the file and the
// reason; code() keeps errno so a caller can tell a full disk apart.
class FileError : public std::runtime_error {
public:
    FileError(const std::string& message, int code) : std::runtime_error(message), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};

// Owns one file descriptor; closing it is the owner's explicit choice
// (close_checked) or, unchecked, the destructor's.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes and reports the result; the descriptor is gone either way.
    // Returns 0 or the errno of the failure.
    int close_checked();

private:
    int fd_ = -1;
};

// "<what> <path>: <reason>" for the current errno.
std::string describe_errno(const std::string& what, const std::string& path, int code);

// Throws FileError "<what> <path>: <reason>" keeping the code. Takes the
// text as a plain string, so that nothing between reading errno and the
// call can change it.
[[noreturn]] void throw_file_error(const char* what, const std::string& path, int code);

// Writes every byte at the current position, retrying short writes and
// interruptions. Throws FileError naming path.
void write_all(int fd, const void* data, std::size_t size, const std::string& path);

// The same at an absolute offset, leaving the file position alone.
void pwrite_all(int fd, const void* data, std::size_t size, std::uint64_t offset,
                const std::string& path);

// Reads up to size bytes; returns 0 only at the end of the file.
std::size_t read_some(int fd, void* data, std::size_t size, const std::string& path);

// Cuts or extends the file to size bytes.
void truncate_to(int fd, std::uint64_t size, const std::string& path);

// Moves the file position to offset.
void seek_to(int fd, std::uint64_t offset, const std::string& path);

// Copies size bytes between two open files at the given offsets, leaving
// both file positions alone; path names the file in a failure.
void copy_range(int from, std::uint64_t from_offset, int to, std::uint64_t to_offset, std::uint64_t size,
                const std::string& path);

// Flushes the file's data to the device.
void sync_to_device(int fd, const std::string& path);

}  // namespace zelvo
