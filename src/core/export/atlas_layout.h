#pragma once
// Where the frames of an atlas go: each distinct sprite (an image, cut to its visible pixels when
// trimming) packed into shelves left to right in archive order, shelves top to bottom, onto one
// or more pages. Pure arithmetic: the pixels are drawn by the atlas export.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace pixhaul {

// One frame of the export in archive order (object, action, direction, frame).
struct AtlasSource {
    std::int32_t object = 0;
    std::int32_t action = 0;
    std::int32_t direction = 0;
    std::int32_t frame = 0;
    std::int32_t image = 0;
};

// The part of an image a sprite keeps, inside the image (x, y from its top-left corner).
struct SpriteBox {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

struct AtlasSprite {
    std::int32_t image = 0;
    std::int32_t page = 0;
    std::int32_t x = 0;  // top-left corner of the kept pixels on the page (inside the extrusion)
    std::int32_t y = 0;
    SpriteBox box;  // the kept pixels inside the image
    std::int32_t sourceWidth = 0;
    std::int32_t sourceHeight = 0;
    bool trimmed = false;  // box is not the whole image
};

struct AtlasFrame {
    AtlasSource source;
    std::size_t sprite = 0;  // index into AtlasLayout::sprites
};

// A row of sprites on a page: sprites [first, end), top edge y, as tall as its tallest cell.
struct AtlasShelf {
    std::int32_t page = 0;
    std::int32_t y = 0;
    std::int32_t height = 0;
    std::size_t first = 0;
    std::size_t end = 0;
};

struct AtlasPage {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

struct AtlasLayout {
    std::vector<AtlasFrame> frames;  // archive order
    std::vector<AtlasSprite> sprites;
    std::vector<AtlasShelf> shelves;  // page by page, top to bottom
    std::vector<AtlasPage> pages;
};

struct AtlasLayoutOptions {
    std::int32_t padding = 0;   // transparent pixels between cells
    std::int32_t extrude = 0;   // edge pixels repeated outward around each sprite
    bool powerOfTwo = false;    // page sides rounded up to powers of two
    std::int32_t maxWidth = 0;  // 0: no limit (one page)
    std::int32_t maxHeight = 0;
    bool keepDuplicates = false;  // a sprite for every frame, even when its image is placed
};

// The largest padding or extrusion accepted, so that no cell arithmetic can overflow.
inline constexpr std::int32_t kMaxAtlasSpacing = 4096;

// A layout that cannot be made (a frame larger than the page); the message names the frame.
class AtlasLayoutError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The source size of an image (at least 1 x 1: an empty image becomes one transparent pixel) and
// its box (the whole image, or its visible pixels when trimming).
struct SpriteMeasure {
    std::int32_t sourceWidth = 1;
    std::int32_t sourceHeight = 1;
    SpriteBox box{0, 0, 1, 1};
};
using MeasureSprite = std::function<SpriteMeasure(std::int32_t image)>;

// Lays the frames out. measure is called once for each sprite made. Throws AtlasLayoutError.
AtlasLayout LayoutAtlas(const std::vector<AtlasSource>& frames, const MeasureSprite& measure,
                        const AtlasLayoutOptions& options);

// The smallest power of two at least value (value >= 1, at most 2^30).
std::int32_t CeilPowerOfTwo(std::int32_t value);

// "frame 3 of object 0, action 1, direction 2 (image 17)"
std::string DescribeAtlasFrame(const AtlasSource& source);

}  // namespace pixhaul
