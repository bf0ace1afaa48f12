#include "output/replaced_file.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "output/file_paths.h"
#include "output/temporary_files.h"

namespace zelvo {

ReplacedFile::~ReplacedFile() { abandon(); }

void ReplacedFile::open(const std::string& target) {
    abandon();
    std::string real = target;
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* resolved = ::realpath(target.c_str(), nullptr)) {
            real = resolved;
            std::free(resolved);
        }
    }
    if (::stat(real.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode)) throw_file_error("Cannot create file", target, EISDIR);
        fd_ = UniqueFd(::open(real.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY));
        if (!fd_.valid()) throw_file_error("Cannot create file", target, errno);
        target_path_ = working_path_ = real;
        in_place_ = true;
        return;
    }
    const std::string dir = directory_part(real);
    directory_ = dir.empty() ? "./" : dir;
    remove_stale_temporaries(directory_, file_name_part(real));
    TemporaryFile made = create_temporary_beside(directory_, file_name_part(real));
    if (!made.fd.valid()) throw_file_error("Cannot create file", target, made.error);
    fd_ = std::move(made.fd);
    working_path_ = made.path;
    slot_ = made.slot;
    target_path_ = real;
    in_place_ = false;
}

void ReplacedFile::write(const void* data, std::size_t size) { write_all(fd_.get(), data, size, target_path_); }

void ReplacedFile::commit() {
    try {
        if (!in_place_) sync_to_device(fd_.get(), target_path_);
        if (int code = fd_.close_checked(); code != 0) throw_file_error("Cannot write file", target_path_, code);
        if (!in_place_) {
            if (::rename(working_path_.c_str(), target_path_.c_str()) != 0)
                throw_file_error("Cannot create file", target_path_, errno);
            forget_temporary_file(slot_);
            slot_ = -1;
            // Make the new name itself durable.
            UniqueFd dir(::open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (dir.valid()) ::fsync(dir.get());
        }
        working_path_.clear();
    } catch (...) {
        abandon();
        throw;
    }
}

void ReplacedFile::abandon() noexcept {
    fd_.close_checked();
    if (!in_place_ && !working_path_.empty()) ::unlink(working_path_.c_str());
    working_path_.clear();
    forget_temporary_file(slot_);
    slot_ = -1;
    in_place_ = false;
}

}  // namespace zelvo
