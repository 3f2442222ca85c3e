// ToRLE: the pixel buffer as run-length records (kinds 2, 4, 5) or a one-bit mask (kind 1).
// Pixels are taken in memory order (bottom row first), runs go on across row ends, and every
// run-length output starts from a black "previous" colour, so a first pixel that is not black
// yields a leading record with a count of 0.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "bitmap/cbitmap.h"
#include "formats/rle_stream.h"

namespace pixhaul {

namespace {

constexpr int kLongestRun = 127;

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const Rgb&) const = default;
};

std::uint8_t GreyLevel(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return static_cast<std::uint8_t>((red + green + blue) / 3);
}

// Calls visit(Rgb) for each pixel in scan order.
template <typename Visit>
void ForEachPixel(const std::uint8_t* buffer, const BitmapInfoHeader& header, Visit&& visit) {
    const std::int64_t stride = StrideFor(header.biWidth);
    for (std::int32_t r = 0; r < header.biHeight; ++r) {
        const std::uint8_t* px = buffer + r * stride;
        for (std::int32_t x = 0; x < header.biWidth; ++x, px += 3) visit(Rgb{px[2], px[1], px[0]});
    }
}

// Kinds 2, 4 and 5: value(Rgb) gives what runs compare, emit(out, count, value) writes a record.
template <typename Value, typename ToValue, typename Emit>
std::vector<std::uint8_t> EncodeRuns(const std::uint8_t* buffer, const BitmapInfoHeader& header,
                                     ToValue toValue, Emit emit) {
    std::vector<std::uint8_t> out;
    Value previous = toValue(Rgb{});
    int count = 0;
    ForEachPixel(buffer, header, [&](const Rgb& pixel) {
        const Value current = toValue(pixel);
        if (current == previous && count != kLongestRun) {
            ++count;
        } else {
            emit(out, count, previous);
            count = 1;
            previous = current;
        }
    });
    emit(out, count, previous);
    return out;
}

std::vector<std::uint8_t> EncodeMask(const std::uint8_t* buffer, const BitmapInfoHeader& header) {
    std::vector<std::uint8_t> out(1, 0);
    unsigned accumulator = 0;
    int bit = 0;
    ForEachPixel(buffer, header, [&](const Rgb& p) {
        if (GreyLevel(p.red, p.green, p.blue) >= 128) accumulator |= 1u << bit;
        if (++bit == 8) {
            out.back() = static_cast<std::uint8_t>(accumulator);
            out.push_back(0);
            accumulator = 0;
            bit = 0;
        }
    });
    if (bit > 0) out.back() = static_cast<std::uint8_t>(accumulator);
    return out;
}

}  // namespace

std::vector<std::uint8_t> cBitMap::ToRLE(std::uint8_t iType) const {
    // Without a pixel buffer that matches the header (never built, or purged) there is nothing
    // to encode.
    const std::int64_t pixelBytes =
        StrideFor(header_.biWidth) * std::max<std::int32_t>(header_.biHeight, 0);
    if (header_.biWidth < 0 || header_.biHeight < 0 ||
        static_cast<std::uint64_t>(pixelBytes) > bufferSize_) {
        return {};
    }
    const std::uint8_t* buffer = buffer_.get();
    const auto push = [](std::vector<std::uint8_t>& out, int count) {
        out.push_back(static_cast<std::uint8_t>(count));
    };

    switch (iType) {
        case 1:
            return EncodeMask(buffer, header_);
        case 2:
            return EncodeRuns<std::uint8_t>(
                buffer, header_, [](const Rgb& p) { return GreyLevel(p.red, p.green, p.blue); },
                [&](std::vector<std::uint8_t>& out, int count, std::uint8_t grey) {
                    push(out, count);
                    out.push_back(grey);
                });
        case 4:
            return EncodeRuns<Rgb>(
                buffer, header_, [](const Rgb& p) { return p; },
                [&](std::vector<std::uint8_t>& out, int count, const Rgb& c) {
                    // 5-6-5 bits, high byte first.
                    push(out, count);
                    out.push_back(static_cast<std::uint8_t>((c.red & 0xF8) + (c.green >> 5)));
                    out.push_back(
                        static_cast<std::uint8_t>(((c.green & 0x1C) << 3) + (c.blue >> 3)));
                });
        case 5: {
            Rle5Encoder encoder;
            const std::int64_t stride = StrideFor(header_.biWidth);
            for (std::int32_t r = 0; r < header_.biHeight; ++r) {
                encoder.AddPixels(buffer + r * stride, static_cast<std::size_t>(header_.biWidth));
            }
            return encoder.Finish();
        }
        default:
            return {};
    }
}

}  // namespace pixhaul
