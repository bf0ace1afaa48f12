// One member's place in the archive file, and putting the file back when
// writing it fails. A new name goes after the last member. A name already
// there is written over the old member's place; the bytes from that place
// to the central directory are first kept aside, so that the members after
// it can follow the new member, or all of them can go back as they were.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "output/zip_format.h"

namespace zelvo {

class MemberReplacement {
public:
    // The place of a member called name among the entries, whose members
    // end (and whose directory starts) at directory_offset.
    MemberReplacement(const std::vector<zip::Entry>& entries, std::uint64_t directory_offset,
                      const std::string& name);

    bool replacing() const { return replacing_; }
    // Where the member's local header goes.
    std::uint64_t start() const { return start_; }

    // For a replacement: keeps the bytes from start() to directory_offset
    // of the open file fd aside. Throws FileError naming path, or target
    // when no temporary file can be made for them.
    void save_tail(int fd, std::uint64_t directory_offset, const std::string& path, const std::string& target);

    // The new member, written from start() to end, takes its place in the
    // entries: the members that followed the replaced one are copied after
    // it and their offsets moved by the change in size. Returns where the
    // members now end.
    std::uint64_t put_in_place(int fd, std::uint64_t end, const zip::Entry& entry,
                               std::vector<zip::Entry>& entries, const std::string& path) const;

    // Cuts the file where the member began and puts back what followed it.
    void restore(int fd, const std::string& path) const;

private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };

    std::size_t index_ = 0;  // place in the entries
    bool replacing_ = false;
    std::uint64_t start_ = 0;
    std::uint64_t old_extent_ = 0;  // bytes of the member being replaced
    std::unique_ptr<std::FILE, FileCloser> saved_;
    std::uint64_t saved_size_ = 0;
};

}  // namespace zelvo
