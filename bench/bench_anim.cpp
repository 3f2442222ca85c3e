// Animated previews: a 64-frame 256 x 256 direction written as WebP, GIF and APNG, in frames per
// second, beside the 24-bit PNG sheet of the same frames (64 x 1 frames) in the same run.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "archive_builder.h"
#include "formats/anim_writer.h"
#include "formats/png_writer.h"

namespace {

constexpr std::int32_t kSide = 256;
constexpr std::int32_t kFrames = 64;

// A walking figure: a body of a few shaded colours moving across a transparent canvas, some
// noisy pixels in it; RGBA frames and the same frames as one BGR sheet row (magenta where clear).
struct Direction {
    std::vector<std::vector<std::uint8_t>> rgba;
    std::vector<std::uint8_t> sheet;  // top-down BGR, kSide * kFrames wide
};

const Direction& Frames() {
    static const Direction direction = [] {
        Direction d;
        const std::size_t sheetStride = std::size_t{kSide} * kFrames * 3;
        d.sheet.assign(sheetStride * kSide, 0);
        std::uint32_t seed = 7;
        for (std::int32_t f = 0; f < kFrames; ++f) {
            std::vector<std::uint8_t> frame(std::size_t{kSide} * kSide * 4, 0);
            const int cx = 64 + f * 2, cy = 128 + (f % 8) * 3;
            for (int y = 0; y < kSide; ++y) {
                for (int x = 0; x < kSide; ++x) {
                    std::uint8_t* p = frame.data() + (std::size_t{kSide} * y + x) * 4;
                    std::uint8_t* s = d.sheet.data() + sheetStride * y + (f * kSide + x) * 3;
                    const int dx = x - cx, dy = y - cy;
                    const bool inside = dx * dx * 4 + dy * dy < 90 * 90;
                    seed = seed * 1103515245U + 12345U;
                    const std::uint8_t shade = static_cast<std::uint8_t>(
                        (seed >> 28) == 0 ? seed >> 16 : 60 + ((dx + 100) / 16) * 20);
                    const std::uint8_t rgb[3] = {shade, static_cast<std::uint8_t>(shade / 2),
                                                 static_cast<std::uint8_t>(200 - shade / 3)};
                    if (inside) {
                        p[0] = rgb[0], p[1] = rgb[1], p[2] = rgb[2], p[3] = 255;
                        s[0] = rgb[2], s[1] = rgb[1], s[2] = rgb[0];
                    } else {
                        p[0] = 255, p[2] = 255;  // magenta under alpha 0
                        s[0] = 255, s[2] = 255;
                    }
                }
            }
            d.rgba.push_back(std::move(frame));
        }
        return d;
    }();
    return direction;
}

void BM_Animation(benchmark::State& state) {
    const auto format = static_cast<pixhaul::AnimFormat>(state.range(0));
    const Direction& d = Frames();
    pixhaul::testing::TempDir dir;
    for (auto _ : state) {
        auto writer =
            pixhaul::MakeAnimWriter(format, dir.File("walk"), {kSide, kSide, 10, kFrames});
        for (const auto& frame : d.rgba) writer->AddFrame(frame.data());
        writer->Finish();
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
    state.SetLabel(pixhaul::AnimFormatName(format));
}
BENCHMARK(BM_Animation)
    ->DenseRange(0, 2)
    ->ArgName("format")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Baseline: the same frames as a 24-bit PNG sheet, zlib's default level, one thread.
void BM_PngSheetBaseline(benchmark::State& state) {
    const Direction& d = Frames();
    pixhaul::testing::TempDir dir;
    for (auto _ : state) {
        pixhaul::PngWriter writer(dir.File("sheet.png"), kSide * kFrames, kSide,
                                  pixhaul::kPngDefaultCompression, 1);
        writer.WriteRows(d.sheet.data(), kSide * kFrames * 3, kSide);
        writer.Finish();
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
}
BENCHMARK(BM_PngSheetBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
