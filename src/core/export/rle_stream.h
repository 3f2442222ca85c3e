#pragma once
// The 24-bit run-length stream (kind 5): 4-byte records of count, red, green, blue.
//
// Rle5Encoder is fed pixels in scan order (memory rows bottom-up, each row left to right) a few
// rows at a time, so a sheet can be encoded band by band without ever being whole in memory.
// Runs carry over from one call to the next; the result equals cBitMap::ToRLE(5) of the whole
// picture byte for byte: the previous colour starts as black with a count of 0 (a first pixel
// that is not black therefore gives a leading 00 00 00 00 record), runs are cut at 127 and the
// last run is written by Finish.
//
// Rle5Decoder undoes it into a surface, checking every record against the surface's size.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/surface.h"

namespace pixhaul {

inline constexpr std::uint8_t kRleKind24 = 5;
inline constexpr int kRleMaxRun = 127;
inline constexpr std::size_t kRleRecordSize = 4;

class Rle5Encoder {
  public:
    Rle5Encoder() = default;

    // Pixels as blue, green, red byte triples; pixelCount pixels are read from bgr.
    void AddPixels(const std::uint8_t* bgr, std::size_t pixelCount);
    // Every memory row of the surface, bottom row first. A surface without memory is black.
    void AddSurface(const Surface& surface);
    // Appends the last record and hands over the stream; the encoder starts afresh.
    std::vector<std::uint8_t> Finish();

    // Bytes produced so far (without the run still open).
    std::size_t Size() const { return out_.size(); }
    void Reserve(std::size_t bytes) { out_.reserve(bytes); }

  private:
    void Emit();
    void AddBlackPixels(std::size_t pixelCount);

    std::vector<std::uint8_t> out_;
    std::uint8_t blue_ = 0;
    std::uint8_t green_ = 0;
    std::uint8_t red_ = 0;
    int count_ = 0;
};

// Encodes a whole surface in one go.
std::vector<std::uint8_t> EncodeRle5(const Surface& surface);

// Fills a surface from a kind-5 stream. The stream must cover exactly width x height pixels in
// scan order. Records of count 0 cover nothing (the encoder writes one in front of a first pixel
// that is not black). A stream that stops short, runs on past the last pixel, or whose length is
// not a multiple of 4 is an error.
class Rle5Decoder {
  public:
    // target must already have its size; its memory rows are written bottom row first.
    // Returns "" on success, else what was wrong.
    static std::string Decode(std::span<const std::uint8_t> stream, Surface& target);
};

}  // namespace pixhaul
