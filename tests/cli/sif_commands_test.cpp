// qxa sif and qxa sif-decode, run as a user runs them. (Their failures: bad_input_test.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "archive_builder.h"
#include "qxa_process.h"

namespace pixhaul::testing {
namespace {

const std::string kDemo = std::string(PIXHAUL_SOURCE_DIR) + "/samples/demo.qxa";

class SifCommandsTest : public ::testing::Test {
  protected:
    nlohmann::json Tables(const std::string& sif) {
        const ProcessResult r = RunQxa(
            {"sif-decode", sif, "-o", dir_.File("decoded.png"), "--json", dir_.File("t.json")});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        // Written as it is read, laid out as an indented dump of the document.
        const std::string text = ReadText(dir_.File("t.json"));
        EXPECT_EQ(text, nlohmann::json::parse(text).dump(2) + "\n");
        return nlohmann::json::parse(text);
    }
    TempDir dir_;
};

TEST_F(SifCommandsTest, WritesTheObjectAndDecodesItBackToTheSheet) {
    ProcessResult r = RunQxa({"sif", kDemo, "--object", "0", "-o", dir_.Path()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string sif = dir_.File("Object 0 (2 actions).sif");
    EXPECT_EQ(r.out, sif + "\n");
    ASSERT_TRUE(std::filesystem::exists(sif));

    const nlohmann::json tables = Tables(sif);
    EXPECT_EQ(tables["rle_kind"], 5);
    EXPECT_EQ(tables["back_color"], "FF00FF");
    EXPECT_EQ(tables["payload_form"], "coded");
    EXPECT_EQ(tables["actions"].size(), 2u);
    const Picture decoded = ReadPicture(dir_.File("decoded.png"));
    EXPECT_EQ(decoded.width, tables["sheet_width"].get<std::uint32_t>());
    EXPECT_EQ(decoded.height, tables["sheet_height"].get<std::uint32_t>());
    for (const auto& action : tables["actions"]) {
        for (const auto& direction : action["directions"]) {
            for (const auto& f : direction["frames"]) EXPECT_EQ(f["reserved"], 0);
        }
    }

    // BMP output too.
    r = RunQxa({"sif-decode", sif, "-o", dir_.File("decoded.bmp")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(ReadPicture(dir_.File("decoded.bmp")).rgb == decoded.rgb);
}

// An object of 2 directions of 3 frames of one 510 x 510 noise image: a 1530 x 1020 sheet of
// 4.5 MiB, which sif-decode writes in more than one band, whose rows end in two bytes of
// padding, and whose run-length stream (a record a pixel, 6 MiB) the Huffman stage hands over
// in several chunks.
void WriteNoiseArchive(const std::string& path) {
    ImageBlockSpec block;
    block.images.push_back(NoiseImage(1, 510, 7));
    ObjectSpec object;
    object.actions.resize(1);
    object.actions[0].directions.assign(2, DirectionSpec{{{0, 1}, {0, 1}, {0, 1}}, {}, {}});
    WriteFile(path, ArchiveBuilder().ImageBlock({}).ImageBlock(block).Object(object).Build());
}

TEST_F(SifCommandsTest, DecodingOnOneThreadOrTwoWritesTheSameAndFailsTheSame) {
    const std::string archive = dir_.File("noise.qxa");
    WriteNoiseArchive(archive);
    ASSERT_EQ(RunQxa({"sif", archive, "--object", "0", "--keep-duplicates", "-o", dir_.Path(),
                      "--name", "good"})
                  .exitCode,
              0);
    std::vector<std::uint8_t> bytes = ReadAll(dir_.File("good.sif"));
    bytes[bytes.size() * 2 / 3] ^= 0x5A;  // inside the payload
    WriteFile(dir_.File("bad.sif"), bytes);
    std::vector<ProcessResult> results;
    for (const std::string threads : {"1", "2"}) {
        setenv("PIXHAUL_THREADS", threads.c_str(), 1);
        for (const std::string name : {"good", "bad"}) {
            results.push_back(RunQxa({"sif-decode", dir_.File(name + ".sif"), "-o",
                                      dir_.File(name + threads + ".bmp")}));
        }
    }
    unsetenv("PIXHAUL_THREADS");
    EXPECT_EQ(results[0].exitCode, 0) << results[0].err;
    EXPECT_EQ(ReadAll(dir_.File("good1.bmp")), ReadAll(dir_.File("good2.bmp")));
    // The same bytes, padding included, as the sheet exported straight from the archive.
    ASSERT_EQ(RunQxa({"sheet", archive, "--object", "0", "--keep-duplicates", "--format", "bmp",
                      "--no-dat", "-o", dir_.Path(), "--name", "sheet"})
                  .exitCode,
              0);
    EXPECT_EQ(ReadAll(dir_.File("sheet.bmp")), ReadAll(dir_.File("good2.bmp")));
    // The PNG takes the bands in the other order.
    ASSERT_EQ(RunQxa({"sif-decode", dir_.File("good.sif"), "-o", dir_.File("good.png")}).exitCode,
              0);
    const Picture png = ReadPicture(dir_.File("good.png"));
    EXPECT_EQ(png.width, 1530u);
    EXPECT_TRUE(ReadPicture(dir_.File("good2.bmp")).rgb == png.rgb);
    EXPECT_EQ(results[1].exitCode, 1);
    EXPECT_EQ(results[3].err, results[1].err);
    EXPECT_FALSE(std::filesystem::exists(dir_.File("bad2.bmp")));
}

}  // namespace
}  // namespace pixhaul::testing
