// An output file that is never seen half written: its bytes go to a
// temporary beside it, which takes its name only when complete. Until then
// (a failure, a signal) the previous file stays as it was.
#pragma once

#include <string>

#include "output/byte_sink.h"
#include "output/posix_file.h"

namespace zelvo {

class ReplacingFile : public ByteSink {
public:
    // Makes the temporary beside `path`; throws FileError naming `path`.
    explicit ReplacingFile(std::string path);
    // Without commit() the temporary goes and the old file stays.
    ~ReplacingFile() override { abandon(); }
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    void write(const char* data, std::size_t size) override;
    // Puts the complete file in place of the old one; throws FileError.
    void commit();
    void abandon() noexcept;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string temporary_;
    UniqueFd fd_;
    int slot_ = -1;
};

// Standard output as a sink; a reader that went away is a failed write.
class StandardOutputSink : public ByteSink {
public:
    void write(const char* data, std::size_t size) override;
};

}  // namespace zelvo
