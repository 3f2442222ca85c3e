// ShowImage of a 256 x 256 sprite at zoom 1, 4 and 10, caching off and on, on the offscreen
// platform, beside two baselines: decoding the same sprite alone, and a memcpy of as many bytes
// as the window's 32-bit pixels. By default the window is large enough for the whole zoomed
// image; PIXHAUL_BENCH_WINDOW sizes it as a maximised window would be.
#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive_builder.h"
#include "form1.h"

namespace {

using namespace pixhaul;
using namespace pixhaul::testing;

constexpr int kSide = 256;
constexpr int kImages = 16;

// A sprite-like palette image: a filled disc in a few shades on a black (transparent) ground.
std::vector<std::uint8_t> SpriteStream(int seed) {
    return EncodeImage(kPaletteType, kSide, kSide, [seed](int x, int y) {
        const int dx = x - kSide / 2, dy = y - kSide / 2;
        const int r2 = dx * dx + dy * dy;
        if (r2 > 110 * 110) return 0u;
        return static_cast<std::uint32_t>(1 + (r2 / 1500 + seed) % 12);
    });
}

struct Fixture {
    Fixture(int windowWidth, int windowHeight) {
        ImageBlockSpec thumbs;
        ImageBlockSpec block;
        for (int i = 0; i < 256; ++i) block.palette[i] = MakeColorRef(i, 255 - i, i / 2);
        for (int i = 0; i < kImages; ++i) {
            ImageSpec image;
            image.id = 100 + i;
            image.width = kSide;
            image.height = kSide;
            image.type = kPaletteType;
            image.stream = SpriteStream(i);
            block.images.push_back(image);
        }
        ObjectSpec object;
        DirectionSpec direction;
        for (int i = 0; i < kImages; ++i) direction.frames.push_back({0, 100 + i});
        object.actions.push_back({{direction}, "Spin", {}, {}});
        WriteFile(dir.File("bench.qxa"),
                  ArchiveBuilder().ImageBlock(thumbs).ImageBlock(block).Object(object).Build());
        windowBytes = static_cast<std::size_t>(windowWidth) * windowHeight * 4;
        form = std::make_unique<viewer::Form1>();
        form->resize(windowWidth, windowHeight);
        form->show();
        QApplication::processEvents();
        form->OpenArchive(dir.File("bench.qxa"));
    }
    void SetCaching(bool on) {
        auto* item = form->findChild<QAction*>("mnuOpt_7");
        if (item->isChecked() != on) item->setChecked(on);
    }
    TempDir dir;
    std::size_t windowBytes = 0;
    std::unique_ptr<viewer::Form1> form;
};

// The window lives from main's start to its end, inside the application object's life.
std::unique_ptr<Fixture>& SharedSlot() {
    static std::unique_ptr<Fixture> fixture;
    return fixture;
}
Fixture& Shared() {
    return *SharedSlot();
}

void BM_ShowImage(benchmark::State& state) {
    Fixture& f = Shared();
    f.form->Config().Zoom = static_cast<double>(state.range(0));
    f.SetCaching(state.range(1) != 0);
    int i = 0;
    for (auto _ : state) {
        f.form->ShowImage(i);
        i = (i + 1) % kImages;
    }
    state.counters["ms_per_image"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 1e-3,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ShowImage)
    ->ArgNames({"zoom", "cache"})
    ->Args({1, 0})
    ->Args({4, 0})
    ->Args({10, 0})
    ->Args({1, 1})
    ->Args({4, 1})
    ->Args({10, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One playback step (what each tick of the playback timer does: the next frame of the chosen
// direction, shown) at zoom 4, caching off: it must stay under 16.7 ms to keep up with 60 fps.
void BM_PlaybackStep(benchmark::State& state) {
    Fixture& f = Shared();
    f.form->Config().Zoom = 4;
    f.SetCaching(false);
    for (const char* list : {"List1", "List2", "List3"}) {
        f.form->findChild<QComboBox*>(list)->setCurrentIndex(0);
    }
    QAction* next = f.form->findChild<QAction*>("mnuNextFrame");
    for (auto _ : state) next->trigger();
    state.counters["ms_per_step"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 1e-3,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PlaybackStep)->Unit(benchmark::kMillisecond)->UseRealTime();

// Baseline: the decode alone (palette, Render, Purge), as ShowImage does it with caching off.
void BM_DecodeOnly(benchmark::State& state) {
    Fixture& f = Shared();
    QuietHost host;
    int i = 0;
    for (auto _ : state) {
        ImageRecord& image = f.form->Model().Images[static_cast<std::size_t>(i)];
        cBitMap& bitmap = f.form->Model().ImageBitmap(static_cast<std::size_t>(i));
        bitmap.Purge();
        bitmap.SetPalette(ReadBlockPalette(f.form->Model(), image.PaletteIndex));
        bitmap.Render(0xFF00FF, host);
        bitmap.Purge();
        i = (i + 1) % kImages;
    }
    state.counters["ms_per_image"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 1e-3,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DecodeOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

// Baseline: copying the window's 32-bit pixels once, what a whole-window redraw must write.
void BM_MemcpyWindow(benchmark::State& state) {
    const std::size_t bytes = Shared().windowBytes;
    std::vector<std::uint8_t> from(bytes, 1), to(bytes, 0);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.counters["ms_per_copy"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 1e-3,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MemcpyWindow)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    // PIXHAUL_BENCH_WINDOW=WxH sizes the window; the default holds a whole 2560 x 2560 picture.
    int width = 2560 + 400, height = 2560 + 300;
    if (const char* size = std::getenv("PIXHAUL_BENCH_WINDOW")) {
        std::sscanf(size, "%dx%d", &width, &height);
    }
    SharedSlot() = std::make_unique<Fixture>(width, height);
    benchmark::AddCustomContext("window", std::to_string(width) + "x" + std::to_string(height));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    SharedSlot().reset();
    return 0;
}
