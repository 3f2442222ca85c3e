// extract's worker pool: every image of a generated archive written as its own file, one worker
// against two, beside copying the same files (read, write, close: what `cp -r` does) with and
// without an fsync() per file (extract flushes its files to the disk a group at a time). Run with
// --benchmark_repetitions=3 for min, median and max. PIXHAUL_BENCH_SHRINK=K divides the image
// counts by K (for a quick run on a busy machine). PIXHAUL_BENCH_KEEP_ARCHIVES=DIR also writes
// every generated archive as DIR/images-COUNT-SIDE.qxa (BM_MakeArchive makes them and nothing
// else), for timing whole `qxa extract` runs on them.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive_builder.h"
#include "export/extract_images.h"
#include "formats/bmp_writer.h"
#include "formats/png_writer.h"

namespace pixhaul {
namespace {

namespace fs = std::filesystem;

constexpr int kDistinctStreams = 32;

// count sprites of side x side, alternately palette and 24-bit, from a few distinct streams.
std::vector<std::uint8_t> MakeArchive(int count, int side) {
    testing::ImageBlockSpec block;
    for (int i = 0; i < 256; ++i) block.palette[i] = MakeColorRef(i, 255 - i, (i * 7) & 0xFF);
    std::vector<std::vector<std::uint8_t>> streams;
    for (int n = 0; n < kDistinctStreams; ++n) {
        const std::int16_t type = n % 2 == 0 ? kPaletteType : k24BitType;
        streams.push_back(testing::EncodeImage(type, side, side, [n, side](int x, int y) {
            const int dx = x - side / 2, dy = y - side / 2;
            if (dx * dx + dy * dy > (side / 2 - 2) * (side / 2 - 2)) return 0u;
            const std::uint32_t v = ((x / 8 + y / 8 + n) % 5 == 0)
                                        ? static_cast<std::uint32_t>((x * 31 + y * 17 + n) & 0xFF)
                                        : static_cast<std::uint32_t>(((y / 16) * 13 + n) & 0xFF);
            return v == 0 ? 1u : (n % 2 == 0 ? v : v * 0x010203u);
        }));
    }
    for (int i = 0; i < count; ++i) {
        testing::ImageSpec image;
        image.id = 1 + i;
        image.width = static_cast<std::int16_t>(side);
        image.height = static_cast<std::int16_t>(side);
        image.type = i % 2 == 0 ? kPaletteType : k24BitType;
        image.stream = streams[static_cast<std::size_t>(i % kDistinctStreams)];
        block.images.push_back(std::move(image));
    }
    testing::ArchiveBuilder builder;
    builder.ImageBlock({}).ImageBlock(std::move(block));
    return builder.Build();
}

struct Loaded {
    testing::TempDir dir;
    ArchiveModel model;
    bool ok = false;
};

Loaded& Archive(int count, int side) {
    static std::map<std::pair<int, int>, std::unique_ptr<Loaded>> cache;
    std::unique_ptr<Loaded>& slot = cache[{count, side}];
    if (!slot) {
        slot = std::make_unique<Loaded>();
        const std::string path = slot->dir.File("bench.qxa");
        const std::vector<std::uint8_t> bytes = MakeArchive(count, side);
        testing::WriteFile(path, bytes);
        if (const char* keep = std::getenv("PIXHAUL_BENCH_KEEP_ARCHIVES")) {
            testing::WriteFile(std::string(keep) + "/images-" + std::to_string(count) + "-" +
                                   std::to_string(side) + ".qxa",
                               bytes);
        }
        QuietHost host;
        LoadArchive(slot->model, path, host);  // damaged only in having no objects
        slot->ok = slot->model.Images.size() == static_cast<std::size_t>(count);
    }
    return *slot;
}

std::string FileName(const std::string& folder, std::size_t i, const char* ext) {
    char name[32];
    std::snprintf(name, sizeof name, "/image-%05zu.%s", i, ext);
    return folder + name;
}

int Images(std::int64_t count) {
    const char* shrink = std::getenv("PIXHAUL_BENCH_SHRINK");
    const int divisor = shrink != nullptr ? std::max(1, std::atoi(shrink)) : 1;
    return static_cast<int>(count) / divisor;
}

void ExtractAll(const Loaded& archive, std::size_t count, const std::string& out, bool png,
                unsigned workers) {
    fs::create_directories(out);
    CommitGroup written;  // as qxa extract does
    ExtractImages(
        archive.model, count, 0xFF00FF, workers,
        [&](std::size_t i, const Surface& surface, ImageOutcome) {
            if (png) {
                WritePng(FileName(out, i, "png"), surface, kPngDefaultCompression, 1, &written);
            } else {
                WriteBmp(FileName(out, i, "bmp"), surface, &written);
            }
        },
        [](std::size_t, const ExtractedImage&) {});
    written.Publish();
}

// args: images, side, png (1) or bmp (0), workers
void BM_Extract(benchmark::State& state) {
    const int count = Images(state.range(0));
    const bool png = state.range(2) == 1;
    Loaded& archive = Archive(count, static_cast<int>(state.range(1)));
    if (!archive.ok) return state.SkipWithError("the generated archive did not load");
    for (auto _ : state) {
        ExtractAll(archive, archive.model.Images.size(), archive.dir.File(png ? "png" : "bmp"), png,
                   static_cast<unsigned>(state.range(3)));
    }
    state.counters["files"] = count;
}
BENCHMARK(BM_Extract)
    ->Args({3000, 256, 1, 1})
    ->Args({3000, 256, 1, 2})
    ->Args({10000, 32, 0, 1})
    ->Args({10000, 32, 0, 2})
    ->ArgNames({"images", "side", "png", "workers"})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Only the generated archives (their build and load), for PIXHAUL_BENCH_KEEP_ARCHIVES.
void BM_MakeArchive(benchmark::State& state) {
    for (auto _ : state) {
        const Loaded& archive = Archive(Images(state.range(0)), static_cast<int>(state.range(1)));
        if (!archive.ok) state.SkipWithError("the generated archive did not load");
    }
}
BENCHMARK(BM_MakeArchive)
    ->Args({3000, 256})
    ->Args({10000, 32})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// The baseline: the BMP files BM_Extract wrote, copied to another folder file by file.
void BM_CopyFilesBaseline(benchmark::State& state) {
    const bool sync = state.range(0) == 1;
    const int count = Images(10000);
    Loaded& archive = Archive(count, 32);
    const std::string from = archive.dir.File("bmp");
    if (!fs::exists(from)) ExtractAll(archive, archive.model.Images.size(), from, false, 2);
    const std::string to = archive.dir.File(sync ? "copy-synced" : "copy");
    fs::create_directories(to);
    std::vector<char> buffer(1 << 16);
    for (auto _ : state) {
        for (const auto& entry : fs::directory_iterator(from)) {
            const int in = ::open(entry.path().c_str(), O_RDONLY);
            const std::string target = to + "/" + entry.path().filename().string();
            const int outFd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            for (ssize_t n; (n = ::read(in, buffer.data(), buffer.size())) > 0;) {
                benchmark::DoNotOptimize(::write(outFd, buffer.data(), static_cast<size_t>(n)));
            }
            if (sync) ::fsync(outFd);
            ::close(outFd);
            ::close(in);
        }
    }
}
BENCHMARK(BM_CopyFilesBaseline)
    ->Arg(0)
    ->Arg(1)
    ->ArgNames({"fsync"})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pixhaul

BENCHMARK_MAIN();
