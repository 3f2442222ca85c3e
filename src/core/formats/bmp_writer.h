#pragma once
// Uncompressed 24-bit BMP files: BITMAPFILEHEADER, a 40-byte BITMAPINFOHEADER, then the rows
// bottom-up, each padded to a multiple of four bytes, at 2835 pixels per metre (72 dpi).
// The header goes out first and the rows follow in file order, so a picture far larger than
// memory can be written band by band. The file appears only when Finish() succeeds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/atomic_file.h"
#include "platform/commit_group.h"
#include "platform/surface.h"

namespace pixhaul {

inline constexpr std::int32_t kBmpPixelsPerMetre = 2835;
inline constexpr std::size_t kBmpHeadersSize = 14 + 40;

// The 54 header bytes of a width x height 24-bit file. Throws FileError (EFBIG) when the file
// would not fit the format's 32-bit sizes, (EINVAL) for a negative size.
void MakeBmpHeaders(std::int32_t width, std::int32_t height, std::uint8_t (&out)[kBmpHeadersSize]);

class BmpWriter {
  public:
    // Creates the file (as a temporary beside path) and writes the headers. Throws FileError.
    BmpWriter(const std::string& path, std::int32_t width, std::int32_t height);

    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    // Bytes per row in the file, padding included (the same as a Surface of this width).
    std::int64_t Stride() const { return stride_; }
    std::int32_t RowsWritten() const { return rowsWritten_; }

    // Appends count rows in file order (the bottom image row first). Row i starts at
    // first + i * rowStep and holds Stride() bytes: blue, green, red per pixel, then padding.
    // Rows laid out back to back (rowStep == Stride()) go out in one piece. Throws FileError,
    // std::logic_error for more rows than the picture has.
    void WriteRows(const std::uint8_t* first, std::ptrdiff_t rowStep, std::int32_t count);
    // count rows of black.
    void WriteBlackRows(std::int32_t count);
    // Checks that every row was written and puts the file in place; with a partner, the two
    // files together (CommitTogether). Throws FileError, std::logic_error when rows are missing.
    void Finish(AtomicFile* partner = nullptr);
    // The same, the file appearing with the group's (CommitGroup).
    void Finish(CommitGroup& group);

  private:
    AtomicFile file_;
    std::int32_t width_;
    std::int32_t height_;
    std::int64_t stride_;
    std::int32_t rowsWritten_ = 0;
};

// Writes a whole surface (an untouched one is all black); with a group, the file appears with it.
void WriteBmp(const std::string& path, const Surface& surface, CommitGroup* group = nullptr);

}  // namespace pixhaul
