#pragma once
// Huffman codes packed 64 source bytes at a time where the processor has AVX-512 VBMI: the
// codes and lengths looked up by byte permutations, joined in pairs, fours and eights inside
// the vector, and only the eights (or the fours of an eight longer than 56 bits) shifted into
// the bit buffer one by one. Byte by byte, the buffer's shifts and stores were most of the
// packer's instructions.
#include <array>
#include <cstddef>
#include <cstdint>

namespace pixhaul {

// The longest code the vector packer takes: four codes must fit a buffer of 7 pending bits.
inline constexpr unsigned kPackAvx512LongestCode = 14;

// The code of every value split into its low and high byte, and its length.
struct PackByteTable {
    alignas(64) std::array<std::uint8_t, 256> low{};
    alignas(64) std::array<std::uint8_t, 256> high{};
    alignas(64) std::array<std::uint8_t, 256> length{};
};

// Whether the packer takes this way (true where the processor has AVX-512 BW and VBMI, unless
// turned off). Tests turn it off to cover the byte-by-byte packer of other processors.
bool HuffmanPackAvx512Enabled();
void SetHuffmanPackAvx512(bool enabled);

// Appends the codes of blocks x 64 source bytes to the bit buffer (bits, count < 8 on entry
// and exit), writing whole bytes to out 8 at a time; returns the new end of the written bytes.
// No code may be longer than kPackAvx512LongestCode. out must have room for every whole byte
// written plus 8. Call only where HuffmanPackAvx512Enabled().
std::uint8_t* PackBlocksAvx512(const PackByteTable& table, const std::uint8_t* src,
                               std::size_t blocks, std::uint8_t* out, std::uint64_t& bits,
                               unsigned& count);

}  // namespace pixhaul
