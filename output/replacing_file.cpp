#include "output/replacing_file.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

#include "output/file_paths.h"
#include "output/temporary_files.h"

namespace zelvo {

ReplacingFile::ReplacingFile(std::string path) : path_(std::move(path)) {
    TemporaryFile made = create_temporary_beside(directory_part(path_), file_name_part(path_));
    if (!made.fd.valid()) throw_file_error("Cannot create file", path_, made.error);
    fd_ = std::move(made.fd);
    temporary_ = std::move(made.path);
    slot_ = made.slot;
}

void ReplacingFile::write(const char* data, std::size_t size) {
    if (!fd_.valid()) throw_file_error("Cannot write file", path_, EBADF);
    write_all(fd_.get(), data, size, path_);
}

void ReplacingFile::commit() {
    if (!fd_.valid()) throw_file_error("Cannot write file", path_, EBADF);
    try {
        sync_to_device(fd_.get(), path_);
        if (int code = fd_.close_checked(); code != 0) throw_file_error("Cannot write file", path_, code);
        if (::rename(temporary_.c_str(), path_.c_str()) != 0) throw_file_error("Cannot create file", path_, errno);
    } catch (...) {
        abandon();
        throw;
    }
    temporary_.clear();
    forget_temporary_file(slot_);
    slot_ = -1;
}

void ReplacingFile::abandon() noexcept {
    fd_.close_checked();
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
    forget_temporary_file(slot_);
    slot_ = -1;
}

void StandardOutputSink::write(const char* data, std::size_t size) {
    write_all(STDOUT_FILENO, data, size, "standard output");
}

}  // namespace zelvo
