#pragma once
// Draws 24-bit BGR surfaces (rows bottom-up) into the top-down 32-bit image the window paints
// (Qt's RGB32): straight, scaled and clipped in one pass, with no 24-bit copy between.
#include <cstdint>

#include "platform/surface.h"

namespace pixhaul::viewer {

// A top-down image of 4-byte pixels (blue, green, red, 0xFF), rows lineBytes apart.
struct Rgb32Image {
    std::uint8_t* bits = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int64_t lineBytes = 0;
};

// Converts count pixels of 3 bytes (blue, green, red) into 4-byte pixels (blue, green, red,
// 0xFF), which is 0xFFRRGGBB read as a little-endian 32-bit value.
void ConvertBgrRow(const std::uint8_t* from, std::uint32_t* to, std::int32_t count);

// Every pixel of the rectangle (clipped to the image) set to the colour.
void FillRgb32(const Rgb32Image& image, PixelRect rect, COLORREF colour);

// Draws the whole source scaled to destWidth x destHeight with its top-left corner at (x, y)
// of the image, clipped to the image. Destination column j shows source column
// j * source width / destWidth (rows alike), the pixels the surface stretch picks. An
// untouched source draws black. Returns the rectangle of the image written.
PixelRect StretchToRgb32(const Surface& source, const Rgb32Image& image, std::int32_t x,
                         std::int32_t y, std::int32_t destWidth, std::int32_t destHeight);

}  // namespace pixhaul::viewer
