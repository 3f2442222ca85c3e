// The streaming kind-5 run-length encoder, its vector search for run ends, and its decoder.
#include "formats/rle_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "../../fuzz/targets/sif_reader_target.h"
#include "formats/rle_encode_avx512.h"
#include "platform/surface.h"

namespace pixhaul {
namespace {

using Bytes = std::vector<std::uint8_t>;
using EncodePath = fuzz::PathSwitch<RleEncodeAvx512Enabled, SetRleEncodeAvx512>;

void SetPixel(Surface& s, int x, int memoryRow, COLORREF c) {
    std::uint8_t* p = s.MutableRow(memoryRow) + 3 * x;
    p[0] = BlueOf(c);
    p[1] = GreenOf(c);
    p[2] = RedOf(c);
}

// A sheet of runs of a few colours (black among them), long enough to cross rows and the
// 127-pixel limit, with single pixels and stretches of shading (every pixel differs from the
// next) mixed in.
Surface RandomSheet(std::mt19937& rng, int width, int height) {
    Surface s(width, height);
    const COLORREF colours[] = {0x000000, 0xFF00FF, 0x123456, 0x000001, 0xFFFFFF};
    constexpr int kShading = 5;
    std::uniform_int_distribution<int> pick(0, kShading);
    std::uniform_int_distribution<int> runLength(1, 300);
    int c = pick(rng);
    int left = runLength(rng);
    for (int r = 0; r < height; ++r) {
        for (int x = 0; x < width; ++x) {
            if (left-- == 0) {
                c = pick(rng);
                left = runLength(rng) % 3 == 0 ? 0 : runLength(rng);
            }
            SetPixel(s, x, r, c == kShading ? 0x102030 + 0x010305 * x + 0x0700 * r : colours[c]);
        }
    }
    return s;
}

// The one canonical kind-5 stream of the sheet: runs of at most 127 (the first one black, maybe
// empty), cut only at 127 or where the colour changes, reading back to the pixels, bottom row
// first.
void ExpectCanonical(const Bytes& stream, const Surface& sheet) {
    Bytes bgr, back;
    for (int r = 0; r < sheet.Height(); ++r) {
        const std::uint8_t* p = sheet.Bits() + r * sheet.Stride();
        bgr.insert(bgr.end(), p, p + 3 * sheet.Width());
    }
    ASSERT_EQ(stream.size() % 4, 0u);
    for (std::size_t at = 0; at < stream.size(); at += 4) {  // the first run is black's
        ASSERT_LE(stream[at], kRleMaxRun);
        if (at > 0 && stream[at - 4] != kRleMaxRun) {
            EXPECT_FALSE(std::equal(&stream[at + 1], &stream[at + 4], &stream[at - 3])) << at;
        }
        for (int i = 0; i < stream[at]; ++i) {
            back.insert(back.end(), {stream[at + 3], stream[at + 2], stream[at + 1]});
        }
    }
    EXPECT_EQ(back, bgr);
}

// A counting encoder's counts are those of the stream it wrote.
void ExpectCountsOf(Rle5Encoder& encoder, const Bytes& stream) {
    Rle5Encoder::ByteCounts counts{}, want{};
    encoder.TakeCounts(counts);
    for (std::uint8_t b : stream) ++want[b];
    EXPECT_EQ(counts, want);
}

Surface FromPixels(int width, int height, const std::vector<COLORREF>& bottomUp) {
    Surface s(width, height);
    for (int r = 0; r < height; ++r) {
        for (int x = 0; x < width; ++x) SetPixel(s, x, r, bottomUp[r * width + x]);
    }
    return s;
}

TEST(Rle5Encoder, CanonicalWholeOrInBandsOrPiecesAndReadsBack) {
    std::mt19937 rng(1234);
    for (int trial = 0; trial < 40; ++trial) {
        const int width = 1 + static_cast<int>(rng() % 70);
        const int height = 1 + static_cast<int>(rng() % 40);
        const Surface sheet = RandomSheet(rng, width, height);
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        const Bytes reference = EncodeRle5(sheet);
        ExpectCanonical(reference, sheet);
        // Placed with the widest stores this processor has, and with 16-byte ones.
        for (const bool wide : {true, false}) {
            const fuzz::PlacementPath placement(wide);
            Surface back(width, height);
            ASSERT_EQ(Rle5Decoder::Decode(reference, back), "");
            EXPECT_EQ(0, std::memcmp(back.Bits(), sheet.Bits(), sheet.SizeBytes())) << wide;
        }

        // Bands of random heights, each its own surface, fed bottom band first.
        Rle5Encoder banded(true);
        for (int row = 0; row < height;) {
            const int bandHeight = std::min(height - row, 1 + static_cast<int>(rng() % 7));
            Surface band(width, bandHeight);
            std::memcpy(band.MutableBits(), sheet.Bits() + row * sheet.Stride(),
                        static_cast<std::size_t>(sheet.Stride()) * bandHeight);
            banded.AddSurface(band);
            row += bandHeight;
        }
        const Bytes bandedStream = banded.Finish();
        EXPECT_EQ(bandedStream, reference) << "bands, " << width << " x " << height;
        ExpectCountsOf(banded, bandedStream);

        // Pieces of any pixel count, cutting rows in the middle, encoded as processors without
        // the 64-byte searches do.
        std::vector<std::uint8_t> packed;
        for (int r = 0; r < height; ++r) {
            const std::uint8_t* p = sheet.Bits() + r * sheet.Stride();
            packed.insert(packed.end(), p, p + 3 * width);
        }
        Rle5Encoder pieces;
        {
            const EncodePath narrow(false);
            for (std::size_t at = 0; at < packed.size() / 3;) {
                const std::size_t n =
                    std::min(packed.size() / 3 - at, std::size_t{1} + rng() % 200);
                pieces.AddPixels(packed.data() + 3 * at, n);
                at += n;
            }
        }
        EXPECT_EQ(pieces.Finish(), reference) << "pieces, " << width << " x " << height;
    }
}

TEST(Rle5Encoder, UntouchedBandsContinueRunsLikeBlackPixels) {
    // A black band between coloured ones, and black runs crossing into an untouched band.
    Surface top = FromPixels(100, 1, std::vector<COLORREF>(100, 0));
    Surface coloured = FromPixels(100, 1, std::vector<COLORREF>(100, 0x00FF00));
    Rle5Encoder encoder(true);
    encoder.AddSurface(top);
    encoder.AddSurface(Surface(100, 2));
    encoder.AddSurface(coloured);
    encoder.AddSurface(Surface(3, 1));
    Surface whole(100, 4);
    for (int x = 0; x < 100; ++x) SetPixel(whole, x, 3, 0x00FF00);
    Rle5Encoder reference;
    reference.AddSurface(whole);
    reference.AddPixels(Bytes(9, 0).data(), 3);
    const Bytes expected = reference.Finish();
    const Bytes stream = encoder.Finish();
    EXPECT_EQ(stream, expected);
    ExpectCountsOf(encoder, stream);
    // 300 black then 100 green then 3 black.
    EXPECT_EQ(expected,
              (Bytes{127, 0, 0, 0, 127, 0, 0, 0, 46, 0, 0, 0, 100, 0, 0xFF, 0, 3, 0, 0, 0}));
}

TEST(Rle5Decoder, RejectsStreamsThatDoNotCoverTheSurface) {
    Surface s(2, 2);
    EXPECT_NE(Rle5Decoder::Decode(Bytes{3, 1, 2, 3}, s), "");              // short
    EXPECT_NE(Rle5Decoder::Decode(Bytes{3, 1, 2, 3, 2, 0, 0, 0}, s), "");  // past the end
    EXPECT_NE(Rle5Decoder::Decode(Bytes{4, 1, 2, 3, 0}, s), "");           // ragged
    EXPECT_NE(Rle5Decoder::Decode(Bytes{255, 1, 2, 3}, s), "");            // far past
    EXPECT_EQ(Rle5Decoder::Decode(Bytes{0, 0, 0, 0, 4, 1, 2, 3}, s), "");
    EXPECT_EQ(s.PixelAt(1, 1), MakeColorRef(1, 2, 3));
    Surface empty;
    EXPECT_EQ(Rle5Decoder::Decode(Bytes{0, 0, 0, 0}, empty), "");
}

TEST(RunEnds, VectorSearchAgreesWithThePlainOne) {
    std::mt19937 rng(5);
    // Runs ending on both sides of 16- and 64-pixel blocks, the other pixel differing in one
    // channel; with 64-byte compares where the processor has them, then with 16-byte ones.
    for (const bool wide : {true, false}) {
        const EncodePath path(wide);
        for (const std::size_t run :
             {0, 1, 15, 16, 17, 21, 31, 32, 33, 42, 47, 63, 64, 65, 127, 128, 300}) {
            for (int channel = 0; channel < 3; ++channel) {
                std::vector<std::uint8_t> bgr(3 * (run + 20));
                for (std::size_t i = 0; i < bgr.size(); i += 3) {
                    bgr[i] = 10, bgr[i + 1] = 20, bgr[i + 2] = 30;
                }
                bgr[3 * run + static_cast<std::size_t>(channel)] ^= 1u << (rng() % 8);
                for (const std::size_t max : {run, run + 1, run + 20}) {
                    EXPECT_EQ(MatchingPixels(bgr.data(), max, 10, 20, 30),
                              MatchingPixelsPlain(bgr.data(), max, 10, 20, 30))
                        << run << " " << channel << " " << max << " " << wide;
                }
            }
        }
    }
}

}  // namespace
}  // namespace pixhaul
