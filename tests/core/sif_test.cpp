// The SIF export and its reader: file layout, tables, the sheet's pixels and failures. (That the
// sheet is the bitmap export's, pixel for pixel, is the export fuzz target's check.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "../../fuzz/targets/sif_reader_target.h"
#include "archive/archive.h"
#include "archive/model.h"
#include "archive_builder.h"
#include "export/sheet_export.h"
#include "export/sif_export.h"
#include "formats/huffman.h"
#include "formats/rle_stream.h"
#include "formats/sif_format.h"
#include "formats/sif_reader.h"
#include "recording_host.h"
#include "test_files.h"

namespace pixhaul {
namespace {

using Bytes = std::vector<std::uint8_t>;
using PixelFn = std::function<std::uint32_t(int, int)>;  // 0x00RRGGBB, 0 = transparent
using testing::RecordingHost;
using testing::TempDir;

constexpr COLORREF kTrans = 0xFF00FF;

PixelFn Pattern(int seed) {
    return [seed](int x, int y) -> std::uint32_t {
        if ((x + 2 * y + seed) % 7 == 0) return 0;  // black: shows the transparent colour
        return (static_cast<std::uint32_t>(seed * 37 + x) & 0xFF) << 16 |
               (static_cast<std::uint32_t>(y) & 0xFF) << 8 | 0x80;
    };
}

// A model built directly: 24-bit images and one object whose directions list image indices.
class ModelMaker {
  public:
    std::int32_t Image(std::int16_t width, std::int16_t height, PixelFn pixel,
                       std::int16_t extra1 = 0, std::int16_t extra2 = 0) {
        ImageRecord record;
        record.Id = static_cast<std::int32_t>(pixels_.size()) + 1;
        Bytes stream = pixhaul::testing::EncodeImage(k24BitType, width, height, pixel);
        record.Length = static_cast<std::int32_t>(stream.size());
        stream.push_back(0);  // the byte after the stream
        record.eType = k24BitType;
        record.Width = width;
        record.Height = height;
        record.Extra1 = extra1;
        record.Extra2 = extra2;
        record.Loaded = true;
        auto bitmap = std::make_unique<cBitMap>();
        bitmap->SetData(height, width, k24BitType, std::move(stream));
        if (pixels_.empty()) {
            model.Images[0] = record;
        } else {
            model.Images.push_back(record);
        }
        model.AdoptImageBitmap(model.Images.size() - 1, std::move(bitmap));
        pixels_.push_back(pixel);
        model.LastImage = static_cast<std::int32_t>(model.Images.size()) - 1;
        model.ImageTotal = static_cast<std::int64_t>(model.Images.size());
        return static_cast<std::int32_t>(pixels_.size()) - 1;
    }

    // Object o gets actions of directions of frames naming images.
    void Object(std::size_t o, const std::vector<std::vector<std::vector<std::int32_t>>>& actions) {
        if (model.Objects.size() <= o) model.Objects.resize(o + 1);
        ObjectRecord& object = model.Objects[o];
        object = {};
        for (const auto& directions : actions) {
            ActionRecord action;
            action.Name = "Action";
            for (const auto& frames : directions) {
                DirectionRecord direction;
                for (std::int32_t image : frames) direction.Frames.push_back({0, image});
                direction.FrameCount = static_cast<std::int32_t>(direction.Frames.size());
                model.TotalFrames += direction.FrameCount;
                action.Directions.push_back(std::move(direction));
            }
            action.DirectionCount = static_cast<std::int32_t>(action.Directions.size());
            object.Actions.push_back(std::move(action));
        }
        object.ActionCount = static_cast<std::int32_t>(object.Actions.size());
        model.ObjectCount = static_cast<std::int32_t>(model.Objects.size());
    }

    // The colour the sheet shows at (x, y) of image i.
    COLORREF Expected(std::int32_t i, int x, int y) const {
        const std::uint32_t rgb = pixels_[static_cast<std::size_t>(i)](x, y);
        if (rgb == 0) return kTrans;
        return MakeColorRef(static_cast<std::uint8_t>(rgb >> 16),
                            static_cast<std::uint8_t>(rgb >> 8), static_cast<std::uint8_t>(rgb));
    }

