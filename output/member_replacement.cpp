#include "output/member_replacement.h"

#include <cerrno>

#include "output/posix_file.h"

namespace zelvo {

MemberReplacement::MemberReplacement(const std::vector<zip::Entry>& entries, std::uint64_t directory_offset,
                                     const std::string& name) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].name == name) {
            replacing_ = true;
            index_ = i;
            break;
        }
    }
    if (!replacing_) {
        index_ = entries.size();
        start_ = directory_offset;
        return;
    }
    start_ = entries[index_].local_header_offset;
    std::uint64_t next =
        index_ + 1 < entries.size() ? entries[index_ + 1].local_header_offset : directory_offset;
    old_extent_ = next - start_;
}

void MemberReplacement::save_tail(int fd, std::uint64_t directory_offset, const std::string& path,
                                  const std::string& target) {
    std::FILE* saved = std::tmpfile();
    if (saved == nullptr) throw_file_error("Cannot create a temporary file for", target, errno);
    saved_.reset(saved);
    saved_size_ = directory_offset - start_;
    copy_range(fd, start_, ::fileno(saved), 0, saved_size_, path);
}

std::uint64_t MemberReplacement::put_in_place(int fd, std::uint64_t end, const zip::Entry& entry,
                                              std::vector<zip::Entry>& entries, const std::string& path) const {
    if (!replacing_) {
        entries.push_back(entry);
        return end;
    }
    const std::uint64_t following = saved_size_ - old_extent_;
    copy_range(::fileno(saved_.get()), old_extent_, fd, end, following, path);
    const std::uint64_t new_extent = end - start_;
    for (std::size_t i = index_ + 1; i < entries.size(); ++i)
        entries[i].local_header_offset = entries[i].local_header_offset - old_extent_ + new_extent;
    entries[index_] = entry;
    return end + following;
}

void MemberReplacement::restore(int fd, const std::string& path) const {
    truncate_to(fd, start_, path);
    if (replacing_) copy_range(::fileno(saved_.get()), 0, fd, start_, saved_size_, path);
}

}  // namespace zelvo
