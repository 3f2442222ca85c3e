#include "formats/huffman_pack_avx512.h"

#include <immintrin.h>

#include <cstring>

#include "platform/avx512_code.h"
#include "platform/code_path.h"

namespace pixhaul {
namespace {

CodePathSwitch& PackSwitch() {
    static CodePathSwitch path(ProcessorHasAvx512Vbmi);
    return path;
}

}  // namespace

bool HuffmanPackAvx512Enabled() {
    return PackSwitch().Enabled();
}

void SetHuffmanPackAvx512(bool enabled) {
    PackSwitch().Set(enabled);
}

PIXHAUL_AVX512_CODE_BEGIN

namespace {

// A 256-byte table in four registers, looked up for 64 values at once.
struct ByteLookup {
    __m512i part[4];

    PIXHAUL_VBMI explicit ByteLookup(const std::array<std::uint8_t, 256>& table) {
        for (int i = 0; i < 4; ++i) part[i] = _mm512_load_si512(table.data() + 64 * i);
    }
    // upper: the values of 128 and above.
    PIXHAUL_VBMI __m512i operator()(__m512i values, __mmask64 upper) const {
        return _mm512_mask_blend_epi8(upper, _mm512_permutex2var_epi8(part[0], values, part[1]),
                                      _mm512_permutex2var_epi8(part[2], values, part[3]));
    }
};

// Joins the codes of 32 values, two 16-bit codes with their lengths per 32-bit lane, into eight
// groups of four: the 64-bit lanes of codes hold the groups, first code lowest, and those of
// lengths their bits.
PIXHAUL_VBMI void JoinFours(__m512i& codes, __m512i& lengths) {
    const __m512i low16 = _mm512_set1_epi32(0xFFFF);
    const __m512i low32 = _mm512_set1_epi64(0xFFFFFFFF);
    const __m512i firstLength = _mm512_and_si512(lengths, low16);
    const __m512i pairs =
        _mm512_or_si512(_mm512_and_si512(codes, low16),
                        _mm512_sllv_epi32(_mm512_srli_epi32(codes, 16), firstLength));
    const __m512i pairLengths = _mm512_madd_epi16(lengths, _mm512_set1_epi16(1));
    const __m512i firstPairLength = _mm512_and_si512(pairLengths, low32);
    codes = _mm512_or_si512(_mm512_and_si512(pairs, low32),
                            _mm512_sllv_epi64(_mm512_srli_epi64(pairs, 32), firstPairLength));
    lengths = _mm512_add_epi64(firstPairLength, _mm512_srli_epi64(pairLengths, 32));
}

// The longest eight codes that go into the bit buffer in one piece: with up to 7 bits pending,
// 56 fill the 64-bit buffer to bit 63 and no further.
constexpr unsigned kLongestEight = 56;

// The joined groups of one block of 64 values, as the vector code leaves them: the groups of
// values 0 to 7 and 8 to 15 of each 16-byte lane come apart, so groups 2k and 2k + 1 of the
// first half and then those of the second are the source order. Each eight consecutive
// values are also joined in one piece, in source order, kept for where they fit. The lengths
// in bits are kept as the vectors hold them, one a 64-bit lane: narrowing them to bytes took
// three of the block's costlier instructions.
struct JoinedBlock {
    alignas(64) std::uint64_t codes[16];
    alignas(64) std::uint64_t eights[8];
    alignas(64) std::uint64_t bits[16];
    alignas(64) std::uint64_t eightBits[8];
};

// Shifts one piece of joined codes into the bit buffer and writes its whole bytes.
inline std::uint8_t* PutPiece(std::uint64_t piece, std::uint64_t pieceBits, std::uint8_t* out,
                              std::uint64_t& bits, unsigned& count) {
    bits |= piece << count;
    count += static_cast<unsigned>(pieceBits);
    std::memcpy(out, &bits, 8);
    out += count >> 3;
    bits >>= count & 56;
    count &= 7;
    return out;
}

// Shifts a block's codes into the bit buffer eight at a time, or four at a time where eight
// are too long. Most eights fit in streams of short codes, which halves the buffer's shifts.
inline std::uint8_t* PutBlock(const JoinedBlock& block, std::uint8_t* out, std::uint64_t& bits,
                              unsigned& count) {
    for (int eight = 0; eight < 8; ++eight) {
        if (block.eightBits[eight] <= kLongestEight) [[likely]] {
            out = PutPiece(block.eights[eight], block.eightBits[eight], out, bits, count);
        } else {
            const int first = (eight & 1) * 8 + (eight & ~1);
            out = PutPiece(block.codes[first], block.bits[first], out, bits, count);
            out = PutPiece(block.codes[first + 1], block.bits[first + 1], out, bits, count);
        }
    }
    return out;
}

// Joins the fours in each pair of 64-bit lanes into eights in the even lanes: the pieces are
// garbage where the eight is longer than 64 bits, and are then not used.
PIXHAUL_VBMI void JoinEights(const __m512i codes, const __m512i lengths, __m512i& eights,
                             __m512i& eightLengths) {
    eights = _mm512_or_si512(codes, _mm512_sllv_epi64(_mm512_unpackhi_epi64(codes, codes),
                                                      _mm512_unpacklo_epi64(lengths, lengths)));
    eightLengths = _mm512_add_epi64(lengths, _mm512_unpackhi_epi64(lengths, lengths));
}

}  // namespace

PIXHAUL_VBMI std::uint8_t* PackBlocksAvx512(const PackByteTable& table, const std::uint8_t* src,
                                            std::size_t blocks, std::uint8_t* out,
                                            std::uint64_t& bitsRef, unsigned& countRef) {
    const ByteLookup low(table.low), high(table.high), length(table.length);
    const __m512i zero = _mm512_setzero_si512();
    // The even lanes of the first half and of the second, alternately: the source order.
    const __m512i eightOrder = _mm512_setr_epi64(0, 8, 2, 10, 4, 12, 6, 14);
    std::uint64_t bits = bitsRef;
    unsigned count = countRef;
    // A block's groups go into the buffer while the next block is joined: read back at once,
    // the vector stores cannot be forwarded to the loads of single groups, and each load
    // waited for its store to reach the cache.
    JoinedBlock joined[2];
    for (std::size_t b = 0; b < blocks; ++b, src += 64) {
        JoinedBlock& block = joined[b & 1];
        const __m512i values = _mm512_loadu_si512(src);
        const __mmask64 upper = _mm512_movepi8_mask(values);
        const __m512i codeLow = low(values, upper);
        const __m512i codeHigh = high(values, upper);
        const __m512i lengths = length(values, upper);
        __m512i firstCodes = _mm512_unpacklo_epi8(codeLow, codeHigh);
        __m512i firstLengths = _mm512_unpacklo_epi8(lengths, zero);
        __m512i secondCodes = _mm512_unpackhi_epi8(codeLow, codeHigh);
        __m512i secondLengths = _mm512_unpackhi_epi8(lengths, zero);
        JoinFours(firstCodes, firstLengths);
        JoinFours(secondCodes, secondLengths);
        __m512i firstEights, firstEightLengths, secondEights, secondEightLengths;
        JoinEights(firstCodes, firstLengths, firstEights, firstEightLengths);
        JoinEights(secondCodes, secondLengths, secondEights, secondEightLengths);
        const __m512i eightLengths =
            _mm512_permutex2var_epi64(firstEightLengths, eightOrder, secondEightLengths);
        _mm512_store_si512(block.eights,
                           _mm512_permutex2var_epi64(firstEights, eightOrder, secondEights));
        _mm512_store_si512(block.eightBits, eightLengths);
        // The fours are kept only for a block with an eight too long to go in whole (one in
        // twenty of the bench sheet's blocks).
        if (_mm512_cmpgt_epu64_mask(eightLengths, _mm512_set1_epi64(kLongestEight)) != 0) {
            _mm512_store_si512(block.codes, firstCodes);
            _mm512_store_si512(block.codes + 8, secondCodes);
            _mm512_store_si512(block.bits, firstLengths);
            _mm512_store_si512(block.bits + 8, secondLengths);
        }
        if (b > 0) out = PutBlock(joined[(b - 1) & 1], out, bits, count);
    }
    if (blocks > 0) out = PutBlock(joined[(blocks - 1) & 1], out, bits, count);
    bitsRef = bits;
    countRef = count;
    return out;
}

PIXHAUL_AVX512_CODE_END

}  // namespace pixhaul
