#pragma once
// Decoding chains: the bit buffer of the decoder's fast loop, with one step of lookups, a code
// longer than the table, and a single lookup. Internal to the Huffman decoder.
#include <cstddef>
#include <cstdint>

#include "formats/huffman_code_tree.h"

namespace pixhaul::huffman {

// The (up to four) value bytes of a lookup, stored at out.
inline void StoreValues(std::uint8_t* out, std::uint32_t values) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &values, 4);
    } else {
        for (int b = 0; b < 4; ++b) out[b] = static_cast<std::uint8_t>(values >> (8 * b));
    }
}

// One decoding chain through the data bytes: the bit buffer of the fast loop, where it reads
// next and where its next value goes (pointers, so that three chains fit the registers). The
// buffer is refilled without a branch, from a load whose address does not wait for the lookups
// before it: `buffered` bits are valid and `next` is the first byte not yet wholly in the
// buffer; the bits above `buffered` are already the right ones.
struct Chain {
    std::uint64_t buffer;
    unsigned buffered;
    const std::uint8_t* next;
    std::uint8_t* at;

    // Needs (bit >> 3) + 8 bytes of data.
    Chain(const std::uint8_t* data, std::uint64_t bit, std::uint8_t* to)
        : buffer(LoadLittleEndian64(data + (bit >> 3)) >> (bit & 7)),
          buffered(56 - static_cast<unsigned>(bit & 7)),
          next(data + (bit >> 3) + 7),
          at(to) {}
    std::uint64_t Bit(const std::uint8_t* data) const {
        return static_cast<std::uint64_t>(next - data) * 8 - buffered;
    }
};

// Bytes a step may write at `at` and beyond (it moves `at` by at most 9), and bytes its refill
// moves `next` by at most.
constexpr std::size_t kStepRoom = 4 * kLookupsPerLoad;
constexpr std::size_t kStepAdvance = 7;

// One refill and up to kLookupsPerLoad lookups. False at a code longer than the table: the
// chain then stands just before it. Needs next + 8 bytes of data and kStepRoom bytes at `at`.
inline bool Step(Chain& c, const std::uint32_t* pairs, std::uint64_t mask) {
    c.buffer |= LoadLittleEndian64(c.next) << c.buffered;
    c.next += (63 - c.buffered) >> 3;
    c.buffered |= 56;
    for (unsigned k = 0; k < kLookupsPerLoad; ++k) {
        const std::uint32_t e = pairs[c.buffer & mask];
        const unsigned count = CodeTree::PairCount(e);
        if (count == 0) return false;
        StoreValues(c.at, CodeTree::PairValues(e));
        c.at += count;
        const unsigned length = CodeTree::PairLength(e);
        c.buffer >>= length;
        c.buffered -= length;
    }
    return true;
}

// The code longer than the table that stopped a step, walked from the bits in the buffer (at
// least 56 - 2 x 15 of them); false when they do not hold it.
inline bool LongCode(Chain& c, const CodeTree& tree) {
    unsigned length = 0;
    if (!tree.FromBits(c.buffer, c.buffered, *c.at, length)) return false;
    ++c.at;
    c.buffer >>= length;
    c.buffered -= length;
    return true;
}

// One lookup (or long code) at bit, its values stored at out; false when the bits there hold
// no code the table or the loaded bits can give. Needs (bit >> 3) + 8 bytes of data and four
// bytes at out.
inline bool OneLookup(const CodeTree& tree, const std::uint8_t* data, std::uint64_t& bit,
                      std::uint8_t* out, std::size_t& count) {
    const std::uint64_t w = LoadLittleEndian64(data + (bit >> 3)) >> (bit & 7);
    const std::uint32_t e = tree.Pairs()[w & tree.PairMask()];
    count = CodeTree::PairCount(e);
    if (count > 0) {
        StoreValues(out, CodeTree::PairValues(e));
        bit += CodeTree::PairLength(e);
        return true;
    }
    unsigned length = 0;
    if (!tree.FromBits(w, 64 - static_cast<unsigned>(bit & 7), out[0], length)) return false;
    count = 1;
    bit += length;
    return true;
}

}  // namespace pixhaul::huffman
