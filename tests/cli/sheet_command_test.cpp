// qxa sheet: flags to export modes, index checks, exit codes and the files written.
#include <gtest/gtest.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <sstream>

#include "archive_builder.h"
#include "cli_host.h"
#include "command.h"
#include "command_list.h"
#include "qxa_app.h"
#include "qxa_process.h"

namespace pixhaul::testing {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs "qxa sheet ARGS..." in this process.
Outcome RunSheet(const std::vector<std::string>& args) {
    CLI::App app{"test", "qxa"};
    auto command = cli::MakeSheetCommand();
    command->Register(app);
    std::vector<std::string> all = {"qxa", "sheet"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<const char*> argv;
    for (const auto& a : all) argv.push_back(a.c_str());
    std::ostringstream out, err;
    Outcome outcome;
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ParseError&) {
        outcome.exitCode = cli::kExitUsage;
        return outcome;
    }
    cli::CliHost host(err, false);
    cli::CommandContext context{out, err, host};
    try {
        outcome.exitCode = command->Run(context);
    } catch (const cli::CommandError& e) {
        if (*e.what() != '\0') host.Tell(e.what());
        outcome.exitCode = e.ExitCode();
    }
    outcome.out = out.str();
    outcome.err = err.str();
    return outcome;
}

class SheetCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ImageBlockSpec block;
        block.palette[1] = 0x000000FF;
        block.images.push_back(
            {10, 3, 2, 259, {}, EncodeImage(259, 3, 2, [](int, int) { return 1u; }), {}});
        block.images.push_back(
            {11, 2, 4, 1028, {}, EncodeImage(1028, 2, 4, [](int, int) { return 0x102030u; }), {}});
        block.images.push_back({12, 4, 4, 259, {}, {}, {}});  // no data
        if (corrupt_) block.images.push_back({13, 2, 1, 259, {}, {0x80, 0x01}, {}});
        ActionSpec walk;
        walk.name = "Walk";
        walk.directions = {DirectionSpec{{{0, 10}, {0, 11}}, {}, {}},
                           DirectionSpec{{{0, 10}}, {}, {}}};
        if (corrupt_) walk.directions.push_back(DirectionSpec{{{0, 13}}, {}, {}});
        ObjectSpec object;
        object.actions = {walk};
        ArchiveBuilder builder;
        builder.ImageBlock({}).ImageBlock(block).Object(object);
        archive_ = dir_.File("units.qxa");
        WriteFile(archive_, builder.Build());
        out_ = dir_.File("out");
    }

    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        if (!fs::exists(out_)) return names;
        for (const auto& e : fs::directory_iterator(out_)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    bool corrupt_ = false;
    TempDir dir_;
    std::string archive_;
    std::string out_;
};

TEST_F(SheetCommandTest, FlagsChooseTheModeAndTheFiles) {
    Outcome r = RunSheet({archive_, "-o", out_});
    ASSERT_EQ(r.exitCode, cli::kExitOk) << r.err;
    EXPECT_EQ(r.out, out_ + "/units.bmp\n" + out_ + "/units.dat\n");
    EXPECT_EQ(fs::file_size(out_ + "/units.dat"), 2 * 36u);  // duplicates removed

    r = RunSheet({archive_, "-o", out_, "--keep-duplicates", "--object", "0", "--action", "0",
                  "--direction", "1", "--no-dat", "--format", "png"});
    ASSERT_EQ(r.exitCode, cli::kExitOk) << r.err;
    EXPECT_EQ(r.out, out_ + "/Direction 1 (1 frames).png\n");
    const Picture picture = ReadPicture(out_ + "/Direction 1 (1 frames).png");
    EXPECT_EQ(picture.width, 3u);
    EXPECT_EQ(picture.height, 2u);

    r = RunSheet(
        {archive_, "-o", out_, "--images", "1,0,1", "--name", "seq.bmp", "--trans", "00FF00"});
    ASSERT_EQ(r.exitCode, cli::kExitOk) << r.err;
    EXPECT_EQ(fs::file_size(out_ + "/seq.dat"), 3 * 36u);

    r = RunSheet({archive_, "-o", out_, "--image", "1"});
    ASSERT_EQ(r.exitCode, cli::kExitOk) << r.err;
    EXPECT_EQ(Files(), (std::vector<std::string>{"Direction 1 (1 frames).png", "Image 1.bmp",
                                                 "seq.bmp", "seq.dat", "units.bmp", "units.dat"}));
}

TEST_F(SheetCommandTest, WrongSelectionsFailWithoutWriting) {
    EXPECT_EQ(RunSheet({archive_, "--action", "0"}).exitCode, cli::kExitUsage);
    EXPECT_EQ(RunSheet({archive_, "--object", "0", "--image", "1"}).exitCode, cli::kExitUsage);
    EXPECT_EQ(RunSheet({archive_, "--format", "gif"}).exitCode, cli::kExitUsage);

    Outcome r = RunSheet({archive_, "-o", out_, "--object", "3"});
    EXPECT_EQ(r.exitCode, cli::kExitFailure);
    EXPECT_EQ(r.err, "qxa: --object 3: the archive holds 1\n");
    r = RunSheet({archive_, "-o", out_, "--object", "0", "--action", "0", "--direction", "2"});
    EXPECT_EQ(r.exitCode, cli::kExitFailure);
    EXPECT_NE(r.err.find("--direction 2"), std::string::npos);
    r = RunSheet({archive_, "-o", out_, "--images", "0,7"});
    EXPECT_EQ(r.exitCode, cli::kExitFailure);
    r = RunSheet({archive_, "-o", out_, "--image", "2"});
    EXPECT_EQ(r.exitCode, cli::kExitFailure);
    EXPECT_EQ(r.err, "qxa: image 2 holds no data\n");
    EXPECT_TRUE(Files().empty());

    r = RunSheet({archive_, "-o", dir_.File("units.qxa/sub")});
    EXPECT_EQ(r.exitCode, cli::kExitFailure);
}

TEST_F(SheetCommandTest, UndecodableImagesGiveExitThree) {
    corrupt_ = true;
    SetUp();
    const Outcome r = RunSheet({archive_, "-o", out_});
    EXPECT_EQ(r.exitCode, cli::kExitSomeImagesFailed);
    EXPECT_NE(r.err.find("image 3 could not be decoded"), std::string::npos);
    EXPECT_EQ(Files(), (std::vector<std::string>{"units.bmp", "units.dat"}));
}

}  // namespace
}  // namespace pixhaul::testing
