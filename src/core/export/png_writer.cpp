#include "export/png_writer.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <vector>

#include "platform/atomic_file.h"

namespace pixhaul {

// libpng reports errors by longjmp. Every libpng call runs inside one of the small functions
// below that set the jump target and hold nothing that needs a destructor; errors of our own
// file are kept here and raised as exceptions once control is back in ordinary C++.
struct PngWriter::State {
    explicit State(const std::string& path) : file(path) {}
    ~State() { png_destroy_write_struct(&png, &info); }

    AtomicFile file;
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::optional<FileError> ioError;
    char message[256] = {};
    bool failed = false;
};

namespace {

using State = PngWriter::State;

void OnError(png_structp png, png_const_charp message) {
    auto* state = static_cast<State*>(png_get_error_ptr(png));
    std::strncpy(state->message, message != nullptr ? message : "", sizeof state->message - 1);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void OnWrite(png_structp png, png_bytep data, std::size_t size) {
    auto* state = static_cast<State*>(png_get_io_ptr(png));
    bool ok = true;
    try {
        state->file.Write(data, size);
    } catch (const FileError& e) {
        state->ioError = e;
        ok = false;
    }
    if (!ok) png_error(png, "write failed");
}

void OnFlush(png_structp) {}

bool BeginPng(State& s, png_uint_32 width, png_uint_32 height, int level) {
    if (setjmp(png_jmpbuf(s.png))) return false;
    png_set_write_fn(s.png, &s, OnWrite, OnFlush);
    png_set_user_limits(s.png, 0x7fffffffU, 0x7fffffffU);
    png_set_compression_level(s.png, level);
    png_set_filter(s.png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_IHDR(s.png, s.info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(s.png, s.info);
    png_set_bgr(s.png);
    return true;
}

bool WritePngRow(State& s, const std::uint8_t* row) {
    if (setjmp(png_jmpbuf(s.png))) return false;
    png_write_row(s.png, row);
    return true;
}

bool EndPng(State& s) {
    if (setjmp(png_jmpbuf(s.png))) return false;
    png_write_end(s.png, s.info);
    return true;
}

[[noreturn]] void RaiseFailure(State& s) {
    s.failed = true;
    if (s.ioError) throw *s.ioError;
    throw FileError(EIO, std::string("PNG encoder: ") + s.message, s.file.TargetPath());
}

}  // namespace

PngWriter::PngWriter(const std::string& path, std::int32_t width, std::int32_t height,
                     int compressionLevel)
    : width_(width), height_(height) {
    if (width <= 0 || height <= 0) throw FileError(EINVAL, "Invalid picture size", path);
    if (compressionLevel < 0 || compressionLevel > 9) {
        throw FileError(EINVAL, "Invalid compression level", path);
    }
    state_ = std::make_unique<State>(path);
    State& s = *state_;
    s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &s, OnError, OnWarning);
    if (s.png != nullptr) s.info = png_create_info_struct(s.png);
    if (s.png == nullptr || s.info == nullptr) throw FileError(ENOMEM, "Out of memory", path);
    if (!BeginPng(s, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height),
                  compressionLevel)) {
        RaiseFailure(s);
    }
}

PngWriter::~PngWriter() = default;

void PngWriter::WriteRows(const std::uint8_t* first, std::ptrdiff_t rowStep, std::int32_t count) {
    if (count < 0 || count > height_ - rowsWritten_) {
        throw std::logic_error("PngWriter: more rows than the picture has");
    }
    State& s = *state_;
    if (s.failed) RaiseFailure(s);
    for (std::int32_t i = 0; i < count; ++i) {
        if (!WritePngRow(s, first + i * rowStep)) RaiseFailure(s);
        ++rowsWritten_;
    }
}

void PngWriter::Finish(AtomicFile* partner) {
    if (rowsWritten_ != height_) throw std::logic_error("PngWriter: rows missing");
    State& s = *state_;
    if (s.failed || !EndPng(s)) RaiseFailure(s);
    if (partner != nullptr) {
        CommitTogether(s.file, *partner);
    } else {
        s.file.Commit();
    }
}

void WritePng(const std::string& path, const Surface& surface, int compressionLevel) {
    PngWriter writer(path, surface.Width(), surface.Height(), compressionLevel);
    if (surface.Bits() == nullptr) {
        const std::vector<std::uint8_t> black(static_cast<std::size_t>(surface.Width()) * 3, 0);
        writer.WriteRows(black.data(), 0, surface.Height());
    } else {
        const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(surface.Stride());
        writer.WriteRows(surface.Bits() + (surface.Height() - 1) * stride, -stride,
                         surface.Height());
    }
    writer.Finish();
}

}  // namespace pixhaul
