// AVX2 literal conversion: eight pixels at a time are made as eight 32-bit colours (two lanes of
// four), black is replaced by the transparent colour with a compare and an OR, and each lane is
// packed to twelve bytes with one shuffle. Long palette literals and 15-bit literals go 64 pixels
// at a time where the processor has AVX-512 VBMI. 15-bit noise (there) and consecutive 24-bit
// literals are decoded straight into the rows by loops of their own.
#include "bitmap/literal_simd.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstddef>

#include "bitmap/first_bits.h"
#include "bitmap/run_fill_avx512.h"
#include "bitmap/runs_avx512.h"
#include "bitmap/stream_colours.h"
#include "platform/avx512_code.h"
#include "platform/code_path.h"

namespace pixhaul {

namespace {

CodePathSwitch& VectorSwitch() {
    static CodePathSwitch path(ProcessorHasAvx2);
    return path;
}

// Asks for the stream bytes this far ahead: the hardware's own prefetch leaves the conversion
// waiting on stream bytes that are not in cache. Far enough for the time a read from memory
// takes at the rate the conversion uses bytes (three a pixel for 24-bit colours). Against
// 512 bytes, on a virtual machine whose memory answers slowly, the best literal-heavy decodes
// were 1.1x (palette, 15-bit) and 1.8x (24-bit) as fast; 16 KiB was slower again.
constexpr std::size_t kPrefetchAhead = 8192;

// A prefetch never faults, so it may point past the stream's end.
inline void Prefetch(const std::uint8_t* at) {
    _mm_prefetch(reinterpret_cast<const char*>(at + kPrefetchAhead), _MM_HINT_T0);
}

}  // namespace

bool VectorLiteralsEnabled() {
    return VectorSwitch().Enabled();
}

void SetVectorLiterals(bool enabled) {
    VectorSwitch().Set(enabled);
}

// Palette and 15-bit literals 64 pixels at a time, where the processor has AVX-512 VBMI: the
// colours are made as three planes of 64 bytes (blue, green, red), and three byte shuffles
// interleave them into 192 bytes of stored pixels. For palette colours the planes are byte
// lookups in the palette's three colour planes (256 bytes each, four registers): four times the
// AVX2 conversion's speed on the processor measured, the planes built anew for each call
// included; built once an image (MakePalettePlanes), the literal-heavy palette decode went from
// 3.4-3.6 to 2.5-2.6 ms. 15-bit colours convert at twice the AVX2 speed in the cache (0.08
// against 0.17 ns a pixel); the literal-heavy decode went from 4.1-4.3 to 3.2-3.4 ms.
PIXHAUL_AVX512_CODE_BEGIN

namespace {

// Literals shorter than this are left to the AVX2 code (64 decoded the bench's noise no faster).
constexpr std::int32_t kPaletteVbmiMinimum = 128;
// 15-bit literals this long or longer go to the AVX-512 code, their last group included (24-bit
// ones gain nothing there: their conversion waits on memory).
constexpr std::int32_t kFifteenBitVbmiMinimum = 16;

const bool kHasVbmi = ProcessorHasAvx512Vbmi();

// Where the bytes of one 64-byte third of the output come from: byte k of the 192 is colour
// byte k % 3 of pixel k / 3. Blue and green are picked from the two planes joined (green at 64
// onwards), then red is put in at the bytes of redMask.
struct InterleaveThird {
    std::array<std::uint8_t, 64> blueGreen{};
    std::array<std::uint8_t, 64> red{};
    std::uint64_t redMask = 0;
};

constexpr InterleaveThird MakeThird(int third) {
    InterleaveThird t;
    for (int j = 0; j < 64; ++j) {
        const int k = 64 * third + j;
        const int pixel = k / 3;
        t.blueGreen[j] = static_cast<std::uint8_t>(k % 3 == 1 ? 64 + pixel : pixel);
        t.red[j] = static_cast<std::uint8_t>(pixel);
        if (k % 3 == 2) t.redMask |= std::uint64_t{1} << j;
    }
    return t;
}

constexpr std::array<InterleaveThird, 3> kThirds = {MakeThird(0), MakeThird(1), MakeThird(2)};

// The shuffles that interleave three planes of 64 colour bytes into 192 bytes of pixels.
struct Interleave {
    PIXHAUL_VBMI Interleave() {
        for (int t = 0; t < 3; ++t) {
            blueGreen[t] = _mm512_loadu_si512(kThirds[t].blueGreen.data());
            red[t] = _mm512_loadu_si512(kThirds[t].red.data());
        }
    }
    PIXHAUL_VBMI __m512i Third(const __m512i (&colour)[3], int t) const {
        const __m512i out = _mm512_permutex2var_epi8(colour[0], blueGreen[t], colour[1]);
        return _mm512_mask_permutexvar_epi8(out, kThirds[t].redMask, red[t], colour[2]);
    }
    PIXHAUL_VBMI void Store(const __m512i (&colour)[3], std::uint8_t* dst) const {
        for (int t = 0; t < 3; ++t) _mm512_storeu_si512(dst + 64 * t, Third(colour, t));
    }
    // Only the first `bytes` of the 192.
    PIXHAUL_VBMI void StoreFirst(const __m512i (&colour)[3], std::uint8_t* dst,
                                 std::int64_t bytes) const {
        for (int t = 0; t < 3; ++t) {
            _mm512_mask_storeu_epi8(dst + 64 * t, FirstBits(bytes - 64 * t), Third(colour, t));
        }
    }
    __m512i blueGreen[3], red[3];
};

// Converts the whole groups of 64 below count, touching only their own bytes; returns how many
// pixels it did.
PIXHAUL_VBMI std::int32_t PaletteGroupsVbmi(const std::uint8_t* src, std::uint8_t* dst,
                                            std::int32_t count, const PalettePlanes& palette) {
    __m512i planes[3][4];
    for (int byte = 0; byte < 3; ++byte) {
        for (int q = 0; q < 4; ++q) {
            planes[byte][q] = _mm512_load_si512(palette.bytes[byte].data() + 64 * q);
        }
    }
    const Interleave interleave;
    std::int32_t i = 0;
    for (; i + 64 <= count; i += 64) {
        const __m512i indices = _mm512_loadu_si512(src + i);
        // Each lookup takes seven bits; the top bit picks the upper half of the palette.
        const __mmask64 upper = _mm512_movepi8_mask(indices);
        __m512i colour[3];
        for (int byte = 0; byte < 3; ++byte) {
            const __m512i* q = planes[byte];
            colour[byte] =
                _mm512_mask_blend_epi8(upper, _mm512_permutex2var_epi8(q[0], indices, q[1]),
                                       _mm512_permutex2var_epi8(q[2], indices, q[3]));
        }
        interleave.Store(colour, dst + 3 * i);
    }
    return i;
}

// Byte k of a 64-byte group at k (the low bytes of 64 little-endian 16-bit colours), and at 64 + k
// byte 2k + 1 (their high bytes), of the 128 bytes of two registers.
constexpr std::array<std::uint8_t, 128> MakeEvenOdd() {
    std::array<std::uint8_t, 128> t{};
    for (int k = 0; k < 64; ++k) {
        t[k] = static_cast<std::uint8_t>(2 * k);
        t[64 + k] = static_cast<std::uint8_t>(2 * k + 1);
    }
    return t;
}
alignas(64) constexpr std::array<std::uint8_t, 128> kEvenOdd = MakeEvenOdd();

// 64 15-bit colours into three planes of colour bytes. The low and the high bytes of the colours
// are split into two registers, the colour bytes made from them with shifts and masks (the
// shifts are 16 bits wide; the masks drop what crosses from the byte beside), and black
// replaced by trans.
class FifteenBitPlanes {
  public:
    PIXHAUL_VBMI explicit FifteenBitPlanes(std::uint32_t trans)
        : even_(_mm512_load_si512(kEvenOdd.data())),
          odd_(_mm512_load_si512(kEvenOdd.data() + 64)),
          top5_(_mm512_set1_epi8(static_cast<char>(0xF8))),
          greenLow_(_mm512_set1_epi8(0x38)),
          greenHigh_(_mm512_set1_epi8(static_cast<char>(0xC0))),
          sevenBits_(_mm512_set1_epi8(0x7F)) {
        for (int byte = 0; byte < 3; ++byte) {
            substitute_[byte] = _mm512_set1_epi8(static_cast<char>(trans >> (8 * byte)));
        }
    }

