#include "output/temporary_files.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>
#include <algorithm>

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

bool all_digits(const std::string& t) {
    return !t.empty() && t.find_first_not_of("0123456789") == std::string::npos;
}

// The first part of every temporary create_temporary_beside makes for a
// file of this name.
std::string temporary_prefix(const std::string& file_name) {
    std::string prefix = ".";
    prefix.append(file_name, 0, 180);
    return prefix + ".";
}

// The pid in the name of a temporary of the file: prefix, pid, '-', number,
// ".tmp". 0 for any other name.
long temporary_owner(const std::string& name, const std::string& prefix) {
    const std::string suffix = ".tmp";
    if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return 0;
    const std::string middle = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    const std::size_t dash = middle.find('-');
    if (dash == std::string::npos) return 0;
    const std::string pid = middle.substr(0, dash);
    if (!all_digits(pid) || !all_digits(middle.substr(dash + 1)) || pid.size() > 9) return 0;
    return std::atol(pid.c_str());
}

// A ZIP archive opens with a local header, or with the end record alone
// when it has no members.
bool zip_signature(const unsigned char* head) {
    return head[0] == 'P' && head[1] == 'K' && ((head[2] == 3 && head[3] == 4) || (head[2] == 5 && head[3] == 6));
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
    const std::string prefix = directory + temporary_prefix(file_name) + std::to_string(::getpid()) + "-";
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

void remove_stale_temporaries(const std::string& directory, const std::string& file_name) {
    const std::string prefix = temporary_prefix(file_name);
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory.c_str()), ::closedir);
    if (!dir) return;
    while (const dirent* e = ::readdir(dir.get())) {
        const std::string name = e->d_name;
        const long pid = temporary_owner(name, prefix);
        if (pid <= 0 || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        // Only our own files that still look like a temporary archive: empty
        // or starting as a ZIP file does. Another name's temporaries, and
        // anything else, may be someone's files.
        const std::string path = directory + name;
        UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        struct stat st {};
        if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        unsigned char head[4] = {};
        if (st.st_size > 0 && (::pread(fd.get(), head, 4, 0) != 4 || !zip_signature(head))) continue;
        ::unlink(path.c_str());
    }
}

void remove_stale_private_directories(const std::string& parent, const std::string& prefix,
                                      const std::string& member_name) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(parent.c_str()), ::closedir);
    if (!dir) return;
    const std::string member_temporary = temporary_prefix(member_name);
    while (const dirent* e = ::readdir(dir.get())) {
        const std::string name = e->d_name;
        const std::size_t dash = name.size() - std::min<std::size_t>(name.size(), 7);
        if (name.compare(0, prefix.size(), prefix) != 0 || dash <= prefix.size() || name[dash] != '-') continue;
        const std::string pid = name.substr(prefix.size(), dash - prefix.size());
        if (!all_digits(pid) || pid.size() > 9) continue;
        if (::kill(static_cast<pid_t>(std::atol(pid.c_str())), 0) == 0 || errno != ESRCH) continue;
        const std::string path = parent + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) continue;
        std::unique_ptr<DIR, int (*)(DIR*)> inside(::opendir(path.c_str()), ::closedir);
        if (!inside) continue;
        std::vector<std::string> files;
        bool only_ours = true;
        while (const dirent* f = ::readdir(inside.get())) {
            const std::string file = f->d_name;
            if (file == "." || file == "..") continue;
            only_ours = only_ours && (file == member_name || temporary_owner(file, member_temporary) > 0);
            files.push_back(file);
        }
        if (!only_ours) continue;
        for (const std::string& file : files) ::unlink((path + "/" + file).c_str());
        ::rmdir(path.c_str());
    }
}

}  // namespace zelvo