    ArchiveModel model;

  private:
    std::vector<PixelFn> pixels_;
};

using testing::Le16;
using testing::ReadAll;
using testing::SLe32;

struct Exported {
    SifExportResult result;
    Bytes bytes;
    SifContents contents;
    std::string readError;
};

class SifExportTest : public ::testing::Test {
  protected:
    Exported Export(std::int32_t object = 0) {
        Exported e;
        e.result = ExportSif(maker.model, settings, host, object);
        if (e.result.status == SifExportStatus::Written) {
            e.bytes = ReadAll(e.result.path);
            e.readError = ReadSif(e.bytes, e.contents);
        }
        return e;
    }

    // Checks every frame's cell on the read-back sheet against its image, and the cells'
    // surroundings against the background.
    void ExpectSheetShowsFrames(const SifContents& c, const std::vector<std::int32_t>& imageOrder) {
        std::vector<bool> covered(static_cast<std::size_t>(c.Image.SheetWidth) *
                                  static_cast<std::size_t>(c.Image.SheetHeight));
        std::size_t n = 0;
        for (const SifAction& a : c.Actions) {
            for (const SifDirection& d : a.Directions) {
                for (const SifFrame& f : d.Frames) {
                    ASSERT_LT(n, imageOrder.size());
                    const std::int32_t image = imageOrder[n++];
                    for (int y = 0; y < f.Height; ++y) {
                        for (int x = 0; x < f.Width; ++x) {
                            ASSERT_EQ(c.Sheet.PixelAt(f.X + x, f.Y + y),
                                      maker.Expected(image, x, y))
                                << "image " << image << " at " << x << "," << y;
                            covered[static_cast<std::size_t>(f.Y + y) * c.Image.SheetWidth + f.X +
                                    x] = true;
                        }
                    }
                }
            }
        }
        EXPECT_EQ(n, imageOrder.size());
        for (int y = 0; y < c.Image.SheetHeight; ++y) {
            for (int x = 0; x < c.Image.SheetWidth; ++x) {
                if (!covered[static_cast<std::size_t>(y) * c.Image.SheetWidth + x]) {
                    ASSERT_EQ(c.Sheet.PixelAt(x, y), settings.TransColor) << x << "," << y;
                }
            }
        }
    }

    TempDir dir;
    ModelMaker maker;
    Settings settings{.ArchivePath = "",
                      .Zoom = 1.0,
                      .TransColor = kTrans,
                      .ExportFolder = dir.Path() + "/",
                      .ExportName = "hero",
                      .ExportMode = 1};
    RecordingHost host;
};

TEST_F(SifExportTest, OneDirectionOfTwoFramesGivesTheDocumentedLayout) {
    const auto a = maker.Image(10, 20, Pattern(1), 7, -3);
    const auto b = maker.Image(30, 40, Pattern(2), -1, 300);
    maker.Object(0, {{{a, b}}});
    const Exported e = Export();
    ASSERT_EQ(e.result.status, SifExportStatus::Written);
    EXPECT_EQ(e.result.path, dir.File("hero.sif"));
    const Bytes& f = e.bytes;
    ASSERT_GE(f.size(), 87u);
    EXPECT_EQ((Bytes{f[0], f[1], f[2], f[3]}), (Bytes{'S', 'F', 1, 2}));
    EXPECT_EQ(SLe32(f, 4), 71);  // ImagePos
    EXPECT_EQ(Le16(f, 8), 0);    // LastAction
    EXPECT_EQ(Le16(f, 10), 0);   // LastDirection
    EXPECT_EQ(Le16(f, 12), 1);   // LastFrame
    const std::vector<std::int32_t> first = {0, 0, 20, 10, 0, 7, -3};
    const std::vector<std::int32_t> second = {10, 0, 40, 30, 0, -1, 300};
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(SLe32(f, 14 + 4 * i), first[i]) << i;
        EXPECT_EQ(SLe32(f, 42 + 4 * i), second[i]) << i;
    }
    const std::int32_t payloadLast = SLe32(f, 70);
    EXPECT_EQ(static_cast<std::uint32_t>(SLe32(f, 74)), kTrans);  // BackColor
    EXPECT_EQ(SLe32(f, 78), 40);                                  // SheetWidth
    EXPECT_EQ(SLe32(f, 82), 40);                                  // SheetHeight
    EXPECT_EQ(f[86], 5);                                          // RleKind
    EXPECT_EQ(f.size(), 70u + 17u + static_cast<std::size_t>(payloadLast) + 1);

