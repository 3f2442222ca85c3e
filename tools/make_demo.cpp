// Writes the demo archive: a figure walking in eight directions (palette type), a spinning coin
// (15-bit type), an explosion (24-bit type) and a block of thumbnails. Everything is drawn with
// integer arithmetic, so the output is the same byte for byte on every machine.
//
// Usage: make_demo OUT.qxa
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "archive_builder.h"

namespace {

using pixhaul::testing::ActionSpec;
using pixhaul::testing::ArchiveBuilder;
using pixhaul::testing::DirectionSpec;
using pixhaul::testing::EncodeImage;
using pixhaul::testing::FrameSpec;
using pixhaul::testing::ImageBlockSpec;
using pixhaul::testing::ImageSpec;
using pixhaul::testing::ObjectSpec;

constexpr std::int16_t kPalette = 259;
constexpr std::int16_t k15Bit = 518;
constexpr std::int16_t k24Bit = 1028;

// A palette entry as the archive stores it: 0x00BBGGRR.
constexpr std::uint32_t Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return r | (g << 8) | (b << 16);
}

// A 15-bit stream colour from 5-bit components.
constexpr std::uint32_t Rgb15(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return b | (g << 5) | (r << 10);
}

// A 24-bit stream colour: 0x00RRGGBB (written blue, green, red).
constexpr std::uint32_t Rgb24(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return (r << 16) | (g << 8) | b;
}

bool InCircle(int x, int y, int cx, int cy, int r) {
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
}

// ---- the walker: palette type, 23 x 32 (odd, so the stream carries an extra column) ----------

enum WalkerColour : std::uint32_t {
    kClear = 0,
    kSkin = 1,
    kShirt = 2,
    kTrousers = 3,
    kShoes = 4,
    kHair = 5,
    kEye = 6,
    kBelt = 7,
};

std::array<std::uint32_t, 256> WalkerPalette() {
    std::array<std::uint32_t, 256> p{};
    p[kSkin] = Rgb(236, 188, 150);
    p[kShirt] = Rgb(40, 110, 200);
    p[kTrousers] = Rgb(60, 60, 70);
    p[kShoes] = Rgb(110, 60, 20);
    p[kHair] = Rgb(90, 50, 20);
    p[kEye] = Rgb(20, 20, 20);
    p[kBelt] = Rgb(200, 170, 40);
    // The rest: a colour ramp, so every index has a distinct colour.
    for (int i = 8; i < 256; ++i) p[i] = Rgb(i, (i * 3) & 255, 255 - i);
    return p;
}

constexpr int kWalkerWidth = 23;
constexpr int kWalkerHeight = 32;
constexpr int kWalkFrames = 4;
// Facing of the eight directions: south, south-west, west, north-west, north, north-east, east,
// south-east.
constexpr std::array<int, 8> kFaceX = {0, -1, -1, -1, 0, 1, 1, 1};
constexpr std::array<int, 8> kFaceY = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr std::array<int, kWalkFrames> kStride = {0, 2, 0, -2};

std::uint32_t WalkerPixel(int direction, int frame, int x, int y) {
    const int fx = kFaceX[direction];
    const int fy = kFaceY[direction];
    const int swing = frame < 0 ? 0 : kStride[frame];
    const int cx = 11;
    // The head: the back of it is hair; eyes look the way the figure faces.
    if (InCircle(x, y, cx, 6, 5)) {
        if (fy < 0) return y <= 8 ? kHair : kSkin;
        if (y <= 2 || (fx != 0 && y <= 5 && x * fx < (cx - 1) * fx)) return kHair;
        if (y == 6) {
            const bool eye = fx == 0 ? (x == cx - 2 || x == cx + 2)
                                     : (x == cx + 3 * fx || (fy != 0 && x == cx - fx));
            if (eye) return kEye;
        }
        return kSkin;
    }
    if (y == 11 && x >= cx - 1 && x <= cx + 1) return kSkin;  // neck
    // Body and arms; seen from the side the arms swing against the legs.
    if (y >= 12 && y <= 21 && x >= cx - 4 && x <= cx + 4) return y == 21 ? kBelt : kShirt;
    if (y >= 13 && y <= 20) {
        const int armSwing = fy == 0 ? swing / 2 : 0;
        const int leftArm = cx - 6 + armSwing;
        const int rightArm = cx + 6 - armSwing;
        if (x == leftArm || x == leftArm + 1 || x == rightArm || x == rightArm - 1) {
            return y >= 19 ? kSkin : kShirt;
        }
    }
    // Legs: seen from the side they swing along x, seen from front or back they lift.
    if (y >= 22 && y <= 31) {
        for (int leg = -1; leg <= 1; leg += 2) {
            const int shift = fx != 0 ? leg * swing * fx : 0;
            const int lift = fx == 0 && leg * swing > 0 ? 2 : 0;
            const int left = cx + (leg < 0 ? -4 : 1) + shift;
            if (x >= left && x <= left + 3 && y <= 31 - lift) {
                return y >= 29 - lift ? kShoes : kTrousers;
            }
        }
    }
    return kClear;
}

