#pragma once
// Animated WebP through libwebp's animation encoder: lossless, the colour under fully
// transparent pixels kept, a transparent background and the file's alpha flag always set (a
// reader that sees no alpha flag shows the transparent canvas as black).
#include <cstdint>
#include <memory>
#include <string>

#include "formats/anim_writer.h"
#include "platform/atomic_file.h"

struct WebPAnimEncoder;

namespace pixhaul {

inline constexpr std::int64_t kWebpMaxSide = 16383;

class WebpAnimWriter : public AnimWriter {
  public:
    // Throws FileError (EINVAL when the encoder refuses the canvas, ENOMEM).
    WebpAnimWriter(std::string path, const AnimCanvas& canvas);
    ~WebpAnimWriter() override;

    void AddFrame(const std::uint8_t* rgba) override;
    void Finish() override;

  private:
    std::string path_;
    AnimCanvas canvas_;
    AtomicFile file_;  // made first: a folder that cannot take the file fails before encoding
    WebPAnimEncoder* encoder_ = nullptr;
    std::int32_t added_ = 0;
    std::int64_t timestampMs_ = 0;
};

}  // namespace pixhaul
