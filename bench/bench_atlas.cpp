// The atlas export (RGBA pages and JSON) of the "All Objects" selection beside the same frames
// as a 24-bit PNG sheet, in the same run, with the process's peak resident memory. Every frame
// shows its own image, so both write every frame once. The CPU column counts every thread of the
// process (the PNG deflaters too). Run with --benchmark_repetitions=3
// --benchmark_enable_random_interleaving=true. PIXHAUL_BENCH_OBJECTS sets the archive's objects
// (64 frames each, default 32); PIXHAUL_BENCH_KEEP_ARCHIVE=PATH also writes the archive there, for
// measuring `qxa atlas` as a whole process.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive_builder.h"
#include "export/atlas_export.h"
#include "export/sheet_export.h"

namespace pixhaul {
namespace {

namespace fs = std::filesystem;

constexpr int kSide = 96;
constexpr int kActions = 2, kDirections = 4, kFrames = 8;  // 64 frames an object

int ObjectCount() {
    const char* objects = std::getenv("PIXHAUL_BENCH_OBJECTS");
    return objects != nullptr && std::atoi(objects) > 0 ? std::atoi(objects) : 32;
}

std::vector<std::uint8_t> MakeArchive() {
    const int kObjects = ObjectCount();
    testing::ImageBlockSpec block;
    for (int i = 0; i < 256; ++i) block.palette[i] = MakeColorRef(i, 255 - i, (i * 7) & 0xFF);
    for (int n = 0; n < kObjects * kActions * kDirections * kFrames; ++n) {
        // A round sprite on the transparent colour, flat areas and some detail.
        block.images.push_back(
            {1 + n,
             kSide,
             kSide,
             kPaletteType,
             {},
             testing::EncodeImage(kPaletteType, kSide, kSide,
                                  [n](int x, int y) {
                                      const int dx = x - kSide / 2, dy = y - kSide / 2;
                                      if (dx * dx + dy * dy > (kSide / 2 - 6) * (kSide / 2 - 6)) {
                                          return 0u;
                                      }
                                      const int v = (x / 8 + y / 8 + n) % 5 == 0
                                                        ? (x * 31 + y * 17 + n) & 0xFF
                                                        : ((y / 16) * 13 + n) & 0xFF;
                                      return static_cast<std::uint32_t>(v == 0 ? 1 : v);
                                  }),
             {}});
    }
    testing::ArchiveBuilder builder;
    builder.ImageBlock({}).ImageBlock(block);
    int next = 0;
    for (int o = 0; o < kObjects; ++o) {
        testing::ObjectSpec object;
        for (int a = 0; a < kActions; ++a) {
            testing::ActionSpec action;
            action.name = "Action" + std::to_string(a);
            for (int d = 0; d < kDirections; ++d) {
                testing::DirectionSpec direction;
                for (int f = 0; f < kFrames; ++f) direction.frames.push_back({0, 1 + next++});
                action.directions.push_back(direction);
            }
            object.actions.push_back(action);
        }
        builder.Object(object);
    }
    return builder.Build();
}

struct Loaded {
    testing::TempDir dir;
    ArchiveModel model;
    QuietHost host;
    Loaded() {
        const std::vector<std::uint8_t> bytes = MakeArchive();
        testing::WriteFile(dir.File("bench.qxa"), bytes);
        if (const char* keep = std::getenv("PIXHAUL_BENCH_KEEP_ARCHIVE")) {
            testing::WriteFile(keep, bytes);
        }
        LoadArchive(model, dir.File("bench.qxa"), host);
    }
    Settings SettingsFor(const std::string& name) const {
        Settings settings;
        settings.ArchivePath = dir.File("bench.qxa");
        settings.ExportFolder = dir.Path() + "/";
        settings.ExportName = name;
        return settings;
    }
};

Loaded& Archive() {
    static Loaded loaded;
    return loaded;
}

void PeakMemory(benchmark::State& state) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_AtlasRgbaJson(benchmark::State& state) {
    Loaded& a = Archive();
    for (auto _ : state) {
        Settings settings = a.SettingsFor("atlas");
        const AtlasExportResult result = ExportAtlas(a.model, settings, a.host, {});
        if (result.status != AtlasExportStatus::Written) state.SkipWithError("atlas not written");
    }
    PeakMemory(state);
}

void BM_SheetPng24Baseline(benchmark::State& state) {
    Loaded& a = Archive();
    SheetExportRequest request;
    request.Format = SheetFormat::Png;
    for (auto _ : state) {
        Settings settings = a.SettingsFor("sheet");
        const SheetExportResult result = ExportBitmaps(a.model, settings, a.host, request);
        if (result.status != SheetExportStatus::Written) state.SkipWithError("sheet not written");
    }
    PeakMemory(state);
}

BENCHMARK(BM_SheetPng24Baseline)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_AtlasRgbaJson)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace
}  // namespace pixhaul

BENCHMARK_MAIN();