// ---- the coin: 15-bit type, 15 x 15 -----------------------------------------------------------

constexpr int kCoinSize = 15;
constexpr int kCoinFrames = 8;
// |cos| of the eight spin angles (0, 22.5, ... 157.5 degrees), in thousandths.
constexpr std::array<int, kCoinFrames> kCoinWidth = {1000, 924, 707, 383, 80, 383, 707, 924};

std::uint32_t CoinPixel(int frame, int x, int y) {
    const int b = 7;
    const int a = std::max(1, 7 * kCoinWidth[frame] / 1000);
    const int dx = x - 7;
    const int dy = y - 7;
    const int inside = dx * dx * b * b + dy * dy * a * a;
    const int edge = a * a * b * b;
    if (inside > edge) return 0;
    if (a > 2 && inside * 10 > edge * 6 && inside * 10 <= edge * 7) return Rgb15(20, 15, 2);  // rim
    if (a > 1 && dx == -a / 2 && dy < 2) return Rgb15(31, 31, 24);  // glint
    return frame < 4 ? Rgb15(31, 25, 4) : Rgb15(28, 21, 3);         // face and back
}

// ---- the explosion: 24-bit type, 32 x 32 ------------------------------------------------------

constexpr int kBoomSize = 32;
constexpr int kBoomFrames = 6;

std::uint32_t Noise(int x, int y, int frame) {
    std::uint32_t h = static_cast<std::uint32_t>(x) * 73856093U ^
                      static_cast<std::uint32_t>(y) * 19349663U ^
                      static_cast<std::uint32_t>(frame) * 83492791U;
    h ^= h >> 13;
    h *= 0x5bd1e995U;
    h ^= h >> 15;
    return h & 0xFF;
}

std::uint32_t BoomPixel(int frame, int x, int y) {
    const int radius = 4 + 3 * frame;
    const int d2 = (x - 16) * (x - 16) + (y - 16) * (y - 16);
    if (d2 > radius * radius) return 0;
    // Late frames break up into smoke.
    if (frame >= 3 && static_cast<int>(Noise(x, y, frame)) < 50 * (frame - 2)) return 0;
    const int heat = 255 - d2 * 255 / (radius * radius);  // 255 at the centre, 0 at the edge
    const int fade = frame * 30;
    const int r = std::max(0, 255 - fade / 2);
    const int g = std::max(0, std::min(255, heat + 40 - fade));
    const int bl = std::max(0, heat - 150 - fade);
    return Rgb24(static_cast<std::uint32_t>(r), static_cast<std::uint32_t>(g),
                 static_cast<std::uint32_t>(bl));
}

// ---- thumbnails: block 0, palette type, 16 x 16 -----------------------------------------------

std::uint32_t ThumbPixel(int which, int x, int y) {
    switch (which) {
        case 0:  // a figure
            if (InCircle(x, y, 8, 4, 3)) return 1;
            if (x >= 5 && x <= 10 && y >= 8 && y <= 15) return 2;
            return 0;
        case 1:  // a coin
            return InCircle(x, y, 8, 8, 6) ? 3 : 0;
        default:  // a burst
            return (x == y || x + y == 15 || x == 8 || y == 8) ? 4 : 0;
    }
}

std::array<std::uint32_t, 256> ThumbPalette() {
    std::array<std::uint32_t, 256> p{};
    p[1] = Rgb(236, 188, 150);
    p[2] = Rgb(40, 110, 200);
    p[3] = Rgb(250, 200, 30);
    p[4] = Rgb(255, 120, 0);
    return p;
}

