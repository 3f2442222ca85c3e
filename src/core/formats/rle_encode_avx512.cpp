#include "formats/rle_encode_avx512.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <bit>

#include "bitmap/first_bits.h"
#include "bitmap/run_fill_avx512.h"
#include "platform/avx512_code.h"
#include "platform/code_path.h"

namespace pixhaul {
namespace {

CodePathSwitch& EncodeSwitch() {
    static CodePathSwitch path(ProcessorHasAvx512Bw);
    return path;
}

// Sixteen pixels (48 bytes) to sixteen records: a dword permutation gives 16-byte lane k the
// twelve bytes of pixels 4k to 4k + 3, a byte shuffle in each lane makes their four records,
// the count bytes (shuffled to zero) then set to 1.
alignas(64) constexpr auto kPixelDwords = [] {
    std::array<std::uint32_t, 16> index{};
    for (std::uint32_t j = 0; j < 16; ++j) index[j] = 3 * (j / 4) + std::min(j % 4, 2u);
    return index;
}();

alignas(64) constexpr auto kRecordBytes = [] {
    std::array<std::uint8_t, 64> index{};
    for (int j = 0; j < 64; ++j) {
        const int lane = j % 16;
        const int pixel = lane / 4;
        const int position = lane % 4;  // count, red, green, blue
        index[j] = position == 0 ? 0x80 : static_cast<std::uint8_t>(3 * pixel + 3 - position);
    }
    return index;
}();

// In a mask of 48 bytes' bits, the bit of each of sixteen pixels' first byte.
constexpr std::uint64_t kPixelStarts = [] {
    std::uint64_t bits = 0;
    for (int i = 0; i < 16; ++i) bits |= std::uint64_t{1} << (3 * i);
    return bits;
}();

}  // namespace

bool RleEncodeAvx512Enabled() {
    return EncodeSwitch().Enabled();
}

void SetRleEncodeAvx512(bool enabled) {
    EncodeSwitch().Set(enabled);
}

PIXHAUL_AVX512_CODE_BEGIN

PIXHAUL_AVX512BW std::size_t MatchingPixelsAvx512(const std::uint8_t* bgr, std::size_t max,
                                                  std::uint8_t blue, std::uint8_t green,
                                                  std::uint8_t red) {
    const __m512i colour = _mm512_set1_epi32(static_cast<int>(
        blue | static_cast<std::uint32_t>(green) << 8 | static_cast<std::uint32_t>(red) << 16));
    // The colour laid out as 64 pixels, as a run of it is written.
    const __m512i pattern[3] = {avx512::PatternThird(colour, 0), avx512::PatternThird(colour, 1),
                                avx512::PatternThird(colour, 2)};
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

PIXHAUL_AVX512BW std::size_t OnePixelRecordsAvx512(const std::uint8_t* bgr, std::size_t left,
                                                   std::uint8_t* record) {
    const __m512i dwords = _mm512_load_si512(kPixelDwords.data());
    const __m512i bytes = _mm512_load_si512(kRecordBytes.data());
    const __m512i counts = _mm512_set1_epi32(1);
    constexpr __mmask64 kSixteen = (std::uint64_t{1} << 48) - 1;
    std::size_t n = 0;
    // Each group compares its sixteen pixels with the sixteen from the next pixel on.
    for (; n + 17 <= left; n += 16, bgr += 48, record += 64) {
        const __m512i pixels = _mm512_maskz_loadu_epi8(kSixteen, bgr);
        const __m512i next = _mm512_maskz_loadu_epi8(kSixteen, bgr + 3);
        const std::uint64_t equal = _mm512_cmpeq_epi8_mask(pixels, next) & kSixteen;
        if ((equal & equal >> 1 & equal >> 2 & kPixelStarts) != 0) break;
        const __m512i records =
            _mm512_shuffle_epi8(_mm512_permutexvar_epi32(dwords, pixels), bytes);
        _mm512_storeu_si512(record, _mm512_or_si512(records, counts));
    }
    return n;
}

PIXHAUL_AVX512_CODE_END

}  // namespace pixhaul
