#include "formats/huffman.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <queue>
#include <random>
#include <utility>
#include <vector>

#include "../../fuzz/targets/huffman_targets.h"
#include "formats/huffman_chains_avx512.h"
#include "formats/huffman_decode.h"
#include "platform/byte_source.h"

namespace pixhaul {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Encode(Bytes data) {
    HuffmanEncode(data);
    return data;
}

// Bits of an optimal prefix code for these counts: the sum of the weights of all merged nodes.
std::uint64_t OptimalBits(const Bytes& source) {
    std::array<std::uint64_t, 256> counts{};
    for (std::uint8_t b : source) ++counts[b];
    std::priority_queue<std::uint64_t, std::vector<std::uint64_t>, std::greater<>> q;
    for (std::uint64_t c : counts) {
        if (c > 0) q.push(c);
    }
    std::uint64_t bits = 0;
    while (q.size() > 1) {
        const std::uint64_t a = q.top();
        q.pop();
        const std::uint64_t b = q.top();
        q.pop();
        bits += a + b;
        q.push(a + b);
    }
    return bits;
}

// Encodes, checks the block's size against an optimal code, and decodes it again; the round-trip
// target adds the stored form and the build streamed in pieces.
void ExpectRoundTrip(const Bytes& source) {
    EXPECT_EQ(fuzz::RunHuffmanRoundTripInput(source), "");
    const Bytes block = Encode(source);
    HuffmanDecoded back = HuffmanDecode(block);
    ASSERT_TRUE(back.ok()) << back.error << " (source of " << source.size() << " bytes)";
    EXPECT_EQ(back.data, source);
    if (back.form == HuffmanForm::Coded) {
        std::size_t symbols = block[5] | block[6] << 8;
        std::size_t codeBits = 0;
        for (std::size_t i = 0; i < symbols; ++i) codeBits += block[7 + 2 * i + 1];
        const std::size_t dataStart = 7 + 2 * symbols + (codeBits + 7) / 8;
        EXPECT_EQ(block.size() - dataStart, (OptimalBits(source) + 7) / 8);
    }
}

TEST(HuffmanEncode, CodedBlockCanBeginLikeTheStoredForm) {
    // XOR 0x48 and a length of 864,325 (45 30 0D 00) make the first four bytes the signature.
    Bytes source(864325, 0x00);
    source.back() = 0x48;
    const Bytes block = Encode(source);
    ASSERT_GE(block.size(), 9u);
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 9),
              (Bytes{0x48, 0x45, 0x30, 0x0D, 0x00, 0x02, 0x00, 0x00, 0x01}));
    const HuffmanDecoded back = HuffmanDecode(block);
    ASSERT_TRUE(back.ok()) << back.error;
    EXPECT_EQ(back.form, HuffmanForm::Coded);
    EXPECT_EQ(back.data, source);
    // Too large for the caller: an error, not a misreading as the stored form.
    EXPECT_FALSE(HuffmanDecode(block, source.size() - 1).ok());
}

TEST(HuffmanRoundTrip, EveryNumberOfDistinctValues) {
    std::mt19937 rng(12345);
    for (int distinct = 1; distinct <= 256; ++distinct) {
        // Skewed counts (value k occurs about 1.5^-k as often), so some codes get long.
        Bytes source;
        double weight = 4000;
        for (int k = 0; k < distinct; ++k) {
            const int count = 1 + static_cast<int>(weight);
            source.insert(source.end(), count,
                          static_cast<std::uint8_t>((k * 37 + distinct) & 0xFF));
            weight /= 1.5;
        }
        std::shuffle(source.begin(), source.end(), rng);
        SCOPED_TRACE(distinct);
        ExpectRoundTrip(source);
        // One to three blocks of 64 values for the vector packer, and a tail.
        ExpectRoundTrip(Bytes(source.begin(), source.begin() + 64 + distinct % 160));
    }
}

