#include "bgr_to_rgb32.h"

#include <immintrin.h>

#include <algorithm>
#include <cstring>
#include <vector>

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

// Writes larger than this go past the caches (a maximised window at a high zoom): stored
// without reading the destination lines first, which nearly halves the memory traffic.
constexpr std::int64_t kStreamingBytes = 8 << 20;

// Copies count pixels to a row of the image with non-temporal stores.
void StreamRowSse2(std::uint32_t* to, const std::uint32_t* from, std::int32_t count) {
    std::int32_t i = 0;
    for (; i < count && (reinterpret_cast<std::uintptr_t>(to + i) & 15) != 0; ++i) to[i] = from[i];
    for (; i + 4 <= count; i += 4) {
        _mm_stream_si128(reinterpret_cast<__m128i*>(to + i),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)));
    }
    for (; i < count; ++i) to[i] = from[i];
}

// The same, a whole 64-byte line per step: each line leaves the write-combining buffer full.
__attribute__((target("avx2"))) void StreamRowAvx2(std::uint32_t* to, const std::uint32_t* from,
                                                   std::int32_t count) {
    std::int32_t i = 0;
    for (; i < count && (reinterpret_cast<std::uintptr_t>(to + i) & 63) != 0; ++i) to[i] = from[i];
    for (; i + 16 <= count; i += 16) {
        const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i));
        const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i + 8));
        _mm256_stream_si256(reinterpret_cast<__m256i*>(to + i), low);
        _mm256_stream_si256(reinterpret_cast<__m256i*>(to + i + 8), high);
    }
    for (; i < count; ++i) to[i] = from[i];
}

void StreamRow(std::uint32_t* to, const std::uint32_t* from, std::int32_t count) {
    static const bool hasAvx2 = __builtin_cpu_supports("avx2");
    if (hasAvx2) {
        StreamRowAvx2(to, from, count);
    } else {
        StreamRowSse2(to, from, count);
    }
}

// Writes each pixel runs[i] times in a row (count pixels in all), the way a widened row repeats
// its source columns. A run is written four pixels per store, which may spill up to three
// pixels past it into the next run's place (rewritten by that run); the runs near the end,
// with no room after them to spill into, go pixel by pixel.
void SpreadRuns(const std::uint32_t* pixels, const std::int32_t* runs, std::int32_t runCount,
                std::uint32_t* to, std::int32_t count) {
    std::int32_t at = 0;
    for (std::int32_t i = 0; i < runCount; ++i) {
        const std::int32_t run = runs[i];
        const std::int32_t stored = (run + 3) & ~3;
        if (at + stored <= count) {
            const __m128i four = _mm_set1_epi32(static_cast<int>(pixels[i]));
            for (std::int32_t k = 0; k < stored; k += 4) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(to + at + k), four);
            }
        } else {
            std::fill_n(to + at, run, pixels[i]);
        }
        at += run;
    }
}

std::uint32_t* RowOf(const Rgb32Image& image, std::int64_t y) {
    return reinterpret_cast<std::uint32_t*>(image.bits + y * image.lineBytes);
}

}  // namespace

void ConvertBgrRow(const std::uint8_t* from, std::uint32_t* to, std::int32_t count) {
    if (HasSsse3()) {
        ConvertSsse3(from, to, count);
    } else {
        ConvertScalar(from, to, count);
    }
}

void FillRgb32(const Rgb32Image& image, PixelRect rect, COLORREF colour) {
    rect.left = std::max(rect.left, 0);
    rect.top = std::max(rect.top, 0);
    rect.right = std::min(rect.right, image.width);
    rect.bottom = std::min(rect.bottom, image.height);
    if (image.bits == nullptr || rect.Empty()) return;
    const std::uint32_t pixel = 0xFF000000u | static_cast<std::uint32_t>(RedOf(colour)) << 16 |
                                static_cast<std::uint32_t>(GreenOf(colour)) << 8 | BlueOf(colour);
    for (std::int32_t y = rect.top; y < rect.bottom; ++y) {
        std::fill_n(RowOf(image, y) + rect.left, rect.Width(), pixel);
    }
}

