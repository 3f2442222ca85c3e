#include "formats/bmp_writer.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>
#include <vector>

#include "formats/byte_order.h"

namespace pixhaul {

void MakeBmpHeaders(std::int32_t width, std::int32_t height, std::uint8_t (&out)[kBmpHeadersSize]) {
    if (width < 0 || height < 0) throw FileError(EINVAL, "Invalid picture size", "");
    const std::uint64_t imageSize = static_cast<std::uint64_t>(StrideFor(width)) * height;
    const std::uint64_t fileSize = imageSize + kBmpHeadersSize;
    if (fileSize > std::numeric_limits<std::uint32_t>::max()) {
        throw FileError(EFBIG, "Picture too large for a BMP file", "");
    }
    std::memset(out, 0, kBmpHeadersSize);
    // BITMAPFILEHEADER
    out[0] = 'B';
    out[1] = 'M';
    StoreLE<std::uint32_t>(out + 2, static_cast<std::uint32_t>(fileSize));
    StoreLE<std::uint32_t>(out + 10, static_cast<std::uint32_t>(kBmpHeadersSize));  // bfOffBits
    // BITMAPINFOHEADER
    std::uint8_t* info = out + 14;
    StoreLE<std::uint32_t>(info + 0, 40);
    StoreLE<std::uint32_t>(info + 4, static_cast<std::uint32_t>(width));
    StoreLE<std::uint32_t>(info + 8, static_cast<std::uint32_t>(height));  // positive: bottom-up
    StoreLE<std::uint16_t>(info + 12, 1);                                  // planes
    StoreLE<std::uint16_t>(info + 14, 24);                                 // bits per pixel
    StoreLE<std::uint32_t>(info + 16, 0);                                  // BI_RGB
    StoreLE<std::uint32_t>(info + 20, static_cast<std::uint32_t>(imageSize));
    StoreLE<std::uint32_t>(info + 24, kBmpPixelsPerMetre);
    StoreLE<std::uint32_t>(info + 28, kBmpPixelsPerMetre);
}

namespace {

// Checks the size before any file is created; returns path.
const std::string& CheckSize(const std::string& path, std::int32_t width, std::int32_t height) {
    std::uint8_t headers[kBmpHeadersSize];
    try {
        MakeBmpHeaders(width, height, headers);
    } catch (const FileError& e) {
        throw FileError(e.Number(), e.Description(), path);
    }
    return path;
}

}  // namespace

BmpWriter::BmpWriter(const std::string& path, std::int32_t width, std::int32_t height)
    : file_(CheckSize(path, width, height)),
      width_(width),
      height_(height),
      stride_(StrideFor(width)) {
    std::uint8_t headers[kBmpHeadersSize];
    MakeBmpHeaders(width, height, headers);
    file_.Reserve(sizeof headers +
                  static_cast<std::uint64_t>(stride_) * static_cast<std::uint64_t>(height));
    file_.Write(headers, sizeof headers);
}

void BmpWriter::WriteRows(const std::uint8_t* first, std::ptrdiff_t rowStep, std::int32_t count) {
    if (count < 0 || count > height_ - rowsWritten_) {
        throw std::logic_error("BmpWriter: more rows than the picture has");
    }
    if (count == 0) return;
    if (rowStep == stride_) {
        file_.Write(first, static_cast<std::size_t>(stride_) * static_cast<std::size_t>(count));
    } else {
        for (std::int32_t i = 0; i < count; ++i) {
            file_.Write(first + i * rowStep, static_cast<std::size_t>(stride_));
        }
    }
    rowsWritten_ += count;
}

void BmpWriter::WriteBlackRows(std::int32_t count) {
    if (count < 0 || count > height_ - rowsWritten_) {
        throw std::logic_error("BmpWriter: more rows than the picture has");
    }
    const std::vector<std::uint8_t> black(static_cast<std::size_t>(stride_), 0);
    for (std::int32_t i = 0; i < count; ++i) file_.Write(black.data(), black.size());
    rowsWritten_ += count;
}

void BmpWriter::Finish(AtomicFile* partner) {
    if (rowsWritten_ != height_) throw std::logic_error("BmpWriter: rows missing");
    if (partner != nullptr) {
        CommitTogether(file_, *partner);
    } else {
        file_.Commit();
    }
}

void BmpWriter::Finish(CommitGroup& group) {
    if (rowsWritten_ != height_) throw std::logic_error("BmpWriter: rows missing");
    group.Add(std::move(file_));
}

void WriteBmp(const std::string& path, const Surface& surface, CommitGroup* group) {
    BmpWriter writer(path, surface.Width(), surface.Height());
    if (surface.Bits() == nullptr) {
        writer.WriteBlackRows(surface.Height());
    } else {
        writer.WriteRows(surface.Bits(), static_cast<std::ptrdiff_t>(surface.Stride()),
                         surface.Height());
    }
    if (group != nullptr) {
        writer.Finish(*group);
    } else {
        writer.Finish();
    }
}

}  // namespace pixhaul
