// The archive's bytes belong to the program: another program truncating or replacing the file,
// a FIFO given as the archive, and hostile counts cannot crash, hang or swell the loader.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "archive/archive.h"
#include "archive_builder.h"
#include "export/sheet_export.h"
#include "formats/byte_order.h"
#include "platform/large_block.h"
#include "recording_host.h"

namespace pixhaul::testing {
namespace {

// Truncates the archive when the export reports its first band.
class TruncatingHost : public RecordingHost {
  public:
    explicit TruncatingHost(std::string path) : path_(std::move(path)) {}
    void Progress(std::int64_t, std::int64_t) override { ::truncate(path_.c_str(), 0); }

  private:
    std::string path_;
};

TEST(ArchiveFile, TruncationAfterLoadCrashesNothingAndStopsTheExport) {
    TempDir dir;
    const std::string path = dir.File("a.qxa");
    WriteFile(path, MinimalArchive().Build());
    TruncatingHost host(path);
    ArchiveModel model;
    Settings settings;
    settings.ExportFolder = dir.File("out") + "/";
    std::filesystem::create_directory(dir.File("out"));
    ASSERT_EQ(LoadArchive(model, path, host).status, LoadStatus::Loaded);
    ASSERT_EQ(::truncate(path.c_str(), 0), 0);
    // A mapping would die here with SIGBUS; the bytes read at open are still there.
    model.ImageBitmap(0).SetPalette(ReadBlockPalette(model, 1));
    EXPECT_EQ(model.ImageBitmap(0).Render(0xFF00FF, host), RenderOutcome::Rendered);
    model.ReleaseImageBitmaps();
    EXPECT_TRUE(ArchiveChangedOnDisk(model));

    WriteFile(path, MinimalArchive().Build());
    ASSERT_EQ(LoadArchive(model, path, host).status, LoadStatus::Loaded);
    EXPECT_THROW(ExportBitmaps(model, settings, host, {}), ArchiveChangedError);
    EXPECT_TRUE(std::filesystem::is_empty(dir.File("out")));  // no file, no temporary
}

TEST(ArchiveFile, ChangesOnDiskAreSeen) {
    const std::vector<std::function<void(const std::string&)>> changes = {
        [](const std::string&) {},
        [](const std::string& p) { std::filesystem::remove(p); },
        [](const std::string& p) {  // another file of the same size renamed over it
            WriteFile(p + ".new", MinimalArchive().Build());
            std::filesystem::rename(p + ".new", p);
        },
        [](const std::string& p) {  // rewritten in place: only the time tells
            const timespec times[2] = {{0, UTIME_OMIT}, {1000, 0}};
            ::utimensat(AT_FDCWD, p.c_str(), times, 0);
        },
    };
    for (std::size_t i = 0; i < changes.size(); ++i) {
        TempDir dir;
        const std::string path = dir.File("a.qxa");
        WriteFile(path, MinimalArchive().Build());
        RecordingHost host;
        ArchiveModel model;
        ASSERT_EQ(LoadArchive(model, path, host).status, LoadStatus::Loaded);
        changes[i](path);
        EXPECT_EQ(ArchiveChangedOnDisk(model), i != 0) << "change " << i;
    }
}

TEST(ArchiveFile, AFifoIsRefusedAtOnce) {
    TempDir dir;
    const std::string path = dir.File("pipe.qxa");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    RecordingHost host;
    ArchiveModel model;
    ::alarm(20);  // a blocking open would wait for a writer for ever
    const LoadResult result = LoadArchive(model, path, host);
    ::alarm(0);
    EXPECT_EQ(result.status, LoadStatus::Rejected);
    EXPECT_EQ(result.problem, path + " is not a regular file");
}

// An archive of `count` images without streams (28 bytes each) and no objects.
std::vector<std::uint8_t> ManyImages(std::uint32_t count) {
    std::vector<std::uint8_t> block = {'A', 'G', 'M', 'I'};
    block.resize(4 + 8 + 1024 + 4 + std::size_t{count} * 28);
    StoreLE(&block[4 + 8 + 1024], count);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t* entry = &block[4 + 8 + 1024 + 4 + std::size_t{i} * 28];
        const std::int32_t id = static_cast<std::int32_t>(i) + 1;
        StoreLE(entry, id);
        entry[14] = entry[16] = 1;  // 1 x 1
    }
    return ArchiveBuilder().ImageBlock({}).Raw(block).Build();
}

// Loads the file in a child process limited to 1 GiB of address space beyond the model's allowance;
// the child checks the model's heap against 4 x the file size + 64 MiB and, for images, 64 bytes
// per image besides the file.
void ExpectModelMemoryFollowsTheFile(const std::vector<std::uint8_t>& bytes, std::size_t images) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator neither reports to mallinfo2 nor fits a limit";
#endif
    TempDir dir;
    const std::string path = dir.File("big.qxa");
    WriteFile(path, bytes);
    const std::uint64_t allowed = 4 * std::uint64_t{bytes.size()} + (64u << 20);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit capped{(1u << 30) + allowed, (1u << 30) + allowed};
        ::setrlimit(RLIMIT_AS, &capped);
        try {
            // The heap, and the blocks mapped apart from it (the file's bytes, the image table).
            const struct mallinfo2 before = ::mallinfo2();
            const std::size_t largeBefore = LargeBlockBytesInUse();
            QuietHost host;  // records nothing
            ArchiveModel model;
            LoadArchive(model, path, host);
            const struct mallinfo2 after = ::mallinfo2();
            const std::size_t grown = after.uordblks + after.hblkhd + LargeBlockBytesInUse() -
                                      before.uordblks - before.hblkhd - largeBefore;
            const std::size_t perImage = images ? (grown - bytes.size()) / images : 0;
            std::fprintf(stderr, "model: %zu bytes, %zu per image\n", grown, perImage);
            ::_exit(grown <= allowed && perImage <= 64 ? 0 : 1);
        } catch (...) {
            ::_exit(2);
        }
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

TEST(ArchiveFile, ModelMemoryFollowsTheBytesRead) {
    std::vector<std::uint8_t> flood = {0, 0, 0, 0, 'T'};  // 24 MB of "AnSt"
    for (int i = 0; i < (6 << 20); ++i) flood.insert(flood.end(), {'A', 'n', 'S', 't'});
    ExpectModelMemoryFollowsTheFile(flood, 0);
    ExpectModelMemoryFollowsTheFile(ManyImages(1u << 20), 1u << 20);
    ExpectModelMemoryFollowsTheFile(ManyImages(4u << 20), 4u << 20);
}

}  // namespace
}  // namespace pixhaul::testing
