#include "platform/table_arena.h"

#include <new>

#include "platform/address_sanitizer.h"
#include "platform/large_block.h"

namespace pixhaul {

namespace {

// The heap block an arena starts with; every later block is a huge page (or more).
constexpr std::size_t kFirstBlockBytes = std::size_t{64} << 10;
// Far beyond any table, and far enough below the address space that adding an alignment to it
// cannot wrap around.
constexpr std::size_t kLargestAllocation = std::size_t{1} << 46;

}  // namespace

void TableArena::AddBlock(std::size_t atLeast) {
    const bool first = blocks_.empty();
    Block block{nullptr, 0, 0, false};
    if (first && atLeast <= kFirstBlockBytes) {
        block = {::operator new(kFirstBlockBytes), kFirstBlockBytes, 0, false};
    } else {
        const std::size_t size = atLeast > kLargeBlockBytes ? atLeast : kLargeBlockBytes;
        block = {AllocateLargeBlock(size), size, 0, true};
    }
    blocks_.push_back(block);
    next_ = reinterpret_cast<std::uintptr_t>(block.start);
    end_ = next_ + block.size;
}

void* TableArena::do_allocate(std::size_t bytes, std::size_t alignment) {
    if (bytes > kLargestAllocation) throw std::bad_alloc();
    used_ += bytes;
#ifdef PIXHAUL_ADDRESS_SANITIZER
    void* own = ::operator new (bytes, std::align_val_t{alignment});
    blocks_.push_back({own, bytes, alignment, false});
    return own;
#else
    std::uintptr_t at = (next_ + alignment - 1) & ~std::uintptr_t{alignment - 1};
    if (next_ == 0 || at > end_ || bytes > end_ - at) {
        AddBlock(bytes + alignment);
        at = (next_ + alignment - 1) & ~std::uintptr_t{alignment - 1};
    }
    next_ = at + bytes;
    return reinterpret_cast<void*>(at);
#endif
}

void TableArena::Release() noexcept {
    for (const Block& block : blocks_) {
#ifdef PIXHAUL_ADDRESS_SANITIZER
        ::operator delete (block.start, std::align_val_t{block.alignment});
#else
        if (block.large) {
            FreeLargeBlock(block.start, block.size);
        } else {
            ::operator delete(block.start);
        }
#endif
    }
    blocks_.clear();
    blocks_.shrink_to_fit();
    next_ = end_ = 0;
    used_ = 0;
}

}  // namespace pixhaul
