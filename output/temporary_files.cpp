#include "output/temporary_files.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelvo {

namespace {

enum SlotState : int { kFree, kFilling, kNotedFile, kNotedDirectory };

struct Slot {
    std::atomic<int> state{kFree};
    char path[PATH_MAX];
};

// Enough for the runs of one process; several at once only in tests.
std::array<Slot, 16> slots;

static_assert(std::atomic<int>::is_always_lock_free);

int note(const std::string& path, SlotState kind) {
    if (path.size() >= PATH_MAX) return -1;
    for (std::size_t i = 0; i < slots.size(); ++i) {
        int expected = kFree;
        if (!slots[i].state.compare_exchange_strong(expected, kFilling)) continue;
        std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
        slots[i].state.store(kind);
        return static_cast<int>(i);
    }
    return -1;
}

// A temporary archive's name, as create_temporary_beside makes it. Returns
// the pid, or 0 for any other name.
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

}  // namespace

int note_temporary_file(const std::string& path) { return note(path, kNotedFile); }

int note_temporary_directory(const std::string& path) { return note(path, kNotedDirectory); }

void forget_temporary_file(int slot) {
    if (slot >= 0 && static_cast<std::size_t>(slot) < slots.size()) slots[slot].state.store(kFree);
}

void remove_temporary_files_now() {
    for (Slot& s : slots)
        if (s.state.load() == kNotedFile) ::unlink(s.path);
    for (Slot& s : slots)
        if (s.state.load() == kNotedDirectory) ::rmdir(s.path);
}

TemporaryFile create_temporary_beside(const std::string& directory, const std::string& file_name) {
    const std::string prefix = directory + "." + file_name.substr(0, 180) + "." + std::to_string(::getpid()) + "-";
    static std::atomic<unsigned> counter = 0;
    TemporaryFile made;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = prefix + std::to_string(counter++) + ".tmp";
        made.slot = note_temporary_file(candidate);
        int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            made.fd = UniqueFd(fd);
            made.path = candidate;
            return made;
        }
        made.error = errno;
        forget_temporary_file(made.slot);
        made.slot = -1;
        if (made.error != EEXIST) break;
    }
    return made;
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
        const std::string path = directory + name;
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

}  // namespace zelvo
