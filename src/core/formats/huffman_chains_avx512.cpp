#include "formats/huffman_chains_avx512.h"

#include <immintrin.h>

#include <cstring>

#include "platform/avx512_code.h"
#include "platform/code_path.h"

namespace pixhaul::huffman {
namespace {

CodePathSwitch& ChainsSwitch() {
    static CodePathSwitch path(ProcessorHasAvx512Vbmi2);
    return path;
}

// Slots a chain fills in a block: kLookupsPerLoad a step, and one left empty (a count of 0)
// to make up a register of sixteen.
constexpr std::size_t kSlots = kLookupsPerLoad * kSlotSteps;
static_assert(kSlots < 16 && kSlotBlockRoom == 64);
// A slot's count is its top byte.
static_assert(CodeTree::kEntryCountShift == 24);

// One refill and kLookupsPerLoad lookups into slots. A lookup with no values (a code longer
// than the table, or no code) takes no bits, so the chain stays before it to the end of the
// block. Needs next + 8 bytes of data.
inline void StepIntoSlots(Chain& c, const std::uint8_t* lengths, const std::uint32_t* values,
                          std::uint64_t mask, std::uint8_t* slots) {
    c.buffer |= LoadLittleEndian64(c.next) << c.buffered;
    c.next += (63 - c.buffered) >> 3;
    c.buffered |= 56;
    for (unsigned k = 0; k < kLookupsPerLoad; ++k) {
        const std::uint64_t pattern = c.buffer & mask;
        const unsigned length = lengths[pattern];
        const std::uint32_t entry = values[pattern];
        std::memcpy(slots + 4 * k, &entry, 4);
        c.buffer >>= length;
        c.buffered -= length;
    }
}

}  // namespace

bool ChainsAvx512Enabled() {
    return ChainsSwitch().Enabled();
}

void SetChainsAvx512(bool enabled) {
    ChainsSwitch().Set(enabled);
}

PIXHAUL_AVX512_CODE_BEGIN

namespace {

// Gathers a block's slots into the chain's values: in each slot the bytes below its count.
// Stores 64 bytes at c.at; false when the last lookup had no values.
PIXHAUL_VBMI2 inline bool GatherSlots(const std::uint8_t* slots, Chain& c) {
    // Each slot's count (its top byte) in all four of its bytes, against 0, 1, 2, 3.
    const __m512i countIndex =
        _mm512_broadcast_i32x4(_mm_set_epi32(0x0F0F0F0F, 0x0B0B0B0B, 0x07070707, 0x03030303));
    const __m512i place = _mm512_set1_epi32(0x03020100);
    const __m512i s = _mm512_load_si512(slots);
    const __m512i counts = _mm512_shuffle_epi8(s, countIndex);
    const __mmask64 kept = _mm512_cmplt_epu8_mask(place, counts);
    _mm512_storeu_si512(c.at, _mm512_maskz_compress_epi8(kept, s));
    c.at += _mm_popcnt_u64(kept);
    return (kept >> (4 * (kSlots - 1))) & 1;
}

}  // namespace

PIXHAUL_VBMI2 unsigned RunChainsAvx512(std::array<Chain, 3>& chains, const CodeTree& tree,
                                       const std::uint8_t* data, const ChainBounds& bounds) {
    const std::uint8_t* const lengths = tree.Lengths();
    const std::uint32_t* const values = tree.Values();
    const std::uint64_t mask = tree.PairMask();
    // The sixteenth slot of each chain stays empty.
    alignas(64) std::uint8_t slots[3][64] = {};
    // Named, the chains keep to the registers (see the decoder's own loop).
    Chain a = chains[0], b = chains[1], d = chains[2];
    unsigned stalled = 0;
    while (a.at + kSlotBlockRoom <= bounds.end[0] && a.next + kSlotBlockReach <= bounds.dataEnd &&
           a.Bit(data) + kSlotBlockBits < bounds.stop[0] &&
           b.at + kSlotBlockRoom <= bounds.end[1] && b.next + kSlotBlockReach <= bounds.dataEnd &&
           b.Bit(data) + kSlotBlockBits < bounds.stop[1] && b.at < bounds.mark[0] &&
           d.at + kSlotBlockRoom <= bounds.end[2] && d.next + kSlotBlockReach <= bounds.dataEnd &&
           d.at < bounds.mark[1]) {
        for (std::size_t step = 0; step < kSlotSteps; ++step) {
            StepIntoSlots(a, lengths, values, mask, slots[0] + 4 * kLookupsPerLoad * step);
            StepIntoSlots(b, lengths, values, mask, slots[1] + 4 * kLookupsPerLoad * step);
            StepIntoSlots(d, lengths, values, mask, slots[2] + 4 * kLookupsPerLoad * step);
        }
        stalled = (GatherSlots(slots[0], a) ? 0u : 1u) | (GatherSlots(slots[1], b) ? 0u : 2u) |
                  (GatherSlots(slots[2], d) ? 0u : 4u);
        if (stalled != 0) break;
    }
    chains = {a, b, d};
    return stalled;
}

PIXHAUL_AVX512_CODE_END

}  // namespace pixhaul::huffman
