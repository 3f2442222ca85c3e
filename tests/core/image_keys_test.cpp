// The id table of a load against a plain map: runs that join, interleave, overlap and repeat ids.
#include "archive/image_keys.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <vector>

namespace pixhaul {
namespace {

TEST(ImageKeys, FindsWhatAMapOfFirstIdsFinds) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    struct Case {
        const char* what;
        std::vector<std::int32_t> ids;  // in load order; image k has index k
        std::size_t runs;               // after Seal
    };
    const std::vector<Case> cases = {
        {"consecutive", {10, 11, 12, 13}, 1},
        {"two blocks out of order", {20, 21, 22, 5, 6, 7}, 2},
        {"a gap", {1, 2, 4, 5}, 2},
        {"descending", {3, 2, 1}, 3},
        {"a repeat inside", {5, 6, 5, 7}, 2},
        {"blocks that overlap", {1, 2, 3, 4, 3, 4, 5, 6}, 2},
        {"the same block twice", {7, 8, 9, 7, 8, 9}, 1},
        {"the ends of the range", {kMax - 1, kMax, kMin, kMin + 1, kMax}, 2},
    };
    for (const Case& c : cases) {
        ImageKeys keys;
        std::map<std::int32_t, std::int32_t> first;
        std::vector<std::int32_t> expectedDuplicates;
        for (std::size_t k = 0; k < c.ids.size(); ++k) {
            const auto index = static_cast<std::int32_t>(k);
            keys.Add(c.ids[k], index);
            if (!first.emplace(c.ids[k], index).second) expectedDuplicates.push_back(index);
        }
        std::vector<std::int32_t> duplicates;
        keys.Seal([&](const ImageKeys::Key& key) {
            EXPECT_EQ(c.ids[static_cast<std::size_t>(key.index)], key.id) << c.what;
            duplicates.push_back(key.index);
        });
        EXPECT_EQ(duplicates, expectedDuplicates) << c.what;
        EXPECT_EQ(keys.RunCount(), c.runs) << c.what;
        for (const auto& [id, index] : first) EXPECT_EQ(keys.Find(id), index) << c.what;
        for (const std::int32_t id : c.ids) {
            for (const std::int64_t near : {std::int64_t{id} - 1, std::int64_t{id} + 1}) {
                if (near < kMin || near > kMax) continue;
                const auto missing = static_cast<std::int32_t>(near);
                if (first.count(missing) != 0) continue;
                EXPECT_FALSE(keys.Find(missing).has_value()) << c.what << " " << missing;
            }
        }
    }
    EXPECT_FALSE(ImageKeys().Find(0).has_value());
}

}  // namespace
}  // namespace pixhaul
