#pragma once
// Writing a surface as the picture format chosen on the command line.
#include <CLI/CLI.hpp>
#include <string>

#include "formats/png_writer.h"
#include "platform/atomic_file.h"
#include "platform/surface.h"

namespace pixhaul::cli {

enum class ImageFormat { Png, Bmp };

// "png" or "bmp".
const char* Extension(ImageFormat format);
// Parses "png" / "bmp" (any case); a usage error otherwise.
ImageFormat ImageFormatOption(const std::string& text);
// Throws FileError.
void WriteImageFile(const std::string& path, const Surface& surface, ImageFormat format,
                    int pngLevel = kPngDefaultCompression);
// Adds --png-level 0-9 (zlib's level for PNG files; default 6) to a command, bound to level.
void AddPngLevelOption(CLI::App& command, int& level);

}  // namespace pixhaul::cli
