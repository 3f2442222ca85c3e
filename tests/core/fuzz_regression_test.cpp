// The fuzz targets' own checks (fuzz/targets/), run in the ordinary build on well-formed inputs
// of every kind, which every target must pass, so that its checks stay honest about sound files.
// An input that makes a target fail is kept here byte for byte, with the fault it found, once
// the fault is mended; in the runs so far (six targets, ten minutes and more each) none has.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "../../fuzz/targets/export_target.h"
#include "../../fuzz/targets/huffman_targets.h"
#include "../../fuzz/targets/loader_target.h"
#include "../../fuzz/targets/render_target.h"
#include "../../fuzz/targets/sif_reader_target.h"
#include "archive/archive.h"
#include "archive_builder.h"
#include "export/sif_writer.h"

namespace pixhaul::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

ImageSpec Image(std::int32_t id, std::int16_t type, std::int16_t width, std::int16_t height) {
    ImageSpec image;
    image.id = id;
    image.type = type;
    image.width = width;
    image.height = height;
    image.stream = EncodeImage(type, width, height, [&](int x, int y) -> std::uint32_t {
        const std::uint32_t c = (x * 5 + y * 3) % 4 == 0 ? 0 : 0x21 + 9 * x + 17 * y;
        return type == 259 ? c & 0xFF : type == 518 ? c & 0x7FFF : c * 0x010305;
    });
    return image;
}

// Thumbnails and all three stream types with odd widths, two objects, one unknown image id.
Bytes MixedArchive(std::uint8_t firstByte) {
    ImageBlockSpec thumbs;
    thumbs.images.push_back(Image(50, 259, 3, 3));
    ImageBlockSpec block;
    for (std::uint32_t i = 1; i < 256; ++i) block.palette[i] = i * 0x030507u;
    block.images.push_back(Image(1, 259, 5, 4));
    block.images.push_back(Image(2, 518, 7, 3));
    block.images.push_back(Image(3, 1028, 3, 6));
    DirectionSpec a;
    a.frames = {{0, 1}, {0, 2}, {0, 3}, {0, 1}};
    DirectionSpec b;
    b.frames = {{0, 3}, {0, 77}};
    ActionSpec walk;
    walk.name = "Walk";
    walk.directions = {a, b};
    ObjectSpec first;
    first.actions = {walk};
    ActionSpec idle;
    idle.directions = {b};
    ObjectSpec second;
    second.actions = {idle};
    Bytes bytes =
        ArchiveBuilder().ImageBlock(thumbs).ImageBlock(block).Object(first).Object(second).Build();
    bytes[0] = firstByte;
    return bytes;
}

TEST(FuzzTargets, PassSoundArchivesThroughLoaderAndExports) {
    const fuzz::ScratchFolder scratch;
    ASSERT_TRUE(scratch.Ok());
    for (std::uint8_t firstByte : {'Q', 'P'}) {  // block 0 loaded, and not
        const Bytes mixed = MixedArchive(firstByte);
        EXPECT_EQ(fuzz::RunLoaderInput(mixed), "");
        EXPECT_EQ(fuzz::RunExportInput(mixed, scratch), "");
        for (std::uint8_t options = 0; options < 8; ++options) {
            Bytes withOptions = mixed;
            withOptions[1] = options;
            EXPECT_EQ(fuzz::RunExportInput(withOptions, scratch), "") << int{options};
        }
    }
    const Bytes minimal = MinimalArchive().Build();
    EXPECT_EQ(fuzz::RunLoaderInput(minimal), "");
    EXPECT_EQ(fuzz::RunExportInput(minimal, scratch), "");
    EXPECT_TRUE(scratch.Names().empty());
}

TEST(FuzzTargets, RenderAgreesWithThePlainDecoderOnEveryStreamType) {
    const std::int16_t types[] = {259, 518, 1028};
    for (std::uint8_t t = 0; t < 3; ++t) {
        for (std::int16_t width : {1, 2, 5, 40}) {
            const std::int16_t height = width == 40 ? 30 : 3;  // 40 x 30: a stream past 512 bytes
            const Bytes stream = Image(1, types[t], width, height).stream;
            for (std::uint8_t flags : {0, 4, 8, 4 | 8 | 16, 32, 64 | 32 | 4}) {
                EXPECT_EQ(
                    fuzz::RunRenderInput(fuzz::MakeRenderInput(static_cast<std::uint8_t>(t | flags),
                                                               types[t], width, height, stream)),
                    "")
                    << "type " << types[t] << " width " << width << " flags " << int{flags};
            }
        }
    }
    // An unknown type, a damaged stream, sizes Render refuses.
    EXPECT_EQ(fuzz::RunRenderInput(fuzz::MakeRenderInput(3, 7, 4, 4, Bytes{5, 0x83, 0x80, 2})), "");
    EXPECT_EQ(fuzz::RunRenderInput(fuzz::MakeRenderInput(2, 1028, -3, 4, Bytes{5, 1, 2, 3})), "");
    EXPECT_EQ(fuzz::RunRenderInput(fuzz::MakeRenderInput(0, 259, 4, 4, Bytes{})), "");
}

TEST(FuzzTargets, SifFilesOfTheWriterReadBackWhole) {
    const TempDir temp;
    WriteFile(temp.File("mixed.qxa"), MixedArchive('Q'));
    QuietHost host;
    ArchiveModel model;
    Settings settings;
    settings.ArchivePath = temp.File("mixed.qxa");
    settings.ExportFolder = temp.Path() + "/";
    LoadArchive(model, settings.ArchivePath, host);
    const SifExportResult sif = ExportSif(model, settings, host, 0);
    ASSERT_EQ(sif.status, SifExportStatus::Written);
    std::ifstream in(sif.path, std::ios::binary);
    const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(fuzz::RunSifReaderInput(file), "");
    // The payload, which follows the tables and the image section's head.
    ASSERT_GT(file.size(), kSifHeaderSize);
    const std::size_t payload = GetLE32(file.data() + kSifImagePosOffset) - 1 + kSifImageHeaderSize;
    ASSERT_LT(payload, file.size());
    EXPECT_TRUE(
        HuffmanDecode(Bytes(file.begin() + static_cast<std::ptrdiff_t>(payload), file.end())).ok());
    EXPECT_EQ(fuzz::RunHuffmanDecodeInput(
                  Bytes(file.begin() + static_cast<std::ptrdiff_t>(payload), file.end())),
              "");
}

TEST(FuzzTargets, HuffmanBlocksRoundTrip) {
    const std::string text = "sprite sheets, sprite sheets and their lookup tables";
    Bytes every(256);
    for (int i = 0; i < 256; ++i) every[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    for (const Bytes& source : {Bytes(text.begin(), text.end()), Bytes{}, Bytes(9, 0x48), every}) {
        EXPECT_EQ(fuzz::RunHuffmanRoundTripInput(source), "");
        EXPECT_EQ(fuzz::RunHuffmanDecodeInput(HuffmanEncoded(source)), "");
    }
}

}  // namespace
}  // namespace pixhaul::testing