PixelRect StretchToRgb32(const Surface& source, const Rgb32Image& image, std::int32_t x,
                         std::int32_t y, std::int32_t destWidth, std::int32_t destHeight) {
    const std::int64_t sourceWidth = source.Width();
    const std::int64_t sourceHeight = source.Height();
    if (image.bits == nullptr || sourceWidth <= 0 || sourceHeight <= 0 || destWidth <= 0 ||
        destHeight <= 0) {
        return {};
    }
    const std::int64_t firstCol = std::max<std::int64_t>(0, -std::int64_t{x});
    const std::int64_t lastCol = std::min<std::int64_t>(destWidth, image.width - std::int64_t{x});
    const std::int64_t firstRow = std::max<std::int64_t>(0, -std::int64_t{y});
    const std::int64_t lastRow = std::min<std::int64_t>(destHeight, image.height - std::int64_t{y});
    if (firstCol >= lastCol || firstRow >= lastRow) return {};
    const PixelRect written{
        static_cast<std::int32_t>(x + firstCol), static_cast<std::int32_t>(y + firstRow),
        static_cast<std::int32_t>(x + lastCol), static_cast<std::int32_t>(y + lastRow)};
    if (source.Bits() == nullptr) {
        FillRgb32(image, written, 0);
        return written;
    }

    const auto sourceCol = [&](std::int64_t j) { return j * sourceWidth / destWidth; };
    const auto count = static_cast<std::int32_t>(lastCol - firstCol);
    const std::int64_t leftSource = sourceCol(firstCol);
    const auto span = static_cast<std::int32_t>(sourceCol(lastCol - 1) - leftSource + 1);
    const bool oneToOne = destWidth == sourceWidth;
    const bool widened = destWidth > sourceWidth;
    // Scaled rows: the source columns in view are converted once per source row, then picked;
    // a widened row repeats each source column over a run of destination columns.
    std::vector<std::uint32_t> converted(oneToOne ? 0 : static_cast<std::size_t>(span));
    std::vector<std::int32_t> columns(oneToOne || widened ? 0 : static_cast<std::size_t>(count));
    std::vector<std::int32_t> runs(widened ? static_cast<std::size_t>(span) : 0);
    for (std::int32_t k = 0; k < count; ++k) {
        const auto column = static_cast<std::int32_t>(sourceCol(firstCol + k) - leftSource);
        if (widened) {
            ++runs[static_cast<std::size_t>(column)];
        } else if (!oneToOne) {
            columns[static_cast<std::size_t>(k)] = column;
        }
    }

    // Each source row in view is built once (converted, and picked for a scaled row), then
    // copied to every destination row that shows it.
    const bool streaming = (lastRow - firstRow) * count * 4 >= kStreamingBytes;
    std::vector<std::uint32_t> row(streaming ? static_cast<std::size_t>(count) : 0);
    std::int64_t builtFor = -1;
    const std::uint32_t* built = nullptr;
    for (std::int64_t i = firstRow; i < lastRow; ++i) {
        const std::int64_t sy = i * sourceHeight / destHeight;
        std::uint32_t* to = RowOf(image, y + i) + x + firstCol;
        if (sy != builtFor) {
            const std::uint8_t* from =
                source.Bits() + (sourceHeight - 1 - sy) * source.Stride() + 3 * leftSource;
            std::uint32_t* target = streaming ? row.data() : to;
            if (oneToOne) {
                ConvertBgrRow(from, target, count);
            } else {
                ConvertBgrRow(from, converted.data(), span);
                if (widened) {
                    SpreadRuns(converted.data(), runs.data(), span, target, count);
                } else {
                    for (std::int32_t k = 0; k < count; ++k) target[k] = converted[columns[k]];
                }
            }
            builtFor = sy;
            built = target;
            if (!streaming) continue;
        }
        if (streaming) {
            StreamRow(to, built, count);
        } else {
            std::memcpy(to, built, sizeof(std::uint32_t) * static_cast<std::size_t>(count));
        }
    }
    if (streaming) _mm_sfence();
    return written;
}

}  // namespace pixhaul::viewer
