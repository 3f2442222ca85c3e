#include "formats/anim_writer.h"

#include <cerrno>

#include "formats/apng.h"
#include "formats/gif_anim.h"
#include "formats/webp_anim.h"
#include "platform/atomic_file.h"

namespace pixhaul {

namespace {

std::int64_t MaxSide(AnimFormat format) {
    switch (format) {
        case AnimFormat::Webp:
            return kWebpMaxSide;
        case AnimFormat::Gif:
            return kGifMaxSide;
        case AnimFormat::Apng:
            return kApngMaxSide;
    }
    return 0;
}

}  // namespace

std::string AnimCanvasRefusal(AnimFormat format, const AnimCanvas& canvas) {
    if (canvas.width <= 0 || canvas.height <= 0) return "the animation has no pixels";
    if (canvas.frameCount <= 0) return "the animation has no frames";
    if (canvas.fps < 1 || canvas.fps > kMaxAnimFps) {
        return "a rate of " + std::to_string(canvas.fps) +
               " frames per second is not within 1 to " + std::to_string(kMaxAnimFps);
    }
    const std::int64_t side = MaxSide(format);
    if (canvas.width > side || canvas.height > side) {
        return std::string(AnimFormatName(format)) + " holds at most " + std::to_string(side) +
               " x " + std::to_string(side) + " pixels, the animation is " +
               std::to_string(canvas.width) + " x " + std::to_string(canvas.height);
    }
    return "";
}

std::unique_ptr<AnimWriter> MakeAnimWriter(AnimFormat format, const std::string& path,
                                           const AnimCanvas& canvas) {
    if (!AnimCanvasRefusal(format, canvas).empty()) ThrowFileError(EINVAL, path);
    switch (format) {
        case AnimFormat::Webp:
            return std::make_unique<WebpAnimWriter>(path, canvas);
        case AnimFormat::Gif:
            return std::make_unique<GifAnimWriter>(path, canvas);
        case AnimFormat::Apng:
            return std::make_unique<ApngWriter>(path, canvas);
    }
    ThrowFileError(EINVAL, path);
}

std::int32_t AnimFrameDelay(std::int64_t n, std::int32_t fps, std::int32_t unitsPerSecond) {
    // Rounded end of frame n minus rounded end of frame n - 1, half up.
    const auto endOf = [&](std::int64_t frames) {
        return (2 * frames * unitsPerSecond + fps) / (2 * fps);
    };
    return static_cast<std::int32_t>(endOf(n + 1) - endOf(n));
}

const char* AnimExtension(AnimFormat format) {
    switch (format) {
        case AnimFormat::Webp:
            return ".webp";
        case AnimFormat::Gif:
            return ".gif";
        case AnimFormat::Apng:
            return ".png";
    }
    return "";
}

const char* AnimFormatName(AnimFormat format) {
    switch (format) {
        case AnimFormat::Webp:
            return "WebP";
        case AnimFormat::Gif:
            return "GIF";
        case AnimFormat::Apng:
            return "APNG";
    }
    return "";
}

}  // namespace pixhaul
