#include "export/rgba_sprite.h"

#include <algorithm>

namespace pixhaul {

ImageOutcome RenderRgba(const ArchiveModel& model, std::int32_t index, COLORREF trans, Host& host,
                        RgbaImage& out) {
    const bool known = index >= 0 && static_cast<std::size_t>(index) < model.Images.size();
    const ImageRecord* record = known ? &model.Images[static_cast<std::size_t>(index)] : nullptr;
    out.width = record != nullptr ? std::max<std::int32_t>(record->Width, 1) : 1;
    out.height = record != nullptr ? std::max<std::int32_t>(record->Height, 1) : 1;
    out.pixels.assign(
        static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height) * 4, 0);
    Surface surface(out.width, out.height);
    surface.Fill(trans);
    const ImageOutcome outcome = ComposeImage(model, index, trans, host, {&surface, 0, 0}).outcome;
    const std::uint8_t keyBlue = BlueOf(trans);
    const std::uint8_t keyGreen = GreenOf(trans);
    const std::uint8_t keyRed = RedOf(trans);
    std::uint8_t* to = out.pixels.data();
    for (std::int32_t y = 0; y < out.height; ++y) {
        const std::uint8_t* bgr = surface.MutableRow(out.height - 1 - y);
        for (std::int32_t x = 0; x < out.width; ++x, bgr += 3, to += 4) {
            if (bgr[0] == keyBlue && bgr[1] == keyGreen && bgr[2] == keyRed) continue;
            to[0] = bgr[2];
            to[1] = bgr[1];
            to[2] = bgr[0];
            to[3] = 255;
        }
    }
    return outcome;
}

SpriteBox VisibleBox(const RgbaImage& image) {
    std::int32_t left = image.width;
    std::int32_t right = -1;
    std::int32_t top = image.height;
    std::int32_t bottom = -1;
    for (std::int32_t y = 0; y < image.height; ++y) {
        for (std::int32_t x = 0; x < image.width; ++x) {
            if (image.At(x, y)[3] == 0) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0) return {0, 0, 1, 1};
    return {left, top, right - left + 1, bottom - top + 1};
}

}  // namespace pixhaul
