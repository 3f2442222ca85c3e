// What an export may replace and how: never the archive it reads, never anything but a regular
// file or a link, and a sheet with its lookup table together or not at all.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive_builder.h"
#include "export/naming.h"
#include "export/sheet_export.h"
#include "file_size_limit.h"
#include "platform/atomic_file.h"
#include "platform/temporary_registry.h"
#include "recording_host.h"

namespace pixhaul {
namespace {

using testing::TempDir;
namespace fs = std::filesystem;

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One object whose single direction shows image 7 (2 x 1 pixels) `frames` times.
std::vector<std::uint8_t> RepeatedFrameArchive(int frames) {
    testing::ImageBlockSpec block;
    block.palette[5] = 0x0000FF;
    block.images.push_back({7, 2, 1, 259, {}, {0x02, 0x05}, {}});
    testing::DirectionSpec direction;
    for (int i = 0; i < frames; ++i) direction.frames.push_back({0, 7});
    testing::ObjectSpec object;
    object.actions.resize(1);
    object.actions[0].directions.push_back(direction);
    return testing::ArchiveBuilder().ImageBlock({}).ImageBlock(block).Object(object).Build();
}

struct Export {
    ArchiveModel model;
    Settings settings;
    testing::RecordingHost host;

    Export(const std::string& archive, const std::string& folder, const std::string& name) {
        EXPECT_EQ(LoadArchive(model, archive, host).status, LoadStatus::Loaded);
        settings.ArchivePath = archive;
        settings.ExportFolder = folder + "/";
        settings.ExportName = name;
        host.SetOption(Option::GenerateLookupTable, true);
        host.SetOption(Option::RemoveDuplicateFrames, false);
    }
    SheetExportResult Run() { return ExportBitmaps(model, settings, host, {}); }
    std::string Message() const { return host.messages.empty() ? "" : host.messages[0].text; }
};

// The automatic name comes from the archive's; the archive is never what gets replaced.
TEST(ExportTargets, TheOpenArchiveIsNeverReplaced) {
    for (const char* archiveName : {"sprites.dat", "hero.bmp"}) {
        SCOPED_TRACE(archiveName);
        TempDir dir;
        const std::string archive = dir.File(archiveName);
        testing::WriteFile(archive, RepeatedFrameArchive(3));
        const std::string before = ReadText(archive);
        Export run(archive, dir.Path(), "");
        EXPECT_EQ(run.Run().status, SheetExportStatus::Failed);
        EXPECT_EQ(ReadText(archive), before);
        EXPECT_NE(run.Message().find(archiveName), std::string::npos) << run.Message();
        // Only the archive: nothing else was written either.
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
    }
}

// A .dat that cannot be written leaves the older sheet as it was.
TEST(ExportTargets, ASheetIsNeverReplacedWithoutItsTable) {
    enum class Obstacle { FolderNamedLikeTheTable, TableTooLargeForTheDisk };
    for (Obstacle obstacle :
         {Obstacle::FolderNamedLikeTheTable, Obstacle::TableTooLargeForTheDisk}) {
        SCOPED_TRACE(static_cast<int>(obstacle));
        TempDir dir;
        const std::string archive = dir.File("units.qxa");
        // 1000 frames: a sheet of about 6 KB, a table of 36 KB.
        testing::WriteFile(archive, RepeatedFrameArchive(1000));
        Export run(archive, dir.Path(), "sheet");
        testing::WriteFile(dir.File("sheet.bmp"), {'o', 'l', 'd'});
        SheetExportResult result;
        if (obstacle == Obstacle::FolderNamedLikeTheTable) {
            fs::create_directory(dir.File("sheet.dat"));
            result = run.Run();
        } else {
            testing::WriteFile(dir.File("sheet.dat"), {'o', 'l', 'd'});
            testing::FileSizeLimit limit(16 * 1024);
            result = run.Run();
        }
        EXPECT_EQ(result.status, SheetExportStatus::Failed);
        EXPECT_EQ(ReadText(dir.File("sheet.bmp")), "old");
        EXPECT_NE(run.Message().find("Error"), std::string::npos);
        for (const auto& entry : fs::directory_iterator(dir.Path())) {
            EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
        }
    }
}

TEST(ExportTargets, OnlyRegularFilesAndLinksAreReplaced) {
    TempDir dir;
    const std::string fifo = dir.File("pipe.bmp");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    fs::create_directory(dir.File("folder.bmp"));
    std::vector<std::string> targets = {fifo, dir.File("folder.bmp")};
    // A null device of our own (as root): a fault here must not cost the system its /dev/null.
    if (::mknod(dir.File("null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0) {
        targets.push_back(dir.File("null"));
    }
    for (const std::string& target : targets) {
        SCOPED_TRACE(target);
        struct stat before {};
        ASSERT_EQ(::lstat(target.c_str(), &before), 0);
        try {
            AtomicFile file(target);
            file.Commit();
            ADD_FAILURE() << "replaced";
        } catch (const FileError& e) {
            EXPECT_EQ(e.Path(), target);
        }
        struct stat after {};
        ASSERT_EQ(::lstat(target.c_str(), &after), 0);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_ino, before.st_ino);
    }
}

TEST(ExportTargets, ASignalRemovesTheRegisteredTemporariesOnly) {
    TempDir dir;
    testing::WriteFile(dir.File("ours"), {1});
    testing::WriteFile(dir.File("done"), {1});
    const int ours = RegisterTemporary(dir.File("ours").c_str());
    UnregisterTemporary(RegisterTemporary(dir.File("done").c_str()));
    RemoveRegisteredTemporaries();
    UnregisterTemporary(ours);
    EXPECT_FALSE(fs::exists(dir.File("ours")));
    EXPECT_TRUE(fs::exists(dir.File("done")));
}

// Typed names lose only our extensions; automatic names too long for the file system are cut.
TEST(ExportTargets, Names) {
    // clang-format off
    const std::pair<const char*, const char*> typed[] = {
        {"level.001", "level.001"}, {"level.BMP", "level"}, {"walk.png", "walk"}, {"a.Dat", "a"},
        {"hero.sif", "hero"}, {"a.txt", "a.txt"}, {".bmp", ""}, {"bmp", "bmp"}, {"v1.2", "v1.2"}};
    // clang-format on
    for (const auto& [name, kept] : typed) EXPECT_EQ(RemoveKnownExtension(name), kept) << name;
    // Export As: the folder keeps its slash; only a real extension goes.
    const std::array<std::array<const char*, 3>, 7> chosen = {
        {{"/out/walk.bmp", "/out/", "walk"},
         {"walk.bmp", "", "walk"},
         {"/out/.sif", "/out/", ""},
         {"/out/ab", "/out/", "ab"},
         {"/out/a.b", "/out/", "a.b"},
         {"/o.ut/walk", "/o.ut/", "walk"},
         {"/out/walk.anim", "/out/", "walk.anim"}}};
    for (const auto& [path, folder, name] : chosen) {
        EXPECT_EQ(SplitExportPath(path).Folder, folder) << path;
        EXPECT_EQ(SplitExportPath(path).Name, name) << path;
    }
    EXPECT_EQ(ArchiveBaseName("/data/sprites/units.qxa"), "units");

    TempDir dir;
    const std::string fitted = FitFileName(dir.Path() + "/", std::string(300, 'a'), 4);
    EXPECT_EQ(fitted.size() + 4, 255u);
    EXPECT_EQ(fitted.substr(0, 200), std::string(200, 'a'));
    EXPECT_NE(fitted, FitFileName(dir.Path() + "/", std::string(301, 'a'), 4));
    EXPECT_EQ(FitFileName(dir.Path() + "/", "walk", 4), "walk");
}

}  // namespace
}  // namespace pixhaul
