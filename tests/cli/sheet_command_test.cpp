// qxa sheet: flags to export modes, index checks, exit codes and the files written.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive_builder.h"
#include "qxa_process.h"

namespace pixhaul::testing {
namespace {

namespace fs = std::filesystem;

class SheetCommandTest : public ::testing::Test {
  protected:
    // Images 0 (3 x 2, palette), 1 (2 x 4, 24-bit), 2 (no data), optionally 3 (corrupt); one
    // action "Walk" with directions {0, 1} and {0} (and {3}).
    void Make(bool corrupt) {
        ImageBlockSpec block;
        block.palette[1] = 0x000000FF;
        block.images = {
            {10, 3, 2, 259, {}, EncodeImage(259, 3, 2, [](int, int) { return 1u; }), {}},
            {11, 2, 4, 1028, {}, EncodeImage(1028, 2, 4, [](int, int) { return 0x102030u; }), {}},
            {12, 4, 4, 259, {}, {}, {}}};
        ActionSpec walk{
            {DirectionSpec{{{0, 10}, {0, 11}}, {}, {}}, DirectionSpec{{{0, 10}}, {}, {}}},
            "Walk",
            {},
            {}};
        if (corrupt) {
            block.images.push_back({13, 2, 1, 259, {}, {0x80, 0x01}, {}});
            walk.directions.push_back(DirectionSpec{{{0, 13}}, {}, {}});
        }
        WriteFile(archive_,
                  ArchiveBuilder().ImageBlock({}).ImageBlock(block).Object({{walk}, {}}).Build());
    }
    void SetUp() override { Make(false); }

    ProcessResult Sheet(std::vector<std::string> args) {
        args.insert(args.begin(), {"sheet", archive_});
        return RunQxa(args);
    }

    TempDir dir_;
    std::string archive_ = dir_.File("units.qxa");
    std::string out_ = dir_.File("out");
};

TEST_F(SheetCommandTest, FlagsChooseTheModeAndTheFiles) {
    ProcessResult r = Sheet({"-o", out_});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, out_ + "/units.bmp\n" + out_ + "/units.dat\n");
    EXPECT_EQ(fs::file_size(out_ + "/units.dat"), 2 * 36u);  // duplicates removed

    r = Sheet({"-o", out_, "--keep-duplicates", "--object", "0", "--action", "0", "--direction",
               "1", "--no-dat", "--format", "png"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, out_ + "/Object 0 (1 actions) - Direction 1 (1 frames).png\n");
    const Picture picture =
        ReadPicture(out_ + "/Object 0 (1 actions) - Direction 1 (1 frames).png");
    EXPECT_EQ(picture.width * 10 + picture.height, 32u);

    r = Sheet({"-o", out_, "--images", "1,0,1", "--name", "seq.bmp", "--trans", "00FF00"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(fs::file_size(out_ + "/seq.dat"), 3 * 36u);

    ASSERT_EQ(Sheet({"-o", out_, "--image", "1"}).exitCode, 0);
    EXPECT_EQ(FileNames(out_),
              (std::vector<std::string>{"Image 1.bmp",
                                        "Object 0 (1 actions) - Direction 1 (1 frames).png",
                                        "seq.bmp", "seq.dat", "units.bmp", "units.dat"}));
}

TEST_F(SheetCommandTest, WrongSelectionsFailWithoutWriting) {
    struct Case {
        std::vector<std::string> args;
        std::string err;  // "" : only the exit status is checked
    };
    const Case cases[] = {
        {{"--object", "3"}, "qxa: --object 3: the archive holds 1\n"},
        {{"--object", "0", "--action", "0", "--direction", "2"}, ""},
        {{"--images", "0,7"}, ""},
        {{"--images", "2,2"}, ""},  // images without data: nothing to export
        {{"--image", "2"}, "qxa: image 2 holds no data\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"-o", out_};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProcessResult r = Sheet(args);
        EXPECT_EQ(r.exitCode, 1) << c.args[0];
        if (!c.err.empty()) {
            EXPECT_EQ(r.err, c.err);
        }
    }
    EXPECT_TRUE(FileNames(out_).empty());
    EXPECT_EQ(Sheet({"-o", dir_.File("units.qxa/sub")}).exitCode, 1);
}

}  // namespace
}  // namespace pixhaul::testing
