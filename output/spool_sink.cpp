#include "output/spool_sink.h"

#include <cerrno>
#include <cstring>
#include <functional>
#include <stdexcept>

namespace zelvo {

SpoolSink::~SpoolSink() {
    if (file_) std::fclose(file_);
}

void SpoolSink::write(const char* data, std::size_t size) {
    if (!file_ && memory_.size() + size <= limit_) {
        memory_.insert(memory_.end(), data, data + size);
        return;
    }
    if (!file_) {
        file_ = std::tmpfile();
        if (!file_) throw std::runtime_error(std::string("Cannot create a temporary file: ") + std::strerror(errno));
        if (!memory_.empty() && std::fwrite(memory_.data(), 1, memory_.size(), file_) != memory_.size())
            throw std::runtime_error(std::string("Cannot write a temporary file: ") + std::strerror(errno));
        std::vector<char>().swap(memory_);
    }
    if (std::fwrite(data, 1, size, file_) != size)
        throw std::runtime_error(std::string("Cannot write a temporary file: ") + std::strerror(errno));
}

void SpoolSink::copy_to(KmlStream& out) {
    if (!file_) {
        out.put_raw(memory_.data(), memory_.size());
        return;
    }
    copy_blocks([&out](const char* data, std::size_t n) { out.put_raw(data, n); });
}

void SpoolSink::copy_to(ByteSink& out) {
    if (!file_) {
        if (!memory_.empty()) out.write(memory_.data(), memory_.size());
        return;
    }
    copy_blocks([&out](const char* data, std::size_t n) { out.write(data, n); });
}

void SpoolSink::copy_blocks(const std::function<void(const char*, std::size_t)>& take) {
    if (std::fflush(file_) != 0 || std::fseek(file_, 0, SEEK_SET) != 0)
        throw std::runtime_error(std::string("Cannot read a temporary file: ") + std::strerror(errno));
    std::vector<char> block(1 << 16);
    std::size_t n;
    while ((n = std::fread(block.data(), 1, block.size(), file_)) > 0) take(block.data(), n);
    if (std::ferror(file_)) throw std::runtime_error("Cannot read a temporary file");
    std::fseek(file_, 0, SEEK_END);
}

}  // namespace zelvo
