// The bitmap sheet export: layout, lookup table, names, options, failures and file formats.
#include "export/sheet_export.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "archive/archive.h"
#include "archive_builder.h"
#include "export/naming.h"
#include "recording_host.h"
#include "test_files.h"

namespace pixhaul {
namespace {

namespace fs = std::filesystem;
using testing::RecordingHost;
using testing::TempDir;

constexpr COLORREF kTrans = MakeColorRef(255, 0, 255);

// An image of the test archive; frames name images by their position in `images` (index).
struct Img {
    std::int16_t w;
    std::int16_t h;
    std::int16_t type = k24BitType;
    std::array<std::int16_t, 4> extra{};
};

// object -> action -> direction -> image indices
using Hierarchy = std::vector<std::vector<std::vector<std::vector<std::int32_t>>>>;

constexpr std::int32_t kFirstId = 100;

using testing::FileNames;
using testing::Picture;
using testing::ReadAll;
using testing::ReadPicture;

// Pixel (x, y) of a written sheet as the surfaces hold it.
COLORREF Ref(const Picture& p, std::uint32_t x, std::uint32_t y) {
    const std::uint32_t rgb = p.At(x, y);
    return MakeColorRef(static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
                        static_cast<std::uint8_t>(rgb));
}

struct Dat {
    std::int32_t object, action, direction, frame, x, y;
    std::int16_t height, width, extra1, extra2, extra3, extra4;
};

std::vector<Dat> ReadDat(const std::string& path) {
    const auto b = ReadAll(path);
    EXPECT_EQ(b.size() % 36, 0u);
    std::vector<Dat> records;
    for (std::size_t at = 0; at + 36 <= b.size(); at += 36) {
        auto i32 = [&](std::size_t field) { return testing::SLe32(b, at + field); };
        auto i16 = [&](std::size_t field) {
            return static_cast<std::int16_t>(testing::Le16(b, at + field));
        };
        records.push_back({i32(0), i32(4), i32(8), i32(12), i32(16), i32(20), i16(24), i16(26),
                           i16(28), i16(30), i16(32), i16(34)});
    }
    return records;
}

// A loaded archive in a temporary folder, exports going into <tmp>/out/.
class SheetExport : public ::testing::Test {
  protected:
    void Load(const std::vector<Img>& images, const Hierarchy& objects) {
        testing::ArchiveBuilder builder;
        builder.ImageBlock({});  // block 0: thumbnails, not loaded
        testing::ImageBlockSpec block;
        for (int i = 0; i < 256; ++i) {
            block.palette[i] =
                MakeColorRef(static_cast<std::uint8_t>(i), 7, static_cast<std::uint8_t>(255 - i));
        }
        for (std::size_t i = 0; i < images.size(); ++i) {
            const Img& img = images[i];
            testing::ImageSpec entry;
            entry.id = kFirstId + static_cast<std::int32_t>(i);
            entry.width = img.w;
            entry.height = img.h;
            entry.type = img.type;
            entry.extra = img.extra;
            const int tone = static_cast<int>(i) * 37 + 20;
            if (img.w * img.h > 4'000'000) {
                entry.stream = {0x01, 0x01};  // never rendered: only its size matters
                block.images.push_back(std::move(entry));
                continue;
            }
            entry.stream = testing::EncodeImage(img.type, img.w, img.h, [&](int x, int y) {
                if (img.type == kPaletteType) return static_cast<std::uint32_t>(1 + (x + y) % 200);
                if ((x + y) % 7 == 3) return 0u;  // black: shows the transparent colour
                return static_cast<std::uint32_t>(((tone & 0xFF) << 16) | ((x * 5 & 0xFF) << 8) |
                                                  ((y * 3 + 1) & 0xFF));
            });
            block.images.push_back(std::move(entry));
        }
        builder.ImageBlock(std::move(block));
        for (const auto& actions : objects) {
            testing::ObjectSpec object;
            for (const auto& directions : actions) {
                testing::ActionSpec action;
                action.name = "Walk";
                for (const auto& frames : directions) {
                    testing::DirectionSpec direction;
                    for (std::int32_t image : frames)
                        direction.frames.push_back({0, kFirstId + image});
                    action.directions.push_back(std::move(direction));
                }
                object.actions.push_back(std::move(action));
            }
            builder.Object(std::move(object));
        }
        settings.ArchivePath = dir.File("units.qxa");
        testing::WriteFile(settings.ArchivePath, builder.Build());
        RecordingHost loadHost;
        ASSERT_EQ(LoadArchive(model, settings.ArchivePath, loadHost).status, LoadStatus::Loaded);
        settings.TransColor = kTrans;
        settings.ExportFolder = out + "/";
        fs::create_directory(out);
    }

