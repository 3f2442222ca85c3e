#include "export/huffman_decode.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "export/huffman.h"

namespace pixhaul {
namespace {

// Bits looked up at once while decoding; longer codes continue bit by bit in the tree.
constexpr unsigned kLookupBits = 11;

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

// The code tree rebuilt from the block's codes.
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

    // Fills the table that maps the next kLookupBits bits to what they reach.
    void BuildLookup() {
        for (std::uint32_t pattern = 0; pattern < lookup_.size(); ++pattern) {
            Entry e;
            std::int32_t cur = 0;
            unsigned depth = 0;
            while (true) {
                if (nodes_[cur].value >= 0) {
                    e = Entry{nodes_[cur].value, static_cast<std::uint8_t>(depth), cur};
                    break;
                }
                if (depth == kLookupBits) {
                    e = Entry{kInner, static_cast<std::uint8_t>(depth), cur};
                    break;
                }
                const std::int32_t next = nodes_[cur].child[(pattern >> depth) & 1u];
                ++depth;
                if (next < 0) {
                    e = Entry{kDeadEnd, static_cast<std::uint8_t>(depth), cur};
                    break;
                }
                cur = next;
            }
            lookup_[pattern] = e;
        }
    }

    // Decodes one value; false if the bits lead nowhere or run out.
    bool Next(BitReader& in, std::uint8_t& value) const {
        const Entry& e = lookup_[in.Peek() & (lookup_.size() - 1)];
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

  private:
    static constexpr std::int16_t kInner = -1;
    static constexpr std::int16_t kDeadEnd = -2;
    struct Node {
        std::array<std::int32_t, 2> child{-1, -1};
        std::int16_t value = -1;
    };
    struct Entry {
        std::int16_t value = kDeadEnd;  // the value reached, kInner or kDeadEnd
        std::uint8_t length = 0;        // bits consumed to get there
        std::int32_t node = 0;          // the node reached
    };
    std::vector<Node> nodes_;
    std::array<Entry, std::size_t{1} << kLookupBits> lookup_{};
};

HuffmanDecoded Fail(std::string message) {
    HuffmanDecoded r;
    r.error = std::move(message);
    return r;
}

// overLimit tells a well-formed coded block whose source is larger than maxOutput.
HuffmanDecoded DecodeCoded(std::span<const std::uint8_t> block, std::uint64_t maxOutput,
                           bool& overLimit) {
    if (block.size() < kHuffmanCodedHeaderSize) return Fail("block too short for its header");
    const std::uint8_t checksum = block[0];
    const std::uint32_t sourceLength = std::uint32_t{block[1]} | std::uint32_t{block[2]} << 8 |
                                       std::uint32_t{block[3]} << 16 |
                                       std::uint32_t{block[4]} << 24;
    const unsigned symbols = block[5] | unsigned{block[6]} << 8;
    if (symbols < 2 || symbols > 256) {
        return Fail("symbol count " + std::to_string(symbols) + " is not between 2 and 256");
    }
    const std::size_t tableEnd = kHuffmanCodedHeaderSize + 2 * std::size_t{symbols};
    if (block.size() < tableEnd) return Fail("block ends inside the code table");

    std::uint64_t codeBits = 0;
    for (unsigned i = 0; i < symbols; ++i) {
        const std::uint8_t value = block[kHuffmanCodedHeaderSize + 2 * i];
        const std::uint8_t length = block[kHuffmanCodedHeaderSize + 2 * i + 1];
        if (i > 0 && value <= block[kHuffmanCodedHeaderSize + 2 * i - 2]) {
            return Fail("code table values are not in ascending order");
        }
        if (length == 0) return Fail("code table lists a value without a code");
        codeBits += length;
    }
    const std::size_t codeEnd = tableEnd + static_cast<std::size_t>((codeBits + 7) / 8);
    if (block.size() < codeEnd) return Fail("block ends inside the codes");

    CodeTree tree;
    BitReader codes(block.subspan(tableEnd, codeEnd - tableEnd));
    for (unsigned i = 0; i < symbols; ++i) {
        const std::uint8_t value = block[kHuffmanCodedHeaderSize + 2 * i];
        const std::uint8_t length = block[kHuffmanCodedHeaderSize + 2 * i + 1];
        if (!tree.Add(codes, length, value)) return Fail("the codes do not form a prefix code");
    }

    const std::span<const std::uint8_t> data = block.subspan(codeEnd);
    if (sourceLength == 0) return Fail("coded block of an empty source");
    // Every code takes at least one bit.
    if (sourceLength > std::uint64_t{data.size()} * 8) {
        return Fail("source length " + std::to_string(sourceLength) +
                    " is more than the data bits can hold");
    }
    if (sourceLength > maxOutput) {
        overLimit = true;
        return Fail("source length " + std::to_string(sourceLength) + " exceeds the limit of " +
                    std::to_string(maxOutput));
    }

    tree.BuildLookup();
    HuffmanDecoded r;
    r.form = HuffmanForm::Coded;
    r.data.resize(sourceLength);
    BitReader in(data);
    std::uint8_t x = 0;
    for (std::uint32_t i = 0; i < sourceLength; ++i) {
        if (!tree.Next(in, r.data[i])) {
            return Fail("data bits hold no valid code at bit " + std::to_string(in.Position()));
        }
        x ^= r.data[i];
    }
    const std::uint64_t used = (in.Position() + 7) / 8;
    if (used != data.size()) {
        return Fail(std::to_string(data.size() - used) + " bytes follow the data bits");
    }
    if (x != checksum) return Fail("checksum does not match the decoded bytes");
    return r;
}

}  // namespace

HuffmanDecoded HuffmanDecode(std::span<const std::uint8_t> block, std::uint64_t maxOutput) {
    if (block.empty()) return Fail("the block is empty");
    const bool signature =
        block.size() >= kHuffmanStoredSignature.size() &&
        std::equal(kHuffmanStoredSignature.begin(), kHuffmanStoredSignature.end(), block.begin());
    bool overLimit = false;
    HuffmanDecoded coded = DecodeCoded(block, maxOutput, overLimit);
    if (coded.ok() || !signature || overLimit) return coded;

    const std::span<const std::uint8_t> source = block.subspan(kHuffmanStoredSignature.size());
    if (source.size() > maxOutput) {
        return Fail("stored source of " + std::to_string(source.size()) +
                    " bytes exceeds the limit of " + std::to_string(maxOutput));
    }
    HuffmanDecoded r;
    r.form = HuffmanForm::Stored;
    r.data.assign(source.begin(), source.end());
    return r;
}

}  // namespace pixhaul
