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
#include "export/compose_image.h"
#include "export/export_list.h"
#include "export/output_budget.h"
#include "export/sheet_assembly.h"
#include "formats/bmp_writer.h"
#include "formats/dat_writer.h"
#include "formats/png_writer.h"
#include "platform/archive_file.h"
#include "platform/atomic_file.h"
#include "platform/replace_check.h"

namespace pixhaul {

namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

std::int32_t PlacedWidth(const ImageRecord& record) {
    return std::max<std::int32_t>(record.Width, 0);
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

// The sheet file, written band by band in the order its format stores rows.
class SheetFile {
  public:
    SheetFile(SheetFormat format, const std::string& path, std::int32_t width, std::int32_t height,
              int pngLevel) {
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
        NoteFailure(
            ComposeImage(model_, index, settings_.TransColor, host_, {&target, x, y}).outcome,
            index, result_.corruptImages);
    }

    // Writes the sheet of the list (and the lookup table when allowed and asked for) as base
    // plus their extensions. False when the user canceled; file errors are thrown.
    bool Write(const std::vector<ExportFrame>& list, const std::vector<SheetRow>& rows,
               const SheetSize& size, SheetFormat format, const std::string& base,
               bool lookupTableAllowed, int pngLevel) {
        const std::int32_t tallest = TallestRow(rows);

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
            for (const SheetRow& row : rows) {
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
            const SheetRow& row =
                rows[static_cast<std::size_t>(sheet.BottomUp() ? total - 1 - n : n)];
            if (row.height == 0) continue;
            ThrowIfCanceled(host_);
            FillBottomRows(band, row.height, settings_.TransColor);
            const std::int32_t top = tallest - row.height;
            std::int32_t x = 0;
            for (std::size_t i = row.first; i < row.end; ++i) {
                DrawImage(list[i].ImageIndex, band, x, top);
                x += PlacedWidth(model_.Images[static_cast<std::size_t>(list[i].ImageIndex)]);
            }
            sheet.WriteBand(band, row.height);
            host_.Progress(n + 1, total);
            if (host_.IsCanceled()) return false;
        }
        ThrowIfArchiveChanged(model_);
        // The sheet and its table replace their older pair together or not at all.
        sheet.Finish(dat.get());
        result_.paths.push_back(base + Extension(format));
        if (dat) result_.paths.push_back(base + ".dat");
        return true;
    }

  private:
    ArchiveModel& model_;
    const Settings& settings_;
    Host& host_;
    SheetExportResult& result_;
};

// The part of the archive a hierarchy mode exports; nothing when its selection is missing.
std::optional<ExportRange> ModeRange(const ArchiveModel& model, const SheetExportRequest& request) {
    const std::int32_t object = request.Object;
    const std::int32_t action = request.Action;
    switch (request.Mode) {
        case ExportMode::AllObjects:
            if (!model.IsLoaded() || model.Objects.empty()) return std::nullopt;
            return ExportRange{.toObject = static_cast<std::int32_t>(model.Objects.size()) - 1};
        case ExportMode::SelectedObject:
            if (object < 0) return std::nullopt;
            return ExportRange{.fromObject = object, .toObject = object};
        case ExportMode::SelectedAction:
            if (object < 0 || action < 0) return std::nullopt;
            return ExportRange{
                .fromObject = object, .toObject = object, .fromAction = action, .toAction = action};
        case ExportMode::SelectedDirection:
            if (object < 0 || action < 0 || request.Direction < 0) return std::nullopt;
            return ExportRange{.fromObject = object,
                               .toObject = object,
                               .fromAction = action,
                               .toAction = action,
                               .fromDirection = request.Direction,
                               .toDirection = request.Direction};
        default:
            return std::nullopt;
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

// What the list step found: the frames in sheet order, the sheet's size and whether the mode
// may write a lookup table.
struct SheetList {
    std::vector<ExportFrame> frames;
    SheetSize size;
    bool lookupTable = true;
};

// The list step: the frames the request exports. A status when the export ends here.
std::optional<SheetExportStatus> ListFrames(ArchiveModel& model, const Settings& settings,
                                            Host& host, const SheetExportRequest& request,
                                            SheetList& out, SheetExportResult& result) {
    switch (request.Mode) {
        case ExportMode::DisplayedImage: {
            const std::int32_t n = request.DisplayedImage;
            if (n < 0 || static_cast<std::size_t>(n) >= model.Images.size() ||
                model.Images[static_cast<std::size_t>(n)].Length == 0) {
                return SheetExportStatus::EmptyImage;
            }
            if (!ImageIsDecodable(model, n)) {
                // Render tells the user why; a sheet of background alone is not written.
                ComposeImage(model, n, settings.TransColor, host, {});
                result.corruptImages.push_back(n);
                return SheetExportStatus::Undecodable;
            }
            const ImageRecord& record = model.Images[static_cast<std::size_t>(n)];
            ExportFrame entry;
            entry.ImageIndex = n;
            entry.RowEnd = -1;
            entry.RowHeight = std::max<std::int32_t>(record.Height, 0);
            out.frames.push_back(entry);
            out.size = {PlacedWidth(record), entry.RowHeight};
            out.lookupTable = false;
            return std::nullopt;
        }
        case ExportMode::FromList:
            out.size = SequenceList(model, request.Sequence, out.frames);
            return std::nullopt;
        default: {
            const std::optional<ExportRange> range = ModeRange(model, request);
            if (!range) return SheetExportStatus::NoSelection;
            const ArchiveFile* const archive = model.File.get();
            out.size = BuildExportList(model, host, out.frames, *range);
            if (model.File.get() != archive) return SheetExportStatus::Interrupted;
            return std::nullopt;
        }
    }
}

// The guard step: why the sheet cannot be written, or nothing.
std::optional<std::string> SheetRefusal(SheetFormat format, const SheetSize& size,
                                        const std::vector<SheetRow>& rows) {
    if (!FormatHolds(format, size)) {
        return "The sheet of " + std::to_string(size.Width) + " x " + std::to_string(size.Height) +
               " pixels is too large for a" + (format == SheetFormat::Png ? " PNG" : " bitmap") +
               " file. Export a smaller selection.";
    }
    return BandRefusal(size.Width, size.Height, TallestRow(rows));
}

// The export's steps; WorkCanceled leaves them between two steps.
SheetExportResult ExportBitmapsSteps(ArchiveModel& model, Settings& settings, Host& host,
                                     const SheetExportRequest& request,
                                     const OutputBudget& budget) {
    ExportLock lock(host);
    SheetExportResult result;
    auto stop = [&](SheetExportStatus status) {
        result.paths.clear();
        result.status = status;
        return result;
    };
    host.SetCaption(kCaptionIndexing);

    // The list.
    SheetList list;
    if (const auto status = ListFrames(model, settings, host, request, list, result)) {
        return stop(*status);
    }
    if (host.IsCanceled()) return stop(SheetExportStatus::Canceled);
    const SheetSize size = list.size;
    result.width = size.Width;
    result.height = size.Height;
    // No file format holds a picture without pixels.
    if (list.frames.empty() || size.Width <= 0 || size.Height <= 0) {
        host.ShowMessage(kNothingToExport, kProgramName, MessageIcon::Information,
                         MessageButtons::Ok);
        return stop(SheetExportStatus::NothingToExport);
    }

    // The rows and the guards.
    const std::vector<SheetRow> rows = SheetRowsOf(list.frames);
    if (const auto refusal = SheetRefusal(request.Format, size, rows)) {
        host.ShowMessage(*refusal, kProgramName, MessageIcon::Exclamation, MessageButtons::Ok);
        return stop(SheetExportStatus::TooLarge);
    }
    const std::string name = SheetExportName(model, settings, request);
    const std::string base = ExportPath(settings.ExportFolder, name);
    // The lookup table counts whenever the mode may write one (its option is read while writing).
    const std::uint64_t datBytes = list.lookupTable ? list.frames.size() * kDatRecordSize : 0;
    const PlannedOutput planned{
        base + Extension(request.Format),
        static_cast<std::uint64_t>(size.Width) * static_cast<std::uint64_t>(size.Height),
        datBytes + (request.Format == SheetFormat::Bmp
                        ? BmpFileBytes(size.Width, size.Height)
                        : UncompressedRgbBytes(size.Width, size.Height)),
        request.Format == SheetFormat::Bmp};
    if (!ClearedByBudget(planned, budget, host)) return stop(SheetExportStatus::OverBudget);
    if (host.IsCanceled()) return stop(SheetExportStatus::Canceled);

    // Compose the bands and write.
    if (request.Mode != ExportMode::DisplayedImage) host.SetCaption(kCaptionAssembling);
    SheetComposer composer(model, settings, host, result);
    try {
        if (!composer.Write(list.frames, rows, size, request.Format, base, list.lookupTable,
                            request.PngLevel)) {
            return stop(SheetExportStatus::Canceled);
        }
    } catch (const FileError& error) {
        ShowExportError(host, error.Number(), error.Description(), error.Path());
        return stop(SheetExportStatus::Failed);
    } catch (const std::bad_alloc&) {
        ShowExportError(host, ENOMEM, std::generic_category().message(ENOMEM));
        return stop(SheetExportStatus::Failed);
    }

    host.SetCaption(name + Extension(request.Format) + " created.");
    settings.ExportName.clear();
    result.status = SheetExportStatus::Written;
    return result;
}

}  // namespace

SheetExportResult ExportBitmaps(ArchiveModel& model, Settings& settings, Host& host,
                                const SheetExportRequest& request, const OutputBudget& budget) {
    try {
        return ExportBitmapsSteps(model, settings, host, request, budget);
    } catch (const WorkCanceled&) {
        SheetExportResult result;
        result.status = SheetExportStatus::Canceled;
        return result;
    }
}

std::string SheetExportName(const ArchiveModel& model, const Settings& settings,
                            const SheetExportRequest& request) {
    if (!settings.ExportName.empty()) return settings.ExportName;
    return FitFileName(
        settings.ExportFolder,
        AutomaticExportName(model, settings.ArchivePath, request.Mode, request.Object,
                            request.Action, request.Direction, request.DisplayedImage),
        4);
}

}  // namespace pixhaul
