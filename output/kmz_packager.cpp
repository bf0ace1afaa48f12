#include "output/kmz_packager.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "output/deflate_blocks.h"
#include "output/file_paths.h"
#include "output/temporary_files.h"

namespace zelvo {
namespace {

// The name the packager's error texts begin with.
constexpr const char* kObjectName = "KmzPackager";

// Error numbers of the texts; where no fixed number applies, errno is used.
constexpr int kErrorBlankName = 10;
constexpr int kErrorCannotOpen = 33;
constexpr int kErrorDiskFull = 65;

constexpr const char* kAskSuffix = ". File processing error, possibly disk is full";

constexpr std::size_t kReadBlock = DeflateBlocks::kBlockSize;

std::string five_digits(int number) {
    char text[16];
    std::snprintf(text, sizeof text, "%05d", number);
    return text;
}

std::string error_text_of(const std::string& message, int number) {
    return std::string(kObjectName) + ": " + message + " - Native error: " + five_digits(number);
}

// A member that cannot be stored: the question for OnProcessFileFailure.
class MemberFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The directory to open or create files in: "." for a bare name, "/" for
// the root, otherwise without its trailing '/'.
std::string directory_of(const std::string& path) {
    const std::string dir = directory_part(path);
    if (dir.empty()) return ".";
    if (dir == "/") return "/";
    return dir.substr(0, dir.size() - 1);
}

bool has_non_ascii(const std::string& name) {
    for (unsigned char c : name)
        if (c > 0x7F) return true;
    return false;
}

void truncate_to(int fd, std::uint64_t size, const std::string& path) {
    while (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        if (errno == EINTR) continue;
        int code = errno;
        throw FileError(describe_errno("Cannot write file", path, code), code);
    }
}

void seek_to(int fd, std::uint64_t offset, const std::string& path) {
    if (::lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
        int code = errno;
        throw FileError(describe_errno("Cannot write file", path, code), code);
    }
}

// Copies size bytes between two open files at the given offsets.
void copy_range(int from, std::uint64_t from_offset, int to, std::uint64_t to_offset,
                std::uint64_t size, const std::string& path) {
    std::vector<unsigned char> buffer(std::min<std::uint64_t>(size, kReadBlock));
    while (size > 0) {
        std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size, buffer.size()));
        ssize_t n = ::pread(from, buffer.data(), want, static_cast<off_t>(from_offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            int code = n < 0 ? errno : EIO;
            throw FileError(describe_errno("Cannot copy within", path, code), code);
        }
        pwrite_all(to, buffer.data(), static_cast<std::size_t>(n), to_offset, path);
        from_offset += static_cast<std::uint64_t>(n);
        to_offset += static_cast<std::uint64_t>(n);
        size -= static_cast<std::uint64_t>(n);
    }
}

// A temporary archive: "." name "." pid "-" number ".tmp", as create()
// makes it. Returns the pid, or 0 for any other name.
long temporary_owner(const std::string& name) {
    const std::string suffix = ".tmp";
    if (name.size() < 8 || name[0] != '.' || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return 0;
    const std::string stem = name.substr(0, name.size() - suffix.size());
    const std::size_t dot = stem.rfind('.');
    const std::size_t dash = stem.rfind('-');
    if (dot == 0 || dot == std::string::npos || dash == std::string::npos || dash < dot + 2 ||
        dash + 1 == stem.size())
        return 0;
    auto digits = [](const std::string& t) { return !t.empty() && t.find_first_not_of("0123456789") == std::string::npos; };
    const std::string pid = stem.substr(dot + 1, dash - dot - 1);
    if (!digits(pid) || !digits(stem.substr(dash + 1)) || pid.size() > 9) return 0;
    return std::atol(pid.c_str());
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

FileFailureAction report_and_abort(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
    return FileFailureAction::Abort;
}

// One member being written. Until it is committed, entries_ and
// directory_offset_ still describe the archive as it was, and roll_back()
// can restore the file from them and the saved bytes.
struct KmzPackager::Addition {
    Entry entry;
    std::size_t index = 0;      // place in entries_
    bool replacing = false;
    std::uint64_t start = 0;    // where writing began: the local header
    std::uint64_t old_extent = 0;  // bytes of the member being replaced
    // For a replacement: the bytes from start to the old directory, kept
    // to put them back after the new member, or after a failure.
    std::unique_ptr<std::FILE, FileCloser> saved;
    std::uint64_t saved_size = 0;
    std::uint64_t data_start = 0;  // first byte of compressed data
    std::uint64_t position = 0;    // end of what has been written
    std::unique_ptr<DeflateBlocks> deflater;
};

class KmzPackager::MemberSink : public ByteSink {
public:
    explicit MemberSink(KmzPackager& owner) : owner_(owner) {}
    void write(const char* data, std::size_t size) override {
        owner_.stream_member_data(reinterpret_cast<const unsigned char*>(data), size);
    }

private:
    KmzPackager& owner_;
};

KmzPackager::KmzPackager() : KmzPackager(Options{}) {}

KmzPackager::KmzPackager(Options options)
    : OnProcessFileFailure(report_and_abort), options_(options) {
    if (options_.size_limit > zip::kZip32Limit) options_.size_limit = zip::kZip32Limit;
}

KmzPackager::~KmzPackager() { abandon(); }

std::string KmzPackager::error_text(const std::string& message, int number) const {
    return error_text_of(message, number);
}

void KmzPackager::fail_member(const std::string& message, int number) {
    throw MemberFailure(error_text(message, number));
}

std::string KmzPackager::write_failure_text(int code) const {
    if (code == ENOSPC || code == EDQUOT)
        return "Disk is full. There is not enough free space on disk. - Native error: " +
               five_digits(kErrorDiskFull);
    return error_text("Cannot write file \"" + target_path_ + "\": " + std::strerror(code), code);
}

void KmzPackager::require_open(const char* operation) const {
    if (!fd_.valid())
        throw KmzError(error_text(std::string(operation) + " without an open archive", EINVAL));
    if (broken_)
        throw KmzError(error_text("The archive " + target_path_ +
                                      " was damaged by an earlier failure and cannot be continued",
                                  EIO));
    if (addition_)
        throw KmzError(error_text(std::string(operation) + " while a member is being written", EINVAL));
}

void remove_stale_temporaries(const std::string& directory) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory.c_str()), ::closedir);
    if (!dir) return;
    while (const dirent* e = ::readdir(dir.get())) {
        const std::string name = e->d_name;
        const long pid = temporary_owner(name);
        if (pid <= 0 || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        // Only our own files that still look like a temporary archive: empty
        // or starting as a ZIP file does.
        const std::string path = directory + "/" + name;
        UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        struct stat st {};
        if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        unsigned char head[4] = {};
        if (st.st_size > 0 && (::pread(fd.get(), head, 4, 0) != 4 || head[0] != 'P' || head[1] != 'K'))
            continue;
        ::unlink(path.c_str());
    }
}

void KmzPackager::create(const std::string& archive_path) {
    if (fd_.valid()) throw KmzError(error_text("An archive is already open", EINVAL));

    std::string target = archive_path;
    if (file_name_part(target).empty())
        throw KmzError(error_text("File name is blank. Specify appropriate file name", kErrorBlankName));
    // Through a symbolic link the archive replaces the file it points to,
    // not the link.
    struct stat st{};
    if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(target.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    if (::stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw KmzError(describe_errno("Cannot create file", archive_path, EISDIR));

    const std::string directory = directory_of(target);
    remove_stale_temporaries(directory);
    // Hidden, beside the target, so that the final rename stays on one file
    // system; the name is cut so the temporary name stays within NAME_MAX.
    const std::string prefix = directory + "/." + file_name_part(target).substr(0, 180) + "." +
                               std::to_string(::getpid()) + "-";
    static std::atomic<unsigned> counter = 0;
    int code = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = prefix + std::to_string(counter++) + ".tmp";
        // Noted before it exists, so that a signal in between finds it.
        temporary_slot_ = note_temporary_file(candidate);
        int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = UniqueFd(fd);
            working_path_ = candidate;
            break;
        }
        code = errno;
        forget_temporary_file(temporary_slot_);
        temporary_slot_ = -1;
        if (code != EEXIST) break;
    }
    if (!fd_.valid()) throw KmzError(describe_errno("Cannot create file", archive_path, code));

    target_path_ = target;
    entries_.clear();
    directory_offset_ = 0;
    directory_written_ = false;
    broken_ = false;
}

void KmzPackager::add_file(const std::string& file_path) {
    require_open("add_file");
    add_asking([&] { add_file_once(file_path); });
}

void KmzPackager::add_bytes(const std::string& name, std::span<const unsigned char> bytes,
                            std::time_t modified) {
    require_open("add_bytes");
    add_asking([&] { add_bytes_once(name, bytes, modified); });
}

// One addition; a member that cannot be stored is put back and the owner is
// asked whether to retry, leave it out or give up.
template <typename Once>
void KmzPackager::add_asking(Once&& once) {
    for (;;) {
        std::string failure;
        try {
            once();
            return;
        } catch (const MemberFailure& e) {
            failure = e.what();
        } catch (const FileError& e) {
            failure = write_failure_text(e.code());
        } catch (...) {
            roll_back();
            throw;
        }
        roll_back();
        if (broken_) throw KmzError(failure + " (the archive could not be put back)");
        FileFailureAction action =
            OnProcessFileFailure ? OnProcessFileFailure(failure + kAskSuffix) : report_and_abort(failure + kAskSuffix);
        if (action == FileFailureAction::Retry) continue;
        if (action == FileFailureAction::Ignore) return;
        throw KmzError(failure);
    }
}

void KmzPackager::add_file_once(const std::string& file_path) {
    UniqueFd in(::open(file_path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.valid()) {
        if (errno == ENOENT || errno == ENOTDIR) return;  // no file: nothing to add
        fail_member("Cannot open file \"" + file_path + "\"", kErrorCannotOpen);
    }
    struct stat st{};
    if (::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode))
        fail_member("Cannot open file \"" + file_path + "\"", kErrorCannotOpen);
    struct stat self{};
    if (::fstat(fd_.get(), &self) == 0 && self.st_dev == st.st_dev && self.st_ino == st.st_ino)
        return;  // the archive being written is never a member of itself
    if (static_cast<std::uint64_t>(st.st_size) >= options_.size_limit)
        fail_member("File \"" + file_path +
                        "\" is 4 GiB or larger; an archive without Zip64 cannot hold it",
                    EFBIG);

    start_addition(file_name_part(file_path), st.st_mtime);
    std::vector<unsigned char> buffer(kReadBlock);
    for (;;) {
        std::size_t n = 0;
        try {
            n = read_some(in.get(), buffer.data(), buffer.size(), file_path);
        } catch (const FileError& e) {
            fail_member("Cannot read file \"" + file_path + "\": " + std::strerror(e.code()), e.code());
        }
        if (n == 0) break;
        write_member_data(buffer.data(), n);
    }
    finish_addition();
}

void KmzPackager::add_bytes_once(const std::string& name, std::span<const unsigned char> bytes,
                                 std::time_t modified) {
    if (bytes.size() >= options_.size_limit)
        fail_member("\"" + name + "\" is 4 GiB or larger; an archive without Zip64 cannot hold it", EFBIG);
    start_addition(file_name_part(name), modified);
    // In the blocks a file is read in, so the member is the same.
    for (std::size_t at = 0; at < bytes.size(); at += kReadBlock)
        write_member_data(bytes.data() + at, std::min(kReadBlock, bytes.size() - at));
    finish_addition();
}

std::unique_ptr<KmzPackager::Addition> KmzPackager::place_addition(const std::string& name) {
    auto a = std::make_unique<Addition>();
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].name == name) {
            a->replacing = true;
            a->index = i;
            break;
        }
    }
    if (!a->replacing) {
        if (entries_.size() >= zip::kMaxEntries)
            fail_member("The archive cannot hold more than " + std::to_string(zip::kMaxEntries) +
                            " members without Zip64",
                        EFBIG);
        a->index = entries_.size();
        a->start = directory_offset_;
    } else {
        a->start = entries_[a->index].local_header_offset;
        std::uint64_t next = a->index + 1 < entries_.size()
                                 ? entries_[a->index + 1].local_header_offset
                                 : directory_offset_;
        a->old_extent = next - a->start;
    }
    if (a->start >= options_.size_limit)
        fail_member("Cannot add \"" + name + "\": the archive would reach 4 GiB, the limit without Zip64",
                    EFBIG);
    return a;
}

