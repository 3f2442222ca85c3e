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

// Renders image `index` (ComposeImage) into out, at least 1 x 1: an image with nothing to draw
// is one transparent pixel. Returns the outcome of the composition.
ImageOutcome RenderRgba(const ArchiveModel& model, std::int32_t index, COLORREF trans, Host& host,
                        RgbaImage& out);

// The bounding box of the pixels with alpha; a fully transparent image gives 1 x 1 at (0, 0).
SpriteBox VisibleBox(const RgbaImage& image);

}  // namespace pixhaul
