// A ByteSink that holds bytes for later: the track points gathered while the
// log is read.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "output/kml_stream.h"

namespace zelvo {

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
    // The same straight into any sink (a stream writing to it is flushed
    // first by its owner).
    void copy_to(ByteSink& out);
    bool empty() const { return memory_.empty() && !file_; }

private:
    void copy_blocks(const std::function<void(const char*, std::size_t)>& take);

    std::size_t limit_;
    std::vector<char> memory_;
    std::FILE* file_ = nullptr;
};

}  // namespace zelvo
