// The qxa tool driven as a user drives it: the real binary, its output, exit codes and files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive_builder.h"
#include "qxa_process.h"

namespace pixhaul::testing {
namespace {

constexpr std::uint32_t kTrans = 0xFF00FF;  // as files show it: 0x00RRGGBB
const std::vector<std::string> kThreeImages = {"image-00000.png", "image-00001.png",
                                               "image-00002.png"};

// Block 0: one white thumbnail. Block 1 (palette 1 = red, 2 = green): a palette image 3 x 2 (odd
// width), a 15-bit image 3 x 1, a 24-bit image 2 x 2 and an empty entry; optionally a corrupt
// image. Two objects with named and unnamed actions.
std::vector<std::uint8_t> TestArchive(bool withCorruptImage = false, std::uint8_t version = 'T') {
    ImageBlockSpec thumbs;
    thumbs.palette[1] = 0x00FFFFFF;
    thumbs.images.push_back(
        {1, 2, 2, 259, {}, EncodeImage(259, 2, 2, [](int, int) { return 1u; }), {}});
    ImageBlockSpec block;
    block.palette[1] = 0x000000FF;
    block.palette[2] = 0x0000FF00;
    const std::uint32_t pal[2][3] = {{1, 0, 2}, {2, 2, 1}};
    const std::uint32_t c15[3] = {31u << 10, 0, 31};
    const std::uint32_t c24[2][2] = {{0x102030, 0}, {0xA0B0C0, 0x010203}};
    block.images = {
        {10, 3, 2, 259, {}, EncodeImage(259, 3, 2, [&](int x, int y) { return pal[y][x]; }), {}},
        {11, 3, 1, 518, {}, EncodeImage(518, 3, 1, [&](int x, int) { return c15[x]; }), {}},
        {12, 2, 2, 1028, {}, EncodeImage(1028, 2, 2, [&](int x, int y) { return c24[y][x]; }), {}}};
    if (withCorruptImage) block.images.push_back({13, 2, 1, 259, {}, {0x80, 0x01}, {}});
    block.images.push_back({14, 4, 4, 259, {}, {}, {}});
    const ActionSpec run{
        {DirectionSpec{{{0, 10}, {0, 11}}, {}, {}}, DirectionSpec{{{0, 12}}, {}, {}}},
        "Run",
        {},
        {}};
    const ActionSpec unnamed{{DirectionSpec{{{0, 10}}, {}, {}}}, "", {}, {}};
    const ActionSpec only{{DirectionSpec{{{0, 12}}, {}, {}}}, "", {}, {}};
    return ArchiveBuilder()
        .Version(version)
        .ImageBlock(thumbs)
        .ImageBlock(block)
        .Object({{run, unnamed}, {}})
        .Object({{only}, {}})
        .Build();
}

class QxaTest : public ::testing::Test {
  protected:
    std::string Archive(const std::vector<std::uint8_t>& bytes, const std::string& name = "a.qxa") {
        const std::string path = dir_.File(name);
        WriteFile(path, bytes);
        return path;
    }
    TempDir dir_;
};

TEST_F(QxaTest, MakeDemoReproducesTheCommittedDemoArchive) {
    const std::string out = dir_.File("demo.qxa");
    const ProcessResult made = RunProgram(PIXHAUL_MAKE_DEMO_BINARY, {out});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const std::string committed = ReadText(std::string(PIXHAUL_SOURCE_DIR) + "/samples/demo.qxa");
    ASSERT_FALSE(committed.empty());
    EXPECT_TRUE(ReadText(out) == committed) << "samples/demo.qxa is not what make_demo makes";
    EXPECT_EQ(RunProgram(PIXHAUL_MAKE_DEMO_BINARY, {}).exitCode, 2);
}

TEST_F(QxaTest, ListIndentsTheWindowsListTexts) {
    const std::string a = Archive(TestArchive());
    ProcessResult r = RunQxa({"list", a});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "Object 0 (2 actions)\n"
              "  Run (2 directions)\n"
              "    Direction 0 (2 frames)\n"
              "      Frame 0 (#1)\n"
              "      Frame 1 (#2)\n"
              "    Direction 1 (1 frames)\n"
              "      Frame 0 (#3)\n"
              "  Action 1 (1 directions)\n"
              "    Direction 0 (1 frames)\n"
              "      Frame 0 (#1)\n"
              "Object 1 (1 actions)\n"
              "  Action 0 (1 directions)\n"
              "    Direction 0 (1 frames)\n"
              "      Frame 0 (#3)\n");
    // With the thumbnails loaded first, every image number moves up by one.
    r = RunQxa({"list", a, "--thumbnails"});
    EXPECT_NE(r.out.find("      Frame 1 (#3)\n"), std::string::npos) << r.out;
}

TEST_F(QxaTest, ExtractWritesEveryImageAsTheWindowDrawsIt) {
    const std::string a = Archive(TestArchive());
    const std::string out = dir_.File("out/nested");
    const ProcessResult r = RunQxa({"extract", a, "-o", out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");                     // stderr is no terminal: no progress bar
    EXPECT_EQ(FileNames(out), kThreeImages);  // the empty entry has no file
    // The palette image's extra column is not written; black is transparent; 15-bit components
    // are 5 bits times 8.
    const std::vector<std::vector<std::uint32_t>> want = {
        {0xFF0000, kTrans, 0x00FF00, 0x00FF00, 0x00FF00, 0xFF0000},
        {0xF80000, kTrans, 0x0000F8},
        {0x102030, kTrans, 0xA0B0C0, 0x010203}};
    const std::uint32_t widths[] = {3, 3, 2};
    for (std::size_t i = 0; i < want.size(); ++i) {
        const Picture p = ReadPicture(out + "/" + kThreeImages[i]);
        ASSERT_EQ(p.width, widths[i]) << i;
        ASSERT_EQ(p.width * p.height, want[i].size()) << i;
        for (std::uint32_t k = 0; k < want[i].size(); ++k) {
            EXPECT_EQ(p.At(k % p.width, k / p.width), want[i][k]) << i << " pixel " << k;
        }
    }
    // As BMP with another transparent colour: the same pictures.
    const std::string bmp = dir_.File("bmp");
    ASSERT_EQ(
        RunQxa({"extract", a, "--output", bmp, "--format", "bmp", "--trans", "#0A0B0C"}).exitCode,
        0);
    const Picture fromBmp = ReadPicture(bmp + "/image-00002.bmp");
    EXPECT_EQ(fromBmp.At(1, 0), 0x0A0B0CU);
    EXPECT_EQ(fromBmp.At(0, 1), 0xA0B0C0U);
    EXPECT_EQ(ReadPicture(bmp + "/image-00000.bmp").At(2, 1), 0xFF0000U);
    // With thumbnails, block 0 comes first.
    ASSERT_EQ(RunQxa({"extract", a, "-o", dir_.File("t"), "--thumbnails"}).exitCode, 0);
    EXPECT_EQ(ReadPicture(dir_.File("t/image-00000.png")).At(0, 0), 0xFFFFFFU);
}

TEST_F(QxaTest, FilesThatCannotBeReadOrWrittenExitWithOne) {
    const std::string missing = dir_.File("missing.qxa");
    ProcessResult r = RunQxa({"info", missing});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "qxa: cannot open '" + missing + "': No such file or directory\n");

    const std::string text = Archive({'h', 'e', 'l', 'l', 'o', '!'}, "text.qxa");
    r = RunQxa({"extract", text, "-o", dir_.File("x")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "qxa: " + text + ": File version not known (and thus not supported!)\n");
    EXPECT_FALSE(std::filesystem::exists(dir_.File("x")));

    const std::string a = Archive(TestArchive());
    r = RunQxa({"extract", a, "-o", a + "/sub"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("qxa: cannot create folder '" + a + "/sub'", 0), 0U) << r.err;

    // What was written before a failed write stays; with one worker nothing after it (workers
    // may have finished the next few), and no temporary.
    const std::string out = dir_.File("w");
    std::filesystem::create_directories(out + "/image-00001.png/taken");
    r = RunQxa({"extract", a, "-o", out, "-j", "1"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "qxa: cannot write '" + out + "/image-00001.png': Is a directory\n");
    EXPECT_EQ(FileNames(out), (std::vector<std::string>{"image-00000.png", "image-00001.png"}));
}

TEST_F(QxaTest, ADamagedArchiveIsToldAndWhatWasReadIsUsed) {
    // Cut inside the object blocks: the images load, the loader says what was wrong.
    std::vector<std::uint8_t> bytes = TestArchive();
    bytes.resize(bytes.size() - 20);
    const std::string a = Archive(bytes);
    ProcessResult r = RunQxa({"info", a, "--json"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.out.find("\"images\": 4,"), std::string::npos) << r.out;
    EXPECT_EQ(r.err.rfind("qxa: " + a + ": ", 0), 0U) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    r = RunQxa({"list", a});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.out, "");
    // extract writes what it can, but the exit status tells that not everything was there.
    r = RunQxa({"extract", a, "-o", dir_.File("d")});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(FileNames(dir_.File("d")).size(), 3U);
}

}  // namespace
}  // namespace pixhaul::testing
