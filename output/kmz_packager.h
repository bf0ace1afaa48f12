// The KMZ archive: a ZIP file holding the KML document and its icons.
//
// The archive is written under a temporary name beside the target and
// renamed over it only by close(), so a run that fails leaves the user's
// previous archive as it was. Between additions the temporary file is
// always a complete archive: every member, the central directory and the
// end record, flushed to the device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "output/file_failure.h"
#include "output/kml_stream.h"
#include "output/posix_file.h"
#include "output/replaced_file.h"
#include "output/zip_format.h"

namespace zelvo {

class DeflateBlocks;

// Any failure of the packager that reaches its caller.
class KmzError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class KmzPackager {
public:
    struct Options {
        // Threads compressing 1 MiB blocks side by side; 0 keeps one deflate
        // stream on the calling thread. Any count >= 1 gives the same bytes,
        // so the archive does not depend on the machine it is made on.
        unsigned compression_threads = all_cores();
        // The first size or offset that cannot be stored. Only tests lower it.
        std::uint64_t size_limit = zip::kZip32Limit;
    };

    static unsigned all_cores() {
        unsigned n = std::thread::hardware_concurrency();
        return n == 0 ? 1 : n;
    }

    KmzPackager();
    explicit KmzPackager(Options options);
    // Abandons an archive that was not closed.
    ~KmzPackager();
    KmzPackager(const KmzPackager&) = delete;
    KmzPackager& operator=(const KmzPackager&) = delete;

    // Asked by add_file when a file cannot be stored, with the error text
    // followed by ". File processing error, possibly disk is full".
    // Retry processes the file again; Ignore leaves it out (a member it was
    // to replace keeps its content) and add_file returns; Abort puts the
    // archive back as it was before the call and add_file throws KmzError.
    // The default writes the text to stderr and answers Abort.
    std::function<FileFailureAction(const std::string& text)> OnProcessFileFailure;

    // Starts a new archive that will replace archive_path when closed. The
    // path's directory must exist and be writable. Throws KmzError
    // "Cannot create file <path>: <reason>" or the blank-name error.
    // Temporary archives that runs which no longer exist left in that
    // directory (killed before they could clean up) are removed first.
    void create(const std::string& archive_path);

    // Adds the file under its bare name; a name already in the archive is
    // replaced in its place. A path where no file exists adds nothing.
    void add_file(const std::string& file_path);

    // Adds bytes held in memory as the member `name`, exactly as add_file
    // adds a file of that name, those bytes and that modification time
    // (the same headers, compression and question on failure).
    void add_bytes(const std::string& name, std::span<const unsigned char> bytes, std::time_t modified);

    // Streams a member straight into the archive: write its bytes to the
    // returned sink, then call end_member(). The sink stays valid until then.
    // A write that fails has already put the archive back as it was before
    // begin_member and throws KmzError; cancel_member() does the same by
    // choice. The name is stored as given.
    ByteSink& begin_member(const std::string& name, std::time_t modified);
    void end_member();
    void cancel_member();

    // Completes the archive (an archive without members is the 22-byte end
    // record alone) and moves it over the target path. Throws KmzError on
    // any failure, after removing the temporary file; the previous archive
    // then is untouched.
    void close();

    // Drops the unfinished archive: the temporary file is removed and the
    // target path is not touched. Never throws; does nothing when closed.
    void abandon() noexcept;

    bool is_open() const { return file_.is_open(); }
    std::size_t member_count() const { return entries_.size(); }
    // Where the archive is being written until close().
    const std::string& working_path() const { return file_.working_path(); }

private:
    struct Addition;  // one member being written
    class MemberSink;

    void require_open(const char* operation) const;
    template <typename Once>
    void add_asking(Once&& once);
    void add_file_once(const std::string& file_path);
    void add_bytes_once(const std::string& name, std::span<const unsigned char> bytes, std::time_t modified);
    void start_addition(const std::string& name, std::time_t modified);
    // Where a member of this name goes: its old place, or after the last.
    std::unique_ptr<Addition> place_addition(const std::string& name);
    void write_member_data(const unsigned char* data, std::size_t size);
    void finish_addition();
    void stream_member_data(const unsigned char* data, std::size_t size);
    template <typename Step>
    void streamed_step(Step&& step);
    void roll_back() noexcept;
    void write_directory();
    std::string error_text(const std::string& message, int number) const;
    std::string write_failure_text(int code) const;
    [[noreturn]] void fail_member(const std::string& message, int number);

    Options options_;
    ReplacedFile file_;
    std::vector<zip::Entry> entries_;
    std::uint64_t directory_offset_ = 0;  // where the members end
    bool directory_written_ = false;
    bool broken_ = false;  // the file no longer matches entries_
    std::unique_ptr<Addition> addition_;
    std::unique_ptr<MemberSink> sink_;
};

}  // namespace zelvo
