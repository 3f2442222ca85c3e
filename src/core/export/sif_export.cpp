#include "export/sif_export.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <optional>

#include "archive/archive.h"
#include "bitmap/cbitmap.h"
#include "export/compose_image.h"
#include "export/export_list.h"
#include "formats/huffman.h"
#include "export/naming.h"
#include "export/output_budget.h"
#include "formats/rle_stream.h"
#include "export/sheet_export.h"
#include "platform/atomic_file.h"
#include "platform/archive_file.h"
#include "platform/replace_check.h"
#include "platform/surface.h"

namespace pixhaul {
namespace {

constexpr std::int64_t kMaxSheetSide = std::numeric_limits<std::int32_t>::max();
// The payload's length minus one is stored as a signed 32-bit number.
constexpr std::uint64_t kMaxPayload =
    static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()) + 1;
// Source bytes handed to the Huffman data writer at a time.
constexpr std::size_t kCodeChunk = std::size_t{1} << 20;

// One sheet row: entries [first, last] of the list, RowHeight tall.
struct Row {
    std::size_t first = 0;
    std::size_t last = 0;
    std::int32_t height = 0;
};

std::string Refusal(std::int64_t count, const std::string& what) {
    return "A SIF file cannot hold this object: it has " + std::to_string(count) + " " + what +
           ", a SIF file at most " + std::to_string(kSifMaxEntries) + ".";
}

// The tables with one entry per action and direction of the object, LastFrame set from the
// list. Returns "" or why SIF cannot hold them.
std::string BuildTables(const ObjectRecord& object, const std::vector<ExportFrame>& list,
                        std::vector<SifAction>& table) {
    if (object.Actions.size() > static_cast<std::size_t>(kSifMaxEntries)) {
        return Refusal(static_cast<std::int64_t>(object.Actions.size()), "actions");
    }
    table.assign(object.Actions.size(), {});
    std::vector<std::vector<std::int64_t>> counts(object.Actions.size());
    for (std::size_t a = 0; a < object.Actions.size(); ++a) {
        const std::size_t directions = object.Actions[a].Directions.size();
        if (directions > static_cast<std::size_t>(kSifMaxEntries)) {
            return Refusal(static_cast<std::int64_t>(directions),
                           "directions in action " + std::to_string(a));
        }
        table[a].LastDirection =
            static_cast<std::int16_t>(static_cast<std::int32_t>(directions) - 1);
        table[a].Directions.resize(directions);
        counts[a].assign(directions, 0);
    }
    for (const ExportFrame& entry : list) {
        ++counts[static_cast<std::size_t>(entry.ActionIndex)]
                [static_cast<std::size_t>(entry.DirectionIndex)];
    }
    for (std::size_t a = 0; a < table.size(); ++a) {
        for (std::size_t d = 0; d < table[a].Directions.size(); ++d) {
            const std::int64_t frames = counts[a][d];
            if (frames > kSifMaxEntries) {
                return Refusal(frames, "frames in direction " + std::to_string(d) + " of action " +
                                           std::to_string(a));
            }
            SifDirection& direction = table[a].Directions[d];
            direction.LastFrame = static_cast<std::int16_t>(frames - 1);
            direction.Frames.resize(static_cast<std::size_t>(frames));
        }
    }
    return "";
}

// Fills every SifFrame with its place on the sheet and its image's values; returns the rows.
std::vector<Row> PlaceFrames(const ArchiveModel& model, const std::vector<ExportFrame>& list,
                             std::vector<SifAction>& table) {
    std::vector<Row> rows;
    std::int64_t x = 0;
    std::int64_t y = 0;
    std::size_t k = 0;
    std::size_t rowStart = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const ExportFrame& entry = list[i];
        const ImageRecord& image = model.Images[static_cast<std::size_t>(entry.ImageIndex)];
        SifFrame& frame = table[static_cast<std::size_t>(entry.ActionIndex)]
                              .Directions[static_cast<std::size_t>(entry.DirectionIndex)]
                              .Frames[k];
        frame.X = static_cast<std::int32_t>(x);
        frame.Y = static_cast<std::int32_t>(y);
        frame.Height = image.Height;
        frame.Width = image.Width;
        frame.Reserved = 0;
        frame.Extra1 = image.Extra1;
        frame.Extra2 = image.Extra2;
        ++k;
        x += std::max<std::int64_t>(image.Width, 0);
        if (entry.RowEnd != 0) {
            rows.push_back({rowStart, i, entry.RowHeight});
            x = 0;
            y += entry.RowHeight;
            k = 0;
            rowStart = i + 1;
        }
    }
    return rows;
}

