// The qxa tool given files it cannot use and command lines it cannot follow: every case ends
// with one clear "qxa: ..." message, exit status 1 (failure) or 2 (usage), nothing on stdout and
// nothing written into the output folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "archive_builder.h"
#include "qxa_process.h"

namespace pixhaul::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kFailure = 1;
constexpr int kUsage = 2;

struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string says;  // a part of the message
};

class BadInputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteFile(archive_, MinimalArchive().Build());
        WriteFile(dir_.File("empty.qxa"), {});
        WriteFile(dir_.File("short.qxa"), {'Q', 'X', 'A', '!'});
        WriteFile(dir_.File("version.qxa"), {'Q', 'X', 'A', '!', 'V', 0, 0, 0});
        WriteFile(dir_.File("notags.qxa"), {'Q', 'X', 'A', '!', 'T', 1, 2, 3});
        WriteFile(dir_.File("plain.txt"), {'h', 'i', '\n'});
        // A SIF file of the archive, cut in its payload.
        const ProcessResult sif =
            RunQxa({"sif", archive_, "--object", "0", "-o", dir_.Path(), "--name", "good"});
        ASSERT_EQ(sif.exitCode, 0) << sif.err;
        std::vector<std::uint8_t> cut;
        const std::string bytes = ReadText(dir_.File("good.sif"));
        cut.assign(bytes.begin(), bytes.end() - 3);
        WriteFile(dir_.File("cut.sif"), cut);
    }

    // Runs every case with its own output folder (given by "OUT" in the arguments) and checks
    // the outcome.
    void Check(const std::vector<Case>& cases) {
        int n = 0;
        for (const Case& c : cases) {
            const std::string out = dir_.File("out" + std::to_string(n++));
            std::vector<std::string> args;
            std::string line = "qxa";
            for (const std::string& a : c.args) {
                args.push_back(a == "OUT" ? out : a == "OUT.png" ? out + ".png" : a);
                line += " " + args.back();
            }
            const ProcessResult r = RunQxa(args);
            EXPECT_EQ(r.exitCode, c.exitCode) << line << "\n" << r.err;
            EXPECT_EQ(r.err.rfind("qxa: ", 0), 0u) << line << "\n" << r.err;
            EXPECT_NE(r.err.find(c.says), std::string::npos) << line << "\n" << r.err;
            EXPECT_EQ(r.out, "") << line;
            EXPECT_TRUE(!fs::exists(out) || fs::is_empty(out)) << line;
            EXPECT_FALSE(fs::exists(out + ".png")) << line;
        }
    }

    TempDir dir_;
    const std::string archive_ = dir_.File("a.qxa");
};

TEST_F(BadInputTest, FilesThatAreNoArchiveFailInEveryCommand) {
    const std::string missing = dir_.File("missing.qxa");
    const std::string inFile = dir_.File("plain.txt") + "/a.qxa";  // ENOTDIR, even for root
    const std::string version = "File version not known";
    const std::vector<std::pair<std::string, std::string>> files = {
        {missing, "No such file or directory"},
        {dir_.Path(), "Is a directory"},
        {inFile, "Not a directory"},
        {dir_.File("empty.qxa"), version},
        {dir_.File("short.qxa"), version},
        {dir_.File("version.qxa"), version},
        {dir_.File("plain.txt"), version},
    };
    std::vector<Case> cases;
    for (const auto& [file, says] : files) {
        cases.push_back({{"info", file}, kFailure, says});
        cases.push_back({{"info", file, "--json"}, kFailure, says});
        cases.push_back({{"list", file}, kFailure, says});
        cases.push_back({{"extract", file, "-o", "OUT"}, kFailure, says});
        cases.push_back({{"sheet", file, "-o", "OUT"}, kFailure, says});
        cases.push_back({{"sheet", file, "-o", "OUT", "--image", "0"}, kFailure, says});
        cases.push_back({{"sif", file, "--object", "0", "-o", "OUT"}, kFailure, says});
    }
    Check(cases);
}

