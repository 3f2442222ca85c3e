#include "image_files.h"

#include <algorithm>
#include <cctype>

#include "command.h"
#include "formats/bmp_writer.h"
#include "formats/png_writer.h"
#include "qxa_app.h"

namespace pixhaul::cli {

const char* Extension(ImageFormat format) {
    return format == ImageFormat::Png ? "png" : "bmp";
}

ImageFormat ImageFormatOption(const std::string& text) {
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == "png") return ImageFormat::Png;
    if (lower == "bmp") return ImageFormat::Bmp;
    throw CommandError(kExitUsage, "--format: '" + text + "' is not a format (png or bmp)");
}

void WriteImageFile(const std::string& path, const Surface& surface, ImageFormat format,
                    int pngLevel) {
    if (format == ImageFormat::Png) {
        WritePng(path, surface, pngLevel);
    } else {
        WriteBmp(path, surface);
    }
}

void AddPngLevelOption(CLI::App& command, int& level) {
    command.add_option("--png-level", level, "PNG compression, 0 (fastest) to 9 (smallest)")
        ->check(CLI::Range(0, 9))
        ->capture_default_str();
}

}  // namespace pixhaul::cli
