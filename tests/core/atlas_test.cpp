// The atlas export end to end on a small archive: pages re-composited at the data's offsets
// give back every untrimmed frame, page limits and powers of two hold, frames are placed once
// and never overlap, extrusion repeats edges, the three data forms agree, exports repeat
// byte for byte.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "archive/archive.h"
#include "archive_builder.h"
#include "export/atlas_export.h"
#include "export/frames_export.h"
#include "export/rgba_sprite.h"
#include "immutable_file.h"
#include "recording_host.h"
#include "test_files.h"

namespace pixhaul {
namespace {

using Json = nlohmann::ordered_json;
using testing::ReadAll;
using testing::TempDir;

std::string ReadText(const std::string& path) {
    const auto bytes = ReadAll(path);
    return {bytes.begin(), bytes.end()};
}

testing::ImageSpec Image(std::int32_t id, int w, int h, std::function<std::uint32_t(int, int)> px) {
    return {id,
            static_cast<std::int16_t>(w),
            static_cast<std::int16_t>(h),
            259,
            {},
            testing::EncodeImage(259, w, h, px),
            {}};
}

// Palette index 0 is black, drawn in the transparent colour; the others are distinct colours.
// Images: 1 with a margin, 2 fully transparent, 3 fully opaque, 4 one visible column. Two
// actions share the name "Walk"; object 1's action has none.
std::vector<std::uint8_t> AtlasArchive() {
    testing::ImageBlockSpec block;
    for (std::uint32_t i = 1; i < 256; ++i) block.palette[i] = 0x010203 * i + 0x400000;
    block.images = {Image(1, 5, 4,
                          [](int x, int y) {
                              return x >= 1 && x <= 2 && y >= 1 && y <= 2 ? 1 + x + 2 * y : 0;
                          }),
                    Image(2, 3, 3, [](int, int) { return 0; }),
                    Image(3, 7, 2, [](int x, int y) { return 10 + x + 7 * y; }),
                    Image(4, 4, 6, [](int x, int y) { return x == 3 ? 30 + y : 0; })};
    auto direction = [](std::vector<std::int32_t> ids) {
        testing::DirectionSpec d;
        for (std::int32_t id : ids) d.frames.push_back({0, id});
        return d;
    };
    testing::ObjectSpec first;
    first.actions.push_back({{direction({1, 2, 3}), direction({4, 1})}, "Walk", {}, {}});
    first.actions.push_back({{direction({3})}, "Walk", {}, {}});
    testing::ObjectSpec second;
    second.actions.push_back({{direction({4})}, "", {}, {}});
    return testing::ArchiveBuilder()
        .ImageBlock({})
        .ImageBlock(block)
        .Object(first)
        .Object(second)
        .Build();
}

struct Rgba {
    std::uint32_t width = 0, height = 0;
    std::vector<std::uint8_t> pixels;
    const std::uint8_t* At(std::uint32_t x, std::uint32_t y) const {
        return &pixels[(y * width + x) * 4];
    }
};

Rgba ReadRgba(const std::string& path) {
    const auto bytes = ReadAll(path);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    EXPECT_TRUE(png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) << path;
    image.format = PNG_FORMAT_RGBA;
    Rgba out{image.width, image.height, std::vector<std::uint8_t>(PNG_IMAGE_SIZE(image))};
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr));
    return out;
}

// The frames of every JSON file of an export in one hash. A page's file must name its own page
// and hold only that page's frames, and its animations only keys it holds.
Json AllFrames(const AtlasExportResult& result) {
    Json all = Json::object();
    for (std::size_t p = 0; p < result.paths.size(); ++p) {
        if (!result.paths[p].ends_with(".json")) continue;
        const Json data = Json::parse(ReadText(result.paths[p]));
        const std::size_t pages = result.layout.pages.size();
        const int page = pages > 1 ? static_cast<int>(p - pages) : 0;
        EXPECT_EQ(data["meta"]["image"], FileNameOf(result.paths[pages > 1 ? p - pages : 0]));
        for (const auto& [key, frame] : data["frames"].items()) {
            EXPECT_EQ(frame["pixhaul"].value("page", 0), page) << key;
            all[key] = frame;
        }
        for (const auto& [name, keys] : data["animations"].items()) {
            for (const auto& key : keys) EXPECT_TRUE(data["frames"].contains(key)) << name;
        }
    }
    Json merged = Json::object();
    merged["frames"] = std::move(all);
    return merged;
}

