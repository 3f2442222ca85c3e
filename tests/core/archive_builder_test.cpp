// The builder is what every archive test stands on: check the bytes it writes against the layout
// by hand, so that a fault in it cannot hide the same fault in the loader.
#include "archive_builder.h"

#include <gtest/gtest.h>

#include <cstring>

#include "test_files.h"

namespace pixhaul::testing {
namespace {

std::uint32_t U32At(const std::vector<std::uint8_t>& b, std::size_t at) {
    return Le32(b, at);
}
std::uint16_t U16At(const std::vector<std::uint8_t>& b, std::size_t at) {
    return Le16(b, at);
}

TEST(ArchiveBuilderTest, WritesTheMinimalArchiveLayout) {
    ImageBlockSpec thumbs;
    ImageBlockSpec block;
    block.palette[5] = 0x0000FF;
    block.images.push_back({7, 3, 2, 259, {1, 2, 3, 4}, {0x82, 5, 6}, std::nullopt});
    ObjectSpec object;
    object.actions.push_back(
        {{{{{9, 7}}, {11, 12, 13, 14}, std::nullopt}}, "", std::nullopt, std::nullopt});

    ArchiveBuilder builder;
    builder.ImageBlock(thumbs).ImageBlock(block).Object(object);
    const auto bytes = builder.Build();

    EXPECT_EQ(bytes[4], 'T');
    const auto offsets = builder.SectionOffsets();
    ASSERT_EQ(offsets.size(), 3u);
    EXPECT_EQ(offsets[0], 9u);
    EXPECT_EQ(offsets[1], 1045u + 4u);  // block 0 is 1040 bytes from its tag
    EXPECT_EQ(std::memcmp(&bytes[5], "AGMI", 4), 0);
    EXPECT_EQ(std::memcmp(&bytes[1045], "AGMI", 4), 0);

    const std::size_t b1 = offsets[1];
    EXPECT_EQ(U32At(bytes, b1 + 8 + 5 * 4), 0x0000FFu);
    EXPECT_EQ(U32At(bytes, b1 + 1032), 1u);
    const std::size_t entry = b1 + 1036;
    EXPECT_EQ(U32At(bytes, entry), 7u);
    EXPECT_EQ(U32At(bytes, entry + 10), 3u);  // L
    EXPECT_EQ(U16At(bytes, entry + 14), 3u);  // width first
    EXPECT_EQ(U16At(bytes, entry + 16), 2u);  // then height
    EXPECT_EQ(U16At(bytes, entry + 18), 259u);
    EXPECT_EQ(U16At(bytes, entry + 26), 4u);
    EXPECT_EQ(bytes[entry + 28], 0x82);

    const std::size_t obj = offsets[2];
    EXPECT_EQ(std::memcmp(&bytes[obj - 4], "AnSt", 4), 0);
    EXPECT_EQ(obj, entry + 28 + 3 + 4);
    EXPECT_EQ(U32At(bytes, obj), 1u);           // A
    EXPECT_EQ(U32At(bytes, obj + 8), 1u);       // D
    EXPECT_EQ(U32At(bytes, obj + 16), 1u);      // F
    EXPECT_EQ(U32At(bytes, obj + 20), 9u);      // frame extra
    EXPECT_EQ(U32At(bytes, obj + 24), 7u);      // frame image id
    EXPECT_EQ(U32At(bytes, obj + 32), 11u);     // direction Extra1
    EXPECT_EQ(U32At(bytes, obj + 48 + 8), 0u);  // name length
    EXPECT_EQ(bytes.size(), obj + 60);
}

TEST(ArchiveBuilderTest, OverridesReplaceCountsAndLengths) {
    ImageBlockSpec block;
    block.images.push_back({1, 1, 1, 259, {}, {1, 2}, -5});
    block.countOverride = 0x80000000u;
    ObjectSpec object;
    object.actions.push_back({{}, "Walk", 99, 7});
    ArchiveBuilder builder;
    builder.ImageBlock(block).Object(object);
    const auto bytes = builder.Build();
    const auto offsets = builder.SectionOffsets();
    EXPECT_EQ(U32At(bytes, offsets[0] + 1032), 0x80000000u);
    EXPECT_EQ(static_cast<std::int32_t>(U32At(bytes, offsets[0] + 1036 + 10)), -5);
    EXPECT_EQ(U32At(bytes, offsets[1] + 8), 7u);
    EXPECT_EQ(U32At(bytes, offsets[1] + 16), 99u);
    EXPECT_EQ(std::memcmp(&bytes[offsets[1] + 20], "Walk", 4), 0);
}

TEST(ArchiveBuilderTest, EncodesRunsAndLiterals) {
    // Runs of two or more, literals between them, 127 at most per packet.
    EXPECT_EQ(EncodePackets({5, 5, 5, 1, 2, 3, 3}, 1),
              (std::vector<std::uint8_t>{3, 5, 0x82, 1, 2, 2, 3}));
    EXPECT_EQ(EncodePackets({0x123456}, 3), (std::vector<std::uint8_t>{0x81, 0x56, 0x34, 0x12}));
    EXPECT_EQ(EncodePackets({0x7FFF, 0x7FFF}, 2), (std::vector<std::uint8_t>{2, 0xFF, 0x7F}));
    const auto long_run = EncodePackets(std::vector<std::uint32_t>(300, 9), 1);
    EXPECT_EQ(long_run, (std::vector<std::uint8_t>{127, 9, 127, 9, 46, 9}));
    std::vector<std::uint32_t> distinct(130);
    for (std::uint32_t i = 0; i < 130; ++i) distinct[i] = i;
    const auto literal = EncodePackets(distinct, 1);
    ASSERT_EQ(literal.size(), 132u);
    EXPECT_EQ(literal[0], 128 + 127);
    EXPECT_EQ(literal[128], 128 + 3);
}

TEST(ArchiveBuilderTest, OddWidthsCarryTheExtraColumnExceptFifteenBit) {
    auto pixel = [](int x, int y) { return static_cast<std::uint32_t>(10 * y + x); };
    // 3 wide, 1 high palette image: 0 1 2 and a repeated 2.
    EXPECT_EQ(EncodeImage(259, 3, 1, pixel), (std::vector<std::uint8_t>{0x82, 0, 1, 2, 2}));
    EXPECT_EQ(EncodeImage(518, 3, 1, pixel), (std::vector<std::uint8_t>{0x83, 0, 0, 1, 0, 2, 0}));
    EXPECT_EQ(StreamRowWidth(1028, 5), 6);
    EXPECT_EQ(StreamRowWidth(518, 5), 5);
}

}  // namespace
}  // namespace pixhaul::testing
