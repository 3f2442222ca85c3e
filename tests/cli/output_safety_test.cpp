// What qxa's exports may replace, and what a killed or interrupted qxa leaves behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "archive/model.h"
#include "archive_builder.h"
#include "file_size_limit.h"
#include "qxa_process.h"

namespace pixhaul::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kDemo = std::string(PIXHAUL_SOURCE_DIR) + "/samples/demo.qxa";

std::vector<std::string> DotFiles(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string()[0] == '.') names.push_back(entry.path());
    }
    return names;
}

// Starts qxa with args, output to /dev/null; returns its pid.
pid_t StartQxa(const std::vector<std::string>& args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd : {0, 1, 2}) {
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
    }
    std::vector<std::string> all = {PIXHAUL_QXA_BINARY};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int Reap(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A sheet large enough to take a while: 4 rows of 8 frames of one 512 x 512 noise image
// (duplicates kept), 4096 x 2048 pixels, 24 MiB.
class LargeSheet : public ::testing::Test {
  protected:
    void SetUp() override {
        ImageBlockSpec block;
        block.images.push_back(NoiseImage(1, 512, 1));
        ObjectSpec object;
        object.actions.resize(1);
        for (int d = 0; d < 4; ++d) {
            DirectionSpec direction;
            for (int f = 0; f < 8; ++f) direction.frames.push_back({0, 1});
            object.actions[0].directions.push_back(direction);
        }
        WriteFile(archive_,
                  ArchiveBuilder().ImageBlock({}).ImageBlock(block).Object(object).Build());
        fs::create_directory(out_);
        // The complete pair, and how long it takes to write.
        const auto start = Clock::now();
        ASSERT_EQ(Reap(StartQxa(args_)), 0);
        duration_ = Clock::now() - start;
        newSheet_ = ReadText(out_ + "/units.bmp");
        newDat_ = ReadText(out_ + "/units.dat");
        ASSERT_EQ(newDat_.size(), 32u * 36u);
    }
    void PutOldPair() {
        WriteFile(out_ + "/units.bmp", {'o', 'l', 'd'});
        WriteFile(out_ + "/units.dat", {'O', 'L', 'D'});
    }
    // The folder holds the old pair or the new one, never a mix, and nothing else; but a
    // SIGKILL between naming the finished temporaries and renaming them (a moment of a few
    // system calls, after which nothing can tidy up) leaves them, each complete, or the old
    // sheet that waits under its temporary name until the new dat is in place. Between the two
    // renames it leaves the new sheet beside the old dat, with the old sheet and the new dat
    // under their temporary names: both pairs whole.
    void ExpectOldOrNewPair(bool killed) {
        const std::string sheet = ReadText(out_ + "/units.bmp");
        const std::string dat = ReadText(out_ + "/units.dat");
        std::vector<std::string> leftovers;
        for (const std::string& left : DotFiles(out_)) {
            EXPECT_TRUE(killed) << left;
            leftovers.push_back(ReadText(left));
            EXPECT_TRUE(leftovers.back() == newSheet_ || leftovers.back() == newDat_ ||
                        leftovers.back() == "old")
                << left;
            fs::remove(left);
        }
        const auto left = [&](const std::string& bytes) {
            return std::find(leftovers.begin(), leftovers.end(), bytes) != leftovers.end();
        };
        const bool old = sheet == "old" && dat == "OLD";
        const bool complete = sheet == newSheet_ && dat == newDat_;
        const bool betweenRenames =
            sheet == newSheet_ && dat == "OLD" && left("old") && left(newDat_);
        EXPECT_TRUE(old || complete || betweenRenames)
            << "sheet " << sheet.size() << " bytes, dat " << dat.size();
    }

    TempDir dir_;
    std::string archive_ = dir_.File("units.qxa");
    std::string out_ = dir_.File("out");
    std::vector<std::string> args_ = {"sheet", archive_, "-o", out_, "--keep-duplicates"};
    Clock::duration duration_{};
    std::string newSheet_;
    std::string newDat_;
};

// Ten SIGKILLs spread over the run, then a SIGINT half-way (its handler removes what is named).
TEST_F(LargeSheet, AKilledOrInterruptedExportLeavesTheOldPairOrTheNewOneAndNoTemporary) {
    for (int moment = 1; moment <= 11; ++moment) {
        SCOPED_TRACE(moment);
        PutOldPair();
        const pid_t pid = StartQxa(args_);
        std::this_thread::sleep_for(duration_ * (moment % 11) / 10 + duration_ / 2 * (moment / 11));
        ::kill(pid, moment <= 10 ? SIGKILL : SIGINT);
        const int code = Reap(pid);
        EXPECT_TRUE(moment <= 10 || code == 130 || code == 0) << code;  // 0: it had finished
        ExpectOldOrNewPair(moment <= 10);
    }
}

// A write that fails while the payload is uncoded on another thread (here at a size limit, as on
// a full disk) fails the command: the message names the file, and nothing is left behind.
TEST_F(LargeSheet, SifDecodeThatCannotWriteLeavesNoFile) {
    ASSERT_EQ(
        RunQxa({"sif", archive_, "--object", "0", "-o", out_, "--keep-duplicates", "--name", "s"})
            .exitCode,
        0);
    const std::string bmp = dir_.File("decoded.bmp");
    ProcessResult r;
    {
        const testing::FileSizeLimit limit(4 << 20);
        r = RunQxa({"sif-decode", out_ + "/s.sif", "-o", bmp});
    }
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(bmp), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(bmp));
    EXPECT_EQ(DotFiles(dir_.Path()), std::vector<std::string>{});
}

