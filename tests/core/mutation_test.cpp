// Thousands of damaged archives made from valid ones (bytes flipped, files cut, counts and lengths
// set to huge values, tags planted inside data), each taken all the way through: loaded, every
// image rendered, a sheet of all objects and the SIF file of object 0 exported. Nothing may
// crash or read out of bounds (the sanitizer build runs this too), the model must stay sound and
// within a fixed multiple of the file's size, and every message the user gets must say something.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive_builder.h"
#include "export/export_list.h"
#include "export/sheet_export.h"
#include "export/sif_export.h"
#include "formats/byte_order.h"
#include "recording_host.h"

namespace pixhaul {
namespace {

using testing::RecordingHost;
using testing::TempDir;
using Bytes = std::vector<std::uint8_t>;

// Exports are run only when the sheet stays this small, so the test stays quick.
constexpr std::int64_t kMaxTestSheetPixels = 1 << 20;
// Images between this size and the surface cap are not rendered here (they only cost time).
constexpr std::int64_t kMaxTestImagePixels = 1 << 20;

std::uint32_t Colour(int x, int y, int salt) {
    if ((x + y + salt) % 5 == 0) return 0;  // black: the transparent colour
    return static_cast<std::uint32_t>(((x * 37 + salt) & 0xFF) << 16 | ((y * 11) & 0xFF) << 8 |
                                      ((x ^ y) & 0xFF));
}

testing::ImageSpec Image(std::int32_t id, std::int16_t type, int width, int height) {
    testing::ImageSpec image;
    image.id = id;
    image.type = type;
    image.width = static_cast<std::int16_t>(width);
    image.height = static_cast<std::int16_t>(height);
    image.extra = {1, 2, 3, 4};
    image.stream = testing::EncodeImage(type, width, height, [&](int x, int y) {
        const std::uint32_t c = Colour(x, y, id);
        return type == kPaletteType ? (c & 0xFF) : type == k15BitType ? (c & 0x7FFF) : c;
    });
    return image;
}

testing::DirectionSpec Direction(std::vector<std::int32_t> ids) {
    testing::DirectionSpec direction;
    for (std::int32_t id : ids) direction.frames.push_back({static_cast<std::int32_t>(id * 3), id});
    direction.extra = {5, 6, 7, 8};
    return direction;
}

testing::ActionSpec Action(std::string name, std::vector<testing::DirectionSpec> directions) {
    testing::ActionSpec action;
    action.name = std::move(name);
    action.directions = std::move(directions);
    return action;
}

// The valid archives the damage starts from.
std::vector<Bytes> Originals() {
    std::vector<Bytes> originals;
    originals.push_back(testing::MinimalArchive().Build());

    // Every stream type, odd widths, an empty stream, thumbnails, two objects, names.
    testing::ImageBlockSpec thumbs;
    for (std::uint32_t i = 0; i < 256; ++i) thumbs.palette[i] = i * 0x010203u;
    thumbs.images.push_back(Image(900, kPaletteType, 3, 3));
    testing::ImageBlockSpec block;
    block.palette = thumbs.palette;
    block.images.push_back(Image(1, kPaletteType, 5, 3));
    block.images.push_back(Image(2, k15BitType, 3, 2));
    block.images.push_back(Image(3, k24BitType, 4, 4));
    testing::ImageSpec empty = Image(4, k24BitType, 2, 2);
    empty.stream.clear();
    block.images.push_back(empty);
    testing::ObjectSpec first;
    first.actions = {Action("Walk", {Direction({1, 2, 3}), Direction({3, 3})}),
                     Action("", {Direction({2}), Direction({})})};
    testing::ObjectSpec second;
    second.actions = {Action("Stand \xE9t\xE9", {Direction({4, 1})})};
    originals.push_back(testing::ArchiveBuilder()
                            .ImageBlock(thumbs)
                            .ImageBlock(block)
                            .Object(first)
                            .Filler(40, 0x41)
                            .Object(second)
                            .Build());

    // Blocks and objects interleaved, a second image block, the version 'U'.
    testing::ImageBlockSpec more;
    more.images.push_back(Image(10, k24BitType, 7, 5));
    more.images.push_back(Image(11, k15BitType, 6, 1));
    testing::ObjectSpec third;
    third.actions = {Action("Run", {Direction({10, 11, 1}), Direction({11})}),
                     Action("Jump", {Direction({10})})};
    originals.push_back(testing::ArchiveBuilder()
                            .Version('U')
                            .ImageBlock({})
                            .Object(third)
                            .ImageBlock(block)
                            .ImageBlock(more)
                            .Object(first)
                            .Build());
    return originals;
}

// Where the counts, lengths and sizes of a valid archive lie.
struct Fields {
    std::vector<std::size_t> counts32;   // image, action, direction and frame counts
    std::vector<std::size_t> lengths32;  // stream lengths and name lengths
    std::vector<std::size_t> sizes16;    // widths, heights and stream types
};

std::uint32_t Le32(const Bytes& b, std::size_t at) {
    return LoadLE32(&b[at]);
}

// Walks a valid archive's blocks (the positions after each tag, as the builder gives them).
Fields FindFields(const Bytes& bytes) {
    Fields fields;
    for (std::size_t at = 0; at + 4 <= bytes.size(); ++at) {
        const bool image = std::equal(bytes.begin() + at, bytes.begin() + at + 4, "AGMI");
        const bool object = std::equal(bytes.begin() + at, bytes.begin() + at + 4, "AnSt");
        if (image) {
            std::size_t p = at + 4 + 1032;
            fields.counts32.push_back(p);
            const std::uint32_t n = Le32(bytes, p);
            p += 4;
            for (std::uint32_t j = 0; j < n; ++j) {
                fields.lengths32.push_back(p + 10);
                fields.sizes16.insert(fields.sizes16.end(), {p + 14, p + 16, p + 18});
                p += 28 + Le32(bytes, p + 10);
            }
            at = p - 1;
        } else if (object) {
            std::size_t p = at + 4;
            fields.counts32.push_back(p);
            const std::uint32_t actions = Le32(bytes, p);
            p += 4;
            for (std::uint32_t a = 0; a < actions; ++a) {
                fields.counts32.push_back(p + 4);
                const std::uint32_t directions = Le32(bytes, p + 4);
                p += 8;
                for (std::uint32_t d = 0; d < directions; ++d) {
                    fields.counts32.push_back(p + 4);
                    p += 8 + 8 * std::size_t{Le32(bytes, p + 4)} + 24;
                }
                fields.lengths32.push_back(p + 4);
                p += 8 + std::max<std::int32_t>(static_cast<std::int32_t>(Le32(bytes, p + 4)), 0);
            }
            at = p - 1;
        }
    }
    return fields;
}

// One damaged archive: the kind of damage depends on `kind`, the details on the random source.
Bytes Mutate(const Bytes& original, const Fields& fields, int kind, std::mt19937& random) {
    Bytes b = original;
    auto pick = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    static constexpr std::uint32_t kHuge32[] = {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0x10000u,
                                                0x8000u,     0xFFFFu,     1000000u,    0xFFFFFFF0u};
    static constexpr std::uint16_t kOdd16[] = {0x7FFF, 0x8000, 0xFFFF, 0, 1, 0x4000, 4097, 0x7FFE};
    switch (kind) {
        case 0: {  // a few bytes anywhere
            const int changes = 1 + static_cast<int>(pick(8));
            for (int k = 0; k < changes; ++k)
                b[pick(b.size())] = static_cast<std::uint8_t>(random());
            break;
        }
        case 1:  // cut short
            b.resize(pick(b.size()));
            break;
        case 2:  // a count made huge (or just one more than there is)
            if (!fields.counts32.empty()) {
                const std::size_t at = fields.counts32[pick(fields.counts32.size())];
                const std::uint32_t v =
                    pick(4) == 0 ? Le32(b, at) + 1 : kHuge32[pick(std::size(kHuge32))];
                StoreLE<std::uint32_t>(&b[at], v);
            }
            break;
        case 3:  // a stream or name length made huge, negative or a little off
            if (!fields.lengths32.empty()) {
                const std::size_t at = fields.lengths32[pick(fields.lengths32.size())];
                const std::uint32_t v = pick(3) == 0
                                            ? Le32(b, at) + static_cast<std::uint32_t>(pick(9)) - 4
                                            : kHuge32[pick(std::size(kHuge32))];
                StoreLE<std::uint32_t>(&b[at], v);
            }
            break;
        case 4:  // an image's width, height or type made odd
            if (!fields.sizes16.empty()) {
                StoreLE<std::uint16_t>(&b[fields.sizes16[pick(fields.sizes16.size())]],
                                       kOdd16[pick(std::size(kOdd16))]);
            }
            break;
        case 5: {  // a tag planted inside data
            const char* tag = pick(2) == 0 ? "AGMI" : "AnSt";
            if (b.size() >= 4)
                std::copy(tag, tag + 4,
                          b.begin() + static_cast<std::ptrdiff_t>(pick(b.size() - 3)));
            break;
        }
        default: {  // a huge count, then cut
            if (!fields.counts32.empty()) {
                StoreLE<std::uint32_t>(&b[fields.counts32[pick(fields.counts32.size())]],
                                       kHuge32[pick(std::size(kHuge32))]);
            }
            b.resize(b.size() - pick(std::min<std::size_t>(b.size(), 64)));
            break;
        }
    }
    return b;
}

// What must hold after any load: the model is sound, and its tables are no larger than what the
// file (read at most four times over, plus 64 KiB, as overlapping blocks may be) can describe.
void ExpectSoundModel(const ArchiveModel& model, std::size_t fileSize, const std::string& what) {
    ASSERT_GE(model.Images.size(), 1u) << what;
    ASSERT_GE(model.Objects.size(), 1u) << what;
    const std::uint64_t readable = 4 * std::uint64_t{fileSize} + 65536;
    EXPECT_LE((model.Images.size() - 1) * 28, readable) << what;
    std::uint64_t frames = 0, actions = 0, directions = 0;
    for (const ObjectRecord& object : model.Objects) {
        ASSERT_EQ(static_cast<std::size_t>(object.ActionCount), object.Actions.size()) << what;
        actions += object.Actions.size();
        for (const ActionRecord& action : object.Actions) {
            ASSERT_EQ(static_cast<std::size_t>(action.DirectionCount), action.Directions.size());
            directions += action.Directions.size();
            for (const DirectionRecord& direction : action.Directions) {
                ASSERT_EQ(static_cast<std::size_t>(direction.FrameCount), direction.Frames.size());
                frames += direction.Frames.size();
                for (const FrameRecord& frame : direction.Frames) {
                    ASSERT_GE(frame.ImageIndex, -1) << what;
                    ASSERT_LT(frame.ImageIndex, static_cast<std::int64_t>(model.Images.size()));
                }
            }
        }
    }
    EXPECT_EQ(static_cast<std::uint64_t>(model.TotalFrames), frames) << what;
    EXPECT_LE(frames * 8 + directions * 32 + actions * 16, readable) << what;
}

void ExpectClearMessages(const RecordingHost& host, std::size_t from, const std::string& what) {
    for (std::size_t i = from; i < host.messages.size(); ++i) {
        const testing::RecordedMessage& m = host.messages[i];
        EXPECT_FALSE(m.text.empty()) << what;
        EXPECT_FALSE(m.title.empty()) << what;
        // A damaged archive is never a file error or a lack of memory.
        EXPECT_NE(m.title, "Dammit!") << what << ": " << m.text;
    }
}

bool WorthRendering(const ImageRecord& image) {
    const std::int64_t pixels = (std::int64_t{image.Width} + 1) * image.Height;
    return pixels <= kMaxTestImagePixels || pixels > cBitMap::kMaxImagePixels;
}

void RenderEveryImage(ArchiveModel& model, RecordingHost& host, const std::string& what) {
    for (std::size_t i = 0; i < model.Images.size(); ++i) {
        ImageRecord& image = model.Images[i];
        if (!image.Loaded || !WorthRendering(image)) continue;
        cBitMap& bitmap = model.ImageBitmap(i);
        if (image.eType == kPaletteType) {
            bitmap.SetPalette(ReadBlockPalette(model, image.PaletteIndex));
        }
        const std::size_t before = host.messages.size();
        const RenderOutcome outcome = bitmap.Render(0xFF00FF, host);
        const bool told = host.messages.size() == before + 1;
        switch (outcome) {
            case RenderOutcome::Rendered:
                EXPECT_TRUE(bitmap.IsRendered()) << what;
                EXPECT_EQ(host.messages.size(), before) << what;
                break;
            case RenderOutcome::Corrupt:
            case RenderOutcome::TooLarge:
                EXPECT_TRUE(told) << what;
                EXPECT_EQ(bitmap.hDC(), nullptr) << what;
                break;
            default:
                break;
        }
        bitmap.Purge();
    }
}

// The sheet size of a range, worked out first so that only small sheets are written.
SheetSize SizeOf(const ArchiveModel& model, std::int32_t objTo, std::int32_t objFrom) {
    QuietHost quiet;
    std::vector<ExportFrame> list;
    return BuildExportList(model, quiet, list,
                           ExportRange{.fromObject = objFrom, .toObject = objTo});
}

bool Small(const SheetSize& size) {
    return size.Width * size.Height <= kMaxTestSheetPixels;
}

void ExportBoth(ArchiveModel& model, const std::string& archive, const TempDir& out,
                RecordingHost& host, const std::string& what) {
    Settings settings;
    settings.ArchivePath = archive;
    settings.ExportFolder = out.Path() + "/";
    const auto objects = static_cast<std::int32_t>(model.Objects.size());
    if (Small(SizeOf(model, objects - 1, 0))) {
        const std::size_t before = host.messages.size();
        const SheetExportResult sheet = ExportBitmaps(model, settings, host, {});
        ExpectClearMessages(host, before, what);
        if (sheet.status == SheetExportStatus::Written) {
            for (const std::string& path : sheet.paths) {
                EXPECT_TRUE(std::filesystem::exists(path));
            }
        } else {
            EXPECT_TRUE(sheet.status == SheetExportStatus::NothingToExport ||
                        sheet.status == SheetExportStatus::NoSelection)
                << what << ": status " << static_cast<int>(sheet.status);
        }
    }
    if (Small(SizeOf(model, 0, 0))) {
        settings.ExportName.clear();
        const std::size_t before = host.messages.size();
        const SifExportResult sif = ExportSif(model, settings, host, 0);
        ExpectClearMessages(host, before, what);
        EXPECT_NE(sif.status, SifExportStatus::Failed) << what << ": " << sif.problem;
        if (sif.status == SifExportStatus::Written) {
            EXPECT_TRUE(std::filesystem::exists(sif.path));
        }
    }
    // Whatever happened, no temporary is left behind.
    for (const auto& entry : std::filesystem::directory_iterator(out.Path())) {
        EXPECT_NE(entry.path().filename().string()[0], '.') << what << ": " << entry.path();
        std::filesystem::remove(entry.path());
    }
}

TEST(Mutation, DamagedArchivesLoadRenderAndExportWithoutEscaping) {
    constexpr int kKinds = 7;
    constexpr int kPerKindAndOriginal = 130;
    TempDir dir;
    TempDir out;
    const std::string path = dir.File("damaged.qxa");
    std::mt19937 random(0x5EED2026);
    std::vector<int> outcomes(4, 0);  // by LoadStatus

    const std::vector<Bytes> originals = Originals();
    for (std::size_t o = 0; o < originals.size(); ++o) {
        const Fields fields = FindFields(originals[o]);
        ASSERT_FALSE(fields.counts32.empty());
        for (int kind = 0; kind < kKinds; ++kind) {
            for (int round = 0; round < kPerKindAndOriginal; ++round) {
                const Bytes damaged = Mutate(originals[o], fields, kind, random);
                const std::string what = "archive " + std::to_string(o) + ", damage " +
                                         std::to_string(kind) + ", round " + std::to_string(round);
                // A new file each time: the last one may still be mapped.
                std::filesystem::remove(path);
                testing::WriteFile(path, damaged);

                ArchiveModel model;
                RecordingHost host;
                host.SetOption(Option::LoadThumbnails, round % 2 == 1);
                host.SetOption(Option::RemoveDuplicateFrames, round % 3 != 0);
                const LoadResult loaded = LoadArchive(model, path, host);
                ++outcomes[static_cast<int>(loaded.status)];
                // The user is told at most once, and only when something was wrong.
                EXPECT_LE(host.messages.size(), 1u) << what;
                EXPECT_EQ(host.messages.empty(), loaded.status == LoadStatus::Loaded) << what;
                ExpectClearMessages(host, 0, what);
                if (loaded.status == LoadStatus::Rejected) continue;
                EXPECT_FALSE(loaded.status == LoadStatus::Damaged && loaded.problem.empty());
                ExpectSoundModel(model, damaged.size(), what);
                if (::testing::Test::HasFatalFailure()) return;

                RenderEveryImage(model, host, what);
                ExportBoth(model, path, out, host, what);
                ExpectClearMessages(host, 0, what);
                if (::testing::Test::HasFailure()) return;
            }
        }
    }
    // The damage reached every outcome the loader has.
    EXPECT_GT(outcomes[static_cast<int>(LoadStatus::Loaded)], 0);
    EXPECT_GT(outcomes[static_cast<int>(LoadStatus::Damaged)], 0);
    EXPECT_GT(outcomes[static_cast<int>(LoadStatus::Rejected)], 0);
}

}  // namespace
}  // namespace pixhaul
