#include "bitmap/cbitmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "recording_host.h"

namespace pixhaul {
namespace {

using testing::RecordingHost;

constexpr COLORREF kMagenta = 0xFF00FF;
constexpr COLORREF kGrey = 0x404040;

bool AllZero(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

// A 24-bit image whose pixel (x, y) is MakeColorRef(x + 1, y + 1, 0x80), rendered.
void RenderGradient(cBitMap& bmp, int width, int height) {
    std::vector<std::uint8_t> stream;
    const int rowWidth = width + width % 2;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < rowWidth; ++x) {
            stream.insert(stream.end(), {0x81, 0x80, static_cast<std::uint8_t>(y + 1),
                                         static_cast<std::uint8_t>(x + 1)});
        }
    }
    stream.push_back(0);
    bmp.SetData(static_cast<std::int16_t>(height), static_cast<std::int16_t>(width), k24BitType,
                stream);
    RecordingHost host;
    ASSERT_EQ(bmp.Render(kMagenta, host), RenderOutcome::Rendered);
}

COLORREF Gradient(int x, int y) {
    return MakeColorRef(static_cast<std::uint8_t>(x + 1), static_cast<std::uint8_t>(y + 1), 0x80);
}

// Columns and rows of the target that differ from its fill colour.
std::pair<int, int> DrawnSize(const Surface& s) {
    int w = 0, h = 0;
    for (int x = 0; x < s.Width(); ++x) w += s.PixelAt(x, 0) != kGrey;
    for (int y = 0; y < s.Height(); ++y) h += s.PixelAt(0, y) != kGrey;
    return {w, h};
}

TEST(MakeNewBlank, BuildsABlackSurfaceOfExactlyTheGivenSize) {
    cBitMap bmp;
    bmp.MakeNewBlank(3, 5);
    ASSERT_NE(bmp.hDC(), nullptr);
    EXPECT_EQ(bmp.Header().biWidth, 5);
    EXPECT_EQ(bmp.Header().biHeight, 3);
    EXPECT_EQ(bmp.Header().biSizeImage, 48u);
    EXPECT_EQ(bmp.RowPadding(), 1);
    EXPECT_EQ(bmp.hDC()->Stride(), 16);
    EXPECT_GE(bmp.PixelBuffer().size(), 48u);
    EXPECT_TRUE(AllZero(bmp.PixelBuffer()));
    EXPECT_FALSE(bmp.IsRendered());

    bmp.MakeNewBlank(2, 4);
    EXPECT_EQ(bmp.RowPadding(), 0);
    EXPECT_EQ(bmp.hDC()->Stride(), 12);

    // The rendered flag and the image's own fields are left alone.
    cBitMap rendered;
    RenderGradient(rendered, 3, 2);
    rendered.MakeNewBlank(7, 7);
    EXPECT_TRUE(rendered.IsRendered());
    EXPECT_EQ(rendered.Width(), 4);
    EXPECT_TRUE(AllZero(rendered.PixelBuffer()));
}

TEST(MakeNewBlank, DrawingReachesTheBufferOnlyThroughRefreshBits) {
    cBitMap bmp;
    bmp.MakeNewBlank(2, 3);
    Surface source(3, 2);
    source.Fill(MakeColorRef(0x0A, 0x14, 0x1E));
    BitBlt(*bmp.hDC(), 0, 0, 3, 2, source, 0, 0, SRCPAINT);
    EXPECT_TRUE(AllZero(bmp.PixelBuffer()));
    bmp.RefreshBits();
    const auto buffer = bmp.PixelBuffer();
    EXPECT_EQ(buffer[0], 0x1E);  // blue, green, red
    EXPECT_EQ(buffer[1], 0x14);
    EXPECT_EQ(buffer[2], 0x0A);
    EXPECT_EQ(buffer[12 + 3 * 2 + 2], 0x0A);  // second row's last red byte

    // Drawing the buffer back out shows the copy.
    Surface target(3, 2);
    bmp.DrawTo(&target, 0, 0, 0, 0, 3, 2, 1.0, 1.0, SRCCOPY);
    EXPECT_EQ(target.PixelAt(2, 1), MakeColorRef(0x0A, 0x14, 0x1E));
}

TEST(DrawTo, OneToOneCopiesWhateverTheOperation) {
    cBitMap bmp;
    RenderGradient(bmp, 4, 3);
    Surface target(6, 6);
    target.Fill(kGrey);
    bmp.DrawTo(&target, 1, 1, 2, 2, 2, 2, 1.0, 1.0, 0x12345678);
    EXPECT_EQ(target.PixelAt(2, 2), Gradient(1, 1));
    EXPECT_EQ(target.PixelAt(3, 3), Gradient(2, 2));
    EXPECT_EQ(target.PixelAt(1, 2), kGrey);
    EXPECT_EQ(target.PixelAt(4, 4), kGrey);
}

TEST(DrawTo, SourceRowsCountFromTheTop) {
    cBitMap bmp;
    RenderGradient(bmp, 2, 5);
    Surface target(2, 2);
    bmp.DrawTo(&target, 0, 0, 0, 0, 2, 2, 1.0, 1.0, SRCCOPY);
    EXPECT_EQ(target.PixelAt(0, 0), Gradient(0, 0));
    EXPECT_EQ(target.PixelAt(1, 1), Gradient(1, 1));
    Surface stretched(4, 4);
    bmp.DrawTo(&stretched, 0, 3, 0, 0, 2, 2, 2.0, 2.0, SRCCOPY);
    EXPECT_EQ(stretched.PixelAt(0, 0), Gradient(0, 3));
    EXPECT_EQ(stretched.PixelAt(3, 3), Gradient(1, 4));
}

TEST(DrawTo, StretchedSizeRoundsHalvesToEven) {
    struct Case {
        int w, h;
        double xs, ys;
        int wantW, wantH;
    };
    const Case cases[] = {
        {3, 1, 1.5, 1.0, 4, 1},  // 4.5 -> 4
        {1, 1, 2.5, 2.5, 2, 2},  // 2.5 -> 2
        {3, 3, 2.5, 1.5, 8, 4},  // 7.5 -> 8, 4.5 -> 4
        {2, 2, 1.0, 2.0, 2, 4},  // one scale of 1 still stretches
        {4, 3, 0.5, 0.5, 2, 2},  // 1.5 -> 2
        {3, 3, 1.2, 1.0, 4, 3},  // 3.6 -> 4
    };
    for (const Case& c : cases) {
        cBitMap bmp;
        RenderGradient(bmp, 4, 3);
        Surface target(12, 12);
        target.Fill(kGrey);
        bmp.DrawTo(&target, 0, 0, 0, 0, c.w, c.h, c.xs, c.ys, SRCCOPY);
        EXPECT_EQ(DrawnSize(target), std::make_pair(c.wantW, c.wantH))
            << c.w << "x" << c.h << " at " << c.xs << "," << c.ys;
    }
}

TEST(DrawTo, StretchUsesTheOperation) {
    cBitMap bmp;
    RenderGradient(bmp, 2, 2);
    Surface target(4, 4);
    target.Fill(0x010000);
    bmp.DrawTo(&target, 0, 0, 0, 0, 2, 2, 2.0, 2.0, SRCPAINT);
    EXPECT_EQ(target.PixelAt(3, 3), Gradient(1, 1) | 0x010000);
}

TEST(DrawTo, WithoutASurfaceOrTargetDoesNothing) {
    cBitMap bmp;
    Surface target(4, 4);
    bmp.DrawTo(&target, 0, 0, 0, 0, 2, 2, 1.0, 1.0, SRCCOPY);
    bmp.DrawTo(&target, 0, 0, 0, 0, 2, 2, 3.0, 3.0, SRCCOPY);
    bmp.RefreshBits();
    bmp.Purge();
    EXPECT_EQ(target.Bits(), nullptr);
    RenderGradient(bmp, 2, 2);
    bmp.DrawTo(nullptr, 0, 0, 0, 0, 2, 2, 1.0, 1.0, SRCCOPY);
}

TEST(SetPalette, ShortAndLongArrays) {
    std::vector<COLORREF> colours(300);
    for (std::size_t i = 0; i < colours.size(); ++i) colours[i] = 0x10203 * (i % 80) + 0x010101;

    cBitMap shortOne;
    shortOne.SetPalette(std::span(colours).first(16));
    EXPECT_TRUE(shortOne.PaletteIsSet());
    const RgbQuad e15 = shortOne.PaletteEntry(15);
    EXPECT_EQ(e15.red, RedOf(colours[15]));
    EXPECT_EQ(e15.green, GreenOf(colours[15]));
    EXPECT_EQ(e15.blue, BlueOf(colours[15]));
    EXPECT_EQ(e15.reserved, 0);
    for (int i = 16; i < 256; ++i) {
        const RgbQuad e = shortOne.PaletteEntry(i);
        EXPECT_EQ(e.red | e.green | e.blue, 0) << i;
    }

    cBitMap longOne;
    longOne.SetPalette(colours);
    EXPECT_EQ(longOne.PaletteEntry(255).red, RedOf(colours[255]));
    EXPECT_EQ(longOne.PaletteEntry(256).red, 0);  // there is no entry 256
}

TEST(SetPalette, OnlyTheFirstCallBeforeRenderCounts) {
    const std::array<COLORREF, 2> red{0, 0x0000FF};
    const std::array<COLORREF, 2> green{0, 0x00FF00};
    const std::vector<std::uint8_t> stream{0x02, 0x01, 0x00};
    RecordingHost host;

    cBitMap bmp;
    bmp.SetData(1, 2, kPaletteType, stream);
    bmp.SetPalette(red);
    bmp.SetPalette(green);
    bmp.Render(kMagenta, host);
    EXPECT_EQ(bmp.hDC() != nullptr, true);
    EXPECT_EQ(bmp.PixelBuffer()[2], 0xFF);  // red

    bmp.Purge();
    EXPECT_FALSE(bmp.PaletteIsSet());
    bmp.SetPalette(green);
    bmp.Render(kMagenta, host);
    EXPECT_EQ(bmp.PixelBuffer()[1], 0xFF);  // green after a purge
    bmp.SetPalette(red);                    // after Render: ignored
    EXPECT_EQ(bmp.PaletteEntry(1).green, 0xFF);
}

TEST(SetData, ResetsFlagAndPaletteButKeepsTheSurface) {
    cBitMap bmp;
    RenderGradient(bmp, 2, 2);
    const std::array<COLORREF, 1> palette{0x112233};
    DeviceContext before = bmp.hDC();
    bmp.SetData(3, 5, kPaletteType, std::vector<std::uint8_t>{0x01, 0x00, 0x00});
    EXPECT_FALSE(bmp.IsRendered());
    EXPECT_FALSE(bmp.PaletteIsSet());
    EXPECT_EQ(bmp.hDC(), before);
    EXPECT_EQ(bmp.Header().biWidth, 2);
    EXPECT_EQ(bmp.Height(), 3);
    EXPECT_EQ(bmp.Width(), 5);
    EXPECT_EQ(bmp.eType(), kPaletteType);
    EXPECT_EQ(bmp.Stream().Size(), 3u);
    bmp.SetPalette(palette);
    EXPECT_TRUE(bmp.PaletteIsSet());
}

TEST(Purge, ReleasesEverythingButTheStreamAndRendersAgain) {
    cBitMap bmp;
    RenderGradient(bmp, 3, 2);
    const std::vector<std::uint8_t> first(bmp.PixelBuffer().begin(), bmp.PixelBuffer().end());
    bmp.Purge();
    EXPECT_EQ(bmp.hDC(), nullptr);
    EXPECT_FALSE(bmp.IsRendered());
    EXPECT_TRUE(bmp.PixelBuffer().empty());
    EXPECT_EQ(bmp.Header().biWidth, 4) << "the header stays";
    EXPECT_TRUE(bmp.ToRLE(5).empty()) << "no buffer to encode";
    bmp.RefreshBits();

    RecordingHost host;
    EXPECT_EQ(bmp.Render(kMagenta, host), RenderOutcome::Rendered);
    EXPECT_TRUE(bmp.IsRendered());
    EXPECT_TRUE(std::equal(first.begin(), first.end(), bmp.PixelBuffer().begin()));
}

}  // namespace
}  // namespace pixhaul
