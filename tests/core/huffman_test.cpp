#include "formats/huffman.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <queue>
#include <random>
#include <vector>

#include "../../fuzz/targets/huffman_targets.h"
#include "formats/huffman_decode.h"

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

TEST(HuffmanEncode, TieRulesOfTheMergeOrder) {
    // Weights 2, 2, 1: the 1 replaces pick A when both picks weigh the same, so 03 becomes
    // bit 0 of the first pair (01 = 0, 02 = 11, 03 = 10).
    EXPECT_EQ(Encode({0x01, 0x01, 0x02, 0x02, 0x03}),
              (Bytes{0x03, 0x05, 0x00, 0x00, 0x00, 0x03, 0x00, 0x01, 0x01, 0x02, 0x02, 0x03, 0x02,
                     0x0E, 0x7C}));
    // Weights 2, 3, 1: the 1 replaces the heavier pick B (01 = 10, 02 = 0, 03 = 11).
    EXPECT_EQ(Encode({0x01, 0x01, 0x02, 0x02, 0x02, 0x03}),
              (Bytes{0x01, 0x06, 0x00, 0x00, 0x00, 0x03, 0x00, 0x01, 0x02, 0x02, 0x01, 0x03, 0x02,
                     0x19, 0x85, 0x01}));
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
    }
}

TEST(HuffmanRoundTrip, RandomAndLongCodes) {
    std::mt19937 rng(7);
    for (std::size_t size : {0u, 1u, 2u, 3u, 7u, 8u, 9u, 63u, 64u, 65u, 1000u, 65537u}) {
        Bytes source(size);
        for (auto& b : source) b = static_cast<std::uint8_t>(rng());
        SCOPED_TRACE(size);
        ExpectRoundTrip(source);
    }
    // Fibonacci counts give the deepest tree for their total: codes of up to 28 bits, past the
    // decoder's lookup width and into the packer's two-codes-per-store mode.
    Bytes fib;
    std::uint32_t a = 1, b = 1;
    for (int v = 0; v < 29; ++v) {
        fib.insert(fib.end(), a, static_cast<std::uint8_t>(200 + v));
        const std::uint32_t next = a + b;
        a = b;
        b = next;
    }
    ExpectRoundTrip(fib);  // runs of the rarest, longest codes side by side
    std::shuffle(fib.begin(), fib.end(), rng);
    const Bytes block = Encode(fib);
    int longest = 0;
    for (std::size_t i = 0; i < block[5]; ++i) longest = std::max<int>(longest, block[8 + 2 * i]);
    EXPECT_EQ(longest, 28);
    ExpectRoundTrip(fib);
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

void ExpectRejected(const Bytes& block, const char* what) {
    const HuffmanDecoded r = HuffmanDecode(block);
    EXPECT_FALSE(r.ok()) << what;
    EXPECT_TRUE(r.data.empty()) << what;
}

TEST(HuffmanDecode, RejectsDamagedBlocks) {
    ASSERT_TRUE(HuffmanDecode(kAbc).ok());
    for (std::size_t n = 0; n < kAbc.size(); ++n) {
        ExpectRejected(Bytes(kAbc.begin(), kAbc.begin() + n), "truncated");
    }
    auto with = [](std::size_t at, std::uint8_t v) {
        Bytes b = kAbc;
        b[at] = v;
        return b;
    };
    ExpectRejected(with(0, 0x61), "checksum");
    ExpectRejected(with(5, 0x01), "one symbol");
    ExpectRejected(with(5, 0x00), "no symbols");
    ExpectRejected(with(6, 0x01), "257 symbols");
    ExpectRejected(with(9, 0x61), "values not ascending");
    ExpectRejected(with(10, 0x00), "a listed value without a code");
    ExpectRejected(with(13, 0x0F), "61 and 62 both get the code 11");
    ExpectRejected(with(1, 0x09), "more source than data bits");
    Bytes longer = kAbc;
    longer.push_back(0x00);
    ExpectRejected(longer, "trailing byte");

    // An incomplete code: 61 = 0, 62 = 10; the data then reach the unused 11.
    const Bytes incomplete = {0x03, 0x02, 0x00, 0x00, 0x00, 0x02, 0x00,
                              0x61, 0x01, 0x62, 0x02, 0x02, 0x06};
    ExpectRejected(incomplete, "data on an unused code");

    // A huge claimed length with almost no data is refused before anything is allocated.
    Bytes huge = kAbc;
    huge[1] = huge[2] = huge[3] = huge[4] = 0xFF;
    ExpectRejected(huge, "huge length");
    EXPECT_FALSE(HuffmanDecode(kAbc, 2).ok());
    EXPECT_TRUE(HuffmanDecode(kAbc, 3).ok());
    EXPECT_FALSE(HuffmanDecode(Encode(Bytes(10, 0x01)), 9).ok());
}

}  // namespace
}  // namespace pixhaul
