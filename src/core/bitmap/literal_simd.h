#pragma once
// Vector conversion of literal colours into stored 3-byte pixels, used by the decoder when the
// processor has AVX2. Each function works in groups of eight pixels (long palette literals and
// 15-bit literals in groups of 64 where the processor has AVX-512 VBMI) and returns how many
// pixels it did; the decoder finishes the rest one pixel at a time.
#include <array>
#include <cstddef>
#include <cstdint>

namespace pixhaul {

// Whether the decoder converts literals with vector code (true on an AVX2 machine unless turned
// off). Tests turn it off to compare with the plain conversion.
bool VectorLiteralsEnabled();
void SetVectorLiterals(bool enabled);

// What a conversion may touch beyond the literal. Exact: only the literal's own bytes (it
// converts whole groups of eight, the last one overlapping the one before, and returns how many
// pixels it did; the caller finishes the rest). Overrun: it converts every pixel, and may write
// up to kLiteralWriteOverrun bytes past the last pixel and read up to kLiteralReadOverrun bytes
// past the last colour.
enum class LiteralBounds { Exact, Overrun };
inline constexpr std::size_t kLiteralWriteOverrun = 32;
inline constexpr std::size_t kLiteralReadOverrun = 32;

// A palette's stored pixels as three planes of bytes (blue, green, red: byte b of entry i at
// bytes[b][i]), the form the 64-pixel conversion looks colours up in. Made once an image: made
// at every literal, they cost as much as converting 64 pixels. Left unmade on processors without
// AVX-512 VBMI, where nothing reads them.
struct alignas(64) PalettePlanes {
    std::array<std::array<std::uint8_t, 256>, 3> bytes;
};
void MakePalettePlanes(const std::uint32_t* palette, PalettePlanes& planes);

// Converts up to count pixels of palette indices (palette: stored pixels, 256 entries; planes:
// the same made by MakePalettePlanes).
std::int32_t PaletteLiteralAvx2(const std::uint8_t* src, std::uint8_t* dst, std::int32_t count,
                                const std::uint32_t* palette, const PalettePlanes& planes,
                                LiteralBounds bounds);
// Converts up to count little-endian 15-bit colours; black becomes trans.
std::int32_t FifteenBitLiteralAvx2(const std::uint8_t* src, std::uint8_t* dst, std::int32_t count,
                                   std::uint32_t trans, LiteralBounds bounds);
// Converts up to count 3-byte colours; black becomes trans. Exact, it reads at most four bytes
// past the last colour it converts, and only when more colours follow.
std::int32_t TwentyFourBitLiteralAvx2(const std::uint8_t* src, std::uint8_t* dst,
                                      std::int32_t count, std::uint32_t trans,
                                      LiteralBounds bounds);

// Palette and 15-bit streams: runs of up to this many pixels join the literals around them.
inline constexpr std::int32_t kGatheredRunLimit = 4;
// How far past colours[kBytes * need] a gathering may write, and past an opcode's position it
// may read.
template <int kBytes>
inline constexpr std::size_t kGatherWriteOverrun = 32 + 128 * kBytes;
template <int kBytes>
inline constexpr std::size_t kGatherReadAhead = 1 + 128 * kBytes;

// Copies the colours (kBytes each) of consecutive packets, literals and runs of at most
// kGatheredRunLimit pixels, from the stream's opcode at p onwards into colours from pixel n
// on, so that a stretch of noise is converted with one call instead of one per packet. Stops
// once n reaches need, at an opcode at or past opEnd, or at a packet of another kind (a longer
// run, the damage marker); returns the new n and leaves p at the first packet not taken. Every
// opcode below opEnd must have kGatherReadAhead readable bytes from its position, and colours
// must hold kBytes * need + kGatherWriteOverrun bytes. The colours past need belong to the
// pixels that follow. kBytes is 1 (palette indices) or 2 (15-bit colours).
template <int kBytes>
std::int32_t GatherLiteralColours(const std::uint8_t* stream, std::size_t& p, std::size_t opEnd,
                                  std::uint8_t* colours, std::int32_t n, std::int32_t need);

// 15-bit noise decoded straight into the rows where the processor has AVX-512 VBMI: literals and
// the runs of at most kGatheredRunLimit pixels between them, from the opcode at p, across row
// ends. Gathered first, the bench's noise took 1.08 times as long: the conversion of 64 colours
// at a time has no call to pay per literal, and the copy only added to the reading of the
// stream. Stops at an opcode at or past opEnd or at a packet of another kind (a longer run, the
// damage marker), and leaves p there; returns true once the image is full. Every packet whose
// opcode lies below opEnd must lie inside src. Call only where FifteenBitNoiseVbmiAvailable().
struct Colours;
struct RowCursor;
bool FifteenBitNoiseVbmiAvailable();
bool FifteenBitNoiseVbmi(const std::uint8_t* src, std::size_t& p, std::size_t opEnd,
                         RowCursor& cursor, const Colours& colours);

// Consecutive 24-bit literals decoded straight into the rows, across row ends, in one loop that
// keeps its place in registers: called literal by literal, the bench's 24-bit noise took 1.17
// times as long. Stops at an opcode at or past opEnd or at another packet, and leaves p there;
// returns true once the image is full. Every packet whose opcode lies below opEnd must lie inside
// src, with kLiteralReadOverrun readable bytes after it. Call only where VectorLiteralsEnabled().
bool TwentyFourBitLiteralsAvx2(const std::uint8_t* src, std::size_t& p, std::size_t opEnd,
                               RowCursor& cursor, const Colours& colours);

}  // namespace pixhaul
