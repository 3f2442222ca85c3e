#pragma once
// Where things lie in an image block, counted from the block's position in ImageBlockPos
// (just after its tag):
//   two unused words, the palette (256 COLORREFs), the image count (uint32),
//   then per image an entry of kImageEntrySize bytes followed by its stream.
// An entry: Id (int32), 6 unused bytes, stream Length (int32), Width, Height, eType and
// Extra1..Extra4 (int16 each). Every number is little-endian.
#include <cstddef>

namespace pixhaul {

inline constexpr std::size_t kBlockPaletteOffset = 8;
inline constexpr std::size_t kBlockPaletteEntries = 256;
inline constexpr std::size_t kBlockPaletteBytes = 4 * kBlockPaletteEntries;
inline constexpr std::size_t kBlockImageCountOffset = kBlockPaletteOffset + kBlockPaletteBytes;

inline constexpr std::size_t kImageEntrySize = 28;
inline constexpr std::size_t kImageEntryUnusedBytes = 6;  // after the Id
inline constexpr std::size_t kImageEntryLengthOffset = 10;

}  // namespace pixhaul
