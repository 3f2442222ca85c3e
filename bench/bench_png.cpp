// A large sheet as PNG: the segmented deflate on every core against one thread, at levels 6
// and 1, beside one zlib stream of the same bytes in the same run. The sheet is 4096 pixels wide
// and PIXHAUL_BENCH_SHEET_MIB MiB of pixels (48 unless set; 2048 for the 2 GiB sheet), written
// band by band as the sheet export does, so memory stays at one band whatever the size.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "archive_builder.h"
#include "formats/png_writer.h"

namespace {

constexpr std::int32_t kWidth = 4096;
constexpr std::int32_t kBandRows = 256;  // 3 MiB, far beyond deflate's 32 KiB window

std::int32_t SheetHeight() {
    const char* text = std::getenv("PIXHAUL_BENCH_SHEET_MIB");
    const long mib = text != nullptr ? std::max(1L, std::atol(text)) : 48;
    return static_cast<std::int32_t>((mib << 20) / (kWidth * 3));
}

// Sprite-like rows: flat runs of a few colours with some noise.
const std::vector<std::uint8_t>& Band() {
    static const std::vector<std::uint8_t> pixels = [] {
        std::vector<std::uint8_t> p(std::size_t{kWidth} * kBandRows * 3);
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

// Calls take(rows, count) band by band for the whole sheet.
template <typename Take>
void ForEachBand(Take take) {
    const std::vector<std::uint8_t>& band = Band();
    for (std::int32_t y = 0, height = SheetHeight(); y < height; y += kBandRows) {
        take(band.data(), std::min(kBandRows, height - y));
    }
}

std::int64_t SheetBytes() {
    return std::int64_t{SheetHeight()} * kWidth * 3;
}

void BM_PngSheet(benchmark::State& state) {
    const int level = static_cast<int>(state.range(0));
    const int threads = static_cast<int>(state.range(1));
    pixhaul::testing::TempDir dir;
    for (auto _ : state) {
        pixhaul::PngWriter writer(dir.File("sheet.png"), kWidth, SheetHeight(), level, threads);
        ForEachBand([&](const std::uint8_t* rows, std::int32_t count) {
            writer.WriteRows(rows, kWidth * 3, count);
        });
        writer.Finish();
    }
    state.SetBytesProcessed(state.iterations() * SheetBytes());
}
// threads 0: one per usable core, as qxa does.
BENCHMARK(BM_PngSheet)
    ->ArgsProduct({{6, 1}, {1, 0}})
    ->ArgNames({"level", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One zlib stream of the same bytes, in memory: what deflate alone costs on one core.
void BM_ZlibDeflateBaseline(benchmark::State& state) {
    const int level = static_cast<int>(state.range(0));
    std::vector<std::uint8_t> out(1 << 20);
    for (auto _ : state) {
        z_stream z{};
        deflateInit(&z, level);
        ForEachBand([&](const std::uint8_t* rows, std::int32_t count) {
            z.next_in = const_cast<Bytef*>(rows);
            z.avail_in = static_cast<uInt>(count) * kWidth * 3;
            while (z.avail_in > 0) {
                z.next_out = out.data();
                z.avail_out = static_cast<uInt>(out.size());
                deflate(&z, Z_NO_FLUSH);
            }
        });
        do {
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
        } while (deflate(&z, Z_FINISH) == Z_OK);
        benchmark::DoNotOptimize(z.total_out);
        deflateEnd(&z);
    }
    state.SetBytesProcessed(state.iterations() * SheetBytes());
}
BENCHMARK(BM_ZlibDeflateBaseline)->Arg(6)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
