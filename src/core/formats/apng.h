#pragma once
// Animated PNG, written here over zlib (libpng has no animation chunks): 8-bit RGBA, the
// animation control chunk up front, then for each frame its control chunk and its data (IDAT for
// the first frame, which is also the still picture readers without animation show; fdAT after),
// one sequence number shared by both kinds. Each frame replaces the whole canvas and lasts
// exactly 1/fps of a second.
#include <cstdint>
#include <string>
#include <vector>

#include "formats/anim_writer.h"
#include "platform/atomic_file.h"

namespace pixhaul {

inline constexpr std::int64_t kApngMaxSide = 0x7FFFFFFF;

class ApngWriter : public AnimWriter {
  public:
    // Creates the file's temporary and writes the header. Throws FileError.
    ApngWriter(std::string path, const AnimCanvas& canvas);

    void AddFrame(const std::uint8_t* rgba) override;
    void Finish() override;

  private:
    void WriteChunk(const char type[4], const std::vector<std::uint8_t>& body);
    // An IDAT, or an fdAT with the next sequence number, of data.
    void WriteFrameData(const std::uint8_t* data, std::size_t size);

    std::string path_;
    AnimCanvas canvas_;
    AtomicFile file_;
    std::uint32_t sequence_ = 0;
    std::int32_t added_ = 0;
};

// A zlib stream of the rows of an RGBA picture, each row with the PNG filter (none, sub, up or
// Paeth) whose output has the smallest sum of absolute values.
std::vector<std::uint8_t> DeflateRgbaRows(const std::uint8_t* rgba, std::int32_t width,
                                          std::int32_t height);

}  // namespace pixhaul