TEST(HuffmanRoundTrip, FibonacciCountsGiveCodesTooLongForTwoBetweenFlushes) {
    // Counts 1, 1, 2, 3, 5, ... make a tree as deep as there are values: codes of 29 bits, so
    // the packer flushes after every code. In value order, the rarest values come first, and
    // eight of their codes together overrun a 64-bit word.
    Bytes source;
    std::uint64_t a = 1, b = 1;
    for (int k = 0; k < 30; ++k) {
        source.insert(source.end(), a, static_cast<std::uint8_t>(k * 7));
        b = std::exchange(a, a + b);
    }
    ExpectRoundTrip(source);
    std::shuffle(source.begin(), source.end(), std::mt19937(7));
    ExpectRoundTrip(source);
}

TEST(HuffmanRoundTrip, EightCodesAroundTheLongestThatGoInAsOnePiece) {
    // 144 values seen equally often get codes of 7 bits (112 of them) and 8 bits: eight codes
    // take 56 bits or a few more, on both sides of the most the packer may put into its buffer
    // at once.
    Bytes source;
    for (int round = 0; round < 40; ++round) {
        for (int v = 0; v < 144; ++v) source.push_back(static_cast<std::uint8_t>(v));
    }
    std::shuffle(source.begin(), source.end(), std::mt19937(11));
    ExpectRoundTrip(source);
}

