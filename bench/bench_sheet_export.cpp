// The "All Objects" sheet export of a generated archive whose bitmap is over 2 GiB, beside plain
// write() of the same number of bytes in 1 MiB chunks, with and without an fsync() at the end
// (the export flushes its files and their folder before it reports success), with the process's
// peak resident memory. Run with --benchmark_repetitions=3 for min, median and max.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive_builder.h"
#include "export/sheet_export.h"

namespace pixhaul {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kImages = 64;
constexpr int kSide = 256;
constexpr int kObjects = 43, kActions = 4, kDirections = 4, kFrames = 16;  // 688 rows of 4096 px

// Options as at start-up, but with every frame kept (the sheet is made of repeated images).
class BenchHost : public QuietHost {
  public:
    bool IsOptionChecked(Option option) override {
        return option == Option::RemoveDuplicateFrames ? false : OptionCheckedAtStart(option);
    }
};

std::vector<std::uint8_t> MakeArchive() {
    testing::ArchiveBuilder builder;
    builder.ImageBlock({});
    testing::ImageBlockSpec block;
    for (int i = 0; i < 256; ++i) block.palette[i] = MakeColorRef(i, 255 - i, (i * 7) & 0xFF);
    for (int n = 0; n < kImages; ++n) {
        testing::ImageSpec image;
        image.id = 1 + n;
        image.width = kSide;
        image.height = kSide;
        image.type = n % 2 == 0 ? kPaletteType : k24BitType;
        // A sprite: transparent around a figure of flat areas and noisy detail.
        image.stream = testing::EncodeImage(image.type, kSide, kSide, [n](int x, int y) {
            const int dx = x - kSide / 2, dy = y - kSide / 2;
            if (dx * dx + dy * dy > (kSide / 2 - 8) * (kSide / 2 - 8)) return 0u;
            const std::uint32_t v = ((x / 8 + y / 8 + n) % 5 == 0)
                                        ? static_cast<std::uint32_t>((x * 31 + y * 17 + n) & 0xFF)
                                        : static_cast<std::uint32_t>(((y / 16) * 13 + n) & 0xFF);
            return v == 0 ? 1u : (n % 2 == 0 ? v : v * 0x010203u);
        });
        block.images.push_back(std::move(image));
    }
    builder.ImageBlock(std::move(block));
    int next = 0;
    for (int o = 0; o < kObjects; ++o) {
        testing::ObjectSpec object;
        for (int a = 0; a < kActions; ++a) {
            testing::ActionSpec action;
            action.name = "Action";
            for (int d = 0; d < kDirections; ++d) {
                testing::DirectionSpec direction;
                for (int f = 0; f < kFrames; ++f) {
                    direction.frames.push_back({0, 1 + (next++ % kImages)});
                }
                action.directions.push_back(std::move(direction));
            }
            object.actions.push_back(std::move(action));
        }
        builder.Object(std::move(object));
    }
    return builder.Build();
}

// Peak resident memory of the process in bytes (VmHWM).
double PeakResidentBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) * 1024.0;
    }
    return 0;
}

double PlainWriteSeconds(const std::string& path, std::uint64_t bytes, bool sync) {
    std::vector<char> chunk(1 << 20, 'x');
    const auto start = Clock::now();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return 0;
    for (std::uint64_t left = bytes; left > 0;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
        if (::write(fd, chunk.data(), n) != static_cast<ssize_t>(n)) break;
        left -= n;
    }
    if (sync) ::fsync(fd);
    ::close(fd);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    fs::remove(path);
    return seconds;
}

void BM_SheetExportAllObjects(benchmark::State& state) {
    testing::TempDir dir;
    const std::string archive = dir.File("bench.qxa");
    testing::WriteFile(archive, MakeArchive());
    const double archiveBytes = static_cast<double>(fs::file_size(archive));

    BenchHost host;
    ArchiveModel model;
    if (LoadArchive(model, archive, host).status != LoadStatus::Loaded) {
        state.SkipWithError("the generated archive did not load");
        return;
    }
    Settings settings;
    settings.ArchivePath = archive;
    settings.ExportFolder = dir.Path() + "/";

    double exportSeconds = 0, writeSeconds = 0, syncedSeconds = 0, sheetBytes = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const SheetExportResult result = ExportBitmaps(model, settings, host, {});
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (result.status != SheetExportStatus::Written) {
            state.SkipWithError("the export failed");
            return;
        }
        state.SetIterationTime(seconds);
        exportSeconds += seconds;
        sheetBytes = static_cast<double>(fs::file_size(result.paths.front()));
        for (const auto& path : result.paths) fs::remove(path);
        writeSeconds +=
            PlainWriteSeconds(dir.File("plain.bin"), static_cast<std::uint64_t>(sheetBytes), false);
        syncedSeconds +=
            PlainWriteSeconds(dir.File("plain.bin"), static_cast<std::uint64_t>(sheetBytes), true);
    }
    const double n = static_cast<double>(state.iterations());
    const double exportMBps = sheetBytes * n / exportSeconds / 1e6;
    const double writeMBps = sheetBytes * n / writeSeconds / 1e6;
    state.SetBytesProcessed(static_cast<std::int64_t>(sheetBytes * n));
    state.counters["bmp_GiB"] = sheetBytes / (1 << 30);
    state.counters["export_MBps"] = exportMBps;
    state.counters["write_MBps"] = writeMBps;
    const double syncedMBps = sheetBytes * n / syncedSeconds / 1e6;
    state.counters["write_fsync_MBps"] = syncedMBps;
    state.counters["ratio"] = exportMBps / writeMBps;
    state.counters["ratio_fsync"] = exportMBps / syncedMBps;
    state.counters["archive_MiB"] = archiveBytes / (1 << 20);
    state.counters["peak_rss_MiB"] = PeakResidentBytes() / (1 << 20);
}
BENCHMARK(BM_SheetExportAllObjects)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pixhaul

BENCHMARK_MAIN();
