// LoadArchive, ResetArchive and ReadBlockPalette on well-formed and damaged archives.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <tuple>

#include "../../fuzz/targets/loader_target.h"
#include "archive/archive.h"
#include "archive/byte_window.h"
#include "archive_builder.h"
#include "platform/archive_file.h"
#include "recording_host.h"

namespace pixhaul::testing {
namespace {

ImageSpec Image(std::int32_t id, std::vector<std::uint8_t> stream = {0x02, 0x01}) {
    ImageSpec image;
    image.id = id;
    image.width = 2;
    image.height = 1;
    image.type = 259;
    image.stream = std::move(stream);
    return image;
}

ImageBlockSpec Block(std::int32_t firstId, int count) {
    ImageBlockSpec block;
    for (int i = 0; i < count; ++i) block.images.push_back(Image(firstId + i));
    return block;
}

// One object, one action, one direction with a frame per id.
ObjectSpec ObjectOf(std::vector<std::int32_t> ids, std::string name = "") {
    DirectionSpec direction;
    for (std::int32_t id : ids) direction.frames.push_back({0, id});
    ActionSpec action;
    action.directions.push_back(direction);
    action.name = std::move(name);
    ObjectSpec object;
    object.actions.push_back(action);
    return object;
}

// The tables of a model as a tuple of comparable parts, file offsets included.
auto IndexOf(const ArchiveModel& m) {
    std::vector<std::tuple<int, int, int, int, int, int, int, int, int, bool, int, std::uint64_t>>
        images;
    for (const ImageRecord& i : m.Images) {
        images.emplace_back(i.Id, i.Length, i.eType, i.Height, i.Width, i.Extra1, i.Extra2,
                            i.Extra3, i.Extra4, i.Loaded, i.PaletteIndex, i.StreamOffset);
    }
    std::vector<std::tuple<int, std::string, int, int, int, int, int, int>> directions;
    std::vector<std::pair<int, int>> frames;
    for (std::size_t o = 0; o < m.Objects.size(); ++o) {
        for (const ActionRecord& a : m.Objects[o].Actions) {
            for (const DirectionRecord& d : a.Directions) {
                directions.emplace_back(o, a.Name, a.DirectionCount, d.FrameCount, d.Extra1,
                                        d.Extra2, d.Extra3, d.Extra4);
                for (const FrameRecord& f : d.Frames) frames.emplace_back(f.Extra, f.ImageIndex);
            }
        }
    }
    return std::tuple(images, directions, frames, m.ImageBlockPos, m.LastImage, m.ObjectCount,
                      m.ImageTotal, m.TotalFrames, m.Version, m.Objects.size());
}

class LoaderTest : public ::testing::Test {
  protected:
    // The index-only load of the same file, mapped or in pieces small enough that tags and
    // fields straddle piece boundaries, builds the same tables, problems and message.
    void ExpectIndexLoadAlike(const LoadResult& whole) {
        for (std::size_t piece :
             {kIndexMapped, ByteWindow::kMinPiece, std::size_t{45}, std::size_t{1000}}) {
            SCOPED_TRACE(piece);
            RecordingHost indexHost;
            indexHost.options = host.options;
            ArchiveModel index;
            const LoadResult result = LoadArchiveIndex(index, path, indexHost, piece);
            EXPECT_EQ(result.status, whole.status);
            EXPECT_EQ(result.problem, whole.problem);
            ASSERT_EQ(result.problems.size(), whole.problems.size());
            for (std::size_t p = 0; p < result.problems.size(); ++p) {
                EXPECT_EQ(LoadProblemText(result.problems[p]), LoadProblemText(whole.problems[p]));
            }
            EXPECT_EQ(indexHost.messages.size(), host.messages.size());
            if (!host.messages.empty() && !indexHost.messages.empty()) {
                EXPECT_EQ(indexHost.messages[0].details, host.messages[0].details);
            }
            EXPECT_TRUE(IndexOf(index) == IndexOf(model));
        }
    }

