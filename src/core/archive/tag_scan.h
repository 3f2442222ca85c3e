#pragma once
// Finds the blocks of an archive: every occurrence of the four bytes "AGMI" (an image block) and
// "AnSt" (an object block) anywhere in the file, in file order, each exactly once. Occurrences
// inside image streams or names count too; the file has no directory to tell them apart.
#include <cstdint>
#include <span>
#include <vector>

namespace pixhaul {

struct TagPositions {
    std::vector<std::int64_t> imageBlocks;   // offset of the byte after each "AGMI"
    std::vector<std::int64_t> objectBlocks;  // offset of the byte after each "AnSt"
};

// The fast scan (SSE2 where the processor has it).
TagPositions ScanTags(std::span<const std::uint8_t> bytes);

// The same scan over a piece of the file that starts at offset base, appending what it finds
// (offsets in the file) to found: a file read in pieces is scanned piece by piece. Tags that
// straddle two pieces are the caller's to find.
void ScanTagsInto(std::span<const std::uint8_t> piece, std::int64_t base, TagPositions& found);

// Byte by byte; gives the same result as ScanTags.
TagPositions ScanTagsPortable(std::span<const std::uint8_t> bytes);

}  // namespace pixhaul
