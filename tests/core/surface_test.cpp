#include "platform/surface.h"

#include <gtest/gtest.h>

#include <vector>

namespace pixhaul {
namespace {

constexpr COLORREF kRed = MakeColorRef(255, 0, 0);
constexpr COLORREF kGrey = MakeColorRef(0x40, 0x40, 0x40);

// A source DIB whose pixel (x, y) (y from the top) is Source(x, y).
struct Dib {
    BitmapInfoHeader header;
    std::vector<std::uint8_t> bits;
    Dib(int w, int h) : header(MakeHeader(w, h)), bits(StrideFor(w) * h, 0) {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                std::uint8_t* p = bits.data() + (h - 1 - y) * StrideFor(w) + 3 * x;
                p[0] = 0x80;
                p[1] = static_cast<std::uint8_t>(y);
                p[2] = static_cast<std::uint8_t>(x);
            }
        }
    }
};

COLORREF Source(int x, int y) {
    return MakeColorRef(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 0x80);
}

void SetPixel(Surface& s, int x, int y, COLORREF c) {
    std::uint8_t* p = s.MutableRow(s.Height() - 1 - y) + 3 * x;
    p[0] = BlueOf(c);
    p[1] = GreenOf(c);
    p[2] = RedOf(c);
}

TEST(Surface, TakesMemoryOnlyWhenWrittenAndFillsWithPaddingZeroed) {
    Surface s(3, 2);
    EXPECT_EQ(s.Bits(), nullptr);
    EXPECT_EQ(s.PixelAt(1, 1), 0u);
    EXPECT_EQ(s.PixelAt(3, 0), 0u);
    s.Fill(kRed);
    ASSERT_NE(s.Bits(), nullptr);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) EXPECT_EQ(s.PixelAt(x, y), kRed);
        EXPECT_EQ(s.Bits()[y * s.Stride() + 9], 0) << "row padding";
    }
    Surface empty(-3, 5);
    empty.Fill(kRed);  // nothing to fill, nothing to crash on
}

TEST(SetDIBitsToDevice, CountsSourceRowsFromTheBottomAndClipsToBothSurfaces) {
    const Dib dib(4, 5);
    Surface target(10, 10);
    // Two rows starting at the top of the image: the lower edge is row 3 from the bottom.
    SetDIBitsToDevice(target, 1, 2, 3, 2, 1, 3, dib.bits.data(), dib.header);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) EXPECT_EQ(target.PixelAt(1 + x, 2 + y), Source(1 + x, y));
    }
    EXPECT_EQ(target.PixelAt(4, 2), 0u);
    EXPECT_EQ(target.PixelAt(1, 4), 0u);

    const Dib square(4, 4);
    Surface small(3, 3);
    small.Fill(kGrey);
    // Left of and above the target, and reaching past the source's right edge.
    SetDIBitsToDevice(small, -1, -1, 6, 4, 0, 0, square.bits.data(), square.header);
    EXPECT_EQ(small.PixelAt(0, 0), Source(1, 1));
    EXPECT_EQ(small.PixelAt(2, 2), Source(3, 3));
    // Source columns past the image leave the target alone.
    small.Fill(kGrey);
    SetDIBitsToDevice(small, 0, 0, 4, 4, 3, 0, square.bits.data(), square.header);
    EXPECT_EQ(small.PixelAt(0, 0), Source(3, 0));
    EXPECT_EQ(small.PixelAt(1, 0), kGrey);
    SetDIBitsToDevice(small, 100, -100, 4, 4, 0, 0, square.bits.data(), square.header);
    SetDIBitsToDevice(small, 0, 0, 4, 4, 0, 0, nullptr, square.header);
}

TEST(StretchDIBits, NearestNeighbourUpAndDown) {
    const Dib dib(3, 2);
    Surface target(8, 8);
    StretchDIBits(target, 0, 0, 6, 4, 0, 0, 3, 2, dib.bits.data(), dib.header, SRCCOPY);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) EXPECT_EQ(target.PixelAt(x, y), Source(x / 2, y / 2));
    }
    EXPECT_EQ(target.PixelAt(6, 0), 0u);
    EXPECT_EQ(target.PixelAt(0, 4), 0u);

    const Dib big(8, 8);
    Surface third(3, 3);
    StretchDIBits(third, 0, 0, 3, 3, 0, 0, 8, 8, big.bits.data(), big.header, SRCCOPY);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 3; ++x) EXPECT_EQ(third.PixelAt(x, y), Source(8 * x / 3, 8 * y / 3));
    }
}

