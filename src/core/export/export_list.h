#pragma once
// The list of frames an export places on a sheet: one sheet row per direction, the frames of a
// direction side by side in frame order, rows stacked top to bottom in hierarchy order.
#include <cstdint>
#include <vector>

#include "archive/model.h"
#include "platform/host.h"

namespace pixhaul {

// One frame placed on a sheet.
struct ExportFrame {
    std::int16_t RowEnd = 0;      // -1 on the last entry of a sheet row, 0 elsewhere
    std::int32_t RowHeight = 0;   // on a row's last entry: the row's height; 0 elsewhere
    std::int32_t ImageIndex = 0;  // index into Images
    std::int32_t ObjectIndex = 0;
    std::int32_t ActionIndex = 0;
    std::int32_t DirectionIndex = 0;
    std::int32_t FrameIndex = 0;
};

// A sheet's size in pixels. 64-bit, so that callers can see a sheet too large for a file format
// before anything overflows.
struct SheetSize {
    std::int64_t Width = 0;
    std::int64_t Height = 0;
};

// The part of the hierarchy an export takes: per level the first index and the last (-1: the last
// that exists). The default is the whole archive.
struct ExportRange {
    std::int32_t fromObject = 0;
    std::int32_t toObject = -1;
    std::int32_t fromAction = 0;
    std::int32_t toAction = -1;
    std::int32_t fromDirection = 0;
    std::int32_t toDirection = -1;
    std::int32_t fromFrame = 0;
    std::int32_t toFrame = -1;
};

inline constexpr const char* kCaptionGeneratingList = "Generating frame list for export...";

// Fills List (from empty) with the frames of the range and returns the sheet size.
// Each "To" bound is the last index visited at its level, -1 meaning the last that exists; each
// "From" bound is the first index, applied under every parent visited. Bounds beyond what a level
// holds are clamped. With Option::RemoveDuplicateFrames on (read for every frame), a frame whose
// image is already listed is left out. Frames naming no image (ImageIndex -1 or outside Images)
// are skipped. The host yields once for every frame visited; when the archive is reset or another
// one loaded meanwhile, the build stops with an empty list and a 0 x 0 size.
// Asks host.IsCanceled() before every frame and throws WorkCanceled when asked to stop.
SheetSize BuildExportList(const ArchiveModel& model, Host& host, std::vector<ExportFrame>& List,
                          std::int32_t ObjTo, std::int32_t ActTo, std::int32_t DirTo,
                          std::int32_t FrmTo, std::int32_t ObjFrom, std::int32_t ActFrom,
                          std::int32_t DirFrom, std::int32_t FrmFrom);
// The same for a named range.
SheetSize BuildExportList(const ArchiveModel& model, Host& host, std::vector<ExportFrame>& List,
                          const ExportRange& range);

}  // namespace pixhaul
