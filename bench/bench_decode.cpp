// Sprite decoding and stretching throughput, beside memcpy of the same number of output bytes.
//
// Each decode benchmark renders a set of 256 x 256 sprites in turn (Render, then Purge, as the
// viewer does with caching off). "Run-heavy" sprites are shapes of a few flat colours on black,
// mostly long runs; "literal-heavy" ones are noise, all literal packets.
#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "archive_builder.h"
#include "bitmap/cbitmap.h"
#include "platform/host.h"

namespace {

using namespace pixhaul;

constexpr int kSide = 256;
constexpr int kSprites = 300;
constexpr std::size_t kOutputBytes = std::size_t{kSide} * kSide * 3;

enum class Content { RunHeavy, LiteralHeavy };

std::uint32_t Narrow(std::int16_t type, std::uint32_t colour) {
    if (type == kPaletteType) return colour & 0xFF;
    if (type == k15BitType) return colour & 0x7FFF;
    return colour & 0xFFFFFF;
}

std::vector<std::uint8_t> MakeStream(std::int16_t type, Content content, std::uint32_t seed) {
    std::mt19937 rng(seed);
    const std::uint32_t body = static_cast<std::uint32_t>(rng()) | 0x010101;
    const std::uint32_t trim = static_cast<std::uint32_t>(rng()) | 0x101010;
    const int radius = 70 + static_cast<int>(rng() % 50);
    auto pixel = [&](int x, int y) -> std::uint32_t {
        if (content == Content::LiteralHeavy)
            return Narrow(type, static_cast<std::uint32_t>(rng()));
        const int dx = x - kSide / 2, dy = y - kSide / 2;
        const int d2 = dx * dx + dy * dy;
        if (d2 > radius * radius) return 0;
        if (d2 > (radius - 3) * (radius - 3)) return Narrow(type, trim);  // outline
        return Narrow(type, (y / 32) % 2 == 0 ? body : body ^ 0x203040);
    };
    std::vector<std::uint8_t> stream = testing::EncodeImage(type, kSide, kSide, pixel);
    stream.push_back(0);  // the trailing byte
    return stream;
}

struct SpriteSet {
    std::vector<std::unique_ptr<cBitMap>> sprites;
    std::array<COLORREF, 256> palette{};
    std::size_t streamBytes = 0;
};

const SpriteSet& Sprites(std::int16_t type, Content content) {
    static std::array<std::unique_ptr<SpriteSet>, 6> sets;
    const int slot = (type == kPaletteType ? 0
                      : type == k15BitType ? 1
                                           : 2) *
                         2 +
                     (content == Content::RunHeavy ? 0 : 1);
    if (!sets[slot]) {
        auto set = std::make_unique<SpriteSet>();
        for (int i = 0; i < 256; ++i) set->palette[i] = static_cast<COLORREF>(i * 0x010203);
        for (int i = 0; i < kSprites; ++i) {
            auto bmp = std::make_unique<cBitMap>();
            auto stream = MakeStream(type, content, static_cast<std::uint32_t>(i + 1));
            set->streamBytes += stream.size();
            bmp->SetData(kSide, kSide, type, std::move(stream));
            set->sprites.push_back(std::move(bmp));
        }
        sets[slot] = std::move(set);
    }
    return *sets[slot];
}

void Decode(benchmark::State& state, std::int16_t type, Content content) {
    const SpriteSet& set = Sprites(type, content);
    QuietHost host;
    for (auto _ : state) {
        for (const auto& sprite : set.sprites) {
            if (type == kPaletteType) sprite->SetPalette(set.palette);
            sprite->Render(0xFF00FF, host);
            benchmark::DoNotOptimize(sprite->PixelBuffer().data());
            sprite->Purge();
        }
    }
    const auto pixels = static_cast<std::int64_t>(kSide) * kSide * kSprites;
    state.SetBytesProcessed(state.iterations() * pixels * 3);
    state.counters["Mpixel/s"] = benchmark::Counter(static_cast<double>(pixels) * 1e-6,
                                                    benchmark::Counter::kIsIterationInvariantRate);
    state.counters["stream_MiB"] = static_cast<double>(set.streamBytes) / (1 << 20);
}

// The same output volume as one decode iteration: one sprite-sized copy per sprite. The
// destination sits 64 bytes off the source's page offset: with equal offsets this machine's
// memcpy slows down several times (4 KiB aliasing), which would flatter the decoder.
void MemcpyBaseline(benchmark::State& state) {
    std::vector<std::uint8_t> source(kOutputBytes, 0x5A);
    std::vector<std::uint8_t> dest(kOutputBytes + 64);
    for (auto _ : state) {
        for (int i = 0; i < kSprites; ++i) {
            std::memcpy(dest.data() + 64, source.data(), kOutputBytes);
            benchmark::ClobberMemory();
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kOutputBytes) *
                            kSprites);
}
BENCHMARK(MemcpyBaseline)->Unit(benchmark::kMillisecond);

// The same output volume as one memcpy of tens of MiB, out of cache like the streams the
// literal-heavy decodes read.
void MemcpyOutputVolume(benchmark::State& state) {
    const std::size_t bytes = kOutputBytes * kSprites;
    std::vector<std::uint8_t> source(bytes, 0x5A), dest(bytes + 64);
    for (auto _ : state) {
        std::memcpy(dest.data() + 64, source.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}
BENCHMARK(MemcpyOutputVolume)->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(Decode, palette_run_heavy, kPaletteType, Content::RunHeavy)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, palette_literal_heavy, kPaletteType, Content::LiteralHeavy)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, rgb15_run_heavy, k15BitType, Content::RunHeavy)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, rgb15_literal_heavy, k15BitType, Content::LiteralHeavy)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, rgb24_run_heavy, k24BitType, Content::RunHeavy)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, rgb24_literal_heavy, k24BitType, Content::LiteralHeavy)
    ->Unit(benchmark::kMillisecond);

