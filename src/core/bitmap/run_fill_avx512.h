#pragma once
// A run of one colour written with 64-byte stores (AVX-512 BW): at most six for a run of up to
// 127 pixels (381 bytes), the last one masked to end with the run, so nothing past it is
// touched and no run needs room after it. For code compiled for AVX-512 BW only.
#include <immintrin.h>

#include <array>
#include <cstdint>

#include "bitmap/first_bits.h"
#include "platform/avx512_code.h"

namespace pixhaul::avx512 {

PIXHAUL_AVX512_CODE_BEGIN

// Byte k of the 192-byte pattern of a run (64 pixels) is colour byte k % 3. Each third is one
// byte shuffle of the colour in every 32-bit slot: the shuffle stays inside 16-byte lanes, and
// every lane holds the colour's bytes at 0, 1 and 2.
constexpr std::array<std::uint8_t, 64> PatternIndices(int third) {
    std::array<std::uint8_t, 64> indices{};
    for (int j = 0; j < 64; ++j) indices[j] = static_cast<std::uint8_t>((64 * third + j) % 3);
    return indices;
}
alignas(64) inline constexpr std::array<std::array<std::uint8_t, 64>, 3> kPatternIndices = {
    PatternIndices(0), PatternIndices(1), PatternIndices(2)};

PIXHAUL_AVX512BW inline __m512i PatternThird(__m512i colour, int third) {
    return _mm512_shuffle_epi8(colour, _mm512_load_si512(kPatternIndices[third].data()));
}

// Writes the n bytes (a multiple of 3, at most 381) of a run of the colour in the three low
// bytes of colour (blue lowest) from dst. Unneeded stores are skipped by branches in steps of one,
// three and six stores: made all unconditional, with empty masks, the decode was slower; with
// only the steps of one and six, the bench's run-heavy decodes took 5-7% longer (runs of 22 to
// 64 pixels paid three empty stores), and with a branch after every store no less.
PIXHAUL_AVX512BW inline void FillRun(std::uint8_t* dst, std::uint32_t colour, std::int64_t n) {
    const __m512i c = _mm512_set1_epi32(static_cast<int>(colour));
    const __m512i first = PatternThird(c, 0);
    _mm512_mask_storeu_epi8(dst, FirstBits(n), first);
    if (n <= 64) return;
    const __m512i second = PatternThird(c, 1);
    const __m512i third = PatternThird(c, 2);
    _mm512_mask_storeu_epi8(dst + 64, FirstBits(n - 64), second);
    _mm512_mask_storeu_epi8(dst + 128, FirstBits(n - 128), third);
    if (n <= 192) return;
    _mm512_mask_storeu_epi8(dst + 192, FirstBits(n - 192), first);
    _mm512_mask_storeu_epi8(dst + 256, FirstBits(n - 256), second);
    _mm512_mask_storeu_epi8(dst + 320, FirstBits(n - 320), third);
}

PIXHAUL_AVX512_CODE_END

}  // namespace pixhaul::avx512
