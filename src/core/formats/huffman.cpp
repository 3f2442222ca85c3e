#include "formats/huffman.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "formats/huffman_pack_avx512.h"

namespace pixhaul {
namespace {

// One node of the code tree. Leaves come first, one per byte value that occurs, in ascending
// value order; every merge appends its new node, so the last node is the root. Weights are 64
// bits wide so that no count can overflow them.
struct HuffNode {
    std::int16_t Parent = -1;
    std::int16_t Child1 = -1;
    std::int16_t Child0 = -1;
    std::int16_t Value = -1;
    std::int64_t Weight = 0;
};

// A code in the making: its bits from the root onward, the first one in bit 0.
struct HuffCode {
    std::uint64_t Bits = 0;
    std::uint8_t BitCount = 0;
};

// The longest code the packer takes: it keeps up to 7 pending bits plus whole codes in a 64-bit
// buffer. A source shorter than 2^32 bytes never gets a code longer than 45 bits (a tree of
// depth d needs at least Fibonacci(d + 2) bytes), so this is only a safety net.
constexpr unsigned kMaxPackedCode = 56;

void AssignCodes(const std::array<HuffNode, 512>& Nodes, std::int16_t NodeIndex, HuffCode Path,
                 std::array<HuffCode, 256>& Codes) {
    const HuffNode& node = Nodes[static_cast<std::size_t>(NodeIndex)];
    if (node.Value > -1) {
        Codes[static_cast<std::size_t>(node.Value)] = Path;
        return;
    }
    if (Path.BitCount >= 64) return;  // unreachable for the tree depths that can occur
    if (node.Child0 > -1) {
        AssignCodes(Nodes, node.Child0, HuffCode{Path.Bits, std::uint8_t(Path.BitCount + 1)},
                    Codes);
    }
    if (node.Child1 > -1) {
        HuffCode one{Path.Bits | (std::uint64_t{1} << Path.BitCount),
                     std::uint8_t(Path.BitCount + 1)};
        AssignCodes(Nodes, node.Child1, one, Codes);
    }
}

// Builds the tree from the counts and returns the code of every value.
std::array<HuffCode, 256> BuildCodes(const std::array<std::uint64_t, 256>& counts) {
    std::array<HuffNode, 512> nodes{};
    int used = 0;
    for (int v = 0; v < 256; ++v) {
        if (counts[v] == 0) continue;
        HuffNode& leaf = nodes[used++];
        leaf.Value = static_cast<std::int16_t>(v);
        leaf.Weight = static_cast<std::int64_t>(counts[v]);
    }
    const int leaves = used;
    for (int merge = 1; merge < leaves; ++merge) {
        // Pick the two lightest parentless nodes. A is the first one seen and B the second; a
        // lighter node then replaces the heavier pick (A when both weigh the same), so A is not
        // necessarily the lighter of the two.
        int a = -1, b = -1;
        std::int64_t wa = 0, wb = 0;
        for (int i = 0; i < used; ++i) {
            if (nodes[i].Parent != -1) continue;
            const std::int64_t w = nodes[i].Weight;
            if (a < 0) {
                a = i, wa = w;
            } else if (b < 0) {
                b = i, wb = w;
            } else if (w < wa && w < wb) {
                if (wa < wb) {
                    b = i, wb = w;
                } else {
                    a = i, wa = w;
                }
            } else if (w < wa) {
                a = i, wa = w;
            } else if (w < wb) {
                b = i, wb = w;
            }
        }
        HuffNode& inner = nodes[used];
        inner.Weight = wa + wb;
        inner.Child0 = static_cast<std::int16_t>(a);
        inner.Child1 = static_cast<std::int16_t>(b);
        nodes[a].Parent = static_cast<std::int16_t>(used);
        nodes[b].Parent = static_cast<std::int16_t>(used);
        ++used;
    }
    std::array<HuffCode, 256> codes{};
    if (used > 0) AssignCodes(nodes, static_cast<std::int16_t>(used - 1), HuffCode{}, codes);
    return codes;
}

void Store64LE(std::uint8_t* out, std::uint64_t v) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &v, 8);
    } else {
        for (int i = 0; i < 8; ++i) out[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

// The code and the length of every value.
struct PackTable {
    std::array<std::uint64_t, 256> code{};
    std::array<std::uint32_t, 256> length{};
};

// Adds the code of v behind the count bits already in the buffer.
inline void PutCode(const PackTable& table, std::uint8_t v, std::uint64_t& bits, unsigned& count) {
    bits |= table.code[v] << count;
    count += table.length[v];
}

// Writes the buffer's whole bytes (8 bytes are stored, the pointer moves by the whole ones) and
// keeps the rest, fewer than 8 bits.
inline std::uint8_t* Flush(std::uint8_t* out, std::uint64_t& bits, unsigned& count) {
    Store64LE(out, bits);
    out += count >> 3;
    bits >>= count & 56;
    count &= 7;
    return out;
}

// The codes of K source bytes joined in a word of their own, first code lowest; their bits
// in groupBits. Built apart from the bit buffer, the joins of one group do not wait for the
// group before: only the group's one shift into the buffer does. When groupBits comes to more
// than 64 the word is garbage (the shifts are taken modulo 64), and the caller drops it.
template <int K>
inline std::uint64_t JoinCodes(const PackTable& table, const std::uint8_t* src,
                               unsigned& groupBits) {
    std::uint64_t group = table.code[src[0]];
    groupBits = table.length[src[0]];
    for (int j = 1; j < K; ++j) {
        group |= table.code[src[j]] << (groupBits & 63);
        groupBits += table.length[src[j]];
    }
    return group;
}

// Appends the codes of n source bytes to the bit buffer (bits, count < 8 on entry and exit),
// writing whole bytes to out 8 at a time; returns the new end of the written bytes. K codes go
// into the buffer between two flushes, K chosen so that 7 + K x the longest code fits in 63:
// no code needs a check of its own. out must have room for every whole byte written plus 8.
template <int K>
std::uint8_t* PackCodes(const PackTable& table, const std::uint8_t* src, std::size_t n,
                        std::uint8_t* out, std::uint64_t& bitsRef, unsigned& countRef) {
    std::uint64_t bits = bitsRef;
    unsigned count = countRef;
    std::size_t i = 0;
    if constexpr (K > 1) {
        for (; i + K <= n; i += K) {
            unsigned groupBits;
            bits |= JoinCodes<K>(table, src + i, groupBits) << count;
            count += groupBits;
            out = Flush(out, bits, count);
        }
    }
    for (; i < n; ++i) {
        PutCode(table, src[i], bits, count);
        out = Flush(out, bits, count);
    }
    bitsRef = bits;
    countRef = count;
    return out;
}

// Like PackCodes, for a source whose codes are mostly far shorter than its longest: each group
// of G codes goes in with one flush when its bits fit, and with a flush per code otherwise. G is
// chosen from the average code so that groups rarely fail to fit (a failure costs a mispredicted
// branch).
template <int G>
std::uint8_t* PackGroups(const PackTable& table, const std::uint8_t* src, std::size_t n,
                         std::uint8_t* out, std::uint64_t& bitsRef, unsigned& countRef) {
    std::uint64_t bits = bitsRef;
    unsigned count = countRef;
    std::size_t i = 0;
    for (; i + G <= n; i += G) {
        // Joined before the check, in the pass that adds up the lengths; a group that does not
        // fit is dropped.
        unsigned groupBits;
        const std::uint64_t group = JoinCodes<G>(table, src + i, groupBits);
        if (groupBits <= kMaxPackedCode) [[likely]] {
            bits |= group << count;
            count += groupBits;
            out = Flush(out, bits, count);
        } else {
            for (int j = 0; j < G; ++j) {
                PutCode(table, src[i + j], bits, count);
                out = Flush(out, bits, count);
            }
        }
    }
    bitsRef = bits;
    countRef = count;
    return PackCodes<1>(table, src + i, n - i, out, bitsRef, countRef);
}

std::uint8_t* PackAll(const HuffmanPlan& plan, const std::uint8_t* src, std::size_t n,
                      std::uint8_t* out, std::uint64_t& bits, unsigned& count) {
    PackTable table;
    for (int v = 0; v < 256; ++v) {
        table.code[v] = plan.Code(static_cast<std::uint8_t>(v));
        table.length[v] = plan.BitCount(static_cast<std::uint8_t>(v));
    }
    // Whole blocks of 64 values go through the vector packer where it can take the codes.
    if (plan.MaxBitCount() <= kPackAvx512LongestCode && n >= 64 && HuffmanPackAvx512Enabled()) {
        PackByteTable bytes;
        for (int v = 0; v < 256; ++v) {
            bytes.low[v] = static_cast<std::uint8_t>(table.code[v]);
            bytes.high[v] = static_cast<std::uint8_t>(table.code[v] >> 8);
            bytes.length[v] = static_cast<std::uint8_t>(table.length[v]);
        }
        const std::size_t blocks = n / 64;
        out = PackBlocksAvx512(bytes, src, blocks, out, bits, count);
        src += 64 * blocks;
        n -= 64 * blocks;
    }
    // Codes that always fit between two flushes, and those that do for codes of about the
    // average length with room to spare.
    const unsigned safe = kMaxPackedCode / std::max<unsigned>(plan.MaxBitCount(), 1);
    const std::uint64_t averageBits = (plan.DataBytes() * 8 + plan.SourceLength() - 1) /
                                      std::max<std::uint64_t>(plan.SourceLength(), 1);
    const unsigned typical = 44 / static_cast<unsigned>(std::max<std::uint64_t>(averageBits, 1));
    using Pack = std::uint8_t* (*)(const PackTable&, const std::uint8_t*, std::size_t,
                                   std::uint8_t*, std::uint64_t&, unsigned&);
    static constexpr Pack kSafe[] = {PackCodes<1>, PackCodes<1>, PackCodes<2>,
                                     PackCodes<3>, PackCodes<4>, PackCodes<5>,
                                     PackCodes<6>, PackCodes<7>, PackCodes<8>};
    static constexpr Pack kGroups[] = {PackGroups<2>, PackGroups<2>, PackGroups<2>,
                                       PackGroups<3>, PackGroups<4>, PackGroups<5>,
                                       PackGroups<6>, PackGroups<7>, PackGroups<8>};
    const Pack pack =
        typical >= 2 * safe ? kGroups[std::min(typical, 8u)] : kSafe[std::min(safe, 8u)];
    return pack(table, src, n, out, bits, count);
}

// Upper bound of the whole bytes that packing n more source bytes can write, plus the slack
// of the 8-byte stores.
std::size_t PackRoom(const HuffmanPlan& plan, std::size_t n) {
    return (n * std::max<std::size_t>(plan.MaxBitCount(), 1) + 7) / 8 + 8;
}

}  // namespace

namespace {

// Counts n bytes (fewer than 2^32) into counts with kTables tables side by side, byte i of the
// piece going to table i % kTables, so that repeats of one value do not wait on each other's
// increments. Sixteen tables suit run-length records, whose count byte repeats every four
// bytes; they cost 16 KiB to clear and add up, so small pieces use four.
template <int kTables>
void CountBytes(const std::uint8_t* p, std::size_t n, std::array<std::uint64_t, 256>& counts) {
    static_assert(kTables % 4 == 0 && kTables <= 16);
    std::array<std::array<std::uint32_t, 256>, kTables> h{};
    std::size_t i = 0;
    for (; i + kTables <= n; i += kTables) {
        for (int word = 0; word < kTables / 4; ++word) {
            std::uint32_t w;
            std::memcpy(&w, p + i + 4 * word, 4);
            ++h[4 * word][w & 0xFF];
            ++h[4 * word + 1][(w >> 8) & 0xFF];
            ++h[4 * word + 2][(w >> 16) & 0xFF];
            ++h[4 * word + 3][w >> 24];
        }
    }
    for (; i < n; ++i) ++h[0][p[i]];
    for (int v = 0; v < 256; ++v) {
        std::uint64_t sum = 0;
        for (int t = 0; t < kTables; ++t) sum += h[t][v];
        counts[v] += sum;
    }
}

}  // namespace

void ByteHistogram::Add(std::span<const std::uint8_t> piece) {
    // Chunks keep the 32-bit counters far from overflowing.
    constexpr std::size_t kChunk = std::size_t{1} << 30;
    constexpr std::size_t kLargePiece = std::size_t{1} << 16;
    const std::uint8_t* p = piece.data();
    std::size_t left = piece.size();
    while (left > 0) {
        const std::size_t n = std::min(left, kChunk);
        if (n >= kLargePiece) {
            CountBytes<16>(p, n, counts_);
        } else {
            CountBytes<4>(p, n, counts_);
        }
        p += n;
        left -= n;
        total_ += n;
    }
}

ByteHistogram ByteHistogram::FromCounts(const std::array<std::uint64_t, 256>& counts) {
    ByteHistogram h;
    h.counts_ = counts;
    for (std::uint64_t c : counts) h.total_ += c;
    return h;
}

std::uint8_t ByteHistogram::Checksum() const {
    std::uint8_t x = 0;
    for (int v = 0; v < 256; ++v) {
        if (counts_[v] & 1) x ^= static_cast<std::uint8_t>(v);
    }
    return x;
}

HuffmanPlan::HuffmanPlan(const ByteHistogram& histogram)
    : sourceLength_(histogram.Total()), checksum_(histogram.Checksum()) {
    if (sourceLength_ == 0 || sourceLength_ > kHuffmanMaxCodedLength) return;  // stored

    const auto& counts = histogram.Counts();
    const std::array<HuffCode, 256> codes = BuildCodes(counts);
    std::uint64_t totalBits = 0;
    std::uint64_t codeBits = 0;
    int occurring = 0;
    for (int v = 0; v < 256; ++v) {
        bitCount_[v] = codes[v].BitCount;
        code_[v] = codes[v].Bits;
        if (counts[v] > 0) ++occurring;
        if (codes[v].BitCount == 0) continue;
        ++symbolCount_;
        codeBits += codes[v].BitCount;
        totalBits += counts[v] * codes[v].BitCount;
        maxBitCount_ = std::max(maxBitCount_, codes[v].BitCount);
    }
    dataBytes_ = (totalBits + 7) / 8;
    codeBytes_ = static_cast<std::uint32_t>((codeBits + 7) / 8);
    // No data bits (a single value), or more data than source: keep the source as it is.
    // (The last two cannot happen for the source lengths let through above.)
    stored_ = dataBytes_ == 0 || dataBytes_ > sourceLength_ || maxBitCount_ > kMaxPackedCode ||
              (occurring > 1 && symbolCount_ != occurring);
    if (stored_) {
        dataBytes_ = 0;
        symbolCount_ = 0;
        codeBytes_ = 0;
        maxBitCount_ = 0;
        bitCount_.fill(0);
        code_.fill(0);
    }
}

std::size_t HuffmanPlan::HeadSize() const {
    if (stored_) return kHuffmanStoredSignature.size();
    return kHuffmanCodedHeaderSize + 2 * std::size_t{symbolCount_} + codeBytes_;
}

void HuffmanPlan::WriteHead(std::uint8_t* out) const {
    if (stored_) {
        std::memcpy(out, kHuffmanStoredSignature.data(), kHuffmanStoredSignature.size());
        return;
    }
    out[0] = checksum_;
    for (int i = 0; i < 4; ++i) out[1 + i] = static_cast<std::uint8_t>(sourceLength_ >> (8 * i));
    out[5] = static_cast<std::uint8_t>(symbolCount_);
    out[6] = static_cast<std::uint8_t>(symbolCount_ >> 8);
    std::uint8_t* p = out + kHuffmanCodedHeaderSize;
    for (int v = 0; v < 256; ++v) {
        if (bitCount_[v] == 0) continue;
        *p++ = static_cast<std::uint8_t>(v);
        *p++ = bitCount_[v];
    }
    // The codes themselves, one after another, packed like the data.
    std::memset(p, 0, codeBytes_);
    std::uint64_t k = 0;
    for (int v = 0; v < 256; ++v) {
        for (unsigned j = 0; j < bitCount_[v]; ++j, ++k) {
            if ((code_[v] >> j) & 1) p[k / 8] |= static_cast<std::uint8_t>(1u << (k % 8));
        }
    }
}

std::vector<std::uint8_t> HuffmanPlan::Head() const {
    std::vector<std::uint8_t> head(HeadSize());
    WriteHead(head.data());
    return head;
}

void HuffmanDataWriter::Write(std::span<const std::uint8_t> piece, std::vector<std::uint8_t>& out) {
    if (piece.empty()) return;
    if (plan_.IsStored()) {
        out.insert(out.end(), piece.begin(), piece.end());
        return;
    }
    const std::size_t start = out.size();
    out.resize(start + PackRoom(plan_, piece.size()));
    std::uint8_t* end =
        PackAll(plan_, piece.data(), piece.size(), out.data() + start, bits_, bitCount_);
    out.resize(static_cast<std::size_t>(end - out.data()));
}

std::size_t HuffmanDataWriter::RoomFor(std::size_t pieceBytes) const {
    return plan_.IsStored() ? pieceBytes : PackRoom(plan_, pieceBytes);
}

std::size_t HuffmanDataWriter::Write(std::span<const std::uint8_t> piece, std::uint8_t* out) {
    if (piece.empty()) return 0;
    if (plan_.IsStored()) {
        std::memcpy(out, piece.data(), piece.size());
        return piece.size();
    }
    return static_cast<std::size_t>(
        PackAll(plan_, piece.data(), piece.size(), out, bits_, bitCount_) - out);
}

void HuffmanDataWriter::Finish(std::vector<std::uint8_t>& out) {
    if (bitCount_ > 0) out.push_back(static_cast<std::uint8_t>(bits_));
    bits_ = 0;
    bitCount_ = 0;
}

std::vector<std::uint8_t> HuffmanEncoded(std::span<const std::uint8_t> source) {
    ByteHistogram histogram;
    histogram.Add(source);
    const HuffmanPlan plan(histogram);
    const std::size_t head = plan.HeadSize();
    if (plan.IsStored()) {
        std::vector<std::uint8_t> block(head + source.size());
        plan.WriteHead(block.data());
        if (!source.empty()) std::memcpy(block.data() + head, source.data(), source.size());
        return block;
    }
    const std::size_t size = static_cast<std::size_t>(plan.BlockSize());
    std::vector<std::uint8_t> block(size + 8);  // room for the packer's 8-byte stores
    plan.WriteHead(block.data());
    std::uint64_t bits = 0;
    unsigned count = 0;
    std::uint8_t* end =
        PackAll(plan, source.data(), source.size(), block.data() + head, bits, count);
    if (count > 0) *end++ = static_cast<std::uint8_t>(bits);
    block.resize(size);
    return block;
}

void HuffmanEncode(std::vector<std::uint8_t>& Data) {
    Data = HuffmanEncoded(Data);
}

}  // namespace pixhaul
