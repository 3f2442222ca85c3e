#include "platform/surface.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace pixhaul {

namespace {

// The part [first, last) of a span of `count` steps that lands inside both a destination of
// `destLimit` and a source of `sourceLimit` cells, when step k goes from source cell
// sourceStart + k to destination cell destStart + k. Empty when first >= last.
struct Range {
    std::int64_t first;
    std::int64_t last;
    bool Empty() const { return first >= last; }
};

Range ClipSpan(std::int64_t destStart, std::int64_t sourceStart, std::int64_t count,
               std::int64_t destLimit, std::int64_t sourceLimit) {
    const std::int64_t first = std::max({std::int64_t{0}, -destStart, -sourceStart});
    const std::int64_t last = std::min({count, destLimit - destStart, sourceLimit - sourceStart});
    return {first, last};
}

bool KnownRop(std::uint32_t rop) {
    return rop == SRCCOPY || rop == SRCPAINT;
}

// Combines `bytes` bytes of source onto dest by rop. A null source stands for black.
void CombineBytes(std::uint8_t* dest, const std::uint8_t* source, std::size_t bytes,
                  std::uint32_t rop) {
    if (rop == SRCPAINT) {
        if (source == nullptr) return;
        for (std::size_t i = 0; i < bytes; ++i) dest[i] |= source[i];
    } else if (source == nullptr) {
        std::memset(dest, 0, bytes);
    } else {
        std::memmove(dest, source, bytes);
    }
}

std::int64_t MemoryRowOf(std::int64_t topDownRow, std::int64_t height) {
    return height - 1 - topDownRow;
}

}  // namespace

std::int64_t StrideFor(std::int32_t width) {
    const std::int64_t w = std::max<std::int32_t>(width, 0);
    return 4 * ((24 * w + 31) / 32);
}

std::int32_t RowPaddingFor(std::int32_t width) {
    const std::int64_t w = std::max<std::int32_t>(width, 0);
    return static_cast<std::int32_t>(StrideFor(width) - (24 * w + 7) / 8);
}

BitmapInfoHeader MakeHeader(std::int32_t width, std::int32_t height) {
    BitmapInfoHeader header;
    header.biWidth = width;
    header.biHeight = height;
    header.biSizeImage = static_cast<std::uint32_t>(StrideFor(width) * std::max(height, 0));
    return header;
}

Surface::Surface(std::int32_t width, std::int32_t height) {
    Reset(width, height);
}

void Surface::Reset(std::int32_t width, std::int32_t height) {
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    stride_ = StrideFor(width_);
    bits_.reset();
    changed_ = PixelRect{0, 0, width_, height_};
}

std::uint8_t* Surface::MutableBits() {
    if (!bits_ && SizeBytes() > 0) bits_ = std::make_unique<std::uint8_t[]>(SizeBytes());
    return bits_.get();
}

void PixelRect::Unite(const PixelRect& other) {
    if (other.Empty()) return;
    if (Empty()) {
        *this = other;
        return;
    }
    left = std::min(left, other.left);
    top = std::min(top, other.top);
    right = std::max(right, other.right);
    bottom = std::max(bottom, other.bottom);
}

PixelRect Surface::TakeChanges() {
    const PixelRect changed = changed_;
    changed_ = PixelRect{};
    return changed;
}

void Surface::Fill(COLORREF colour) {
    FillRect({0, 0, width_, height_}, colour);
}

void Surface::FillRect(PixelRect rect, COLORREF colour) {
    rect.left = std::max(rect.left, 0);
    rect.top = std::max(rect.top, 0);
    rect.right = std::min(rect.right, width_);
    rect.bottom = std::min(rect.bottom, height_);
    if (rect.Empty()) return;
    std::uint8_t* bits = MutableBits();
    // One row of the rectangle, then copies of it; a whole-width fill also zeroes the padding.
    const bool wholeRows = rect.left == 0 && rect.right == width_;
    const std::size_t bytes =
        wholeRows ? static_cast<std::size_t>(stride_) : static_cast<std::size_t>(3 * rect.Width());
    std::uint8_t* first = bits + MemoryRowOf(rect.bottom - 1, height_) * stride_ + 3 * rect.left;
    for (std::int32_t x = 0; x < rect.Width(); ++x) {
        first[3 * x] = BlueOf(colour);
        first[3 * x + 1] = GreenOf(colour);
        first[3 * x + 2] = RedOf(colour);
    }
    if (wholeRows) std::memset(first + 3 * width_, 0, bytes - 3 * static_cast<std::size_t>(width_));
    for (std::int32_t y = rect.top; y < rect.bottom - 1; ++y) {
        std::memcpy(bits + MemoryRowOf(y, height_) * stride_ + 3 * rect.left, first, bytes);
    }
    NoteChange(rect);
}

