// SIF export of one large object: throughput in sheet pixel bytes (3 per pixel) and the process's
// peak resident memory, beside memcpy of the same number of bytes in the same run.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "archive/model.h"
#include "archive_builder.h"
#include "export/sheet_export.h"
#include "export/sif_export.h"
#include "formats/huffman.h"
#include "formats/huffman_chains_avx512.h"
#include "formats/huffman_decode.h"
#include "formats/rle_stream.h"
#include "formats/sif_reader.h"
#include "platform/host.h"

namespace {

using namespace pixhaul;

constexpr int kDirections = 16;
constexpr int kFramesPerDirection = 25;  // 400 frames
constexpr int kSide = 128;

// A sprite: a coloured disc that moves with the frame on a black (transparent) ground.
ArchiveModel MakeObject() {
    ArchiveModel model;
    model.Images.clear();
    ObjectRecord& object = model.Objects[0];
    ActionRecord action;
    action.Name = "Walk";
    for (int d = 0; d < kDirections; ++d) {
        DirectionRecord direction;
        for (int f = 0; f < kFramesPerDirection; ++f) {
            const int n = d * kFramesPerDirection + f;
            auto pixel = [n](int x, int y) -> std::uint32_t {
                const int cx = 40 + n % 48;
                const int cy = 64;
                const int dx = x - cx;
                const int dy = y - cy;
                if (dx * dx + dy * dy > 36 * 36) return 0;
                return static_cast<std::uint32_t>(((x * 4) & 0xFF) << 16 | ((y * 2) & 0xFF) << 8 |
                                                  ((n * 7) & 0xFF));
            };
            std::vector<std::uint8_t> stream =
                pixhaul::testing::EncodeImage(k24BitType, kSide, kSide, pixel);
            ImageRecord record;
            record.Id = n + 1;
            record.Length = static_cast<std::int32_t>(stream.size());
            stream.push_back(0);
            record.eType = k24BitType;
            record.Width = kSide;
            record.Height = kSide;
            record.Loaded = true;
            auto bitmap = std::make_unique<cBitMap>();
            bitmap->SetData(kSide, kSide, k24BitType, std::move(stream));
            model.Images.push_back(record);
            model.AdoptImageBitmap(model.Images.size() - 1, std::move(bitmap));
            direction.Frames.push_back({0, n});
        }
        direction.FrameCount = kFramesPerDirection;
        action.Directions.push_back(std::move(direction));
    }
    action.DirectionCount = kDirections;
    object.Actions.push_back(std::move(action));
    object.ActionCount = 1;
    model.ObjectCount = 1;
    model.TotalFrames = kDirections * kFramesPerDirection;
    model.LastImage = static_cast<std::int32_t>(model.Images.size()) - 1;
    model.ImageTotal = static_cast<std::int64_t>(model.Images.size());
    return model;
}

// With PIXHAUL_BENCH_SIF_ARCHIVE=PATH, writes an archive of one object of the same sprites,
// PIXHAUL_BENCH_SIF_DIRECTIONS (default 16) directions of 25 frames, for scripts/bench_sif.sh
// (qxa sif and sif-decode as whole processes); with --keep-duplicates its sheet is
// 3200 x 128*directions pixels (1.2 MB a direction).
void WriteArchiveIfAsked() {
    const char* path = std::getenv("PIXHAUL_BENCH_SIF_ARCHIVE");
    if (path == nullptr) return;
    const char* count = std::getenv("PIXHAUL_BENCH_SIF_DIRECTIONS");
    const int directions = count ? std::atoi(count) : kDirections;
    const ArchiveModel model = MakeObject();
    pixhaul::testing::ArchiveBuilder builder;
    builder.ImageBlock({});
    pixhaul::testing::ImageBlockSpec block;
    for (const ImageRecord& record : model.Images) {
        pixhaul::testing::ImageSpec image;
        image.id = record.Id;
        image.width = kSide;
        image.height = kSide;
        image.type = k24BitType;
        image.stream = pixhaul::testing::EncodeImage(
            k24BitType, kSide, kSide, [n = record.Id - 1](int x, int y) -> std::uint32_t {
                const int dx = x - (40 + n % 48);
                const int dy = y - 64;
                if (dx * dx + dy * dy > 36 * 36) return 0;
                return static_cast<std::uint32_t>(((x * 4) & 0xFF) << 16 | ((y * 2) & 0xFF) << 8 |
                                                  ((n * 7) & 0xFF));
            });
        block.images.push_back(std::move(image));
    }
    builder.ImageBlock(std::move(block));
    pixhaul::testing::ObjectSpec object;
    pixhaul::testing::ActionSpec action;
    action.name = "Walk";
    for (int d = 0; d < directions; ++d) {
        pixhaul::testing::DirectionSpec direction;
        for (int f = 0; f < kFramesPerDirection; ++f) {
            direction.frames.push_back(
                {0, (d * kFramesPerDirection + f) % (kDirections * kFramesPerDirection) + 1});
        }
        action.directions.push_back(std::move(direction));
    }
    object.actions.push_back(std::move(action));
    builder.Object(std::move(object));
    pixhaul::testing::WriteFile(path, builder.Build());
}

constexpr std::int64_t kSheetBytes =
    std::int64_t{kSide} * kFramesPerDirection * kSide * kDirections * 3;

double PeakResidentMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

void BM_SifExport(benchmark::State& state) {
    ArchiveModel model = MakeObject();
    pixhaul::testing::TempDir dir;
    Settings settings;
    settings.ExportFolder = dir.Path() + "/";
    QuietHost host;
    for (auto _ : state) {
        settings.ExportName = "bench";
        const SifExportResult result = ExportSif(model, settings, host, 0);
        if (result.status != SifExportStatus::Written) state.SkipWithError("export failed");
    }
    state.SetBytesProcessed(state.iterations() * kSheetBytes);
    state.counters["sheet_MiB"] = static_cast<double>(kSheetBytes) / (1024.0 * 1024.0);
    state.counters["peak_rss_MiB"] = PeakResidentMiB();
}
BENCHMARK(BM_SifExport)->Unit(benchmark::kMillisecond);

// Baseline: the BMP sheet of the same object, written the same way.
void BM_BmpSheetExport(benchmark::State& state) {
    ArchiveModel model = MakeObject();
    pixhaul::testing::TempDir dir;
    Settings settings;
    settings.ExportFolder = dir.Path() + "/";
    QuietHost host;
    SheetExportRequest request;
    request.Mode = ExportMode::SelectedObject;
    request.Object = 0;
    for (auto _ : state) {
        settings.ExportName = "bench";
        const SheetExportResult result = ExportBitmaps(model, settings, host, request);
        if (result.status != SheetExportStatus::Written) state.SkipWithError("export failed");
    }
    state.SetBytesProcessed(state.iterations() * kSheetBytes);
}
BENCHMARK(BM_BmpSheetExport)->Unit(benchmark::kMillisecond);

// The parts: run-length coding the finished sheet, and reading a SIF file back whole.
struct WrittenSif {
    pixhaul::testing::TempDir dir;
    std::string path;
    SifContents contents;
    WrittenSif() {
        ArchiveModel model = MakeObject();
        Settings settings;
        settings.ExportFolder = dir.Path() + "/";
        settings.ExportName = "bench";
        QuietHost host;
        path = ExportSif(model, settings, host, 0).path;
        ReadSifFile(path, contents);
    }
};

// With argument 1 the bytes of the records are counted as they are written, as for a SIF file.
void BM_Rle5EncodeSheet(benchmark::State& state) {
    const WrittenSif sif;
    for (auto _ : state) {
        Rle5Encoder encoder(state.range(0) != 0);
        encoder.AddSurface(sif.contents.Sheet);
        std::vector<std::uint8_t> rle = encoder.Finish();
        benchmark::DoNotOptimize(rle.data());
    }
    state.SetBytesProcessed(state.iterations() * kSheetBytes);
}
BENCHMARK(BM_Rle5EncodeSheet)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The packing stage of a SIF export: the sheet's run-length stream Huffman coded in 1 MiB
// pieces into a reused buffer, as the writer's second pass does (the plan made beforehand).
void BM_SifPackStage(benchmark::State& state) {
    const WrittenSif sif;
    const std::vector<std::uint8_t> rle = EncodeRle5(sif.contents.Sheet);
    ByteHistogram histogram;
    histogram.Add(rle);
    const HuffmanPlan plan(histogram);
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    std::vector<std::uint8_t> out(HuffmanDataWriter(plan).RoomFor(kPiece));
    for (auto _ : state) {
        HuffmanDataWriter writer(plan);
        for (std::size_t at = 0; at < rle.size(); at += kPiece) {
            const std::size_t n = std::min(kPiece, rle.size() - at);
            benchmark::DoNotOptimize(writer.Write({rle.data() + at, n}, out.data()));
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(rle.size()));
    state.counters["longest_code"] = plan.MaxBitCount();
}
BENCHMARK(BM_SifPackStage)->Unit(benchmark::kMillisecond);

void BM_SifRead(benchmark::State& state) {
    const WrittenSif sif;
    for (auto _ : state) {
        SifContents contents;
        if (!ReadSifFile(sif.path, contents).empty()) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(contents.Sheet.Bits());
    }
    state.SetBytesProcessed(state.iterations() * kSheetBytes);
}
BENCHMARK(BM_SifRead)->Unit(benchmark::kMillisecond);

// The two stages of sif-decode without its file input and output: the Huffman stage alone (the
// payload uncoded into a reused 64 KiB buffer), and the whole sheet read band by band into a
// reused 1 MiB band (Huffman and run-length placing). Rates are in sheet bytes, like memcpy's.
struct SifInMemory : WrittenSif {
    std::vector<std::uint8_t> file;
    SifInMemory() {
        std::ifstream in(path, std::ios::binary);
        file.assign(std::istreambuf_iterator<char>(in), {});
    }
};

void BM_SifHuffmanStage(benchmark::State& state) {
    const SifInMemory sif;
    const std::size_t offset = sif.contents.ImagePos - 1 + kSifImageHeaderSize;
    const std::span<const std::uint8_t> payload(
        sif.file.data() + offset, static_cast<std::size_t>(sif.contents.Image.PayloadLast) + 1);
    // The size of the pieces sif-decode asks for.
    std::vector<std::uint8_t> out(std::size_t{1} << 20);
    HuffmanStreamDecoder::PairingCounts pairing;
    const bool slots = huffman::ChainsAvx512Enabled();
    huffman::SetChainsAvx512(state.range(0) == 2);
    if (state.range(0) == 2 && !huffman::ChainsAvx512Enabled()) {
        state.SkipWithError("the processor lacks AVX-512 VBMI2");
    }
    for (auto _ : state) {
        HuffmanStreamDecoder decoder;
        decoder.EnablePairing(state.range(0) != 0);
        if (!decoder.Open(payload).empty()) state.SkipWithError("open failed");
        while (decoder.Read(out) > 0) {
        }
        if (!decoder.End().empty()) state.SkipWithError("decode failed");
        pairing = decoder.Pairing();
    }
    state.SetBytesProcessed(state.iterations() * kSheetBytes);
    state.counters["joined"] = static_cast<double>(pairing.joined);
    state.counters["dropped"] = static_cast<double>(pairing.dropped);
    state.counters["caught_up"] = static_cast<double>(pairing.caughtUp);
    state.counters["huffman_bytes_per_sheet_byte"] =
        static_cast<double>(sif.contents.RleLength) / static_cast<double>(kSheetBytes);
    huffman::SetChainsAvx512(slots);
}
// Argument: 0 with one decoding chain; 1 with several, each lookup's values stored where the
// count before says; 2 with several, the values gathered from slots (AVX-512 VBMI2; the default
// where the processor has it).
BENCHMARK(BM_SifHuffmanStage)->Arg(2)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_SifSheetBands(benchmark::State& state) {
    const SifInMemory sif;
    const std::int32_t width = sif.contents.Image.SheetWidth;
    const std::int32_t height = sif.contents.Image.SheetHeight;
    const std::int64_t stride = StrideFor(width);
    const auto bandRows = static_cast<std::int32_t>(
        std::clamp<std::int64_t>((std::int64_t{1} << 20) / stride, 1, height));
    std::vector<std::uint8_t> band(static_cast<std::size_t>(stride * bandRows));
    for (auto _ : state) {
        SifSheetReader reader;
        SifContents contents;
        if (!reader.Open(sif.file, contents).empty()) state.SkipWithError("open failed");
        for (std::int32_t row = 0; row < height; row += bandRows) {
            const std::int32_t rows = std::min(bandRows, height - row);
            if (!reader.ReadRows(band.data(), stride, rows).empty()) {
                state.SkipWithError("read failed");
            }
            benchmark::DoNotOptimize(band.data());
        }
        if (!reader.Finish().empty()) state.SkipWithError("finish failed");
    }
    state.SetBytesProcessed(state.iterations() * kSheetBytes);
}
BENCHMARK(BM_SifSheetBands)->Unit(benchmark::kMillisecond);

// Baseline: copying the sheet's bytes once.
void BM_MemcpySheet(benchmark::State& state) {
    std::vector<std::uint8_t> from(static_cast<std::size_t>(kSheetBytes), 1);
    std::vector<std::uint8_t> to(static_cast<std::size_t>(kSheetBytes));
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kSheetBytes);
}
BENCHMARK(BM_MemcpySheet)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    WriteArchiveIfAsked();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
