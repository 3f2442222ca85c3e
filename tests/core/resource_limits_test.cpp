// The limits that keep a small hostile archive from taking much memory or writing huge files:
// the largest image surface, the largest sheet row an export assembles, and the counts and sizes
// the file formats can hold. Every refusal says why and writes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive_builder.h"
#include "bitmap/cbitmap.h"
#include "export/sheet_export.h"
#include "export/sif_export.h"
#include "recording_host.h"

namespace pixhaul {
namespace {

using testing::RecordingHost;
using testing::TempDir;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(ResourceLimits, ImagesUpToTheCapRenderAndLargerOnesAreDamaged) {
    static_assert(cBitMap::kMaxImagePixels == 4096 * 4096);
    RecordingHost host;
    // A run of 127 pixels is all the stream holds; the rest stays black.
    cBitMap atCap;
    atCap.SetData(4096, 4096, kPaletteType, std::vector<std::uint8_t>{0x7F, 0x01, 0x00});
    EXPECT_EQ(atCap.Render(0xFF00FF, host), RenderOutcome::Rendered);
    EXPECT_NE(atCap.hDC(), nullptr);
    EXPECT_TRUE(host.messages.empty());
    atCap.Purge();

    // Each one pixel row or column more than the cap allows; an odd width counts with its extra
    // column.
    const std::int16_t sizes[][2] = {{4097, 4096}, {4096, 4097}, {4095, 4097}, {8192, 8192}};
    for (const auto& size : sizes) {
        cBitMap over;
        over.SetData(size[0], size[1], kPaletteType, std::vector<std::uint8_t>{0x7F, 0x01, 0x00});
        EXPECT_EQ(over.Render(0xFF00FF, host), RenderOutcome::TooLarge)
            << size[0] << "x" << size[1];
        EXPECT_EQ(over.hDC(), nullptr);
        EXPECT_TRUE(over.PixelBuffer().empty());
    }
    ASSERT_EQ(host.messages.size(), std::size(sizes));
    for (const auto& m : host.messages) EXPECT_TRUE(Contains(m.text, "damaged")) << m.text;
}

// An archive of one 4096 x 4096 image (a stream of two bytes) and one object whose directions
// name it again and again: a few hundred bytes that describe a sheet of gigabytes.
class HugeSheet : public ::testing::Test {
  protected:
    void Load(std::vector<int> framesPerDirection) {
        testing::ImageBlockSpec block;
        testing::ImageSpec image;
        image.id = 7;
        image.width = 4096;
        image.height = 4096;
        image.type = kPaletteType;
        image.stream = {0x7F, 0x01};
        block.images.push_back(image);
        testing::ObjectSpec object;
        object.actions.resize(1);
        for (int frames : framesPerDirection) {
            testing::DirectionSpec direction;
            direction.frames.assign(static_cast<std::size_t>(frames), {0, 7});
            object.actions[0].directions.push_back(direction);
        }
        const std::string path = dir.File("huge.qxa");
        testing::WriteFile(
            path,
            testing::ArchiveBuilder().ImageBlock({}).ImageBlock(block).Object(object).Build());
        ASSERT_EQ(LoadArchive(model, path, host).status, LoadStatus::Loaded);
        host.SetOption(Option::RemoveDuplicateFrames, false);
        settings.ArchivePath = path;
        settings.ExportFolder = out.Path() + "/";
    }

    TempDir dir;
    TempDir out;
    ArchiveModel model;
    Settings settings;
    RecordingHost host;
};

TEST_F(HugeSheet, ARowLargerThanTheBandLimitIsRefusedInEveryFormat) {
    // 22 frames side by side: 90112 x 4096 pixels, 1.03 GiB in one row. A bitmap file could
    // hold it (its 32-bit sizes reach 4 GiB), memory should not have to.
    Load({22});
    for (SheetFormat format : {SheetFormat::Bmp, SheetFormat::Png}) {
        host.messages.clear();
        SheetExportRequest request;
        request.Format = format;
        const SheetExportResult result = ExportBitmaps(model, settings, host, request);
        EXPECT_EQ(result.status, SheetExportStatus::TooLarge);
        EXPECT_EQ(result.width, 90112);
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_TRUE(Contains(host.messages[0].text, "90112 x 4096 pixels is too large"))
            << host.messages[0].text;
        EXPECT_TRUE(Contains(host.messages[0].text, "1056 MiB")) << host.messages[0].text;
    }
    const SifExportResult sif = ExportSif(model, settings, host, 0);
    EXPECT_EQ(sif.status, SifExportStatus::TooLarge);
    EXPECT_TRUE(Contains(sif.problem, "too large to assemble")) << sif.problem;
    EXPECT_TRUE(std::filesystem::is_empty(out.Path()));
    EXPECT_EQ(host.exportRunning.back(), false);
}

TEST(ResourceLimits, TheBandIsTheWidestRowTimesTheTallest) {
    EXPECT_EQ(SheetBandBytes(8192, 4096), 8192LL * 3 * 4096);
    EXPECT_EQ(SheetBandBytes(3, 2), 12 * 2);  // rows padded to four bytes
    EXPECT_EQ(SheetBandBytes(-1, 2), -1);
    EXPECT_EQ(SheetBandBytes(std::int64_t{1} << 40, 1), -1);
}

// A SIF direction holds 32768 frames at most, an action 32768 directions.
TEST_F(HugeSheet, SifCountsBeyondSixteenBitsAreRefused) {
    for (const auto& [directions, told] :
         {std::pair{std::vector<int>{32769}, "32769 frames in direction 0"},
          std::pair{std::vector<int>(32769, 0), "32769 directions"}}) {
        SCOPED_TRACE(told);
        Load(directions);
        host.messages.clear();
        const SifExportResult sif = ExportSif(model, settings, host, 0);
        EXPECT_EQ(sif.status, SifExportStatus::TooLarge);
        EXPECT_TRUE(Contains(sif.problem, told)) << sif.problem;
        EXPECT_EQ(host.messages.size(), 1u);
        EXPECT_TRUE(std::filesystem::is_empty(out.Path()));
    }
}

}  // namespace
}  // namespace pixhaul
