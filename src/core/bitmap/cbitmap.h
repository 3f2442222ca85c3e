#pragma once
// cBitMap: one sprite image. Holds the archive's encoded stream with its size and type (and for
// palette images the palette) and, once decoded, a 24-bit bottom-up DIB of it.
//
// There are two copies of the pixels: the DIB section behind hDC() (changed only by drawing
// through the device context) and the pixel buffer (written by Render, read by DrawTo and
// ToRLE). Pixels only travel from the DIB section into the buffer (when a surface is built and
// by RefreshBits), never back, so after Render the surface behind hDC() is still black.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "bitmap/stream.h"
#include "platform/surface.h"

namespace pixhaul {

class Host;

inline constexpr std::int16_t kPaletteType = 259;
inline constexpr std::int16_t k15BitType = 518;
inline constexpr std::int16_t k24BitType = 1028;

// One palette entry as the surface keeps it.
struct RgbQuad {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
    std::uint8_t reserved = 0;
};

// What Render did, for callers that need more than IsRendered (the qxa tool, tests).
enum class RenderOutcome {
    AlreadyRendered,  // the rendered flag was set: nothing done
    EmptyStream,      // the stream array has one element or none: no surface built
    Rendered,         // image full or stream used up
    Corrupt,          // opcode 128, or a colour past the end of the stream
    TooLarge,         // width x height beyond what one image may take: no surface built
};

class cBitMap {
  public:
    cBitMap() = default;
    ~cBitMap();
    cBitMap(const cBitMap&) = delete;
    cBitMap& operator=(const cBitMap&) = delete;

    bool IsRendered() const { return rendered_; }
    void Purge();
    void SetData(std::int16_t Height, std::int16_t Width, std::int16_t eType, StreamBytes Stream);
    void SetData(std::int16_t Height, std::int16_t Width, std::int16_t eType,
                 std::vector<std::uint8_t> Stream) {
        SetData(Height, Width, eType, StreamBytes(std::move(Stream)));
    }
    // The memory device context: the DIB section, or nullptr while there is no surface.
    DeviceContext hDC() { return hasSurface_ ? &dib_ : nullptr; }
    void DrawTo(DeviceContext TargetHDC, std::int32_t From_X, std::int32_t From_Y,
                std::int32_t To_X, std::int32_t To_Y, std::int32_t dWidth, std::int32_t dHeight,
                double XScale, double YScale, std::uint32_t DrawOP) const;
    // Decodes the stream; a corrupt stream is reported through the host's message box.
    RenderOutcome Render(COLORREF Trans, Host& host);
    void SetPalette(std::span<const COLORREF> pArray);
    std::vector<std::uint8_t> ToRLE(std::uint8_t iType) const;
    void MakeNewBlank(std::int32_t nHeight, std::int32_t nWidth);
    void RefreshBits();

    // Read-only views for the exports, the qxa tool and tests.
    std::int16_t Height() const { return height_; }
    std::int16_t Width() const { return width_; }
    std::int16_t eType() const { return eType_; }
    const StreamBytes& Stream() const { return stream_; }
    const BitmapInfoHeader& Header() const { return header_; }
    std::int32_t RowPadding() const { return rowPadding_; }
    // The pixel buffer (stride x biHeight bytes carry pixels).
    std::span<const std::uint8_t> PixelBuffer() const { return {buffer_.get(), bufferSize_}; }
    bool PaletteIsSet() const { return paletteSet_; }
    RgbQuad PaletteEntry(int index) const;

    // The largest surface one image may ask for (width x height from the file): 16 Mpixel, the
    // area of 4096 x 4096, 48 MiB of 24-bit surface. Sprites are far smaller; the fields could
    // ask for 32767 x 32767 (3 GiB) with a stream of a few bytes, and with "Cache rendered
    // images" on every such image would keep its surface. A larger image counts as damaged.
    static constexpr std::int64_t kMaxImagePixels = 16LL * 1024 * 1024;
    // Whether Render builds a surface for this size and type (positive, within kMaxImagePixels);
    // any other size counts as damaged.
    static bool SizeDecodable(std::int32_t width, std::int32_t height, std::int16_t eType);

  private:
    // Shared by both builders. With zeroBuffer false the pixel buffer is left uninitialised for
    // a decoder that writes or clears every byte itself.
    void BuildSurface(std::int32_t width, std::int32_t height, bool zeroBuffer);
    void CreateSurface();
    void ClassTerminate();
    void EmptyBuffer();
    void ReleasePalette();
    RenderOutcome Decode(COLORREF Trans);

    BitmapInfoHeader header_{};
    bool hasSurface_ = false;  // the memory DC and DIB section exist together or not at all
    Surface dib_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t bufferSize_ = 0;
    std::int32_t rowPadding_ = 0;
    bool paletteSet_ = false;
    // Taken only while a palette is set, so an archive of 100,000 images does not carry
    // 100,000 unused palettes.
    std::unique_ptr<std::array<RgbQuad, 256>> palette_;
    StreamBytes stream_;
    std::int16_t height_ = 0;
    std::int16_t width_ = 0;
    std::int16_t eType_ = 0;
    bool rendered_ = false;
};

}  // namespace pixhaul
