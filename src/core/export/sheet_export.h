#pragma once
// The bitmap export: a range of frames (or the displayed image, or a sequence of images) as one
// sheet picture, with a lookup table (.dat) of where every frame lies.
#include <cstdint>
#include <string>
#include <vector>

#include "archive/model.h"
#include "export/naming.h"
#include "export/output_budget.h"
#include "formats/png_writer.h"
#include "platform/host.h"

namespace pixhaul {

enum class SheetFormat { Bmp, Png };

// What the window (or the qxa tool) gathers from its widgets before an export.
struct SheetExportRequest {
    ExportMode Mode = ExportMode::AllObjects;
    // Selected items of List1, List2 and List3; -1 when the list has no selection.
    std::int32_t Object = -1;
    std::int32_t Action = -1;
    std::int32_t Direction = -1;
    // HScroll1's value: the displayed image (mode 6).
    std::int32_t DisplayedImage = 0;
    // The List5 sequence of image indices (mode 7), in order, duplicates kept.
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
};

struct SheetExportResult {
    SheetExportStatus status = SheetExportStatus::NoSelection;
    std::vector<std::string> paths;           // files written, sheet first
    // Images that could not be decoded fully: a corrupt stream, or a size that cannot be decoded.
    std::vector<std::int32_t> corruptImages;
    std::int64_t width = 0;                   // the sheet's size
    std::int64_t height = 0;
};

inline constexpr const char* kCaptionIndexing = "Indexing images...";
inline constexpr const char* kCaptionAssembling = "Assembling frames...";
inline constexpr const char* kNothingToExport = "Nothing to export: the selection holds no frames.";

// The exports assemble a sheet one row of frames at a time, in a band as wide as the sheet and
// as tall as its tallest row. A sheet whose band would take more than this is refused as too
// large, whatever its file format could hold: frames are cheap in an archive (8 bytes each, and
// many may name one large image), memory is not.
inline constexpr std::int64_t kMaxSheetBandBytes = std::int64_t{1} << 30;  // 1 GiB

// The band's bytes (24-bit rows padded to 4 bytes); -1 for a negative size, a width beyond
// 32 bits or a product beyond 64.
std::int64_t SheetBandBytes(std::int64_t width, std::int64_t tallestRow);
// The message shown when the band of a width x height sheet is over kMaxSheetBandBytes.
std::string SheetTooLargeToAssemble(std::int64_t width, std::int64_t height,
                                    std::int64_t bandBytes);

// The file name (without extension) an export of the request writes under settings.ExportFolder:
// settings.ExportName, or the automatic name when that is empty.
std::string SheetExportName(const ArchiveModel& model, const Settings& settings,
                            const SheetExportRequest& request);

// Exports by request.Mode into settings.ExportFolder + settings.ExportName (an automatic name
// when ExportName is empty). ExportName is emptied after a written export and kept otherwise.
// Options read from the host at the moment of use: GenerateLookupTable, RemoveDuplicateFrames,
// CacheRenderedImages.
// The sheet's pixels and file size are checked against budget before anything is written.
SheetExportResult ExportBitmaps(ArchiveModel& model, Settings& settings, Host& host,
                                const SheetExportRequest& request,
                                const OutputBudget& budget = {});

// "Error 2 Encountered:\r\n\"No such file or directory\"" in a critical box titled "Dammit!".
void ShowExportError(Host& host, int number, const std::string& description);

}  // namespace pixhaul
