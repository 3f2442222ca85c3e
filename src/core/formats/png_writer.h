#pragma once
// 8-bit RGB (or RGBA) PNG files written row by row from the top, so a picture far larger than
// memory can be written band by band. Rows are taken in the surfaces' own byte order (blue, green,
// red). The file appears only when Finish() succeeds. The pixel data is deflated in segments on
// several threads (export/png_deflate.h); the file is the same whatever the thread count.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/atomic_file.h"
#include "platform/commit_group.h"
#include "platform/surface.h"

namespace pixhaul {

inline constexpr int kPngDefaultCompression = 6;

// The rows a writer takes: the surfaces' blue, green, red (an RGB file), or red, green, blue,
// alpha as stored (an RGBA file, for pictures with real transparency).
enum class PngPixels { Bgr, Rgba };

class PngWriter {
  public:
    // Creates the file (as a temporary beside path) and writes the header. compressionLevel is
    // zlib's 0 (none) to 9 (smallest); rows are not filtered. threads <= 0: one per core.
    // Throws FileError (EINVAL for an empty picture or a level outside 0..9).
    PngWriter(const std::string& path, std::int32_t width, std::int32_t height,
              int compressionLevel = kPngDefaultCompression, int threads = 0,
              PngPixels pixels = PngPixels::Bgr);
    ~PngWriter();
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;

    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    std::int32_t RowsWritten() const { return rowsWritten_; }

    // Appends count rows, the top one first. Row i starts at first + i * rowStep and holds
    // Width() pixels of blue, green, red (red, green, blue, alpha for PngPixels::Rgba). A bottom-up
    // surface is passed as its top row with a negative step. Throws FileError, std::logic_error for
    // more rows than the picture has.
    void WriteRows(const std::uint8_t* first, std::ptrdiff_t rowStep, std::int32_t count);
    // Checks that every row was written, ends the stream and puts the file in place; with a
    // partner, the two files together (CommitTogether). Throws FileError.
    void Finish(AtomicFile* partner = nullptr);
    // Ends the stream; the file appears with the group's (CommitGroup). Throws FileError.
    void Finish(CommitGroup& group);
    // Finish in two steps, for a set of files that replace their targets together: Prepare
    // ends the stream and flushes the file beside its target (AtomicFile::Prepare; throws
    // FileError), and the set is then published with PublishTogether.
    void Prepare();
    AtomicFile& File();

    struct State;  // the deflater and the file, private to the implementation

  private:
    std::unique_ptr<State> state_;
    std::int32_t width_;
    std::int32_t height_;
    std::int32_t rowsWritten_ = 0;
};

// Writes a whole surface (an untouched one is all black); with a group, the file appears with it.
void WritePng(const std::string& path, const Surface& surface,
              int compressionLevel = kPngDefaultCompression, int threads = 0,
              CommitGroup* group = nullptr);

}  // namespace pixhaul
