// A cancel between any two steps of an export ends it with nothing written and the settings as
// they were.
#include <gtest/gtest.h>

#include <filesystem>
#include <utility>

#include "archive/archive.h"
#include "archive_builder.h"
#include "export/sheet_export.h"
#include "export/sif_export.h"
#include "recording_host.h"
#include "test_files.h"

namespace pixhaul {
namespace {

// Answers "canceled" from its cancelAt-th question on.
class CancelingHost : public testing::RecordingHost {
  public:
    bool IsCanceled() override { return ++asked >= cancelAt; }
    int cancelAt = 1;
    int asked = 0;
};

// Whether the SIF export runs, and the questions an export of one row asks: after the list,
// after the budget, after the band and (SIF) after planning the code.
class ExportCancel : public ::testing::TestWithParam<std::pair<bool, int>> {};

TEST_P(ExportCancel, StopsWithNothingWrittenAtEveryStep) {
    const auto [sif, questions] = GetParam();
    testing::TempDir dir;
    Settings settings;
    settings.ArchivePath = dir.File("a.qxa");
    settings.ExportFolder = dir.File("out");
    testing::WriteFile(settings.ArchivePath, testing::MinimalArchive().Build());
    std::filesystem::create_directory(settings.ExportFolder);
    ArchiveModel model;
    testing::RecordingHost loadHost;
    ASSERT_EQ(LoadArchive(model, settings.ArchivePath, loadHost).status, LoadStatus::Loaded);

    for (int step = 1;; ++step) {
        CancelingHost host;
        host.cancelAt = step;
        const bool canceled =
            sif ? ExportSif(model, settings, host, 0).status == SifExportStatus::Canceled
                : ExportBitmaps(model, settings, host, SheetExportRequest{}).status ==
                      SheetExportStatus::Canceled;
        EXPECT_EQ(host.exportNowEnabled.back(), true);
        if (!canceled) {
            // Every question was asked without a cancel: the export ran to its end.
            EXPECT_EQ(host.asked, questions);
            EXPECT_EQ(step - 1, questions);
            EXPECT_FALSE(testing::FileNames(settings.ExportFolder).empty());
            break;
        }
        EXPECT_TRUE(testing::FileNames(settings.ExportFolder).empty()) << "step " << step;
        EXPECT_EQ(settings.ExportName, "");
    }
}

INSTANTIATE_TEST_SUITE_P(BothExports, ExportCancel,
                         ::testing::Values(std::pair{false, 3}, std::pair{true, 4}));

}  // namespace
}  // namespace pixhaul
