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
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/byte_source.h"
#include "platform/page_buffer.h"

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

// The same decoding a piece at a time, for a source too large to hold whole. The block is read
// the way HuffmanDecode reads it; an error found while reading (a bad code, bytes after the data
// bits, a wrong checksum) is told by Error() and End().
class HuffmanStreamDecoder {
  public:
    HuffmanStreamDecoder();
    ~HuffmanStreamDecoder();
    HuffmanStreamDecoder(const HuffmanStreamDecoder&) = delete;
    HuffmanStreamDecoder& operator=(const HuffmanStreamDecoder&) = delete;

    // Checks the block's head (and, for a block that starts like the stored form, the whole
    // block, to tell the two forms apart). Returns "" or what is wrong. The block must outlive
    // the decoder.
    std::string Open(std::span<const std::uint8_t> block,
                     std::uint64_t maxOutput = std::numeric_limits<std::uint64_t>::max());
    // The same for the block at [offset, offset + length) of source, which is read a window at
    // a time (in place when it is in memory). The source must outlive the decoder.
    std::string Open(ByteSource& source, std::uint64_t offset, std::uint64_t length,
                     std::uint64_t maxOutput = std::numeric_limits<std::uint64_t>::max());
    HuffmanForm Form() const { return form_; }
    std::uint64_t SourceLength() const { return sourceLength_; }
    std::uint64_t Produced() const { return at_.produced; }

    // Decodes up to out.size() more bytes of the source; returns how many (0 at its end or
    // after an error).
    std::size_t Read(std::span<std::uint8_t> out);
    const std::string& Error() const { return error_; }
    // After the whole source was read: "" or what is wrong with the block.
    std::string End() const;

    // Where the decoder is, to come back to it later with Seek.
    struct Position {
        std::uint64_t bit = 0;
        std::uint64_t produced = 0;
        std::uint8_t checksum = 0;
    };
    Position Tell() const { return at_; }
    void Seek(const Position& position) { at_ = position; }

    // Large reads decode with several chains at once (see ReadChained); how many rounds joined
    // every chain's values, how many ended early because a chain never met the next, and how
    // many chains were met only at one of their later noted places.
    struct PairingCounts {
        std::uint64_t joined = 0;
        std::uint64_t dropped = 0;
        std::uint64_t caughtUp = 0;
    };
    PairingCounts Pairing() const { return pairing_; }
    // On by default; off decodes with one chain only (for comparisons).
    void EnablePairing(bool enabled) { pairingEnabled_ = enabled; }

    struct Codes;  // the code tree and lookup table, private to the implementation

  private:
    std::string OpenCoded(std::span<const std::uint8_t> head, std::uint64_t blockSize,
                          std::uint64_t maxOutput, bool& overLimit);
    std::size_t ReadCoded(std::uint8_t* out, std::size_t n);
    // Decodes values i... of out (at most n) from bit (in the window) with kChains chains at
    // once: lookups within one chain wait for each other, so more chains keep the processor
    // busy. The first decodes from bit, each later one from where the shares of the chains
    // before it (each at most 128 Ki values) should end, where it starts in the middle of some
    // code; but a prefix code falls into step after a few codes. A later chain notes where its
    // first lookups start, and once the one before stands at one of them, its values from there
    // on are the right ones and follow; failing that, the one before walks on to the places the
    // chain noted later, to follow from the first it stands at. True when every chain's values
    // followed; either way bit and i move
    // on past what was decoded for sure. Where the processor has AVX-512 VBMI2, the chains store
    // each lookup's values in a slot and gather them a block at a time
    // (huffman_chains_avx512.h).
    bool ReadChained(std::uint64_t& bit, std::uint8_t* out, std::size_t& i, std::size_t n);
    // Makes the window hold the data byte at `byte` and `ahead` bytes after it (or up to the
    // data's end). False when the source could not be read (Error() says why).
    bool Cover(std::uint64_t byte, std::size_t ahead);

    std::unique_ptr<Codes> codes_;
    std::unique_ptr<MemorySource> ownSource_;  // for a block given in memory
    ByteSource* source_ = nullptr;
    std::uint64_t blockOffset_ = 0;
    std::uint64_t dataOffset_ = 0;  // in source: the data bits, or the stored source
    std::uint64_t dataSize_ = 0;
    // The data bytes [windowStart_, windowStart_ + window_.size()): the whole data when the
    // source is in memory, else a piece of it in windowBytes_ (kWindowBytes, made at its first
    // use).
    std::span<const std::uint8_t> window_;
    std::uint64_t windowStart_ = 0;
    PageBuffer windowBytes_;
    HuffmanForm form_ = HuffmanForm::Stored;
    std::uint64_t sourceLength_ = 0;
    std::uint8_t checksum_ = 0;
    Position at_;
    std::string error_;
    // For ReadChained: the chains, the recent bits a value (to guess where the later shares
    // start), the later chains' values before they are placed, and their noted places. Three
    // chains decode 1.04x-1.18x as fast as two where the lookup table lies in the second-level
    // cache (medians of alternated runs; 1.24x in a test program of the lookups alone, 1.07x
    // there on a processor with a larger first-level cache); four no longer fit the registers and
    // were slower than three.
    static constexpr std::size_t kChains = 3;
    struct ChainMark {
        std::size_t values;
        std::uint64_t bit;
    };
    double bitsPerValue_ = 8;
    std::vector<std::uint8_t> chainScratch_;
    std::array<std::vector<ChainMark>, kChains - 1> marks_;
    bool pairingEnabled_ = true;
    PairingCounts pairing_;
};

}  // namespace pixhaul