    // The payload is the coded run-length stream of the whole sheet, built here in one piece.
    Surface sheet(40, 40);
    sheet.Fill(kTrans);
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) {
            COLORREF c = kTrans;
            if (x < 10 && y < 20) c = maker.Expected(a, x, y);
            if (x >= 10) c = maker.Expected(b, x - 10, y);
            std::uint8_t* p = sheet.MutableRow(39 - y) + 3 * x;
            p[0] = BlueOf(c);
            p[1] = GreenOf(c);
            p[2] = RedOf(c);
        }
    }
    const Bytes payload(f.begin() + 87, f.end());
    EXPECT_EQ(payload, HuffmanEncoded(EncodeRle5(sheet)));
    EXPECT_NE(f[87], 0x48);  // the coded form, not the stored one

    ASSERT_EQ(e.readError, "");
    EXPECT_TRUE(e.contents.PayloadCoded);
    ExpectSheetShowsFrames(e.contents, {a, b});
}

TEST_F(SifExportTest, ActionsStackRowsAndEmptyDirectionsTakeNoRow) {
    const auto a = maker.Image(10, 20, Pattern(1));
    const auto b = maker.Image(30, 40, Pattern(2));
    const auto c = maker.Image(50, 10, Pattern(3), 5, 6);
    const auto d = maker.Image(6, 25, Pattern(4));
    // Action 0: one direction (a, b); action 1: an empty direction, then (c, d).
    maker.Object(0, {{{a, b}}, {{}, {c, d}}});
    const Exported e = Export();
    ASSERT_EQ(e.result.status, SifExportStatus::Written);
    ASSERT_EQ(e.readError, "");
    const SifContents& s = e.contents;
    EXPECT_EQ(s.LastAction, 1);
    ASSERT_EQ(s.Actions.size(), 2u);
    EXPECT_EQ(s.Actions[0].LastDirection, 0);
    EXPECT_EQ(s.Actions[1].LastDirection, 1);
    EXPECT_EQ(s.Actions[1].Directions[0].LastFrame, -1);
    EXPECT_TRUE(s.Actions[1].Directions[0].Frames.empty());
    ASSERT_EQ(s.Actions[1].Directions[1].LastFrame, 1);
    const SifFrame& third = s.Actions[1].Directions[1].Frames[0];
    EXPECT_EQ(third, (SifFrame{0, 40, 10, 50, 0, 5, 6}));  // the second row starts at Y = 40
    EXPECT_EQ(s.Actions[1].Directions[1].Frames[1], (SifFrame{50, 40, 25, 6, 0, 0, 0}));
    EXPECT_EQ(s.Image.SheetWidth, 56);
    EXPECT_EQ(s.Image.SheetHeight, 65);
    // The empty direction is written as FF FF right after action 1's LastDirection.
    const std::size_t action1 = 8 + 2 + 2 + 2 + 2 * kSifFrameSize;
    EXPECT_EQ(Le16(e.bytes, action1), 1);
    EXPECT_EQ(e.bytes[action1 + 2], 0xFF);
    EXPECT_EQ(e.bytes[action1 + 3], 0xFF);
    EXPECT_EQ(Le16(e.bytes, action1 + 4), 1);
    ExpectSheetShowsFrames(s, {a, b, c, d});
}