    SheetExportResult Export(SheetExportRequest request) {
        return ExportBitmaps(model, settings, host, request);
    }

    // Image `index` drawn on its own on a surface filled with the transparent colour.
    Surface Alone(std::int32_t index) {
        ImageRecord& record = model.Images[static_cast<std::size_t>(index)];
        cBitMap& bitmap = model.ImageBitmap(static_cast<std::size_t>(index));
        Surface s(record.Width, record.Height);
        s.Fill(kTrans);
        if (record.eType == kPaletteType) {
            bitmap.SetPalette(ReadBlockPalette(model, record.PaletteIndex));
        }
        RecordingHost quiet;
        bitmap.Render(kTrans, quiet);
        bitmap.DrawTo(&s, 0, 0, 0, 0, record.Width, record.Height, 1.0, 1.0, SRCCOPY);
        bitmap.Purge();
        return s;
    }

    // Checks every pixel of the sheet against the frames drawn one by one at their .dat places
    // and the transparent colour everywhere else.
    void ExpectSheetMatches(const Picture& sheet, const std::vector<Dat>& records) {
        std::vector<COLORREF> expected(std::size_t{sheet.width} * sheet.height, kTrans);
        for (const Dat& r : records) {
            // The .dat names frames, not images: find the image through the model.
            const auto& frame =
                model.Objects[r.object].Actions[r.action].Directions[r.direction].Frames[r.frame];
            const Surface alone = Alone(frame.ImageIndex);
            for (std::int32_t y = 0; y < alone.Height(); ++y) {
                for (std::int32_t x = 0; x < alone.Width(); ++x) {
                    expected[static_cast<std::size_t>(r.y + y) * sheet.width +
                             static_cast<std::uint32_t>(r.x + x)] = alone.PixelAt(x, y);
                }
            }
        }
        ASSERT_EQ(sheet.rgb.size(), 3 * expected.size());
        int wrong = 0;
        for (std::size_t i = 0; i < expected.size() && wrong < 5; ++i) {
            const COLORREF got = Ref(sheet, i % sheet.width, i / sheet.width);
            if (got != expected[i]) {
                ++wrong;
                ADD_FAILURE() << "pixel " << i % sheet.width << "," << i / sheet.width << ": "
                              << std::hex << got << " != " << expected[i];
            }
        }
    }