ImageSpec Image(std::int32_t id, std::int16_t type, int width, int height,
                const std::function<std::uint32_t(int, int)>& pixel) {
    ImageSpec image;
    image.id = id;
    image.width = static_cast<std::int16_t>(width);
    image.height = static_cast<std::int16_t>(height);
    image.type = type;
    // Hot spot in the middle of the bottom edge, as sprites are placed by their feet.
    image.extra = {static_cast<std::int16_t>(width / 2), static_cast<std::int16_t>(height), 0, 0};
    image.stream = EncodeImage(type, width, height, pixel);
    return image;
}

DirectionSpec Direction(const std::vector<std::int32_t>& imageIds) {
    DirectionSpec direction;
    for (std::size_t i = 0; i < imageIds.size(); ++i) {
        direction.frames.push_back(FrameSpec{static_cast<std::int32_t>(i) * 100, imageIds[i]});
    }
    direction.extra = {static_cast<std::int32_t>(imageIds.size()), 100, 0, 0};
    return direction;
}

std::vector<std::uint8_t> BuildDemo() {
    // Image ids: walker standing 100 + d, walking 200 + 10 d + f; coin 300 + f; explosion 400 + f.
    ImageBlockSpec thumbnails;
    thumbnails.palette = ThumbPalette();
    for (int i = 0; i < 3; ++i) {
        thumbnails.images.push_back(
            Image(1 + i, kPalette, 16, 16, [i](int x, int y) { return ThumbPixel(i, x, y); }));
    }

    ImageBlockSpec walker;
    walker.palette = WalkerPalette();
    for (int d = 0; d < 8; ++d) {
        walker.images.push_back(Image(100 + d, kPalette, kWalkerWidth, kWalkerHeight,
                                      [d](int x, int y) { return WalkerPixel(d, -1, x, y); }));
    }
    for (int d = 0; d < 8; ++d) {
        for (int f = 0; f < kWalkFrames; ++f) {
            walker.images.push_back(
                Image(200 + 10 * d + f, kPalette, kWalkerWidth, kWalkerHeight,
                      [d, f](int x, int y) { return WalkerPixel(d, f, x, y); }));
        }
    }

    ImageBlockSpec effects;
    for (int i = 0; i < 256; ++i) effects.palette[i] = Rgb(i, i, i);
    for (int f = 0; f < kCoinFrames; ++f) {
        effects.images.push_back(Image(300 + f, k15Bit, kCoinSize, kCoinSize,
                                       [f](int x, int y) { return CoinPixel(f, x, y); }));
    }
    for (int f = 0; f < kBoomFrames; ++f) {
        effects.images.push_back(Image(400 + f, k24Bit, kBoomSize, kBoomSize,
                                       [f](int x, int y) { return BoomPixel(f, x, y); }));
    }

    // Object 0: the walker, two named actions of eight directions.
    ObjectSpec figure;
    ActionSpec stand;
    stand.name = "Stand";
    ActionSpec walk;
    walk.name = "Walk";
    for (int d = 0; d < 8; ++d) {
        stand.directions.push_back(Direction({100 + d}));
        walk.directions.push_back(
            Direction({200 + 10 * d, 201 + 10 * d, 202 + 10 * d, 203 + 10 * d}));
    }
    figure.actions = {stand, walk};

    // Object 1: the coin; an unnamed spin and a named flip that shows frames twice.
    ObjectSpec coin;
    ActionSpec spin;
    spin.directions.push_back(Direction({300, 301, 302, 303, 304, 305, 306, 307}));
    ActionSpec flip;
    flip.name = "Flip";
    flip.directions.push_back(Direction({300, 304, 300, 304}));
    coin.actions = {spin, flip};

    // Object 2: the explosion, unnamed.
    ObjectSpec boom;
    ActionSpec burst;
    burst.directions.push_back(Direction({400, 401, 402, 403, 404, 405}));
    boom.actions = {burst};

    ArchiveBuilder builder;
    builder.ImageBlock(thumbnails).ImageBlock(walker).ImageBlock(effects);
    builder.Object(figure).Object(coin).Object(boom);
    return builder.Build();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo OUT.qxa\n");
        return 2;
    }
    try {
        pixhaul::testing::WriteFile(argv[1], BuildDemo());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_demo: %s\n", e.what());
        return 1;
    }
    return 0;
}
