#include "bitmap/cbitmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "recording_host.h"

namespace pixhaul {
namespace {

using testing::RecordingHost;

constexpr COLORREF kGrey = 0x404040;

bool AllZero(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

// A 24-bit image whose pixel (x, y) is Gradient(x, y), rendered.
void RenderGradient(cBitMap& bmp, int width, int height) {
    std::vector<std::uint8_t> stream;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width + width % 2; ++x) {
            stream.insert(stream.end(), {0x81, 0x80, static_cast<std::uint8_t>(y + 1),
                                         static_cast<std::uint8_t>(x + 1)});
        }
    }
    stream.push_back(0);
    bmp.SetData(static_cast<std::int16_t>(height), static_cast<std::int16_t>(width), k24BitType,
                stream);
    RecordingHost host;
    ASSERT_EQ(bmp.Render(0xFF00FF, host), RenderOutcome::Rendered);
}

COLORREF Gradient(int x, int y) {
    return MakeColorRef(static_cast<std::uint8_t>(x + 1), static_cast<std::uint8_t>(y + 1), 0x80);
}

TEST(MakeNewBlank, BuildsABlackSurfaceThatDrawingReachesOnlyThroughRefreshBits) {
    cBitMap bmp;
    bmp.MakeNewBlank(3, 5);
    ASSERT_NE(bmp.hDC(), nullptr);
    EXPECT_EQ(bmp.Header().biSizeImage, 48u);
    EXPECT_EQ(bmp.RowPadding(), 1);
    EXPECT_TRUE(AllZero(bmp.PixelBuffer()));

    bmp.MakeNewBlank(2, 3);
    Surface source(3, 2);
    source.Fill(MakeColorRef(0x0A, 0x14, 0x1E));
    BitBlt(*bmp.hDC(), 0, 0, 3, 2, source, 0, 0, SRCPAINT);
    EXPECT_TRUE(AllZero(bmp.PixelBuffer()));
    bmp.RefreshBits();
    const auto buffer = bmp.PixelBuffer();
    EXPECT_EQ(buffer[0], 0x1E);  // blue, green, red
    EXPECT_EQ(buffer[2], 0x0A);
    EXPECT_EQ(buffer[12 + 3 * 2 + 2], 0x0A);  // second row's last red byte
}

// The stretch itself is checked in the surface tests; here the source rows, the operation and
// the rounding of the drawn size.
TEST(DrawTo, SourceRowsCountFromTheTopAndOneToOneIgnoresTheOperation) {
    cBitMap bmp;
    RenderGradient(bmp, 2, 5);
    Surface target(4, 4);
    target.Fill(kGrey);
    bmp.DrawTo(&target, 0, 0, 1, 1, 2, 2, 1.0, 1.0, 0x12345678);
    EXPECT_EQ(target.PixelAt(1, 1), Gradient(0, 0));
    EXPECT_EQ(target.PixelAt(2, 2), Gradient(1, 1));
    EXPECT_EQ(target.PixelAt(0, 0), kGrey);
    Surface stretched(4, 4);
    stretched.Fill(0x010000);
    bmp.DrawTo(&stretched, 0, 3, 0, 0, 2, 2, 2.0, 2.0, SRCPAINT);
    EXPECT_EQ(stretched.PixelAt(0, 0), Gradient(0, 3) | 0x010000);
    EXPECT_EQ(stretched.PixelAt(3, 3), Gradient(1, 4) | 0x010000);
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
    cBitMap bmp;
    RenderGradient(bmp, 4, 3);
    for (const Case& c : cases) {
        Surface target(12, 12);
        target.Fill(kGrey);
        bmp.DrawTo(&target, 0, 0, 0, 0, c.w, c.h, c.xs, c.ys, SRCCOPY);
        int w = 0, h = 0;
        for (int x = 0; x < 12; ++x) w += target.PixelAt(x, 0) != kGrey;
        for (int y = 0; y < 12; ++y) h += target.PixelAt(0, y) != kGrey;
        EXPECT_EQ(std::make_pair(w, h), std::make_pair(c.wantW, c.wantH))
            << c.w << "x" << c.h << " at " << c.xs << "," << c.ys;
    }
}

TEST(SetPalette, ShortArraysLeaveTheRestBlackAndOnlyTheFirstCallBeforeRenderCounts) {
    std::vector<COLORREF> colours(16, 0x112233);
    cBitMap shortOne;
    shortOne.SetPalette(colours);
    EXPECT_EQ(shortOne.PaletteEntry(15).red, 0x33);
    EXPECT_EQ(shortOne.PaletteEntry(16).red | shortOne.PaletteEntry(255).blue, 0);

    const std::array<COLORREF, 2> red{0, 0x0000FF};
    const std::array<COLORREF, 2> green{0, 0x00FF00};
    RecordingHost host;
    cBitMap bmp;
    bmp.SetData(1, 2, kPaletteType, std::vector<std::uint8_t>{0x02, 0x01, 0x00});
    bmp.SetPalette(red);
    bmp.SetPalette(green);
    bmp.Render(0xFF00FF, host);
    EXPECT_EQ(bmp.PixelBuffer()[2], 0xFF);  // red
    bmp.Purge();
    EXPECT_FALSE(bmp.PaletteIsSet());
    bmp.SetPalette(green);
    bmp.Render(0xFF00FF, host);
    EXPECT_EQ(bmp.PixelBuffer()[1], 0xFF);  // green after a purge
    bmp.SetPalette(red);                    // after Render: ignored
    EXPECT_EQ(bmp.PaletteEntry(1).green, 0xFF);
}

}  // namespace
}  // namespace pixhaul