TEST(HuffmanPlan, LargeCountsKeepTheirWeightsAndLength) {
    // A source of 4.2e9 bytes: weights past 2^31 and a data bit total past 2^32 must not wrap.
    std::array<std::uint64_t, 256> counts{};
    counts[0] = 2'000'000'000;
    counts[1] = 1'000'000'000;
    counts[2] = 1'200'000'000;
    counts[3] = 1;
    const HuffmanPlan plan(ByteHistogram::FromCounts(counts));
    ASSERT_FALSE(plan.IsStored());
    std::uint64_t bits = 0;
    for (int v = 0; v < 4; ++v) bits += counts[v] * plan.BitCount(static_cast<std::uint8_t>(v));
    // Optimal: 3 + 1e9 first, then with 1.2e9, then with 2e9.
    const std::uint64_t optimal = (1 + 1'000'000'000ull) + (1'000'000'001ull + 1'200'000'000ull) +
                                  (2'200'000'001ull + 2'000'000'000ull);
    EXPECT_EQ(bits, optimal);
    EXPECT_EQ(plan.DataBytes(), (optimal + 7) / 8);
    const std::vector<std::uint8_t> head = plan.Head();
    EXPECT_EQ(Bytes(head.begin() + 1, head.begin() + 5), (Bytes{0x01, 0xEA, 0x56, 0xFA}));

    // A source whose length does not fit the coded form's 32-bit field is stored.
    counts[2] = 1'300'000'000;
    const HuffmanPlan tooLong(ByteHistogram::FromCounts(counts));
    EXPECT_TRUE(tooLong.IsStored());
    EXPECT_EQ(tooLong.BlockSize(), 4 + 4'300'000'001ull);
    EXPECT_EQ(tooLong.Head(), (Bytes{0x48, 0x45, 0x30, 0x0D}));
}

// A valid coded block to spoil: 61 62 63 (see WorkedExamples).
const Bytes kAbc = {0x60, 0x03, 0x00, 0x00, 0x00, 0x03, 0x00, 0x61,
                    0x02, 0x62, 0x02, 0x63, 0x01, 0x0D, 0x0D};

TEST(HuffmanDecode, BitsThatLeadNowhereAreReportedWhereTheyStart) {
    // Codes 0 (for 'A') and 10 (for 'B') leave 11 unused: the data is 8 * zeros bytes of 'A',
    // then 11. Long runs go through the table several values at a time, short ones value by
    // value, the longest with several chains.
    for (const std::size_t zeros : {0, 1, 10, 100, 100000}) {
        const std::size_t length = 8 * zeros + 10;
        Bytes block = {0,
                       std::uint8_t(length),
                       std::uint8_t(length >> 8),
                       std::uint8_t(length >> 16),
                       0,
                       2,
                       0,
                       'A',
                       1,
                       'B',
                       2,
                       0x02};
        block.insert(block.end(), zeros, 0x00);
        block.push_back(0xFF);
        block.insert(block.end(), 30, 0x00);
        const HuffmanDecoded back = HuffmanDecode(block);
        EXPECT_EQ(back.error, "data bits hold no valid code at bit " + std::to_string(8 * zeros))
            << zeros;
    }
}

// The same bytes read a window at a time, as from a file.
class WindowedSource : public MemorySource {
  public:
    using MemorySource::MemorySource;
    std::span<const std::uint8_t> InMemory() const override { return {}; }
};

// Large reads decode with several chains, each after the first starting at a guess in the middle
// of some code. Whatever the stream, the values must be those of the source, read whole or in
// pieces from a window, with the chains' values gathered from slots (where the processor can)
// or stored as they come; and between them the cases must both join the chains and drop a later
// one's work (on a periodic stretch, which a later chain can read out of step for good), and
// meet a later chain only where it has fallen into step (after a short stretch).
TEST(HuffmanDecode, ChainsGiveTheSourceHoweverItIsRead) {
    std::mt19937 rng(99);
    std::geometric_distribution<int> geometric(0.08);
    auto value = [&] { return static_cast<std::uint8_t>(std::min(geometric(rng), 255)); };
    std::vector<Bytes> sources(4);
    for (int i = 0; i < 700000; ++i) sources[0].push_back(value());  // codes of 1 to 20 bits
    for (int i = 0; i < 300000; ++i) sources[1].push_back(static_cast<std::uint8_t>(rng()));
    // Run-length records: varied with short stretches of one record over and over, then one
    // record over and over, then varied again.
    for (int i = 0; i < 400000; ++i) {
        const bool repeat = (i > 100000 && i < 300000) || (i < 100000 && i / 2000 % 3 == 2);
        const Bytes record =
            repeat ? Bytes{127, 0xFF, 0x00, 0xFF}
                   : Bytes{value(), value(), value(), static_cast<std::uint8_t>(rng())};
        sources[2].insert(sources[2].end(), record.begin(), record.end());
    }
    // Fibonacci counts: codes up to 26 bits, longer than the table.
    std::uint64_t a = 1, b = 1;
    for (int k = 0; k < 27; ++k) {
        sources[3].insert(sources[3].end(), a, static_cast<std::uint8_t>(k * 9));
        b = std::exchange(a, a + b);
    }
    std::shuffle(sources[3].begin(), sources[3].end(), rng);

    HuffmanStreamDecoder::PairingCounts total;
    for (std::size_t c = 0; c < 2 * sources.size(); ++c) {
        SCOPED_TRACE(c);
        const fuzz::PathSwitch<huffman::ChainsAvx512Enabled, huffman::SetChainsAvx512> path(
            c >= sources.size());
        const Bytes& original = sources[c % sources.size()];
        const Bytes block = Encode(original);
        const HuffmanDecoded whole = HuffmanDecode(block);
        ASSERT_TRUE(whole.ok()) << whole.error;
        EXPECT_TRUE(whole.data == original);
        for (const std::size_t piece : {std::size_t{99991}, std::size_t{256} << 10}) {
            WindowedSource source(block);
            HuffmanStreamDecoder decoder;
            ASSERT_EQ(decoder.Open(source, 0, block.size()), "");
            Bytes back, buffer(piece);
            for (std::size_t n; (n = decoder.Read(buffer)) > 0;) {
                back.insert(back.end(), buffer.begin(), buffer.begin() + n);
            }
            EXPECT_EQ(decoder.End(), "");
            EXPECT_TRUE(back == original) << piece;
            total.joined += decoder.Pairing().joined;
            total.dropped += decoder.Pairing().dropped;
            total.caughtUp += decoder.Pairing().caughtUp;
        }
    }
    EXPECT_GT(total.joined, 0u);
    EXPECT_GT(total.dropped, 0u);
    EXPECT_GT(total.caughtUp, 0u);
}

}  // namespace
}  // namespace pixhaul
