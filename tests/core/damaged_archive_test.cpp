// Damaged archives of known shapes (random damage is the mutation test's): the load ends in
// order, sizes nothing by an unchecked count, keeps what was read completely and tells the user
// once what was wrong.
#include <gtest/gtest.h>

#include <limits>

#include "../../fuzz/targets/loader_target.h"
#include "archive/archive.h"
#include "archive_builder.h"
#include "recording_host.h"

namespace pixhaul::testing {
namespace {

ImageSpec Image(std::int32_t id, std::size_t streamLength) {
    ImageSpec image;
    image.id = id;
    image.width = 2;
    image.height = 2;
    image.type = 259;
    image.stream.assign(streamLength, 0x81);
    return image;
}

DirectionSpec Direction(std::vector<std::int32_t> ids) {
    DirectionSpec direction;
    for (std::int32_t id : ids) direction.frames.push_back({0, id});
    direction.extra = {1, 2, 3, 4};
    return direction;
}

// A small archive touching every structure: block 0 with a thumbnail, block 1 with two images,
// one object of two named actions with two directions each.
ArchiveBuilder SmallArchive() {
    ImageBlockSpec thumbs;
    thumbs.images.push_back(Image(90, 3));
    ImageBlockSpec block;
    block.images.push_back(Image(1, 5));
    block.images.push_back(Image(2, 7));
    ActionSpec walk;
    walk.name = "Walk";
    walk.directions = {Direction({1, 2}), Direction({2})};
    ActionSpec run;
    run.name = "Run";
    run.directions = {Direction({2, 1, 1}), Direction({})};
    ObjectSpec object;
    object.actions = {walk, run};
    ArchiveBuilder builder;
    builder.ImageBlock(thumbs).ImageBlock(block).Object(object);
    return builder;
}

class DamagedArchiveTest : public ::testing::Test {
  protected:
    LoadResult LoadBytes(const std::vector<std::uint8_t>& bytes) {
        host.messages.clear();
        // A new file each time: rewriting one in place makes the file system flush on close.
        path = dir.File("damaged" + std::to_string(++files) + ".qxa");
        WriteFile(path, bytes);
        const LoadResult result = LoadArchive(model, path, host);
        EXPECT_EQ(fuzz::CheckModel(model), "");
        if (result.status == LoadStatus::Loaded) {
            EXPECT_TRUE(host.messages.empty());
        } else {
            // Told once, under the program's name, with an OK button.
            EXPECT_EQ(host.messages.size(), 1u);
            if (!host.messages.empty()) {
                EXPECT_EQ(host.messages[0].title, kProgramName);
                EXPECT_EQ(host.messages[0].buttons, MessageButtons::Ok);
            }
            EXPECT_FALSE(result.problem.empty());
        }
        return result;
    }
    LoadResult Load(const ArchiveBuilder& builder) { return LoadBytes(builder.Build()); }
    std::string Told() const { return host.messages.empty() ? "" : host.messages[0].text; }

