#pragma once
// Reads a block of the Huffman coder (either form, see huffman.h) back into its source.
//
// Safe on arbitrary bytes: every field is checked before it is used, nothing is read outside
// the block, and the output is sized only after SourceLength has been checked against what the
// data bits can hold (every code is at least one bit long) and against the caller's limit.
//
// The coded form has no signature of its own, and its first four bytes can be those of the
// stored form (a checksum of 0x48 and a length of 864,325). A block that starts with the
// signature is therefore first read as a coded block; only if that fails is it taken as stored.
// A stored block made by the coder holds at most one distinct byte value and can never be read
// as a coded block, so blocks made by the coder are always read the way they were written.
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>

namespace pixhaul {

enum class HuffmanForm { Stored, Coded };

struct HuffmanDecoded {
    std::vector<std::uint8_t> data;
    HuffmanForm form = HuffmanForm::Stored;
    // Empty on success; otherwise what is wrong with the block, and data is empty.
    std::string error;

    bool ok() const { return error.empty(); }
};

// maxOutput bounds the source length a block may claim (a larger one is an error).
HuffmanDecoded HuffmanDecode(std::span<const std::uint8_t> block,
                             std::uint64_t maxOutput = std::numeric_limits<std::uint64_t>::max());

}  // namespace pixhaul