// Renders one frame's image with the export's palette and cache rules and draws it on the band.
// Returns whether every pixel of the frame's rectangle was drawn.
bool DrawFrame(const ArchiveModel& model, const Settings& settings, Host& host,
               std::int32_t imageIndex, Surface& band, std::int64_t x,
               std::vector<std::int32_t>& undecoded) {
    const ComposedImage drawn =
        ComposeImage(model, imageIndex, settings.TransColor, host,
                     {&band, static_cast<std::int32_t>(x), 0});
    if (IsFailure(drawn.outcome) &&
        std::find(undecoded.begin(), undecoded.end(), imageIndex) == undecoded.end()) {
        undecoded.push_back(imageIndex);
    }
    // A corrupt or undecodable image draws nothing: its rectangle stays to be filled.
    return drawn.outcome == ImageOutcome::Ok;
}

// The run-length stream on its way from the first pass (composing) to the second (Huffman
// coding, which needs the whole stream's counts first). Held in an unnamed file in the export's
// folder, so the process's memory does not grow with the sheet and nothing is left behind when
// the process dies.
class SpillFile {
  public:
    explicit SpillFile(const std::string& folder) : folder_(folder.empty() ? "." : folder) {
        fd_ = ::open(folder_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd_ < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
            // No unnamed files on this file system: a named one, unlinked at once.
            std::string name = folder_ + "/.pixhaul-spill.XXXXXX";
            fd_ = ::mkostemp(name.data(), O_CLOEXEC);
            if (fd_ >= 0) ::unlink(name.c_str());
        }
        if (fd_ < 0) ThrowFileError(errno, folder_);
    }
    ~SpillFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    SpillFile(const SpillFile&) = delete;
    SpillFile& operator=(const SpillFile&) = delete;

    void Write(std::span<const std::uint8_t> bytes) {
        const std::uint8_t* p = bytes.data();
        std::size_t left = bytes.size();
        while (left > 0) {
            const ssize_t n = ::write(fd_, p, left);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) ThrowFileError(n < 0 ? errno : ENOSPC, folder_);
            p += n;
            left -= static_cast<std::size_t>(n);
        }
    }
    void Rewind() {
        if (::lseek(fd_, 0, SEEK_SET) != 0) ThrowFileError(errno, folder_);
    }
    // Reads up to out.size() bytes; 0 at the end.
    std::size_t Read(std::span<std::uint8_t> out) {
        while (true) {
            const ssize_t n = ::read(fd_, out.data(), out.size());
            if (n >= 0) return static_cast<std::size_t>(n);
            if (errno != EINTR) ThrowFileError(errno, folder_);
        }
    }

  private:
    std::string folder_;
    int fd_ = -1;
};

// Composes one row of the sheet on band. Only what no frame covers is filled with the
// transparent colour: the frames overwrite the rest.
void ComposeRow(const ArchiveModel& model, const Settings& settings, Host& host,
                const std::vector<ExportFrame>& list, const Row& row, std::int32_t sheetWidth,
                Surface& band, std::vector<std::int32_t>& undecoded) {
    band.Reset(sheetWidth, row.height);
    std::int32_t x = 0;
    for (std::size_t i = row.first; i <= row.last; ++i) {
        const std::int32_t imageIndex = list[i].ImageIndex;
        const ImageRecord& image = model.Images[static_cast<std::size_t>(imageIndex)];
        const std::int32_t width = std::max<std::int32_t>(image.Width, 0);
        const std::int32_t height = std::clamp<std::int32_t>(image.Height, 0, row.height);
        if (!DrawFrame(model, settings, host, imageIndex, band, x, undecoded)) {
            band.FillRect({x, 0, x + width, height}, settings.TransColor);
        }
        band.FillRect({x, height, x + width, row.height}, settings.TransColor);
        x += width;
    }
    band.FillRect({x, 0, sheetWidth, row.height}, settings.TransColor);
}

