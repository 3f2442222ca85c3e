#include "export/sheet_assembly.h"

#include <algorithm>
#include <limits>

#include "platform/surface.h"

namespace pixhaul {

std::vector<SheetRow> SheetRowsOf(const std::vector<ExportFrame>& list) {
    std::vector<SheetRow> rows;
    std::size_t first = 0;
    std::int64_t y = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].RowEnd == 0 && i + 1 < list.size()) continue;
        const std::int32_t height = std::max<std::int32_t>(list[i].RowHeight, 0);
        rows.push_back({first, i + 1, y, height});
        y += height;
        first = i + 1;
    }
    return rows;
}

std::int32_t TallestRow(const std::vector<SheetRow>& rows) {
    std::int32_t tallest = 0;
    for (const SheetRow& row : rows) tallest = std::max(tallest, row.height);
    return tallest;
}

std::int64_t SheetBandBytes(std::int64_t width, std::int64_t tallestRow) {
    if (width < 0 || tallestRow < 0 || width > std::numeric_limits<std::int32_t>::max()) return -1;
    const std::int64_t stride = StrideFor(static_cast<std::int32_t>(width));
    if (tallestRow != 0 && stride > std::numeric_limits<std::int64_t>::max() / tallestRow) {
        return -1;
    }
    return stride * tallestRow;
}

std::string SheetTooLargeToAssemble(std::int64_t width, std::int64_t height,
                                    std::int64_t bandBytes) {
    const std::string band =
        bandBytes < 0 ? std::string("more") : std::to_string(bandBytes >> 20) + " MiB";
    return "The sheet of " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels is too large to assemble: one row of frames takes " + band +
           " of memory, at most " + std::to_string(kMaxSheetBandBytes >> 20) +
           " MiB are allowed. Export a smaller selection.";
}

std::optional<std::string> BandRefusal(std::int64_t width, std::int64_t height,
                                       std::int64_t tallestRow) {
    const std::int64_t band = SheetBandBytes(width, tallestRow);
    if (band >= 0 && band <= kMaxSheetBandBytes) return std::nullopt;
    return SheetTooLargeToAssemble(width, height, band);
}

ExportLock::ExportLock(Host& host) : host_(host) {
    host_.ExportStarted();
}

ExportLock::~ExportLock() {
    host_.ExportFinished();
}

void ShowExportError(Host& host, int number, const std::string& description,
                     const std::string& path) {
    host.ShowMessage("Error " + std::to_string(number) + " Encountered:\r\n\"" + description + "\"",
                     "Dammit!", MessageIcon::Critical, MessageButtons::Ok,
                     path.empty() ? std::string() : kExportErrorFile + path);
}

}  // namespace pixhaul
