// Runs decoded in one loop with their state in registers: packet by packet, through the
// decoder's general loop, the bench's run-heavy sprites (shapes of a few flat colours) took
// 1.8-2.1 ms with 16-byte stores and 1.6-1.9 ms with these stores called per packet; here they
// take 1.2-1.3 ms.
#include "bitmap/runs_avx512.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <atomic>

#include "bitmap/first_bits.h"

namespace pixhaul {

namespace {

bool ProcessorHasAvx512Bw() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
}

std::atomic<bool>& RunsSwitch() {
    static std::atomic<bool> enabled{ProcessorHasAvx512Bw()};
    return enabled;
}

#define PIXHAUL_AVX512BW __attribute__((target("avx512f,avx512bw")))

// g++ 12 takes the undefined pass-through operand of the unmasked AVX-512 intrinsics for a read
// of an uninitialised value.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// Byte k of the 192-byte pattern of a run (64 pixels) is colour byte k % 3. Each third is one
// byte shuffle of the colour in every 32-bit slot: the shuffle stays inside 16-byte lanes, and
// every lane holds the colour's bytes at 0, 1 and 2.
constexpr std::array<std::uint8_t, 64> PatternIndices(int third) {
    std::array<std::uint8_t, 64> indices{};
    for (int j = 0; j < 64; ++j) indices[j] = static_cast<std::uint8_t>((64 * third + j) % 3);
    return indices;
}
alignas(64) constexpr std::array<std::array<std::uint8_t, 64>, 3> kPatternIndices = {
    PatternIndices(0), PatternIndices(1), PatternIndices(2)};

PIXHAUL_AVX512BW inline __m512i PatternThird(__m512i colour, int third) {
    return _mm512_shuffle_epi8(colour, _mm512_load_si512(kPatternIndices[third].data()));
}

// Writes the n bytes (a multiple of 3, at most 381) of a run from dst. Unneeded stores are
// skipped by branches: made all unconditional, with empty masks, the decode was slower.
PIXHAUL_AVX512BW inline void FillRun(std::uint8_t* dst, std::uint32_t colour, std::int64_t n) {
    const __m512i c = _mm512_set1_epi32(static_cast<int>(colour));
    const __m512i first = PatternThird(c, 0);
    _mm512_mask_storeu_epi8(dst, FirstBits(n), first);
    if (n <= 64) return;
    const __m512i second = PatternThird(c, 1);
    const __m512i third = PatternThird(c, 2);
    _mm512_mask_storeu_epi8(dst + 64, FirstBits(n - 64), second);
    _mm512_mask_storeu_epi8(dst + 128, FirstBits(n - 128), third);
    _mm512_mask_storeu_epi8(dst + 192, FirstBits(n - 192), first);
    _mm512_mask_storeu_epi8(dst + 256, FirstBits(n - 256), second);
    _mm512_mask_storeu_epi8(dst + 320, FirstBits(n - 320), third);
}

template <int kBytes>
PIXHAUL_AVX512BW bool DecodeRuns(const std::uint8_t* src, std::size_t& p, std::size_t opEnd,
                                 RowCursor& cursor, const Colours& colours) {
    const std::uint8_t* at = src + p;
    const std::uint8_t* const end = src + opEnd;
    RowCursor c = cursor;
    bool full = false;
    while (at < end && *at < 128 && !full) {
        std::int32_t count = *at;
        const Pixel colour = ReadColour<kBytes>(at + 1, colours);
        at += 1 + kBytes;
        while (count > 0) {
            const std::int32_t k = std::min(count, c.rowWidth - c.x);
            FillRun(c.row + 3 * std::int64_t{c.x}, colour, 3 * std::int64_t{k});
            c.x += k;
            count -= k;
            if (c.x == c.rowWidth) {
                c.x = 0;
                if (++c.y == c.height) {
                    full = true;
                    break;
                }
                c.row -= c.stride;
            }
        }
    }
    cursor = c;
    p = static_cast<std::size_t>(at - src);
    return full;
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace

bool RunsAvx512Enabled() {
    return RunsSwitch().load(std::memory_order_relaxed);
}

void SetRunsAvx512(bool enabled) {
    RunsSwitch().store(enabled && ProcessorHasAvx512Bw(), std::memory_order_relaxed);
}

template <int kBytes>
bool DecodeRunsAvx512(const std::uint8_t* src, std::size_t& p, std::size_t opEnd, RowCursor& cursor,
                      const Colours& colours) {
    return DecodeRuns<kBytes>(src, p, opEnd, cursor, colours);
}

template bool DecodeRunsAvx512<1>(const std::uint8_t*, std::size_t&, std::size_t, RowCursor&,
                                  const Colours&);
template bool DecodeRunsAvx512<2>(const std::uint8_t*, std::size_t&, std::size_t, RowCursor&,
                                  const Colours&);
template bool DecodeRunsAvx512<3>(const std::uint8_t*, std::size_t&, std::size_t, RowCursor&,
                                  const Colours&);

}  // namespace pixhaul