    // first and second hold the 128 bytes of the colours.
    PIXHAUL_VBMI void Convert(__m512i first, __m512i second, __m512i (&colour)[3]) const {
        const __m512i low = _mm512_permutex2var_epi8(first, even_, second);
        const __m512i high = _mm512_permutex2var_epi8(first, odd_, second);
        // Bit 15 is unused: black is a colour whose other fifteen bits are 0.
        const __mmask64 black =
            _mm512_testn_epi8_mask(low, low) & _mm512_testn_epi8_mask(high, sevenBits_);
        colour[0] = _mm512_and_si512(_mm512_slli_epi16(low, 3), top5_);
        colour[1] = _mm512_or_si512(_mm512_and_si512(_mm512_srli_epi16(low, 2), greenLow_),
                                    _mm512_and_si512(_mm512_slli_epi16(high, 6), greenHigh_));
        colour[2] = _mm512_and_si512(_mm512_slli_epi16(high, 1), top5_);
        for (int byte = 0; byte < 3; ++byte) {
            colour[byte] = _mm512_mask_blend_epi8(black, colour[byte], substitute_[byte]);
        }
    }

  private:
    __m512i even_, odd_, top5_, greenLow_, greenHigh_, sevenBits_;
    __m512i substitute_[3];
};

// Where each third of a 64-pixel group takes its colours from: the 32 colours from this pixel
// on hold all of its pixels.
constexpr std::array<int, 3> kThirdFirstPixel = {0, 16, 32};

// The byte shuffle of one third: blue and green are the low and high byte of a colour's word in
// the first register, red the low byte of its word in the second.
constexpr std::array<std::uint8_t, 64> MakeWordThird(int third) {
    std::array<std::uint8_t, 64> index{};
    for (int j = 0; j < 64; ++j) {
        const int k = 64 * third + j;
        const int word = k / 3 - kThirdFirstPixel[static_cast<std::size_t>(third)];
        index[static_cast<std::size_t>(j)] =
            static_cast<std::uint8_t>(k % 3 == 2 ? 64 + 2 * word : 2 * word + k % 3);
    }
    return index;
}

alignas(64) constexpr std::array<std::array<std::uint8_t, 64>, 3> kWordThirds = {
    MakeWordThird(0), MakeWordThird(1), MakeWordThird(2)};

// For each colour's word, the bit where its blue byte starts (three bits below blue, which
// wraps to the top of the 64 bits for the first word) and where its green byte starts.
constexpr std::array<std::uint8_t, 64> MakeBlueGreenFields() {
    std::array<std::uint8_t, 64> control{};
    for (int j = 0; j < 64; j += 2) {
        const int first = 16 * (j / 2 % 4);
        control[static_cast<std::size_t>(j)] = static_cast<std::uint8_t>((first - 3) & 63);
        control[static_cast<std::size_t>(j + 1)] = static_cast<std::uint8_t>(first + 2);
    }
    return control;
}

alignas(64) constexpr std::array<std::uint8_t, 64> kBlueGreenFields = MakeBlueGreenFields();

// 64 15-bit colours without black straight into 192 bytes of pixels, with half the shuffles
// of the planes: each third of the output is made from the 32 colours that hold its pixels,
// loaded on their own. A multishift puts each colour's blue and green bits at the top of the low
// and high byte of its word, a shift its red bits at the top of the low byte of another, one
// byte shuffle lays them out as pixels, and a mask drops the three bits below each colour.
class FifteenBitThirds {
  public:
    PIXHAUL_VBMI FifteenBitThirds()
        : fields_(_mm512_load_si512(kBlueGreenFields.data())),
          sevenBits_(_mm512_set1_epi16(0x7FFF)),
          top5_(_mm512_set1_epi8(static_cast<char>(0xF8))) {
        for (std::size_t t = 0; t < 3; ++t) index_[t] = _mm512_load_si512(kWordThirds[t].data());
    }