COLORREF Surface::PixelAt(std::int32_t x, std::int32_t y) const {
    if (!bits_ || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    const std::uint8_t* p = bits_.get() + MemoryRowOf(y, height_) * stride_ + 3 * x;
    return MakeColorRef(p[2], p[1], p[0]);
}

void SetDIBitsToDevice(Surface& target, std::int32_t xDest, std::int32_t yDest, std::int32_t dWidth,
                       std::int32_t dHeight, std::int32_t xSrc, std::int32_t ySrc,
                       const std::uint8_t* bits, const BitmapInfoHeader& header) {
    if (bits == nullptr || header.biWidth <= 0 || header.biHeight <= 0) return;
    const std::int64_t sourceTop =
        static_cast<std::int64_t>(header.biHeight) - ySrc - static_cast<std::int64_t>(dHeight);
    const Range cols = ClipSpan(xDest, xSrc, dWidth, target.Width(), header.biWidth);
    const Range rows = ClipSpan(yDest, sourceTop, dHeight, target.Height(), header.biHeight);
    if (cols.Empty() || rows.Empty()) return;

    const std::int64_t sourceStride = StrideFor(header.biWidth);
    const std::size_t bytes = static_cast<std::size_t>(3 * (cols.last - cols.first));
    std::uint8_t* out = target.MutableBits();
    for (std::int64_t i = rows.first; i < rows.last; ++i) {
        const std::uint8_t* from = bits +
                                   MemoryRowOf(sourceTop + i, header.biHeight) * sourceStride +
                                   3 * (xSrc + cols.first);
        std::uint8_t* to = out + MemoryRowOf(yDest + i, target.Height()) * target.Stride() +
                           3 * (xDest + cols.first);
        std::memcpy(to, from, bytes);
    }
    target.NoteChange({static_cast<std::int32_t>(xDest + cols.first),
                       static_cast<std::int32_t>(yDest + rows.first),
                       static_cast<std::int32_t>(xDest + cols.last),
                       static_cast<std::int32_t>(yDest + rows.last)});
}

void StretchDIBits(Surface& target, std::int32_t xDest, std::int32_t yDest, std::int32_t destWidth,
                   std::int32_t destHeight, std::int32_t xSrc, std::int32_t ySrc,
                   std::int32_t srcWidth, std::int32_t srcHeight, const std::uint8_t* bits,
                   const BitmapInfoHeader& header, std::uint32_t rop) {
    if (bits == nullptr || header.biWidth <= 0 || header.biHeight <= 0 || !KnownRop(rop)) return;
    if (destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 || srcHeight <= 0) return;
    const std::int64_t sourceTop =
        static_cast<std::int64_t>(header.biHeight) - ySrc - static_cast<std::int64_t>(srcHeight);

    // Destination column j takes source column xSrc + j * srcWidth / destWidth. That is
    // monotonic in j, so the columns that land inside both surfaces form one span.
    const auto sourceCol = [&](std::int64_t j) { return xSrc + j * srcWidth / destWidth; };
    const auto sourceRow = [&](std::int64_t i) { return sourceTop + i * srcHeight / destHeight; };
    std::int64_t firstCol = std::max<std::int64_t>(0, -static_cast<std::int64_t>(xDest));
    std::int64_t lastCol = std::min<std::int64_t>(destWidth, target.Width() - std::int64_t{xDest});
    while (firstCol < lastCol && sourceCol(firstCol) < 0) ++firstCol;
    while (lastCol > firstCol && sourceCol(lastCol - 1) >= header.biWidth) --lastCol;
    if (firstCol >= lastCol) return;

    std::int64_t firstRow = std::max<std::int64_t>(0, -static_cast<std::int64_t>(yDest));
    std::int64_t lastRow =
        std::min<std::int64_t>(destHeight, target.Height() - std::int64_t{yDest});
    if (firstRow >= lastRow) return;

    const std::int64_t sourceStride = StrideFor(header.biWidth);
    const std::size_t count = static_cast<std::size_t>(lastCol - firstCol);
    std::vector<std::int64_t> offsets(count);
    for (std::size_t k = 0; k < count; ++k) {
        offsets[k] = 3 * sourceCol(firstCol + static_cast<std::int64_t>(k));
    }

    // One scaled row is built per source row and reused for every destination row it covers.
    std::vector<std::uint8_t> scaled(3 * count);
    std::int64_t builtFor = -1;
    std::uint8_t* out = target.MutableBits();
    for (std::int64_t i = firstRow; i < lastRow; ++i) {
        const std::int64_t sy = sourceRow(i);
        if (sy < 0 || sy >= header.biHeight) continue;
        if (sy != builtFor) {
            const std::uint8_t* from = bits + MemoryRowOf(sy, header.biHeight) * sourceStride;
            std::uint8_t* px = scaled.data();
            for (std::size_t k = 0; k < count; ++k, px += 3) {
                const std::uint8_t* s = from + offsets[k];
                px[0] = s[0];
                px[1] = s[1];
                px[2] = s[2];
            }
            builtFor = sy;
        }
        std::uint8_t* to = out + MemoryRowOf(yDest + i, target.Height()) * target.Stride() +
                           3 * (xDest + firstCol);
        CombineBytes(to, scaled.data(), scaled.size(), rop);
    }
    target.NoteChange(
        {static_cast<std::int32_t>(xDest + firstCol), static_cast<std::int32_t>(yDest + firstRow),
         static_cast<std::int32_t>(xDest + lastCol), static_cast<std::int32_t>(yDest + lastRow)});
}

void BitBlt(Surface& dest, std::int32_t xDest, std::int32_t yDest, std::int32_t width,
            std::int32_t height, const Surface& source, std::int32_t xSrc, std::int32_t ySrc,
            std::uint32_t rop) {
    if (!KnownRop(rop)) return;
    const Range cols = ClipSpan(xDest, xSrc, width, dest.Width(), source.Width());
    const Range rows = ClipSpan(yDest, ySrc, height, dest.Height(), source.Height());
    if (cols.Empty() || rows.Empty()) return;
    if (rop == SRCPAINT && source.Bits() == nullptr) return;  // OR with black changes nothing

    const std::size_t bytes = static_cast<std::size_t>(3 * (cols.last - cols.first));
    // A copy within one surface reads every source row before anything is written.
    std::vector<std::uint8_t> snapshot;
    const std::uint8_t* sourceBits = source.Bits();
    std::int64_t sourceStride = source.Stride();
    std::int64_t sourceHeight = source.Height();
    if (&dest == &source && sourceBits != nullptr) {
        snapshot.assign(sourceBits, sourceBits + source.SizeBytes());
        sourceBits = snapshot.data();
    }
    std::uint8_t* out = dest.MutableBits();
    for (std::int64_t i = rows.first; i < rows.last; ++i) {
        const std::uint8_t* from = sourceBits == nullptr
                                       ? nullptr
                                       : sourceBits +
                                             MemoryRowOf(ySrc + i, sourceHeight) * sourceStride +
                                             3 * (xSrc + cols.first);
        std::uint8_t* to =
            out + MemoryRowOf(yDest + i, dest.Height()) * dest.Stride() + 3 * (xDest + cols.first);
        CombineBytes(to, from, bytes, rop);
    }
    dest.NoteChange({static_cast<std::int32_t>(xDest + cols.first),
                     static_cast<std::int32_t>(yDest + rows.first),
                     static_cast<std::int32_t>(xDest + cols.last),
                     static_cast<std::int32_t>(yDest + rows.last)});
}

}  // namespace pixhaul