    TempDir dir;
    std::string path;
    int files = 0;
    RecordingHost host;
    ArchiveModel model;
};

TEST_F(DamagedArchiveTest, EveryPrefixLoadsWhatItHoldsCompletely) {
    host.SetOption(Option::LoadThumbnails, true);
    ArchiveBuilder builder = SmallArchive();
    const std::vector<std::uint8_t> whole = builder.Build();
    const auto offsets = builder.SectionOffsets();
    // Where each image entry ends: block 0's one, then block 1's two.
    const std::size_t thumbEnd = offsets[0] + 1036 + 28 + 3;
    const std::size_t firstEnd = offsets[1] + 1036 + 28 + 5;
    const std::size_t secondEnd = firstEnd + 28 + 7;

    // Inside a palette every cut is alike: there a few sizes stand for the rest.
    auto inPalette = [&](std::size_t size) {
        for (std::size_t block : {offsets[0], offsets[1]}) {
            if (size > block + 12 && size < block + 1028) return true;
        }
        return false;
    };
    for (std::size_t size = 0; size <= whole.size(); ++size) {
        if (inPalette(size) && size % 61 != 0) continue;
        SCOPED_TRACE(size);
        const std::vector<std::uint8_t> prefix(whole.begin(), whole.begin() + size);
        const LoadResult result = LoadBytes(prefix);
        if (size < 5) {
            EXPECT_EQ(result.status, LoadStatus::Rejected);
            continue;
        }
        EXPECT_EQ(result.status, size == whole.size() ? LoadStatus::Loaded : LoadStatus::Damaged);
        const std::size_t expected = (size >= thumbEnd) + (size >= firstEnd) + (size >= secondEnd);
        const std::size_t loaded = model.Images[0].Loaded ? model.Images.size() : 0;
        ASSERT_EQ(loaded, expected);
        EXPECT_EQ(host.LastCaption(), "Pixhaul: " + path);
    }
    // The whole file: two actions of two directions, six frames.
    EXPECT_EQ(model.Objects[0].ActionCount, 2);
    EXPECT_EQ(model.TotalFrames, 6);
}

TEST_F(DamagedArchiveTest, CutInsideAnActionKeepsItsCompleteDirections) {
    ArchiveBuilder builder = SmallArchive();
    std::vector<std::uint8_t> bytes = builder.Build();
    // Cut inside the second direction of "Run" (the empty one; its frame count is read, the
    // rest is missing): "Walk" whole, "Run" with its first direction and the default name.
    bytes.resize(bytes.size() - 4 /* NL */ - 4 - 3 /* "Run" */ - 20);
    EXPECT_EQ(LoadBytes(bytes).status, LoadStatus::Damaged);
    const ObjectRecord& object = model.Objects[0];
    ASSERT_EQ(object.ActionCount, 2);
    EXPECT_EQ(object.Actions[0].Name, "Walk");
    EXPECT_EQ(object.Actions[1].Name, "Action 1");
    EXPECT_EQ(object.Actions[1].DirectionCount, 1);
    EXPECT_EQ(object.Actions[1].Directions[0].FrameCount, 3);
    EXPECT_NE(Told().find("direction 1 of action 1 of object 0"), std::string::npos) << Told();
}

TEST_F(DamagedArchiveTest, HugeCountsAreCappedByTheBytesLeft) {
    for (std::uint32_t count : {0x80000000u, 0xFFFFFFFFu, 0x7FFFFFFFu, 1000u}) {
        SCOPED_TRACE(count);
        {
            ArchiveBuilder builder;
            ImageBlockSpec block;
            block.images = {Image(1, 4), Image(2, 4)};
            block.countOverride = count;
            builder.ImageBlock({}).ImageBlock(block).Object({});
            EXPECT_EQ(Load(builder).status, LoadStatus::Damaged);
            EXPECT_NE(Told().find(std::to_string(count) + " images"), std::string::npos);
            EXPECT_EQ(model.Images.size(), 2u);  // the two that are there
            EXPECT_LE(model.ImageTotal, 3);
        }
        {
            ObjectSpec object;
            object.actions.resize(2);
            object.actionCountOverride = count;
            ArchiveBuilder builder;
            builder.ImageBlock({}).ImageBlock({}).Object(object);
            EXPECT_EQ(Load(builder).status, LoadStatus::Damaged);
            EXPECT_EQ(model.Objects[0].ActionCount, 2);
        }
        {
            ActionSpec action;
            action.directions = {Direction({}), Direction({})};
            action.directionCountOverride = count;
            ArchiveBuilder builder;
            builder.ImageBlock({}).ImageBlock({}).Object({{action}, std::nullopt});
            EXPECT_EQ(Load(builder).status, LoadStatus::Damaged);
            ASSERT_EQ(model.Objects[0].ActionCount, 1);
            EXPECT_EQ(model.Objects[0].Actions[0].DirectionCount, 2);
        }
        {
            DirectionSpec direction = Direction({1, 1});
            direction.frameCountOverride = count;
            ActionSpec action;
            action.directions = {Direction({1}), direction};
            ArchiveBuilder builder;
            ImageBlockSpec block;
            block.images = {Image(1, 2)};
            builder.ImageBlock({}).ImageBlock(block).Object({{action}, std::nullopt});
            EXPECT_EQ(Load(builder).status, LoadStatus::Damaged);
            EXPECT_NE(Told().find(std::to_string(count) + " frames"), std::string::npos);
            ASSERT_EQ(model.Objects[0].ActionCount, 1);
            EXPECT_EQ(model.Objects[0].Actions[0].DirectionCount, 1);
            EXPECT_EQ(model.TotalFrames, 1);
        }
    }
}

TEST_F(DamagedArchiveTest, StreamLengthsPastTheEndOrNegative) {
    ImageBlockSpec block;
    block.images = {Image(1, 4), Image(2, 4), Image(3, 4)};
    ArchiveBuilder probe;
    probe.ImageBlock({}).ImageBlock(block).Object({});
    const std::size_t size = probe.Build().size();
    const std::size_t secondStream = probe.SectionOffsets()[1] + 1036 + 28 + 4 + 28;
    const auto oneTooMany = static_cast<std::int32_t>(size - secondStream + 1);

    for (std::int32_t length : {-1, -28, std::numeric_limits<std::int32_t>::min(),
                                std::numeric_limits<std::int32_t>::max(), oneTooMany}) {
        SCOPED_TRACE(length);
        block.images[1].lengthOverride = length;
        ArchiveBuilder builder;
        builder.ImageBlock({}).ImageBlock(block).Object({});
        EXPECT_EQ(Load(builder).status, LoadStatus::Damaged);
        EXPECT_NE(Told().find("stream length"), std::string::npos) << Told();
        EXPECT_EQ(model.Images.size(), 1u);
        EXPECT_EQ(model.Images[0].Id, 1);
        EXPECT_EQ(model.ObjectCount, 1);  // later blocks still load
    }
    // A length that reaches exactly to the end of the file is whole.
    ImageBlockSpec last;
    last.images = {Image(1, 4)};
    last.images[0].lengthOverride = 4 + 6;
    ArchiveBuilder builder;
    builder.Object({}).ImageBlock({}).ImageBlock(last).Filler(6, 0xAB);
    EXPECT_EQ(Load(builder).status, LoadStatus::Loaded);
    EXPECT_EQ(model.ImageBitmap(0).Stream().At(9), 0xAB);
    EXPECT_EQ(model.ImageBitmap(0).Stream().At(10), 0);
}

TEST_F(DamagedArchiveTest, FileWithoutTags) {
    ArchiveBuilder builder;
    builder.Filler(5000, 0x41);
    EXPECT_EQ(Load(builder).status, LoadStatus::Damaged);
    EXPECT_NE(Told().find("AGMI"), std::string::npos) << Told();
    EXPECT_FALSE(model.IsLoaded());
    EXPECT_EQ(model.Images.size(), 1u);
    EXPECT_EQ(model.Objects.size(), 1u);
    EXPECT_EQ(host.loadsFinished, 1);
    EXPECT_EQ(host.LastCaption(), "Pixhaul: " + path);

    // Images without any object block: the images load, the user hears of the missing objects.
    ImageBlockSpec block;
    block.images = {Image(1, 2)};
    ArchiveBuilder imagesOnly;
    imagesOnly.ImageBlock({}).ImageBlock(block);
    EXPECT_EQ(Load(imagesOnly).status, LoadStatus::Damaged);
    EXPECT_NE(Told().find("AnSt"), std::string::npos) << Told();
    EXPECT_TRUE(model.IsLoaded());
    EXPECT_EQ(model.ObjectCount, 0);
}

TEST_F(DamagedArchiveTest, UnknownAndDuplicateIds) {
    ImageBlockSpec block;
    block.images = {Image(5, 2), Image(6, 2), Image(5, 3)};
    ActionSpec action;
    action.directions = {Direction({5, 99, 6, -1})};
    ArchiveBuilder builder;
    builder.ImageBlock({}).ImageBlock(block).Object({{action}, std::nullopt});
    EXPECT_EQ(Load(builder).status, LoadStatus::Damaged);
    // The first problem in full, the others counted, all in one message.
    EXPECT_NE(Told().find("repeats the id 5"), std::string::npos) << Told();
    EXPECT_NE(Told().find("2 further problems"), std::string::npos) << Told();
    ASSERT_EQ(model.Images.size(), 3u);
    const auto& frames = model.Objects[0].Actions[0].Directions[0].Frames;
    EXPECT_EQ(frames[0].ImageIndex, 0);  // the first image with id 5 keeps it
    EXPECT_EQ(frames[1].ImageIndex, -1);
    EXPECT_EQ(frames[2].ImageIndex, 1);
    EXPECT_EQ(frames[3].ImageIndex, -1);
    EXPECT_EQ(FrameItemText(frames[1], 1), "Frame 1 (#0)");
    EXPECT_EQ(model.TotalFrames, 4);
}

TEST_F(DamagedArchiveTest, NameLengthPastTheEnd) {
    ActionSpec action;
    action.name = "Jump";
    action.nameLengthOverride = 5;
    ArchiveBuilder builder;
    builder.ImageBlock({}).ImageBlock({}).Object({{action}, std::nullopt});
    EXPECT_EQ(Load(builder).status, LoadStatus::Damaged);
    EXPECT_NE(Told().find("name"), std::string::npos);
    // An action cut short with no complete direction is dropped; the object stays.
    EXPECT_EQ(model.ObjectCount, 1);
    EXPECT_EQ(model.Objects[0].ActionCount, 0);
}

TEST_F(DamagedArchiveTest, OverlappingBlocksAreNotReadOverAndOver) {
    // Hundreds of object blocks, each claiming every action there could be, in front of a
    // megabyte of zeros that reads as empty actions: each block alone would read the whole
    // megabyte again.
    std::vector<std::uint8_t> head;
    for (int i = 0; i < 400; ++i)
        head.insert(head.end(), {'A', 'n', 'S', 't', 0xFF, 0xFF, 0xFF, 0x7F});
    ArchiveBuilder builder;
    builder.ImageBlock({}).ImageBlock({}).Raw(head).Filler(1 << 20, 0);
    const std::size_t size = builder.Build().size();
    EXPECT_EQ(Load(builder).status, LoadStatus::Damaged);
    std::size_t actions = 0;
    for (const ObjectRecord& object : model.Objects) actions += object.Actions.size();
    EXPECT_GT(actions, (1u << 20) / 16);  // the first block reads all it can
    EXPECT_LE(actions, (4 * size + 65536) / 16);
    EXPECT_NE(Told().find("further problems"), std::string::npos) << Told();
}

}  // namespace
}  // namespace pixhaul::testing
