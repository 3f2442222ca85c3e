// The tag scan: every "AGMI" and "AnSt" once, in file order, wherever it lies.
#include "archive/tag_scan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace pixhaul {
namespace {

using Offsets = std::vector<std::int64_t>;

void Put(std::vector<std::uint8_t>& bytes, std::size_t at, const char* tag) {
    std::memcpy(bytes.data() + at, tag, 4);
}

TEST(TagScanTest, FindsTagsAtTheOldWindowSeams) {
    // A scan in 1024-byte windows stepping by 1021 has its seams here; each tag counts once.
    for (std::size_t start : {1019u, 1020u, 1021u, 1022u, 1023u, 1024u, 2041u, 2042u, 2044u}) {
        SCOPED_TRACE(start);
        std::vector<std::uint8_t> bytes(4096, 0);
        Put(bytes, start, "AnSt");
        Put(bytes, start + 8, "AGMI");
        const TagPositions found = ScanTags(bytes);
        EXPECT_EQ(found.objectBlocks, Offsets{static_cast<std::int64_t>(start + 4)});
        EXPECT_EQ(found.imageBlocks, Offsets{static_cast<std::int64_t>(start + 12)});
    }
}

TEST(TagScanTest, KeepsEveryTagOfAWindowInFileOrder) {
    std::vector<std::uint8_t> bytes(1024, ' ');
    Put(bytes, 10, "AnSt");
    Put(bytes, 110, "AnSt");
    Put(bytes, 200, "AGMI");
    Put(bytes, 204, "AGMI");  // back to back
    Put(bytes, 208, "AnSt");
    const TagPositions found = ScanTags(bytes);
    EXPECT_EQ(found.objectBlocks, (Offsets{14, 114, 212}));
    EXPECT_EQ(found.imageBlocks, (Offsets{204, 208}));
}

TEST(TagScanTest, HandlesTheEdgesOfTheFile) {
    EXPECT_TRUE(ScanTags({}).imageBlocks.empty());
    const std::vector<std::uint8_t> three = {'A', 'G', 'M'};
    EXPECT_TRUE(ScanTags(three).imageBlocks.empty());
    const std::vector<std::uint8_t> exact = {'A', 'G', 'M', 'I'};
    EXPECT_EQ(ScanTags(exact).imageBlocks, Offsets{4});
    // Tags that end the file, for every length around the vector steps.
    for (std::size_t size = 4; size < 200; ++size) {
        std::vector<std::uint8_t> bytes(size, 'A');
        Put(bytes, size - 4, "AnSt");
        EXPECT_EQ(ScanTags(bytes).objectBlocks, Offsets{static_cast<std::int64_t>(size)}) << size;
        // A span that stops inside the tag: the bytes past it must not complete the match.
        EXPECT_TRUE(ScanTags(std::span(bytes).first(size - 1)).objectBlocks.empty()) << size;
    }
}

TEST(TagScanTest, MatchesAPlainScanOnDenseRandomData) {
    // Few letters, so that candidates and near misses are everywhere.
    std::mt19937 random(1234);
    const char alphabet[] = {'A', 'G', 'M', 'I', 'n', 'S', 't', 0};
    for (int round = 0; round < 20; ++round) {
        std::vector<std::uint8_t> bytes(1000 + static_cast<std::size_t>(random() % 5000));
        for (auto& b : bytes) b = static_cast<std::uint8_t>(alphabet[random() % 8]);
        for (int k = 0; k < 10; ++k) {
            Put(bytes, random() % (bytes.size() - 3), k % 2 ? "AGMI" : "AnSt");
        }
        const TagPositions fast = ScanTags(bytes);
        const TagPositions plain = ScanTagsPortable(bytes);
        ASSERT_EQ(fast.imageBlocks, plain.imageBlocks);
        ASSERT_EQ(fast.objectBlocks, plain.objectBlocks);
        ASSERT_FALSE(plain.imageBlocks.empty());
    }
}

}  // namespace
}  // namespace pixhaul
