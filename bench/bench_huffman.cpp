// Throughput of the Huffman coder on the kind of input the SIF export gives it: the 24-bit
// run-length stream (records of count, red, green, blue) of a large sprite sheet. The baseline
// is zlib's deflate in Huffman-only mode on the same bytes, measured in the same run.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "formats/huffman.h"
#include "formats/huffman_decode.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Rgb {
    std::uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
};

// Run-length codes pixels into 4-byte records, runs cut at 127, starting from black.
class RunLengthSink {
  public:
    void Add(Rgb c) {
        if (c == prev_ && count_ < 127) {
            ++count_;
            return;
        }
        Flush();
        prev_ = c;
        count_ = 1;
    }
    Bytes Finish() {
        Flush();
        return std::move(out_);
    }

  private:
    void Flush() {
        out_.insert(out_.end(), {static_cast<std::uint8_t>(count_), prev_.r, prev_.g, prev_.b});
    }
    Bytes out_;
    Rgb prev_{0, 0, 0};
    int count_ = 0;
};

// A sheet of sprites on magenta: each sprite a shaded, outlined blob with a little texture,
// drawn from a palette of a couple of dozen colours, as game sprites tend to be.
Bytes SpriteSheetStream(int width, int height) {
    constexpr int kCellW = 96, kCellH = 128;
    const Rgb background{255, 0, 255};
    std::array<Rgb, 24> palette{};
    std::mt19937 rng(2024);
    for (int i = 0; i < 24; ++i) {
        const int shade = 40 + (i % 6) * 40;
        switch (i / 6) {
            case 0:
                palette[i] = {std::uint8_t(shade), std::uint8_t(shade / 2), 20};
                break;
            case 1:
                palette[i] = {30, std::uint8_t(shade), std::uint8_t(shade / 3)};
                break;
            case 2:
                palette[i] = {std::uint8_t(shade), std::uint8_t(shade), std::uint8_t(shade)};
                break;
            default:
                palette[i] = {std::uint8_t(shade / 2), 40, std::uint8_t(shade)};
                break;
        }
    }
    RunLengthSink sink;
    for (int y = 0; y < height; ++y) {
        const int cy = y % kCellH, row = y / kCellH;
        for (int x = 0; x < width; ++x) {
            const int cx = x % kCellW, col = x / kCellW;
            const int seed = row * 131 + col * 17;
            // An ellipse per cell, its size varying from sprite to sprite.
            const int rx = 24 + seed % 20, ry = 40 + seed % 22;
            const int dx = cx - kCellW / 2, dy = cy - kCellH / 2;
            const long d = 1000L * dx * dx / (rx * rx) + 1000L * dy * dy / (ry * ry);
            if (d > 1000) {
                sink.Add(background);
            } else if (d > 850) {
                sink.Add(Rgb{0, 0, 0});  // outline
            } else {
                const int band = static_cast<int>(d / 170);  // shading rings
                const int base = (seed % 4) * 6;
                int idx = base + 5 - band;
                if (rng() % 5 == 0) idx = base + static_cast<int>(rng() % 6);  // texture
                sink.Add(palette[static_cast<std::size_t>(idx)]);
            }
        }
    }
    return sink.Finish();
}

const Bytes& Input() {
    static const Bytes stream = [] {
        Bytes s = SpriteSheetStream(8192, 6144);
        // Sanity: our block reads back (outside any timing).
        const Bytes block = pixhaul::HuffmanEncoded(s);
        const pixhaul::HuffmanDecoded back = pixhaul::HuffmanDecode(block);
        if (!back.ok() || back.data != s) {
            std::fprintf(stderr, "round trip failed: %s\n", back.error.c_str());
            std::abort();
        }
        pixhaul::ByteHistogram histogram;
        histogram.Add(s);
        const pixhaul::HuffmanPlan plan(histogram);
        std::fprintf(stderr,
                     "input: %zu bytes of run-length stream, coded to %zu bytes, longest code "
                     "%d bits\n",
                     s.size(), block.size(), plan.MaxBitCount());
        return s;
    }();
    return stream;
}

void BM_HuffmanEncode(benchmark::State& state) {
    const Bytes& in = Input();
    for (auto _ : state) {
        Bytes block = pixhaul::HuffmanEncoded(in);
        benchmark::DoNotOptimize(block.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
}

void BM_ZlibHuffmanOnly(benchmark::State& state) {
    const Bytes& in = Input();
    Bytes out(compressBound(static_cast<uLong>(in.size())));
    for (auto _ : state) {
        z_stream z{};
        deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_HUFFMAN_ONLY);
        z.next_in = const_cast<Bytef*>(in.data());
        z.avail_in = static_cast<uInt>(in.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        deflate(&z, Z_FINISH);
        benchmark::DoNotOptimize(z.total_out);
        deflateEnd(&z);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
}

void BM_ByteHistogram(benchmark::State& state) {
    const Bytes& in = Input();
    for (auto _ : state) {
        pixhaul::ByteHistogram h;
        h.Add(in);
        benchmark::DoNotOptimize(h.Total());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
}

void BM_HuffmanDecode(benchmark::State& state) {
    const Bytes& in = Input();
    const Bytes block = pixhaul::HuffmanEncoded(in);
    for (auto _ : state) {
        pixhaul::HuffmanDecoded back = pixhaul::HuffmanDecode(block);
        benchmark::DoNotOptimize(back.data.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
}

// The streamed decoder into one reused buffer, as zlib's baseline below writes: the decoding
// alone, without the whole-source allocation of HuffmanDecode.
void BM_HuffmanDecodeIntoBuffer(benchmark::State& state) {
    const Bytes& in = Input();
    const Bytes block = pixhaul::HuffmanEncoded(in);
    Bytes out(in.size());
    pixhaul::HuffmanStreamDecoder::PairingCounts pairing;
    for (auto _ : state) {
        pixhaul::HuffmanStreamDecoder decoder;
        decoder.EnablePairing(state.range(0) != 0);
        if (!decoder.Open(block).empty()) state.SkipWithError("block does not open");
        decoder.Read(out);
        if (!decoder.End().empty()) state.SkipWithError("block does not decode");
        benchmark::DoNotOptimize(out.data());
        pairing = decoder.Pairing();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
    state.counters["joined"] = static_cast<double>(pairing.joined);
    state.counters["dropped"] = static_cast<double>(pairing.dropped);
}

// The baseline for decoding: zlib inflating its own Huffman-only stream of the same bytes.
void BM_ZlibInflate(benchmark::State& state) {
    const Bytes& in = Input();
    Bytes packed(compressBound(static_cast<uLong>(in.size())));
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_HUFFMAN_ONLY);
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = packed.data();
    z.avail_out = static_cast<uInt>(packed.size());
    deflate(&z, Z_FINISH);
    packed.resize(z.total_out);
    deflateEnd(&z);
    Bytes out(in.size());
    for (auto _ : state) {
        z_stream d{};
        inflateInit2(&d, 15);
        d.next_in = packed.data();
        d.avail_in = static_cast<uInt>(packed.size());
        d.next_out = out.data();
        d.avail_out = static_cast<uInt>(out.size());
        inflate(&d, Z_FINISH);
        benchmark::DoNotOptimize(d.total_out);
        inflateEnd(&d);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
}

BENCHMARK(BM_ZlibHuffmanOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HuffmanEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ByteHistogram)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HuffmanDecode)->Unit(benchmark::kMillisecond);
// Argument: 1 with several decoding chains (the default), 0 with one.
BENCHMARK(BM_HuffmanDecodeIntoBuffer)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