    // Converts the 64 colours at src into dst; false, with nothing written, when one of them
    // is black (its pixel takes the substitute, which the planes put in).
    PIXHAUL_VBMI bool Store(const std::uint8_t* src, std::uint8_t* dst) const {
        __m512i words[3];
        for (std::size_t t = 0; t < 3; ++t) {
            words[t] = _mm512_loadu_si512(src + 2 * kThirdFirstPixel[t]);
        }
        // The first and the last 32 are all 64.
        if ((_mm512_testn_epi16_mask(words[0], sevenBits_) |
             _mm512_testn_epi16_mask(words[2], sevenBits_)) != 0) {
            return false;
        }
        for (std::size_t t = 0; t < 3; ++t) {
            const __m512i blueGreen = _mm512_multishift_epi64_epi8(fields_, words[t]);
            const __m512i red = _mm512_srli_epi16(words[t], 7);
            const __m512i pixels = _mm512_permutex2var_epi8(blueGreen, index_[t], red);
            _mm512_storeu_si512(dst + 64 * t, _mm512_and_si512(pixels, top5_));
        }
        return true;
    }

  private:
    __m512i fields_, sevenBits_, top5_;
    __m512i index_[3];
};

// Converts count 15-bit colours from src to dst: whole groups of 64 up to `whole` (count, or
// more where the caller allows the excess), the rest loaded and stored under a mask.
PIXHAUL_VBMI inline void FifteenBitGroups(const FifteenBitThirds& thirds,
                                          const FifteenBitPlanes& planes,
                                          const Interleave& interleave, const std::uint8_t* src,
                                          std::uint8_t* dst, std::int32_t count,
                                          std::int32_t whole) {
    __m512i colour[3];
    std::int32_t i = 0;
    for (; i + 64 <= whole; i += 64) {
        Prefetch(src + 2 * i);
        Prefetch(src + 2 * i + 64);
        if (thirds.Store(src + 2 * i, dst + 3 * i)) continue;
        planes.Convert(_mm512_loadu_si512(src + 2 * i), _mm512_loadu_si512(src + 2 * i + 64),
                       colour);
        interleave.Store(colour, dst + 3 * i);
    }
    if (i >= count) return;
    const std::int64_t bytes = 2 * std::int64_t{count - i};
    Prefetch(src + 2 * i);
    planes.Convert(_mm512_maskz_loadu_epi8(FirstBits(bytes), src + 2 * i),
                   _mm512_maskz_loadu_epi8(FirstBits(bytes - 64), src + 2 * i + 64), colour);
    interleave.StoreFirst(colour, dst + 3 * i, 3 * std::int64_t{count - i});
}

// Converts all count 15-bit colours, touching only their own bytes unless bounds allow more.
PIXHAUL_VBMI void FifteenBitVbmi(const std::uint8_t* src, std::uint8_t* dst, std::int32_t count,
                                 std::uint32_t trans, LiteralBounds bounds) {
    // With overrun, a last group whose excess stays within it goes whole: it writes 3 bytes
    // and reads 2 bytes for each pixel past count.
    constexpr std::int32_t kSlack = static_cast<std::int32_t>(kLiteralWriteOverrun / 3);
    static_assert(2 * kSlack <= static_cast<std::int32_t>(kLiteralReadOverrun));
    const std::int32_t whole = bounds == LiteralBounds::Overrun ? count + kSlack : count;
    FifteenBitGroups(FifteenBitThirds(), FifteenBitPlanes(trans), Interleave(), src, dst, count,
                     whole);
}

}  // namespace

bool FifteenBitNoiseVbmiAvailable() {
    return kHasVbmi;
}

PIXHAUL_VBMI bool FifteenBitNoiseVbmi(const std::uint8_t* src, std::size_t& p, std::size_t opEnd,
                                      RowCursor& cursor, const Colours& colours) {
    const FifteenBitThirds thirds;
    const FifteenBitPlanes planes(colours.trans);
    const Interleave interleave;
    const std::uint8_t* at = src + p;
    const std::uint8_t* const end = src + opEnd;
    RowCursor c = cursor;
    bool full = false;
    while (at < end && !full) {
        const std::uint32_t op = *at;
        const bool literal = op > 128;
        if (!literal && op > static_cast<std::uint32_t>(kGatheredRunLimit)) break;
        const std::uint8_t* from = at + 1;
        std::int32_t count = static_cast<std::int32_t>(op & 0x7Fu);
        const Pixel colour = literal ? 0 : ReadColour<2>(from, colours);
        at += literal ? 1 + 2 * count : 3;
        for (int line = 0; line < 256; line += 64) Prefetch(from + line);
        // A packet may go on from the end of one row into the next.
        while (count > 0 && !full) {
            const std::int32_t k = std::min(count, c.RowLeft());
            if (literal) {
                FifteenBitGroups(thirds, planes, interleave, from, c.Here(), k, k);
                from += 2 * k;
            } else {
                avx512::FillRun(c.Here(), colour, 3 * std::int64_t{k});
            }
            count -= k;
            full = c.Advance(k);
        }
    }
    cursor = c;
    p = static_cast<std::size_t>(at - src);
    return full;
}

PIXHAUL_AVX512_CODE_END

// Everything below runs only on processors with AVX2.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace {

// Replaces black with trans and packs the eight pixels into the low 24 bytes.
inline __m256i PackEight(__m256i pixels, __m256i trans) {
    const __m256i black = _mm256_cmpeq_epi32(pixels, _mm256_setzero_si256());
    pixels = _mm256_or_si256(pixels, _mm256_and_si256(black, trans));
    const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0,
                                          1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i joined = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
    return _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(pixels, pack), joined);
}

