#include "export/export_list.h"

#include <algorithm>
#include <unordered_set>

namespace pixhaul {
namespace {

// The resolved [first, last] of one level holding `count` entries; empty when first > last.
struct Range {
    std::int64_t first = 0;
    std::int64_t last = -1;
};

Range Resolve(std::int32_t from, std::int32_t to, std::size_t count) {
    const std::int64_t lastThatExists = static_cast<std::int64_t>(count) - 1;
    Range r;
    r.first = std::max<std::int64_t>(from, 0);
    r.last = to == -1 ? lastThatExists : std::min<std::int64_t>(to, lastThatExists);
    return r;
}

// The most entries the list is given room for up front; larger lists simply grow.
constexpr std::int64_t kMaxReserve = std::int64_t{1} << 22;

}  // namespace

SheetSize BuildExportList(const ArchiveModel& model, Host& host, std::vector<ExportFrame>& List,
                          std::int32_t ObjTo, std::int32_t ActTo, std::int32_t DirTo,
                          std::int32_t FrmTo, std::int32_t ObjFrom, std::int32_t ActFrom,
                          std::int32_t DirFrom, std::int32_t FrmFrom) {
    host.SetCaption(kCaptionGeneratingList);
    List.clear();
    List.reserve(
        static_cast<std::size_t>(std::clamp<std::int64_t>(model.TotalFrames + 1, 1, kMaxReserve)));
    std::unordered_set<std::int32_t> listed;
    SheetSize size;
    // The archive this list is built from; a reset or another load during a yield ends the build.
    const ArchiveFile* const archive = model.File.get();

    const Range objects = Resolve(ObjFrom, ObjTo, model.Objects.size());
    for (std::int64_t o = objects.first; o <= objects.last; ++o) {
        const ObjectRecord& object = model.Objects[static_cast<std::size_t>(o)];
        const Range actions = Resolve(ActFrom, ActTo, object.Actions.size());
        for (std::int64_t a = actions.first; a <= actions.last; ++a) {
            const ActionRecord& action = object.Actions[static_cast<std::size_t>(a)];
            const Range directions = Resolve(DirFrom, DirTo, action.Directions.size());
            for (std::int64_t d = directions.first; d <= directions.last; ++d) {
                const DirectionRecord& direction = action.Directions[static_cast<std::size_t>(d)];
                const Range frames = Resolve(FrmFrom, FrmTo, direction.Frames.size());
                std::int64_t rowHeight = 0;
                std::int64_t rowWidth = 0;
                bool rowHasEntries = false;
                for (std::int64_t f = frames.first; f <= frames.last; ++f) {
                    ThrowIfCanceled(host);
                    const std::int32_t image =
                        direction.Frames[static_cast<std::size_t>(f)].ImageIndex;
                    const bool known =
                        image >= 0 && static_cast<std::size_t>(image) < model.Images.size();
                    bool take = known;
                    if (known && host.IsOptionChecked(Option::RemoveDuplicateFrames)) {
                        take = listed.insert(image).second;
                    }
                    if (take) {
                        ExportFrame entry;
                        entry.ImageIndex = image;
                        entry.ObjectIndex = static_cast<std::int32_t>(o);
                        entry.ActionIndex = static_cast<std::int32_t>(a);
                        entry.DirectionIndex = static_cast<std::int32_t>(d);
                        entry.FrameIndex = static_cast<std::int32_t>(f);
                        List.push_back(entry);
                        const ImageRecord& record = model.Images[static_cast<std::size_t>(image)];
                        rowHeight = std::max<std::int64_t>(rowHeight, record.Height);
                        rowWidth += std::max<std::int64_t>(record.Width, 0);
                        rowHasEntries = true;
                    }
                    host.Yield();
                    if (model.File.get() != archive) {
                        List.clear();
                        return {};
                    }
                }
                if (rowHasEntries) {
                    List.back().RowEnd = -1;
                    List.back().RowHeight = static_cast<std::int32_t>(rowHeight);
                    size.Width = std::max(size.Width, rowWidth);
                    size.Height += rowHeight;
                }
            }
        }
    }
    List.shrink_to_fit();
    return size;
}

SheetSize BuildExportList(const ArchiveModel& model, Host& host, std::vector<ExportFrame>& List,
                          const ExportRange& range) {
    return BuildExportList(model, host, List, range.toObject, range.toAction, range.toDirection,
                           range.toFrame, range.fromObject, range.fromAction, range.fromDirection,
                           range.fromFrame);
}

}  // namespace pixhaul