void KmzPackager::save_tail(Addition& a) {
    std::FILE* saved = std::tmpfile();
    if (saved == nullptr) {
        int code = errno;
        throw FileError(describe_errno("Cannot create a temporary file for", target_path_, code), code);
    }
    a.saved.reset(saved);
    a.saved_size = directory_offset_ - a.start;
    copy_range(fd_.get(), a.start, ::fileno(saved), 0, a.saved_size, working_path_);
}

void KmzPackager::start_addition(const std::string& name, std::time_t modified) {
    std::unique_ptr<Addition> a = place_addition(name);
    Entry& e = a->entry;
    e.name = name;
    e.flags = has_non_ascii(name) ? zip::kFlagUtf8Name : 0;
    e.modified = zip::dos_date_time(modified);
    e.local_header_offset = a->start;

    if (a->replacing) save_tail(*a);

    // From here on a failure must put the file back.
    addition_ = std::move(a);
    Addition& add = *addition_;
    truncate_to(fd_.get(), add.start, working_path_);
    seek_to(fd_.get(), add.start, working_path_);

    // The local header is written twice: first with a placeholder CRC and
    // no sizes, then, once the data is written, with the real values.
    std::vector<unsigned char> header = local_header(e, 0xFFFFFFFFu, 0, 0);
    write_all(fd_.get(), header.data(), header.size(), working_path_);
    add.data_start = add.start + header.size();
    add.position = add.data_start;

    add.deflater = std::make_unique<DeflateBlocks>(
        [this](const unsigned char* data, std::size_t size) {
            Addition& cur = *addition_;
            if (cur.position + size >= options_.size_limit)
                fail_member("Cannot add \"" + cur.entry.name +
                                "\": the archive would reach 4 GiB, the limit without Zip64",
                            EFBIG);
            write_all(fd_.get(), data, size, working_path_);
            cur.position += size;
        },
        options_.compression_threads);
}

