#pragma once
// The Huffman decoder's code tree and its lookup tables, and the bit reader it walks codes with.
// Internal to the decoder (huffman_decode.cpp and huffman_chain.h).
#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace pixhaul::huffman {

// Bits looked up at once while decoding; longer codes continue bit by bit in the tree. One
// lookup yields up to three values; three lookups fit the 56 bits one refill guarantees.
// Lookups follow one another (each waits for the one before), so the more values one lookup
// yields the faster the decoding: 15 bits decode a run-length stream of ~6 bits a value a
// quarter faster than 12, although the table (128 KiB) no longer fits the first-level cache.
// Filling it takes about 0.1 ms more than 12 bits, which a source of 256 KiB pays back.
constexpr unsigned kLookupBits = 15;
constexpr unsigned kSmallLookupBits = 12;
constexpr std::uint64_t kLargeSource = std::uint64_t{256} << 10;
constexpr unsigned kLookupsPerLoad = 3;
static_assert(kLookupBits * kLookupsPerLoad <= 56 && kLookupBits < 16);

// Eight bytes as a little-endian number.
inline std::uint64_t LoadLittleEndian64(const std::uint8_t* p) {
    std::uint64_t w = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&w, p, 8);
    } else {
        for (int b = 7; b >= 0; --b) w = (w << 8) | p[b];
    }
    return w;
}

// Reads bits of one section, first bit in the least significant bit of the first byte.
class BitReader {
  public:
    explicit BitReader(std::span<const std::uint8_t> bytes)
        : bytes_(bytes), totalBits_(std::uint64_t{bytes.size()} * 8) {}

    std::uint64_t Position() const { return pos_; }
    std::uint64_t Remaining() const { return totalBits_ - pos_; }
    void Skip(unsigned n) { pos_ += n; }
    // The next bit; the caller checks Remaining() first.
    unsigned Bit() {
        const unsigned bit = (bytes_[pos_ / 8] >> (pos_ % 8)) & 1u;
        ++pos_;
        return bit;
    }
    void Seek(std::uint64_t pos) { pos_ = pos; }
    // The next up to 57 bits without moving on; bits past the end read as 0.
    std::uint64_t Peek() const {
        const std::size_t byte = pos_ / 8;
        std::uint64_t w = 0;
        if (byte + 8 <= bytes_.size()) {
            if constexpr (std::endian::native == std::endian::little) {
                std::memcpy(&w, bytes_.data() + byte, 8);
            } else {
                for (int i = 7; i >= 0; --i) w = (w << 8) | bytes_[byte + i];
            }
        } else {
            for (std::size_t i = bytes_.size(); i-- > byte;) w = (w << 8) | bytes_[i];
        }
        return w >> (pos_ % 8);
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::uint64_t totalBits_;
    std::uint64_t pos_ = 0;
};

// The code tree rebuilt from the block's codes, with a table for the short ones.
class CodeTree {
  public:
    CodeTree() { nodes_.push_back(Node{}); }

    // Adds one code; false if it clashes with one already added (prefix or duplicate).
    bool Add(BitReader& codeBits, unsigned length, std::uint8_t value) {
        std::int32_t cur = 0;
        for (unsigned i = 0; i < length; ++i) {
            if (nodes_[cur].value >= 0) return false;
            const unsigned bit = codeBits.Bit();
            if (nodes_[cur].child[bit] < 0) {
                nodes_[cur].child[bit] = static_cast<std::int32_t>(nodes_.size());
                nodes_.push_back(Node{});
            }
            cur = nodes_[cur].child[bit];
        }
        Node& leaf = nodes_[cur];
        if (leaf.value >= 0 || leaf.child[0] >= 0 || leaf.child[1] >= 0) return false;
        leaf.value = value;
        return true;
    }

    // Fills the tables that map the next `bits` bits (at most kLookupBits) to what they reach:
    // each node of the tree down to `bits` deep fills the patterns that start with its code, so
    // the cost is one write a pattern however deep the codes are.
    void BuildLookup(unsigned bits) {
        bits_ = bits;
        lookup_.assign(std::size_t{1} << bits, Step{});
        pairs_.assign(std::size_t{1} << bits, 0);
        lengths_.assign(std::size_t{1} << bits, 0);
        values_.assign(std::size_t{1} << bits, 0);
        Fill(0, 0, 0);
        for (std::uint32_t pattern = 0; pattern < lookup_.size(); ++pattern) {
            // Up to three values whose codes all lie within the pattern's bits.
            std::uint32_t values = 0, count = 0, shift = 0;
            while (count < 3) {
                // The bits above the pattern's read as 0: a code that needs them is not taken.
                const Step& next = lookup_[pattern >> shift];
                if (next.value < 0 || next.length > bits_ - shift) break;
                values |= static_cast<std::uint32_t>(next.value) << (8 * count);
                shift += next.length;
                ++count;
            }
            pairs_[pattern] = shift | count << kCountShift | values << kValuesShift;
            lengths_[pattern] = static_cast<std::uint8_t>(shift);
            values_[pattern] = values | count << kEntryCountShift;
        }
    }

