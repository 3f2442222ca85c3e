#pragma once
// Run packets decoded with 64-byte stores, where the processor has AVX-512 BW. A run is at
// most 127 pixels, 381 bytes: at most six stores, the last one masked to end with the run, so
// nothing past it is touched and no run needs room after it.
#include <cstddef>
#include <cstdint>

#include "bitmap/stream_colours.h"

namespace pixhaul {

// Whether the decoder takes the decoding below (true where the processor has AVX-512 BW, unless
// turned off). Tests turn it off to cover the 16-byte fills of other processors.
bool RunsAvx512Enabled();
void SetRunsAvx512(bool enabled);

// Where the next pixel goes: the row's first byte, the bytes from one row to the one above it
// (rows go from the bottom of the buffer up, so the next row lies stride bytes lower), and the
// column and row reached.
struct RowCursor {
    std::uint8_t* row;
    std::int64_t stride;
    std::int32_t rowWidth;
    std::int32_t height;
    std::int32_t x;
    std::int32_t y;

    std::uint8_t* Here() const { return row + 3 * std::int64_t{x}; }
    std::int32_t RowLeft() const { return rowWidth - x; }
    // Moves on by k pixels (at most RowLeft()), at the row's end to the start of the next one;
    // true once the image is full.
    bool Advance(std::int32_t k) {
        x += k;
        if (x < rowWidth) return false;
        x = 0;
        if (++y == height) return true;
        row -= stride;
        return false;
    }
};

// Decodes consecutive run packets (colours of kBytes bytes: 1, 2 or 3) from the opcode at p,
// across row ends; stops at an opcode at or past opEnd or at a packet of another kind, and
// leaves p there. Returns true once the image is full. Every opcode below opEnd must be
// followed by its colour and one more readable byte. Call only where RunsAvx512Enabled().
template <int kBytes>
bool DecodeRunsAvx512(const std::uint8_t* src, std::size_t& p, std::size_t opEnd, RowCursor& cursor,
                      const Colours& colours);

}  // namespace pixhaul