// Stores the 24 packed bytes at dst; with room, as one 32-byte store whose last eight bytes
// the following pixels overwrite.
template <bool kRoomAfter>
inline void StoreEight(__m256i packed, std::uint8_t* dst) {
    if constexpr (kRoomAfter) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), packed);
    } else {
        const __m128i high = _mm256_extracti128_si256(packed, 1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm256_castsi256_si128(packed));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 16), high);
    }
}

// Runs convert(i) -> eight pixels for each whole group of eight below count; returns the
// number of pixels done. With kOverlapTail, a last group ending at count covers the rest (it
// converts some pixels twice, to the same bytes), so every pixel is done once count >= 8.
template <bool kOverlapTail, typename Convert>
inline std::int32_t ConvertGroups(std::uint8_t* dst, std::int32_t count, __m256i trans,
                                  Convert convert) {
    std::int32_t i = 0;
    for (; i + 11 <= count; i += 8) StoreEight<true>(PackEight(convert(i), trans), dst + 3 * i);
    if (i + 8 <= count) {
        StoreEight<false>(PackEight(convert(i), trans), dst + 3 * i);
        i += 8;
    }
    if (kOverlapTail && i < count && count >= 8) {
        StoreEight<false>(PackEight(convert(count - 8), trans), dst + 3 * (count - 8));
        i = count;
    }
    return i;
}

