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

// Block 0: one thumbnail. Block 1 (palette 1 = red, 2 = green): a palette image 3 x 2 (odd
// width), a 15-bit image 3 x 1, a 24-bit image 2 x 2 and an empty entry; optionally a corrupt
// image. Two objects with named and unnamed actions.
std::vector<std::uint8_t> TestArchive(bool withCorruptImage = false, std::uint8_t version = 'T') {
    ImageBlockSpec thumbs;
    thumbs.palette[1] = 0x00FFFFFF;
    thumbs.images.push_back(
        {1, 2, 2, 259, {}, EncodeImage(259, 2, 2, [](int, int) { return 1u; }), {}});

    ImageBlockSpec block;
    block.palette[1] = 0x000000FF;  // red
    block.palette[2] = 0x0000FF00;  // green
    const std::uint32_t pal[2][3] = {{1, 0, 2}, {2, 2, 1}};
    block.images.push_back({10,
                            3,
                            2,
                            259,
                            {1, 2, 3, 4},
                            EncodeImage(259, 3, 2, [&](int x, int y) { return pal[y][x]; }),
                            {}});
    const std::uint32_t c15[3] = {31u << 10, 0, 31};
    block.images.push_back(
        {11, 3, 1, 518, {}, EncodeImage(518, 3, 1, [&](int x, int) { return c15[x]; }), {}});
    const std::uint32_t c24[2][2] = {{0x102030, 0}, {0xA0B0C0, 0x010203}};
    block.images.push_back(
        {12, 2, 2, 1028, {}, EncodeImage(1028, 2, 2, [&](int x, int y) { return c24[y][x]; }), {}});
    if (withCorruptImage) block.images.push_back({13, 2, 1, 259, {}, {0x80, 0x01}, {}});
    block.images.push_back({14, 4, 4, 259, {}, {}, {}});

    ActionSpec run;
    run.name = "Run";
    run.directions = {DirectionSpec{{{0, 10}, {0, 11}}, {}, {}}, DirectionSpec{{{0, 12}}, {}, {}}};
    ActionSpec unnamed;
    unnamed.directions = {DirectionSpec{{{0, 10}}, {}, {}}};
    ObjectSpec first;
    first.actions = {run, unnamed};
    ActionSpec only;
    only.directions = {DirectionSpec{{{0, 12}}, {}, {}}};
    ObjectSpec second;
    second.actions = {only};

    ArchiveBuilder builder;
    builder.Version(version).ImageBlock(thumbs).ImageBlock(block).Object(first).Object(second);
    return builder.Build();
}

class QxaTest : public ::testing::Test {
  protected:
    std::string Archive(const std::vector<std::uint8_t>& bytes, const std::string& name = "a.qxa") {
        const std::string path = dir_.File(name);
        WriteFile(path, bytes);
        return path;
    }
    std::vector<std::string> Files(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(folder)) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
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
    EXPECT_LT(committed.size(), 1U << 20);

    EXPECT_EQ(RunProgram(PIXHAUL_MAKE_DEMO_BINARY, {}).exitCode, 2);
}

TEST_F(QxaTest, InfoOfTheDemoArchive) {
    const ProcessResult r =
        RunQxa({"info", std::string(PIXHAUL_SOURCE_DIR) + "/samples/demo.qxa", "--json"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "{\"version\": 84, \"image_blocks\": 3, \"images\": 54, \"objects\": 3, "
              "\"total_frames\": 58, \"types\": {\"259\": 40, \"518\": 8, \"1028\": 6}}\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(QxaTest, InfoCountsWhatWasLoaded) {
    const std::string a = Archive(TestArchive(false, 'U'));
    ProcessResult r = RunQxa({"info", a, "--json"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "{\"version\": 85, \"image_blocks\": 2, \"images\": 4, \"objects\": 2, "
              "\"total_frames\": 5, \"types\": {\"259\": 2, \"518\": 1, \"1028\": 1}}\n");
    r = RunQxa({"info", "--thumbnails", "--json", a});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\"images\": 5,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"259\": 3,"), std::string::npos) << r.out;
    r = RunQxa({"info", a});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("Images:       4\n"), std::string::npos) << r.out;
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
    EXPECT_EQ(r.err, "");  // stderr is no terminal: no progress bar
    // The empty entry (index 3) has no file.
    EXPECT_EQ(Files(out),
              (std::vector<std::string>{"image-00000.png", "image-00001.png", "image-00002.png"}));

    // Palette image, 3 wide: the stream's extra column is not written; black is transparent.
    const Picture p = ReadPicture(out + "/image-00000.png");
    ASSERT_EQ(p.width, 3U);
    ASSERT_EQ(p.height, 2U);
    EXPECT_EQ(p.At(0, 0), 0xFF0000U);
    EXPECT_EQ(p.At(1, 0), kTrans);
    EXPECT_EQ(p.At(2, 0), 0x00FF00U);
    EXPECT_EQ(p.At(0, 1), 0x00FF00U);
    EXPECT_EQ(p.At(2, 1), 0xFF0000U);

    // 15-bit image, 3 wide: components are 5 bits times 8.
    const Picture q = ReadPicture(out + "/image-00001.png");
    ASSERT_EQ(q.width, 3U);
    ASSERT_EQ(q.height, 1U);
    EXPECT_EQ(q.At(0, 0), 0xF80000U);
    EXPECT_EQ(q.At(1, 0), kTrans);
    EXPECT_EQ(q.At(2, 0), 0x0000F8U);

    const Picture t = ReadPicture(out + "/image-00002.png");
    ASSERT_EQ(t.width, 2U);
    EXPECT_EQ(t.At(0, 0), 0x102030U);
    EXPECT_EQ(t.At(1, 0), kTrans);
    EXPECT_EQ(t.At(0, 1), 0xA0B0C0U);
    EXPECT_EQ(t.At(1, 1), 0x010203U);
}