TEST_F(BadInputTest, BadFlagsAreUsageErrors) {
    Check({
        {{}, kUsage, "qxa: "},
        {{"info"}, kUsage, "ARCHIVE is required"},
        {{"unpack", archive_}, kUsage, "subcommand is required"},
        {{"info", archive_, "--frobnicate"}, kUsage, "--frobnicate"},
        {{"extract", archive_}, kUsage, "--output is required"},
        {{"extract", archive_, "-o", "OUT", "--trans", "12345"}, kUsage, "'12345' is not a colour"},
        {{"extract", archive_, "-o", "OUT", "--trans", "GGHHII"}, kUsage, "not a colour"},
        {{"sheet", archive_, "-o", "OUT", "--trans", "#FF00FF00"}, kUsage, "not a colour"},
        {{"sheet", archive_, "-o", "OUT", "--trans", ""}, kUsage, "not a colour"},
        {{"sif", archive_, "--object", "0", "-o", "OUT", "--trans", "red"}, kUsage, "not a colour"},
        {{"sheet", archive_, "-o", "OUT", "--format", "gif"}, kUsage, "gif"},
        {{"sheet", archive_, "-o", "OUT", "--object", "x"}, kUsage, "--object"},
        {{"sheet", archive_, "-o", "OUT", "--images", "1,x"}, kUsage, "--images"},
        {{"sheet", archive_, "-o", "OUT", "--image", "1.5"}, kUsage, "--image"},
        {{"sheet", archive_, "-o", "OUT", "--action", "0"}, kUsage, "--action"},
        {{"sheet", archive_, "-o", "OUT", "--object", "0", "--image", "0"}, kUsage, "--image"},
        {{"sif", archive_, "-o", "OUT"}, kUsage, "--object is required"},
    });
}

TEST_F(BadInputTest, IndicesOutOfRangeFailAndNameTheIndex) {
    // The archive holds one image, one object, one action, one direction.
    Check({
        {{"sheet", archive_, "-o", "OUT", "--object", "99"}, kFailure, "--object 99"},
        {{"sheet", archive_, "-o", "OUT", "--object", "-1"}, kFailure, "--object -1"},
        {{"sheet", archive_, "-o", "OUT", "--object", "0", "--action", "1"},
         kFailure,
         "--action 1"},
        {{"sheet", archive_, "-o", "OUT", "--object", "0", "--action", "0", "--direction", "7"},
         kFailure,
         "--direction 7"},
        {{"sheet", archive_, "-o", "OUT", "--image", "99999"}, kFailure, "--image 99999"},
        {{"sheet", archive_, "-o", "OUT", "--image", "4294967296"}, kFailure, "--image 4294967296"},
        {{"sheet", archive_, "-o", "OUT", "--images", "0,99999"}, kFailure, "image 99999"},
        {{"sheet", archive_, "-o", "OUT", "--images", "-1"}, kFailure, "image -1"},
        // Beyond 64 bits the number is read as the largest there is.
        {{"sheet", archive_, "-o", "OUT", "--object", "99999999999999999999"},
         kFailure,
         "--object "},
        {{"sif", archive_, "--object", "99", "-o", "OUT"}, kFailure, "--object 99"},
        {{"sif", archive_, "--object", "-1", "-o", "OUT"}, kFailure, "--object -1"},
    });
}

TEST_F(BadInputTest, FilesThatLookLikeTemporariesAreNeverRemoved) {
    // Nothing proves they are ours: whatever process ids their names hold, they stay.
    const std::string out = dir_.File("images");
    fs::create_directories(out);
    WriteFile(out + "/.image-00000.png.2147483646.0badf00d.tmp", {1, 2, 3});
    WriteFile(out + "/.old.bmp.2147483646.0badf00d.tmp", {1, 2, 3});
    WriteFile(out + "/.image-00000.png.1.0badf00d.tmp", {1, 2, 3});
    WriteFile(out + "/.keep.tmp", {1, 2, 3});
    const ProcessResult r = RunQxa({"extract", archive_, "-o", out});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(out)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::string>{".image-00000.png.1.0badf00d.tmp",
                                        ".image-00000.png.2147483646.0badf00d.tmp", ".keep.tmp",
                                        ".old.bmp.2147483646.0badf00d.tmp", "image-00000.png"}));
}

}  // namespace
}  // namespace pixhaul::testing
