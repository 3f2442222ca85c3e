#pragma once
// Pixel surfaces and the copy operations that draw between them. A surface is a 24-bit
// device-independent picture (BGR, rows bottom-up, each row padded to 4 bytes). The operations
// copy 1:1 (SetDIBitsToDevice), stretch by nearest neighbour (StretchDIBits) and combine two
// surfaces (BitBlt with SRCCOPY or SRCPAINT), each clipped to its target.
// A device context is simply a pointer to the surface it draws into.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace pixhaul {

using COLORREF = std::uint32_t;  // 0x00BBGGRR, red in the low byte

inline constexpr std::uint32_t SRCCOPY = 0xCC0020;
inline constexpr std::uint32_t SRCPAINT = 0xEE0086;

inline constexpr std::uint8_t RedOf(COLORREF c) {
    return static_cast<std::uint8_t>(c & 0xFF);
}
inline constexpr std::uint8_t GreenOf(COLORREF c) {
    return static_cast<std::uint8_t>((c >> 8) & 0xFF);
}
inline constexpr std::uint8_t BlueOf(COLORREF c) {
    return static_cast<std::uint8_t>((c >> 16) & 0xFF);
}
inline constexpr COLORREF MakeColorRef(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) |
           (static_cast<COLORREF>(b) << 16);
}

// The published 40-byte BITMAPINFOHEADER, field for field.
struct BitmapInfoHeader {
    std::int32_t biSize = 40;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;  // positive: rows stored bottom-up
    std::uint16_t biPlanes = 1;
    std::uint16_t biBitCount = 24;
    std::uint32_t biCompression = 0;  // BI_RGB
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;
};

// Bytes per row of a 24-bit surface: 4 * ((24 * width + 31) / 32).
std::int64_t StrideFor(std::int32_t width);
// stride - (24 * width + 7) / 8, 0 to 3.
std::int32_t RowPaddingFor(std::int32_t width);
// A header for a surface of width x height as the surface builders fill it.
BitmapInfoHeader MakeHeader(std::int32_t width, std::int32_t height);

// A rectangle of pixels, y counted from the top; right and bottom are exclusive.
struct PixelRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    bool Empty() const { return right <= left || bottom <= top; }
    std::int32_t Width() const { return right - left; }
    std::int32_t Height() const { return bottom - top; }
    void Unite(const PixelRect& other);
};

// A pixel surface (what a DIB section, a picture box or an off-screen buffer holds).
// It is black until first written; memory is taken only then, so a surface that nothing draws
// into costs nothing.
class Surface {
  public:
    Surface() = default;
    Surface(std::int32_t width, std::int32_t height);

    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    std::int64_t Stride() const { return stride_; }
    std::size_t SizeBytes() const { return static_cast<std::size_t>(stride_) * height_; }

    // Resize to width x height, all black.
    void Reset(std::int32_t width, std::int32_t height);
    // Every pixel set to the colour (a picture box cleared to its background).
    void Fill(COLORREF colour);
    // The pixels of the rectangle (clipped to the surface) set to the colour.
    void FillRect(PixelRect rect, COLORREF colour);

    // The drawing operations of this file record the area they change, so a display can
    // convert and repaint only that. Returns the area changed since the last call and forgets it.
    PixelRect TakeChanges();
    void NoteChange(const PixelRect& rect) { changed_.Unite(rect); }
    // The pixel bytes, or nullptr while the surface is still all black and untouched.
    const std::uint8_t* Bits() const { return bits_.get(); }
    // The pixel bytes, taking memory (black) first if needed.
    std::uint8_t* MutableBits();
    // Memory row r (0 = bottom image row).
    std::uint8_t* MutableRow(std::int32_t memoryRow) { return MutableBits() + memoryRow * stride_; }

    // Blue, green, red of pixel (x, y), y counted from the top. Black when untouched.
    COLORREF PixelAt(std::int32_t x, std::int32_t y) const;

  private:
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::int64_t stride_ = 0;
    std::unique_ptr<std::uint8_t[]> bits_;
    PixelRect changed_;
};

using DeviceContext = Surface*;

// Copies a dWidth x dHeight rectangle of a DIB (bits laid out as header describes) 1:1 onto the
// target at (xDest, yDest), destination y counted from the top. (xSrc, ySrc) is the source
// rectangle's lower-left corner with ySrc counted from the bottom row, as GDI does. Clipped to
// both surfaces.
void SetDIBitsToDevice(Surface& target, std::int32_t xDest, std::int32_t yDest, std::int32_t dWidth,
                       std::int32_t dHeight, std::int32_t xSrc, std::int32_t ySrc,
                       const std::uint8_t* bits, const BitmapInfoHeader& header);

// Scales a srcWidth x srcHeight source rectangle (corner as in SetDIBitsToDevice) onto a
// destWidth x destHeight rectangle at (xDest, yDest), nearest neighbour, combined with what is
// there by rop (SRCCOPY or SRCPAINT). Clipped to both surfaces.
void StretchDIBits(Surface& target, std::int32_t xDest, std::int32_t yDest, std::int32_t destWidth,
                   std::int32_t destHeight, std::int32_t xSrc, std::int32_t ySrc,
                   std::int32_t srcWidth, std::int32_t srcHeight, const std::uint8_t* bits,
                   const BitmapInfoHeader& header, std::uint32_t rop);

// Copies a width x height rectangle from source (xSrc, ySrc) to dest (xDest, yDest), both
// corners top-left with y counted from the top, combined by rop. Clipped to both surfaces.
void BitBlt(Surface& dest, std::int32_t xDest, std::int32_t yDest, std::int32_t width,
            std::int32_t height, const Surface& source, std::int32_t xSrc, std::int32_t ySrc,
            std::uint32_t rop);

}  // namespace pixhaul
