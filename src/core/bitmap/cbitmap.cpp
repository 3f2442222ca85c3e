#include "bitmap/cbitmap.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>
#include <utility>

namespace pixhaul {

namespace {

// Rounds to the nearest integer, halves to the even neighbour, held to the 32-bit range.
std::int32_t RoundHalfEven(double value) {
    if (std::isnan(value)) return 0;
    constexpr double kLow = std::numeric_limits<std::int32_t>::min();
    constexpr double kHigh = std::numeric_limits<std::int32_t>::max();
    if (value <= kLow) return std::numeric_limits<std::int32_t>::min();
    if (value >= kHigh) return std::numeric_limits<std::int32_t>::max();
    double whole = std::floor(value);
    const double fraction = value - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
    return static_cast<std::int32_t>(whole);
}

// One palette array per thread kept back when an image lets its palette go, for the next
// SetPalette: images are rendered and purged one after another, and a fresh 1 KB array for each
// cost a few per cent of decoding a palette image. At most one array per thread stays unused.
std::unique_ptr<std::array<RgbQuad, 256>>& SparePalette() {
    thread_local std::unique_ptr<std::array<RgbQuad, 256>> spare;
    return spare;
}

}  // namespace

cBitMap::~cBitMap() {
    ClassTerminate();
}

void cBitMap::ClassTerminate() {
    hasSurface_ = false;
    dib_.Reset(0, 0);
}

void cBitMap::EmptyBuffer() {
    buffer_.reset();
    bufferSize_ = 0;
}

void cBitMap::ReleasePalette() {
    paletteSet_ = false;
    if (palette_ && !SparePalette()) SparePalette() = std::move(palette_);
    palette_.reset();
}

void cBitMap::Purge() {
    ClassTerminate();
    EmptyBuffer();
    ReleasePalette();
    rendered_ = false;
}

void cBitMap::SetData(std::int16_t Height, std::int16_t Width, std::int16_t eType,
                      StreamBytes Stream) {
    stream_ = std::move(Stream);
    rendered_ = false;
    height_ = Height;
    width_ = Width;
    eType_ = eType;
    ReleasePalette();
}

void cBitMap::BuildSurface(std::int32_t width, std::int32_t height, bool zeroBuffer) {
    ClassTerminate();
    width = std::max(width, 0);
    height = std::max(height, 0);
    header_ = MakeHeader(width, height);
    rowPadding_ = RowPaddingFor(width);

    // (padding + width) x height x 3 bytes: never less than stride x height, the bytes that
    // carry pixels.
    const std::size_t size =
        static_cast<std::size_t>((static_cast<std::int64_t>(rowPadding_) + width) * height * 3);
    if (size == 0) {
        EmptyBuffer();
    } else if (zeroBuffer) {
        buffer_ = std::make_unique<std::uint8_t[]>(size);
    } else {
        buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(size);
    }
    bufferSize_ = size;

    // The DIB section starts black and takes memory only when something draws into it, so
    // reading it back into a zeroed buffer changes nothing.
    dib_.Reset(width, height);
    hasSurface_ = true;
}

void cBitMap::MakeNewBlank(std::int32_t nHeight, std::int32_t nWidth) {
    BuildSurface(nWidth, nHeight, true);
}

void cBitMap::RefreshBits() {
    if (!hasSurface_) return;
    const std::size_t bytes = dib_.SizeBytes();
    if (bytes == 0 || bytes > bufferSize_) return;
    if (dib_.Bits() == nullptr) {
        std::memset(buffer_.get(), 0, bytes);
    } else {
        std::memcpy(buffer_.get(), dib_.Bits(), bytes);
    }
}

void cBitMap::DrawTo(DeviceContext TargetHDC, std::int32_t From_X, std::int32_t From_Y,
                     std::int32_t To_X, std::int32_t To_Y, std::int32_t dWidth,
                     std::int32_t dHeight, double XScale, double YScale,
                     std::uint32_t DrawOP) const {
    if (!hasSurface_ || TargetHDC == nullptr || buffer_ == nullptr) return;
    // The caller names the source's top-left corner; the copies count rows from the bottom.
    const std::int64_t fromBottom =
        static_cast<std::int64_t>(header_.biHeight) - From_Y - static_cast<std::int64_t>(dHeight);
    if (fromBottom < std::numeric_limits<std::int32_t>::min() ||
        fromBottom > std::numeric_limits<std::int32_t>::max()) {
        return;
    }
    const auto ySrc = static_cast<std::int32_t>(fromBottom);
    if (XScale == 1.0 && YScale == 1.0) {
        SetDIBitsToDevice(*TargetHDC, To_X, To_Y, dWidth, dHeight, From_X, ySrc, buffer_.get(),
                          header_);
        return;
    }
    StretchDIBits(*TargetHDC, To_X, To_Y, RoundHalfEven(dWidth * XScale),
                  RoundHalfEven(dHeight * YScale), From_X, ySrc, dWidth, dHeight, buffer_.get(),
                  header_, DrawOP);
}

void cBitMap::SetPalette(std::span<const COLORREF> pArray) {
    if (rendered_ || paletteSet_) return;
    if (SparePalette()) {
        palette_ = std::move(SparePalette());
    } else {
        palette_ = std::make_unique_for_overwrite<std::array<RgbQuad, 256>>();
    }
    // Entries the caller does not give stay black. Whole words, so that the loop vectorises.
    std::array<std::uint32_t, 256> entries{};
    const std::size_t count = std::min<std::size_t>(pArray.size(), entries.size());
    for (std::size_t i = 0; i < count; ++i) {
        const COLORREF v = pArray[i];
        entries[i] = ((v >> 16) & 0xFFu) | (v & 0xFF00u) | ((v & 0xFFu) << 16);
    }
    static_assert(sizeof(entries) == sizeof(*palette_));
    static_assert(std::is_trivially_copyable_v<RgbQuad>);
    std::memcpy(static_cast<void*>(palette_->data()), entries.data(), sizeof(entries));
    paletteSet_ = true;
}

RgbQuad cBitMap::PaletteEntry(int index) const {
    if (!palette_ || index < 0 || index >= static_cast<int>(palette_->size())) return {};
    return (*palette_)[static_cast<std::size_t>(index)];
}

}  // namespace pixhaul
