#include "formats/run_end_avx512.h"

#include <immintrin.h>

#include <array>
#include <bit>

#include "bitmap/first_bits.h"
#include "platform/avx512_code.h"
#include "platform/code_path.h"

namespace pixhaul {
namespace {

CodePathSwitch& RunEndSwitch() {
    static CodePathSwitch path(ProcessorHasAvx512Bw);
    return path;
}

// Byte j of each 64-byte third of 64 pixels is colour byte (64 * third + j) % 3: as indices
// into the 4-byte colour repeated in every 16-byte lane.
alignas(64) constexpr auto kPhases = [] {
    std::array<std::array<std::uint8_t, 64>, 3> index{};
    for (int t = 0; t < 3; ++t) {
        for (int j = 0; j < 64; ++j) index[t][j] = static_cast<std::uint8_t>((64 * t + j) % 3);
    }
    return index;
}();

}  // namespace

bool RunEndAvx512Enabled() {
    return RunEndSwitch().Enabled();
}

void SetRunEndAvx512(bool enabled) {
    RunEndSwitch().Set(enabled);
}

PIXHAUL_AVX512_CODE_BEGIN

PIXHAUL_AVX512BW std::size_t MatchingPixelsAvx512(const std::uint8_t* bgr, std::size_t max,
                                                  std::uint8_t blue, std::uint8_t green,
                                                  std::uint8_t red) {
    const __m512i colour = _mm512_set1_epi32(static_cast<int>(
        blue | static_cast<std::uint32_t>(green) << 8 | static_cast<std::uint32_t>(red) << 16));
    __m512i pattern[3];
    for (std::size_t t = 0; t < 3; ++t) {
        pattern[t] = _mm512_shuffle_epi8(colour, _mm512_load_si512(kPhases[t].data()));
    }
    // The first byte that differs, among the 192 of 64 pixels, gives the pixel where the run
    // ends.
    auto end = [](__mmask64 d0, __mmask64 d1, __mmask64 d2) -> std::size_t {
        const int first = d0 != 0   ? std::countr_zero(d0)
                          : d1 != 0 ? 64 + std::countr_zero(d1)
                                    : 128 + std::countr_zero(d2);
        return static_cast<std::size_t>(first) / 3;
    };
    std::size_t n = 0;
    for (; n + 64 <= max; n += 64, bgr += 192) {
        const __mmask64 d0 = _mm512_cmpneq_epi8_mask(_mm512_loadu_si512(bgr), pattern[0]);
        const __mmask64 d1 = _mm512_cmpneq_epi8_mask(_mm512_loadu_si512(bgr + 64), pattern[1]);
        const __mmask64 d2 = _mm512_cmpneq_epi8_mask(_mm512_loadu_si512(bgr + 128), pattern[2]);
        if ((d0 | d1 | d2) != 0) return n + end(d0, d1, d2);
    }
    if (n == max) return n;
    // The last pixels, loaded and compared under masks that stop at them.
    const auto bytes = static_cast<std::int64_t>(3 * (max - n));
    __mmask64 d[3];
    for (std::size_t t = 0; t < 3; ++t) {
        const __mmask64 within = FirstBits(bytes - 64 * static_cast<std::int64_t>(t));
        d[t] = _mm512_mask_cmpneq_epi8_mask(within, _mm512_maskz_loadu_epi8(within, bgr + 64 * t),
                                            pattern[t]);
    }
    if ((d[0] | d[1] | d[2]) != 0) return n + end(d[0], d[1], d[2]);
    return max;
}

PIXHAUL_AVX512_CODE_END

}  // namespace pixhaul
