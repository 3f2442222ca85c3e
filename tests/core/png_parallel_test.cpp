#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive_builder.h"
#include "formats/png_deflate.h"
#include "formats/png_writer.h"
#include "test_files.h"

namespace pixhaul {
namespace {

using testing::TempDir;

using testing::ReadAll;

// Top-down BGR rows, half noise and half flat so both compress differently; several segments.
constexpr std::int32_t kWidth = 1100;
constexpr std::int32_t kHeight = 700;
std::vector<std::uint8_t> Pixels() {
    std::vector<std::uint8_t> bgr(std::size_t{kWidth} * kHeight * 3);
    std::uint32_t seed = 12345;
    for (std::size_t i = 0; i < bgr.size(); ++i) {
        seed = seed * 1103515245U + 12345U;
        bgr[i] = i < bgr.size() / 2 ? static_cast<std::uint8_t>(seed >> 24)
                                    : static_cast<std::uint8_t>(i / 3000);
    }
    return bgr;
}

// Writes the picture in bands of bandRows rows.
std::string Write(const TempDir& dir, const std::vector<std::uint8_t>& bgr, int level, int threads,
                  std::int32_t bandRows) {
    const std::string path = dir.File(std::to_string(level) + "-" + std::to_string(threads) + "-" +
                                      std::to_string(bandRows) + ".png");
    PngWriter writer(path, kWidth, kHeight, level, threads);
    for (std::int32_t y = 0; y < kHeight; y += bandRows) {
        writer.WriteRows(&bgr[std::size_t{3} * kWidth * y], 3 * kWidth,
                         std::min(bandRows, kHeight - y));
    }
    writer.Finish();
    return path;
}

std::vector<std::uint8_t> DecodeWithLibpng(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    EXPECT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << image.message;
    image.format = PNG_FORMAT_BGR;
    std::vector<std::uint8_t> bgr(PNG_IMAGE_SIZE(image));
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, bgr.data(), 0, nullptr)) << image.message;
    return bgr;
}

TEST(ParallelPng, SameBytesWhateverTheThreadsAndBandsAndReadersAgree) {
    ASSERT_GT(std::size_t{kWidth} * 3 * kHeight, 2 * kDeflateSegmentBytes);
    TempDir dir;
    const std::vector<std::uint8_t> bgr = Pixels();
    for (const int level : {0, 1, 6, 9}) {
        const std::string single = Write(dir, bgr, level, 1, kHeight);
        EXPECT_EQ(DecodeWithLibpng(single), bgr) << "level " << level;
        for (const auto& [threads, band] : {std::pair{2, 7}, {3, 700}, {8, 1}}) {
            EXPECT_EQ(ReadAll(Write(dir, bgr, level, threads, band)), ReadAll(single))
                << "level " << level << ", " << threads << " threads, bands of " << band;
        }
    }
}

}  // namespace
}  // namespace pixhaul
