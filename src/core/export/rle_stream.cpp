#include "export/rle_stream.h"

#include <algorithm>

namespace pixhaul {

void Rle5Encoder::Emit() {
    const std::uint8_t record[kRleRecordSize] = {static_cast<std::uint8_t>(count_), red_, green_,
                                                 blue_};
    out_.insert(out_.end(), record, record + kRleRecordSize);
}

void Rle5Encoder::AddPixels(const std::uint8_t* bgr, std::size_t pixelCount) {
    const std::uint8_t* p = bgr;
    const std::uint8_t* const end = bgr + pixelCount * 3;
    while (p != end) {
        if (p[0] == blue_ && p[1] == green_ && p[2] == red_ && count_ != kRleMaxRun) {
            ++count_;
            p += 3;
            continue;
        }
        Emit();
        blue_ = p[0];
        green_ = p[1];
        red_ = p[2];
        count_ = 1;
        p += 3;
    }
}

void Rle5Encoder::AddBlackPixels(std::size_t pixelCount) {
    while (pixelCount > 0) {
        if (blue_ == 0 && green_ == 0 && red_ == 0 && count_ != kRleMaxRun) {
            const std::size_t take =
                std::min<std::size_t>(pixelCount, static_cast<std::size_t>(kRleMaxRun - count_));
            count_ += static_cast<int>(take);
            pixelCount -= take;
            continue;
        }
        Emit();
        blue_ = green_ = red_ = 0;
        count_ = 1;
        --pixelCount;
    }
}

void Rle5Encoder::AddSurface(const Surface& surface) {
    if (surface.Width() <= 0 || surface.Height() <= 0) return;
    const auto width = static_cast<std::size_t>(surface.Width());
    const std::uint8_t* bits = surface.Bits();
    if (bits == nullptr) {
        AddBlackPixels(width * static_cast<std::size_t>(surface.Height()));
        return;
    }
    for (std::int32_t row = 0; row < surface.Height(); ++row) {
        AddPixels(bits + static_cast<std::size_t>(row) * static_cast<std::size_t>(surface.Stride()),
                  width);
    }
}

std::vector<std::uint8_t> Rle5Encoder::Finish() {
    Emit();
    std::vector<std::uint8_t> result = std::move(out_);
    out_ = {};
    blue_ = green_ = red_ = 0;
    count_ = 0;
    return result;
}

std::vector<std::uint8_t> EncodeRle5(const Surface& surface) {
    Rle5Encoder encoder;
    encoder.AddSurface(surface);
    return encoder.Finish();
}

std::string Rle5Decoder::Decode(std::span<const std::uint8_t> stream, Surface& target) {
    if (stream.size() % kRleRecordSize != 0) {
        return "the run-length stream is " + std::to_string(stream.size()) +
               " bytes long, not a whole number of 4-byte records";
    }
    const auto width = static_cast<std::uint64_t>(std::max(target.Width(), 0));
    const auto height = static_cast<std::uint64_t>(std::max(target.Height(), 0));
    const std::uint64_t total = width * height;
    std::uint64_t done = 0;
    std::uint8_t* bits = total > 0 ? target.MutableBits() : nullptr;
    const auto stride = static_cast<std::uint64_t>(target.Stride());
    std::uint64_t row = 0;
    std::uint64_t x = 0;
    for (std::size_t at = 0; at < stream.size(); at += kRleRecordSize) {
        const std::uint32_t count = stream[at];
        if (count == 0) continue;
        if (count > total - done) {
            return "the run-length stream covers more than the " + std::to_string(width) + " x " +
                   std::to_string(height) + " pixels of the sheet (record at byte " +
                   std::to_string(at) + ")";
        }
        const std::uint8_t red = stream[at + 1];
        const std::uint8_t green = stream[at + 2];
        const std::uint8_t blue = stream[at + 3];
        // The run may go on from the end of one row into the next.
        std::uint64_t left = count;
        while (left > 0) {
            const std::uint64_t n = std::min(left, width - x);
            std::uint8_t* p = bits + row * stride + x * 3;
            for (std::uint64_t i = 0; i < n; ++i, p += 3) {
                p[0] = blue;
                p[1] = green;
                p[2] = red;
            }
            left -= n;
            x += n;
            if (x == width) {
                x = 0;
                ++row;
            }
        }
        done += count;
    }
    if (done != total) {
        return "the run-length stream covers " + std::to_string(done) + " of the " +
               std::to_string(total) + " pixels of the sheet";
    }
    return "";
}

}  // namespace pixhaul
