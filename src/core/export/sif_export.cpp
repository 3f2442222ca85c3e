#include "export/sif_export.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <optional>

#include "archive/archive.h"
#include "export/compose_image.h"
#include "export/export_list.h"
#include "export/naming.h"
#include "export/output_budget.h"
#include "export/sheet_assembly.h"
#include "formats/sif_writer.h"
#include "platform/archive_file.h"
#include "platform/atomic_file.h"
#include "platform/replace_check.h"
#include "platform/surface.h"

namespace pixhaul {
namespace {

constexpr std::int64_t kMaxSheetSide = std::numeric_limits<std::int32_t>::max();

// The tables with one entry per action and direction of the object, sized from the list.
// Returns "" or why SIF cannot hold them.
std::string BuildTables(const ObjectRecord& object, const std::vector<ExportFrame>& list,
                        std::vector<SifAction>& table) {
    std::vector<std::vector<std::int64_t>> frames(object.Actions.size());
    for (std::size_t a = 0; a < frames.size(); ++a) {
        frames[a].assign(object.Actions[a].Directions.size(), 0);
    }
    for (const ExportFrame& entry : list) {
        ++frames[static_cast<std::size_t>(entry.ActionIndex)]
                [static_cast<std::size_t>(entry.DirectionIndex)];
    }
    return SizeSifTables(frames, table);
}

// Fills every SifFrame with its place on the sheet and its image's values.
void PlaceFrames(const ArchiveModel& model, const std::vector<ExportFrame>& list,
                 const std::vector<SheetRow>& rows, std::vector<SifAction>& table) {
    for (const SheetRow& row : rows) {
        std::int64_t x = 0;
        for (std::size_t i = row.first; i < row.end; ++i) {
            const ExportFrame& entry = list[i];
            const ImageRecord& image = model.Images[static_cast<std::size_t>(entry.ImageIndex)];
            SifFrame& frame = table[static_cast<std::size_t>(entry.ActionIndex)]
                                  .Directions[static_cast<std::size_t>(entry.DirectionIndex)]
                                  .Frames[i - row.first];
            frame = {static_cast<std::int32_t>(x),
                     static_cast<std::int32_t>(row.y),
                     image.Height,
                     image.Width,
                     0,
                     image.Extra1,
                     image.Extra2};
            x += std::max<std::int64_t>(image.Width, 0);
        }
    }
}

// Composes one row of the sheet in the bottom row.height memory rows of band (a band as tall as
// the tallest row, whose top rows are left as they were). Only what no frame covers is filled
// with the transparent colour: the frames overwrite the rest, so the band is never cleared.
void ComposeRow(const ArchiveModel& model, const Settings& settings, Host& host,
                const std::vector<ExportFrame>& list, const SheetRow& row, Surface& band,
                std::vector<std::int32_t>& undecoded) {
    const std::int32_t top = band.Height() - row.height;
    const std::int32_t bottom = band.Height();
    std::int32_t x = 0;
    for (std::size_t i = row.first; i < row.end; ++i) {
        const std::int32_t imageIndex = list[i].ImageIndex;
        const ImageRecord& image = model.Images[static_cast<std::size_t>(imageIndex)];
        const std::int32_t width = std::max<std::int32_t>(image.Width, 0);
        const std::int32_t height = std::clamp<std::int32_t>(image.Height, 0, row.height);
        const ImageOutcome drawn =
            ComposeImage(model, imageIndex, settings.TransColor, host, {&band, x, top}).outcome;
        NoteFailure(drawn, imageIndex, undecoded);
        // A corrupt or undecodable image draws nothing: its rectangle stays to be filled.
        if (drawn != ImageOutcome::Ok) {
            band.FillRect({x, top, x + width, top + height}, settings.TransColor);
        }
        band.FillRect({x, top + height, x + width, bottom}, settings.TransColor);
        x += width;
    }
    band.FillRect({x, top, band.Width(), bottom}, settings.TransColor);
}

// Composes the sheet one row at a time, from the bottom row up, into the writer. Only one row
// of the sheet is ever in memory, in one band reused for every row. False when the user
// canceled.
bool ComposeBands(const ArchiveModel& model, const Settings& settings, Host& host,
                  const std::vector<ExportFrame>& list, const std::vector<SheetRow>& rows,
                  std::int32_t sheetWidth, std::vector<std::int32_t>& undecoded,
                  SifSheetWriter& writer) {
    Surface band(sheetWidth, TallestRow(rows));
    std::int64_t done = 0;
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        ThrowIfCanceled(host);
        if (row->height > 0 && sheetWidth > 0) {
            ComposeRow(model, settings, host, list, *row, band, undecoded);
            writer.AddRows(band.MutableBits(), band.Stride(), sheetWidth, row->height);
        }
        done += static_cast<std::int64_t>(row->end - row->first);
        host.Progress(done, static_cast<std::int64_t>(list.size()));
        if (host.IsCanceled()) return false;
    }
    return true;
}

// The export's steps; WorkCanceled leaves them between two steps.
SifExportResult ExportSifSteps(const ArchiveModel& model, Settings& settings, Host& host,
                               std::int32_t object, const OutputBudget& budget) {
    SifExportResult result;
    if (object < 0 || static_cast<std::size_t>(object) >= model.Objects.size()) return result;

    ExportLock lock(host);
    host.SetCaption(kCaptionIndexing);
    auto refuse = [&](SifExportStatus status, const std::string& text) {
        const MessageIcon icon = status == SifExportStatus::NothingToExport
                                     ? MessageIcon::Information
                                     : MessageIcon::Exclamation;
        host.ShowMessage(text, kProgramName, icon, MessageButtons::Ok);
        result.status = status;
        result.problem = text;
        return result;
    };
    auto canceled = [&] {
        result.status = SifExportStatus::Canceled;
        return result;
    };

    // The list.
    std::vector<ExportFrame> list;
    const SheetSize size =
        BuildExportList(model, host, list, ExportRange{.fromObject = object, .toObject = object});
    if (host.IsCanceled()) return canceled();

    // The rows and the tables.
    std::vector<SifAction> table;
    const std::string tooMany =
        BuildTables(model.Objects[static_cast<std::size_t>(object)], list, table);
    if (!tooMany.empty()) return refuse(SifExportStatus::TooLarge, tooMany);
    // No sheet without pixels, as in the bitmap export.
    if (list.empty() || size.Width <= 0 || size.Height <= 0) {
        return refuse(SifExportStatus::NothingToExport, kNothingToExport);
    }
    const std::vector<SheetRow> rows = SheetRowsOf(list);

    // The guards.
    if (size.Width > kMaxSheetSide || size.Height > kMaxSheetSide) {
        return refuse(SifExportStatus::TooLarge,
                      "A SIF file cannot hold this object: its sheet of " +
                          std::to_string(size.Width) + " x " + std::to_string(size.Height) +
                          " pixels is too large.");
    }
    if (const auto refusal = BandRefusal(size.Width, size.Height, TallestRow(rows))) {
        return refuse(SifExportStatus::TooLarge, *refusal);
    }
    const std::string name =
        settings.ExportName.empty()
            ? FitFileName(settings.ExportFolder, AutomaticSifName(model, object), 4)
            : settings.ExportName;
    result.path = ExportPath(settings.ExportFolder, name + ".sif");
    const PlannedOutput planned{
        result.path,
        static_cast<std::uint64_t>(size.Width) * static_cast<std::uint64_t>(size.Height),
        UncompressedRgbBytes(size.Width, size.Height), false};
    if (!ClearedByBudget(planned, budget, host)) {
        result.status = SifExportStatus::OverBudget;
        return result;
    }
    if (host.IsCanceled()) return canceled();

    // Compose the bands, then write.
    host.SetCaption(kCaptionAssembling);
    PlaceFrames(model, list, rows, table);
    try {
        // Refused before the work: the archive itself, or what no export replaces.
        CheckReplaceable(result.path,
                         model.File ? std::optional(model.File->Identity()) : std::nullopt);
        SifSheetWriter writer(result.path);
        const auto sheetWidth = static_cast<std::int32_t>(size.Width);
        if (!ComposeBands(model, settings, host, list, rows, sheetWidth, result.corruptImages,
                          writer)) {
            return canceled();
        }
        SifImageHeader image;
        image.BackColor = settings.TransColor;
        image.SheetWidth = sheetWidth;
        image.SheetHeight = static_cast<std::int32_t>(size.Height);
        const std::string tooLarge = writer.Plan(table, image);
        if (!tooLarge.empty()) return refuse(SifExportStatus::TooLarge, tooLarge);
        if (host.IsCanceled()) return canceled();
        writer.Write([&] { ThrowIfArchiveChanged(model); });
    } catch (const FileError& error) {
        ShowExportError(host, error.Number(), error.Description(), error.Path());
        result.status = SifExportStatus::Failed;
        result.problem = error.Description();
        return result;
    } catch (const std::bad_alloc&) {
        const std::string description = std::strerror(ENOMEM);
        ShowExportError(host, ENOMEM, description);
        result.status = SifExportStatus::Failed;
        result.problem = description;
        return result;
    }

    host.SetCaption(name + kSifCreatedSuffix);
    settings.ExportName.clear();
    result.status = SifExportStatus::Written;
    return result;
}

}  // namespace

SifExportResult ExportSif(const ArchiveModel& model, Settings& settings, Host& host,
                          std::int32_t object, const OutputBudget& budget) {
    const std::string nameBefore = settings.ExportName;
    try {
        return ExportSifSteps(model, settings, host, object, budget);
    } catch (const WorkCanceled&) {
        settings.ExportName = nameBefore;
        SifExportResult result;
        result.status = SifExportStatus::Canceled;
        return result;
    }
}

}  // namespace pixhaul