void KmzPackager::write_member_data(const unsigned char* data, std::size_t size) {
    Addition& add = *addition_;
    if (add.deflater->bytes_in() + size >= options_.size_limit)
        fail_member("\"" + add.entry.name + "\" is 4 GiB or larger; an archive without Zip64 cannot hold it",
                    EFBIG);
    add.deflater->write(data, size);
}

void KmzPackager::finish_addition() {
    Addition& add = *addition_;
    Entry& e = add.entry;
    if (add.deflater->bytes_in() == 0) {
        // An empty file is stored, with no data at all.
        e.method = zip::kMethodStored;
        e.crc = 0;
        e.compressed_size = 0;
        e.uncompressed_size = 0;
    } else {
        add.deflater->finish();
        e.method = zip::kMethodDeflate;
        e.crc = add.deflater->crc32();
        e.compressed_size = add.deflater->bytes_out();
        e.uncompressed_size = add.deflater->bytes_in();
    }
    add.deflater.reset();
    std::vector<unsigned char> header = local_header(e, e.crc, e.compressed_size, e.uncompressed_size);
    pwrite_all(fd_.get(), header.data(), header.size(), add.start, working_path_);

    std::vector<Entry> entries = entries_;
    std::uint64_t end = add.position;
    if (add.replacing) {
        // The members after the replaced one move by the change in size.
        std::uint64_t following = add.saved_size - add.old_extent;
        copy_range(::fileno(add.saved.get()), add.old_extent, fd_.get(), end, following, working_path_);
        std::uint64_t new_extent = add.position - add.start;
        for (std::size_t i = add.index + 1; i < entries.size(); ++i)
            entries[i].local_header_offset = entries[i].local_header_offset - add.old_extent + new_extent;
        entries[add.index] = e;
        end += following;
    } else {
        entries.push_back(e);
    }
    std::uint64_t directory_size = 0;
    for (const Entry& entry : entries) directory_size += zip::kCentralHeaderSize + entry.name.size();
    if (end >= options_.size_limit || directory_size >= options_.size_limit)
        fail_member("Cannot add \"" + e.name + "\": the archive would reach 4 GiB, the limit without Zip64",
                    EFBIG);

    // Commit: from here the new member belongs to the archive.
    entries_ = std::move(entries);
    directory_offset_ = end;
    addition_.reset();
    try {
        write_directory();
    } catch (const FileError& err) {
        broken_ = true;
        throw KmzError(write_failure_text(err.code()));
    }
}

