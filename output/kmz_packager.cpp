#include "output/kmz_packager.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "output/deflate_blocks.h"
#include "output/file_paths.h"
#include "output/member_replacement.h"
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

}  // namespace

FileFailureAction report_and_abort(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
    return FileFailureAction::Abort;
}

// One member being written. Until it is committed, entries_ and
// directory_offset_ still describe the archive as it was, and roll_back()
// can restore the file from them and the saved bytes.
struct KmzPackager::Addition {
    explicit Addition(MemberReplacement place) : replacement(std::move(place)) {}
    zip::Entry entry;
    MemberReplacement replacement;  // where writing began, and what to put back
    std::uint64_t position = 0;     // end of what has been written
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
    // The archive is named: the run's other messages name its input.
    if (code == ENOSPC || code == EDQUOT)
        return error_text("Cannot write file \"" + file_.target_path() +
                              "\": Disk is full. There is not enough free space on disk.",
                          kErrorDiskFull);
    return error_text("Cannot write file \"" + file_.target_path() + "\": " + std::strerror(code), code);
}

void KmzPackager::require_open(const char* operation) const {
    if (!file_.is_open())
        throw KmzError(error_text(std::string(operation) + " without an open archive", EINVAL));
    if (broken_)
        throw KmzError(error_text("The archive " + file_.target_path() +
                                      " was damaged by an earlier failure and cannot be continued",
                                  EIO));
    if (addition_)
        throw KmzError(error_text(std::string(operation) + " while a member is being written", EINVAL));
}

void KmzPackager::create(const std::string& archive_path) {
    if (file_.is_open()) throw KmzError(error_text("An archive is already open", EINVAL));
    if (file_name_part(archive_path).empty())
        throw KmzError(error_text("File name is blank. Specify appropriate file name", kErrorBlankName));
    try {
        file_.open(archive_path);
    } catch (const FileError& e) {
        throw KmzError(e.what());
    }
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
    if (::fstat(file_.fd(), &self) == 0 && self.st_dev == st.st_dev && self.st_ino == st.st_ino)
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
    auto a = std::make_unique<Addition>(MemberReplacement(entries_, directory_offset_, name));
    if (!a->replacement.replacing() && entries_.size() >= zip::kMaxEntries)
        fail_member("The archive cannot hold more than " + std::to_string(zip::kMaxEntries) +
                        " members without Zip64",
                    EFBIG);
    if (a->replacement.start() >= options_.size_limit)
        fail_member("Cannot add \"" + name + "\": the archive would reach 4 GiB, the limit without Zip64",
                    EFBIG);
    return a;
}

void KmzPackager::start_addition(const std::string& name, std::time_t modified) {
    std::unique_ptr<Addition> a = place_addition(name);
    zip::Entry& e = a->entry;
    e.name = name;
    e.flags = zip::name_flags(name);
    e.modified = zip::dos_date_time(modified);
    e.local_header_offset = a->replacement.start();

    if (a->replacement.replacing())
        a->replacement.save_tail(file_.fd(), directory_offset_, file_.working_path(), file_.target_path());

    // From here on a failure must put the file back.
    addition_ = std::move(a);
    Addition& add = *addition_;
    const std::uint64_t start = add.replacement.start();
    truncate_to(file_.fd(), start, file_.working_path());
    seek_to(file_.fd(), start, file_.working_path());

    // The local header is written twice: first with a placeholder CRC and
    // no sizes, then, once the data is written, with the real values.
    std::vector<unsigned char> header = zip::local_header(e, 0xFFFFFFFFu, 0, 0);
    write_all(file_.fd(), header.data(), header.size(), file_.working_path());
    add.position = start + header.size();

    add.deflater = std::make_unique<DeflateBlocks>(
        [this](const unsigned char* data, std::size_t size) {
            Addition& cur = *addition_;
            if (cur.position + size >= options_.size_limit)
                fail_member("Cannot add \"" + cur.entry.name +
                                "\": the archive would reach 4 GiB, the limit without Zip64",
                            EFBIG);
            write_all(file_.fd(), data, size, file_.working_path());
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
    zip::Entry& e = add.entry;
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
    std::vector<unsigned char> header = zip::local_header(e, e.crc, e.compressed_size, e.uncompressed_size);
    pwrite_all(file_.fd(), header.data(), header.size(), add.replacement.start(), file_.working_path());

    std::vector<zip::Entry> entries = entries_;
    const std::uint64_t end = add.replacement.put_in_place(file_.fd(), add.position, e, entries, file_.working_path());
    if (end >= options_.size_limit || zip::central_directory_size(entries) >= options_.size_limit)
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
        add->replacement.restore(file_.fd(), file_.working_path());
        write_directory();
    } catch (...) {
        broken_ = true;
    }
}

void KmzPackager::write_directory() {
    const std::vector<unsigned char> out = zip::central_directory(entries_, directory_offset_);
    pwrite_all(file_.fd(), out.data(), out.size(), directory_offset_, file_.working_path());
    truncate_to(file_.fd(), directory_offset_ + out.size(), file_.working_path());
    seek_to(file_.fd(), directory_offset_, file_.working_path());
    sync_to_device(file_.fd(), file_.working_path());
    directory_written_ = true;
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
    if (!file_.is_open()) return;
    try {
        if (addition_) throw KmzError(error_text("close while a member is being written", EINVAL));
        if (broken_)
            throw KmzError(
                error_text("The archive " + file_.target_path() + " was damaged by an earlier failure", EIO));
        if (!directory_written_) write_directory();  // no members: the end record alone
        try {
            file_.commit();
        } catch (const FileError& e) {
            if (e.code() == ENOSPC || e.code() == EDQUOT) throw;
            throw KmzError(e.what());
        }
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
    file_.abandon();
    entries_.clear();
    broken_ = false;
}

}  // namespace zelvo
