#include "formats/rle_place_avx512.h"

#include <array>
#include <bit>

#include "bitmap/first_bits.h"
#include "bitmap/run_fill_avx512.h"
#include "formats/byte_order.h"
#include "formats/rle_stream.h"
#include "platform/avx512_code.h"
#include "platform/code_path.h"

namespace pixhaul {
namespace {

CodePathSwitch& PlacementSwitch() {
    static CodePathSwitch path(ProcessorHasAvx512Vbmi);
    return path;
}

// Byte j of sixteen pixels (blue, green, red each) comes from record j / 3 (count, red, green,
// blue); bytes 48 to 63 are not stored.
alignas(64) constexpr auto kSinglesIndex = [] {
    std::array<std::uint8_t, 64> index{};
    for (int j = 0; j < 48; ++j) {
        index[j] = static_cast<std::uint8_t>(kRleRecordSize * (j / 3) + 3 - j % 3);
    }
    return index;
}();

constexpr int kSingles = 16;

}  // namespace

bool RlePlacementAvx512Enabled() {
    return PlacementSwitch().Enabled();
}

void SetRlePlacementAvx512(bool enabled) {
    PlacementSwitch().Set(enabled);
}

PIXHAUL_AVX512_CODE_BEGIN

PIXHAUL_VBMI std::uint64_t PlaceRecordsAvx512(std::uint8_t* pixels, std::uint64_t rowLeft,
                                              const std::uint8_t*& record,
                                              const std::uint8_t* end) {
    const __m512i index = _mm512_load_si512(kSinglesIndex.data());
    const __m512i countBytes = _mm512_set1_epi32(0xFF);
    const __m512i one = _mm512_set1_epi32(1);
    const std::uint8_t* r = record;
    std::uint64_t placed = 0;
    while (r != end) {
        const std::uint64_t n = r[0];
        if (n == 1 && rowLeft - placed >= kSingles &&
            end - r >= static_cast<std::ptrdiff_t>(kSingles * kRleRecordSize)) {
            // The one-pixel records that start the sixteen, at least this one, in one store,
            // so that a shaded stretch ending in a run is placed sixteen at a time up to it.
            const __m512i records = _mm512_loadu_si512(r);
            const auto singles = static_cast<unsigned>(std::countr_one(
                _mm512_cmpeq_epi32_mask(_mm512_and_si512(records, countBytes), one)));
            _mm512_mask_storeu_epi8(pixels + 3 * placed, FirstBits(3 * singles),
                                    _mm512_permutexvar_epi8(index, records));
            placed += singles;
            r += singles * kRleRecordSize;
            continue;
        }
        if (n > rowLeft - placed) break;
        // The colour with blue in the low byte.
        avx512::FillRun(pixels + 3 * placed, __builtin_bswap32(LoadLE32(r)),
                        3 * static_cast<std::int64_t>(n));
        placed += n;
        r += kRleRecordSize;
    }
    record = r;
    return placed;
}

PIXHAUL_AVX512_CODE_END

}  // namespace pixhaul
