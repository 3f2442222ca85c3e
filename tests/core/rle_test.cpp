#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "bitmap/cbitmap.h"

namespace pixhaul {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A blank surface of width x height whose pixel (x, y), y from the top, is colour(x, y),
// drawn through the device context and read back as the SIF export does.
void Paint(cBitMap& bmp, int width, int height, const std::function<COLORREF(int, int)>& colour) {
    bmp.MakeNewBlank(height, width);
    Surface picture(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = picture.MutableRow(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const COLORREF c = colour(x, y);
            row[3 * x] = BlueOf(c);
            row[3 * x + 1] = GreenOf(c);
            row[3 * x + 2] = RedOf(c);
        }
    }
    BitBlt(*bmp.hDC(), 0, 0, width, height, picture, 0, 0, SRCPAINT);
    bmp.RefreshBits();
}

Bytes Encode(int width, int height, std::uint8_t kind,
             const std::function<COLORREF(int, int)>& colour) {
    cBitMap bmp;
    Paint(bmp, width, height, colour);
    return bmp.ToRLE(kind);
}

Bytes Solid(int width, int height, std::uint8_t kind, COLORREF c) {
    return Encode(width, height, kind, [c](int, int) { return c; });
}

constexpr COLORREF kWhite = 0xFFFFFF;

TEST(ToRLE, TrueColourRecords) {
    EXPECT_EQ(Solid(2, 1, 5, MakeColorRef(10, 20, 30)),
              (Bytes{0x00, 0x00, 0x00, 0x00, 0x02, 0x0A, 0x14, 0x1E}));
    // A black surface of 200 pixels: 127, then 73.
    EXPECT_EQ(Solid(20, 10, 5, 0), (Bytes{0x7F, 0, 0, 0, 0x49, 0, 0, 0}));
    // The bottom row comes first.
    EXPECT_EQ(Encode(1, 2, 5, [](int, int y) { return y == 0 ? kWhite : 0; }),
              (Bytes{0x01, 0, 0, 0, 0x01, 0xFF, 0xFF, 0xFF}));
}

TEST(ToRLE, RunsCrossRowEndsButNotRowPadding) {
    // Width 5 has a padding byte per row; the run of 15 goes across all three rows.
    EXPECT_EQ(Solid(5, 3, 5, MakeColorRef(1, 2, 3)), (Bytes{0, 0, 0, 0, 15, 1, 2, 3}));
    // 254 pixels of one colour after black: a full 127 twice.
    EXPECT_EQ(Solid(127, 2, 5, MakeColorRef(9, 9, 9)),
              (Bytes{0, 0, 0, 0, 127, 9, 9, 9, 127, 9, 9, 9}));
}

TEST(ToRLE, SixteenBitRecords) {
    EXPECT_EQ(Solid(1, 1, 4, kWhite), (Bytes{0x00, 0x00, 0x00, 0x01, 0xFF, 0xFF}));
    EXPECT_EQ(Solid(1, 1, 4, MakeColorRef(0xF8, 0xFC, 0xF8)),
              (Bytes{0x00, 0x00, 0x00, 0x01, 0xFF, 0xFF}));
    // Red 0x80 -> r5 16, green 0x44 -> g6 17, blue 0x18 -> b5 3: 0x8223.
    EXPECT_EQ(Solid(1, 1, 4, MakeColorRef(0x80, 0x44, 0x18)), (Bytes{0, 0, 0, 1, 0x82, 0x23}));
    // Full 8-bit comparison: two colours that share a 16-bit value give two records.
    EXPECT_EQ(Encode(2, 1, 4,
                     [](int x, int) { return x == 0 ? MakeColorRef(0xF8, 0xFC, 0xF8) : kWhite; }),
              (Bytes{0, 0, 0, 1, 0xFF, 0xFF, 1, 0xFF, 0xFF}));
}

TEST(ToRLE, GreyRecords) {
    EXPECT_EQ(Solid(1, 1, 2, kWhite), (Bytes{0x00, 0x00, 0x01, 0xFF}));
    EXPECT_EQ(Solid(1, 1, 2, MakeColorRef(1, 1, 0)), (Bytes{0x01, 0x00}));
    EXPECT_EQ(Solid(1, 1, 2, MakeColorRef(10, 20, 33)), (Bytes{0, 0, 1, 21}));
}

TEST(ToRLE, OneBitMask) {
    EXPECT_EQ(Solid(8, 1, 1, kWhite), (Bytes{0xFF, 0x00}));
    EXPECT_EQ(Solid(9, 1, 1, kWhite), (Bytes{0xFF, 0x01}));
    EXPECT_EQ(Encode(3, 1, 1, [](int x, int) { return x == 1 ? 0 : kWhite; }), (Bytes{0x05}));
    // Grey level 128 is set, 127 is not.
    EXPECT_EQ(Encode(2, 1, 1,
                     [](int x, int) {
                         return x == 0 ? MakeColorRef(128, 128, 128) : MakeColorRef(127, 127, 128);
                     }),
              (Bytes{0x01}));
}

TEST(ToRLE, OtherKindsAndEmptySurfaces) {
    for (std::uint8_t kind : {0, 3, 6, 255}) EXPECT_TRUE(Solid(2, 2, kind, kWhite).empty());

    cBitMap empty;
    empty.MakeNewBlank(0, 0);
    EXPECT_EQ(empty.ToRLE(5), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(empty.ToRLE(4), (Bytes{0, 0, 0}));
    EXPECT_EQ(empty.ToRLE(2), (Bytes{0, 0}));
    EXPECT_EQ(empty.ToRLE(1), (Bytes{0}));
}

}  // namespace
}  // namespace pixhaul