void KmzPackager::roll_back() noexcept {
    if (!addition_) return;
    std::unique_ptr<Addition> add = std::move(addition_);
    add->deflater.reset();
    try {
        // Cut where writing began, put back what followed, and write the
        // previous directory again.
        truncate_to(fd_.get(), add->start, working_path_);
        if (add->replacing)
            copy_range(::fileno(add->saved.get()), 0, fd_.get(), add->start, add->saved_size, working_path_);
        write_directory();
    } catch (...) {
        broken_ = true;
    }
}

std::vector<unsigned char> KmzPackager::local_header(const Entry& e, std::uint32_t crc,
                                                      std::uint64_t compressed,
                                                      std::uint64_t uncompressed) const {
    std::vector<unsigned char> h(zip::kLocalHeaderSize + e.name.size(), 0);
    unsigned char* p = h.data();
    zip::put_le32(p + zip::kLocalSignatureOffset, zip::kLocalHeaderSignature);
    zip::put_le16(p + zip::kLocalVersionNeededOffset, zip::kVersion20);
    zip::put_le16(p + zip::kLocalFlagsOffset, e.flags);
    zip::put_le16(p + zip::kLocalMethodOffset, e.method);
    zip::put_le16(p + zip::kLocalTimeOffset, e.modified.time);
    zip::put_le16(p + zip::kLocalDateOffset, e.modified.date);
    zip::put_le32(p + zip::kLocalCrcOffset, crc);
    zip::put_le32(p + zip::kLocalCompressedSizeOffset, static_cast<std::uint32_t>(compressed));
    zip::put_le32(p + zip::kLocalUncompressedSizeOffset, static_cast<std::uint32_t>(uncompressed));
    zip::put_le16(p + zip::kLocalNameLengthOffset, static_cast<std::uint16_t>(e.name.size()));
    zip::put_le16(p + zip::kLocalExtraLengthOffset, 0);
    std::memcpy(p + zip::kLocalHeaderSize, e.name.data(), e.name.size());
    return h;
}