struct Fixture {
    TempDir dir;
    std::string archive = dir.File("a.qxa");
    ArchiveModel model;
    testing::RecordingHost host;
    Fixture() {
        testing::WriteFile(archive, AtlasArchive());
        EXPECT_EQ(LoadArchive(model, archive, host).status, LoadStatus::Loaded);
    }
    AtlasExportResult Export(AtlasExportRequest request, const std::string& name) {
        Settings settings;
        settings.ArchivePath = archive;
        settings.ExportFolder = dir.Path() + "/";
        settings.ExportName = name;
        return ExportAtlas(model, settings, host, request);
    }
};

struct Case {
    const char* name;
    bool trim;
    int padding, extrude;
    bool pot;
    int maxWidth, maxHeight;
    bool keepDuplicates;
};

class AtlasCases : public ::testing::TestWithParam<Case> {};

TEST_P(AtlasCases, PagesHoldEveryFrameOnceAtItsPlace) {
    const Case& c = GetParam();
    Fixture f;
    AtlasExportRequest request;
    request.Trim = c.trim;
    request.Layout = {c.padding, c.extrude, c.pot, c.maxWidth, c.maxHeight, c.keepDuplicates};
    const AtlasExportResult result = f.Export(request, "a");
    ASSERT_EQ(result.status, AtlasExportStatus::Written) << f.host.messages.size();
    const Json data = AllFrames(result);
    std::vector<Rgba> pages;
    for (std::size_t p = 0; p < result.layout.pages.size(); ++p)
        pages.push_back(ReadRgba(result.paths[p]));
    ASSERT_EQ(data["frames"].size(), 7u);

    std::map<std::tuple<int, int, int, int, int>, int> cells;  // page, rect -> image
    for (std::size_t i = 0; i < 7; ++i) {
        const Json& frame = data["frames"][std::to_string(i)];
        const int page = frame["pixhaul"].value("page", 0);
        const Rgba& sheet = pages.at(static_cast<std::size_t>(page));
        const int x = frame["frame"]["x"], y = frame["frame"]["y"], w = frame["frame"]["w"],
                  h = frame["frame"]["h"];
        const int ox = frame["spriteSourceSize"]["x"], oy = frame["spriteSourceSize"]["y"];
        const int image = frame["pixhaul"]["image"];
        ASSERT_LE(x + w + c.extrude, static_cast<int>(sheet.width));
        ASSERT_LE(y + h + c.extrude, static_cast<int>(sheet.height));
        const auto [cell, added] = cells.emplace(std::tuple{page, x, y, w, h}, image);
        EXPECT_EQ(cell->second, image) << "two images share a place";
        EXPECT_TRUE(added || !c.keepDuplicates) << "a kept duplicate shares a place";

        // The trimmed pixels put back at their offset give the untrimmed frame.
        RgbaImage expected;
        RenderRgba(f.model, image, Settings{}.TransColor, f.host, expected);
        ASSERT_EQ(frame["sourceSize"]["w"], expected.width);
        ASSERT_EQ(frame["sourceSize"]["h"], expected.height);
        for (int sy = 0; sy < expected.height; ++sy) {
            for (int sx = 0; sx < expected.width; ++sx) {
                const bool inside = sx >= ox && sx < ox + w && sy >= oy && sy < oy + h;
                const std::uint8_t clear[4] = {0, 0, 0, 0};
                const std::uint8_t* got = inside ? sheet.At(x + sx - ox, y + sy - oy) : clear;
                ASSERT_TRUE(std::equal(got, got + 4, expected.At(sx, sy)))
                    << i << " " << sx << "," << sy;
            }
        }
        // Extrusion: the rows and columns around the frame repeat its edges.
        for (int k = 1; k <= c.extrude; ++k) {
            for (int r = 0; r < h; ++r) {
                EXPECT_TRUE(std::equal(sheet.At(x - k, y + r), sheet.At(x - k, y + r) + 4,
                                       sheet.At(x, y + r)));
                EXPECT_TRUE(std::equal(sheet.At(x + w - 1 + k, y + r),
                                       sheet.At(x + w - 1 + k, y + r) + 4,
                                       sheet.At(x + w - 1, y + r)));
            }
            EXPECT_TRUE(
                std::equal(sheet.At(x - k, y - k), sheet.At(x - k, y - k) + 4, sheet.At(x, y)));
        }
    }
    EXPECT_EQ(cells.size(), c.keepDuplicates ? 7u : 4u);
    for (const Rgba& page : pages) {
        if (c.maxWidth > 0) {
            EXPECT_LE(page.width, static_cast<std::uint32_t>(c.maxWidth));
        }
        if (c.maxHeight > 0) {
            EXPECT_LE(page.height, static_cast<std::uint32_t>(c.maxHeight));
        }
        if (c.pot) {
            EXPECT_EQ(page.width & (page.width - 1), 0u);
        }
        if (c.pot) {
            EXPECT_EQ(page.height & (page.height - 1), 0u);
        }
    }
    // The fully transparent image: one clear pixel at (0, 0), never a negative offset.
    if (c.trim) {
        EXPECT_EQ(data["frames"]["1"]["spriteSourceSize"],
                  Json::parse(R"({"x":0,"y":0,"w":1,"h":1})"));
    }

    // A second export writes the same bytes.
    const AtlasExportResult again = f.Export(request, "b");
    ASSERT_EQ(again.paths.size(), result.paths.size());
    for (std::size_t p = 0; p < result.paths.size(); ++p) {
        if (!result.paths[p].ends_with(".json")) {
            EXPECT_EQ(ReadAll(again.paths[p]), ReadAll(result.paths[p]));
            continue;
        }
        std::string second = ReadText(again.paths[p]);
        for (std::size_t at; (at = second.find("\"b")) != std::string::npos;)
            second.replace(at, 2, "\"a");
        EXPECT_EQ(second, ReadText(result.paths[p]));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Options, AtlasCases,
    ::testing::Values(Case{"plain", false, 0, 0, false, 0, 0, false},
                      Case{"trim", true, 0, 0, false, 0, 0, false},
                      Case{"trimPaddedExtruded", true, 2, 2, false, 0, 0, false},
                      Case{"potPages", false, 1, 1, true, 16, 12, false},
                      Case{"keptDuplicatesOnPages", true, 1, 0, false, 9, 8, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Atlas, GodotAndLibGdxAgreeWithTheJsonAndAnimationsAreUnique) {
    Fixture f;
    AtlasExportRequest request;
    request.Trim = true;
    request.Layout = {1, 0, false, 10, 8, false};
    const Json data = AllFrames(f.Export(request, "j"));
    const AtlasLayoutOptions paged = request.Layout;
    request.Layout = {};  // the animations of one page: all of them
    const Json onePage = Json::parse(ReadText(f.Export(request, "one").paths.back()));
    request.Layout = paged;
    request.Data = AtlasDataFormat::Godot;
    const std::string godot = ReadText(f.Export(request, "g").paths.back());
    request.Data = AtlasDataFormat::LibGdx;
    const std::string gdx = ReadText(f.Export(request, "l").paths.back());

    std::vector<std::string> names;
    for (const auto& [name, keys] : onePage["animations"].items()) names.push_back(name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"0_Walk_d0", "0_Walk_d1", "0_Walk_d0_2", "1_Action_0_d0"}));
    EXPECT_EQ(onePage["meta"]["frameTags"][1],
              Json::parse(R"({"name":"0_Walk_d1","from":3,"to":4,"direction":"forward"})"));

    // Godot: sub-resources in frame order, each with its page and region.
    std::size_t i = 0;
    for (std::size_t at = godot.find("atlas = ExtResource("); at != std::string::npos;
         at = godot.find("atlas = ExtResource(", at + 1), ++i) {
        int page = 0, x = 0, y = 0, w = 0, h = 0;
        ASSERT_EQ(std::sscanf(godot.c_str() + at,
                              "atlas = ExtResource(\"%d\")\nregion = Rect2(%d, %d, %d, %d)", &page,
                              &x, &y, &w, &h),
                  5);
        const Json& frame = data["frames"][std::to_string(i)];
        EXPECT_EQ(page - 1, frame["pixhaul"].value("page", 0));
        EXPECT_EQ(Json::array({x, y, w, h}),
                  Json::array({frame["frame"]["x"], frame["frame"]["y"], frame["frame"]["w"],
                               frame["frame"]["h"]}));
    }
    EXPECT_EQ(i, 7u);
    EXPECT_NE(godot.find("\"name\": &\"0_Walk_d0_2\""), std::string::npos);

    // libGDX: regions by name and index, offsets counted from the bottom.
    std::istringstream lines(gdx);
    std::string line, page, name;
    int regions = 0;
    std::map<std::string, int> pageNumber;
    while (std::getline(lines, line)) {
        if (line.ends_with(".png"))
            pageNumber.emplace(page = line, static_cast<int>(pageNumber.size()));
        else if (!line.empty() && line[0] != ' ' && line.find(':') == std::string::npos)
            name = line;
        if (!line.starts_with("  xy:")) continue;
        int x, y, w, h, ow, oh, ox, oy, index;
        std::string size, orig, offset, rest;
        std::getline(lines, size), std::getline(lines, orig), std::getline(lines, offset),
            std::getline(lines, rest);
        std::sscanf(line.c_str(), "  xy: %d, %d", &x, &y);
        std::sscanf(size.c_str(), "  size: %d, %d", &w, &h);
        std::sscanf(orig.c_str(), "  orig: %d, %d", &ow, &oh);
        std::sscanf(offset.c_str(), "  offset: %d, %d", &ox, &oy);
        std::sscanf(rest.c_str(), "  index: %d", &index);
        const Json& frame = data["frames"][onePage["animations"][name][index].get<std::string>()];
        EXPECT_EQ(pageNumber[page], frame["pixhaul"].value("page", 0));
        EXPECT_EQ(Json::array({x, y, w, h, ow, ox, oh - oy - h}),
                  Json::array({frame["frame"]["x"], frame["frame"]["y"], frame["frame"]["w"],
                               frame["frame"]["h"], frame["sourceSize"]["w"],
                               frame["spriteSourceSize"]["x"], frame["spriteSourceSize"]["y"]}));
        ++regions;
    }
    EXPECT_EQ(regions, 7);
}

TEST(Atlas, AFrameLargerThanThePageIsRefusedByName) {
    Fixture f;
    AtlasExportRequest request;
    request.Layout.maxWidth = 6;
    request.Layout.maxHeight = 6;
    EXPECT_EQ(f.Export(request, "x").status, AtlasExportStatus::TooLarge);
    ASSERT_EQ(f.host.messages.size(), 1u);
    EXPECT_NE(f.host.messages[0].text.find("frame 2 of object 0, action 0, direction 0 (image 2)"),
              std::string::npos)
        << f.host.messages[0].text;
    EXPECT_EQ(testing::FileNames(f.dir.Path()), std::vector<std::string>{"a.qxa"});
}

// Pages and data replace the older files all together or not at all: here the data file
// cannot be replaced, and the page written before it is put back.
TEST(Atlas, AFileThatCannotBeReplacedLeavesEveryOlderFile) {
    Fixture f;
    ASSERT_EQ(f.Export({}, "x").status, AtlasExportStatus::Written);
    testing::WriteFile(f.dir.File("x.png"), {'o', 'l', 'd'});
    testing::WriteFile(f.dir.File("x.json"), {'O', 'L', 'D'});
    const testing::ImmutableFile stuck(f.dir.File("x.json"));
    if (!stuck.Held()) GTEST_SKIP() << "no immutable files here (needs root)";
    EXPECT_EQ(f.Export({}, "x").status, AtlasExportStatus::Failed);
    EXPECT_EQ(ReadText(f.dir.File("x.png")), "old");
    EXPECT_EQ(ReadText(f.dir.File("x.json")), "OLD");
    EXPECT_EQ(testing::FileNames(f.dir.Path()),
              (std::vector<std::string>{"a.qxa", "x.json", "x.png"}));
}

struct PatternCase {
    const char* pattern;
    const char* action;
    const char* expected;  // "" when refused
};

TEST(FramePattern, FieldsArePaddedAndMadeSafe) {
    const PatternCase cases[] = {
        {kDefaultFramePattern, "Walk", "03/Walk_d1_007.png"},
        {"{image:5}-{frame}.png", "Walk", "00042-07.png"},
        {"{object}/{action}.png", "../up", "03/.._up.png"},
        {"{object}/{action}.png", "..", "03/__.png"},
        {"{action}.png", "a\nb", "a_b.png"},
        {"../{frame}.png", "Walk", ""},
        {"/{frame}.png", "Walk", ""},
        {"{frame}//x.png", "Walk", ""},
        {"{colour}.png", "Walk", ""},
        {"{frame.png", "Walk", ""},
    };
    for (const PatternCase& c : cases) {
        const FrameNameFields fields{3, c.action, 1, 7, 42};
        const FrameFieldWidths widths{2, 1, 2, 3};
        if (*c.expected == '\0') {
            EXPECT_THROW(ExpandFramePattern(c.pattern, fields, widths), FramePatternError)
                << c.pattern;
        } else {
            EXPECT_EQ(ExpandFramePattern(c.pattern, fields, widths), c.expected) << c.pattern;
        }
    }
}

TEST(FramesExport, OneTrimmedRgbaFilePerFrameSortedInArchiveOrder) {
    Fixture f;
    Settings settings;
    settings.ExportFolder = f.dir.File("frames/");
    FramesExportRequest request{ExportMode::SelectedAction, 0, 0};
    request.Trim = true;
    const FramesExportResult result = ExportFrames(f.model, settings, f.host, request);
    ASSERT_EQ(result.status, FramesExportStatus::Written);
    ASSERT_EQ(result.paths.size(), 5u);
    EXPECT_TRUE(std::is_sorted(result.paths.begin(), result.paths.end()));
    EXPECT_EQ(result.paths[0], settings.ExportFolder + "0/Walk_d0_000.png");
    const Rgba first = ReadRgba(result.paths[0]);  // image 1: its 2 x 2 visible block
    EXPECT_EQ(std::tuple(first.width, first.height, first.At(0, 0)[3]), std::tuple(2u, 2u, 255));
    const Rgba empty = ReadRgba(result.paths[1]);  // image 2: one clear pixel
    EXPECT_EQ(std::tuple(empty.width, empty.height, empty.At(0, 0)[3]), std::tuple(1u, 1u, 0));
    // As BMP: the same trimmed pixels, bottom row first, the clear one in the transparent colour.
    request.Bmp = true;
    request.Pattern = "{direction}_{frame}.bmp";
    const FramesExportResult bmps = ExportFrames(f.model, settings, f.host, request);
    ASSERT_EQ(bmps.status, FramesExportStatus::Written);
    const auto bmp = ReadAll(bmps.paths[0]);
    ASSERT_EQ(bmp.size(), 54u + 8 * 2);
    const std::uint8_t* bottomLeft = first.At(0, 1);
    EXPECT_EQ(std::vector(bmp.begin() + 54, bmp.begin() + 57),
              std::vector<std::uint8_t>({bottomLeft[2], bottomLeft[1], bottomLeft[0]}));
    const auto clear = ReadAll(bmps.paths[1]);
    EXPECT_EQ(std::vector(clear.begin() + 54, clear.begin() + 57),
              std::vector<std::uint8_t>({0xFF, 0x00, 0xFF}));

    request.Mode = ExportMode::AllObjects;  // two actions named "Walk": names collide
    request.Pattern = kDefaultFramePattern;
    EXPECT_EQ(ExportFrames(f.model, settings, f.host, request).status,
              FramesExportStatus::BadPattern);
}

}  // namespace
}  // namespace pixhaul
