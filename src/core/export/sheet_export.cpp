#include "export/sheet_export.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <system_error>

#include "archive/archive.h"
#include "bitmap/cbitmap.h"
#include "formats/bmp_writer.h"
#include "export/compose_image.h"
#include "formats/dat_writer.h"
#include "export/export_list.h"
#include "export/output_budget.h"
#include "formats/png_writer.h"
#include "platform/atomic_file.h"
#include "platform/archive_file.h"
#include "platform/replace_check.h"

namespace pixhaul {

void ShowExportError(Host& host, int number, const std::string& description) {
    host.ShowMessage("Error " + std::to_string(number) + " Encountered:\r\n\"" + description + "\"",
                     "Dammit!", MessageIcon::Critical, MessageButtons::Ok);
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

namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// Keeps mnuExpNow disabled for as long as the export runs, however it ends.
class ExportNowLock {
  public:
    explicit ExportNowLock(Host& host) : host_(host) { host_.SetExportNowEnabled(false); }
    ~ExportNowLock() { host_.SetExportNowEnabled(true); }
    ExportNowLock(const ExportNowLock&) = delete;
    ExportNowLock& operator=(const ExportNowLock&) = delete;

  private:
    Host& host_;
};

std::int32_t PlacedWidth(const ImageRecord& record) {
    return std::max<std::int32_t>(record.Width, 0);
}

// One sheet row of the list: entries [first, end), top edge y, height.
struct Row {
    std::size_t first = 0;
    std::size_t end = 0;
    std::int64_t y = 0;
    std::int32_t height = 0;
};

std::vector<Row> RowsOf(const std::vector<ExportFrame>& list) {
    std::vector<Row> rows;
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

std::string Extension(SheetFormat format) {
    return format == SheetFormat::Png ? ".png" : ".bmp";
}

// Whether the chosen file format can hold a sheet of this size.
bool FormatHolds(SheetFormat format, const SheetSize& size) {
    if (size.Width < 0 || size.Height < 0 || size.Width > kInt32Max || size.Height > kInt32Max) {
        return false;
    }
    if (format == SheetFormat::Png) return true;
    // A row, the pixel data and the whole file must each fit the format's 32-bit fields.
    const std::int64_t stride = StrideFor(static_cast<std::int32_t>(size.Width));
    const std::uint64_t file =
        static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(size.Height) +
        kBmpHeadersSize;
    return file <= std::numeric_limits<std::uint32_t>::max();
}

void ShowTooLarge(Host& host, SheetFormat format, const SheetSize& size) {
    host.ShowMessage("The sheet of " + std::to_string(size.Width) + " x " +
                         std::to_string(size.Height) + " pixels is too large for a" +
                         (format == SheetFormat::Png ? " PNG" : " bitmap") +
                         " file. Export a smaller selection.",
                     kProgramName, MessageIcon::Exclamation, MessageButtons::Ok);
}

// The sheet file, written band by band in the order its format stores rows.
class SheetFile {
  public:
    SheetFile(SheetFormat format, const std::string& path, std::int32_t width,
              std::int32_t height, int pngLevel) {
        if (format == SheetFormat::Png) {
            png_.emplace(path, width, height, pngLevel);
        } else {
            bmp_.emplace(path, width, height);
        }
    }
    bool BottomUp() const { return bmp_.has_value(); }

    // Writes the bottom `rows` memory rows of a bottom-up surface (a band whose top sits at the
    // surface's top row minus nothing: memory rows rows-1 .. 0).
    void WriteBand(const Surface& band, std::int32_t rows) {
        if (rows <= 0) return;
        const std::uint8_t* bits = band.Bits();
        if (bmp_) {
            if (bits == nullptr) {
                bmp_->WriteBlackRows(rows);
            } else {
                bmp_->WriteRows(bits, band.Stride(), rows);
            }
            return;
        }
        // PNG: top row first; memory row rows-1 is the band's top row.
        png_->WriteRows(bits + (rows - 1) * band.Stride(), -band.Stride(), rows);
    }
    void Finish(AtomicFile* partner) {
        if (bmp_) bmp_->Finish(partner);
        if (png_) png_->Finish(partner);
    }

  private:
    std::optional<BmpWriter> bmp_;
    std::optional<PngWriter> png_;
};

// Fills memory rows 0 .. rows-1 (the bottom of the surface) with the colour.
void FillBottomRows(Surface& surface, std::int32_t rows, COLORREF colour) {
    if (rows <= 0 || surface.SizeBytes() == 0) return;
    std::uint8_t* row0 = surface.MutableRow(0);
    for (std::int32_t x = 0; x < surface.Width(); ++x) {
        row0[3 * x] = BlueOf(colour);
        row0[3 * x + 1] = GreenOf(colour);
        row0[3 * x + 2] = RedOf(colour);
    }
    for (std::int32_t r = 1; r < rows; ++r) {
        std::copy_n(row0, surface.Stride(), surface.MutableRow(r));
    }
}

class SheetComposer {
  public:
    SheetComposer(ArchiveModel& model, const Settings& settings, Host& host,
                  SheetExportResult& result)
        : model_(model), settings_(settings), host_(host), result_(result) {}

    // Draws image `index` 1:1 with its top-left corner at (x, y) of target, y counted from the
    // top, and keeps a failed image for the report.
    void DrawImage(std::int32_t index, Surface& target, std::int32_t x, std::int32_t y) {
        const ImageOutcome outcome =
            ComposeImage(model_, index, settings_.TransColor, host_, {&target, x, y}).outcome;
        if (IsFailure(outcome) &&
            std::find(result_.corruptImages.begin(), result_.corruptImages.end(), index) ==
                result_.corruptImages.end()) {
            result_.corruptImages.push_back(index);
        }
    }

    // Writes the sheet of the list (and the lookup table when writeDat) under folder + name.
    // Returns the status; file errors are thrown.
    void Write(const std::vector<ExportFrame>& list, const SheetSize& size, SheetFormat format,
               const std::string& base, bool lookupTableAllowed, int pngLevel) {
        const auto rows = RowsOf(list);
        std::int32_t tallest = 0;
        for (const Row& row : rows) tallest = std::max(tallest, row.height);

        // Neither file may be the archive itself (its automatic name comes from the archive's).
        const bool withDat =
            lookupTableAllowed && host_.IsOptionChecked(Option::GenerateLookupTable);
        const std::optional<FileIdentity> archive =
            model_.File ? std::optional(model_.File->Identity()) : std::nullopt;
        CheckReplaceable(base + Extension(format), archive);
        if (withDat) CheckReplaceable(base + ".dat", archive);

        // The lookup table, in list order. The option is read when the file is opened and again
        // for every record.
        std::unique_ptr<AtomicFile> dat;
        if (withDat) {
            dat = std::make_unique<AtomicFile>(base + ".dat");
            for (const Row& row : rows) {
                std::int64_t x = 0;
                for (std::size_t i = row.first; i < row.end; ++i) {
                    const ExportFrame& e = list[i];
                    const ImageRecord& record =
                        model_.Images[static_cast<std::size_t>(e.ImageIndex)];
                    if (host_.IsOptionChecked(Option::GenerateLookupTable)) {
                        WriteDatRecord(
                            *dat, {e.ObjectIndex, e.ActionIndex, e.DirectionIndex, e.FrameIndex,
                                   static_cast<std::int32_t>(x), static_cast<std::int32_t>(row.y),
                                   record.Height, record.Width, record.Extra1, record.Extra2,
                                   record.Extra3, record.Extra4});
                    }
                    x += PlacedWidth(record);
                }
            }
        }

        const auto width = static_cast<std::int32_t>(size.Width);
        SheetFile sheet(format, base + Extension(format), width,
                        static_cast<std::int32_t>(size.Height), pngLevel);
        // One band surface, as tall as the tallest row; a band uses its bottom memory rows,
        // which are the first bytes of the surface, so it goes out in one piece.
        Surface band(width, tallest);
        const std::int64_t total = static_cast<std::int64_t>(rows.size());
        for (std::int64_t n = 0; n < total; ++n) {
            const Row& row = rows[static_cast<std::size_t>(sheet.BottomUp() ? total - 1 - n : n)];
            if (row.height == 0) continue;
            FillBottomRows(band, row.height, settings_.TransColor);
            const std::int32_t top = tallest - row.height;
            std::int32_t x = 0;
            for (std::size_t i = row.first; i < row.end; ++i) {
                DrawImage(list[i].ImageIndex, band, x, top);
                x += PlacedWidth(model_.Images[static_cast<std::size_t>(list[i].ImageIndex)]);
            }
            sheet.WriteBand(band, row.height);
            host_.Progress(n + 1, total);
        }
        ThrowIfArchiveChanged(model_);
        // The sheet and its table replace their older pair together or not at all.
        sheet.Finish(dat.get());
        result_.paths.push_back(base + Extension(format));
        if (dat) result_.paths.push_back(base + ".dat");
    }

  private:
    ArchiveModel& model_;
    const Settings& settings_;
    Host& host_;
    SheetExportResult& result_;
};

// Which frames the mode exports; false when the mode's selection is missing.
bool BuildModeList(const ArchiveModel& model, Host& host, const SheetExportRequest& request,
                   std::vector<ExportFrame>& list, SheetSize& size) {
    const std::int32_t objectItems =
        model.IsLoaded() ? static_cast<std::int32_t>(model.Objects.size()) : 0;
    switch (request.Mode) {
        case ExportMode::AllObjects:
            if (objectItems < 1) return false;
            size = BuildExportList(model, host, list, objectItems - 1, -1, -1, -1, 0, 0, 0, 0);
            return true;
        case ExportMode::SelectedObject:
            if (request.Object < 0) return false;
            size = BuildExportList(model, host, list, request.Object, -1, -1, -1, request.Object, 0,
                                   0, 0);
            return true;
        case ExportMode::SelectedAction:
            if (request.Object < 0 || request.Action < 0) return false;
            size = BuildExportList(model, host, list, request.Object, request.Action, -1, -1,
                                   request.Object, request.Action, 0, 0);
            return true;
        case ExportMode::SelectedDirection:
            if (request.Object < 0 || request.Action < 0 || request.Direction < 0) return false;
            size = BuildExportList(model, host, list, request.Object, request.Action,
                                   request.Direction, -1, request.Object, request.Action,
                                   request.Direction, 0);
            return true;
        default:
            return false;
    }
}

// The sequence as one row: every entry that names an image, in order, duplicates kept.
SheetSize SequenceList(const ArchiveModel& model, const std::vector<std::int32_t>& sequence,
                       std::vector<ExportFrame>& list) {
    SheetSize size;
    std::int32_t height = 0;
    for (std::size_t position = 0; position < sequence.size(); ++position) {
        const std::int32_t image = sequence[position];
        if (image < 0 || static_cast<std::size_t>(image) >= model.Images.size()) continue;
        const ImageRecord& record = model.Images[static_cast<std::size_t>(image)];
        // An image without data has nothing to place, as in the displayed-image export.
        if (record.Length == 0 || record.Width <= 0 || record.Height <= 0) continue;
        ExportFrame entry;
        entry.ImageIndex = image;
        entry.ObjectIndex = -1;
        entry.ActionIndex = -1;
        entry.DirectionIndex = -1;
        entry.FrameIndex = static_cast<std::int32_t>(position);
        list.push_back(entry);
        height = std::max<std::int32_t>(height, record.Height);
        size.Width += PlacedWidth(record);
    }
    if (!list.empty()) {
        list.back().RowEnd = -1;
        list.back().RowHeight = height;
        size.Height = height;
    }
    return size;
}

}  // namespace

std::string SheetExportName(const ArchiveModel& model, const Settings& settings,
                            const SheetExportRequest& request) {
    if (!settings.ExportName.empty()) return settings.ExportName;
    return FitFileName(
        settings.ExportFolder,
        AutomaticExportName(model, settings.ArchivePath, request.Mode, request.Object,
                            request.Action, request.Direction, request.DisplayedImage),
        4);
}

SheetExportResult ExportBitmaps(ArchiveModel& model, Settings& settings, Host& host,
                                const SheetExportRequest& request, const OutputBudget& budget) {
    ExportNowLock lock(host);
    SheetExportResult result;
    host.SetCaption(kCaptionIndexing);

    std::vector<ExportFrame> list;
    SheetSize size;
    bool lookupTable = true;
    switch (request.Mode) {
        case ExportMode::DisplayedImage: {
            const std::int32_t n = request.DisplayedImage;
            if (n < 0 || static_cast<std::size_t>(n) >= model.Images.size() ||
                model.Images[static_cast<std::size_t>(n)].Length == 0) {
                result.status = SheetExportStatus::EmptyImage;
                return result;
            }
            if (!ImageIsDecodable(model, n)) {
                // Render tells the user why; a sheet of background alone is not written.
                ComposeImage(model, n, settings.TransColor, host, {});
                result.corruptImages.push_back(n);
                result.status = SheetExportStatus::Undecodable;
                return result;
            }
            const ImageRecord& record = model.Images[static_cast<std::size_t>(n)];
            ExportFrame entry;
            entry.ImageIndex = n;
            entry.RowEnd = -1;
            entry.RowHeight = std::max<std::int32_t>(record.Height, 0);
            list.push_back(entry);
            size = {PlacedWidth(record), entry.RowHeight};
            lookupTable = false;
            break;
        }
        case ExportMode::FromList:
            size = SequenceList(model, request.Sequence, list);
            break;
        default: {
            const ArchiveFile* const archive = model.File.get();
            if (!BuildModeList(model, host, request, list, size)) {
                result.status = SheetExportStatus::NoSelection;
                return result;
            }
            if (model.File.get() != archive) {
                result.status = SheetExportStatus::Interrupted;
                return result;
            }
            break;
        }
    }
    result.width = size.Width;
    result.height = size.Height;

    // No file format holds a picture without pixels.
    if (list.empty() || size.Width <= 0 || size.Height <= 0) {
        host.ShowMessage(kNothingToExport, kProgramName, MessageIcon::Information,
                         MessageButtons::Ok);
        result.status = SheetExportStatus::NothingToExport;
        return result;
    }
    if (!FormatHolds(request.Format, size)) {
        ShowTooLarge(host, request.Format, size);
        result.status = SheetExportStatus::TooLarge;
        return result;
    }
    std::int64_t tallest = 0;
    for (const ExportFrame& entry : list) {
        tallest = std::max<std::int64_t>(tallest, entry.RowHeight);
    }
    const std::int64_t band = SheetBandBytes(size.Width, tallest);
    if (band < 0 || band > kMaxSheetBandBytes) {
        host.ShowMessage(SheetTooLargeToAssemble(size.Width, size.Height, band), kProgramName,
                         MessageIcon::Exclamation, MessageButtons::Ok);
        result.status = SheetExportStatus::TooLarge;
        return result;
    }

    const std::string name = SheetExportName(model, settings, request);
    // The lookup table counts whenever the mode may write one (its option is read while writing).
    const std::uint64_t datBytes = lookupTable ? list.size() * kDatRecordSize : 0;
    const PlannedOutput planned{
        settings.ExportFolder + name + Extension(request.Format),
        static_cast<std::uint64_t>(size.Width) * static_cast<std::uint64_t>(size.Height),
        datBytes + (request.Format == SheetFormat::Bmp
                        ? BmpFileBytes(size.Width, size.Height)
                        : UncompressedRgbBytes(size.Width, size.Height)),
        request.Format == SheetFormat::Bmp};
    if (!ClearedByBudget(planned, budget, host)) {
        result.status = SheetExportStatus::OverBudget;
        return result;
    }
    if (request.Mode != ExportMode::DisplayedImage) host.SetCaption(kCaptionAssembling);

    SheetComposer composer(model, settings, host, result);
    try {
        composer.Write(list, size, request.Format, settings.ExportFolder + name, lookupTable,
                       request.PngLevel);
    } catch (const FileError& error) {
        ShowExportError(host, error.Number(), error.Description());
        result.paths.clear();
        result.status = SheetExportStatus::Failed;
        return result;
    } catch (const std::bad_alloc&) {
        ShowExportError(host, ENOMEM, std::generic_category().message(ENOMEM));
        result.paths.clear();
        result.status = SheetExportStatus::Failed;
        return result;
    }

    host.SetCaption(name + Extension(request.Format) + " created.");
    settings.ExportName.clear();
    result.status = SheetExportStatus::Written;
    return result;
}

}  // namespace pixhaul
