#include "archive/tag_scan.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace pixhaul {

namespace {

// Both tags start with 'A'; the scan filters on the first and the last byte and confirms the two
// in between.
inline void CheckAt(const std::uint8_t* p, std::size_t at, std::int64_t base, TagPositions& found) {
    const std::uint8_t* t = p + at;
    if (t[0] != 'A') return;
    if (t[1] == 'G' && t[2] == 'M' && t[3] == 'I') {
        found.imageBlocks.push_back(base + static_cast<std::int64_t>(at + 4));
    } else if (t[1] == 'n' && t[2] == 'S' && t[3] == 't') {
        found.objectBlocks.push_back(base + static_cast<std::int64_t>(at + 4));
    }
}

void ScanScalar(const std::uint8_t* p, std::size_t from, std::size_t size, std::int64_t base,
                TagPositions& found) {
    if (size < 4) return;
    for (std::size_t at = from; at + 4 <= size; ++at) CheckAt(p, at, base, found);
}

}  // namespace

TagPositions ScanTagsPortable(std::span<const std::uint8_t> bytes) {
    TagPositions found;
    ScanScalar(bytes.data(), 0, bytes.size(), 0, found);
    return found;
}

TagPositions ScanTags(std::span<const std::uint8_t> bytes) {
    TagPositions found;
    ScanTagsInto(bytes, 0, found);
    return found;
}

#if defined(__SSE2__) && defined(__x86_64__)
namespace {

// The same steps with 32-byte compares, where the processor has AVX2 (two compares per step
// instead of four: the scan runs right after each piece is read, while it is still in cache).
// Returns where it stopped; the caller scans the rest.
#define PIXHAUL_AVX2 __attribute__((target("avx2")))

PIXHAUL_AVX2 inline __m256i Load32(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

PIXHAUL_AVX2 inline std::uint64_t Bits32(__m256i m) {
    return static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_epi8(m)));
}

// Where a 32-byte run's candidates (first byte 'A' in firsts) also end like a tag.
PIXHAUL_AVX2 inline std::uint64_t Candidates32(const std::uint8_t* p, __m256i firsts) {
    const __m256i l = Load32(p + 3);
    const __m256i last = _mm256_or_si256(_mm256_cmpeq_epi8(l, _mm256_set1_epi8('I')),
                                         _mm256_cmpeq_epi8(l, _mm256_set1_epi8('t')));
    return Bits32(_mm256_and_si256(firsts, last));
}

PIXHAUL_AVX2 std::size_t ScanAvx2(const std::uint8_t* p, std::size_t size, std::int64_t base,
                                  TagPositions& found) {
    const __m256i first = _mm256_set1_epi8('A');
    std::size_t at = 0;
    for (; at + 67 <= size; at += 64) {
        const __m256i f0 = _mm256_cmpeq_epi8(Load32(p + at), first);
        const __m256i f1 = _mm256_cmpeq_epi8(Load32(p + at + 32), first);
        const __m256i any = _mm256_or_si256(f0, f1);
        if (_mm256_testz_si256(any, any)) continue;
        std::uint64_t mask = Candidates32(p + at, f0) | (Candidates32(p + at + 32, f1) << 32);
        while (mask != 0) {
            CheckAt(p, at + static_cast<std::size_t>(__builtin_ctzll(mask)), base, found);
            mask &= mask - 1;
        }
    }
    return at;
}

const bool kHasAvx2 = __builtin_cpu_supports("avx2");

}  // namespace
#endif

void ScanTagsInto(std::span<const std::uint8_t> bytes, std::int64_t base, TagPositions& found) {
#if defined(__SSE2__) && defined(__x86_64__)
    if (kHasAvx2) {
        const std::size_t at = ScanAvx2(bytes.data(), bytes.size(), base, found);
        ScanScalar(bytes.data(), at, bytes.size(), base, found);
        return;
    }
#endif
#if defined(__SSE2__)
    const std::uint8_t* p = bytes.data();
    const std::size_t size = bytes.size();
    const __m128i first = _mm_set1_epi8('A');
    const __m128i lastImage = _mm_set1_epi8('I');
    const __m128i lastObject = _mm_set1_epi8('t');
    auto load = [p](std::size_t from) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + from));
    };
    auto lastMatches = [&](std::size_t from) {
        const __m128i l = load(from + 3);
        return _mm_or_si128(_mm_cmpeq_epi8(l, lastImage), _mm_cmpeq_epi8(l, lastObject));
    };
    std::size_t at = 0;
    // 64 candidate starts per step. Most steps hold no 'A' at all and end after the first-byte
    // test; the others test the last byte too (3 bytes further on) and confirm each candidate.
    for (; at + 67 <= size; at += 64) {
        const __m128i f0 = _mm_cmpeq_epi8(load(at), first);
        const __m128i f1 = _mm_cmpeq_epi8(load(at + 16), first);
        const __m128i f2 = _mm_cmpeq_epi8(load(at + 32), first);
        const __m128i f3 = _mm_cmpeq_epi8(load(at + 48), first);
        const __m128i any = _mm_or_si128(_mm_or_si128(f0, f1), _mm_or_si128(f2, f3));
        if (_mm_movemask_epi8(any) == 0) continue;
        auto bits = [](__m128i m) {
            return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m)));
        };
        std::uint64_t mask = bits(_mm_and_si128(f0, lastMatches(at))) |
                             (bits(_mm_and_si128(f1, lastMatches(at + 16))) << 16) |
                             (bits(_mm_and_si128(f2, lastMatches(at + 32))) << 32) |
                             (bits(_mm_and_si128(f3, lastMatches(at + 48))) << 48);
        while (mask != 0) {
            CheckAt(p, at + static_cast<std::size_t>(__builtin_ctzll(mask)), base, found);
            mask &= mask - 1;
        }
    }
    ScanScalar(p, at, size, base, found);
#else
    ScanScalar(bytes.data(), 0, bytes.size(), base, found);
#endif
}

}  // namespace pixhaul
