#pragma once
// Window coordinates are kept in twips (1/1440 inch) and mapped to pixels at the screen's
// logical dpi: 15 twips per pixel at 96 dpi.
#include <cmath>

namespace pixhaul::viewer {

inline constexpr int kTwipsPerInch = 1440;

inline int TwipsToPixels(int twips, int dpi) {
    return static_cast<int>(std::lround(static_cast<double>(twips) * dpi / kTwipsPerInch));
}

inline int PixelsToTwips(int pixels, int dpi) {
    return static_cast<int>(std::lround(static_cast<double>(pixels) * kTwipsPerInch / dpi));
}

}  // namespace pixhaul::viewer
