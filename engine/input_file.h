// The log, read in chunks of 1024 bytes with the end-of-file behaviour of a
// C stream: a chunk is short only when it reaches the end of the input, and
// a log whose size is a multiple of 1024 ends with one empty chunk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zelvo {

inline constexpr std::size_t kChunkSize = 1024;

// Standard input as a path: the one input that is read even when it is
// not a regular file.
inline constexpr const char* kStandardInputPath = "/dev/stdin";

class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens a regular file, or standard input, for reading; on failure
    // returns false and error() tells why.
    bool open(const std::string& path);
    void close();
    bool is_open() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }

    std::uint64_t size() const;

    // Reads up to kChunkSize bytes and points `data` at them. Throws
    // std::runtime_error on a read error that is not the end of the input.
    std::size_t read_chunk(const unsigned char*& data);
    bool eof() const { return eof_; }
    // The bytes handed out by read_chunk so far.
    std::uint64_t consumed() const { return consumed_; }

private:
    int fd_ = -1;
    std::string path_;
    std::string error_;
    std::vector<unsigned char> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    std::uint64_t consumed_ = 0;
};

}  // namespace zelvo
