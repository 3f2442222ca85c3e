#pragma once
// What every export that assembles a sheet shares: the rows of a frame list, the guard on the
// memory of one band, the lock that keeps a second export from starting, and the error box.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "export/export_list.h"
#include "platform/host.h"

namespace pixhaul {

inline constexpr const char* kCaptionIndexing = "Indexing images...";
inline constexpr const char* kCaptionAssembling = "Assembling frames...";
inline constexpr const char* kNothingToExport = "Nothing to export: the selection holds no frames.";

// One sheet row of a frame list: entries [first, end), top edge y, height.
struct SheetRow {
    std::size_t first = 0;
    std::size_t end = 0;
    std::int64_t y = 0;
    std::int32_t height = 0;
};

// The rows of the list, top to bottom. A row ends at an entry with RowEnd set, and at the last
// entry in any case.
std::vector<SheetRow> SheetRowsOf(const std::vector<ExportFrame>& list);
// The height of the tallest row (0 for none).
std::int32_t TallestRow(const std::vector<SheetRow>& rows);

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
// The refusal for a width x height sheet whose tallest row is tallestRow, or nothing when its
// band fits kMaxSheetBandBytes.
std::optional<std::string> BandRefusal(std::int64_t width, std::int64_t height,
                                       std::int64_t tallestRow);

// Marks an export as running for as long as it lives, however the export ends.
class ExportLock {
  public:
    explicit ExportLock(Host& host);
    ~ExportLock();
    ExportLock(const ExportLock&) = delete;
    ExportLock& operator=(const ExportLock&) = delete;

  private:
    Host& host_;
};

// "Error 2 Encountered:\r\n\"No such file or directory\"" in a critical box titled "Dammit!".
// The file the error is about, when known, goes into the box's details as kExportErrorFile + path.
inline constexpr const char* kExportErrorFile = "File: ";
void ShowExportError(Host& host, int number, const std::string& description,
                     const std::string& path = std::string());

}  // namespace pixhaul