void KmzPackager::write_directory() {
    std::vector<unsigned char> out;
    for (const Entry& e : entries_) {
        std::size_t at = out.size();
        out.resize(at + zip::kCentralHeaderSize + e.name.size(), 0);
        unsigned char* p = out.data() + at;
        zip::put_le32(p + zip::kCentralSignatureOffset, zip::kCentralHeaderSignature);
        zip::put_le16(p + zip::kCentralVersionMadeByOffset, zip::kVersion20);
        zip::put_le16(p + zip::kCentralVersionNeededOffset, zip::kVersion20);
        zip::put_le16(p + zip::kCentralFlagsOffset, e.flags);
        zip::put_le16(p + zip::kCentralMethodOffset, e.method);
        zip::put_le16(p + zip::kCentralTimeOffset, e.modified.time);
        zip::put_le16(p + zip::kCentralDateOffset, e.modified.date);
        zip::put_le32(p + zip::kCentralCrcOffset, e.crc);
        zip::put_le32(p + zip::kCentralCompressedSizeOffset, static_cast<std::uint32_t>(e.compressed_size));
        zip::put_le32(p + zip::kCentralUncompressedSizeOffset, static_cast<std::uint32_t>(e.uncompressed_size));
        zip::put_le16(p + zip::kCentralNameLengthOffset, static_cast<std::uint16_t>(e.name.size()));
        zip::put_le16(p + zip::kCentralExtraLengthOffset, 0);
        zip::put_le16(p + zip::kCentralCommentLengthOffset, 0);
        zip::put_le16(p + zip::kCentralDiskStartOffset, 0);
        zip::put_le16(p + zip::kCentralInternalAttributesOffset, 0);
        zip::put_le32(p + zip::kCentralExternalAttributesOffset, e.external_attributes);
        zip::put_le32(p + zip::kCentralLocalHeaderOffsetOffset, static_cast<std::uint32_t>(e.local_header_offset));
        std::memcpy(p + zip::kCentralHeaderSize, e.name.data(), e.name.size());
    }
    const std::uint64_t directory_size = out.size();
    std::size_t at = out.size();
    out.resize(at + zip::kEndRecordSize, 0);
    unsigned char* p = out.data() + at;
    const auto count = static_cast<std::uint16_t>(entries_.size());
    zip::put_le32(p + zip::kEndSignatureOffset, zip::kEndRecordSignature);
    zip::put_le16(p + zip::kEndDiskOffset, 0);
    zip::put_le16(p + zip::kEndCentralDiskOffset, 0);
    zip::put_le16(p + zip::kEndEntriesOnDiskOffset, count);
    zip::put_le16(p + zip::kEndEntriesTotalOffset, count);
    zip::put_le32(p + zip::kEndCentralSizeOffset, static_cast<std::uint32_t>(directory_size));
    zip::put_le32(p + zip::kEndCentralOffsetOffset, static_cast<std::uint32_t>(directory_offset_));
    zip::put_le16(p + zip::kEndCommentLengthOffset, 0);

    pwrite_all(fd_.get(), out.data(), out.size(), directory_offset_, working_path_);
    truncate_to(fd_.get(), directory_offset_ + out.size(), working_path_);
    seek_to(fd_.get(), directory_offset_, working_path_);
    sync();
    directory_written_ = true;
}

