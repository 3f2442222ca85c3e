// Exports stopped half-way by a full file system: the older file of the name stays as it was and
// no temporary is left. (Killed exports: tests/cli/output_safety_test.cpp.)
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive_builder.h"
#include "export/sheet_export.h"
#include "export/sif_export.h"
#include "platform/atomic_file.h"
#include "recording_host.h"

namespace pixhaul {
namespace {

using testing::RecordingHost;
using testing::TempDir;

constexpr int kSide = 64;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Names in the folder that start with "." (temporaries), sorted.
std::vector<std::string> Temporaries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (!name.empty() && name[0] == '.') names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// One object of `directions` directions of `frames` frames; every frame has an image of its own
// (kSide x kSide, 24-bit, noise that neither run-length nor Huffman coding shrinks much), so a
// sheet of it is large and keeps every frame even with duplicate removal on.
std::string WriteArchive(const TempDir& dir, int directions, int frames) {
    testing::ImageBlockSpec block;
    testing::ObjectSpec object;
    object.actions.resize(1);
    std::uint32_t seed = 12345;
    for (int d = 0; d < directions; ++d) {
        testing::DirectionSpec direction;
        for (int f = 0; f < frames; ++f) {
            testing::ImageSpec image;
            image.id = 1000 + d * frames + f;
            image.width = kSide;
            image.height = kSide;
            image.type = k24BitType;
            image.stream = testing::EncodeImage(k24BitType, kSide, kSide, [&](int, int) {
                seed = seed * 1103515245u + 12345u;
                return (seed >> 8) & 0xFFFFFFu;
            });
            block.images.push_back(image);
            direction.frames.push_back({0, image.id});
        }
        object.actions[0].directions.push_back(direction);
    }
    const auto bytes =
        testing::ArchiveBuilder().ImageBlock({}).ImageBlock(block).Object(object).Build();
    const std::string path = dir.File("sprites.qxa");
    testing::WriteFile(path, bytes);
    return path;
}

struct Loaded {
    ArchiveModel model;
    Settings settings;
};

void Load(Loaded& loaded, const std::string& archive, const std::string& folder) {
    RecordingHost host;
    ASSERT_EQ(LoadArchive(loaded.model, archive, host).status, LoadStatus::Loaded);
    loaded.settings.ArchivePath = archive;
    loaded.settings.ExportFolder = folder + "/";
    loaded.settings.ExportName = "sheet";
}

// In a child: limits the size of files it may write to `bytes` (SIGXFSZ ignored, so writes fail
// with EFBIG), runs both exports over the old files and checks what the host was told. Returns
// what went wrong, "" when nothing did.
std::string ExportIntoAFullFileSystem(Loaded& loaded, rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = bytes;
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return "setrlimit failed";

    auto toldTheError = [](const RecordingHost& host) {
        if (host.messages.size() != 1) return false;
        const testing::RecordedMessage& m = host.messages[0];
        return m.title == "Dammit!" && m.icon == MessageIcon::Critical &&
               m.text.rfind("Error " + std::to_string(EFBIG) + " Encountered:", 0) == 0;
    };
    std::string problems;
    {
        RecordingHost host;
        const SheetExportResult sheet = ExportBitmaps(loaded.model, loaded.settings, host, {});
        if (sheet.status != SheetExportStatus::Failed) problems += "sheet export did not fail; ";
        if (!toldTheError(host)) problems += "sheet export did not show the error box; ";
        if (loaded.settings.ExportName != "sheet") problems += "ExportName lost; ";
    }
    {
        RecordingHost host;
        const SifExportResult sif = ExportSif(loaded.model, loaded.settings, host, 0);
        if (sif.status != SifExportStatus::Failed) problems += "SIF export did not fail; ";
        if (!toldTheError(host)) problems += "SIF export did not show the error box; ";
    }
    return problems;
}

TEST(AtomicFailure, AnExportIntoAFullFileSystemShowsTheErrorAndLeavesNothingHalfWritten) {
    TempDir dir;
    const std::string archive = WriteArchive(dir, 4, 4);  // sheet 256 x 256: 196 KB, SIF ~200 KB
    Loaded loaded;
    Load(loaded, archive, dir.Path());
    WriteText(dir.File("sheet.bmp"), "the old sheet");
    WriteText(dir.File("sheet.dat"), "the old table");
    WriteText(dir.File("sheet.sif"), "the old sif");

    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(fds[0]);
        // The lookup table (768 bytes) fits; the sheet and the SIF file do not.
        const std::string problems = ExportIntoAFullFileSystem(loaded, 16 * 1024);
        (void)!::write(fds[1], problems.data(), problems.size());
        ::_exit(problems.empty() ? 0 : 1);
    }
    ::close(fds[1]);
    std::string problems;
    char buffer[256];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) problems.append(buffer, n);
    ::close(fds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << problems;

    EXPECT_EQ(ReadAll(dir.File("sheet.bmp")), "the old sheet");
    EXPECT_EQ(ReadAll(dir.File("sheet.dat")), "the old table");
    EXPECT_EQ(ReadAll(dir.File("sheet.sif")), "the old sif");
    EXPECT_TRUE(Temporaries(dir.Path()).empty());
}

}  // namespace
}  // namespace pixhaul
