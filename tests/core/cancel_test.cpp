// Stopping long work: a load or an export asked to stop ends with status Canceled, nothing
// loaded or written, and the host told that the export ended.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/archive.h"
#include "archive_builder.h"
#include "export/sheet_export.h"
#include "export/sif_export.h"
#include "recording_host.h"
#include "test_files.h"

namespace pixhaul::testing {
namespace {

// One object whose four directions hold one 4 x 4 image each: four rows, four bands.
std::string WriteFourRowArchive(const TempDir& dir) {
    ImageBlockSpec block;
    ActionSpec action;
    for (std::int32_t id = 1; id <= 4; ++id) {
        ImageSpec image;
        image.id = id;
        image.width = 4;
        image.height = 4;
        image.type = k24BitType;
        image.stream = EncodeImage(k24BitType, 4, 4, [id](int x, int y) {
            return static_cast<std::uint32_t>(0x101010 * id + x + y);
        });
        block.images.push_back(image);
        DirectionSpec direction;
        direction.frames.push_back({0, id});
        action.directions.push_back(direction);
    }
    ArchiveBuilder builder;
    builder.ImageBlock({}).ImageBlock(block).Object({{action}, std::nullopt});
    const std::string path = dir.File("four.qxa");
    WriteFile(path, builder.Build());
    return path;
}

std::size_t FilesIn(const std::string& folder) {
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++files;
    return files;
}

TEST(Cancel, LoadStopsWithNothingLoaded) {
    TempDir dir;
    const std::string path = WriteFourRowArchive(dir);
    ArchiveModel model;
    RecordingHost host;
    host.canceled = true;
    EXPECT_EQ(LoadArchive(model, path, host).status, LoadStatus::Canceled);
    EXPECT_FALSE(model.IsLoaded());
    EXPECT_TRUE(host.messages.empty());
}

// Canceled when the list is built (progress 0) or after the first band / row (progress 1).
struct CancelCase {
    const char* what;
    bool sif;
    SheetFormat format;
    std::int64_t cancelAtProgress;  // 0: canceled from the start
};

class CancelExport : public ::testing::TestWithParam<CancelCase> {};

TEST_P(CancelExport, NothingIsWritten) {
    const CancelCase& c = GetParam();
    TempDir dir;
    const std::string path = WriteFourRowArchive(dir);
    const std::string out = dir.File("out");
    std::filesystem::create_directory(out);
    ArchiveModel model;
    RecordingHost host;
    ASSERT_EQ(LoadArchive(model, path, host).status, LoadStatus::Loaded);
    Settings settings;
    settings.ArchivePath = path;
    settings.ExportFolder = out + "/";
    host.canceled = c.cancelAtProgress == 0;
    host.cancelAtProgress = c.cancelAtProgress;
    if (c.sif) {
        EXPECT_EQ(ExportSif(model, settings, host, 0).status, SifExportStatus::Canceled);
    } else {
        SheetExportRequest request;
        request.Format = c.format;
        EXPECT_EQ(ExportBitmaps(model, settings, host, request).status,
                  SheetExportStatus::Canceled);
    }
    EXPECT_EQ(FilesIn(out), 0u) << c.what;
    EXPECT_EQ(host.exportRunning, (std::vector<bool>{true, false})) << c.what;
    EXPECT_TRUE(settings.ExportName.empty()) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Steps, CancelExport,
                         ::testing::Values(CancelCase{"bmp list", false, SheetFormat::Bmp, 0},
                                           CancelCase{"bmp band", false, SheetFormat::Bmp, 1},
                                           CancelCase{"png band", false, SheetFormat::Png, 1},
                                           CancelCase{"sif list", true, SheetFormat::Bmp, 0},
                                           CancelCase{"sif row", true, SheetFormat::Bmp, 1}));

}  // namespace
}  // namespace pixhaul::testing
