#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <zlib.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive_builder.h"
#include "file_size_limit.h"
#include "export/bmp_writer.h"
#include "export/png_writer.h"
#include "platform/atomic_file.h"
#include "platform/surface.h"

namespace pixhaul {
namespace {

using testing::TempDir;

std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

std::uint16_t U16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

// A surface whose every pixel differs: red = x * 40, green = y * 50, blue = x + y.
Surface Pattern(std::int32_t width, std::int32_t height) {
    Surface s(width, height);
    for (std::int32_t y = 0; y < height; ++y) {
        std::uint8_t* row = s.MutableRow(height - 1 - y);
        for (std::int32_t x = 0; x < width; ++x) {
            row[3 * x] = static_cast<std::uint8_t>(x + y);
            row[3 * x + 1] = static_cast<std::uint8_t>(y * 50);
            row[3 * x + 2] = static_cast<std::uint8_t>(x * 40);
        }
    }
    return s;
}

struct DecodedPng {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> rgb;  // top-down, 3 bytes per pixel
};

DecodedPng ReadPng(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        throw std::runtime_error("not a PNG: " + path);
    }
    image.format = PNG_FORMAT_RGB;
    DecodedPng out;
    out.width = image.width;
    out.height = image.height;
    out.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr)) {
        throw std::runtime_error("bad PNG: " + path);
    }
    return out;
}

// Every chunk of type name, concatenated (for IDAT: the zlib stream).
std::vector<std::uint8_t> Chunks(const std::vector<std::uint8_t>& png, const char* name) {
    std::vector<std::uint8_t> data;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::uint32_t length =
            (png[at] << 24) | (png[at + 1] << 16) | (png[at + 2] << 8) | png[at + 3];
        if (std::memcmp(&png[at + 4], name, 4) == 0) {
            data.insert(data.end(), png.begin() + at + 8, png.begin() + at + 8 + length);
        }
        at += 12 + length;
    }
    return data;
}

TEST(BmpWriter, HeadersAndRowsAreTheUncompressed24BitLayout) {
    TempDir dir;
    const Surface s = Pattern(3, 2);  // 9 pixel bytes per row, padded to 12
    WriteBmp(dir.File("a.bmp"), s);
    const auto b = ReadAll(dir.File("a.bmp"));
    ASSERT_EQ(b.size(), 54U + 12 * 2);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(U32(b, 2), b.size());
    EXPECT_EQ(U32(b, 6), 0U);
    EXPECT_EQ(U32(b, 10), 54U);
    EXPECT_EQ(U32(b, 14), 40U);
    EXPECT_EQ(U32(b, 18), 3U);
    EXPECT_EQ(U32(b, 22), 2U);  // positive: bottom-up
    EXPECT_EQ(U16(b, 26), 1);
    EXPECT_EQ(U16(b, 28), 24);
    EXPECT_EQ(U32(b, 30), 0U);
    EXPECT_EQ(U32(b, 34), 24U);
    EXPECT_EQ(U32(b, 38), 2835U);
    EXPECT_EQ(U32(b, 42), 2835U);
    EXPECT_EQ(U32(b, 46), 0U);
    EXPECT_EQ(U32(b, 50), 0U);
    // The first row in the file is the bottom image row (y = 1).
    const std::uint8_t bottom[12] = {1, 50, 0, 2, 50, 40, 3, 50, 80, 0, 0, 0};
    const std::uint8_t top[12] = {0, 0, 0, 1, 0, 40, 2, 0, 80, 0, 0, 0};
    EXPECT_EQ(std::memcmp(&b[54], bottom, 12), 0);
    EXPECT_EQ(std::memcmp(&b[66], top, 12), 0);
}

TEST(BmpWriter, BandsOfRowsMakeTheSameFileAsTheWholeSurface) {
    TempDir dir;
    const Surface s = Pattern(5, 7);
    WriteBmp(dir.File("whole.bmp"), s);

    BmpWriter writer(dir.File("bands.bmp"), 5, 7);
    EXPECT_EQ(writer.Stride(), s.Stride());
    writer.WriteRows(s.Bits(), s.Stride(), 3);
    // Rows one by one through a gapped buffer (step larger than the stride).
    std::vector<std::uint8_t> gapped(static_cast<std::size_t>(s.Stride() + 7) * 4, 0xEE);
    for (int r = 0; r < 4; ++r) {
        std::memcpy(&gapped[r * (s.Stride() + 7)], s.Bits() + (3 + r) * s.Stride(), s.Stride());
    }
    writer.WriteRows(gapped.data(), s.Stride() + 7, 4);
    EXPECT_THROW(writer.WriteRows(s.Bits(), s.Stride(), 1), std::logic_error);
    writer.Finish();
    EXPECT_EQ(ReadAll(dir.File("bands.bmp")), ReadAll(dir.File("whole.bmp")));
}

TEST(BmpWriter, AnUntouchedSurfaceIsWrittenBlack) {
    TempDir dir;
    WriteBmp(dir.File("black.bmp"), Surface(2, 3));
    const auto b = ReadAll(dir.File("black.bmp"));
    ASSERT_EQ(b.size(), 54U + 8 * 3);
    EXPECT_TRUE(std::all_of(b.begin() + 54, b.end(), [](std::uint8_t v) { return v == 0; }));
}

