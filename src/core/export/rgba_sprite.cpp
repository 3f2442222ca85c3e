#include "export/rgba_sprite.h"

#include <algorithm>

namespace pixhaul {

ImageOutcome KeyedCanvas::Compose(const ArchiveModel& model, std::int32_t index, COLORREF trans,
                                  Host& host) {
    const bool known = index >= 0 && static_cast<std::size_t>(index) < model.Images.size();
    const ImageRecord* record = known ? &model.Images[static_cast<std::size_t>(index)] : nullptr;
    width_ = record != nullptr ? std::max<std::int32_t>(record->Width, 1) : 1;
    height_ = record != nullptr ? std::max<std::int32_t>(record->Height, 1) : 1;
    if (width_ > surface_.Width() || height_ > surface_.Height()) {
        surface_.Reset(std::max(width_, surface_.Width()), std::max(height_, surface_.Height()));
    }
    key_[0] = BlueOf(trans);
    key_[1] = GreenOf(trans);
    key_[2] = RedOf(trans);
    surface_.FillRect({0, 0, width_, height_}, trans);
    return ComposeImage(model, index, trans, host, {&surface_, 0, 0}).outcome;
}

const std::uint8_t* KeyedCanvas::Pixel(std::int32_t x, std::int32_t y) const {
    return surface_.Bits() + (surface_.Height() - 1 - y) * surface_.Stride() + 3 * x;
}

SpriteBox KeyedCanvas::VisibleBox() const {
    const auto isKey = [this](const std::uint8_t* p) {
        return p[0] == key_[0] && p[1] == key_[1] && p[2] == key_[2];
    };
    std::int32_t left = width_;
    std::int32_t right = -1;
    std::int32_t top = -1;
    std::int32_t bottom = -1;
    for (std::int32_t y = 0; y < height_; ++y) {
        const std::uint8_t* row = Pixel(0, y);
        std::int32_t first = 0;
        while (first < width_ && isKey(row + 3 * first)) ++first;
        if (first == width_) continue;
        std::int32_t last = width_ - 1;
        while (last > right && isKey(row + 3 * last)) --last;
        left = std::min(left, first);
        right = std::max(right, last);
        if (top < 0) top = y;
        bottom = y;
    }
    if (top < 0) return {0, 0, 1, 1};
    return {left, top, right - left + 1, bottom - top + 1};
}

void KeyedCanvas::RowToRgba(std::int32_t x, std::int32_t y, std::int32_t count,
                            std::uint8_t* to) const {
    const std::uint8_t* bgr = Pixel(x, y);
    for (std::int32_t i = 0; i < count; ++i, bgr += 3, to += 4) {
        const bool clear = bgr[0] == key_[0] && bgr[1] == key_[1] && bgr[2] == key_[2];
        to[0] = clear ? 0 : bgr[2];
        to[1] = clear ? 0 : bgr[1];
        to[2] = clear ? 0 : bgr[0];
        to[3] = clear ? 0 : 255;
    }
}

ImageOutcome RenderRgba(const ArchiveModel& model, std::int32_t index, COLORREF trans, Host& host,
                        RgbaImage& out) {
    KeyedCanvas canvas;
    const ImageOutcome outcome = canvas.Compose(model, index, trans, host);
    out.width = canvas.Width();
    out.height = canvas.Height();
    out.pixels.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height) *
                      4);
    for (std::int32_t y = 0; y < out.height; ++y) {
        canvas.RowToRgba(0, y, out.width,
                         out.pixels.data() +
                             static_cast<std::size_t>(y) * static_cast<std::size_t>(out.width) * 4);
    }
    return outcome;
}

}  // namespace pixhaul
