#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive_builder.h"
#include "file_size_limit.h"
#include "formats/bmp_writer.h"
#include "formats/png_writer.h"
#include "platform/atomic_file.h"
#include "platform/surface.h"
#include "test_files.h"

namespace pixhaul {
namespace {

using testing::Le16;
using testing::Le32;
using testing::ReadAll;
using testing::ReadPicture;
using testing::TempDir;

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

bool NoFiles(const TempDir& dir) {
    return std::filesystem::is_empty(dir.Path());
}

TEST(BmpWriter, HeadersAndRowsAreTheUncompressed24BitLayout) {
    TempDir dir;
    WriteBmp(dir.File("a.bmp"), Pattern(3, 2));  // 9 pixel bytes per row, padded to 12
    const auto b = ReadAll(dir.File("a.bmp"));
    ASSERT_EQ(b.size(), 54U + 12 * 2);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 2), "BM");
    // offset, then the value at that offset (16-bit fields at 26 and 28)
    const std::pair<std::size_t, std::uint32_t> fields[] = {
        {2, 78}, {6, 0},   {10, 54},   {14, 40},   {18, 3}, {22, 2},
        {30, 0}, {34, 24}, {38, 2835}, {42, 2835}, {46, 0}, {50, 0}};
    for (const auto& [at, value] : fields) EXPECT_EQ(Le32(b, at), value) << "offset " << at;
    EXPECT_EQ(Le16(b, 26), 1);
    EXPECT_EQ(Le16(b, 28), 24);
    // The first row in the file is the bottom image row (y = 1).
    const std::uint8_t rows[24] = {1, 50, 0, 2, 50, 40, 3, 50, 80, 0, 0, 0,
                                   0, 0,  0, 1, 0,  40, 2, 0,  80, 0, 0, 0};
    EXPECT_EQ(std::memcmp(&b[54], rows, 24), 0);
}

TEST(BmpWriter, BandsOfRowsMakeTheSameFileAsTheWholeSurface) {
    TempDir dir;
    const Surface s = Pattern(5, 7);
    WriteBmp(dir.File("whole.bmp"), s);
    BmpWriter writer(dir.File("bands.bmp"), 5, 7);
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

TEST(BmpWriter, UnfinishedFilesAndSizesBeyondTheFormatLeaveNoFile) {
    TempDir dir;
    {
        BmpWriter writer(dir.File("part.bmp"), 4, 4);
        writer.WriteBlackRows(2);
        EXPECT_THROW(writer.Finish(), std::logic_error);
    }
    try {
        BmpWriter writer(dir.File("huge.bmp"), 40000, 40000);  // 4.8 GB of pixels
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(e.Number(), EFBIG);
        EXPECT_EQ(e.Path(), dir.File("huge.bmp"));
    }
    EXPECT_THROW(BmpWriter(dir.File("neg.bmp"), -1, 5), FileError);
    EXPECT_TRUE(NoFiles(dir));
}

TEST(PngWriter, WritesTheSurfacesColoursUnfilteredAtTheGivenLevel) {
    TempDir dir;
    const Surface s = Pattern(64, 64);
    WritePng(dir.File("default.png"), s);
    const testing::Picture png = ReadPicture(dir.File("default.png"));
    ASSERT_EQ(png.width * png.height, 64u * 64u);
    for (int y = 0; y < 64; y += 7) {
        for (int x = 0; x < 64; x += 5) {
            const COLORREF c = s.PixelAt(x, y);
            EXPECT_EQ(png.At(x, y), (RedOf(c) << 16) | (GreenOf(c) << 8) | BlueOf(c));
        }
    }
    // Inflate the image data: each row starts with its filter byte, 0 for none.
    const auto bytes = ReadAll(dir.File("default.png"));
    std::vector<std::uint8_t> idat;
    for (std::size_t at = 8; at + 12 <= bytes.size();) {
        const std::uint32_t length = __builtin_bswap32(Le32(bytes, at));
        if (std::memcmp(&bytes[at + 4], "IDAT", 4) == 0) {
            idat.insert(idat.end(), bytes.begin() + at + 8, bytes.begin() + at + 8 + length);
        }
        at += 12 + length;
    }
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
    EXPECT_EQ(ReadPicture(dir.File("best.png")).rgb, png.rgb);
    EXPECT_THROW(WritePng(dir.File("bad.png"), s, 10), FileError);
}

TEST(PngWriter, FailuresLeaveNoFileAndKeepTheOldOne) {
    TempDir dir;
    EXPECT_THROW(PngWriter(dir.File("empty.png"), 0, 5), FileError);
    {
        PngWriter unfinished(dir.File("part.png"), 2, 2);
        EXPECT_THROW(unfinished.Finish(), std::logic_error);
    }
    EXPECT_THROW(WritePng(dir.File("missing/a.png"), Pattern(2, 2)), FileError);
    EXPECT_TRUE(NoFiles(dir));

    // Stored (level 0) rows of 3 MB: the file limit is hit while libpng writes.
    const std::string target = dir.File("old.png");
    std::ofstream(target) << "old";
    {
        testing::FileSizeLimit limit(256 * 1024);
        try {
            WritePng(target, Pattern(1024, 1024), 0);
            FAIL() << "no error";
        } catch (const FileError& e) {
            EXPECT_EQ(e.Number(), EFBIG);
            EXPECT_EQ(e.Path(), target);
        }
    }
    EXPECT_EQ(ReadAll(target), std::vector<std::uint8_t>({'o', 'l', 'd'}));
    EXPECT_EQ(testing::FileNames(dir.Path()).size(), 1u);
}

}  // namespace
}  // namespace pixhaul
