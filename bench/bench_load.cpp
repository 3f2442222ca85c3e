// Loading a large archive (about 200 MB, 100,000 images, 100,000 frames) beside a plain read()
// of the same file, page cache warm: into a buffer already in memory, and into fresh memory as
// the load reads it (then scans and indexes it); the index-only load beside read() in pieces;
// and the tag scan beside memmem over the same bytes.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "archive/archive.h"
#include "archive/tag_scan.h"
#include "archive_builder.h"

namespace {

using namespace pixhaul;
using namespace pixhaul::testing;

constexpr int kBlocks = 10;
constexpr int kImagesPerBlock = 10000;
constexpr int kStreamVariants = 16;

// Streams of about 2 KB: 48 x 40 palette images whose indices stay below 64, so no stream byte
// starts a tag by chance.
std::vector<std::vector<std::uint8_t>> MakeStreams() {
    std::vector<std::vector<std::uint8_t>> streams;
    for (int v = 0; v < kStreamVariants; ++v) {
        streams.push_back(EncodeImage(259, 48, 40, [v](int x, int y) {
            return static_cast<std::uint32_t>((x * 7 + y * 13 + v * 5 + (x * y) % 11) % 64);
        }));
    }
    return streams;
}

struct LargeArchive {
    TempDir dir;
    std::string path;
    std::size_t size = 0;

    LargeArchive() {
        const auto streams = MakeStreams();
        ArchiveBuilder builder;
        builder.ImageBlock({});
        std::int32_t id = 1;
        for (int b = 0; b < kBlocks; ++b) {
            ImageBlockSpec block;
            block.images.reserve(kImagesPerBlock);
            for (int i = 0; i < kImagesPerBlock; ++i, ++id) {
                ImageSpec image;
                image.id = id;
                image.width = 48;
                image.height = 40;
                image.type = 259;
                image.stream = streams[static_cast<std::size_t>(id % kStreamVariants)];
                block.images.push_back(std::move(image));
            }
            builder.ImageBlock(std::move(block));
        }
        // 100 objects x 8 actions x 8 directions x 16 frames.
        std::int32_t frameId = 1;
        for (int o = 0; o < 100; ++o) {
            ObjectSpec object;
            for (int a = 0; a < 8; ++a) {
                ActionSpec action;
                action.name = "Action " + std::to_string(a);
                for (int d = 0; d < 8; ++d) {
                    DirectionSpec direction;
                    for (int f = 0; f < 16; ++f) {
                        direction.frames.push_back({f, frameId});
                        frameId = frameId % (kBlocks * kImagesPerBlock) + 1;
                    }
                    action.directions.push_back(std::move(direction));
                }
                object.actions.push_back(std::move(action));
            }
            builder.Object(std::move(object));
        }
        const std::vector<std::uint8_t> bytes = builder.Build();
        size = bytes.size();
        path = dir.File("large.qxa");
        WriteFile(path, bytes);
        // scripts/bench_info.sh times whole processes on a copy.
        if (const char* keep = std::getenv("PIXHAUL_BENCH_KEEP_ARCHIVE")) WriteFile(keep, bytes);
    }
};

const LargeArchive& Archive() {
    static const LargeArchive archive;
    return archive;
}

void BM_ReadWholeFile(benchmark::State& state) {
    const LargeArchive& archive = Archive();
    std::vector<char> buffer(archive.size);
    for (auto _ : state) {
        const int fd = ::open(archive.path.c_str(), O_RDONLY);
        std::size_t done = 0;
        while (done < buffer.size()) {
            const ssize_t n = ::read(fd, buffer.data() + done, buffer.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        ::close(fd);
        benchmark::DoNotOptimize(buffer.data());
        if (done != buffer.size()) state.SkipWithError("short read");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * archive.size));
}

// Baseline: the same read() into memory taken fresh for each read, as a program that reads a
// file once does (the kernel hands out zeroed pages: about as costly as the copy itself).
void BM_ReadWholeFileFreshMemory(benchmark::State& state) {
    const LargeArchive& archive = Archive();
    for (auto _ : state) {
        std::unique_ptr<char[]> buffer(new char[archive.size]);
        const int fd = ::open(archive.path.c_str(), O_RDONLY);
        std::size_t done = 0;
        while (done < archive.size) {
            const ssize_t n = ::read(fd, buffer.get() + done, archive.size - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        ::close(fd);
        benchmark::DoNotOptimize(buffer.get());
        if (done != archive.size) state.SkipWithError("short read");
        state.PauseTiming();
        buffer.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * archive.size));
}

// Reading the file into fresh memory as the load does, without the scan and the tables.
void BM_ReadArchiveFile(benchmark::State& state) {
    const LargeArchive& archive = Archive();
    for (auto _ : state) {
        std::string error;
        auto file = ArchiveFile::Open(archive.path, error);
        if (!file || file->Size() != archive.size) state.SkipWithError("read");
        state.PauseTiming();
        file.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * archive.size));
}

void BM_LoadArchive(benchmark::State& state) {
    const LargeArchive& archive = Archive();
    QuietHost host;
    for (auto _ : state) {
        auto model = std::make_unique<ArchiveModel>();
        const LoadResult result = LoadArchive(*model, archive.path, host);
        if (result.status != LoadStatus::Loaded) state.SkipWithError(result.problem.c_str());
        if (model->Images.size() != kBlocks * kImagesPerBlock) state.SkipWithError("images");
        state.PauseTiming();
        model.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * archive.size));
    state.counters["images"] = kBlocks * kImagesPerBlock;
}

// Baseline for the index-only load: read() of the whole file in pieces into one reused buffer,
// as `cat` does.
void BM_ReadInPieces(benchmark::State& state) {
    const LargeArchive& archive = Archive();
    std::vector<char> buffer(kIndexPieceSize);
    for (auto _ : state) {
        const int fd = ::open(archive.path.c_str(), O_RDONLY);
        std::size_t done = 0;
        for (ssize_t n; (n = ::read(fd, buffer.data(), buffer.size())) > 0;) {
            done += static_cast<std::size_t>(n);
            benchmark::DoNotOptimize(buffer.data());
        }
        ::close(fd);
        if (done != archive.size) state.SkipWithError("short read");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * archive.size));
}