TEST(StretchDIBits, PaintOrsClipsAndIgnoresUnknownOperations) {
    const Dib dib(2, 2);
    Surface target(3, 3);
    target.Fill(MakeColorRef(0x01, 0x10, 0x01));
    StretchDIBits(target, 1, 1, 4, 4, 0, 0, 2, 2, dib.bits.data(), dib.header, SRCPAINT);
    EXPECT_EQ(target.PixelAt(0, 0), MakeColorRef(0x01, 0x10, 0x01));
    EXPECT_EQ(target.PixelAt(2, 2), MakeColorRef(0x01, 0x10, 0x81));

    Surface other(4, 4);
    other.Fill(kGrey);
    // Destination left of the target: the visible part starts mid-image.
    StretchDIBits(other, -2, 0, 4, 4, 0, 0, 2, 2, dib.bits.data(), dib.header, SRCCOPY);
    EXPECT_EQ(other.PixelAt(0, 0), Source(1, 0));
    EXPECT_EQ(other.PixelAt(1, 3), Source(1, 1));
    EXPECT_EQ(other.PixelAt(2, 0), kGrey);

    Surface untouched(4, 4);
    StretchDIBits(untouched, 0, 0, 4, 4, 0, 0, 2, 2, dib.bits.data(), dib.header, 0x8800C6);
    StretchDIBits(untouched, 0, 0, 0, 4, 0, 0, 2, 2, dib.bits.data(), dib.header, SRCCOPY);
    EXPECT_EQ(untouched.Bits(), nullptr);
}

TEST(BitBlt, CopiesPaintsClipsAndOverlaps) {
    Surface source(3, 3);
    SetPixel(source, 0, 0, kRed);
    SetPixel(source, 2, 2, MakeColorRef(0, 0, 0x0F));
    Surface dest(4, 4);
    dest.Fill(MakeColorRef(0, 0, 0xF0));
    BitBlt(dest, 1, 1, 3, 3, source, 0, 0, SRCPAINT);
    EXPECT_EQ(dest.PixelAt(0, 0), MakeColorRef(0, 0, 0xF0));
    EXPECT_EQ(dest.PixelAt(1, 1), MakeColorRef(255, 0, 0xF0));
    EXPECT_EQ(dest.PixelAt(3, 3), MakeColorRef(0, 0, 0xFF));
    BitBlt(dest, -1, -1, 3, 3, source, 0, 0, SRCCOPY);
    EXPECT_EQ(dest.PixelAt(1, 1), MakeColorRef(0, 0, 0x0F));
    EXPECT_EQ(dest.PixelAt(2, 2), MakeColorRef(0, 0, 0xF0));  // outside the copied rectangle
    BitBlt(dest, 2, 2, 2, 2, Surface(2, 2), 0, 0, SRCCOPY);   // an untouched source is black
    EXPECT_EQ(dest.PixelAt(3, 3), 0u);

    Surface s(4, 1);
    for (int x = 0; x < 4; ++x)
        SetPixel(s, x, 0, MakeColorRef(static_cast<std::uint8_t>(x + 1), 0, 0));
    BitBlt(s, 1, 0, 3, 1, s, 0, 0, SRCCOPY);
    for (int x = 0; x < 4; ++x) EXPECT_EQ(s.PixelAt(x, 0), MakeColorRef(std::max(x, 1), 0, 0)) << x;
}

// A display converts only what the drawing operations report as changed, so every operation
// must report at least what it wrote.
TEST(SurfaceChanges, EveryOperationReportsWhatItWrote) {
    auto rect = [](const PixelRect& r) {
        return std::vector<int>{r.left, r.top, r.right, r.bottom};
    };
    Surface target(20, 10);
    EXPECT_EQ(target.TakeChanges().Width(), 20);  // a new size changes everything
    EXPECT_TRUE(target.TakeChanges().Empty());
    target.FillRect({-5, 2, 4, 30}, 0x0000FF);
    EXPECT_EQ(rect(target.TakeChanges()), (std::vector<int>{0, 2, 4, 10}));
    EXPECT_EQ(target.PixelAt(3, 9), 0x0000FFu);
    EXPECT_EQ(target.PixelAt(4, 9), 0u);

    Surface source(3, 2);
    source.Fill(0x00FF00);
    const BitmapInfoHeader header = MakeHeader(3, 2);
    StretchDIBits(target, 18, 8, 6, 4, 0, 0, 3, 2, source.Bits(), header, SRCCOPY);
    EXPECT_EQ(rect(target.TakeChanges()), (std::vector<int>{18, 8, 20, 10}));
    SetDIBitsToDevice(target, 5, 5, 3, 2, 0, 0, source.Bits(), header);
    BitBlt(target, 0, 0, 1, 1, source, 0, 0, SRCPAINT);
    EXPECT_EQ(rect(target.TakeChanges()), (std::vector<int>{0, 0, 8, 7}));
}

}  // namespace
}  // namespace pixhaul
