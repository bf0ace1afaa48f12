// Where the bytes of a writer end up: a file, a spool, an archive member,
// standard output.
#pragma once

#include <cstddef>

namespace zelvo {

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Throws std::runtime_error naming the destination and the reason.
    virtual void write(const char* data, std::size_t size) = 0;
};

}  // namespace zelvo