    TempDir dir;
    std::string out = dir.File("out");
    ArchiveModel model;
    Settings settings;
    RecordingHost host;
};

TEST_F(SheetExport, SelectedActionWritesTheSheetAndA36ByteRecordPerFrame) {
    Load({{10, 20, k24BitType, {1, 2, 3, 4}}, {30, 40}, {50, 10, k24BitType, {-5, 6, 7, 8}}},
         {{{{0, 1}, {2}}}});
    SheetExportRequest request;
    request.Mode = ExportMode::SelectedAction;
    request.Object = 0;
    request.Action = 0;
    const auto result = Export(request);
    ASSERT_EQ(result.status, SheetExportStatus::Written);

    const std::string base = out + "/Walk (2 directions)";
    EXPECT_EQ(result.paths, (std::vector<std::string>{base + ".bmp", base + ".dat"}));
    const Picture sheet = ReadPicture(base + ".bmp");
    EXPECT_EQ(sheet.width, 50u);
    EXPECT_EQ(sheet.height, 50u);
    EXPECT_EQ(fs::file_size(base + ".dat"), 108u);
    const auto dat = ReadDat(base + ".dat");
    ASSERT_EQ(dat.size(), 3u);
    EXPECT_EQ((std::vector<int>{dat[0].x, dat[0].y, dat[1].x, dat[1].y, dat[2].x, dat[2].y}),
              (std::vector<int>{0, 0, 10, 0, 0, 40}));
    EXPECT_EQ((std::vector<int>{dat[1].object, dat[1].action, dat[1].direction, dat[1].frame}),
              (std::vector<int>{0, 0, 0, 1}));
    EXPECT_EQ((std::vector<int>{dat[2].direction, dat[2].frame, dat[2].height, dat[2].width}),
              (std::vector<int>{1, 0, 10, 50}));
    EXPECT_EQ((std::vector<int>{dat[0].extra1, dat[0].extra2, dat[0].extra3, dat[0].extra4,
                                dat[2].extra1}),
              (std::vector<int>{1, 2, 3, 4, -5}));
    ExpectSheetMatches(sheet, dat);
    EXPECT_EQ(Ref(sheet, 5, 30), kTrans);  // below the shorter frame of the first row
    EXPECT_EQ(Ref(sheet, 45, 5), kTrans);  // right of the first row
    EXPECT_EQ(Ref(sheet, 1, 0), MakeColorRef(20, 5, 1));  // the first frame's pixel (1, 0)
    EXPECT_EQ(Ref(sheet, 3, 0), kTrans);                  // a black pixel of it

    EXPECT_EQ(host.captions, (std::vector<std::string>{
                                 "Indexing images...", "Generating frame list for export...",
                                 "Assembling frames...", "Walk (2 directions).bmp created."}));
    EXPECT_EQ(host.exportRunning, (std::vector<bool>{true, false}));
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(settings.ExportName.empty());
    EXPECT_EQ(FileNames(out).size(), 2u);  // no temporary file left
}

TEST_F(SheetExport, WithoutTheLookupTableOptionNoDatIsCreatedOrTouched) {
    Load({{10, 20}}, {{{{0}}}});
    host.SetOption(Option::GenerateLookupTable, false);
    ASSERT_EQ(Export({}).status, SheetExportStatus::Written);
    EXPECT_EQ(FileNames(out), (std::vector<std::string>{"units.bmp"}));

    testing::WriteFile(out + "/units.dat", {1, 2, 3});
    // An older, longer sheet is replaced whole.
    testing::WriteFile(out + "/units.bmp", std::vector<std::uint8_t>(5000, 9));
    const auto result = Export({});
    EXPECT_EQ(result.paths, (std::vector<std::string>{out + "/units.bmp"}));
    EXPECT_EQ(ReadAll(out + "/units.dat"), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(ReadPicture(out + "/units.bmp").width, 10);
}

TEST_F(SheetExport, AFailedExportShowsTheErrorBoxAndLeavesOlderFilesAlone) {
    Load({{10, 20}}, {{{{0}}}});
    settings.ExportName = "walk";

    // A folder that does not exist, and one that cannot exist (below a regular file).
    testing::WriteFile(dir.File("file.txt"), {1});
    for (const auto& [folder, number, text] :
         std::vector<std::tuple<std::string, int, std::string>>{
             {dir.File("missing/"), ENOENT, "No such file or directory"},
             {dir.File("file.txt/sub/"), ENOTDIR, "Not a directory"}}) {
        settings.ExportFolder = folder;
        host.messages.clear();
        host.exportRunning.clear();
        EXPECT_EQ(Export({}).status, SheetExportStatus::Failed);
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].text,
                  "Error " + std::to_string(number) + " Encountered:\r\n\"" + text + "\"");
        EXPECT_EQ(host.messages[0].title, "Dammit!");
        EXPECT_EQ(host.messages[0].icon, MessageIcon::Critical);
        EXPECT_EQ(host.messages[0].details.rfind("File: " + folder + "walk.", 0), 0u);
        EXPECT_EQ(host.exportRunning, (std::vector<bool>{true, false}));
        EXPECT_EQ(settings.ExportName, "walk");
    }