    // Decodes one value; false if the bits lead nowhere or run out.
    bool Next(BitReader& in, std::uint8_t& value) const {
        const Step& e = lookup_[in.Peek() & (lookup_.size() - 1)];
        if (e.value == kDeadEnd || e.length > in.Remaining()) return false;
        in.Skip(e.length);
        std::int32_t cur = e.node;
        while (nodes_[cur].value < 0) {
            if (in.Remaining() == 0) return false;
            cur = nodes_[cur].child[in.Bit()];
            if (cur < 0) return false;
        }
        value = static_cast<std::uint8_t>(nodes_[cur].value);
        return true;
    }

    // Decodes one value from the low `valid` bits of w, starting with the table; false when the
    // code is not complete within them (or leads nowhere): Next must then take it.
    bool FromBits(std::uint64_t w, unsigned valid, std::uint8_t& value, unsigned& length) const {
        const Step& e = lookup_[w & (lookup_.size() - 1)];
        if (e.value == kDeadEnd) return false;
        unsigned depth = e.length;
        std::int32_t cur = e.node;
        while (nodes_[cur].value < 0) {
            if (depth == valid) return false;
            cur = nodes_[cur].child[(w >> depth) & 1u];
            ++depth;
            if (cur < 0) return false;
        }
        value = static_cast<std::uint8_t>(nodes_[cur].value);
        length = depth;
        return true;
    }

    // Up to three values whose codes lie within the next bits of the table, packed in four
    // bytes so that the table stays small: the bits they take in the low six
    // bits (so the entry itself can be the shift count of the bit buffer, which keeps the chain
    // from one lookup to the next short), their count above, then the values (the first
    // lowest). A count of 0 means the first code is longer (or no code): Next must take it.
    static constexpr unsigned kCountShift = 6;
    static constexpr unsigned kValuesShift = 8;
    static unsigned PairLength(std::uint32_t pair) { return pair & 63; }
    static unsigned PairCount(std::uint32_t pair) { return (pair >> kCountShift) & 3; }
    static std::uint32_t PairValues(std::uint32_t pair) { return pair >> kValuesShift; }
    // The table and the mask of its index, to be held in registers by the decoding loop (the
    // bytes it stores could alias the vector's own fields).
    const std::uint32_t* Pairs() const { return pairs_.data(); }
    std::uint64_t PairMask() const { return pairs_.size() - 1; }

    // The same lookups split in two, for chains that store every lookup's values in a slot of
    // their own and gather them later (huffman_chains_avx512.h): the bits taken, alone in a
    // byte (0 where Pairs() has a count of 0), and the values with their count in the top byte.
    // A chain's next lookup waits only on the small table of bits.
    static constexpr unsigned kEntryCountShift = 24;
    const std::uint8_t* Lengths() const { return lengths_.data(); }
    const std::uint32_t* Values() const { return values_.data(); }

  private:
    static constexpr std::int16_t kInner = -1;
    static constexpr std::int16_t kDeadEnd = -2;
    struct Node {
        std::array<std::int32_t, 2> child{-1, -1};
        std::int16_t value = -1;
    };
    struct Step {
        std::int16_t value = kDeadEnd;  // the value reached, kInner or kDeadEnd
        std::uint8_t length = 0;        // bits consumed to get there
        std::int32_t node = 0;          // the node reached
    };

    // Sets the step of every pattern whose low `depth` bits are `code`, the way to node.
    void Fill(std::int32_t node, unsigned depth, std::uint32_t code) {
        const Node& n = nodes_[node];
        if (n.value >= 0 || depth == bits_) {
            Spread(code, depth, Step{n.value >= 0 ? n.value : kInner, std::uint8_t(depth), node});
            return;
        }
        for (std::uint32_t bit = 0; bit < 2; ++bit) {
            const std::uint32_t longer = code | bit << depth;
            if (n.child[bit] < 0) {
                Spread(longer, depth + 1, Step{kDeadEnd, std::uint8_t(depth + 1), node});
            } else {
                Fill(n.child[bit], depth + 1, longer);
            }
        }
    }
    void Spread(std::uint32_t code, unsigned depth, const Step& step) {
        for (std::size_t p = code; p < lookup_.size(); p += std::size_t{1} << depth) {
            lookup_[p] = step;
        }
    }

    std::vector<Node> nodes_;
    unsigned bits_ = 0;
    std::vector<Step> lookup_;
    std::vector<std::uint32_t> pairs_;
    std::vector<std::uint8_t> lengths_;
    std::vector<std::uint32_t> values_;
};

}  // namespace pixhaul::huffman
