// The vector search for run ends agrees with the pixel-by-pixel one, and the stream it gives is
// the one canonical kind-5 stream: no run longer than 127, and a run is cut only at 127 or where
// the colour changes.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "formats/rle_stream.h"

namespace pixhaul {
namespace {

TEST(RunEnds, VectorSearchAgreesWithThePlainOne) {
    std::mt19937 rng(5);
    // Runs ending on both sides of 16-pixel blocks, the other pixel differing in one channel.
    for (const std::size_t run : {0, 1, 15, 16, 17, 31, 32, 33, 47, 127, 128, 300}) {
        for (int channel = 0; channel < 3; ++channel) {
            std::vector<std::uint8_t> bgr(3 * (run + 20));
            for (std::size_t i = 0; i < bgr.size(); i += 3) {
                bgr[i] = 10, bgr[i + 1] = 20, bgr[i + 2] = 30;
            }
            bgr[3 * run + static_cast<std::size_t>(channel)] ^= 1u << (rng() % 8);
            for (const std::size_t max : {run, run + 1, run + 20}) {
                EXPECT_EQ(MatchingPixels(bgr.data(), max, 10, 20, 30),
                          MatchingPixelsPlain(bgr.data(), max, 10, 20, 30))
                    << run << " " << channel << " " << max;
            }
        }
    }
}

TEST(RunEnds, StreamOfLongRunsIsCanonicalAndReadsBack) {
    std::mt19937 rng(11);
    std::vector<std::uint8_t> bgr;
    for (int run = 0; run < 400; ++run) {
        const std::uint8_t c[3] = {static_cast<std::uint8_t>(rng() % 2), 0,
                                   static_cast<std::uint8_t>(rng() % 2)};
        for (std::size_t n = rng() % 3 == 0 ? 1 : rng() % 700; n > 0; --n) {
            bgr.insert(bgr.end(), c, c + 3);
        }
    }
    Rle5Encoder encoder;
    encoder.AddPixels(bgr.data(), bgr.size() / 3);
    const std::vector<std::uint8_t> stream = encoder.Finish();

    std::vector<std::uint8_t> back;
    for (std::size_t at = 0; at < stream.size(); at += 4) {
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

}  // namespace
}  // namespace pixhaul