TEST_F(SifExportTest, DuplicateRemovalFollowsTheOption) {
    maker.Image(3, 3, Pattern(0));
    for (int i = 1; i <= 6; ++i)
        maker.Image(static_cast<std::int16_t>(8 + i), 12, Pattern(i), 11, 22);
    maker.Object(0, {{{5, 5, 6}}});

    const Exported on = Export();
    ASSERT_EQ(on.readError, "");
    EXPECT_EQ(on.contents.Actions[0].Directions[0].LastFrame, 1);
    ExpectSheetShowsFrames(on.contents, {5, 6});

    host.SetOption(Option::RemoveDuplicateFrames, false);
    settings.ExportName = "hero";
    const Exported off = Export();
    ASSERT_EQ(off.readError, "");
    const auto& frames = off.contents.Actions[0].Directions[0].Frames;
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0], (SifFrame{0, 0, 12, 13, 0, 11, 22}));
    EXPECT_EQ(frames[1], (SifFrame{13, 0, 12, 13, 0, 11, 22}));
    EXPECT_EQ(frames[2].X, 26);
    ExpectSheetShowsFrames(off.contents, {5, 5, 6});
}

TEST_F(SifExportTest, PaletteImagesOfALoadedArchiveUseTheirBlocksPalette) {
    using namespace pixhaul::testing;
    auto image = [](std::int32_t id, int width, int height,
                    const std::function<std::uint32_t(int, int)>& pixel) {
        ImageSpec spec;
        spec.id = id;
        spec.width = static_cast<std::int16_t>(width);
        spec.height = static_cast<std::int16_t>(height);
        spec.type = kPaletteType;
        spec.stream = EncodeImage(kPaletteType, width, height, pixel);
        return spec;
    };
    ImageBlockSpec thumbnails;
    thumbnails.images.push_back(image(90, 2, 2, [](int, int) { return 1u; }));
    ImageBlockSpec block;
    for (std::uint32_t i = 0; i < 256; ++i) {
        block.palette[i] =
            MakeColorRef(static_cast<std::uint8_t>(i), 0x40, static_cast<std::uint8_t>(255 - i));
    }
    auto index = [](int x, int y) { return static_cast<std::uint32_t>((x + 3 * y) % 9 + 1); };
    block.images.push_back(image(5, 8, 6, index));
    block.images.back().extra = {3, 4, 0, 0};
    DirectionSpec direction;
    direction.frames = {{0, 5}, {0, 5}};
    ActionSpec action;
    action.name = "Walk";
    action.directions.push_back(direction);
    ObjectSpec object;
    object.actions.push_back(action);
    ArchiveBuilder builder;
    builder.ImageBlock(thumbnails).ImageBlock(block).Object(object);
    const std::string path = dir.File("small.qxa");
    WriteFile(path, builder.Build());
    ASSERT_EQ(LoadArchive(maker.model, path, host).status, LoadStatus::Loaded);

    const Exported e = Export();
    ASSERT_EQ(e.result.status, SifExportStatus::Written);
    ASSERT_EQ(e.readError, "");
    ASSERT_EQ(e.contents.Actions.size(), 1u);
    ASSERT_EQ(e.contents.Actions[0].Directions[0].Frames.size(), 1u);  // duplicates removed
    EXPECT_EQ(e.contents.Actions[0].Directions[0].Frames[0], (SifFrame{0, 0, 6, 8, 0, 3, 4}));
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(e.contents.Sheet.PixelAt(x, y), block.palette[index(x, y)]) << x << "," << y;
        }
    }
}

TEST_F(SifExportTest, AFailedWriteShowsTheErrorBoxAndLeavesNothingBehind) {
    maker.Object(0, {{{maker.Image(2, 2, Pattern(1))}}});
    // The target name is taken by a folder: the rename at the end fails.
    std::filesystem::create_directory(dir.File("hero.sif"));
    std::filesystem::create_directory(dir.File("hero.sif/keep"));
    const Exported e = Export();
    EXPECT_EQ(e.result.status, SifExportStatus::Failed);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text.rfind("Error ", 0), 0u);
    EXPECT_NE(host.messages[0].text.find(" Encountered:\r\n\""), std::string::npos);
    EXPECT_EQ(host.exportRunning.back(), false);
    EXPECT_EQ(settings.ExportName, "hero");
    EXPECT_EQ(host.LastCaption(), "Assembling frames...");
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("hero.sif/keep")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              1);

    // A folder that does not exist.
    settings.ExportFolder = dir.File("missing/");
    EXPECT_EQ(Export().result.status, SifExportStatus::Failed);
    EXPECT_EQ(host.messages.size(), 2u);
}

