#pragma once
// How the colours of a packet stream become stored pixels: blue, green and red in the three low
// bytes of a 32-bit word, black replaced by the transparent colour.
#include <array>
#include <cstdint>
#include <cstring>

#include "bitmap/literal_simd.h"

namespace pixhaul {

// A colour as it is stored: blue, green, red in the three low bytes.
using Pixel = std::uint32_t;

constexpr Pixel PixelOf(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
    return static_cast<Pixel>(blue) | (static_cast<Pixel>(green) << 8) |
           (static_cast<Pixel>(red) << 16);
}

// A 15-bit colour (five bits each of blue, green and red from the low end, each scaled by 8) as
// the OR of what its low byte and its high byte contribute; green straddles the two.
struct FifteenBitTables {
    std::array<Pixel, 256> low{};
    std::array<Pixel, 128> high{};
};
constexpr FifteenBitTables MakeFifteenBitTables() {
    FifteenBitTables t;
    for (Pixel b = 0; b < 256; ++b) t.low[b] = ((b & 0x1Fu) << 3) | ((b >> 5) << 11);
    for (Pixel b = 0; b < 128; ++b) t.high[b] = ((b & 0x03u) << 14) | ((b >> 2) << 19);
    return t;
}
inline constexpr FifteenBitTables kFifteenBit = MakeFifteenBitTables();

// Turns stream colours into stored pixels, black already replaced by the transparent colour.
// The table keeps to cache lines of its own: laid out among the decoder's other locals, which
// change at every packet, palette literals decoded at two thirds of the speed.
struct alignas(64) Colours {
    std::array<Pixel, 256> palette{};
    PalettePlanes planes;  // made for palette streams only
    Pixel trans = 0;
};

// The colour whose kBytes bytes start at src (1: a palette index; 2: 15 bits, little-endian;
// 3: blue, green, red; any other: none, and the colour stays black). Three-byte colours are
// read with one four-byte load: the decoder guarantees a readable byte after every colour.
template <int kBytes>
inline Pixel ReadColour(const std::uint8_t* src, const Colours& colours) {
    if constexpr (kBytes == 1) {
        return colours.palette[src[0]];
    } else if constexpr (kBytes == 2) {
        // Bit 15 is unused.
        const Pixel p = kFifteenBit.low[src[0]] | kFifteenBit.high[src[1] & 0x7Fu];
        return p == 0 ? colours.trans : p;
    } else if constexpr (kBytes == 3) {
        Pixel raw;
        std::memcpy(&raw, src, 4);
        const Pixel p = raw & 0xFFFFFFu;  // blue, green, red
        return p == 0 ? colours.trans : p;
    } else {
        return colours.trans;
    }
}

}  // namespace pixhaul
