#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "bitmap/cbitmap.h"

namespace pixhaul {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr COLORREF kWhite = 0xFFFFFF;

// Encodes a blank surface of width x height whose pixel (x, y), y from the top, is colour(x, y),
// drawn through the device context and read back as the SIF export does.
Bytes Encode(int width, int height, std::uint8_t kind,
             const std::function<COLORREF(int, int)>& colour) {
    cBitMap bmp;
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
    return bmp.ToRLE(kind);
}

std::function<COLORREF(int, int)> Solid(COLORREF c) {
    return [c](int, int) { return c; };
}

TEST(ToRLE, RecordsOfEveryKind) {
    struct Case {
        const char* name;
        int width, height;
        std::uint8_t kind;
        std::function<COLORREF(int, int)> colour;
        Bytes want;
    };
    // clang-format off
    const Case cases[] = {
        {"24-bit", 2, 1, 5, Solid(MakeColorRef(10, 20, 30)), {0, 0, 0, 0, 2, 0x0A, 0x14, 0x1E}},
        {"runs of 127 at most", 20, 10, 5, Solid(0), {0x7F, 0, 0, 0, 0x49, 0, 0, 0}},
        {"bottom row first", 1, 2, 5, [](int, int y) { return y == 0 ? kWhite : 0; },
         {1, 0, 0, 0, 1, 0xFF, 0xFF, 0xFF}},
        {"runs cross row ends, not row padding", 5, 3, 5, Solid(MakeColorRef(1, 2, 3)),
         {0, 0, 0, 0, 15, 1, 2, 3}},
        {"two full runs", 127, 2, 5, Solid(MakeColorRef(9, 9, 9)),
         {0, 0, 0, 0, 127, 9, 9, 9, 127, 9, 9, 9}},
        {"16-bit white", 1, 1, 4, Solid(kWhite), {0, 0, 0, 1, 0xFF, 0xFF}},
        {"16-bit 5-6-5 packing", 1, 1, 4, Solid(MakeColorRef(0x80, 0x44, 0x18)),
         {0, 0, 0, 1, 0x82, 0x23}},
        {"16-bit green's top bits", 1, 1, 4, Solid(MakeColorRef(0, 0xFC, 0)),
         {0, 0, 0, 1, 0x07, 0xE0}},
        {"16-bit runs compare all 8 bits", 2, 1, 4,
         [](int x, int) { return x == 0 ? MakeColorRef(0xF8, 0xFC, 0xF8) : kWhite; },
         {0, 0, 0, 1, 0xFF, 0xFF, 1, 0xFF, 0xFF}},
        {"grey white", 1, 1, 2, Solid(kWhite), {0, 0, 1, 0xFF}},
        {"grey average", 1, 1, 2, Solid(MakeColorRef(10, 20, 33)), {0, 0, 1, 21}},
        {"mask of 8", 8, 1, 1, Solid(kWhite), {0xFF, 0x00}},
        {"mask of 9", 9, 1, 1, Solid(kWhite), {0xFF, 0x01}},
        {"mask hole", 3, 1, 1, [](int x, int) { return x == 1 ? 0 : kWhite; }, {0x05}},
        {"mask sets grey 128, not 127", 2, 1, 1,
         [](int x, int) {
             return x == 0 ? MakeColorRef(128, 128, 128) : MakeColorRef(127, 127, 128);
         },
         {0x01}},
        {"unknown kind", 2, 2, 3, Solid(kWhite), {}},
        {"empty surface, 24-bit", 0, 0, 5, Solid(0), {0, 0, 0, 0}},
        {"empty surface, mask", 0, 0, 1, Solid(0), {0}},
    };
    // clang-format on
    for (const Case& c : cases) {
        EXPECT_EQ(Encode(c.width, c.height, c.kind, c.colour), c.want) << c.name;
    }
}

}  // namespace
}  // namespace pixhaul
