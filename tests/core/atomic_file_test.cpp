#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive_builder.h"
#include "export/sheet_export.h"
#include "export/sif_export.h"
#include "file_size_limit.h"
#include "immutable_file.h"
#include "platform/commit_group.h"
#include "recording_host.h"
#include "test_files.h"

namespace pixhaul {
namespace {

using testing::FileNames;
using testing::TempDir;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(AtomicFile, CommitPutsTheWholeFileInPlaceAndLeavesNothingElse) {
    TempDir dir;
    const std::string target = dir.File("out.bin");
    // Small writes that fill the buffer, then one larger than it: all arrive, in order.
    std::string expected;
    {
        AtomicFile file(target);
        // Nothing shows in the folder until the commit.
        EXPECT_TRUE(FileNames(dir.Path()).empty());
        for (int i = 0; i < 300000; ++i) {
            const char bytes[4] = {static_cast<char>(i), static_cast<char>(i >> 8), 'x', 'y'};
            file.Write(bytes, sizeof bytes);
            expected.append(bytes, sizeof bytes);
        }
        const std::string big(3 << 20, 'z');
        file.Write(big.data(), big.size());
        expected += big;
        file.Write("end", 3);
        expected += "end";
        EXPECT_EQ(file.BytesWritten(), expected.size());
        file.Commit();
    }
    EXPECT_EQ(ReadAll(target), expected);
    EXPECT_EQ(FileNames(dir.Path()), std::vector<std::string>{"out.bin"});
}

TEST(AtomicFile, ReplacesALongerFileWholeAndTakesNamesAtTheLengthLimit) {
    TempDir dir;
    for (const std::string& name : {std::string("sheet.dat"), std::string(255, 'n')}) {
        WriteText(dir.File(name), std::string(1000, 'o'));
        AtomicFile file(dir.File(name));
        file.Write("new", 3);
        file.Commit();
        EXPECT_EQ(ReadAll(dir.File(name)), "new");
    }
}

// A file left without a commit (its destructor does the same when a write fails, below).
// A missing folder's error is checked through the sheet export's error box.
TEST(AtomicFile, ADiscardedFileTakesNoWritesAndLeavesTheOldOne) {
    TempDir dir;
    const std::string target = dir.File("keep.bmp");
    WriteText(target, "old contents");
    AtomicFile discarded(target);
    discarded.Write("half a", 6);
    discarded.Discard();
    discarded.Discard();
    EXPECT_THROW(discarded.Write("x", 1), FileError);
    EXPECT_EQ(ReadAll(target), "old contents");
    EXPECT_EQ(FileNames(dir.Path()), std::vector<std::string>{"keep.bmp"});
}

// A group shows its files only when published (by itself at its limit), replaces older files
// whole, and drops what it never published, leaving the older file and no temporary.
TEST(AtomicFile, CommitGroupPublishesAtItsLimitAndDropsTheRest) {
    TempDir dir;
    WriteText(dir.File("c"), "old");
    const auto add = [&](CommitGroup& group, const std::string& name) {
        AtomicFile file(dir.File(name));
        file.Write(name.data(), name.size());
        group.Add(std::move(file));
    };
    {
        CommitGroup group(2);
        add(group, "a");
        EXPECT_EQ(FileNames(dir.Path()), std::vector<std::string>{"c"});
        add(group, "b");
        EXPECT_EQ(FileNames(dir.Path()), (std::vector<std::string>{"a", "b", "c"}));
        add(group, "c");
        EXPECT_EQ(ReadAll(dir.File("c")), "old");
    }
    EXPECT_EQ(FileNames(dir.Path()), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(ReadAll(dir.File("b")) + ReadAll(dir.File("c")), "bold");
    CommitGroup group;
    add(group, "c");
    group.Publish();
    EXPECT_EQ(ReadAll(dir.File("c")), "c");
}

TEST(AtomicFile, AWriteThatFailsPartWayLeavesTheOldFileAndNoTemporary) {
    TempDir dir;
    const std::string target = dir.File("big.bmp");
    WriteText(target, "old");
    {
        testing::FileSizeLimit limit(64 * 1024);
        AtomicFile file(target);
        const std::string chunk(256 * 1024, 'a');
        try {
            for (int i = 0; i < 16; ++i) file.Write(chunk.data(), chunk.size());
            file.Commit();
            FAIL() << "no error";
        } catch (const FileError& e) {
            EXPECT_EQ(e.Number(), EFBIG);
            EXPECT_EQ(e.Path(), target);
        }
    }
    EXPECT_EQ(ReadAll(target), "old");
    EXPECT_EQ(FileNames(dir.Path()), std::vector<std::string>{"big.bmp"});
}

// A replaced regular file keeps its permission bits but never set-id or sticky bits; a link is
// replaced by a new file (0666 less the umask) and the file it pointed to keeps its mode.
TEST(AtomicFile, ModeOfTheNewFile) {
    const mode_t umask = ::umask(022);
    struct Case {
        const char* what;
        mode_t existing;  // 0: no file there
        bool throughLink;
        mode_t expected;
    } cases[] = {{"new file", 0, false, 0644},
                 {"private file", 0640, false, 0640},
                 {"set-uid file", 04755, false, 0755},
                 {"sticky", 01664, false, 0664},
                 {"link to a set-uid file", 04755, true, 0644}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string target = dir.File("out.bmp");
        const std::string pointee = dir.File("pointee");
        if (c.existing != 0) {
            const std::string& file = c.throughLink ? pointee : target;
            WriteText(file, "old");
            ASSERT_EQ(::chmod(file.c_str(), c.existing), 0);
            if (c.throughLink) std::filesystem::create_symlink(pointee, target);
        }
        AtomicFile file(target);
        file.Write("new", 3);
        file.Commit();
        struct stat info {};
        ASSERT_EQ(::lstat(target.c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode));
        EXPECT_EQ(info.st_mode & 07777, c.expected);
        if (c.throughLink) {
            EXPECT_EQ(ReadAll(pointee), "old");
            ASSERT_EQ(::stat(pointee.c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 07777, c.existing);
        }
    }
    ::umask(umask);
}

// Exports stopped part-way by a full disk: the error box, the older files of the name as they
// were (the lookup table fits, the sheet and the SIF file do not), no temporary.
TEST(AtomicFile, APairWhoseSecondRenameFailsLeavesBothOlderFiles) {
    for (const bool firstExists : {true, false}) {
        SCOPED_TRACE(firstExists);
        TempDir dir;
        const std::string first = dir.File("sheet.bmp"), second = dir.File("sheet.dat");
        if (firstExists) WriteText(first, "old sheet");
        WriteText(second, "old dat");
        {
            const testing::ImmutableFile stuck(second);
            if (!stuck.Held()) GTEST_SKIP() << "no immutable files here (needs root)";
            AtomicFile sheet(first), dat(second);
            sheet.Write("new sheet", 9);
            dat.Write("new dat", 7);
            EXPECT_THROW(CommitTogether(sheet, dat), FileError);
        }
        EXPECT_EQ(ReadAll(second), "old dat");
        if (firstExists) {
            EXPECT_EQ(ReadAll(first), "old sheet");
            EXPECT_EQ(FileNames(dir.Path()), (std::vector<std::string>{"sheet.bmp", "sheet.dat"}));
        } else {
            EXPECT_EQ(FileNames(dir.Path()), std::vector<std::string>{"sheet.dat"});
        }
    }
}

TEST(AtomicFile, ExportsStoppedPartWayByAFullDiskLeaveTheOlderFiles) {
    TempDir dir;
    testing::ImageBlockSpec block;
    std::uint32_t seed = 12345;
    block.images.push_back({1, 160, 160, k24BitType, {}, {}, {}});
    block.images[0].stream = testing::EncodeImage(k24BitType, 160, 160, [&](int, int) {
        seed = seed * 1103515245u + 12345u;  // noise: 77 KB whatever the coding
        return (seed >> 8) & 0xFFFFFFu;
    });
    testing::ObjectSpec object{{{{{{{0, 1}}, {}, {}}}, "", {}, {}}}, {}};
    const std::string archive = dir.File("sprites.qxa");
    testing::WriteFile(
        archive, testing::ArchiveBuilder().ImageBlock({}).ImageBlock(block).Object(object).Build());
    testing::RecordingHost host;
    ArchiveModel model;
    ASSERT_EQ(LoadArchive(model, archive, host).status, LoadStatus::Loaded);
    Settings settings;
    settings.ArchivePath = archive;
    settings.ExportFolder = dir.Path() + "/";
    settings.ExportName = "sheet";
    for (const char* name : {"sheet.bmp", "sheet.dat", "sheet.sif"})
        WriteText(dir.File(name), name);
    {
        testing::FileSizeLimit limit(16 * 1024);
        EXPECT_EQ(ExportBitmaps(model, settings, host, {}).status, SheetExportStatus::Failed);
        EXPECT_EQ(settings.ExportName, "sheet");
        EXPECT_EQ(ExportSif(model, settings, host, 0).status, SifExportStatus::Failed);
    }
    ASSERT_EQ(host.messages.size(), 2u);
    for (const testing::RecordedMessage& m : host.messages) {
        EXPECT_EQ(m.title, "Dammit!");
        EXPECT_EQ(m.text.rfind("Error " + std::to_string(EFBIG) + " Encountered:", 0), 0u);
    }
    for (const char* name : {"sheet.bmp", "sheet.dat", "sheet.sif"}) {
        EXPECT_EQ(ReadAll(dir.File(name)), name);
    }
    EXPECT_EQ(FileNames(dir.Path()),
              (std::vector<std::string>{"sheet.bmp", "sheet.dat", "sheet.sif", "sprites.qxa"}));
}

}  // namespace
}  // namespace pixhaul
