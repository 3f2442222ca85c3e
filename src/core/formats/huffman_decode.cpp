#include "formats/huffman_decode.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>
#include <utility>

#include "formats/huffman.h"
#include "formats/huffman_chain.h"
#include "formats/huffman_chains_avx512.h"
#include "formats/huffman_code_tree.h"

namespace pixhaul {
namespace {

using huffman::BitReader;
using huffman::Chain;
using huffman::ChainBounds;
using huffman::CodeTree;
using huffman::kLargeSource;
using huffman::kLookupBits;
using huffman::kLookupsPerLoad;
using huffman::kSmallLookupBits;
using huffman::kStepAdvance;
using huffman::kStepRoom;
using huffman::LongCode;
using huffman::OneLookup;
using huffman::RunChainsAvx512;
using huffman::Step;

}  // namespace

struct HuffmanStreamDecoder::Codes {
    CodeTree tree;
};

HuffmanStreamDecoder::HuffmanStreamDecoder() = default;
HuffmanStreamDecoder::~HuffmanStreamDecoder() = default;

namespace {

// The most bytes in front of the data bits: header, 256 table entries, 256 codes of 255 bits.
constexpr std::size_t kMaxHeadBytes = kHuffmanCodedHeaderSize + 2 * 256 + (256 * 255 + 7) / 8;
// Data bytes read from a file at a time, and the bytes a window keeps ahead of a code's start
// (the longest code, 255 bits, and the 8-byte loads).
constexpr std::size_t kWindowBytes = std::size_t{1} << 20;
constexpr std::size_t kLookaheadBytes = 48;
// Several chains: only for this many values or more, and at most so many values each in one
// round; a later chain's first lookups noted to find where the one before meets it; its place
// noted every so many values.
constexpr std::size_t kMinPairedValues = 4096;
constexpr std::size_t kMaxChainShare = std::size_t{128} << 10;
constexpr std::size_t kSyncLookups = 64;
constexpr std::size_t kChainMarkValues = 4096;
// A later chain out of step at its start is looked for at so many of its noted places: walking
// to them with one chain costs less than the round's work it saves.
constexpr std::size_t kCatchUpMarks = 8;

// The XOR of n bytes (the block's checksum), in 32-byte vectors where the processor has AVX2: in
// 16-byte ones it was 2% of decoding a SIF file (the Huffman stage of a 258 MB sheet 49.3-50.4
// against 51.9-52.6 ms with them).
__attribute__((target_clones("avx2", "default"))) std::uint8_t XorOfBytes(const std::uint8_t* bytes,
                                                                          std::size_t n) {
    std::uint8_t x = 0;
    for (std::size_t i = 0; i < n; ++i) x ^= bytes[i];
    return x;
}

}  // namespace

std::string HuffmanStreamDecoder::OpenCoded(std::span<const std::uint8_t> block,
                                            std::uint64_t blockSize, std::uint64_t maxOutput,
                                            bool& overLimit) {
    // block holds the first min(blockSize, kMaxHeadBytes) bytes.
    if (blockSize < kHuffmanCodedHeaderSize) return "block too short for its header";
    const std::uint8_t checksum = block[0];
    const std::uint32_t sourceLength = std::uint32_t{block[1]} | std::uint32_t{block[2]} << 8 |
                                       std::uint32_t{block[3]} << 16 |
                                       std::uint32_t{block[4]} << 24;
    const unsigned symbols = block[5] | unsigned{block[6]} << 8;
    if (symbols < 2 || symbols > 256) {
        return "symbol count " + std::to_string(symbols) + " is not between 2 and 256";
    }
    const std::size_t tableEnd = kHuffmanCodedHeaderSize + 2 * std::size_t{symbols};
    if (blockSize < tableEnd) return "block ends inside the code table";

    std::uint64_t codeBits = 0;
    for (unsigned i = 0; i < symbols; ++i) {
        const std::uint8_t value = block[kHuffmanCodedHeaderSize + 2 * i];
        const std::uint8_t length = block[kHuffmanCodedHeaderSize + 2 * i + 1];
        if (i > 0 && value <= block[kHuffmanCodedHeaderSize + 2 * i - 2]) {
            return "code table values are not in ascending order";
        }
        if (length == 0) return "code table lists a value without a code";
        codeBits += length;
    }
    const std::size_t codeEnd = tableEnd + static_cast<std::size_t>((codeBits + 7) / 8);
    if (blockSize < codeEnd) return "block ends inside the codes";

    auto codes = std::make_unique<Codes>();
    BitReader codeReader(block.subspan(tableEnd, codeEnd - tableEnd));
    for (unsigned i = 0; i < symbols; ++i) {
        const std::uint8_t value = block[kHuffmanCodedHeaderSize + 2 * i];
        const std::uint8_t length = block[kHuffmanCodedHeaderSize + 2 * i + 1];
        if (!codes->tree.Add(codeReader, length, value))
            return "the codes do not form a prefix code";
    }

    const std::uint64_t dataSize = blockSize - codeEnd;
    if (sourceLength == 0) return "coded block of an empty source";
    // Every code takes at least one bit.
    if (sourceLength > dataSize * 8) {
        return "source length " + std::to_string(sourceLength) +
               " is more than the data bits can hold";
    }
    if (sourceLength > maxOutput) {
        overLimit = true;
        return "source length " + std::to_string(sourceLength) + " exceeds the limit of " +
               std::to_string(maxOutput);
    }
    // Wide enough for three values of the stream's average code length with a bit to spare:
    // wider only adds cache misses (a stream of 4.3 bits a value decodes 5-10% faster with 14
    // bits than with 15; one of 6.4 bits needs the 15).
    const std::uint64_t threeValues = (dataSize * 8 * 3 + sourceLength - 1) / sourceLength;
    const unsigned lookupBits = sourceLength < kLargeSource
                                    ? kSmallLookupBits
                                    : static_cast<unsigned>(std::clamp<std::uint64_t>(
                                          threeValues + 1, kSmallLookupBits, kLookupBits));
    codes->tree.BuildLookup(lookupBits);
    codes_ = std::move(codes);
    dataOffset_ = blockOffset_ + codeEnd;
    dataSize_ = dataSize;
    form_ = HuffmanForm::Coded;
    sourceLength_ = sourceLength;
    checksum_ = checksum;
    bitsPerValue_ = static_cast<double>(dataSize) * 8 / static_cast<double>(sourceLength);
    at_ = {};
    error_.clear();
    return "";
}

std::string HuffmanStreamDecoder::Open(std::span<const std::uint8_t> block,
                                       std::uint64_t maxOutput) {
    auto own = std::make_unique<MemorySource>(block);
    std::string error = Open(*own, 0, block.size(), maxOutput);
    ownSource_ = std::move(own);
    return error;
}

std::string HuffmanStreamDecoder::Open(ByteSource& source, std::uint64_t offset,
                                       std::uint64_t length, std::uint64_t maxOutput) {
    codes_.reset();
    ownSource_.reset();
    source_ = &source;
    blockOffset_ = offset;
    dataOffset_ = offset;
    dataSize_ = 0;
    window_ = {};
    windowStart_ = 0;
    at_ = {};
    error_.clear();
    if (length == 0) return "the block is empty";
    if (offset > source.Size() || length > source.Size() - offset) {
        return "the block runs past the end of the file";
    }
    std::vector<std::uint8_t> head(
        static_cast<std::size_t>(std::min<std::uint64_t>(length, kMaxHeadBytes)));
    if (std::string error = source.Read(offset, head); !error.empty()) return error;
    const bool signature =
        head.size() >= kHuffmanStoredSignature.size() &&
        std::equal(kHuffmanStoredSignature.begin(), kHuffmanStoredSignature.end(), head.begin());
    bool overLimit = false;
    std::string error = OpenCoded(head, length, maxOutput, overLimit);
    if (error.empty() && signature) {
        // Both forms are possible: the block is coded only if it decodes as such to the end.
        std::vector<std::uint8_t> scratch(std::size_t{1} << 16);
        while (Read(scratch) > 0) {
        }
        error = End();
        at_ = {};
        error_.clear();
    }
    if (error.empty() || !signature || overLimit) return error;

    codes_.reset();
    const std::uint64_t stored = length - kHuffmanStoredSignature.size();
    if (stored > maxOutput) {
        return "stored source of " + std::to_string(stored) + " bytes exceeds the limit of " +
               std::to_string(maxOutput);
    }
    dataOffset_ = offset + kHuffmanStoredSignature.size();
    dataSize_ = stored;
    window_ = {};
    windowStart_ = 0;
    form_ = HuffmanForm::Stored;
    sourceLength_ = stored;
    return "";
}

bool HuffmanStreamDecoder::Cover(std::uint64_t byte, std::size_t ahead) {
    const std::uint64_t windowEnd = windowStart_ + window_.size();
    if (byte >= windowStart_ && byte <= windowEnd &&
        (windowEnd == dataSize_ || windowEnd - byte >= ahead)) {
        return true;
    }
    const std::span<const std::uint8_t> memory = source_->InMemory();
    if (!memory.empty() || dataSize_ == 0) {
        window_ = memory.empty() ? std::span<const std::uint8_t>()
                                 : memory.subspan(static_cast<std::size_t>(dataOffset_),
                                                  static_cast<std::size_t>(dataSize_));
        windowStart_ = 0;
        return true;
    }
    const std::uint64_t start = std::min(byte, dataSize_);
    const auto size =
        static_cast<std::size_t>(std::min<std::uint64_t>(kWindowBytes, dataSize_ - start));
    if (!windowBytes_) windowBytes_ = MakePageBuffer(kWindowBytes);
    // The bytes the window already holds from start on move to its front; only the rest is read.
    std::size_t kept = 0;
    if (!window_.empty() && start >= windowStart_ && start < windowEnd) {
        kept = static_cast<std::size_t>(std::min<std::uint64_t>(windowEnd - start, size));
        std::memmove(windowBytes_.get(), window_.data() + (start - windowStart_), kept);
    }
    if (std::string error =
            source_->Read(dataOffset_ + start + kept, {windowBytes_.get() + kept, size - kept});
        !error.empty()) {
        error_ = error;
        window_ = {};
        windowStart_ = 0;
        return false;
    }
    window_ = {windowBytes_.get(), size};
    windowStart_ = start;
    return true;
}

bool HuffmanStreamDecoder::ReadChained(std::uint64_t& bit, std::uint8_t* out, std::size_t& i,
                                       std::size_t n) {
    const CodeTree& tree = codes_->tree;
    const std::uint32_t* const pairs = tree.Pairs();
    const std::uint64_t mask = tree.PairMask();
    const std::uint8_t* const data = window_.data();
    const std::size_t size = window_.size();
    const std::uint8_t* const dataEnd = data + size;
    const std::uint64_t bit0 = bit;
    const std::size_t i0 = i;
    static_assert(kChains == 3, "the chains are named where they run");

    // Each chain takes a share of the values; each later one starts where the shares before it
    // are expected to end, and may go somewhat past its own share. Rounds of a bounded size keep
    // the later chains' values in the cache until they are copied.
    const std::size_t share = std::min((n - i) / kChains, kMaxChainShare);
    const std::size_t cap = share + share / 4 + kStepRoom;
    const std::size_t room = cap + kStepRoom;
    chainScratch_.resize(room * (kChains - 1));

    // A later chain: where it was guessed to start, where its first lookups start (noted one
    // at a time) and how many values each leaves before it, and its values.
    struct Later {
        std::uint64_t start;
        std::array<std::uint64_t, kSyncLookups> startBit;
        std::array<std::size_t, kSyncLookups> startCount;
        std::uint8_t* values;
    };
    std::array<Later, kChains - 1> later;
    std::array<std::uint64_t, kChains - 1> afterSync{};
    for (std::size_t k = 0; k + 1 < kChains; ++k) {
        Later& l = later[k];
        l.start = bit + static_cast<std::uint64_t>(bitsPerValue_ * static_cast<double>(share) *
                                                   static_cast<double>(k + 1));
        l.values = chainScratch_.data() + k * room;
        std::uint64_t b = l.start;
        std::size_t bi = 0;
        for (std::size_t s = 0; s < kSyncLookups; ++s) {
            std::size_t count = 0;
            if ((b >> 3) + 8 > size || !OneLookup(tree, data, b, l.values + bi, count))
                return false;
            l.startBit[s] = b;  // where the lookup after this one starts
            l.startCount[s] = bi += count;
        }
        // The chain loads eight bytes from where its lookups stopped.
        if ((b >> 3) + 8 > size) return false;
        afterSync[k] = b;
    }

    // All chains at once, each but the last short of where the next one started, the later
    // chains' places noted now and then in case not all of their values fit. Blocks of steps
    // check their bounds once, so that the chains keep to the registers.
    auto laterChain = [&](std::size_t k) {
        return Chain(data, afterSync[k], later[k].values + later[k].startCount[kSyncLookups - 1]);
    };
    std::array<Chain, kChains> c = {Chain(data, bit, out + i), laterChain(0), laterChain(1)};
    std::array<std::uint64_t, kChains - 1> stop;  // for all but the last chain
    std::array<const std::uint8_t*, kChains> end;
    std::array<std::uint8_t*, kChains - 1> nextMark;
    end[0] = out + n;
    for (std::size_t k = 0; k + 1 < kChains; ++k) {
        stop[k] = later[k].start - kLookupBits * kLookupsPerLoad;
        end[k + 1] = later[k].values + cap;
        nextMark[k] = c[k + 1].at + kChainMarkValues;
        marks_[k].clear();
    }
    auto leave = [&](std::uint64_t at, std::size_t values) {
        bit = at;
        i = values;
        return false;
    };
    auto leaveAt = [&](const Chain& a) { return leave(a.Bit(data), a.at - out); };
    // Notes the place of chain k + 1 once it is past its next mark; true when it did.
    auto noteMark = [&](std::size_t k, const Chain& chain) {
        if (chain.at < nextMark[k]) return false;
        marks_[k].push_back(
            {static_cast<std::size_t>(chain.at - later[k].values), chain.Bit(data)});
        nextMark[k] = chain.at + kChainMarkValues;
        return true;
    };
    if (huffman::ChainsAvx512Enabled()) {
        ChainBounds bounds{dataEnd, end, stop, {nextMark[0], nextMark[1]}};
        while (true) {
            const unsigned stalled = RunChainsAvx512(c, tree, data, bounds);
            if ((stalled & 1) != 0 && !LongCode(c[0], tree)) return leaveAt(c[0]);
            bool laterFailed = false;
            for (std::size_t k = 1; k < kChains; ++k) {
                if ((stalled >> k & 1) != 0 && !LongCode(c[k], tree)) laterFailed = true;
            }
            bool marked = false;
            for (std::size_t k = 0; k + 1 < kChains; ++k) {
                if (!noteMark(k, c[k + 1])) continue;
                bounds.mark[k] = nextMark[k];
                marked = true;
            }
            if (laterFailed || (stalled == 0 && !marked)) break;
        }
    } else {
        constexpr std::size_t kBlock = 4;
        constexpr std::size_t kBlockRoom = kStepRoom * kBlock;
        constexpr std::size_t kBlockReach = kStepAdvance * kBlock + 8;
        constexpr std::uint64_t kBlockBits = 8 * kStepAdvance * kBlock;
        // The loop names its chains: held in an array, they stayed in memory, and three chains
        // ran slower than two.
        Chain a = c[0], b = c[1], d = c[2];
        bool laterFailed = false;
        while (a.at + kBlockRoom <= end[0] && a.next + kBlockReach <= dataEnd &&
               a.Bit(data) + kBlockBits < stop[0] && b.at + kBlockRoom <= end[1] &&
               b.next + kBlockReach <= dataEnd && b.Bit(data) + kBlockBits < stop[1] &&
               d.at + kBlockRoom <= end[2] && d.next + kBlockReach <= dataEnd) {
            for (std::size_t step = 0; step < kBlock; ++step) {
                if (!Step(a, pairs, mask) && !LongCode(a, tree)) return leaveAt(a);
                // A later chain that stops stays where it stopped (Step and LongCode then
                // leave it as it is).
                if (!Step(b, pairs, mask) && !LongCode(b, tree)) laterFailed = true;
                if (!Step(d, pairs, mask) && !LongCode(d, tree)) laterFailed = true;
            }
            noteMark(0, b);
            noteMark(1, d);
            if (laterFailed) break;
        }
        c = {a, b, d};
    }
    // Each chain but the last on to where the next one started, a step at a time. One that
    // cannot get there is caught up with when the chains are joined.
    for (std::size_t k = 0; k + 1 < kChains; ++k) {
        while (c[k].Bit(data) < stop[k] && c[k].at + kStepRoom <= end[k] &&
               c[k].next + 8 <= dataEnd) {
            if (!Step(c[k], pairs, mask) && !LongCode(c[k], tree)) {
                if (k == 0) return leaveAt(c[0]);
                break;
            }
        }
        if (k == 0 && c[0].Bit(data) < stop[0]) return leaveAt(c[0]);
    }

    // The chains joined in turn: from where the values so far end, one lookup at a time until
    // standing where one of the next chain's noted lookups starts; from there on that chain's
    // values are the right ones.
    std::uint64_t at = c[0].Bit(data);
    auto ai = static_cast<std::size_t>(c[0].at - out);
    // One lookup (or long code) at `at`, its values stored at out + ai; false when the values or
    // the data run out, or the bits hold no code.
    auto lookUp = [&] {
        std::size_t count = 0;
        if (ai + 4 > n || (at >> 3) + 8 > size || !OneLookup(tree, data, at, out + ai, count)) {
            return false;
        }
        ai += count;
        return true;
    };
    // Decodes with one chain from at on until standing at or past `to`; false when the values or
    // the data run out first, or the bits hold no code.
    auto walkTo = [&](std::uint64_t to) {
        Chain w(data, at, out + ai);
        while (w.Bit(data) + kLookupBits * kLookupsPerLoad <= to && w.at + kStepRoom <= out + n &&
               w.next + 8 <= dataEnd) {
            if (!Step(w, pairs, mask) && !LongCode(w, tree)) break;
        }
        at = w.Bit(data);
        ai = static_cast<std::size_t>(w.at - out);
        while (at < to) {
            if (!lookUp()) return false;
        }
        return true;
    };
    for (std::size_t k = 0; k + 1 < kChains; ++k) {
        const Later& l = later[k];
        std::size_t s = 0;
        while (s < kSyncLookups) {
            while (s < kSyncLookups && l.startBit[s] < at) ++s;
            if (s == kSyncLookups || l.startBit[s] == at) break;
            if (!lookUp()) return leave(at, ai);
        }
        std::size_t from = 0;
        if (s < kSyncLookups) {
            from = l.startCount[s];
        } else {
            // Out of step from its start, as a periodic stretch can keep a chain; it may have
            // fallen into step by one of its first noted places. Up to there the values are
            // decoded again, with one chain.
            const ChainMark* inStep = nullptr;
            for (std::size_t m = 0; m < std::min(marks_[k].size(), kCatchUpMarks); ++m) {
                if (marks_[k][m].bit < at) continue;
                if (!walkTo(marks_[k][m].bit)) return leave(at, ai);
                if (at == marks_[k][m].bit) {
                    inStep = &marks_[k][m];
                    break;
                }
            }
            if (inStep == nullptr) {
                ++pairing_.dropped;
                return leave(at, ai);
            }
            ++pairing_.caughtUp;
            from = inStep->values;
        }
        auto upTo = static_cast<std::size_t>(c[k + 1].at - l.values);
        std::uint64_t last = c[k + 1].Bit(data);
        const bool fitsWhole = ai + (upTo - from) <= n;
        if (!fitsWhole) {
            // Up to the last noted step that fits; the round ends there.
            auto fits = std::find_if(marks_[k].rbegin(), marks_[k].rend(), [&](const ChainMark& m) {
                return m.values >= from && ai + (m.values - from) <= n;
            });
            if (fits == marks_[k].rend()) return leave(at, ai);
            upTo = fits->values;
            last = fits->bit;
        }
        std::memcpy(out + ai, l.values + from, upTo - from);
        at = last;
        ai += upTo - from;
        if (!fitsWhole) break;
    }
    bit = at;
    i = ai;
    ++pairing_.joined;
    bitsPerValue_ = static_cast<double>(bit - bit0) / static_cast<double>(i - i0);
    return true;
}

std::size_t HuffmanStreamDecoder::ReadCoded(std::uint8_t* out, std::size_t n) {
    const CodeTree& tree = codes_->tree;
    const std::uint32_t* const pairs = tree.Pairs();
    const std::uint64_t pairMask = tree.PairMask();
    std::size_t i = 0;
    std::size_t pairFrom = 0;  // one chain only before this many values (after a round that failed)
    std::uint64_t absolute = at_.bit;
    while (i < n) {
        const bool paired = pairingEnabled_ && i >= pairFrom && n - i >= kMinPairedValues;
        // Several chains want the bytes of all their shares in the window.
        const std::size_t round = std::min(n - i, kChains * kMaxChainShare);
        const std::size_t ahead =
            paired ? std::min(kWindowBytes / 2,
                              static_cast<std::size_t>(bitsPerValue_ * round / 8 * 1.25) + 64)
                   : kLookaheadBytes;
        if (!Cover(absolute >> 3, ahead)) break;
        const std::uint8_t* data = window_.data();
        const std::size_t size = window_.size();
        const std::uint64_t base = windowStart_ * 8;
        const bool last = windowStart_ + size == dataSize_;
        std::uint64_t bit = absolute - base;
        if (paired) {
            if (ReadChained(bit, out, i, n)) {
                absolute = base + bit;
                continue;
            }
            pairFrom = i + kMinPairedValues;
        }
        // While whole 8-byte loads and a step's stores fit, no bounds are checked per value.
        if (i + kStepRoom <= n && (bit >> 3) + 8 <= size) {
            Chain a(data, bit, out + i);
            // After a round of several chains that failed, one chain goes on only for a while
            // before two are tried again.
            const bool pairLater =
                pairingEnabled_ && pairFrom > i && pairFrom < n && n - pairFrom >= kMinPairedValues;
            const std::uint8_t* const end = out + (pairLater ? pairFrom : n);
            bool longCode = false;
            while (a.at + kStepRoom <= end && a.next + 8 <= data + size) {
                if (!Step(a, pairs, pairMask)) {
                    longCode = true;
                    break;
                }
            }
            // A long code: walked from the bits already loaded.
            if (longCode && LongCode(a, tree)) {
                absolute = base + a.Bit(data);
                i = static_cast<std::size_t>(a.at - out);
                continue;
            }
            bit = a.Bit(data);
            i = static_cast<std::size_t>(a.at - out);
        }
        absolute = base + bit;
        if (i == n) break;
        // One value the careful way, once its code is sure to lie within the window.
        if (!last && (bit >> 3) + kLookaheadBytes > size) continue;
        BitReader in(window_);
        in.Seek(bit);
        if (!tree.Next(in, out[i])) {
            error_ = "data bits hold no valid code at bit " + std::to_string(base + in.Position());
            absolute = base + in.Position();
            break;
        }
        absolute = base + in.Position();
        ++i;
    }
    at_.bit = absolute;
    return i;
}

std::size_t HuffmanStreamDecoder::Read(std::span<std::uint8_t> out) {
    if (!error_.empty()) return 0;
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), sourceLength_ - at_.produced));
    if (n == 0) return 0;
    std::size_t got = 0;
    if (form_ == HuffmanForm::Stored) {
        if (std::string error = source_->Read(dataOffset_ + at_.produced, out.first(n));
            !error.empty()) {
            error_ = error;
            return 0;
        }
        got = n;
    } else {
        // The table lookups may write a few bytes past what they keep.
        got = ReadCoded(out.data(), n);
    }
    at_.checksum ^= XorOfBytes(out.data(), got);
    at_.produced += got;
    return got;
}

std::string HuffmanStreamDecoder::End() const {
    if (!error_.empty()) return error_;
    if (at_.produced != sourceLength_) {
        return "the source ends after " + std::to_string(at_.produced) + " of " +
               std::to_string(sourceLength_) + " bytes";
    }
    if (form_ == HuffmanForm::Stored) return "";
    const std::uint64_t used = (at_.bit + 7) / 8;
    if (used != dataSize_) {
        return std::to_string(dataSize_ - used) + " bytes follow the data bits";
    }
    if (at_.checksum != checksum_) return "checksum does not match the decoded bytes";
    return "";
}

HuffmanDecoded HuffmanDecode(std::span<const std::uint8_t> block, std::uint64_t maxOutput) {
    HuffmanDecoded r;
    HuffmanStreamDecoder decoder;
    r.error = decoder.Open(block, maxOutput);
    if (!r.ok()) return r;
    r.form = decoder.Form();
    r.data.resize(static_cast<std::size_t>(decoder.SourceLength()));
    decoder.Read(r.data);
    r.error = decoder.End();
    if (!r.ok()) r.data.clear();
    return r;
}

}  // namespace pixhaul