    // The sheet cannot be put in place (a folder holds its name) after the table was written:
    // the older table stays as it was and no temporary file is left.
    settings.ExportFolder = out + "/";
    fs::create_directory(out + "/walk.bmp");
    testing::WriteFile(out + "/walk.dat", {4, 5, 6});
    EXPECT_EQ(Export({}).status, SheetExportStatus::Failed);
    EXPECT_EQ(ReadAll(out + "/walk.dat"), (std::vector<std::uint8_t>{4, 5, 6}));
    EXPECT_EQ(FileNames(out), (std::vector<std::string>{"walk.bmp", "walk.dat"}));
    EXPECT_TRUE(fs::is_directory(out + "/walk.bmp"));
}

TEST_F(SheetExport, AutomaticNamesAndTheNameChosenByTheUser) {
    Load({{3, 3}, {4, 4}}, {{{{0}}}, {{{1}, {}}}});
    SheetExportRequest request;
    request.Mode = ExportMode::SelectedObject;
    for (std::int32_t object : {0, 1}) {
        request.Object = object;
        ASSERT_EQ(Export(request).status, SheetExportStatus::Written);
    }
    // A named action keeps its name; a direction's carries its object's, which tells them apart.
    request.Action = 0;
    request.Direction = 0;
    for (ExportMode mode : {ExportMode::SelectedAction, ExportMode::SelectedDirection}) {
        request.Mode = mode;
        ASSERT_EQ(Export(request).status, SheetExportStatus::Written);
    }
    request.Mode = ExportMode::DisplayedImage;
    request.DisplayedImage = 1;
    ASSERT_EQ(Export(request).status, SheetExportStatus::Written);
    EXPECT_EQ(host.LastCaption(), "Image 1.bmp created.");

    // Export As: the chosen name is used, then emptied.
    const SplitPath chosen = SplitExportPath(out + "/walk.bmp");
    settings.ExportFolder = chosen.Folder;
    settings.ExportName = chosen.Name;
    ASSERT_EQ(Export(request).status, SheetExportStatus::Written);
    EXPECT_EQ(host.LastCaption(), "walk.bmp created.");
    EXPECT_EQ(settings.ExportName, "");

    EXPECT_EQ(FileNames(out),
              (std::vector<std::string>{
                  "Image 1.bmp", "Object 0 (1 actions).bmp", "Object 0 (1 actions).dat",
                  "Object 1 (1 actions) - Direction 0 (1 frames).bmp",
                  "Object 1 (1 actions) - Direction 0 (1 frames).dat", "Object 1 (1 actions).bmp",
                  "Object 1 (1 actions).dat", "Walk (2 directions).bmp", "Walk (2 directions).dat",
                  "walk.bmp"}));
}

TEST(ExportNaming, ActionNamesFromTheArchiveCannotLeaveTheExportFolder) {
    ArchiveModel model;
    model.Objects[0].ActionCount = 1;
    model.Objects[0].Actions.resize(1);
    model.Objects[0].Actions[0].Name = std::string("../../etc/x\n\0y", 14);
    const std::string name =
        AutomaticExportName(model, "", ExportMode::SelectedAction, 0, 0, -1, 0);
    EXPECT_EQ(name.find('/'), std::string::npos);
    EXPECT_EQ(name.find('\0'), std::string::npos);
    EXPECT_EQ(name.find('\n'), std::string::npos);
    EXPECT_EQ(name.rfind(".._.._etc_x", 0), 0u);
}

TEST_F(SheetExport, SequenceIsOneRowWithDuplicatesKept) {
    Load({{3, 4}, {5, 6}, {2, 9}}, {{{{0}}}});
    SheetExportRequest request;
    request.Mode = ExportMode::FromList;
    request.Sequence = {2, 0, 2, 999, -1, 1};
    ASSERT_EQ(Export(request).status, SheetExportStatus::Written);
    EXPECT_EQ(host.LastCaption(), "Sequence.bmp created.");
    const auto dat = ReadDat(out + "/Sequence.dat");
    ASSERT_EQ(dat.size(), 4u);
    const std::vector<std::array<int, 6>> expected = {
        {-1, -1, -1, 0, 0, 0}, {-1, -1, -1, 1, 2, 0}, {-1, -1, -1, 2, 5, 0}, {-1, -1, -1, 5, 7, 0}};
    for (std::size_t i = 0; i < dat.size(); ++i) {
        EXPECT_EQ((std::array<int, 6>{dat[i].object, dat[i].action, dat[i].direction, dat[i].frame,
                                      dat[i].x, dat[i].y}),
                  expected[i]);
    }
    const Picture sheet = ReadPicture(out + "/Sequence.bmp");
    EXPECT_EQ(sheet.width, 12u);
    EXPECT_EQ(sheet.height, 9u);
}

TEST_F(SheetExport, SheetsTallerThan65535PixelsAreWrittenWhole) {
    Load({{2, 30000}, {3, 30000}, {1, 20000}}, {{{{0}, {1}, {2}}}});
    ASSERT_EQ(Export({}).status, SheetExportStatus::Written);
    const auto dat = ReadDat(out + "/units.dat");
    ASSERT_EQ(dat.size(), 3u);
    EXPECT_EQ(dat[2].y, 60000);
    const Picture sheet = ReadPicture(out + "/units.bmp");
    EXPECT_EQ(sheet.height, 80000u);
    ExpectSheetMatches(sheet, dat);
}

// A host whose event loop unloads the archive at the second yield of the list build.
class UnloadingHost : public RecordingHost {
  public:
    explicit UnloadingHost(ArchiveModel& model) : model_(model) {}
    void Yield() override {
        RecordingHost::Yield();
        if (yields == 2) ResetArchive(model_, *this);
    }

  private:
    ArchiveModel& model_;
};

}  // namespace
}  // namespace pixhaul