TEST_F(QxaTest, ExtractAsBmpWithAnotherTransparentColour) {
    const std::string a = Archive(TestArchive());
    const std::string png = dir_.File("png");
    const std::string bmp = dir_.File("bmp");
    ASSERT_EQ(RunQxa({"extract", a, "-o", png, "--trans", "0a0B0c"}).exitCode, 0);
    const ProcessResult r =
        RunQxa({"extract", a, "--output", bmp, "--format", "bmp", "--trans", "#0A0B0C"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Files(bmp),
              (std::vector<std::string>{"image-00000.bmp", "image-00001.bmp", "image-00002.bmp"}));
    for (int i = 0; i < 3; ++i) {
        const std::string name = "/image-0000" + std::to_string(i);
        const Picture fromBmp = ReadPicture(bmp + name + ".bmp");
        const Picture fromPng = ReadPicture(png + name + ".png");
        EXPECT_EQ(fromBmp.width, fromPng.width);
        EXPECT_EQ(fromBmp.rgb, fromPng.rgb) << name;
    }
    EXPECT_EQ(ReadPicture(bmp + "/image-00000.bmp").At(1, 0), 0x0A0B0CU);
}

TEST_F(QxaTest, ExtractWithThumbnailsNumbersFromBlockZero) {
    const std::string a = Archive(TestArchive());
    const std::string out = dir_.File("t");
    ASSERT_EQ(RunQxa({"extract", a, "-o", out, "--thumbnails"}).exitCode, 0);
    EXPECT_EQ(Files(out).size(), 4U);
    EXPECT_EQ(ReadPicture(out + "/image-00000.png").At(0, 0), 0xFFFFFFU);
    EXPECT_EQ(ReadPicture(out + "/image-00001.png").width, 3U);
}

TEST_F(QxaTest, ACorruptImageIsNamedAndTheOthersAreStillWritten) {
    const std::string a = Archive(TestArchive(true));
    const std::string out = dir_.File("c");
    const ProcessResult r = RunQxa({"extract", a, "-o", out});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.err, "qxa: image 3 written only as far as it decodes (stream corrupt): " + out +
                         "/image-00003.png\n");
    EXPECT_EQ(Files(out).size(), 4U);
}

TEST_F(QxaTest, UsageErrorsExitWithTwo) {
    const std::string a = Archive(TestArchive());
    const std::string out = dir_.File("never");
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate", a},
        {"info"},
        {"info", a, "--bogus"},
        {"extract", a},
        {"extract", a, "-o", out, "--trans", "FF00F"},
        {"extract", a, "-o", out, "--trans", "GG0000"},
        {"extract", a, "-o", out, "--format", "gif"},
    };
    for (const auto& args : cases) {
        const ProcessResult r = RunQxa(args);
        std::string line;
        for (const auto& s : args) line += s + " ";
        EXPECT_EQ(r.exitCode, 2) << line;
        EXPECT_EQ(r.err.rfind("qxa: ", 0), 0U) << line << r.err;
        EXPECT_EQ(r.out, "") << line;
    }
    EXPECT_FALSE(std::filesystem::exists(out));

    const ProcessResult help = RunQxa({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("extract"), std::string::npos);
}

TEST_F(QxaTest, FilesThatCannotBeLoadedExitWithOne) {
    const std::string missing = dir_.File("missing.qxa");
    ProcessResult r = RunQxa({"info", missing});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "qxa: cannot open '" + missing + "': No such file or directory\n");

    r = RunQxa({"list", dir_.Path()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Is a directory"), std::string::npos) << r.err;

    const std::string text = Archive({'h', 'e', 'l', 'l', 'o', '!'}, "text.qxa");
    r = RunQxa({"extract", text, "-o", dir_.File("x")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "qxa: " + text + ": File version not known (and thus not supported!)\n");
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(std::filesystem::exists(dir_.File("x")));
}

TEST_F(QxaTest, AnOutputFolderThatCannotBeMadeExitsWithOne) {
    const std::string a = Archive(TestArchive());
    const ProcessResult r = RunQxa({"extract", a, "-o", a + "/sub"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("qxa: cannot create folder '" + a + "/sub'", 0), 0U) << r.err;
}

TEST_F(QxaTest, ADamagedArchiveIsToldAndWhatWasReadIsUsed) {
    // Cut inside the object blocks: the images load, the loader says what was wrong.
    std::vector<std::uint8_t> bytes = TestArchive();
    bytes.resize(bytes.size() - 20);
    const std::string a = Archive(bytes);
    ProcessResult r = RunQxa({"info", a, "--json"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("\"images\": 4,"), std::string::npos) << r.out;
    EXPECT_EQ(r.err.rfind("qxa: " + a + ": ", 0), 0U) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;

    // extract writes what it can, but the exit status tells that not everything was there.
    r = RunQxa({"extract", a, "-o", dir_.File("d")});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(Files(dir_.File("d")).size(), 3U);
}

TEST_F(QxaTest, AFileThatCannotBeWrittenStopsTheExtractWithOne) {
    const std::string a = Archive(TestArchive());
    const std::string out = dir_.File("w");
    std::filesystem::create_directories(out + "/image-00001.png/taken");
    const ProcessResult r = RunQxa({"extract", a, "-o", out});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "qxa: cannot write '" + out + "/image-00001.png': Is a directory\n");
    // What was written before stays; nothing after it is written, no temporary file is left.
    EXPECT_EQ(Files(out), (std::vector<std::string>{"image-00000.png", "image-00001.png"}));
}

}  // namespace
}  // namespace pixhaul::testing