TEST(BmpWriter, AnUnfinishedFileNeverAppears) {
    TempDir dir;
    {
        BmpWriter writer(dir.File("part.bmp"), 4, 4);
        writer.WriteBlackRows(2);
        EXPECT_THROW(writer.Finish(), std::logic_error);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(BmpWriter, SizesBeyondTheFormatAreRefusedBeforeAnyFileExists) {
    TempDir dir;
    try {
        BmpWriter writer(dir.File("huge.bmp"), 40000, 40000);  // 4.8 GB of pixels
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(e.Number(), EFBIG);
        EXPECT_EQ(e.Path(), dir.File("huge.bmp"));
    }
    EXPECT_THROW(BmpWriter(dir.File("neg.bmp"), -1, 5), FileError);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(PngWriter, WritesEightBitRgbTopDownWithTheSurfacesColours) {
    TempDir dir;
    const Surface s = Pattern(5, 3);
    WritePng(dir.File("a.png"), s);
    const auto bytes = ReadAll(dir.File("a.png"));
    const auto ihdr = Chunks(bytes, "IHDR");
    ASSERT_EQ(ihdr.size(), 13U);
    EXPECT_EQ(ihdr[8], 8);   // bit depth
    EXPECT_EQ(ihdr[9], 2);   // colour type RGB
    EXPECT_EQ(ihdr[12], 0);  // not interlaced

    const DecodedPng png = ReadPng(dir.File("a.png"));
    ASSERT_EQ(png.width, 5U);
    ASSERT_EQ(png.height, 3U);
    for (std::uint32_t y = 0; y < 3; ++y) {
        for (std::uint32_t x = 0; x < 5; ++x) {
            const COLORREF c = s.PixelAt(static_cast<int>(x), static_cast<int>(y));
            const std::uint8_t* p = &png.rgb[(y * 5 + x) * 3];
            EXPECT_EQ(p[0], RedOf(c));
            EXPECT_EQ(p[1], GreenOf(c));
            EXPECT_EQ(p[2], BlueOf(c));
        }
    }
}

TEST(PngWriter, RowsAreNotFilteredAndTheLevelIsHonoured) {
    TempDir dir;
    const Surface s = Pattern(64, 64);
    WritePng(dir.File("default.png"), s);
    // Inflate the image data: each row starts with its filter byte, 0 for none.
    const auto idat = Chunks(ReadAll(dir.File("default.png")), "IDAT");
    std::vector<std::uint8_t> raw(64 * (1 + 64 * 3));
    uLongf rawSize = raw.size();
    ASSERT_EQ(uncompress(raw.data(), &rawSize, idat.data(), idat.size()), Z_OK);
    ASSERT_EQ(rawSize, raw.size());
    for (int row = 0; row < 64; ++row) EXPECT_EQ(raw[row * (1 + 64 * 3)], 0) << row;

    WritePng(dir.File("stored.png"), s, 0);
    WritePng(dir.File("best.png"), s, 9);
    EXPECT_GT(std::filesystem::file_size(dir.File("stored.png")), rawSize);
    EXPECT_LT(std::filesystem::file_size(dir.File("best.png")),
              std::filesystem::file_size(dir.File("stored.png")));
    EXPECT_EQ(ReadPng(dir.File("best.png")).rgb, ReadPng(dir.File("stored.png")).rgb);
    EXPECT_THROW(WritePng(dir.File("bad.png"), s, 10), FileError);
}

TEST(PngWriter, BandsAndAnUntouchedSurface) {
    TempDir dir;
    const Surface s = Pattern(6, 4);
    WritePng(dir.File("whole.png"), s);
    PngWriter writer(dir.File("bands.png"), 6, 4);
    // Top row first: memory row 3, then downwards in memory.
    writer.WriteRows(s.Bits() + 3 * s.Stride(), -s.Stride(), 1);
    writer.WriteRows(s.Bits() + 2 * s.Stride(), -s.Stride(), 3);
    EXPECT_THROW(writer.WriteRows(s.Bits(), s.Stride(), 1), std::logic_error);
    writer.Finish();
    EXPECT_EQ(ReadAll(dir.File("bands.png")), ReadAll(dir.File("whole.png")));

    WritePng(dir.File("black.png"), Surface(3, 2));
    const auto black = ReadPng(dir.File("black.png"));
    EXPECT_EQ(black.rgb, std::vector<std::uint8_t>(3 * 2 * 3, 0));
}

TEST(PngWriter, FailuresLeaveNoFileBehind) {
    TempDir dir;
    EXPECT_THROW(PngWriter(dir.File("empty.png"), 0, 5), FileError);
    {
        PngWriter unfinished(dir.File("part.png"), 2, 2);
        EXPECT_THROW(unfinished.Finish(), std::logic_error);
    }
    try {
        WritePng(dir.File("missing/a.png"), Pattern(2, 2));
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(e.Number(), ENOENT);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(PngWriter, AWriteErrorInsideTheEncoderIsReportedAndTheOldFileKept) {
    TempDir dir;
    const std::string target = dir.File("old.png");
    std::ofstream(target) << "old";
    // Stored (level 0) rows of 3 MB: the file limit is hit while libpng writes.
    const Surface s = Pattern(1024, 1024);
    {
        testing::FileSizeLimit limit(256 * 1024);
        try {
            WritePng(target, s, 0);
            FAIL() << "no error";
        } catch (const FileError& e) {
            EXPECT_EQ(e.Number(), EFBIG);
            EXPECT_EQ(e.Path(), target);
        }
    }
    EXPECT_EQ(ReadAll(target), std::vector<std::uint8_t>({'o', 'l', 'd'}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              1);
}

}  // namespace
}  // namespace pixhaul
