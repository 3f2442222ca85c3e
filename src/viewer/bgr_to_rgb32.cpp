#include "bgr_to_rgb32.h"

#include <immintrin.h>

namespace pixhaul::viewer {
namespace {

void ConvertScalar(const std::uint8_t* from, std::uint32_t* to, std::int32_t count) {
    for (std::int32_t i = 0; i < count; ++i, from += 3) {
        to[i] = 0xFF000000u | static_cast<std::uint32_t>(from[2]) << 16 |
                static_cast<std::uint32_t>(from[1]) << 8 | from[0];
    }
}

// Four pixels per shuffle. Each 16-byte load reads 4 bytes past the 12 it uses, so the vector
// loop stops while at least 16 bytes remain and the rest goes pixel by pixel.
__attribute__((target("ssse3"))) void ConvertSsse3(const std::uint8_t* from, std::uint32_t* to,
                                                   std::int32_t count) {
    const __m128i shuffle = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    std::int32_t i = 0;
    for (; i + 6 <= count; i += 4) {
        const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 3 * i));
        const __m128i out = _mm_or_si128(_mm_shuffle_epi8(in, shuffle), alpha);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), out);
    }
    ConvertScalar(from + 3 * i, to + i, count - i);
}

bool HasSsse3() {
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}

}  // namespace

void ConvertBgrRow(const std::uint8_t* from, std::uint32_t* to, std::int32_t count) {
    if (HasSsse3()) {
        ConvertSsse3(from, to, count);
    } else {
        ConvertScalar(from, to, count);
    }
}

void ConvertSurfaceRect(const Surface& surface, const PixelRect& rect, std::uint8_t* image,
                        std::int64_t lineBytes) {
    const std::uint8_t* bits = surface.Bits();
    for (std::int32_t y = rect.top; y < rect.bottom; ++y) {
        auto* to = reinterpret_cast<std::uint32_t*>(image + y * lineBytes) + rect.left;
        if (bits == nullptr) {
            // An untouched surface is black.
            for (std::int32_t x = 0; x < rect.Width(); ++x) to[x] = 0xFF000000u;
            continue;
        }
        const std::uint8_t* from =
            bits + (surface.Height() - 1 - y) * surface.Stride() + 3 * rect.left;
        ConvertBgrRow(from, to, rect.Width());
    }
}

}  // namespace pixhaul::viewer
