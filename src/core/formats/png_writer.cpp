#include "formats/png_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

#include "formats/byte_order.h"
#include "formats/png_deflate.h"
#include "platform/atomic_file.h"

namespace pixhaul {

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// Chunks are at most 2^31 - 1 bytes long; a segment's output is far below that, but stay safe.
constexpr std::size_t kMaxChunkData = std::size_t{1} << 30;

void WriteChunk(AtomicFile& file, const char (&type)[5], const std::uint8_t* data,
                std::size_t size) {
    std::uint8_t head[8];
    StoreBE32(head, static_cast<std::uint32_t>(size));
    std::copy(type, type + 4, head + 4);
    uLong crc = crc32(0, head + 4, 4);
    if (size > 0) crc = crc32_z(crc, data, size);
    std::uint8_t tail[4];
    StoreBE32(tail, static_cast<std::uint32_t>(crc));
    file.Write(head, sizeof head);
    if (size > 0) file.Write(data, size);
    file.Write(tail, sizeof tail);
}

std::uint64_t RowBytes(std::int32_t width, PngPixels pixels) {
    return 1 + (pixels == PngPixels::Rgba ? 4 : 3) * static_cast<std::uint64_t>(width);
}

}  // namespace

struct PngWriter::State {
    State(const std::string& path, std::uint64_t total, int level, int threads)
        : file(path), deflate(total, level, threads, [this](const std::uint8_t* d, std::size_t n) {
              for (std::size_t at = 0; at < n; at += kMaxChunkData) {
                  WriteChunk(file, "IDAT", d + at, std::min(kMaxChunkData, n - at));
              }
          }) {}

    AtomicFile file;
    ParallelDeflate deflate;
    std::vector<std::uint8_t> row;  // filter byte, then red, green, blue (, alpha)
    PngPixels pixels = PngPixels::Bgr;
    bool failed = false;
};

namespace {

void EndStream(PngWriter::State& s, bool allRows) {
    if (!allRows) throw std::logic_error("PngWriter: rows missing");
    if (s.failed || !s.deflate.Finished()) {
        throw FileError(EIO, "an earlier write failed", s.file.TargetPath());
    }
    WriteChunk(s.file, "IEND", nullptr, 0);
}

}  // namespace

PngWriter::PngWriter(const std::string& path, std::int32_t width, std::int32_t height,
                     int compressionLevel, int threads, PngPixels pixels)
    : width_(width), height_(height) {
    if (width <= 0 || height <= 0) throw FileError(EINVAL, "Invalid picture size", path);
    if (compressionLevel < 0 || compressionLevel > 9) {
        throw FileError(EINVAL, "Invalid compression level", path);
    }
    state_ =
        std::make_unique<State>(path, RowBytes(width, pixels) * static_cast<std::uint64_t>(height),
                                compressionLevel, threads);
    State& s = *state_;
    s.pixels = pixels;
    s.row.assign(RowBytes(width, pixels), 0);  // filter type 0: none
    std::uint8_t header[13] = {};
    StoreBE32(header, static_cast<std::uint32_t>(width));
    StoreBE32(header + 4, static_cast<std::uint32_t>(height));
    header[8] = 8;  // bits per sample
    header[9] =
        pixels == PngPixels::Rgba
            ? 6
            : 2;  // truecolour (with alpha); compression, filter and interlace methods stay 0
    s.file.Write(kSignature, sizeof kSignature);
    WriteChunk(s.file, "IHDR", header, sizeof header);
}

PngWriter::~PngWriter() = default;

void PngWriter::WriteRows(const std::uint8_t* first, std::ptrdiff_t rowStep, std::int32_t count) {
    if (count < 0 || count > height_ - rowsWritten_) {
        throw std::logic_error("PngWriter: more rows than the picture has");
    }
    State& s = *state_;
    if (s.failed) throw FileError(EIO, "an earlier write failed", s.file.TargetPath());
    try {
        for (std::int32_t i = 0; i < count; ++i) {
            const std::uint8_t* bgr = first + i * rowStep;
            std::uint8_t* rgb = s.row.data() + 1;
            if (s.pixels == PngPixels::Rgba) {
                std::copy_n(bgr, s.row.size() - 1, rgb);
                s.deflate.Append(s.row.data(), s.row.size());
                ++rowsWritten_;
                continue;
            }
            for (std::int32_t x = 0; x < width_; ++x, bgr += 3, rgb += 3) {
                rgb[0] = bgr[2];
                rgb[1] = bgr[1];
                rgb[2] = bgr[0];
            }
            s.deflate.Append(s.row.data(), s.row.size());
            ++rowsWritten_;
        }
    } catch (const FileError&) {
        s.failed = true;
        throw;
    } catch (const std::bad_alloc&) {
        s.failed = true;
        throw FileError(ENOMEM, "Out of memory", s.file.TargetPath());
    } catch (const std::runtime_error& e) {
        s.failed = true;
        throw FileError(EIO, std::string("PNG encoder: ") + e.what(), s.file.TargetPath());
    }
}

void PngWriter::Finish(AtomicFile* partner) {
    State& s = *state_;
    EndStream(s, rowsWritten_ == height_);
    if (partner != nullptr) {
        CommitTogether(s.file, *partner);
    } else {
        s.file.Commit();
    }
}

void PngWriter::Finish(CommitGroup& group) {
    State& s = *state_;
    EndStream(s, rowsWritten_ == height_);
    group.Add(std::move(s.file));
}

void PngWriter::Prepare() {
    EndStream(*state_, rowsWritten_ == height_);
    state_->file.Prepare();
}

AtomicFile& PngWriter::File() {
    return state_->file;
}

void WritePng(const std::string& path, const Surface& surface, int compressionLevel, int threads,
              CommitGroup* group) {
    PngWriter writer(path, surface.Width(), surface.Height(), compressionLevel, threads);
    if (surface.Bits() == nullptr) {
        const std::vector<std::uint8_t> black(static_cast<std::size_t>(surface.Width()) * 3, 0);
        writer.WriteRows(black.data(), 0, surface.Height());
    } else {
        const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(surface.Stride());
        writer.WriteRows(surface.Bits() + (surface.Height() - 1) * stride, -stride,
                         surface.Height());
    }
    if (group != nullptr) {
        writer.Finish(*group);
    } else {
        writer.Finish();
    }
}

}  // namespace pixhaul