// Converts every pixel below count in whole groups of eight, two at a time: writes up to
// kLiteralWriteOverrun bytes past the last pixel, and the conversions read up to seven colours
// past the last one. Returns count.
template <typename Convert>
inline std::int32_t ConvertAll(std::uint8_t* dst, std::int32_t count, __m256i trans,
                               Convert convert) {
    std::int32_t i = 0;
    for (; i + 8 < count; i += 16) {
        StoreEight<true>(PackEight(convert(i), trans), dst + 3 * i);
        StoreEight<true>(PackEight(convert(i + 8), trans), dst + 3 * i + 24);
    }
    if (i < count) StoreEight<true>(PackEight(convert(i), trans), dst + 3 * i);
    return count;
}

// Exact conversions (ConvertGroups) or conversions with overrun (ConvertAll).
template <bool kOverlapTail, typename Convert>
inline std::int32_t ConvertWithin(LiteralBounds bounds, std::uint8_t* dst, std::int32_t count,
                                  __m256i trans, Convert convert) {
    if (bounds == LiteralBounds::Overrun) return ConvertAll(dst, count, trans, convert);
    return ConvertGroups<kOverlapTail>(dst, count, trans, convert);
}

// The whole conversion of palette literals where the processor has no VBMI, and the rest of
// the VBMI groups where it has.
std::int32_t PaletteGroupsAvx2(const std::uint8_t* src, std::uint8_t* dst, std::int32_t count,
                               const std::uint32_t* palette, LiteralBounds bounds) {
    // Table loads straight into the vector lanes: a gather is slower on the processors
    // measured. The palette already holds the substitute for black.
    auto four = [palette](std::uint32_t indices) {
        __m128i v = _mm_cvtsi32_si128(static_cast<int>(palette[indices & 0xFF]));
        v = _mm_insert_epi32(v, static_cast<int>(palette[(indices >> 8) & 0xFF]), 1);
        v = _mm_insert_epi32(v, static_cast<int>(palette[(indices >> 16) & 0xFF]), 2);
        return _mm_insert_epi32(v, static_cast<int>(palette[indices >> 24]), 3);
    };
    if (bounds == LiteralBounds::Overrun) {
        // Four pixels make twelve bytes of a 16-byte store that the next four overwrite: no
        // lane crossing, which keeps the processor's shuffle units free for the table loads.
        const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
        auto eight = [&](std::int32_t i) {
            std::uint32_t low, high;
            __builtin_memcpy(&low, src + i, 4);
            __builtin_memcpy(&high, src + i + 4, 4);
            std::uint8_t* out = dst + 3 * i;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(four(low), pack));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12),
                             _mm_shuffle_epi8(four(high), pack));
        };
        for (std::int32_t i = 0;; i += 16) {
            Prefetch(src + i);
            eight(i);
            if (i + 8 >= count) break;
            eight(i + 8);
            if (i + 16 >= count) break;
        }
        return count;
    }
    return ConvertGroups<true>(dst, count, _mm256_setzero_si256(), [&](std::int32_t i) {
        std::uint32_t low, high;
        Prefetch(src + i);
        __builtin_memcpy(&low, src + i, 4);
        __builtin_memcpy(&high, src + i + 4, 4);
        return _mm256_inserti128_si256(_mm256_castsi128_si256(four(low)), four(high), 1);
    });
}

}  // namespace

