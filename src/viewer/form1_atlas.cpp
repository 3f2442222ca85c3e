// Form1: Export > Export Atlas... and Export Frames..., the selection of the export mode as RGBA
// pages with engine data, or as one file per frame; the same bytes as qxa atlas and qxa frames.
#include <QComboBox>

#include "archive/archive.h"
#include "export/naming.h"
#include "form1.h"

namespace pixhaul::viewer {

namespace {

bool ExportsFrames(ExportMode mode) {
    return mode == ExportMode::AllObjects || mode == ExportMode::SelectedObject ||
           mode == ExportMode::SelectedAction || mode == ExportMode::SelectedDirection;
}

}  // namespace

bool Form1::ExportModeSelection(ExportMode& mode, std::int32_t& object, std::int32_t& action,
                                std::int32_t& direction) {
    if (busy_ || !model_.IsLoaded()) return false;
    SetPlaying(false);
    mode = static_cast<ExportMode>(settings_.ExportMode);
    if (!ExportsFrames(mode)) {
        ShowMessage(
            "Atlases and frames are made of all objects, the selected object, action or "
            "direction: choose one of these in the Export menu.",
            kProgramName, MessageIcon::Exclamation, MessageButtons::Ok);
        return false;
    }
    object = mode == ExportMode::AllObjects ? -1 : list1_->currentIndex();
    action = mode == ExportMode::SelectedAction || mode == ExportMode::SelectedDirection
                 ? list2_->currentIndex()
                 : -1;
    direction = mode == ExportMode::SelectedDirection ? list3_->currentIndex() : -1;
    return true;
}

bool Form1::RunSelectionExport(const std::function<void(const OutputBudget&)>& work) {
    OutputBudget budget;
    budget.ask = true;
    const QString caption = windowTitle();
    try {
        const BusyScope busy(*this);
        work(budget);
    } catch (const ArchiveChangedError&) {
        setWindowTitle(caption);
        OfferReload();
        UpdateExportStates();
        return false;
    }
    setWindowTitle(caption);
    return true;
}

void Form1::mnuExpAtlas_Click() {
    AtlasChoice choice;
    choice.Folder = settings_.ExportFolder;
    AtlasExportRequest& request = choice.Request;
    if (!ExportModeSelection(request.Mode, request.Object, request.Action, request.Direction)) {
        return;
    }
    if (!choosers_.Atlas(this, choice)) return;
    Settings settings = settings_;
    settings.ExportFolder = FolderWithSlash(choice.Folder);
    settings.ExportName = RemoveKnownExtension(choice.Name);
    if (OfferReloadIfArchiveChanged()) return;
    const std::string base =
        settings.ExportFolder +
        (!settings.ExportName.empty()
             ? settings.ExportName
             : AutomaticExportName(model_, settings.ArchivePath, request.Mode, request.Object,
                                   request.Action, request.Direction, 0));
    if (!ConfirmReplace(AtlasFilesThatMayBeReplaced(base, request.Data), false)) {
        ShowExportOutcome("Nothing written: the files exist already");
        return;
    }
    settings_.ExportFolder = settings.ExportFolder;
    AtlasExportResult result;
    if (!RunSelectionExport([&](const OutputBudget& budget) {
            result = ExportAtlas(model_, settings, *this, request, budget);
        })) {
        return;
    }
    if (result.status == AtlasExportStatus::Written) {
        ShowExportOutcome("Wrote " + std::to_string(result.paths.size()) + " files: " +
                          result.paths.front() + (result.paths.size() > 1 ? " ..." : ""));
    }
    UpdateExportStates();
    OfferReloadIfArchiveChanged();
}

void Form1::mnuExpFrames_Click() {
    FramesChoice choice;
    choice.Folder = settings_.ExportFolder;
    FramesExportRequest& request = choice.Request;
    if (!ExportModeSelection(request.Mode, request.Object, request.Action, request.Direction)) {
        return;
    }
    if (!choosers_.Frames(this, choice) || choice.Folder.empty()) return;
    Settings settings = settings_;
    settings.ExportFolder = FolderWithSlash(choice.Folder);
    if (OfferReloadIfArchiveChanged()) return;
    settings_.ExportFolder = settings.ExportFolder;
    FramesExportResult result;
    if (!RunSelectionExport([&](const OutputBudget& budget) {
            result = ExportFrames(model_, settings, *this, request, budget);
        })) {
        return;
    }
    if (!result.paths.empty()) {
        ShowExportOutcome("Wrote " + std::to_string(result.paths.size()) + " frames under " +
                          settings.ExportFolder);
    }
    UpdateExportStates();
    OfferReloadIfArchiveChanged();
}

}  // namespace pixhaul::viewer
