#pragma once
// Writing a surface as the picture format chosen on the command line.
#include <string>

#include "platform/atomic_file.h"
#include "platform/surface.h"

namespace pixhaul::cli {

enum class ImageFormat { Png, Bmp };

// "png" or "bmp".
const char* Extension(ImageFormat format);
// Parses "png" / "bmp" (any case); a usage error otherwise.
ImageFormat ImageFormatOption(const std::string& text);
// Throws FileError.
void WriteImageFile(const std::string& path, const Surface& surface, ImageFormat format);

}  // namespace pixhaul::cli
