#pragma once
// The run-length encoder's two searches with 64-byte registers where the processor has AVX-512
// BW: the end of a run of one colour, 64 pixels a compare (most of the search is in long runs
// of the transparent colour), and stretches of one-pixel records (shaded sprites are mostly
// such pixels), sixteen pixels a compare, two shuffles and one store.
#include <cstddef>
#include <cstdint>

namespace pixhaul {

// Whether the encoder searches this way (true where the processor has AVX-512 BW, unless
// turned off). Tests turn it off to cover the 16-byte compares and the scalar records of other
// processors.
bool RleEncodeAvx512Enabled();
void SetRleEncodeAvx512(bool enabled);

// Pixels from bgr (at most max) that have the colour blue, green, red, counted from the first.
// Reads nothing past the max pixels. Call only where RleEncodeAvx512Enabled().
std::size_t MatchingPixelsAvx512(const std::uint8_t* bgr, std::size_t max, std::uint8_t blue,
                                 std::uint8_t green, std::uint8_t red);

// Writes the one-pixel records (1, red, green, blue) of pixels from bgr on, sixteen at a time,
// while each of the sixteen differs from the pixel after it; stops before a group of sixteen
// with a pixel like the next or without the pixel after it among the `left` pixels at bgr.
// Returns the pixels done (a multiple of 16), whose records fill 4 bytes a pixel from record
// on. Reads nothing past the `left` pixels. Call only where RleEncodeAvx512Enabled().
std::size_t OnePixelRecordsAvx512(const std::uint8_t* bgr, std::size_t left, std::uint8_t* record);

}  // namespace pixhaul
