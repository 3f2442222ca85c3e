#pragma once
// The atlas export: the frames of a selection as RGBA pages (PNG) with a data file an engine
// reads (JSON hash, Godot SpriteFrames or libGDX atlas). Pages are composed one shelf of sprites
// at a time; the pages and the data file replace older ones together or not at all.
#include <cstdint>
#include <string>
#include <vector>

#include "archive/model.h"
#include "export/atlas_layout.h"
#include "export/naming.h"
#include "export/output_budget.h"
#include "formats/png_writer.h"
#include "platform/host.h"

namespace pixhaul {

enum class AtlasDataFormat { Json, Godot, LibGdx };

struct AtlasExportRequest {
    // AllObjects, SelectedObject, SelectedAction or SelectedDirection, with its selection.
    ExportMode Mode = ExportMode::AllObjects;
    std::int32_t Object = -1;
    std::int32_t Action = -1;
    std::int32_t Direction = -1;
    AtlasLayoutOptions Layout;
    bool Trim = false;
    AtlasDataFormat Data = AtlasDataFormat::Json;
    int Fps = 10;  // 1 .. kMaxAtlasFps
    int PngLevel = kPngDefaultCompression;
};

inline constexpr int kMaxAtlasFps = 1000;

enum class AtlasExportStatus {
    Written,
    NoSelection,      // the mode's selection was missing or the mode is not one of the four
    NothingToExport,  // the selection holds no frames: told, nothing written
    TooLarge,         // a frame larger than the page, or a page too large to assemble: told
    OverBudget,
    Interrupted,  // the archive was reset or replaced meanwhile: nothing written
    Canceled,     // the user stopped it: nothing written
    Failed,       // a file error: told, older files untouched
};

struct AtlasExportResult {
    AtlasExportStatus status = AtlasExportStatus::NoSelection;
    std::vector<std::string> paths;  // pages first, then the data file (one a page: paged JSON)
    std::vector<std::int32_t> corruptImages;
    AtlasLayout layout;
};

// The extension of the data file: ".json", ".tres" or ".atlas".
const char* AtlasDataExtension(AtlasDataFormat format);

// Page p of an atlas named `name` in pageCount pages: NAME.png alone, NAME-0.png, ... when paged;
// paged JSON goes with them as NAME-0.json, ...
std::string AtlasPageFile(const std::string& name, std::size_t page, std::size_t pageCount);
std::string AtlasPagedJsonFile(const std::string& name, std::size_t page);

// The files an atlas at `base` (folder and name) may replace: the single page and its data file,
// and every numbered page (with its JSON) that exists now, since the page count is known only
// once the frames are laid out.
std::vector<std::string> AtlasFilesThatMayBeReplaced(const std::string& base, AtlasDataFormat data);

// Exports into settings.ExportFolder + settings.ExportName (automatic, as the sheet export's,
// when empty), with settings.TransColor as the transparent colour. Messages go to the host.
AtlasExportResult ExportAtlas(ArchiveModel& model, Settings& settings, Host& host,
                              const AtlasExportRequest& request, const OutputBudget& budget = {});

// What listing a selection's frames found.
enum class SelectionListing {
    Listed,
    NoSelection,      // the mode's selection is missing, or the mode is not one of the four
    Interrupted,      // the archive was reset or replaced while the list was built
    NothingToExport,  // the selection holds no frames: the user was told
};

// The status an export of frames ends with when its listing found nothing to export; Status
// names NoSelection, Interrupted and NothingToExport as SelectionListing does.
template <typename Status>
Status UnlistedStatus(SelectionListing listing) {
    switch (listing) {
        case SelectionListing::Interrupted:
            return Status::Interrupted;
        case SelectionListing::NothingToExport:
            return Status::NothingToExport;
        default:
            return Status::NoSelection;
    }
}

// The frames of a selection in archive order, every frame listed even when its image repeats.
SelectionListing ListSelectionFrames(const ArchiveModel& model, Host& host, ExportMode mode,
                                     std::int32_t object, std::int32_t action,
                                     std::int32_t direction, std::vector<AtlasSource>& list);

}  // namespace pixhaul
