#pragma once
// The end of a run of one colour in 24-bit pixels, 64 pixels (three 64-byte registers) a
// compare where the processor has AVX-512 BW: the run-length encoder spends most of its search
// in long runs of the transparent colour.
#include <cstddef>
#include <cstdint>

namespace pixhaul {

// Whether MatchingPixels searches this way (true where the processor has AVX-512 BW, unless
// turned off). Tests turn it off to cover the 16-byte compares of other processors.
bool RunEndAvx512Enabled();
void SetRunEndAvx512(bool enabled);

// Pixels from bgr (at most max) that have the colour blue, green, red, counted from the first.
// Reads nothing past the max pixels. Call only where RunEndAvx512Enabled().
std::size_t MatchingPixelsAvx512(const std::uint8_t* bgr, std::size_t max, std::uint8_t blue,
                                 std::uint8_t green, std::uint8_t red);

}  // namespace pixhaul