std::int32_t FifteenBitLiteralAvx2(const std::uint8_t* src, std::uint8_t* dst, std::int32_t count,
                                   std::uint32_t trans, LiteralBounds bounds) {
    if (kHasVbmi && count >= kFifteenBitVbmiMinimum) {
        FifteenBitVbmi(src, dst, count, trans, bounds);
        return count;
    }
    const __m256i five = _mm256_set1_epi32(0x1F);
    return ConvertWithin<true>(
        bounds, dst, count, _mm256_set1_epi32(static_cast<int>(trans)), [&](std::int32_t i) {
            Prefetch(src + 2 * i);
            const __m256i v = _mm256_cvtepu16_epi32(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 2 * i)));
            const __m256i blue = _mm256_slli_epi32(_mm256_and_si256(v, five), 3);
            const __m256i green =
                _mm256_slli_epi32(_mm256_and_si256(_mm256_srli_epi32(v, 5), five), 11);
            const __m256i red =
                _mm256_slli_epi32(_mm256_and_si256(_mm256_srli_epi32(v, 10), five), 19);
            return _mm256_or_si256(_mm256_or_si256(blue, green), red);
        });
}

namespace {

// The eight 3-byte colours at src as 32-bit pixels (black still black). Each lane loads sixteen
// bytes for its twelve: four bytes past the eighth colour are read.
inline __m256i EightTwentyFourBit(const std::uint8_t* src) {
    const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0,
                                            1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m256i raw = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 12)), 1);
    return _mm256_shuffle_epi8(raw, spread);
}

}  // namespace

bool TwentyFourBitLiteralsAvx2(const std::uint8_t* src, std::size_t& p, std::size_t opEnd,
                               RowCursor& cursor, const Colours& colours) {
    const __m256i trans = _mm256_set1_epi32(static_cast<int>(colours.trans));
    const std::uint8_t* at = src + p;
    const std::uint8_t* const end = src + opEnd;
    RowCursor c = cursor;
    bool full = false;
    while (at < end && !full) {
        const std::int32_t op = *at;
        if (op <= 128) break;  // a run, or the damage marker
        std::int32_t count = op - 128;
        const std::uint8_t* from = at + 1;
        at += 1 + 3 * count;
        while (count > 0 && !full) {
            const std::int32_t k = std::min(count, c.RowLeft());
            std::uint8_t* const dst = c.Here();
            auto convert = [&](std::int32_t i) {
                Prefetch(from + 3 * i);
                return EightTwentyFourBit(from + 3 * i);
            };
            // Whole groups of eight where the row goes on far enough past the literal (later
            // packets overwrite the excess), else up to its end, the last group overlapping the
            // one before; the colours past the literal may be read.
            std::int32_t i = 0;
            if (c.row + c.stride - dst >=
                3 * std::int64_t{k} + std::int64_t{kLiteralWriteOverrun}) {
                i = ConvertAll(dst, k, trans, convert);
            } else if (k >= 8) {
                i = ConvertGroups<true>(dst, k, trans, convert);
            }
            for (; i < k; ++i) {
                const Pixel px = ReadColour<3>(from + 3 * i, colours);
                dst[3 * i] = static_cast<std::uint8_t>(px);
                dst[3 * i + 1] = static_cast<std::uint8_t>(px >> 8);
                dst[3 * i + 2] = static_cast<std::uint8_t>(px >> 16);
            }
            from += 3 * k;
            count -= k;
            full = c.Advance(k);
        }
    }
    cursor = c;
    p = static_cast<std::size_t>(at - src);
    return full;
}