void KmzPackager::sync() {
    if (::fsync(fd_.get()) != 0) {
        int code = errno;
        throw FileError(describe_errno("Cannot write file", working_path_, code), code);
    }
}

// A step of a streamed member: any failure puts the archive back as it was
// before the member began and reaches the caller as a KmzError.
template <typename Step>
void KmzPackager::streamed_step(Step&& step) {
    try {
        step();
    } catch (const MemberFailure& e) {
        roll_back();
        throw KmzError(e.what());
    } catch (const FileError& e) {
        roll_back();
        throw KmzError(write_failure_text(e.code()));
    } catch (...) {
        roll_back();
        throw;
    }
}

ByteSink& KmzPackager::begin_member(const std::string& name, std::time_t modified) {
    require_open("begin_member");
    if (name.empty() || name.size() > 0xFFFF)
        throw KmzError(error_text("A member name must have 1 to 65535 bytes", EINVAL));
    streamed_step([&] { start_addition(name, modified); });
    if (!sink_) sink_ = std::make_unique<MemberSink>(*this);
    return *sink_;
}

void KmzPackager::stream_member_data(const unsigned char* data, std::size_t size) {
    if (!addition_) throw KmzError(error_text("Write to a member that is not open", EINVAL));
    streamed_step([&] { write_member_data(data, size); });
}

void KmzPackager::end_member() {
    if (!addition_) throw KmzError(error_text("end_member without a member being written", EINVAL));
    streamed_step([&] { finish_addition(); });
}

void KmzPackager::cancel_member() { roll_back(); }

void KmzPackager::close() {
    if (!fd_.valid()) return;
    try {
        if (addition_) throw KmzError(error_text("close while a member is being written", EINVAL));
        if (broken_)
            throw KmzError(error_text("The archive " + target_path_ + " was damaged by an earlier failure", EIO));
        if (!directory_written_) write_directory();  // no members: the end record alone
        sync();
        if (int code = fd_.close_checked(); code != 0) throw KmzError(write_failure_text(code));
        if (::rename(working_path_.c_str(), target_path_.c_str()) != 0) {
            int code = errno;
            throw KmzError(describe_errno("Cannot create file", target_path_, code));
        }
        working_path_.clear();
        forget_temporary_file(temporary_slot_);
        temporary_slot_ = -1;
        // Make the new name itself durable.
        UniqueFd dir(::open(directory_of(target_path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.valid()) ::fsync(dir.get());
        entries_.clear();
    } catch (const FileError& e) {
        abandon();
        throw KmzError(write_failure_text(e.code()));
    } catch (...) {
        abandon();
        throw;
    }
}

void KmzPackager::abandon() noexcept {
    addition_.reset();
    fd_.close_checked();
    if (!working_path_.empty()) ::unlink(working_path_.c_str());
    working_path_.clear();
    forget_temporary_file(temporary_slot_);
    temporary_slot_ = -1;
    entries_.clear();
    broken_ = false;
}

}  // namespace zelvo
