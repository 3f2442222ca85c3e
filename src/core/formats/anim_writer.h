#pragma once
// Animated pictures written one frame at a time: every frame covers the whole canvas, pixels of
// red, green, blue and alpha with rows top-down, all frames shown for 1/fps of a second and the
// animation looping forever. The file appears only when Finish() succeeds; a writer dropped before
// leaves nothing behind.
#include <cstdint>
#include <memory>
#include <string>

namespace pixhaul {

enum class AnimFormat { Webp, Gif, Apng };

struct AnimCanvas {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t fps = 10;
    std::int32_t frameCount = 0;  // the frames that will be added (APNG states it up front)
};

inline constexpr std::int32_t kMaxAnimFps = 100;

class AnimWriter {
  public:
    virtual ~AnimWriter() = default;
    // width * height * 4 bytes. Throws FileError, std::bad_alloc.
    virtual void AddFrame(const std::uint8_t* rgba) = 0;
    // Throws FileError; std::logic_error when fewer or more frames came than announced.
    virtual void Finish() = 0;
};

// Throws FileError (EINVAL) for a canvas the format cannot hold (see AnimCanvasRefusal).
std::unique_ptr<AnimWriter> MakeAnimWriter(AnimFormat format, const std::string& path,
                                           const AnimCanvas& canvas);

// Why the format cannot hold the canvas ("" when it can): a side over the format's limit, an
// empty canvas, a rate outside 1..kMaxAnimFps or no frames.
std::string AnimCanvasRefusal(AnimFormat format, const AnimCanvas& canvas);

// How long frame n lasts in 1/unitsPerSecond: 1/fps rounded so that the frames up to n add up
// to the exact time rounded, never drifting (10 fps in hundredths is 10, 10, ...; 30 fps is
// 3, 4, 3, 3, 4, 3, ...).
std::int32_t AnimFrameDelay(std::int64_t n, std::int32_t fps, std::int32_t unitsPerSecond);

// ".webp", ".gif", ".png".
const char* AnimExtension(AnimFormat format);
const char* AnimFormatName(AnimFormat format);

}  // namespace pixhaul