// Composes the sheet one row at a time, from the bottom row up, and run-length codes it in scan
// order (memory rows bottom-up) into spill, counting its bytes. Only one row of the sheet and
// the records of one row are ever in memory.
void EncodeSheet(const ArchiveModel& model, const Settings& settings, Host& host,
                 const std::vector<ExportFrame>& list, const std::vector<Row>& rows,
                 std::int32_t sheetWidth, std::vector<std::int32_t>& undecoded, SpillFile& spill,
                 ByteHistogram& histogram) {
    Rle5Encoder encoder;
    Surface band;
    std::int64_t done = 0;
    auto drain = [&] {
        histogram.Add(encoder.Written());
        spill.Write(encoder.Written());
        encoder.DropWritten();
    };
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        ThrowIfCanceled(host);
        if (row->height > 0 && sheetWidth > 0) {
            ComposeRow(model, settings, host, list, *row, sheetWidth, band, undecoded);
            encoder.AddSurface(band);
            drain();
        }
        done += static_cast<std::int64_t>(row->last - row->first + 1);
        host.Progress(done, static_cast<std::int64_t>(list.size()));
    }
    encoder.Close();
    drain();
}

// The export's steps; WorkCanceled leaves them between two steps.
SifExportResult ExportSifSteps(const ArchiveModel& model, Settings& settings, Host& host,
                               std::int32_t object, const OutputBudget& budget) {
    SifExportResult result;
    if (object < 0 || static_cast<std::size_t>(object) >= model.Objects.size()) return result;

    host.ExportStarted();
    host.SetCaption(kCaptionIndexing);
    auto refuse = [&](SifExportStatus status, const std::string& text) {
        const MessageIcon icon = status == SifExportStatus::NothingToExport
                                     ? MessageIcon::Information
                                     : MessageIcon::Exclamation;
        host.ShowMessage(text, kProgramName, icon, MessageButtons::Ok);
        host.ExportFinished();
        result.status = status;
        result.problem = text;
        return result;
    };

    std::vector<ExportFrame> list;
    const SheetSize size = BuildExportList(model, host, list, object, -1, -1, -1, object, 0, 0, 0);
    std::vector<SifAction> table;
    const std::string tooMany =
        BuildTables(model.Objects[static_cast<std::size_t>(object)], list, table);
    if (!tooMany.empty()) return refuse(SifExportStatus::TooLarge, tooMany);
    if (list.empty()) return refuse(SifExportStatus::NothingToExport, kNothingToExport);
    if (size.Width > kMaxSheetSide || size.Height > kMaxSheetSide) {
        return refuse(SifExportStatus::TooLarge,
                      "A SIF file cannot hold this object: its sheet of " +
                          std::to_string(size.Width) + " x " + std::to_string(size.Height) +
                          " pixels is too large.");
    }
    std::int64_t tallest = 0;
    for (const ExportFrame& entry : list) {
        tallest = std::max<std::int64_t>(tallest, entry.RowHeight);
    }
    if (const std::int64_t band = SheetBandBytes(size.Width, tallest);
        band < 0 || band > kMaxSheetBandBytes) {
        return refuse(SifExportStatus::TooLarge,
                      SheetTooLargeToAssemble(size.Width, size.Height, band));
    }

    const std::string sifName =
        settings.ExportName.empty()
            ? FitFileName(settings.ExportFolder, AutomaticSifName(model, object), 4)
            : settings.ExportName;
    const PlannedOutput planned{
        settings.ExportFolder + sifName + ".sif",
        static_cast<std::uint64_t>(size.Width) * static_cast<std::uint64_t>(size.Height),
        UncompressedRgbBytes(size.Width, size.Height), false};
    if (!ClearedByBudget(planned, budget, host)) {
        host.ExportFinished();
        result.status = SifExportStatus::OverBudget;
        result.path = planned.path;
        return result;
    }
    if (settings.ExportName.empty()) settings.ExportName = sifName;
    result.path = settings.ExportFolder + settings.ExportName + ".sif";

    host.SetCaption(kCaptionAssembling);
    const std::vector<Row> rows = PlaceFrames(model, list, table);
    const auto sheetWidth = static_cast<std::int32_t>(size.Width);
    const auto sheetHeight = static_cast<std::int32_t>(size.Height);

    try {
        // Refused before the work: the archive itself, or what no export replaces.
        CheckReplaceable(result.path,
                         model.File ? std::optional(model.File->Identity()) : std::nullopt);
        SpillFile spill(settings.ExportFolder);
        ByteHistogram histogram;
        EncodeSheet(model, settings, host, list, rows, sheetWidth, result.corruptImages, spill,
                    histogram);
        const HuffmanPlan plan(histogram);
        if (plan.BlockSize() > kMaxPayload) {
            return refuse(SifExportStatus::TooLarge,
                          "A SIF file cannot hold this object: its coded sheet of " +
                              std::to_string(plan.BlockSize()) + " bytes is too large.");
        }

        std::vector<std::uint8_t> head = SerializeSifTables(table);
        if (head.size() >= std::numeric_limits<std::uint32_t>::max()) {
            return refuse(SifExportStatus::TooLarge,
                          "A SIF file cannot hold this object: its tables take " +
                              std::to_string(head.size()) + " bytes.");
        }
        const auto imagePos = static_cast<std::uint32_t>(head.size() + 1);
        for (std::size_t i = 0; i < 4; ++i) {
            head[kSifImagePosOffset + i] = static_cast<std::uint8_t>(imagePos >> (8 * i));
        }
        SifImageHeader image;
        image.PayloadLast = static_cast<std::int32_t>(plan.BlockSize() - 1);
        image.BackColor = settings.TransColor;
        image.SheetWidth = sheetWidth;
        image.SheetHeight = sheetHeight;
        image.RleKind = kRleKind24;
        const std::vector<std::uint8_t> imageHead = SerializeSifImageHeader(image);
        head.insert(head.end(), imageHead.begin(), imageHead.end());
        const std::vector<std::uint8_t> payloadHead = plan.Head();
        head.insert(head.end(), payloadHead.begin(), payloadHead.end());

        AtomicFile file(result.path);
        file.Write(head.data(), head.size());
        HuffmanDataWriter data(plan);
        spill.Rewind();
        std::vector<std::uint8_t> piece(kCodeChunk);
        std::vector<std::uint8_t> chunk;
        std::uint64_t coded = 0;
        for (std::size_t n; (n = spill.Read(piece)) > 0;) {
            coded += n;
            chunk.clear();
            data.Write(std::span<const std::uint8_t>(piece.data(), n), chunk);
            file.Write(chunk.data(), chunk.size());
        }
        // The spill file must give back exactly what was counted.
        if (coded != histogram.Total()) ThrowFileError(EIO, settings.ExportFolder);
        chunk.clear();
        data.Finish(chunk);
        file.Write(chunk.data(), chunk.size());
        ThrowIfArchiveChanged(model);
        file.Commit();
    } catch (const FileError& error) {
        ShowExportError(host, error.Number(), error.Description());
        host.ExportFinished();
        result.status = SifExportStatus::Failed;
        result.problem = error.Description();
        return result;
    } catch (const std::bad_alloc&) {
        const std::string description = std::strerror(ENOMEM);
        ShowExportError(host, ENOMEM, description);
        host.ExportFinished();
        result.status = SifExportStatus::Failed;
        result.problem = description;
        return result;
    }

    host.SetCaption(settings.ExportName + kSifCreatedSuffix);
    host.ExportFinished();
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
        host.ExportFinished();
        settings.ExportName = nameBefore;
        SifExportResult result;
        result.status = SifExportStatus::Canceled;
        return result;
    }
}

}  // namespace pixhaul
