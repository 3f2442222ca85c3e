// A large sheet as PNG: the segmented deflate on every core against one thread, at levels 6
// and 1, beside zlib's own compress2 of the same bytes in the same run.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <vector>

#include "archive_builder.h"
#include "formats/png_writer.h"

namespace {

constexpr std::int32_t kWidth = 4096;
constexpr std::int32_t kHeight = 4096;  // 48 MiB of pixels

// Sprite-like rows: flat runs of a few colours with some noise.
const std::vector<std::uint8_t>& Pixels() {
    static const std::vector<std::uint8_t> pixels = [] {
        std::vector<std::uint8_t> p(std::size_t{kWidth} * kHeight * 3);
        std::uint32_t seed = 1;
        for (std::size_t i = 0; i < p.size(); ++i) {
            seed = seed * 1103515245U + 12345U;
            p[i] = (seed >> 28) == 0 ? static_cast<std::uint8_t>(seed >> 16)
                                     : static_cast<std::uint8_t>((i / 96) * 37);
        }
        return p;
    }();
    return pixels;
}

void BM_PngSheet(benchmark::State& state) {
    const int level = static_cast<int>(state.range(0));
    const int threads = static_cast<int>(state.range(1));
    pixhaul::testing::TempDir dir;
    const auto& pixels = Pixels();
    for (auto _ : state) {
        pixhaul::PngWriter writer(dir.File("sheet.png"), kWidth, kHeight, level, threads);
        writer.WriteRows(pixels.data(), kWidth * 3, kHeight);
        writer.Finish();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * pixels.size()));
}
BENCHMARK(BM_PngSheet)
    ->ArgsProduct({{6, 1}, {1, 2}})
    ->ArgNames({"level", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_ZlibCompressBaseline(benchmark::State& state) {
    const int level = static_cast<int>(state.range(0));
    const auto& pixels = Pixels();
    std::vector<std::uint8_t> out(compressBound(static_cast<uLong>(pixels.size())));
    for (auto _ : state) {
        uLongf size = static_cast<uLongf>(out.size());
        compress2(out.data(), &size, pixels.data(), static_cast<uLong>(pixels.size()), level);
        benchmark::DoNotOptimize(size);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * pixels.size()));
}
BENCHMARK(BM_ZlibCompressBaseline)->Arg(6)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
