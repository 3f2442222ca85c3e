#pragma once
// Animated GIF through giflib. Each frame has its own colour table: fully transparent pixels take
// index 0, the GIF's transparent index; a frame with at most 255 other colours keeps them exactly,
// one with more is reduced to 255 by giflib's quantiser (a median cut over colours first cut to 5
// bits per channel, each box shown as its average colour), so such frames change colour slightly.
// Half-transparent pixels cannot be shown: alpha below 128 is transparent, the rest opaque.
// Frames are cleared to transparent before the next (disposal "restore to background"), the
// NETSCAPE2.0 extension loops forever and delays are in hundredths of a second.
#include <cstdint>
#include <exception>
#include <string>

#include "formats/anim_writer.h"
#include "platform/atomic_file.h"

struct GifFileType;

namespace pixhaul {

inline constexpr std::int64_t kGifMaxSide = 65535;

class GifAnimWriter : public AnimWriter {
  public:
    // Creates the file's temporary and writes the header. Throws FileError.
    GifAnimWriter(std::string path, const AnimCanvas& canvas);
    ~GifAnimWriter() override;

    void AddFrame(const std::uint8_t* rgba) override;
    void Finish() override;

    // Called by giflib's output function.
    int Output(const std::uint8_t* data, int size) noexcept;

  private:
    // Throws what the output function met, else a FileError for giflib's failure.
    [[noreturn]] void Fail();

    std::string path_;
    AnimCanvas canvas_;
    AtomicFile file_;
    GifFileType* gif_ = nullptr;
    std::exception_ptr outputError_;
    std::int32_t added_ = 0;
};

}  // namespace pixhaul
