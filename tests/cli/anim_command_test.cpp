// qxa anim: which requests write a preview, which are refused (and then write nothing).
#include <gtest/gtest.h>

#include <filesystem>

#include "archive_builder.h"
#include "qxa_process.h"

namespace pixhaul::testing {
namespace {

// One object with two actions "Run/Fast", each with direction 0 of two frames and direction 1
// of none.
class AnimCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ImageBlockSpec block;
        block.palette[1] = 0x000000FF;
        block.images = {
            {10, 3, 2, 259, {}, EncodeImage(259, 3, 2, [](int, int) { return 1u; }), {}},
            {11, 2, 4, 259, {}, EncodeImage(259, 2, 4, [](int x, int) { return x; }), {}}};
        ActionSpec run{
            {DirectionSpec{{{0, 10}, {0, 11}}, {}, {}}, DirectionSpec{}}, "Run/Fast", {}, {}};
        WriteFile(
            archive_,
            ArchiveBuilder().ImageBlock({}).ImageBlock(block).Object({{run, run}, {}}).Build());
        WriteFile(dir_.File("file"), {1});
    }

    TempDir dir_;
    std::string archive_ = dir_.File("a.qxa");
};

struct BadRequest {
    std::vector<std::string> args;
    int exitCode;
    std::string message;
};

TEST_F(AnimCommandTest, RefusedRequestsSayWhyAndWriteNothing) {
    const std::string out = dir_.File("out/x.gif");
    const BadRequest cases[] = {
        {{"--direction", "1", "-o", out}, 1, "direction 1 holds no frames"},
        {{"--direction", "2", "-o", out}, 1, "--direction 2: action 0 holds 2"},
        {{"--direction", "0", "-o", dir_.File("file/x.gif")}, 1, "file/x.gif"},
        {{"--direction", "0", "-o", dir_.File("out/x.bmp")}, 2, "cannot tell the format"},
        {{"--direction", "0", "--scale", "9", "-o", out}, 2, "--scale"},
    };
    std::filesystem::create_directory(dir_.File("out"));
    for (const BadRequest& c : cases) {
        std::vector<std::string> args = {"anim", archive_, "--object", "0", "--action", "0"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProcessResult r = RunQxa(args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.message << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_TRUE(FileNames(dir_.File("out")).empty()) << c.message;
    }
}

TEST_F(AnimCommandTest, AllWritesOnePreviewPerDirectionWithFramesUnderItsOwnName) {
    const ProcessResult r = RunQxa(
        {"anim", archive_, "--object", "0", "--all", "--format", "apng", "-o", dir_.File("all")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(FileNames(dir_.File("all")),
              (std::vector<std::string>{"0_Run_Fast_d0-2.png", "0_Run_Fast_d0.png"}));
    EXPECT_NE(r.err.find("direction 1 holds no frames to show: skipped"), std::string::npos)
        << r.err;
}

}  // namespace
}  // namespace pixhaul::testing
