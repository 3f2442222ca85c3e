#include "platform/temporary_registry.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace pixhaul {

namespace {

// A commit group of files with named temporaries (CommitGroup::kNamedLimit), the files its
// workers are writing, and a sheet and its table; the rest spare. The states lie together and
// are zero from the start (no initialiser runs); a path's page is touched only when its slot is
// used, so the table costs no memory or start-up time beyond the slots in use.
constexpr int kSlots = 256;

enum SlotState : int { kFree = 0, kFilling = 1, kInUse = 2 };

constinit std::atomic<int> slotStates[kSlots] = {};
char slotPaths[kSlots][PATH_MAX];

static_assert(std::atomic<int>::is_always_lock_free, "slots are read in a signal handler");

constinit std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set in a signal handler");

void OnSignal(int signo) {
    if (signo == SIGINT && !interrupted.exchange(true)) return;  // the work stops by itself
    RemoveRegisteredTemporaries();
    ::_exit(128 + signo);
}

}  // namespace

int RegisterTemporary(const char* path) noexcept {
    const std::size_t length = std::strlen(path);
    if (length >= PATH_MAX) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (!slotStates[i].compare_exchange_strong(expected, kFilling)) continue;
        std::memcpy(slotPaths[i], path, length + 1);
        slotStates[i].store(kInUse);
        return i;
    }
    return -1;
}

void UnregisterTemporary(int slot) noexcept {
    if (slot < 0 || slot >= kSlots) return;
    slotStates[slot].store(kFree);
}

void RemoveRegisteredTemporaries() noexcept {
    for (int i = 0; i < kSlots; ++i) {
        if (slotStates[i].load() == kInUse) ::unlink(slotPaths[i]);
    }
}

bool InterruptRequested() noexcept {
    return interrupted.load();
}

void InstallTemporaryCleanupOnSignals() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int signo : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&action.sa_mask, signo);
    }
    for (int signo : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signo, &action, nullptr);
}

}  // namespace pixhaul
