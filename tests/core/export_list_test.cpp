// The export frame list: rows, sizes, duplicate removal, ranges and their bounds.
#include "export/export_list.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "recording_host.h"

namespace pixhaul {
namespace {

using testing::RecordingHost;

// object -> action -> direction -> image index of each frame
using Hierarchy = std::vector<std::vector<std::vector<std::vector<std::int32_t>>>>;

// A model with images of the given (width, height) and the given hierarchy; no bitmaps needed.
ArchiveModel MakeModel(const std::vector<std::pair<int, int>>& sizes, const Hierarchy& objects) {
    ArchiveModel model;
    model.Images.clear();
    for (const auto& [w, h] : sizes) {
        ImageRecord record;
        record.Width = static_cast<std::int16_t>(w);
        record.Height = static_cast<std::int16_t>(h);
        record.Length = 1;
        model.Images.push_back(std::move(record));
    }
    model.Objects.clear();
    model.TotalFrames = 0;
    for (const auto& actions : objects) {
        ObjectRecord object;
        for (const auto& directions : actions) {
            ActionRecord action;
            for (const auto& frames : directions) {
                DirectionRecord direction;
                for (std::int32_t image : frames) direction.Frames.push_back({0, image});
                direction.FrameCount = static_cast<std::int32_t>(frames.size());
                model.TotalFrames += direction.FrameCount;
                action.Directions.push_back(std::move(direction));
            }
            action.DirectionCount = static_cast<std::int32_t>(action.Directions.size());
            object.Actions.push_back(std::move(action));
        }
        object.ActionCount = static_cast<std::int32_t>(object.Actions.size());
        model.Objects.push_back(std::move(object));
    }
    model.ObjectCount = static_cast<std::int32_t>(model.Objects.size());
    return model;
}

SheetSize BuildAll(const ArchiveModel& model, Host& host, std::vector<ExportFrame>& list) {
    return BuildExportList(model, host, list, ExportRange{});
}

std::vector<std::int32_t> ImagesOf(const std::vector<ExportFrame>& list) {
    std::vector<std::int32_t> images;
    for (const auto& e : list) images.push_back(e.ImageIndex);
    return images;
}

std::vector<std::int32_t> RowHeightsOf(const std::vector<ExportFrame>& list) {
    std::vector<std::int32_t> heights;
    for (const auto& e : list) {
        EXPECT_TRUE(e.RowEnd == 0 || e.RowEnd == -1);
        if (e.RowEnd == 0) {
            EXPECT_EQ(e.RowHeight, 0);
        }
        heights.push_back(e.RowEnd == -1 ? e.RowHeight : 0);
    }
    return heights;
}

// Rows (one per direction), sizes and duplicate removal over whole archives.
TEST(ExportList, RowsSizesAndDuplicates) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, int>> sizes;
        Hierarchy objects;
        bool removeDuplicates;
        std::vector<std::int32_t> images, rowHeights;  // row height at each row's last frame
        std::int32_t width, height;
    };
    const std::vector<std::pair<int, int>> four = {{2, 2}, {3, 3}, {4, 4}, {5, 5}};
    // Image 0 in two objects, image 1 in two actions, image 2 in two directions.
    const Hierarchy everywhere = {{{{0, 2}, {2, 1}}, {{1}}}, {{{0, 3}}}};
    // clang-format off
    const Case cases[] = {
        {"one row, as tall as the tallest", {{10, 20}, {30, 40}, {20, 40}}, {{{{0, 1, 2}}}}, true,
         {0, 1, 2}, {0, 0, 40}, 60, 40},
        {"rows stack, widest row", {{10, 20}, {30, 40}, {20, 40}, {100, 25}},
         {{{{0, 1, 2}, {3}}}}, true, {0, 1, 2, 3}, {0, 0, 40, 25}, 100, 65},
        {"tallest frame first", {{10, 40}, {30, 20}}, {{{{0, 1}}}}, true, {0, 1}, {0, 40}, 40, 40},
        {"a direction of only duplicates leaves no row", {{10, 20}, {30, 40}},
         {{{{0, 1}, {1, 0, 1}, {1}}}}, true, {0, 1}, {0, 40}, 40, 40},
        {"duplicates removed everywhere", four, everywhere, true, {0, 2, 1, 3}, {0, 4, 3, 5}, 6, 12},
        {"duplicates kept", four, everywhere, false, {0, 2, 2, 1, 1, 0, 3}, {0, 4, 0, 4, 3, 0, 5},
         7, 16},
        {"frames without an image skipped", {{10, 20}}, {{{{-1, 0, 7}, {}, {-1}}}}, true, {0},
         {20}, 10, 20},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto model = MakeModel(c.sizes, c.objects);
        RecordingHost host;
        host.SetOption(Option::RemoveDuplicateFrames, c.removeDuplicates);
        std::vector<ExportFrame> list(3);  // refilled from empty
        const SheetSize size = BuildAll(model, host, list);
        EXPECT_EQ(ImagesOf(list), c.images);
        EXPECT_EQ(RowHeightsOf(list), c.rowHeights);
        EXPECT_EQ(size.Width, c.width);
        EXPECT_EQ(size.Height, c.height);
    }
}