TEST(OutputSafety, SifDecodeRefusesItsInputAndWhatIsNotARegularFile) {
    TempDir dir;
    ASSERT_EQ(RunQxa({"sif", kDemo, "--object", "0", "-o", dir.Path(), "--name", "a"}).exitCode, 0);
    const std::string sif = dir.File("a.png");  // a SIF file with a picture's name
    fs::rename(dir.File("a.sif"), sif);
    const std::string before = ReadText(sif);
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0644), 0);
    std::vector<std::vector<std::string>> outputs = {
        {"-o", sif},
        {"-o", dir.File("b.png"), "--json", sif},
        {"-o", dir.File("c.png"), "--json", dir.File("fifo")}};
    if (::mknod(dir.File("null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0) {  // as root
        outputs.push_back({"-o", dir.File("d.png"), "--json", dir.File("null")});
    }
    for (const auto& output : outputs) {
        std::vector<std::string> args = {"sif-decode", sif};
        args.insert(args.end(), output.begin(), output.end());
        const ProcessResult r = RunQxa(args);
        EXPECT_EQ(r.exitCode, 1) << output.back();
        EXPECT_NE(r.err.find(output.back()), std::string::npos) << r.err;
    }
    EXPECT_EQ(ReadText(sif), before);
    EXPECT_TRUE(fs::is_fifo(dir.File("fifo")));
    EXPECT_FALSE(fs::exists(dir.File("b.png")));
}

// Without /proc (a bare chroot or container) an unnamed file could never be named: the files
// are written through named temporaries instead.
TEST(OutputSafety, ExportsWorkWithoutProc) {
    TempDir dir;
    const ProcessResult r = RunProgram(
        "/usr/bin/unshare",
        {"-m", "sh", "-c", "mount -t tmpfs none /proc && exec \"$0\" \"$@\"", PIXHAUL_QXA_BINARY,
         "sheet", kDemo, "--object", "0", "-o", dir.Path(), "--name", "a"});
    if (r.exitCode != 0 && r.err.find("qxa: ") == std::string::npos) {
        GTEST_SKIP() << "no private mount namespace here: " << r.err;
    }
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadText(dir.File("a.dat")).size(), 1440u);
    EXPECT_EQ(DotFiles(dir.Path()), std::vector<std::string>{});
    // batch starts its workers by the path it was started by.
    const ProcessResult batch = RunProgram(
        "/usr/bin/unshare",
        {"-m", "sh", "-c", "mount -t tmpfs none /proc && exec \"$0\" \"$@\"", PIXHAUL_QXA_BINARY,
         "batch", kDemo, "-o", dir.File("b"), "--", "sheet", "--object", "0"});
    EXPECT_EQ(batch.exitCode, 0) << batch.err;
    EXPECT_TRUE(fs::exists(dir.File("b/demo/Object 0 (2 actions).dat")));
}

TEST(OutputSafety, OutputFolders) {
    TempDir dir;
    const ProcessResult made = RunQxa({"sif", kDemo, "--object", "0", "-o", dir.File("new/sub")});
    EXPECT_EQ(made.exitCode, 0) << made.err;
    EXPECT_EQ(made.out.rfind(dir.File("new/sub/"), 0), 0u) << made.out;

    WriteFile(dir.File("file"), {1});
    const ProcessResult below = RunQxa({"sif", kDemo, "--object", "0", "-o", dir.File("file/sub")});
    EXPECT_EQ(below.exitCode, 1);
    EXPECT_NE(below.err.find("cannot create folder '" + dir.File("file/sub")), std::string::npos)
        << below.err;

    fs::create_symlink(dir.File("gone"), dir.File("link"));
    for (const char* command : {"sheet", "sif"}) {
        const ProcessResult r = RunQxa({command, kDemo, "--object", "0", "-o", dir.File("link")});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("symbolic link to '" + dir.File("gone") + "', which does not exist"),
                  std::string::npos)
            << r.err;
    }
}

}  // namespace
}  // namespace pixhaul::testing
