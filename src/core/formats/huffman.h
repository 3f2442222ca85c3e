#pragma once
// The Huffman coder: replaces a byte array by a self-contained block in one of two forms.
//
// Stored form: "HE0\r" (48 45 30 0D) followed by the source unchanged. Used when coding gives
// no data bits (an empty source, or one that holds a single byte value).
//
// Coded form (little-endian, no padding, no signature):
//   Checksum      1 byte   XOR of all source bytes
//   SourceLength  4 bytes  n
//   SymbolCount   2 bytes  number of byte values that have a code (2 to 256)
//   code table    2 bytes per value, ascending: the value, then the length of its code in bits
//   code bits     the codes of the table's values in table order
//   data bits     the code of every source byte in source order
// Both bit sections start on a fresh byte and are packed first bit into the least significant
// bit; a code goes in from the bit nearest the root of the tree onward; unused high bits are 0.
//
// The tree is built with a fixed merge order (see huffman.cpp), so a given source always gives
// the same block byte for byte.
//
// Sources of more than 2^32 - 1 bytes cannot carry their length in the coded form and are
// always stored.
//
// For a source that is produced piece by piece (the SIF writer's run-length stream), the same
// block can be built in two passes over the pieces: ByteHistogram counts them, HuffmanPlan makes
// the codes and the block's head, HuffmanDataWriter appends the data bits.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace pixhaul {

inline constexpr std::array<std::uint8_t, 4> kHuffmanStoredSignature = {0x48, 0x45, 0x30, 0x0D};
// Bytes in front of the code table of the coded form.
inline constexpr std::size_t kHuffmanCodedHeaderSize = 7;
// The longest source whose length the coded form can carry.
inline constexpr std::uint64_t kHuffmanMaxCodedLength = 0xFFFFFFFFu;

// Replaces Data by its coded or stored form.
void HuffmanEncode(std::vector<std::uint8_t>& Data);

// The coded or stored form of source, which is left as it is.
std::vector<std::uint8_t> HuffmanEncoded(std::span<const std::uint8_t> source);

// How often each byte value occurs in a source, gathered over one or more pieces.
class ByteHistogram {
  public:
    void Add(std::span<const std::uint8_t> piece);
    // Counts known beforehand (for planning without the bytes at hand).
    static ByteHistogram FromCounts(const std::array<std::uint64_t, 256>& counts);

    std::uint64_t Count(std::uint8_t value) const { return counts_[value]; }
    const std::array<std::uint64_t, 256>& Counts() const { return counts_; }
    std::uint64_t Total() const { return total_; }
    // XOR of every byte counted so far.
    std::uint8_t Checksum() const;

  private:
    std::array<std::uint64_t, 256> counts_{};
    std::uint64_t total_ = 0;
};

// The codes of one source and the shape of its block.
class HuffmanPlan {
  public:
    explicit HuffmanPlan(const ByteHistogram& histogram);

    bool IsStored() const { return stored_; }
    std::uint64_t SourceLength() const { return sourceLength_; }
    // Length of the code of a value in bits; 0 for a value without a code.
    std::uint8_t BitCount(std::uint8_t value) const { return bitCount_[value]; }
    // The code of a value, its first bit (nearest the root) in bit 0.
    std::uint64_t Code(std::uint8_t value) const { return code_[value]; }
    std::uint8_t MaxBitCount() const { return maxBitCount_; }
    // Bytes of the data bits (coded form); 0 for the stored form.
    std::uint64_t DataBytes() const { return dataBytes_; }
    // Bytes of the whole block.
    std::uint64_t BlockSize() const { return HeadSize() + (stored_ ? sourceLength_ : dataBytes_); }
    // Bytes in front of the data: the signature (stored), or checksum to code bits (coded).
    std::size_t HeadSize() const;
    // Writes those bytes; out must hold HeadSize() bytes.
    void WriteHead(std::uint8_t* out) const;
    std::vector<std::uint8_t> Head() const;

  private:
    std::array<std::uint64_t, 256> code_{};
    std::array<std::uint8_t, 256> bitCount_{};
    std::uint64_t sourceLength_ = 0;
    std::uint64_t dataBytes_ = 0;
    std::uint16_t symbolCount_ = 0;
    std::uint32_t codeBytes_ = 0;
    std::uint8_t maxBitCount_ = 0;
    std::uint8_t checksum_ = 0;
    bool stored_ = true;
};

// Appends the part of a block that follows the head: the data bits of the coded form, or the
// source itself for the stored form. Feed it the same pieces, in the same order, that were
// counted for the plan, then call Finish once. The plan must outlive the writer.
class HuffmanDataWriter {
  public:
    explicit HuffmanDataWriter(const HuffmanPlan& plan) : plan_(plan) {}

    void Write(std::span<const std::uint8_t> piece, std::vector<std::uint8_t>& out);
    // The same into memory the caller keeps: out holds RoomFor(piece.size()) bytes. Returns
    // the bytes written.
    std::size_t RoomFor(std::size_t pieceBytes) const;
    std::size_t Write(std::span<const std::uint8_t> piece, std::uint8_t* out);
    // Appends the last, partly filled byte of the data bits, if any.
    void Finish(std::vector<std::uint8_t>& out);

  private:
    const HuffmanPlan& plan_;
    std::uint64_t bits_ = 0;
    unsigned bitCount_ = 0;
};

}  // namespace pixhaul
