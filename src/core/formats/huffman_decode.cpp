#include "formats/huffman_decode.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>

#include "formats/huffman.h"
#include "formats/huffman_chain.h"
#include "formats/huffman_code_tree.h"

namespace pixhaul {
namespace {

using huffman::BitReader;
using huffman::Chain;
using huffman::CodeTree;
using huffman::kLargeSource;
using huffman::kLookupBits;
using huffman::kLookupsPerLoad;
using huffman::kSmallLookupBits;
using huffman::kStepAdvance;
using huffman::kStepRoom;
using huffman::LongCode;
using huffman::OneLookup;
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
// Two chains: only for this many values or more, and at most so many values each in one round;
// B's first lookups noted to find where A meets it; B's place noted every so many values.
constexpr std::size_t kMinPairedValues = 4096;
constexpr std::size_t kMaxPairedShare = std::size_t{128} << 10;
constexpr std::size_t kSyncLookups = 64;
constexpr std::size_t kPairMarkValues = 4096;

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

bool HuffmanStreamDecoder::ReadPaired(std::uint64_t& bit, std::uint8_t* out, std::size_t& i,
                                      std::size_t n) {
    const CodeTree& tree = codes_->tree;
    const std::uint32_t* const pairs = tree.Pairs();
    const std::uint64_t mask = tree.PairMask();
    const std::uint8_t* const data = window_.data();
    const std::size_t size = window_.size();
    const std::uint64_t bit0 = bit;
    const std::size_t i0 = i;

    // B starts where A's share of the values is expected to end, and may go somewhat past its
    // own share. Rounds of a bounded size keep B's values in the cache until they are copied.
    const std::size_t half = std::min((n - i) / 2, kMaxPairedShare);
    const std::size_t share = std::min(n - i - half, half);
    const std::uint64_t start = bit + static_cast<std::uint64_t>(bitsPerValue_ * half);
    const std::size_t cap = share + share / 4 + kStepRoom;
    pairScratch_.resize(cap + kStepRoom);
    std::uint8_t* const scratch = pairScratch_.data();

    // B's first lookups, one at a time, noting where each starts.
    std::array<std::uint64_t, kSyncLookups> startBit{};
    std::array<std::size_t, kSyncLookups> startCount{};
    std::uint64_t b = start;
    std::size_t bi = 0;
    for (std::size_t k = 0; k < kSyncLookups; ++k) {
        std::size_t count = 0;
        if ((b >> 3) + 8 > size || !OneLookup(tree, data, b, scratch + bi, count)) return false;
        startBit[k] = b;  // where the lookup after this one starts
        startCount[k] = bi += count;
    }
    // B's chain loads eight bytes from where its lookups stopped.
    if ((b >> 3) + 8 > size) return false;

    // Both chains at once, A short of B's start, B's place noted now and then in case not all
    // of its values fit after A's. Blocks of steps check their bounds once, so that the two
    // chains keep to the registers.
    Chain a(data, bit, out + i);
    Chain bc(data, b, scratch + bi);
    const std::uint64_t aStop = start - kLookupBits * kLookupsPerLoad;
    const std::uint8_t* const aEnd = out + n;
    const std::uint8_t* const bEnd = scratch + cap;
    const std::uint8_t* const dataEnd = data + size;
    marks_.clear();
    std::uint8_t* nextMark = bc.at + kPairMarkValues;
    auto leave = [&](std::uint64_t at, std::size_t values) {
        bit = at;
        i = values;
        return false;
    };
    auto leaveAt = [&](const Chain& c) { return leave(c.Bit(data), c.at - out); };
    constexpr std::size_t kBlock = 4;
    bool bGoes = true;
    constexpr std::size_t kBlockRoom = kStepRoom * kBlock;
    constexpr std::size_t kBlockReach = kStepAdvance * kBlock + 8;
    while (a.Bit(data) + 8 * kStepAdvance * kBlock < aStop && a.at + kBlockRoom <= aEnd &&
           a.next + kBlockReach <= dataEnd && bc.at + kBlockRoom <= bEnd &&
           bc.next + kBlockReach <= dataEnd) {
        for (std::size_t step = 0; step < kBlock; ++step) {
            if (!Step(a, pairs, mask) && !LongCode(a, tree)) return leaveAt(a);
            if (!Step(bc, pairs, mask) && !LongCode(bc, tree)) {
                bGoes = false;
                break;
            }
        }
        if (!bGoes) break;
        if (bc.at >= nextMark) {
            marks_.push_back({static_cast<std::size_t>(bc.at - scratch), bc.Bit(data)});
            nextMark = bc.at + kPairMarkValues;
        }
    }
    // The last steps, each checked.
    while (a.Bit(data) < aStop && a.at + kStepRoom <= aEnd && a.next + 8 <= dataEnd) {
        if (!Step(a, pairs, mask) && !LongCode(a, tree)) return leaveAt(a);
        if (!bGoes) continue;
        if (bc.at + kStepRoom > bEnd || bc.next + 8 > dataEnd ||
            (!Step(bc, pairs, mask) && !LongCode(bc, tree))) {
            bGoes = false;
        }
    }
    if (a.Bit(data) < aStop) return leaveAt(a);

    // A one lookup at a time, until it stands where one of B's noted lookups starts: from there
    // on B's values are the right ones.
    std::uint64_t at = a.Bit(data);
    auto ai = static_cast<std::size_t>(a.at - out);
    std::size_t k = 0;
    while (true) {
        while (k < kSyncLookups && startBit[k] < at) ++k;
        if (k == kSyncLookups) {
            ++pairing_.dropped;
            return leave(at, ai);
        }
        if (startBit[k] == at) break;
        std::size_t count = 0;
        if (ai + 4 > n || (at >> 3) + 8 > size || !OneLookup(tree, data, at, out + ai, count)) {
            return leave(at, ai);
        }
        ai += count;
    }
    const std::size_t from = startCount[k];
    auto upTo = static_cast<std::size_t>(bc.at - scratch);
    std::uint64_t end = bc.Bit(data);
    if (ai + (upTo - from) > n) {
        // Up to the last noted step that fits.
        auto fits = std::find_if(marks_.rbegin(), marks_.rend(), [&](const PairMark& m) {
            return m.values >= from && ai + (m.values - from) <= n;
        });
        if (fits == marks_.rend()) return leave(at, ai);
        upTo = fits->values;
        end = fits->bit;
    }
    std::memcpy(out + ai, scratch + from, upTo - from);
    bit = end;
    i = ai + (upTo - from);
    ++pairing_.joined;
    bitsPerValue_ = static_cast<double>(bit - bit0) / static_cast<double>(i - i0);
    return true;
}

std::size_t HuffmanStreamDecoder::ReadCoded(std::uint8_t* out, std::size_t n) {
    const CodeTree& tree = codes_->tree;
    const std::uint32_t* const pairs = tree.Pairs();
    const std::uint64_t pairMask = tree.PairMask();
    std::size_t i = 0;
    std::size_t pairFrom = 0;  // no two chains before this many values (after one that failed)
    std::uint64_t absolute = at_.bit;
    while (i < n) {
        const bool paired = pairingEnabled_ && i >= pairFrom && n - i >= kMinPairedValues;
        // Two chains want the bytes of both halves in the window.
        const std::size_t round = std::min(n - i, 2 * kMaxPairedShare);
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
            if (ReadPaired(bit, out, i, n)) {
                absolute = base + bit;
                continue;
            }
            pairFrom = i + kMinPairedValues;
        }
        // While whole 8-byte loads and a step's stores fit, no bounds are checked per value.
        if (i + kStepRoom <= n && (bit >> 3) + 8 <= size) {
            Chain a(data, bit, out + i);
            // After a round of two chains that failed, one chain goes on only for a while
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
    std::uint8_t x = at_.checksum;
    for (std::size_t i = 0; i < got; ++i) x ^= out[i];
    at_.checksum = x;
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