std::int32_t TwentyFourBitLiteralAvx2(const std::uint8_t* src, std::uint8_t* dst,
                                      std::int32_t count, std::uint32_t trans,
                                      LiteralBounds bounds) {
    // Each lane loads sixteen bytes for its twelve, so an exact conversion leaves the last group
    // of eight to the caller unless two more colours follow it.
    const std::int32_t usable =
        bounds == LiteralBounds::Overrun ? count : (count >= 10 ? count - 2 : 0);
    return ConvertWithin<false>(bounds, dst, usable, _mm256_set1_epi32(static_cast<int>(trans)),
                                [&](std::int32_t i) {
                                    Prefetch(src + 3 * i);
                                    return EightTwentyFourBit(src + 3 * i);
                                });
}

template <int kBytes>
std::int32_t GatherLiteralColours(const std::uint8_t* stream, std::size_t& p, std::size_t opEnd,
                                  std::uint8_t* colours, std::int32_t n, std::int32_t need) {
    static_assert(kBytes == 1 || kBytes == 2);
    // Without a branch on the packet's kind: the run's colour is stored 32 bytes wide at n, then
    // the longest literal's bytes after the opcode are copied, over it for a literal and after
    // it for a run. Either way only the packet's own count of colours counts; the rest is
    // scratch that the following packets overwrite.
    // The next opcode's address is the loop's critical path: a plain pointer (the quickest
    // load) advanced without a branch.
    const std::uint8_t* at = stream + p;
    const std::uint8_t* const end = stream + opEnd;
    while (n < need && at < end) {
        const std::uint32_t op = *at;
        // Literals (129..255) map to 0..126, runs of 0..kGatheredRunLimit to 127 onwards.
        if (static_cast<std::uint8_t>(op - 129) > 127 + kGatheredRunLimit) break;
        const bool literal = op > 128;
        std::uint8_t* to = colours + kBytes * n;
        __m256i run;
        if constexpr (kBytes == 1) {
            run = _mm256_set1_epi8(static_cast<char>(at[1]));
        } else {
            std::uint16_t colour;
            __builtin_memcpy(&colour, at + 1, 2);
            run = _mm256_set1_epi16(static_cast<short>(colour));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), run);
        std::uint8_t* copyTo = to + (literal ? 0 : 32);
        for (int i = 0; i < 128 * kBytes; i += 32) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(copyTo + i),
                                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 1 + i)));
        }
        n += static_cast<std::int32_t>(op & 0x7Fu);
        // kBytes * count + 1 for a literal, kBytes + 1 for a run (the first term is then
        // smaller).
        at += std::max(static_cast<std::ptrdiff_t>(kBytes * op) - (128 * kBytes - 1),
                       std::ptrdiff_t{kBytes + 1});
        for (int i = 0; i < 128 * kBytes; i += 64) Prefetch(at + i);
    }
    p = static_cast<std::size_t>(at - stream);
    return n;
}

template std::int32_t GatherLiteralColours<1>(const std::uint8_t*, std::size_t&, std::size_t,
                                              std::uint8_t*, std::int32_t, std::int32_t);
template std::int32_t GatherLiteralColours<2>(const std::uint8_t*, std::size_t&, std::size_t,
                                              std::uint8_t*, std::int32_t, std::int32_t);

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

void MakePalettePlanes(const std::uint32_t* palette, PalettePlanes& planes) {
    if (!kHasVbmi) return;  // only the 64-pixel conversion reads them
    for (std::size_t i = 0; i < 256; ++i) {
        for (std::size_t byte = 0; byte < 3; ++byte) {
            planes.bytes[byte][i] = static_cast<std::uint8_t>(palette[i] >> (8 * byte));
        }
    }
}

std::int32_t PaletteLiteralAvx2(const std::uint8_t* src, std::uint8_t* dst, std::int32_t count,
                                const std::uint32_t* palette, const PalettePlanes& planes,
                                LiteralBounds bounds) {
    std::int32_t from =
        count >= kPaletteVbmiMinimum && kHasVbmi ? PaletteGroupsVbmi(src, dst, count, planes) : 0;
    if (from == count) return count;
    // An exact conversion of fewer than eight more pixels redoes the last eight, to the same
    // bytes.
    if (from > 0 && bounds == LiteralBounds::Exact && count - from < 8) from = count - 8;
    return from + PaletteGroupsAvx2(src + from, dst + 3 * from, count - from, palette, bounds);
}

}  // namespace pixhaul
