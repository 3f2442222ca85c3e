#pragma once
// Turns rows of a bottom-up 24-bit BGR surface into a top-down 32-bit image (Qt's RGB32), the
// one conversion the display needs on every change.
#include <cstdint>

#include "platform/surface.h"

namespace pixhaul::viewer {

// Converts count pixels of 3 bytes (blue, green, red) into 4-byte pixels (blue, green, red,
// 0xFF), which is 0xFFRRGGBB read as a little-endian 32-bit value.
void ConvertBgrRow(const std::uint8_t* from, std::uint32_t* to, std::int32_t count);

// Converts the rectangle of the surface into the same rectangle of a top-down 32-bit image
// whose rows are lineBytes apart. The rectangle must lie inside the surface.
void ConvertSurfaceRect(const Surface& surface, const PixelRect& rect, std::uint8_t* image,
                        std::int64_t lineBytes);

}  // namespace pixhaul::viewer
