// The arena under a loaded archive's tables: aligned, separate allocations of any size, all
// given back at once.
#include "platform/table_arena.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory_resource>
#include <vector>

#include "platform/large_block.h"

namespace pixhaul {
namespace {

TEST(TableArena, HandsOutAlignedSeparateMemoryOfAnySize) {
    TableArena arena;
    struct Piece {
        std::uint8_t* at;
        std::size_t size;
    };
    std::vector<Piece> pieces;
    // Small ones past the first block, in the last round one larger than a huge page, and odd
    // alignments.
    const std::size_t sizes[] = {1, 24, 4096, 100000, 7, 64};
    for (int round = 0; round < 40; ++round) {
        for (std::size_t size : sizes) {
            if (round == 39 && size == 64) size = kLargeBlockBytes + 1;
            const std::size_t alignment = std::size_t{1} << (round % 7);
            auto* at = static_cast<std::uint8_t*>(arena.allocate(size, alignment));
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(at) % alignment, 0u);
            std::memset(at, round, size);
            pieces.push_back({at, size});
        }
    }
    // Every piece still holds what was written into it: none overlaps a later one.
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const auto expected = static_cast<std::uint8_t>(i / std::size(sizes));
        EXPECT_EQ(pieces[i].at[0], expected) << i;
        EXPECT_EQ(pieces[i].at[pieces[i].size - 1], expected) << i;
    }
    EXPECT_GE(arena.Used(), 40 * 100000 + kLargeBlockBytes);
    arena.Release();
    EXPECT_EQ(arena.Used(), 0u);
    // Usable again after a release, as the next archive's tables.
    std::pmr::vector<int> table({1, 2, 3}, &arena);
    table.resize(100000, 4);
    EXPECT_EQ(table[99999], 4);
}

}  // namespace
}  // namespace pixhaul
