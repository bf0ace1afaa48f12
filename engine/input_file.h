// The log, read in chunks of 1024 bytes with the end-of-file behaviour of a
// C stream: a chunk is short only when it reaches the end of the input, and
// a log whose size is a multiple of 1024 ends with one empty chunk. A log
// compressed with gzip (one member or several one after the other) is read
// as the log it holds, inflated as it is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace zelvo {

inline constexpr std::size_t kChunkSize = 1024;

// Standard input as a path: the one input that is read even when it is
// not a regular file.
inline constexpr const char* kStandardInputPath = "/dev/stdin";

class InputFile {
public:
    InputFile();
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens a regular file, or standard input, for reading; on failure
    // returns false and error() tells why.
    bool open(const std::string& path);
    void close();
    bool is_open() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }

    // The size of the file as it lies on the disk (compressed or not).
    std::uint64_t size() const;
    bool compressed() const { return inflater_ != nullptr; }

    // Up to `limit` bytes of the log from where reading stands, without
    // consuming them (the detection of its format looks at them).
    std::span<const unsigned char> peek(std::size_t limit);

    // Reads up to kChunkSize bytes and points `data` at them. Throws
    // std::runtime_error on a read error that is not the end of the input,
    // and on compressed data that is damaged or cut short.
    std::size_t read_chunk(const unsigned char*& data);
    bool eof() const { return eof_; }
    // The bytes of the file behind the chunks handed out so far: those of
    // the chunks themselves, or of the compressed data inflated for them.
    std::uint64_t consumed() const;

private:
    struct Inflater;

    // Adds bytes of the log to the buffer; false once the log has ended.
    bool fill();
    std::size_t read_raw(unsigned char* into, std::size_t room);

    int fd_ = -1;
    std::string path_;
    std::string error_;
    std::vector<unsigned char> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool started_ = false;       // the first bytes were looked at for the gzip magic
    bool source_ended_ = false;  // no byte of the log is left to add
    bool eof_ = false;
    std::uint64_t consumed_ = 0;
    std::unique_ptr<Inflater> inflater_;
};

}  // namespace zelvo
