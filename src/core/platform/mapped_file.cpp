#include "platform/mapped_file.h"

#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace pixhaul {

namespace {

// The guarded mappings of the process, read by the SIGBUS handler. A slot is claimed by setting
// its end last and released by clearing its end first, so the handler never sees half a record.
constexpr int kGuardSlots = 32;
struct GuardSlot {
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};  // 0: free
    std::atomic<bool> claimed{false};
    std::atomic<bool> cut{false};
};
constinit GuardSlot guardSlots[kGuardSlots];
constinit std::uintptr_t pageSize = 4096;
struct sigaction previousBusHandler {};

// Replaces the lost page under the faulting address with zeros, so the read that faulted reads a
// zero and goes on. mmap is a plain system call on Linux, safe here although POSIX does not list
// it.
void OnBusError(int signal, siginfo_t* info, void* context) {
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (GuardSlot& slot : guardSlots) {
        const std::uintptr_t end = slot.end.load(std::memory_order_acquire);
        if (end == 0 || address < slot.begin.load(std::memory_order_relaxed) || address >= end) {
            continue;
        }
        void* page = reinterpret_cast<void*>(address & ~(pageSize - 1));
        if (mmap(page, pageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
            MAP_FAILED) {
            slot.cut.store(true, std::memory_order_relaxed);
            return;
        }
        break;
    }
    // Not one of ours: as if this handler had never been installed.
    if (previousBusHandler.sa_flags & SA_SIGINFO) {
        previousBusHandler.sa_sigaction(signal, info, context);
    } else if (previousBusHandler.sa_handler != SIG_DFL &&
               previousBusHandler.sa_handler != SIG_IGN) {
        previousBusHandler.sa_handler(signal);
    } else {
        // Ends the process the default way (SA_NODEFER lets the signal through at once).
        sigaction(SIGBUS, &previousBusHandler, nullptr);
        raise(signal);
    }
}

bool InstallBusGuard() {
    static std::once_flag once;
    static bool installed = false;
    std::call_once(once, [] {
        pageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
        struct sigaction action {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        installed = sigaction(SIGBUS, &action, &previousBusHandler) == 0;
    });
    return installed;
}

int ClaimSlot(const std::uint8_t* data, std::size_t size) {
    for (int i = 0; i < kGuardSlots; ++i) {
        bool expected = false;
        if (!guardSlots[i].claimed.compare_exchange_strong(expected, true)) continue;
        guardSlots[i].cut.store(false, std::memory_order_relaxed);
        guardSlots[i].begin.store(reinterpret_cast<std::uintptr_t>(data),
                                  std::memory_order_relaxed);
        guardSlots[i].end.store(reinterpret_cast<std::uintptr_t>(data) + size,
                                std::memory_order_release);
        return i;
    }
    return -1;
}

}  // namespace

std::unique_ptr<MappedFile> MappedFile::Map(int fd, std::uint64_t size) {
    if (size == 0 || size > SIZE_MAX || !InstallBusGuard()) return nullptr;
    const auto length = static_cast<std::size_t>(size);
    void* data = mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, 0);
    if (data == MAP_FAILED) return nullptr;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const int slot = ClaimSlot(bytes, length);
    if (slot < 0) {
        munmap(data, length);
        return nullptr;
    }
    // Read front to back once: the kernel reads ahead and drops behind.
    madvise(data, length, MADV_SEQUENTIAL);
    return std::unique_ptr<MappedFile>(new MappedFile(bytes, length, fd, slot));
}

MappedFile::~MappedFile() {
    // Out of the guard first: once unmapped, the addresses may be given to someone else.
    GuardSlot& slot = guardSlots[slot_];
    slot.end.store(0, std::memory_order_release);
    munmap(const_cast<std::uint8_t*>(data_), size_);
    slot.claimed.store(false, std::memory_order_release);
}

bool MappedFile::Cut() const {
    if (guardSlots[slot_].cut.load(std::memory_order_relaxed)) return true;
    struct stat now {};
    return fstat(fd_, &now) != 0 || static_cast<std::uint64_t>(now.st_size) < size_;
}

}  // namespace pixhaul
