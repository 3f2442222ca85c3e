#pragma once
// An archive image as RGBA pixels for engines: the transparent colour becomes alpha 0 with its
// red, green and blue cleared (so filtering shows no coloured fringe); every other pixel keeps
// its colour, fully opaque.
#include <cstdint>
#include <vector>

#include "archive/model.h"
#include "export/atlas_layout.h"
#include "export/compose_image.h"
#include "platform/host.h"
#include "platform/surface.h"

namespace pixhaul {

struct RgbaImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> pixels;  // rows from the top, 4 bytes a pixel

    const std::uint8_t* At(std::int32_t x, std::int32_t y) const {
        return pixels.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                static_cast<std::size_t>(x)) *
                                   4;
    }
};

// Where images are composed one after another on their transparent colour and read out as RGBA
// rows, straight into whatever the caller assembles (a page band, a file's rows). Its surface
// grows to the largest image composed and is reused, so a run of images takes no memory each.
class KeyedCanvas {
  public:
    // Composes image `index` (ComposeImage) at the top-left corner, at least 1 x 1: an image with
    // nothing to draw is one transparent pixel. Returns the outcome of the composition.
    ImageOutcome Compose(const ArchiveModel& model, std::int32_t index, COLORREF trans, Host& host);

    // The size of the image last composed.
    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }

    // The bounding box of its pixels that are not the transparent colour; a fully transparent
    // image gives 1 x 1 at (0, 0).
    SpriteBox VisibleBox() const;

    // Writes count pixels of its row y (from the top), from column x on, as RGBA to `to`.
    // The caller keeps x, y and count inside the image.
    void RowToRgba(std::int32_t x, std::int32_t y, std::int32_t count, std::uint8_t* to) const;
    // Pixel (x, y) as composed: blue, green, red, the pixels after it on its row following.
    const std::uint8_t* Pixel(std::int32_t x, std::int32_t y) const;

  private:
    Surface surface_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::uint8_t key_[3] = {0, 0, 0};  // blue, green, red
};

// Renders image `index` whole into out, as KeyedCanvas composes it.
ImageOutcome RenderRgba(const ArchiveModel& model, std::int32_t index, COLORREF trans, Host& host,
                        RgbaImage& out);

}  // namespace pixhaul
