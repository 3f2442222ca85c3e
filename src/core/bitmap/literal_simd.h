#pragma once
// Vector conversion of literal colours into stored 3-byte pixels, used by the decoder when the
// processor has AVX2. Each function converts a whole number of groups of eight pixels and
// returns how many pixels it did; the decoder finishes the rest one pixel at a time.
#include <cstdint>

namespace pixhaul {

// Whether the decoder converts literals with vector code (true on an AVX2 machine unless turned
// off). Tests turn it off to compare with the plain conversion.
bool VectorLiteralsEnabled();
void SetVectorLiterals(bool enabled);

// Converts up to count pixels of palette indices (palette: stored pixels, 256 entries).
std::int32_t PaletteLiteralAvx2(const std::uint8_t* src, std::uint8_t* dst, std::int32_t count,
                                const std::uint32_t* palette);
// Converts up to count little-endian 15-bit colours; black becomes trans.
std::int32_t FifteenBitLiteralAvx2(const std::uint8_t* src, std::uint8_t* dst, std::int32_t count,
                                   std::uint32_t trans);
// Converts up to count 3-byte colours; black becomes trans. Reads at most four bytes past the
// last colour it converts, and only when more colours follow.
std::int32_t TwentyFourBitLiteralAvx2(const std::uint8_t* src, std::uint8_t* dst,
                                      std::int32_t count, std::uint32_t trans);

}  // namespace pixhaul
