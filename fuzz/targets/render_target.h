#pragma once
// The render target: one cBitMap made from the input (its sizes, stream type, palette, stream),
// decoded, drawn onto a small surface 1:1 and stretched, and run-length coded in every kind.
//
// Input: flags (bits 0-1 stream type 259 / 518 / 1028 / read from the input; bit 2 palette set;
// bit 3 stream shared rather than owned; bit 4 SRCPAINT; bits 5-6 transparent colour; bit 7
// 32-bit drawing offsets), height, width, [type], palette seed, six signed drawing offsets (8 or
// 32 bits), a scale pair, then the stream (its last byte being the trailing byte).
//
// The decoded pixels are compared with a plain, slow decoder of the same packets; the run-length
// output must cover the picture and read back to it.
#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "bitmap/cbitmap.h"
#include "bitmap/literal_simd.h"
#include "bitmap/runs_avx512.h"
#include "formats/rle_stream.h"
#include "fuzz_bytes.h"
#include "fuzz_host.h"

namespace pixhaul::fuzz {

// Pixels one decode may take; larger images (that Render would accept) are skipped so that
// executions stay fast. The render target checks every pixel many times over and keeps to a
// smaller budget: the decoder's paths do not depend on the size beyond a few rows.
inline constexpr std::int64_t kRenderPixelBudget = std::int64_t{1} << 18;
inline constexpr std::int64_t kRenderTargetPixelBudget = std::int64_t{1} << 14;

// Whether decoding an image of this size is cheap: within the budget, or refused by Render
// before it takes any memory.
inline bool CheapToRender(std::int16_t eType, std::int16_t width, std::int16_t height,
                          std::int64_t budget = kRenderPixelBudget) {
    if (width <= 0 || height <= 0) return true;
    const std::int64_t surfaceWidth = width + (width % 2);
    if (eType != k15BitType && surfaceWidth > INT16_MAX) return true;
    const std::int64_t pixels = surfaceWidth * height;
    return pixels <= budget || pixels > cBitMap::kMaxImagePixels;
}

// A colour as the pixel buffer stores it: blue in the low byte, then green, then red.
inline std::uint32_t Stored(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
    return blue | (static_cast<std::uint32_t>(green) << 8) |
           (static_cast<std::uint32_t>(red) << 16);
}

struct ReferenceDecode {
    bool corrupt = false;
    std::vector<std::uint32_t> pixels;  // rowWidth x height, top row first; 0 where none went
};

// The packets decoded one byte at a time through StreamBytes::At: an opcode below 128 is a run,
// 128 a damaged stream, above 128 a literal. Opcodes lie below LastIndex, colours up to it.
inline ReferenceDecode DecodeSlowly(const StreamBytes& stream, std::int16_t eType,
                                    std::int32_t rowWidth, std::int32_t height,
                                    const std::array<COLORREF, 256>* palette, COLORREF trans) {
    const std::size_t bytes = eType == kPaletteType ? 1
                              : eType == k15BitType ? 2
                              : eType == k24BitType ? 3
                                                    : 0;
    const std::size_t last = stream.LastIndex();
    const std::uint32_t transStored = Stored(BlueOf(trans), GreenOf(trans), RedOf(trans));
    auto colourAt = [&](std::size_t i) {
        std::uint32_t p = 0;
        if (bytes == 1) {
            const COLORREF c = palette != nullptr ? (*palette)[stream.At(i)] : 0;
            p = Stored(BlueOf(c), GreenOf(c), RedOf(c));
        } else if (bytes == 2) {
            const unsigned v = stream.At(i) | (stream.At(i + 1) << 8);
            p = Stored(static_cast<std::uint8_t>((v & 0x1F) << 3),
                       static_cast<std::uint8_t>(((v >> 5) & 0x1F) << 3),
                       static_cast<std::uint8_t>(((v >> 10) & 0x1F) << 3));
        } else if (bytes == 3) {
            p = Stored(stream.At(i), stream.At(i + 1), stream.At(i + 2));
        }
        return p == 0 ? transStored : p;
    };

    ReferenceDecode out;
    const std::size_t total = static_cast<std::size_t>(rowWidth) * static_cast<std::size_t>(height);
    out.pixels.assign(total, 0);
    std::size_t n = 0;
    std::size_t p = 0;
    while (p < last && n < total) {
        const std::uint8_t op = stream.At(p);
        if (op == 128) {
            out.corrupt = true;
            break;
        }
        if (op < 128) {
            if (p + bytes > last) {
                out.corrupt = true;
                break;
            }
            const std::uint32_t c = colourAt(p + 1);
            for (int k = 0; k < op && n < total; ++k) out.pixels[n++] = c;
            p += bytes + 1;
            continue;
        }
        const std::size_t count = op - 128u;
        for (std::size_t k = 0; k < count && n < total; ++k) {
            if (p + (k + 1) * bytes > last) {
                out.corrupt = true;
                return out;
            }
            out.pixels[n++] = colourAt(p + 1 + k * bytes);
        }
        p += 1 + count * bytes;
    }
    return out;
}

// Sum of the counts of a run-length output of records of recordSize bytes.
inline std::uint64_t CoveredPixels(const std::vector<std::uint8_t>& rle, std::size_t recordSize) {
    std::uint64_t covered = 0;
    for (std::size_t i = 0; i + recordSize <= rle.size(); i += recordSize) covered += rle[i];
    return covered;
}

// Checks a rendered bitmap's pixel buffer against the slow decode, and its run-length outputs.
inline std::string CheckRendered(const cBitMap& bitmap, const ReferenceDecode& expected,
                                 std::int32_t rowWidth) {
    const BitmapInfoHeader& header = bitmap.Header();
    const std::int64_t stride = StrideFor(header.biWidth);
    const std::span<const std::uint8_t> buffer = bitmap.PixelBuffer();
    const auto pixelBytes = static_cast<std::size_t>(stride * header.biHeight);
    if (buffer.size() < pixelBytes) return "pixel buffer smaller than the picture";
    for (std::int32_t y = 0; y < header.biHeight; ++y) {
        const std::uint8_t* row = buffer.data() + (header.biHeight - 1 - y) * stride;
        for (std::int32_t x = 0; x < header.biWidth; ++x) {
            const std::uint32_t want =
                x < rowWidth ? expected.pixels[static_cast<std::size_t>(y) * rowWidth + x] : 0;
            if (Stored(row[3 * x], row[3 * x + 1], row[3 * x + 2]) != want) {
                return "pixel (" + std::to_string(x) + ", " + std::to_string(y) +
                       ") differs from the plain decoder";
            }
        }
        for (std::int64_t i = 3 * std::int64_t{header.biWidth}; i < stride; ++i) {
            if (row[i] != 0) return "row padding is not zero in row " + std::to_string(y);
        }
    }
    for (std::size_t i = pixelBytes; i < buffer.size(); ++i) {
        if (buffer[i] != 0) return "pixel buffer not zero past the picture";
    }

    const std::uint64_t pixels =
        static_cast<std::uint64_t>(header.biWidth) * static_cast<std::uint64_t>(header.biHeight);
    const std::vector<std::uint8_t> rle5 = bitmap.ToRLE(5);
    if (rle5.size() % 4 != 0 || CoveredPixels(rle5, 4) != pixels) return "ToRLE(5) miscounts";
    const std::vector<std::uint8_t> rle4 = bitmap.ToRLE(4);
    if (rle4.size() % 3 != 0 || CoveredPixels(rle4, 3) != pixels) return "ToRLE(4) miscounts";
    const std::vector<std::uint8_t> rle2 = bitmap.ToRLE(2);
    if (rle2.size() % 2 != 0 || CoveredPixels(rle2, 2) != pixels) return "ToRLE(2) miscounts";
    if (bitmap.ToRLE(1).size() != pixels / 8 + 1) return "ToRLE(1) has the wrong length";
    if (!bitmap.ToRLE(3).empty() || !bitmap.ToRLE(0).empty()) return "ToRLE of an unknown kind";

    // Kind 5 reads back to the picture.
    Surface back(header.biWidth, header.biHeight);
    if (const std::string error = Rle5Decoder::Decode(rle5, back); !error.empty()) {
        return "ToRLE(5) does not read back: " + error;
    }
    for (std::int32_t r = 0; r < header.biHeight; ++r) {
        const std::uint8_t* want = buffer.data() + r * stride;
        const std::uint8_t* got = back.Bits() == nullptr ? nullptr : back.Bits() + r * stride;
        for (std::int64_t i = 0; i < 3 * std::int64_t{header.biWidth}; ++i) {
            if ((got == nullptr ? 0 : got[i]) != want[i]) return "ToRLE(5) reads back different";
        }
    }
    return "";
}

// A render input for the given fields, with fixed drawing offsets and scales; the stream gets
// a trailing byte of its own.
inline std::vector<std::uint8_t> MakeRenderInput(std::uint8_t flags, std::int16_t type,
                                                 std::int16_t width, std::int16_t height,
                                                 std::span<const std::uint8_t> stream) {
    std::vector<std::uint8_t> in = {
        flags, static_cast<std::uint8_t>(height), static_cast<std::uint8_t>(height >> 8),
        static_cast<std::uint8_t>(width), static_cast<std::uint8_t>(width >> 8)};
    if ((flags & 3) == 3) {
        in.push_back(static_cast<std::uint8_t>(type));
        in.push_back(static_cast<std::uint8_t>(type >> 8));
    }
    const std::uint8_t tail[] = {
        0x21, 0, 0, 3, 2, static_cast<std::uint8_t>(width), static_cast<std::uint8_t>(height),
        0x0A};
    in.insert(in.end(), std::begin(tail), std::end(tail));
    in.insert(in.end(), stream.begin(), stream.end());
    in.push_back(0x55);
    return in;
}

// The decoder's path while this lives: 0 the widest this processor has, 1 without the AVX-512
// run loop, 2 (or more) without any vector code, as other processors decode. The widest is put
// back at the end.
class DecoderPath {
  public:
    explicit DecoderPath(int path) {
        SetVectorLiterals(path < 2);
        SetRunsAvx512(path == 0);
    }
    ~DecoderPath() {
        SetVectorLiterals(true);
        SetRunsAvx512(true);
    }
    DecoderPath(const DecoderPath&) = delete;
    DecoderPath& operator=(const DecoderPath&) = delete;
};

inline std::string RunRenderInput(std::span<const std::uint8_t> bytes) {
    FuzzBytes in(bytes);
    const std::uint8_t flags = in.U8();
    const std::int16_t height = in.I16();
    const std::int16_t width = in.I16();
    constexpr std::array<std::int16_t, 3> kTypes = {kPaletteType, k15BitType, k24BitType};
    const std::int16_t eType = (flags & 3) == 3 ? in.I16() : kTypes[flags & 3];
    const bool withPalette = (flags & 4) != 0;
    const bool shared = (flags & 8) != 0;
    const std::uint32_t drawOp = (flags & 16) != 0 ? SRCPAINT : SRCCOPY;
    constexpr std::array<COLORREF, 4> kTrans = {0xFF00FF, 0x000000, 0xFFFFFF, 0x102030};
    const COLORREF trans = kTrans[(flags >> 5) & 3];
    const std::uint8_t seed = in.U8();
    // Small offsets, or (bit 7) any 32-bit ones.
    const bool wide = (flags & 0x80) != 0;
    auto offset = [&] { return wide ? static_cast<std::int32_t>(in.U32()) : in.I8(); };
    const std::int32_t fromX = offset(), fromY = offset(), toX = offset(), toY = offset();
    const std::int32_t dWidth = offset(), dHeight = offset();
    const std::uint8_t scales = in.U8();
    const std::span<const std::uint8_t> rest = in.Rest();
    // The top bits of the scales pick the decoder's path.
    const DecoderPath path(scales >> 6);
    if (!CheapToRender(eType, width, height, kRenderTargetPixelBudget)) return "";

    std::array<COLORREF, 256> palette{};
    for (std::uint32_t i = 0; i < palette.size(); ++i) {
        palette[i] = (i * 0x9E3779B1u ^ seed * 0x01010101u) & 0xFFFFFF;
        if ((i ^ seed) % 7 == 0) palette[i] = 0;
    }
    // The shared form points into the input itself, so a read past the stream is a read past
    // the input's own buffer.
    const StreamBytes stream =
        shared && !rest.empty() ? StreamBytes(nullptr, rest.first(rest.size() - 1), rest.back())
                                : StreamBytes(std::vector<std::uint8_t>(rest.begin(), rest.end()));

    FuzzHost host;
    cBitMap bitmap;
    bitmap.SetData(height, width, eType, stream);
    if (withPalette) bitmap.SetPalette(palette);
    const RenderOutcome outcome = bitmap.Render(trans, host);
    const std::int32_t rowWidth = bitmap.Width();

    switch (outcome) {
        case RenderOutcome::Rendered: {
            if (!bitmap.IsRendered() || host.messages != 0) return "Rendered but not rendered";
            const ReferenceDecode expected = DecodeSlowly(stream, eType, rowWidth, height,
                                                          withPalette ? &palette : nullptr, trans);
            if (expected.corrupt) return "rendered a stream the plain decoder finds corrupt";
            if (std::string problem = CheckRendered(bitmap, expected, rowWidth); !problem.empty()) {
                return problem;
            }
            break;
        }
        case RenderOutcome::Corrupt: {
            if (bitmap.IsRendered() || host.messages != 1) return "Corrupt, yet rendered";
            const ReferenceDecode expected = DecodeSlowly(stream, eType, rowWidth, height,
                                                          withPalette ? &palette : nullptr, trans);
            if (!expected.corrupt) return "corrupt for the fast decoder only";
            break;
        }
        case RenderOutcome::EmptyStream:
            if (stream.LastIndex() != 0) return "EmptyStream on a stream with opcodes";
            [[fallthrough]];
        case RenderOutcome::TooLarge:
        case RenderOutcome::AlreadyRendered:
            if (bitmap.IsRendered()) return "rendered without decoding";
            break;
    }
    if (!bitmap.IsRendered() && bitmap.hDC() != nullptr && outcome != RenderOutcome::EmptyStream) {
        return "a surface is left after a failed decode";
    }

    // Drawing, 1:1 and stretched, clipped to a small target; any offsets.
    constexpr std::array<double, 8> kScales = {1.0, 0.5, 2.0, 3.0, 1.5, -1.0, 0.0, 0.25};
    Surface target(41, 29);
    target.Fill(0x203040);
    bitmap.DrawTo(&target, fromX, fromY, toX, toY, dWidth, dHeight, 1.0, 1.0, drawOp);
    bitmap.DrawTo(&target, fromX, fromY, toX, toY, width, height, 1.0, 1.0, drawOp);
    bitmap.DrawTo(&target, fromX, fromY, toX, toY, dWidth, dHeight, kScales[scales & 7],
                  kScales[(scales >> 3) & 7], drawOp);
    bitmap.DrawTo(&target, 0, 0, toX, toY, width, height, kScales[scales & 7],
                  kScales[(scales >> 3) & 7], drawOp);
    Surface empty;
    bitmap.DrawTo(&empty, 0, 0, 0, 0, width, height, 2.0, 2.0, drawOp);

    // A second decode after a purge gives the same picture.
    if (outcome == RenderOutcome::Rendered) {
        const std::vector<std::uint8_t> first(bitmap.PixelBuffer().begin(),
                                              bitmap.PixelBuffer().end());
        if (bitmap.Render(trans, host) != RenderOutcome::AlreadyRendered) return "rendered twice";
        bitmap.Purge();
        if (bitmap.IsRendered() || !bitmap.ToRLE(5).empty()) return "Purge kept the picture";
        if (withPalette) bitmap.SetPalette(palette);
        if (bitmap.Render(trans, host) != RenderOutcome::Rendered) return "second decode failed";
        if (!std::equal(first.begin(), first.end(), bitmap.PixelBuffer().begin(),
                        bitmap.PixelBuffer().end())) {
            return "second decode differs from the first";
        }
    }

    // A blank surface of small sizes (any sign), read back from the DIB section.
    const std::int32_t blankWidth = static_cast<std::int8_t>(dWidth);
    const std::int32_t blankHeight = static_cast<std::int8_t>(dHeight);
    bitmap.MakeNewBlank(blankHeight, blankWidth);
    bitmap.RefreshBits();
    const std::uint64_t blankPixels =
        static_cast<std::uint64_t>(std::max(blankWidth, 0)) * std::max(blankHeight, 0);
    if (CoveredPixels(bitmap.ToRLE(5), 4) != blankPixels) return "ToRLE(5) of a blank miscounts";
    return "";
}

}  // namespace pixhaul::fuzz
