#pragma once
// Memory for large tables, mapped straight from the kernel at a 2 MiB boundary and marked for
// huge pages: filling it then takes one page fault a 2 MiB page instead of one a 4 KiB page.
// Loading an archive of 100,000 images spent a sixth of its time in the page faults of its
// image table. Where the kernel gives no huge pages the memory is the ordinary kind. Small
// blocks come from the heap as usual.
//
// Meant for tables such as the model's 40 bytes an image, and for buffers of a few megabytes
// that are filled again and again, not for bulk data: where fresh memory is slow to clear (a
// virtual machine whose host has yet to back it), a stream of 88 MB in huge pages made one run
// in three twice as slow.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

#include "platform/address_sanitizer.h"

namespace pixhaul {

// The unit of a huge page on x86-64 and arm64; mapped blocks are whole units.
inline constexpr std::size_t kLargeBlockBytes = std::size_t{2} << 20;
// Blocks of at least this size are mapped. Below a whole huge page too: where a page fault is
// slow (10-13 us in a virtual machine measured), the 800 KB id table of 100,000 images cost
// 2 ms in 200 faults against one; the room left over is at most 1.75 MiB a table.
inline constexpr std::size_t kMappedBlockBytes = kLargeBlockBytes / 8;

// Throws std::bad_alloc when the memory cannot be had.
void* AllocateLargeBlock(std::size_t bytes);
// bytes as given to AllocateLargeBlock.
void FreeLargeBlock(void* block, std::size_t bytes) noexcept;
// The bytes asked for by the blocks allocated and not yet freed, in the whole process (the heap's
// own statistics do not see these blocks).
std::size_t LargeBlockBytesInUse() noexcept;

// An allocator for containers that may grow large (a table of every image in an archive).
template <typename T>
struct LargeBlockAllocator {
    using value_type = T;

    LargeBlockAllocator() = default;
    template <typename U>
    LargeBlockAllocator(const LargeBlockAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
        const std::size_t bytes = n * sizeof(T);
        if (bytes < kMappedBlockBytes) return std::allocator<T>().allocate(n);
        static_assert(alignof(T) <= kLargeBlockBytes);
        return static_cast<T*>(AllocateLargeBlock(bytes));
    }
    void deallocate(T* p, std::size_t n) noexcept {
        if (n * sizeof(T) < kMappedBlockBytes) {
            std::allocator<T>().deallocate(p, n);
        } else {
            FreeLargeBlock(p, n * sizeof(T));
        }
    }
    template <typename U>
    bool operator==(const LargeBlockAllocator<U>&) const noexcept {
        return true;
    }
};

// Bytes from that allocator, not cleared: a buffer that is filled again and again (a coder's
// room for its next piece), whose first filling costs a fault or two instead of hundreds. With
// AddressSanitizer they come from the heap, which it watches to the last byte.
class LargeBuffer {
  public:
    LargeBuffer() = default;
    explicit LargeBuffer(std::size_t bytes)
        : data_(bytes > 0 ? Allocator().allocate(bytes) : nullptr), size_(bytes) {}
    ~LargeBuffer() {
        if (data_ != nullptr) Allocator().deallocate(data_, size_);
    }
    LargeBuffer(LargeBuffer&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
    LargeBuffer& operator=(LargeBuffer&& other) noexcept {
        LargeBuffer gone(std::move(*this));
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        return *this;
    }
    LargeBuffer(const LargeBuffer&) = delete;
    LargeBuffer& operator=(const LargeBuffer&) = delete;

    std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }

  private:
#ifdef PIXHAUL_ADDRESS_SANITIZER
    using Allocator = std::allocator<std::uint8_t>;
#else
    using Allocator = LargeBlockAllocator<std::uint8_t>;
#endif
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace pixhaul
