#pragma once
// The bitmap export: a range of frames (or the displayed image, or a sequence of images) as one
// sheet picture, with a lookup table (.dat) of where every frame lies.
#include <cstdint>
#include <string>
#include <vector>

#include "archive/model.h"
#include "export/naming.h"
#include "export/output_budget.h"
#include "export/sheet_assembly.h"
#include "formats/png_writer.h"
#include "platform/host.h"

namespace pixhaul {

enum class SheetFormat { Bmp, Png };

// What the window (or the qxa tool) gathers from its widgets before an export.
struct SheetExportRequest {
    ExportMode Mode = ExportMode::AllObjects;
    // The selected object, action and direction; -1 when there is no selection.
    std::int32_t Object = -1;
    std::int32_t Action = -1;
    std::int32_t Direction = -1;
    // The displayed image (mode 6).
    std::int32_t DisplayedImage = 0;
    // The hand-built sequence of image indices (mode 7), in order, duplicates kept.
    std::vector<std::int32_t> Sequence;
    SheetFormat Format = SheetFormat::Bmp;
    // zlib's 0 (fastest) to 9 (smallest), for a PNG sheet.
    int PngLevel = kPngDefaultCompression;
};

enum class SheetExportStatus {
    Written,          // the sheet (and the lookup table, when asked for) was written
    NoSelection,      // the mode's selection was missing: nothing shown, nothing written
    EmptyImage,       // mode 6 on an image without data: nothing written
    Undecodable,      // mode 6 on an image whose size cannot be decoded: told, nothing written
    NothingToExport,  // the range holds no frames: the user was told, nothing written
    TooLarge,         // the sheet is larger than the file format holds: the user was told
    OverBudget,       // over the output budget: refused (or declined), nothing written
    Interrupted,      // the archive was reset or replaced while the list was built: nothing written
    Failed,           // a file error: the "Dammit!" box was shown, older files untouched
    Canceled,         // the user stopped it: nothing written
};

struct SheetExportResult {
    SheetExportStatus status = SheetExportStatus::NoSelection;
    std::vector<std::string> paths;  // files written, sheet first
    // Images that could not be decoded fully: a corrupt stream, or a size that cannot be decoded.
    std::vector<std::int32_t> corruptImages;
    std::int64_t width = 0;  // the sheet's size
    std::int64_t height = 0;
};

// The file name (without extension) an export of the request writes under settings.ExportFolder:
// settings.ExportName, or the automatic name when that is empty.
std::string SheetExportName(const ArchiveModel& model, const Settings& settings,
                            const SheetExportRequest& request);

// Exports by request.Mode into settings.ExportName in settings.ExportFolder (an automatic name
// when ExportName is empty). ExportName is emptied after a written export and kept otherwise.
// Options read from the host at the moment of use: GenerateLookupTable, RemoveDuplicateFrames,
// CacheRenderedImages.
// The sheet's pixels and file size are checked against budget before anything is written.
// The host hears ExportStarted and ExportFinished around it; IsCanceled is asked for every frame
// of the list and every band of the sheet.
SheetExportResult ExportBitmaps(ArchiveModel& model, Settings& settings, Host& host,
                                const SheetExportRequest& request, const OutputBudget& budget = {});

}  // namespace pixhaul
