#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <random>
#include <vector>

#include "../../fuzz/targets/render_target.h"
#include "archive_builder.h"
#include "bitmap/cbitmap.h"
#include "recording_host.h"

namespace pixhaul {
namespace {

using testing::RecordingHost;

constexpr COLORREF kMagenta = 0xFF00FF;
constexpr const char* kCorrupt =
    "Stream corrupt, malformed, or Zorbo fucked up the decoding function.";

// The stream array as the loader hands it over: the stream bytes, then the trailing byte.
std::vector<std::uint8_t> WithTrailing(std::vector<std::uint8_t> stream,
                                       std::uint8_t trailing = 0xEE) {
    stream.push_back(trailing);
    return stream;
}

std::array<COLORREF, 256> TestPalette() {
    std::array<COLORREF, 256> palette{};
    for (int i = 1; i < 256; ++i) {
        palette[i] = MakeColorRef(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                                  static_cast<std::uint8_t>(i * 7));
    }
    palette[5] = MakeColorRef(255, 0, 0);
    return palette;
}

// Pixel (x, y) of the pixel buffer, y from the top.
COLORREF BufferPixel(const cBitMap& bmp, int x, int y) {
    const auto& h = bmp.Header();
    const std::uint8_t* p =
        bmp.PixelBuffer().data() + StrideFor(h.biWidth) * (h.biHeight - 1 - y) + 3 * x;
    return MakeColorRef(p[2], p[1], p[0]);
}

// Every pixel of the surface, top row first, as COLORREF values.
std::vector<COLORREF> SurfacePixels(const cBitMap& bmp) {
    std::vector<COLORREF> pixels;
    for (int y = 0; y < bmp.Header().biHeight; ++y) {
        for (int x = 0; x < bmp.Header().biWidth; ++x) pixels.push_back(BufferPixel(bmp, x, y));
    }
    return pixels;
}

struct DecodeCase {
    const char* name;
    std::int16_t type, width, height;
    std::vector<std::uint8_t> stream;
    std::uint8_t trailing;
    RenderOutcome outcome;
    std::int16_t widthAfter;
    std::vector<COLORREF> pixels;  // the whole surface, top row first
};

constexpr COLORREF M = kMagenta;  // black decoded
constexpr COLORREF kRed = 0x0000FF;

TEST(Render, DecodesStreams) {
    const auto pal = TestPalette();
    using enum RenderOutcome;
    // clang-format off
    const DecodeCase cases[] = {
        {"palette run", kPaletteType, 2, 1, {0x02, 0x05}, 0xEE, Rendered, 2, {kRed, kRed}},
        {"24-bit literal with black", k24BitType, 2, 1, {0x82, 0x10, 0x20, 0x30, 0, 0, 0}, 0xEE,
         Rendered, 2, {0x102030, M}},
        {"15-bit colours; odd width kept, extra column black", k15BitType, 3, 1,
         {0x83, 0xFF, 0x7F, 0x00, 0x80, 0x00, 0x04}, 0xEE, Rendered, 3, {0xF8F8F8, M, 0x000008, 0}},
        {"opcode 0 consumes its colour", kPaletteType, 2, 1, {0x00, 0x05, 0x02, 0x07}, 0xEE,
         Rendered, 2, {pal[7], pal[7]}},
        {"run across a row end, early end stays black", k15BitType, 3, 2, {0x05, 0x1F, 0x00}, 0xEE,
         Rendered, 3, {0xF80000, 0xF80000, 0xF80000, 0, 0xF80000, 0xF80000, 0, 0}},
        {"odd palette width: rows of 4", kPaletteType, 3, 2, {0x88, 1, 2, 3, 4, 5, 6, 7, 8}, 0xEE,
         Rendered, 4, {pal[1], pal[2], pal[3], pal[4], pal[5], pal[6], pal[7], pal[8]}},
        {"odd 24-bit width: rows of 2", k24BitType, 1, 2, {0x04, 0x01, 0x02, 0x03}, 0xEE,
         Rendered, 2, {0x010203, 0x010203, 0x010203, 0x010203}},
        {"unknown type reads no colours", 7, 5, 2, {0x03, 0x82, 0x05}, 0xEE,
         Rendered, 6, {M, M, M, M, M, M, M, M, M, M, 0, 0}},
        {"bytes after a full image ignored", k24BitType, 2, 1, {0x05, 1, 2, 3, 0x80, 0x80}, 0xEE,
         Rendered, 2, {0x010203, 0x010203}},
        {"trailing byte is never an opcode", k24BitType, 2, 1, {0x81, 1, 2, 3}, 0x80,
         Rendered, 2, {0x010203, 0}},
        {"trailing byte may end a colour", k24BitType, 2, 1, {0x02, 0x10, 0x20}, 0x30,
         Rendered, 2, {0x102030, 0x102030}},
        {"opcode 128 keeps what came before", k24BitType, 2, 2,
         {0x03, 1, 2, 3, 0x80, 0x02, 0, 0, 9}, 0xEE, Corrupt, 2, {0x010203, 0x010203, 0x010203, 0}},
        {"run colour past the end", k24BitType, 2, 1, {0x02, 0x10}, 0x20, Corrupt, 2, {0, 0}},
        {"literal cut short", kPaletteType, 6, 1, {0x84, 1, 2}, 3,
         Corrupt, 6, {pal[1], pal[2], pal[3], 0, 0, 0}},
        {"literal cut short after a full image", kPaletteType, 2, 1, {0x84, 1, 2}, 3,
         Rendered, 2, {pal[1], pal[2]}},
        {"15-bit colour cut in half", k15BitType, 2, 1, {0x01, 0x10, 0x20, 0x02}, 0x11,
         Corrupt, 2, {0x800040, 0}},
    };
    // clang-format on
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        cBitMap bmp;
        std::vector<std::uint8_t> array = c.stream;
        array.push_back(c.trailing);
        bmp.SetData(c.height, c.width, c.type, array);
        bmp.SetPalette(pal);
        RecordingHost host;
        EXPECT_EQ(bmp.Render(kMagenta, host), c.outcome);
        EXPECT_EQ(bmp.IsRendered(), c.outcome == Rendered);
        EXPECT_EQ(bmp.Width(), c.widthAfter);
        EXPECT_EQ(SurfacePixels(bmp), c.pixels);
        ASSERT_EQ(host.messages.size(), c.outcome == Corrupt ? 1u : 0u);
        if (c.outcome == Corrupt) {
            EXPECT_EQ(host.messages[0].text, kCorrupt);
            EXPECT_EQ(bmp.Render(kMagenta, host), Corrupt);  // told again on every render
        }
    }
}

// Random mixes of runs and literals, long enough for the unchecked part of the decoder, at row
// widths around the vector group sizes: whole-store run ends and whole-group literals must never
// reach bytes that are already decoded or stay unwritten. Noisy streams are mostly literals
// between runs of up to four, in stretches of thousands of pixels.
TEST(Render, RandomStreamsMatchThePlainDecoder) {
    struct Mix {
        std::int16_t width;
        bool noisy;
    };
    constexpr Mix kMixes[] = {{1, false},  {7, false},   {9, false},   {16, false}, {17, false},
                              {33, false}, {100, false}, {255, false}, {1, true},   {5, true},
                              {16, true},  {100, true},  {255, true}};
    const auto pal = TestPalette();
    std::mt19937 rng(11);
    // Each of the decoder's paths: the widest this processor has, then without the AVX-512 run
    // loop, then without any vector code (as other processors decode).
    for (const int path : {0, 1, 2}) {
        const fuzz::DecoderPath chosen(path);
        // Type 7 is none of the three: its packets carry no colours and decode to black.
        for (const std::int16_t type : {kPaletteType, k15BitType, k24BitType, std::int16_t{7}}) {
            const int bytes = type == kPaletteType ? 1 : type == k15BitType ? 2 : type == 7 ? 0 : 3;
            for (const auto& [width, noisy] : kMixes) {
                std::vector<std::uint8_t> stream;
                while (stream.size() < (noisy ? 12000u : 4000u)) {
                    const bool literal = rng() % (noisy ? 8 : 2) != 0;
                    const int count = noisy && !literal ? static_cast<int>(rng() % 5)
                                                        : 1 + static_cast<int>(rng() % 127);
                    stream.push_back(static_cast<std::uint8_t>(literal ? 128 + count : count));
                    // Noise seldom has black, so most groups of 64 have none.
                    for (int i = 0; i < (literal ? count : 1) * bytes; ++i) {
                        const bool zero = rng() % (noisy ? 64 : 4) == 0;
                        stream.push_back(static_cast<std::uint8_t>(zero ? 0 : rng()));
                    }
                }
                stream.push_back(0x5A);  // the trailing byte
                // Noise fills narrow images over many rows, so that its packets end at row ends.
                const auto height =
                    static_cast<std::int16_t>(noisy ? std::max(30, 3000 / width) : 30);
                cBitMap bmp;
                bmp.SetData(height, width, type, stream);
                bmp.SetPalette(pal);
                RecordingHost host;
                ASSERT_EQ(bmp.Render(kMagenta, host), RenderOutcome::Rendered);
                const auto expected = fuzz::DecodeSlowly(StreamBytes(stream), type, bmp.Width(),
                                                         height, &pal, kMagenta);
                EXPECT_EQ(fuzz::CheckRendered(bmp, expected, bmp.Width()), "")
                    << type << " " << width << " " << noisy << " path " << path;
            }
        }
    }
}

TEST(Render, EmptyStreamsAndImpossibleSizesBuildNothing) {
    RecordingHost host;
    cBitMap empty;
    empty.SetData(4, 4, k24BitType, std::vector<std::uint8_t>{0x80});
    EXPECT_EQ(empty.Render(kMagenta, host), RenderOutcome::EmptyStream);
    cBitMap never;
    EXPECT_EQ(never.Render(kMagenta, host), RenderOutcome::EmptyStream);
    EXPECT_TRUE(host.messages.empty());

    struct Size {
        std::int16_t height, width, type;
    };
    const Size sizes[] = {{0, 4, k24BitType},
                          {-3, 4, k24BitType},
                          {4, -2, k15BitType},
                          {32767, 32767, k15BitType},
                          {1, 32767, kPaletteType}};  // 32768 does not fit the width field
    for (const Size& size : sizes) {
        cBitMap bmp;
        bmp.SetData(size.height, size.width, size.type, WithTrailing({0x02, 0x01, 0x02, 0x03}));
        EXPECT_EQ(bmp.Render(kMagenta, host), RenderOutcome::TooLarge) << size.width;
        EXPECT_TRUE(bmp.PixelBuffer().empty());
    }
    ASSERT_EQ(host.messages.size(), std::size(sizes));
    EXPECT_NE(host.messages[0].text.find("damaged"), std::string::npos);

    // A 15-bit image 32767 wide needs only a surface 32768 wide.
    cBitMap wide;
    wide.SetData(1, 32767, k15BitType, WithTrailing({0x7F, 0x01, 0x02}));
    EXPECT_EQ(wide.Render(kMagenta, host), RenderOutcome::Rendered);
    EXPECT_EQ(wide.Header().biWidth, 32768);
}

}  // namespace
}  // namespace pixhaul