    // Loads the bytes from a new file (rewriting one in place makes the file system flush on
    // close) and checks what must hold after any load: a sound model, and the user told once,
    // under the program's name, exactly when something was wrong.
    LoadResult LoadBytes(const std::vector<std::uint8_t>& bytes) {
        host.messages.clear();
        path = dir.File("archive" + std::to_string(++files) + ".qxa");
        WriteFile(path, bytes);
        const LoadResult result = LoadArchive(model, path, host);
        EXPECT_EQ(fuzz::CheckModel(model), "");
        // Under half a record of room per image: at most 60 bytes an image.
        EXPECT_LE(model.Images.capacity() * 2, model.Images.size() * 3);
        ExpectIndexLoadAlike(result);
        if (result.status == LoadStatus::Loaded) {
            EXPECT_TRUE(host.messages.empty());
        } else {
            EXPECT_EQ(host.messages.size(), 1u);
            if (!host.messages.empty()) {
                EXPECT_EQ(host.messages[0].title, kProgramName);
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

TEST_F(LoaderTest, LoadsTheMinimalArchive) {
    const LoadResult result = Load(MinimalArchive());
    EXPECT_EQ(result.status, LoadStatus::Loaded);
    EXPECT_EQ(host.captions,
              (std::vector<std::string>{"Loading file...", "Looking for data...",
                                        "Loading palette and image info...",
                                        "Loading object blocks...", "Pixhaul: " + path}));
    EXPECT_EQ(host.labels, std::vector<std::string>{"Loading 1 of 1"});
    EXPECT_EQ(host.loadsFinished, 1);
    EXPECT_FALSE(host.thumbnailBlockLoaded);

    EXPECT_EQ(model.ImageBlockPos, (std::vector<std::int64_t>{9, 1049}));
    ASSERT_EQ(model.Images.size(), 1u);
    // Every field's reading is checked in ReadsEveryFieldAndNameForm, the list texts by the
    // window's and the tool's tests.
    const ImageRecord& image = model.Images[0];
    EXPECT_EQ(image.Length, 2);
    EXPECT_EQ(image.PaletteIndex, 1);
    ASSERT_TRUE(image.Loaded);
    EXPECT_EQ(model.LastImage, 0);
    EXPECT_EQ(model.ImageTotal, 1);
    EXPECT_EQ(model.TotalFrames, 1);
    EXPECT_EQ(model.ObjectCount, 1);

    ASSERT_EQ(model.Objects.size(), 1u);
    EXPECT_EQ(model.Objects[0].Actions[0].Directions[0].Frames[0].ImageIndex, 0);
    EXPECT_TRUE(model.IsLoaded());
}

TEST_F(LoaderTest, ThumbnailsOptionIsReadAtEachLoad) {
    host.SetOption(Option::LoadThumbnails, true);
    EXPECT_EQ(Load(MinimalArchive()).status, LoadStatus::Loaded);
    EXPECT_TRUE(host.thumbnailBlockLoaded);
    // Block 0 holds no image: the tables are the same as without the option.
    ASSERT_EQ(model.Images.size(), 1u);
    EXPECT_EQ(model.Images[0].Id, 7);
    EXPECT_EQ(FrameItemText(model.Objects[0].Actions[0].Directions[0].Frames[0], 0),
              "Frame 0 (#1)");

    host.SetOption(Option::LoadThumbnails, false);
    EXPECT_EQ(Load(MinimalArchive()).status, LoadStatus::Loaded);
    EXPECT_FALSE(host.thumbnailBlockLoaded);
}

TEST_F(LoaderTest, ThumbnailsComeFirstAndShiftFrameIndices) {
    // Block 0's ids are not frame targets, so its id 10 does not clash with block 1's.
    ArchiveBuilder builder;
    builder.ImageBlock(Block(10, 2)).ImageBlock(Block(10, 3)).Object(ObjectOf({12, 10}));

    EXPECT_EQ(Load(builder).status, LoadStatus::Loaded);
    ASSERT_EQ(model.Images.size(), 3u);
    const auto& frames = model.Objects[0].Actions[0].Directions[0].Frames;
    EXPECT_EQ(frames[0].ImageIndex, 2);
    EXPECT_EQ(frames[1].ImageIndex, 0);

    host.SetOption(Option::LoadThumbnails, true);
    EXPECT_EQ(Load(builder).status, LoadStatus::Loaded);
    EXPECT_TRUE(host.messages.empty());
    ASSERT_EQ(model.Images.size(), 5u);
    EXPECT_EQ(model.Images[0].PaletteIndex, 0);
    EXPECT_EQ(model.Images[2].PaletteIndex, 1);
    EXPECT_EQ(model.LastImage, 4);
    const auto& shifted = model.Objects[0].Actions[0].Directions[0].Frames;
    EXPECT_EQ(shifted[0].ImageIndex, 4);
    EXPECT_EQ(shifted[1].ImageIndex, 2);
}

// The version byte: 'T' and 'U' load alike; anything else, and files too short to hold it, are
// refused with the version message and leave nothing open.
TEST_F(LoaderTest, VersionBytes) {
    const std::vector<std::uint8_t> minimal = MinimalArchive().Build();
    auto withVersion = [&](std::uint8_t v) {
        std::vector<std::uint8_t> b = minimal;
        b[4] = v;
        return b;
    };
    const std::pair<std::vector<std::uint8_t>, bool> cases[] = {
        {withVersion('T'), true},     {withVersion('U'), true},
        {withVersion('S'), false},    {withVersion('V'), false},
        {withVersion('t'), false},    {withVersion(0), false},
        {withVersion(0xFF), false},   {{}, false},
        {{'T', 'T', 'T', 'T'}, false}};
    char name[] = "v0.qxa";
    for (const auto& [bytes, loads] : cases) {
        SCOPED_TRACE(bytes.size() > 4 ? bytes[4] : -static_cast<int>(bytes.size()));
        host.messages.clear();
        ++name[1];  // a new file each time: the last one may still be open
        path = dir.File(name);
        WriteFile(path, bytes);
        EXPECT_EQ(LoadArchive(model, path, host).status,
                  loads ? LoadStatus::Loaded : LoadStatus::Rejected);
        if (loads) {
            EXPECT_TRUE(host.messages.empty());
            EXPECT_EQ(model.Images[0].Id, 7);
            continue;
        }
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].text, kVersionMessage);
        EXPECT_EQ(model.Images.size(), 1u);
        EXPECT_FALSE(model.Images[0].Loaded);
        EXPECT_EQ(model.File, nullptr);
        EXPECT_TRUE(model.ImageBlockPos.empty());
    }
}

TEST_F(LoaderTest, ReadsEveryFieldAndNameForm) {
    ImageBlockSpec block;
    ImageSpec image = Image(-5, {0x82, 1, 2});
    image.width = 300;
    image.height = -2;
    image.type = 1028;
    image.extra = {-1, 2, 32767, -32768};
    block.images.push_back(image);

    ObjectSpec object;
    DirectionSpec direction;
    direction.frames = {{123, -5}, {-9, -5}};
    direction.extra = {1, -2, 0x7FFFFFFF, -0x7FFFFFFF};
    ActionSpec unnamed;
    unnamed.directions = {direction, DirectionSpec{}};
    ActionSpec named;
    named.name = "Walk1";
    named.directions = {direction};
    ActionSpec negative;
    negative.nameLengthOverride = -3;
    ActionSpec latin1;
    latin1.name =
        "Fl\xE4"
        "che";
    object.actions = {unnamed, named, negative, latin1, unnamed};

    ArchiveBuilder builder;
    builder.ImageBlock({}).ImageBlock(block).Object(object).Object(ObjectSpec{});
    EXPECT_EQ(Load(builder).status, LoadStatus::Loaded);

    const ImageRecord& loaded = model.Images[0];
    EXPECT_EQ(loaded.Id, -5);
    EXPECT_EQ(loaded.Width, 300);
    EXPECT_EQ(loaded.Height, -2);
    EXPECT_EQ(loaded.eType, 1028);
    EXPECT_EQ(loaded.Extra1, -1);
    EXPECT_EQ(loaded.Extra2, 2);
    EXPECT_EQ(loaded.Extra3, 32767);
    EXPECT_EQ(loaded.Extra4, -32768);
    EXPECT_EQ(model.ImageBitmap(0).Height(), -2);
    EXPECT_EQ(model.ImageBitmap(0).Width(), 300);

    ASSERT_EQ(model.Objects.size(), 2u);
    EXPECT_EQ(model.ObjectCount, 2);
    const ObjectRecord& first = model.Objects[0];
    ASSERT_EQ(first.ActionCount, 5);
    EXPECT_EQ(first.Actions[0].Name, "Action 0");
    EXPECT_EQ(first.Actions[1].Name, "Walk1");
    EXPECT_EQ(first.Actions[2].Name, "Action 2");
    EXPECT_EQ(first.Actions[3].Name,
              "Fl\xC3\xA4"
              "che");  // kept as UTF-8
    EXPECT_EQ(first.Actions[4].Name, "Action 4");
    EXPECT_EQ(ActionItemText(first.Actions[0]), "Action 0 (2 directions)");
    EXPECT_EQ(first.Actions[0].Directions[1].FrameCount, 0);
    const DirectionRecord& read = first.Actions[1].Directions[0];
    ASSERT_EQ(read.FrameCount, 2);
    EXPECT_EQ(read.Frames[0].Extra, 123);
    EXPECT_EQ(read.Frames[1].Extra, -9);
    EXPECT_EQ(read.Frames[1].ImageIndex, 0);
    EXPECT_EQ(read.Extra1, 1);
    EXPECT_EQ(read.Extra2, -2);
    EXPECT_EQ(read.Extra3, 0x7FFFFFFF);
    EXPECT_EQ(read.Extra4, -0x7FFFFFFF);
    EXPECT_EQ(model.TotalFrames, 2 + 2 + 2);
    EXPECT_EQ(ObjectItemText(model, 1), "Object 1 (0 actions)");
}

TEST_F(LoaderTest, SecondLoadKeepsNothingOfTheFirst) {
    ArchiveBuilder big;
    big.ImageBlock({}).ImageBlock(Block(1, 4)).ImageBlock(Block(50, 3));
    big.Object(ObjectOf({1, 2, 50})).Object(ObjectOf({51}));
    EXPECT_EQ(Load(big).status, LoadStatus::Loaded);
    EXPECT_EQ(model.Images.size(), 7u);
    std::weak_ptr<const ArchiveFile> firstFile = model.File;
    const std::size_t firstTables = model.Tables->Used();
    EXPECT_GT(firstTables, 0u);

    EXPECT_EQ(Load(MinimalArchive()).status, LoadStatus::Loaded);
    EXPECT_EQ(model.Images.size(), 1u);
    EXPECT_EQ(model.Objects.size(), 1u);
    EXPECT_EQ(model.LastImage, 0);
    EXPECT_EQ(model.ObjectCount, 1);
    EXPECT_EQ(model.ImageTotal, 1);
    EXPECT_EQ(model.TotalFrames, 1);
    EXPECT_EQ(model.ImageBlockPos.size(), 2u);
    EXPECT_EQ(model.File->Path(), path);
    EXPECT_TRUE(firstFile.expired());              // no stream of the first archive holds its file
    EXPECT_LT(model.Tables->Used(), firstTables);  // nor its tables the arena
    EXPECT_EQ(host.resets, 2);
}

// Also tables of images and of ids that grow from the heap into mapped memory (the ids to
// less than a huge page).
TEST_F(LoaderTest, MoreImagesThanSixteenBitIndicesHold) {
    ImageBlockSpec block;
    for (std::int32_t id = 0; id < 60000; ++id) block.images.push_back(Image(id, {}));
    ArchiveBuilder builder;
    builder.ImageBlock({}).ImageBlock(block).Object(ObjectOf({59999, 32768, 0}));
    EXPECT_EQ(Load(builder).status, LoadStatus::Loaded);
    ASSERT_EQ(model.Images.size(), 60000u);
    EXPECT_GT(model.Images.size() * sizeof(ImageRecord), kLargeBlockBytes);
    EXPECT_EQ(model.LastImage, 59999);
    const auto& frames = model.Objects[0].Actions[0].Directions[0].Frames;
    EXPECT_EQ(frames[0].ImageIndex, 59999);
    EXPECT_EQ(frames[1].ImageIndex, 32768);
    EXPECT_EQ(model.Images[59999].Id, 59999);
    EXPECT_EQ(FrameItemText(frames[0], 0), "Frame 0 (#60000)");
    EXPECT_EQ(host.LastLabel(), "Loading 60000 of 60000");
}

// A window that lets a reset or another load run while a load pumps its messages.
class MeddlingHost : public RecordingHost {
  public:
    void ImageLoaded(std::int64_t number, std::int64_t total) override {
        RecordingHost::ImageLoaded(number, total);
        if (number == 2 && meddle) {
            meddle();
            meddle = nullptr;
        }
    }
    std::function<void()> meddle;
};

TEST_F(LoaderTest, ResetOrReloadDuringALoadWins) {
    ArchiveBuilder big;
    big.ImageBlock({}).ImageBlock(Block(1, 5)).Object(ObjectOf({1, 5}));
    path = dir.File("big.qxa");
    WriteFile(path, big.Build());
    const std::string small = dir.File("small.qxa");
    WriteFile(small, MinimalArchive().Build());

    MeddlingHost meddler;
    meddler.meddle = [&] { ResetArchive(model, meddler); };
    EXPECT_EQ(LoadArchive(model, path, meddler).status, LoadStatus::Rejected);
    EXPECT_EQ(model.Images.size(), 1u);
    EXPECT_EQ(model.Images[0].Loaded, false);
    EXPECT_EQ(model.Objects.size(), 1u);
    EXPECT_EQ(model.File, nullptr);

    meddler.meddle = [&] { LoadArchive(model, small, meddler); };
    EXPECT_EQ(LoadArchive(model, path, meddler).status, LoadStatus::Rejected);
    ASSERT_EQ(model.Images.size(), 1u);
    EXPECT_EQ(model.Images[0].Id, 7);
    EXPECT_EQ(model.Objects[0].Actions[0].Directions[0].Frames[0].ImageIndex, 0);
    EXPECT_EQ(model.File->Path(), small);
    EXPECT_EQ(meddler.LastCaption(), "Pixhaul: " + small);
}

// A file cut short during the load: the whole load holds its bytes already; a load in pieces has
// not read the rest, and a mapped load finds pages gone (a SIGBUS that must not end the process)
// or the file shorter; both refuse the file, naming it, rather than list what is no longer there.
TEST_F(LoaderTest, FileCutShortDuringAnIndexLoad) {
    ImageBlockSpec block = Block(1, 5);
    for (ImageSpec& image : block.images) image.stream.resize(3000);  // pages beyond the cut
    ArchiveBuilder big;
    big.ImageBlock({}).ImageBlock(block).Object(ObjectOf({1, 5}));
    MeddlingHost meddler;
    for (std::size_t piece : {std::size_t{1}, std::size_t{32}, kIndexMapped}) {
        const bool index = piece != 1;
        path = dir.File("cut" + std::to_string(piece) + ".qxa");
        WriteFile(path, big.Build());
        meddler.meddle = [&] { std::filesystem::resize_file(path, 1100); };
        const LoadResult result = index ? LoadArchiveIndex(model, path, meddler, piece)
                                        : LoadArchive(model, path, meddler);
        EXPECT_EQ(result.status, index ? LoadStatus::Rejected : LoadStatus::Loaded);
        if (index) {
            EXPECT_EQ(meddler.messages.back().text,
                      "Cannot read " + path + ": the file is shorter than when it was opened");
            EXPECT_EQ(model.File, nullptr);
        }
    }
}

// The guard of a mapped load takes only the SIGBUS of its own pages: any other still ends the
// process as it would without the guard.
TEST(MappedFileDeathTest, OtherBusErrorsStillEndTheProcess) {
    TempDir dir;
    const std::string path = dir.File("mapped");
    WriteFile(path, std::vector<std::uint8_t>(100, 1));
    FileDescriptor fd(::open(path.c_str(), O_RDONLY));
    std::unique_ptr<MappedFile> mapping = MappedFile::Map(fd.Get(), 100);
    ASSERT_TRUE(mapping);
    // Killed by it, or ended by the handler that was there before (a sanitizer's).
    EXPECT_DEATH(::raise(SIGBUS), "");
}

// ---- damaged archives of known shapes (random damage is the mutation test's): the load ends
// in order, sizes nothing by an unchecked count, keeps what was read completely ------------

ImageSpec ImageOfLength(std::int32_t id, std::size_t streamLength) {
    ImageSpec image;
    image.id = id;
    image.width = 2;
    image.height = 2;
    image.type = 259;
    image.stream.assign(streamLength, 0x81);
    return image;
}

DirectionSpec DirectionOf(std::vector<std::int32_t> ids) {
    DirectionSpec direction;
    for (std::int32_t id : ids) direction.frames.push_back({0, id});
    direction.extra = {1, 2, 3, 4};
    return direction;
}

// A small archive touching every structure: block 0 with a thumbnail, block 1 with two images,
// one object of two named actions with two directions each.
ArchiveBuilder SmallArchive() {
    ImageBlockSpec thumbs;
    thumbs.images.push_back(ImageOfLength(90, 3));
    ImageBlockSpec block;
    block.images.push_back(ImageOfLength(1, 5));
    block.images.push_back(ImageOfLength(2, 7));
    ActionSpec walk;
    walk.name = "Walk";
    walk.directions = {DirectionOf({1, 2}), DirectionOf({2})};
    ActionSpec run;
    run.name = "Run";
    run.directions = {DirectionOf({2, 1, 1}), DirectionOf({})};
    ObjectSpec object;
    object.actions = {walk, run};
    ArchiveBuilder builder;
    builder.ImageBlock(thumbs).ImageBlock(block).Object(object);
    return builder;
}

class DamagedArchiveTest : public LoaderTest {};

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

TEST_F(DamagedArchiveTest, StreamLengthsPastTheEndOrNegative) {
    ImageBlockSpec block;
    block.images = {ImageOfLength(1, 4), ImageOfLength(2, 4), ImageOfLength(3, 4)};
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
    last.images = {ImageOfLength(1, 4)};
    last.images[0].lengthOverride = 4 + 6;
    ArchiveBuilder builder;
    builder.Object({}).ImageBlock({}).ImageBlock(last).Filler(6, 0xAB);
    EXPECT_EQ(Load(builder).status, LoadStatus::Loaded);
    EXPECT_EQ(model.ImageBitmap(0).Stream().At(9), 0xAB);
    EXPECT_EQ(model.ImageBitmap(0).Stream().At(10), 0);
}

TEST_F(DamagedArchiveTest, UnknownAndDuplicateIds) {
    ImageBlockSpec block;
    block.images = {ImageOfLength(5, 2), ImageOfLength(6, 2), ImageOfLength(5, 3)};
    ActionSpec action;
    action.directions = {DirectionOf({5, 99, 6, -1})};
    ArchiveBuilder builder;
    builder.ImageBlock({}).ImageBlock(block).Object({{action}, std::nullopt});
    const LoadResult result = Load(builder);
    EXPECT_EQ(result.status, LoadStatus::Damaged);
    // The box names the first problem in full; every problem keeps its offset in the result
    // (the window's test reads them in the box's details).
    EXPECT_NE(Told().find("repeats the id 5"), std::string::npos) << Told();
    ASSERT_EQ(result.problems.size(), 3u);
    const std::size_t size = builder.Build().size();
    for (const LoadProblem& problem : result.problems) {
        EXPECT_GT(problem.offset, 0);
        EXPECT_LT(problem.offset, static_cast<std::int64_t>(size));
    }
    EXPECT_NE(result.problems[1].message.find("99"), std::string::npos);
    EXPECT_LT(result.problems[1].offset, result.problems[2].offset);
    ASSERT_EQ(model.Images.size(), 3u);
    const auto& frames = model.Objects[0].Actions[0].Directions[0].Frames;
    EXPECT_EQ(frames[0].ImageIndex, 0);  // the first image with id 5 keeps it
    EXPECT_EQ(frames[1].ImageIndex, -1);
    EXPECT_EQ(frames[2].ImageIndex, 1);
    EXPECT_EQ(frames[3].ImageIndex, -1);
    EXPECT_EQ(FrameItemText(frames[1], 1), "Frame 1 (#0)");
    EXPECT_EQ(model.TotalFrames, 4);
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
