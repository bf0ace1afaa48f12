#include "output/temporary_files.h"

#include <array>
#include <atomic>
#include <climits>
#include <cstring>
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

}  // namespace zelvo
