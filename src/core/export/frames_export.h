#pragma once
// The frames export: one picture file per frame of a selection (RGBA PNG, or a 24-bit BMP with
// the transparent colour), named by a pattern of the frame's fields.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/model.h"
#include "export/atlas_layout.h"
#include "export/naming.h"
#include "export/output_budget.h"
#include "formats/png_writer.h"
#include "platform/host.h"

namespace pixhaul {

inline constexpr const char* kDefaultFramePattern = "{object}/{action}_d{direction}_{frame:03}.png";

struct FramesExportRequest {
    ExportMode Mode = ExportMode::AllObjects;  // or SelectedObject, -Action, -Direction
    std::int32_t Object = -1;
    std::int32_t Action = -1;
    std::int32_t Direction = -1;
    std::string Pattern = kDefaultFramePattern;
    bool Trim = false;
    bool Bmp = false;
    int PngLevel = kPngDefaultCompression;
};

enum class FramesExportStatus {
    Written,
    NoSelection,
    NothingToExport,
    BadPattern,  // the pattern or the names it gives are refused: told, nothing written
    OverBudget,
    Interrupted,
    Canceled,  // stopped between two files: the files already written stay
    Failed,    // a file error: told; the files before it stay
};

struct FramesExportResult {
    FramesExportStatus status = FramesExportStatus::NoSelection;
    std::vector<std::string> paths;
    std::vector<std::int32_t> corruptImages;
};

class FramePatternError : public std::invalid_argument {
  public:
    using std::invalid_argument::invalid_argument;
};

// What a pattern's fields stand for. The numbers are written with the digits of `widths` (the
// widest of the export) unless the pattern asks for its own ("{frame:03}"), so that file names
// sort in archive order.
struct FrameNameFields {
    std::int32_t object = 0;
    std::string action;  // the action's name (its number when it has none)
    std::int32_t direction = 0;
    std::int32_t frame = 0;
    std::int32_t image = 0;
};
struct FrameFieldWidths {
    int object = 1;
    int direction = 1;
    int frame = 1;
    int image = 1;
};

// The relative path the pattern gives: every field made safe for a file name, no empty, "." or
// ".." part, no absolute path, no control character. Throws FramePatternError for an unknown
// field, an unclosed brace or a path the pattern itself makes unsafe.
std::string ExpandFramePattern(const std::string& pattern, const FrameNameFields& fields,
                               const FrameFieldWidths& widths);

// Writes the frames under settings.ExportFolder; messages go to the host.
FramesExportResult ExportFrames(ArchiveModel& model, const Settings& settings, Host& host,
                                const FramesExportRequest& request,
                                const OutputBudget& budget = {});

}  // namespace pixhaul