TEST(ExportList, FrameIndicesAndTheOptionReadForEveryFrame) {
    const auto model = MakeModel({{1, 1}, {4, 3}, {2, 5}}, {{{{1, 1, 2}}}, {{{0}}}});
    RecordingHost host;
    host.SetOption(Option::RemoveDuplicateFrames, true);
    host.optionReads = 0;
    std::vector<ExportFrame> list;
    BuildAll(model, host, list);
    ASSERT_EQ(ImagesOf(list), (std::vector<std::int32_t>{1, 2, 0}));
    EXPECT_EQ(list[1].FrameIndex, 2);
    EXPECT_EQ(list[2].ObjectIndex, 1);
    EXPECT_EQ(list[2].FrameIndex, 0);
    EXPECT_EQ(host.optionReads, 4);
    EXPECT_EQ(host.yields, 4);  // skipped frames are visited too
}

TEST(ExportList, FromBoundsApplyUnderEveryParentAndToBoundsAreClamped) {
    // Two objects, each with three actions of one direction with frames {0, 1, 2}.
    const std::vector<std::vector<std::int32_t>> direction = {{0, 1, 2}};
    const Hierarchy objects = {{direction, direction, direction},
                               {direction, direction, direction}};
    const auto model = MakeModel({{1, 1}, {2, 2}, {3, 3}}, objects);
    RecordingHost host;
    host.SetOption(Option::RemoveDuplicateFrames, false);
    std::vector<ExportFrame> list;

    BuildExportList(
        model, host, list,
        ExportRange{
            .toObject = 500, .fromAction = 2, .toAction = 400, .fromFrame = 1, .toFrame = 300});
    ASSERT_EQ(list.size(), 4u);
    for (const auto& e : list) EXPECT_EQ(e.ActionIndex, 2);
    EXPECT_EQ(list[0].ObjectIndex, 0);
    EXPECT_EQ(list[2].ObjectIndex, 1);
    EXPECT_EQ(list[0].FrameIndex, 1);
    EXPECT_EQ(list[1].FrameIndex, 2);

    // Ranges that name nothing: past the end, reversed, negative.
    for (auto bounds : std::vector<std::vector<std::int32_t>>{{5, -1, -1, -1, 5, 0, 0, 0},
                                                              {0, 1, -1, -1, 0, 2, 0, 0},
                                                              {-7, -1, -1, -1, 0, 0, 0, 0},
                                                              {-1, -1, -1, -1, 0, 0, 0, 3},
                                                              {-1, -1, -1, 2, -1, -1, -1, -40}}) {
        const SheetSize size =
            BuildExportList(model, host, list, bounds[0], bounds[1], bounds[2], bounds[3],
                            bounds[4], bounds[5], bounds[6], bounds[7]);
        if (bounds[7] == -40) {
            EXPECT_EQ(list.size(), 18u);  // From below 0 starts at 0
            continue;
        }
        EXPECT_TRUE(list.empty());
        EXPECT_EQ(size.Width, 0);
        EXPECT_EQ(size.Height, 0);
    }
}

}  // namespace
}  // namespace pixhaul
