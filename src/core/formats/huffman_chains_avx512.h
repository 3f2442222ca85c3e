#pragma once
// The Huffman decoder's three chains where the processor has AVX-512 VBMI2: each lookup stores
// its values and their count in a 4-byte slot of its own, and after a block of steps a chain's
// slots are gathered into its values with one byte compress. Stored where the count says, each
// lookup's store waited on the lookup before it, and the next lookups waited on those stores:
// 1.5 times as long for a run-length stream of 6.4 bits a value. Internal to the decoder.
#include <array>
#include <cstdint>

#include "formats/huffman_chain.h"

namespace pixhaul::huffman {

// Whether the decoder's chains take this way (true where the processor has AVX-512 VBMI2 and
// BMI2, unless turned off). Tests turn it off to cover the chains of other processors.
bool ChainsAvx512Enabled();
void SetChainsAvx512(bool enabled);

// Bytes a block may write at a chain's `at` and beyond (its values are stored 64 bytes at a
// time), bytes it moves `next` by at most, and bits it takes at most.
constexpr std::size_t kSlotSteps = 5;
constexpr std::size_t kSlotBlockRoom = 64;
constexpr std::size_t kSlotBlockReach = kStepAdvance * kSlotSteps + 8;
constexpr std::uint64_t kSlotBlockBits = 8 * kStepAdvance * kSlotSteps;

// Where the chains must stop: the data's end; for each chain, where its values must end; for
// the first two, the bit they must stay short of and the value after which their place is to
// be noted.
struct ChainBounds {
    const std::uint8_t* dataEnd;
    std::array<const std::uint8_t*, 3> end;
    std::array<std::uint64_t, 2> stop;
    std::array<const std::uint8_t*, 2> mark;
};

// Runs blocks of steps on the three chains while each block fits the bounds and before a later
// chain passes its mark. Returns the chains (bit k for chain k) that stand before a code longer
// than the table or bits that lead nowhere, for the caller to take apart; 0 when a bound or a
// mark stopped them. Call only where ChainsAvx512Enabled().
unsigned RunChainsAvx512(std::array<Chain, 3>& chains, const CodeTree& tree,
                         const std::uint8_t* data, const ChainBounds& bounds);

}  // namespace pixhaul::huffman
