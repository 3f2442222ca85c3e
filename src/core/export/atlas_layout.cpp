#include "export/atlas_layout.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>

namespace pixhaul {

std::int32_t CeilPowerOfTwo(std::int32_t value) {
    std::int32_t power = 1;
    while (power < value && power < (std::int32_t{1} << 30)) power *= 2;
    return power;
}

namespace {

std::int32_t FloorPowerOfTwo(std::int32_t value) {
    std::int32_t power = 1;
    while (power <= value / 2) power *= 2;
    return power;
}

constexpr std::int64_t kUnlimited = std::numeric_limits<std::int32_t>::max();

// The width shelves wrap at without a page limit: about square, never narrower than a cell.
std::int64_t NaturalWidth(const std::vector<AtlasSprite>& sprites, std::int64_t border,
                          std::int64_t padding) {
    double area = 0;
    std::int64_t widest = 1;
    for (const AtlasSprite& sprite : sprites) {
        const std::int64_t width = sprite.box.width + border;
        widest = std::max(widest, width);
        area += static_cast<double>(width + padding) *
                static_cast<double>(sprite.box.height + border + padding);
    }
    const auto side = static_cast<std::int64_t>(std::ceil(std::sqrt(area)));
    return std::min(std::max(widest, side), kUnlimited);
}

}  // namespace

std::string DescribeAtlasFrame(const AtlasSource& source) {
    return "frame " + std::to_string(source.frame) + " of object " + std::to_string(source.object) +
           ", action " + std::to_string(source.action) + ", direction " +
           std::to_string(source.direction) + " (image " + std::to_string(source.image) + ")";
}

AtlasLayout LayoutAtlas(const std::vector<AtlasSource>& frames, const MeasureSprite& measure,
                        const AtlasLayoutOptions& options) {
    const std::int64_t padding = std::clamp(options.padding, 0, kMaxAtlasSpacing);
    const std::int64_t border = 2 * std::int64_t{std::clamp(options.extrude, 0, kMaxAtlasSpacing)};
    AtlasLayout layout;
    layout.frames.reserve(frames.size());
    std::unordered_map<std::int32_t, std::size_t> placed;
    std::vector<std::size_t> firstFrameOf;  // for each sprite, the frame that made it
    for (const AtlasSource& source : frames) {
        if (!options.keepDuplicates) {
            const auto found = placed.find(source.image);
            if (found != placed.end()) {
                layout.frames.push_back({source, found->second});
                continue;
            }
        }
        const SpriteMeasure m = measure(source.image);
        AtlasSprite sprite;
        sprite.image = source.image;
        sprite.sourceWidth = std::max(m.sourceWidth, 1);
        sprite.sourceHeight = std::max(m.sourceHeight, 1);
        sprite.box = m.box;
        sprite.trimmed = m.box.x != 0 || m.box.y != 0 || m.box.width != sprite.sourceWidth ||
                         m.box.height != sprite.sourceHeight;
        const std::size_t index = layout.sprites.size();
        layout.sprites.push_back(sprite);
        firstFrameOf.push_back(layout.frames.size());
        placed.emplace(source.image, index);
        layout.frames.push_back({source, index});
    }

    // Page limits; with powers of two the largest power within the limit.
    std::int64_t limitWidth = options.maxWidth > 0 ? options.maxWidth : kUnlimited;
    std::int64_t limitHeight = options.maxHeight > 0 ? options.maxHeight : kUnlimited;
    if (options.powerOfTwo) {
        limitWidth = FloorPowerOfTwo(static_cast<std::int32_t>(std::min(limitWidth, kUnlimited)));
        limitHeight = FloorPowerOfTwo(static_cast<std::int32_t>(std::min(limitHeight, kUnlimited)));
    }
    const std::int64_t wrapWidth =
        options.maxWidth > 0 ? limitWidth
                             : std::min(limitWidth, NaturalWidth(layout.sprites, border, padding));

    std::int64_t x = 0;
    std::int64_t y = 0;
    std::int32_t page = 0;
    AtlasShelf shelf;
    AtlasPage size;
    auto closeShelf = [&](std::size_t end) {
        shelf.end = end;
        if (shelf.end > shelf.first) layout.shelves.push_back(shelf);
    };
    auto closePage = [&] {
        if (options.powerOfTwo) {
            size.width = CeilPowerOfTwo(size.width);
            size.height = CeilPowerOfTwo(size.height);
        }
        layout.pages.push_back(size);
        size = {};
    };
    for (std::size_t i = 0; i < layout.sprites.size(); ++i) {
        AtlasSprite& sprite = layout.sprites[i];
        const std::int64_t cellWidth = sprite.box.width + border;
        const std::int64_t cellHeight = sprite.box.height + border;
        if (cellWidth > limitWidth || cellHeight > limitHeight) {
            throw AtlasLayoutError(
                DescribeAtlasFrame(layout.frames[firstFrameOf[i]].source) + ", " +
                std::to_string(cellWidth) + " x " + std::to_string(cellHeight) +
                " pixels with its extrusion, is larger than the page of at most " +
                std::to_string(limitWidth) + " x " + std::to_string(limitHeight));
        }
        if (x > 0 && x + cellWidth > wrapWidth) {  // next shelf
            closeShelf(i);
            y += shelf.height + padding;
            x = 0;
            shelf = {page, static_cast<std::int32_t>(std::min(y, kUnlimited)), 0, i, i};
        }
        if (y + cellHeight > limitHeight) {  // next page
            closeShelf(i);
            closePage();
            ++page;
            x = 0;
            y = 0;
            shelf = {page, 0, 0, i, i};
        }
        if (y + cellHeight > kUnlimited) {
            throw AtlasLayoutError("the atlas is taller than a picture can be at " +
                                   DescribeAtlasFrame(layout.frames[firstFrameOf[i]].source));
        }
        sprite.page = page;
        sprite.x = static_cast<std::int32_t>(x + border / 2);
        sprite.y = static_cast<std::int32_t>(y + border / 2);
        shelf.height = std::max(shelf.height, static_cast<std::int32_t>(cellHeight));
        size.width = std::max(size.width, static_cast<std::int32_t>(x + cellWidth));
        size.height = std::max(size.height, static_cast<std::int32_t>(y + cellHeight));
        x += cellWidth + padding;
    }
    closeShelf(layout.sprites.size());
    if (!layout.sprites.empty()) closePage();
    return layout;
}

}  // namespace pixhaul