// ---- the reader on damaged files --------------------------------------------------------

class SifReaderTest : public SifExportTest {
  protected:
    Bytes Sample() {
        const auto a = maker.Image(10, 20, Pattern(1));
        const auto b = maker.Image(30, 40, Pattern(2));
        maker.Object(0, {{{a, b}, {}}, {{b}}});
        const Exported e = Export();
        EXPECT_EQ(e.readError, "");
        return e.bytes;
    }
};

TEST_F(SifReaderTest, EveryTruncationIsRejected) {
    const Bytes full = Sample();
    SifContents c;
    for (std::size_t n = 0; n < full.size(); ++n) {
        EXPECT_NE(ReadSif(std::span(full.data(), n), c), "") << n;
    }
    // Bytes behind the payload (an older, longer file) do not matter.
    Bytes longer = full;
    longer.resize(full.size() + 50, 0xEE);
    EXPECT_EQ(ReadSif(longer, c), "");
}

TEST_F(SifReaderTest, MalformedFieldsAreRejectedCleanly) {
    const Bytes full = Sample();
    SifContents c;
    auto with = [&](std::size_t at, std::vector<std::uint8_t> bytes) {
        Bytes b = full;
        std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
        return ReadSif(b, c);
    };
    const std::size_t image = LoadLE32(&full[4]) - 1;
    EXPECT_NE(with(0, {'S', 'G'}), "");                                   // signature
    EXPECT_NE(with(3, {3}), "");                                          // fixed byte
    EXPECT_NE(with(4, {0, 0, 0, 0}), "");                                 // ImagePos 0
    EXPECT_NE(with(4, {0xFF, 0xFF, 0xFF, 0x7F}), "");                     // ImagePos past the end
    EXPECT_NE(with(4, {static_cast<std::uint8_t>(image), 0, 0, 0}), "");  // one byte early
    EXPECT_NE(with(8, {0xFF, 0x7F}), "");                                 // LastAction 32767
    EXPECT_NE(with(8, {0xFE, 0xFF}), "");                                 // LastAction -2
    EXPECT_NE(with(12, {0x00, 0x7F}), "");                                // LastFrame huge
    EXPECT_NE(with(image, {0xFF, 0xFF, 0xFF, 0xFF}), "");                 // PayloadLast -1
    EXPECT_NE(with(image, {0xFF, 0xFF, 0xFF, 0x7F}), "");                 // payload past the end
    EXPECT_NE(with(image + 8, {0xFF, 0xFF, 0x00, 0x00}), "");             // SheetWidth too big
    EXPECT_NE(with(image + 8, {0x00, 0x00, 0x00, 0x80}), "");             // negative
    EXPECT_NE(with(image + 12, {0xFF, 0xFF, 0xFF, 0x7F}), "");            // SheetHeight huge
    EXPECT_NE(with(image + 16, {4}), "");                                 // RleKind
    EXPECT_EQ(with(image + 4, {1, 2, 3, 0}), "");                         // BackColor is free
}

TEST(SifReader, StoredPayloadsAreRead) {
    // A 0 x 5 sheet: its run-length stream 00 00 00 00 holds one byte value and is stored.
    Bytes file = {'S', 'F', 1, 2, 11, 0, 0, 0, 0xFF, 0xFF};
    AppendLE<std::uint32_t>(file, 7);  // PayloadLast: 8 bytes
    AppendLE<std::uint32_t>(file, kTrans);
    AppendLE<std::uint32_t>(file, 0);
    AppendLE<std::uint32_t>(file, 5);
    file.push_back(5);
    file.insert(file.end(), {0x48, 0x45, 0x30, 0x0D, 0, 0, 0, 0});
    SifContents c;
    ASSERT_EQ(ReadSif(file, c), "");
    EXPECT_FALSE(c.PayloadCoded);
    EXPECT_EQ(c.LastAction, -1);
    EXPECT_TRUE(c.Actions.empty());
    EXPECT_EQ(c.Image.SheetHeight, 5);
}

}  // namespace
}  // namespace pixhaul
