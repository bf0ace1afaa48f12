// A ByteSink that writes a file, and one that holds bytes for later: the
// track points gathered while the log is read.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "output/kml_stream.h"

namespace zelvo {

class FileSink : public ByteSink {
public:
    FileSink() = default;
    ~FileSink() override;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    // Creates or truncates the file; false (and error()) when it cannot.
    bool create(const std::string& path);
    void write(const char* data, std::size_t size) override;
    // Closes the file; throws when the last bytes could not be stored.
    void close();
    bool is_open() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }

private:
    int fd_ = -1;
    std::string path_;
    std::string error_;
};

// Bytes kept in memory up to a limit and in an anonymous temporary file
// beyond it, so that memory stays bounded however long the log is.
class SpoolSink : public ByteSink {
public:
    explicit SpoolSink(std::size_t memory_limit = 1 << 20) : limit_(memory_limit) {}
    ~SpoolSink() override;
    SpoolSink(const SpoolSink&) = delete;
    SpoolSink& operator=(const SpoolSink&) = delete;

    void write(const char* data, std::size_t size) override;
    // Hands everything written so far, in order, to `out` as raw bytes.
    void copy_to(KmlStream& out);
    bool empty() const { return memory_.empty() && !file_; }

private:
    std::size_t limit_;
    std::vector<char> memory_;
    std::FILE* file_ = nullptr;
};

}  // namespace zelvo
