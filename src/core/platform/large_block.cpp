#include "platform/large_block.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdint>

namespace pixhaul {
namespace {

// What the heap's statistics do not see, for tests that measure memory.
std::atomic<std::size_t>& BytesInUse() {
    static std::atomic<std::size_t> bytes{0};
    return bytes;
}

std::size_t RoundUp(std::size_t bytes) {
    return (bytes + kLargeBlockBytes - 1) & ~(kLargeBlockBytes - 1);
}

}  // namespace

void* AllocateLargeBlock(std::size_t bytes) {
    const std::size_t size = RoundUp(bytes);
    if (size < bytes) throw std::bad_alloc();
    // Mapped with a huge page of room to spare, and trimmed at both ends to the boundary.
    const std::size_t mapped = size + kLargeBlockBytes;
    void* const at =
        ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (at == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(at);
    const std::uintptr_t aligned = (start + kLargeBlockBytes - 1) & ~(kLargeBlockBytes - 1);
    if (aligned > start) ::munmap(at, aligned - start);
    const std::size_t tail = (start + mapped) - (aligned + size);
    if (tail > 0) ::munmap(reinterpret_cast<void*>(aligned + size), tail);
    void* const block = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    // Advice only: without huge pages the block works the same, a page at a time.
    ::madvise(block, size, MADV_HUGEPAGE);
#endif
    BytesInUse().fetch_add(bytes, std::memory_order_relaxed);
    return block;
}

void FreeLargeBlock(void* block, std::size_t bytes) noexcept {
    if (block == nullptr) return;
    ::munmap(block, RoundUp(bytes));
    BytesInUse().fetch_sub(bytes, std::memory_order_relaxed);
}

std::size_t LargeBlockBytesInUse() noexcept {
    return BytesInUse().load(std::memory_order_relaxed);
}

}  // namespace pixhaul
