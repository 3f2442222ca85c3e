// Every export agrees on which images failed, and refuses output beyond its budget.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "archive_builder.h"
#include "export/output_budget.h"
#include "qxa_process.h"
#include "recording_host.h"

namespace pixhaul::testing {
namespace {

namespace fs = std::filesystem;

// Image 0: 2 x 1 red; image 1: a negative width; image 2: over the size cap; image 3: a
// corrupt stream after one red pixel. The object's direction shows images 0 and 1.
class ImageOutcomeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ImageBlockSpec block;
        block.palette[1] = 0x000000FF;
        const std::vector<std::uint8_t> red = {0x02, 0x01, 0x00};
        block.images = {{10, 2, 1, 259, {}, red, {}},
                        {11, -4, 3, 259, {}, red, {}},
                        {12, 4097, 4097, 259, {}, red, {}},
                        {13, 2, 1, 259, {}, {0x81, 0x01, 0x80, 0x00}, {}}};
        ActionSpec action;
        action.directions = {DirectionSpec{{{0, 10}, {0, 11}}, {}, {}}};
        ArchiveBuilder builder;
        builder.ImageBlock({}).ImageBlock(block).Object(ObjectSpec{{action}, {}});
        WriteFile(archive_, builder.Build());
    }
    ProcessResult Run(std::vector<std::string> args) {
        args.insert(args.begin() + 1, archive_);
        return RunQxa(args);
    }
    std::size_t FilesIn(const std::string& folder) const {
        if (!fs::exists(folder)) return 0;
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {}));
    }

    TempDir dir_;
    std::string archive_ = dir_.File("a.qxa");
    std::string out_ = dir_.File("out");
};

TEST_F(ImageOutcomeTest, AnUndecodableSizeFailsEveryExport) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"sheet", "-o", out_, "--object", "0"},
          {"sif", "-o", out_, "--object", "0"},
          {"extract", "-o", out_}}) {
        const ProcessResult r = Run(args);
        EXPECT_EQ(r.exitCode, 3) << args[0] << ": " << r.err;
        EXPECT_NE(r.err.find("image 1 "), std::string::npos) << args[0] << ": " << r.err;
    }
    fs::remove_all(out_);
    const ProcessResult single = Run({"sheet", "-o", out_, "--image", "2"});
    EXPECT_EQ(single.exitCode, 3) << single.err;
    EXPECT_EQ(FilesIn(out_), 0u);
}

TEST_F(ImageOutcomeTest, ExtractWritesTheDecodedPartOfACorruptImage) {
    const ProcessResult r = Run({"extract", "-o", out_});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("image 3 written only as far as it decodes"), std::string::npos) << r.err;
    const Picture picture = ReadPicture(out_ + "/image-00003.png");
    ASSERT_EQ(picture.width, 2u);
    EXPECT_EQ(picture.At(0, 0), 0xFF0000u);
}

TEST_F(ImageOutcomeTest, OutputOverThePixelBudgetIsRefusedBeforeWriting) {
    fs::create_directory(dir_.File("s"));
    ASSERT_EQ(Run({"sif", "-o", dir_.File("s"), "--object", "0"}).exitCode, 3);
    const std::string sif =
        dir_.File("s/") + fs::directory_iterator(dir_.File("s"))->path().filename().string();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"sheet", "-o", out_, "--max-pixels", "1"},
          {"sif", "-o", out_, "--object", "0", "--max-pixels", "1"},
          {"extract", "-o", out_, "--max-pixels", "1"}}) {
        const ProcessResult r = Run(args);
        EXPECT_EQ(r.exitCode, 1) << args[0];
        EXPECT_NE(r.err.find("--max-pixels"), std::string::npos) << args[0] << ": " << r.err;
        EXPECT_EQ(FilesIn(out_), 0u) << args[0];
    }
    const ProcessResult r = RunQxa({"sif-decode", sif, "-o", out_ + ".bmp", "--max-pixels", "1"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_FALSE(fs::exists(out_ + ".bmp"));
}

TEST(OutputBudgetTest, FreeSpaceRefusesExactSizesAndEstimatesUnlessForced) {
    OutputBudget budget;
    budget.freeSpace = [](const std::string&) { return std::optional<std::uint64_t>(1000); };
    EXPECT_EQ(BmpFileBytes(3, 2), 54u + 2 * 12);
    EXPECT_TRUE(OverBudget({"d/a.bmp", 300, 999, true}, budget).empty());
    EXPECT_NE(OverBudget({"d/a.bmp", 400, 1001, true}, budget).find("d/a.bmp"), std::string::npos);
    EXPECT_FALSE(OverBudget({"d/a.png", 400, 1001, false}, budget).empty());
    budget.force = true;
    EXPECT_TRUE(OverBudget({"d/a.png", 400, 1001, false}, budget).empty());
    EXPECT_FALSE(OverBudget({"d/a.bmp", 400, 1001, true}, budget).empty());
}

TEST(OutputBudgetTest, TheWindowAsksWhereTheToolRefuses) {
    OutputBudget budget;
    budget.maxPixels = 1;
    const PlannedOutput sheet{"a.bmp", 2, 60, true};
    for (const auto& [ask, answer, goesOn] :
         {std::tuple{true, MessageResult::Yes, true}, std::tuple{true, MessageResult::No, false},
          std::tuple{false, MessageResult::Yes, false}}) {
        RecordingHost host;
        host.answer = answer;
        budget.ask = ask;
        EXPECT_EQ(ClearedByBudget(sheet, budget, host), goesOn);
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].buttons, ask ? MessageButtons::YesNo : MessageButtons::Ok);
    }
}

}  // namespace
}  // namespace pixhaul::testing