// What `qxa info` and `qxa list` load: the same tables, the file read in pieces, no bytes kept.
// state.range(0): the piece size (the default first), or kIndexMapped to map the file (fast only
// while the page cache holds it in large pages, as it does this benchmark's file, written in
// one go).
void BM_LoadArchiveIndex(benchmark::State& state) {
    const LargeArchive& archive = Archive();
    QuietHost host;
    const auto pieceSize = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        auto model = std::make_unique<ArchiveModel>();
        const LoadResult result = LoadArchiveIndex(*model, archive.path, host, pieceSize);
        if (result.status != LoadStatus::Loaded) state.SkipWithError(result.problem.c_str());
        if (model->Images.size() != kBlocks * kImagesPerBlock) state.SkipWithError("images");
        state.counters["bytes_per_image"] = static_cast<double>(
            model->Images.capacity() * sizeof(ImageRecord) / model->Images.size());
        state.PauseTiming();
        model.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * archive.size));
}

void BM_ResetLoadedArchive(benchmark::State& state) {
    const LargeArchive& archive = Archive();
    QuietHost host;
    ArchiveModel model;
    for (auto _ : state) {
        state.PauseTiming();
        LoadArchive(model, archive.path, host);
        state.ResumeTiming();
        ResetArchive(model, host);
    }
}

// The scans over the file's bytes read once.
struct ArchiveBytes {
    std::shared_ptr<const ArchiveFile> file;
    ArchiveBytes() {
        std::string error;
        file = ArchiveFile::Open(Archive().path, error);
        benchmark::DoNotOptimize(ScanTagsPortable(file->Bytes()));
    }
};

const ArchiveBytes& Bytes() {
    static const ArchiveBytes bytes;
    return bytes;
}

void BM_ScanTags(benchmark::State& state) {
    const auto bytes = Bytes().file->Bytes();
    for (auto _ : state) {
        TagPositions found = ScanTags(bytes);
        if (found.imageBlocks.size() != kBlocks + 1) state.SkipWithError("tags");
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

// The scan of one piece as an index-only load reads it: 128 KiB still in cache.
void BM_ScanTagsOnePieceInCache(benchmark::State& state) {
    const auto piece = Bytes().file->Bytes().subspan(1 << 20, kIndexPieceSize);
    for (auto _ : state) {
        TagPositions found;
        ScanTagsInto(piece, 0, found);
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * piece.size()));
}

// The same scan over random bytes, where one 64-byte step in five holds an 'A'.
const std::vector<std::uint8_t>& RandomBytes() {
    static const std::vector<std::uint8_t> bytes = [] {
        std::vector<std::uint8_t> b(200u << 20);
        std::uint64_t x = 88172645463325252ULL;
        for (auto& v : b) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            v = static_cast<std::uint8_t>(x >> 32);
        }
        return b;
    }();
    return bytes;
}

void BM_ScanTagsRandomBytes(benchmark::State& state) {
    const auto& bytes = RandomBytes();
    for (auto _ : state) benchmark::DoNotOptimize(ScanTags(bytes));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

// Ceiling: touching every byte once (an OR over 16-byte words), what memory bandwidth allows.
void BM_TouchEveryByte(benchmark::State& state) {
    const auto bytes = Bytes().file->Bytes();
    for (auto _ : state) {
        const std::uint8_t* p = bytes.data();
        std::uint64_t acc0 = 0;
        std::uint64_t acc1 = 0;
        std::size_t i = 0;
        for (; i + 16 <= bytes.size(); i += 16) {
            std::uint64_t a;
            std::uint64_t b;
            std::memcpy(&a, p + i, 8);
            std::memcpy(&b, p + i + 8, 8);
            acc0 |= a;
            acc1 |= b;
        }
        benchmark::DoNotOptimize(acc0 | acc1);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

// Baseline: memmem for each of the two tags in turn.
void BM_ScanTagsMemmem(benchmark::State& state) {
    const auto bytes = Bytes().file->Bytes();
    for (auto _ : state) {
        std::size_t hits = 0;
        for (const char* tag : {"AGMI", "AnSt"}) {
            const std::uint8_t* p = bytes.data();
            const std::uint8_t* end = p + bytes.size();
            while (const void* hit = ::memmem(p, static_cast<std::size_t>(end - p), tag, 4)) {
                ++hits;
                p = static_cast<const std::uint8_t*>(hit) + 1;
            }
        }
        benchmark::DoNotOptimize(hits);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

BENCHMARK(BM_ReadWholeFile)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ReadWholeFileFreshMemory)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ReadArchiveFile)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_LoadArchive)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ReadInPieces)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_LoadArchiveIndex)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0)
    ->Arg(static_cast<std::int64_t>(IndexPieceSize()))
    ->Arg(kIndexPieceSize)
    ->Arg(kIndexMapped);
BENCHMARK(BM_ResetLoadedArchive)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ScanTags)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ScanTagsOnePieceInCache)->MinTime(0.5);
BENCHMARK(BM_ScanTagsRandomBytes)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_TouchEveryByte)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ScanTagsMemmem)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