// ShowImage at zoom 10: the picture box cleared to its background, then a 256 x 256 sprite
// stretched onto it (2560 x 2560).
void ShowAtZoom10(benchmark::State& state) {
    cBitMap sprite;
    sprite.SetData(kSide, kSide, k24BitType, MakeStream(k24BitType, Content::RunHeavy, 7));
    QuietHost host;
    sprite.Render(0xFF00FF, host);
    Surface picture(kSide * 10, kSide * 10);
    picture.Fill(0xFF00FF);
    for (auto _ : state) {
        picture.Fill(0xFF00FF);
        sprite.DrawTo(&picture, 0, 0, 0, 0, kSide, kSide, 10.0, 10.0, SRCCOPY);
        benchmark::DoNotOptimize(picture.Bits());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(picture.SizeBytes()));
}
BENCHMARK(ShowAtZoom10)->Unit(benchmark::kMillisecond);

void StretchOnlyZoom10(benchmark::State& state) {
    cBitMap sprite;
    sprite.SetData(kSide, kSide, k24BitType, MakeStream(k24BitType, Content::RunHeavy, 7));
    QuietHost host;
    sprite.Render(0xFF00FF, host);
    Surface picture(kSide * 10, kSide * 10);
    picture.Fill(0xFF00FF);
    for (auto _ : state) {
        sprite.DrawTo(&picture, 0, 0, 0, 0, kSide, kSide, 10.0, 10.0, SRCCOPY);
        benchmark::DoNotOptimize(picture.Bits());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(picture.SizeBytes()));
}
BENCHMARK(StretchOnlyZoom10)->Unit(benchmark::kMillisecond);

// memcpy of one 2560 x 2560 picture's bytes, the baseline for the two above.
void MemcpyPicture(benchmark::State& state) {
    const std::size_t bytes = static_cast<std::size_t>(StrideFor(kSide * 10)) * kSide * 10;
    std::vector<std::uint8_t> source(bytes, 0x5A), dest(bytes + 64);
    for (auto _ : state) {
        std::memcpy(dest.data() + 64, source.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}
BENCHMARK(MemcpyPicture)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
