// Form1: the Options and Export menus and the window's side of the two exports.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QWidget>
#include <cerrno>
#include <filesystem>
#include <new>
#include <system_error>

#include "archive/archive.h"
#include "export/image_files_export.h"
#include "export/naming.h"
#include "export/sheet_assembly.h"
#include "export/sheet_export.h"
#include "export/sif_export.h"
#include "form1.h"

namespace pixhaul::viewer {
namespace {

// The status-line note for a sheet export's result.
std::string SheetOutcomeText(const SheetExportResult& result, ExportMode mode) {
    switch (result.status) {
        case SheetExportStatus::Written: {
            std::string text;
            for (const std::string& path : result.paths) {
                text += (text.empty() ? "Written: " : ", ") + FileNameOf(path);
            }
            return text;
        }
        case SheetExportStatus::NoSelection:
            switch (mode) {
                case ExportMode::SelectedAction:
                    return "Select an action first";
                case ExportMode::SelectedDirection:
                    return "Select a direction first";
                default:
                    return "Select an object first";
            }
        case SheetExportStatus::EmptyImage:
            return "Nothing written: the displayed image is empty";
        case SheetExportStatus::NothingToExport:
            return "Nothing written: nothing to export";
        case SheetExportStatus::Undecodable:
            return "Nothing written: the displayed image cannot be decoded";
        case SheetExportStatus::TooLarge:
            return "Nothing written: the sheet is too large";
        case SheetExportStatus::OverBudget:
            return "Nothing written: over the output limit";
        case SheetExportStatus::Interrupted:
        case SheetExportStatus::Canceled:
            return "Export stopped: nothing written";
        case SheetExportStatus::Failed:
            return "Export failed: nothing written";
    }
    return {};
}

}  // namespace

void Form1::mnuOpt_Click(int Index) {
    // The item's Checked state has already been inverted by the menu.
    if (Index != static_cast<int>(Option::CacheRenderedImages)) return;
    if (mnuOpt_[Index]->isChecked() || !model_.IsLoaded()) return;
    const MessageResult answer =
        ShowMessage("Would you like to purge all cached data?\r\n(See readme for what this means!)",
                    "Caching disabled", MessageIcon::Question, MessageButtons::YesNo);
    if (answer != MessageResult::Yes) return;
    model_.ReleaseImageBitmaps();
}

void Form1::mnuExportMode_Click(int Index) {
    if (Index == static_cast<int>(ExportMode::FromList)) {
        picture3_->show();
        list1_->setEnabled(false);
        list2_->setEnabled(false);
        list3_->setEnabled(false);
        list4_->clear();
    } else {
        picture3_->hide();
        list1_->setEnabled(true);
        list2_->setEnabled(true);
        list3_->setEnabled(true);
    }
    for (QAction* item : mnuExportMode_) item->setChecked(false);
    mnuExportMode_[Index]->setChecked(true);
    settings_.ExportMode = static_cast<std::int16_t>(Index);
    UpdateExportStates();
}

bool Form1::ModeHasSomethingToExport() const {
    if (!model_.IsLoaded()) return false;
    switch (static_cast<ExportMode>(settings_.ExportMode)) {
        case ExportMode::AllObjects:
            return !model_.Objects.empty();
        case ExportMode::SelectedObject:
            return list1_->currentIndex() >= 0;
        case ExportMode::SelectedAction:
            return list2_->currentIndex() >= 0;
        case ExportMode::SelectedDirection:
            return list3_->currentIndex() >= 0;
        case ExportMode::DisplayedImage: {
            const int image = hScroll1_->value();
            return image >= 0 && image < static_cast<int>(model_.Images.size()) &&
                   model_.Images[static_cast<std::size_t>(image)].Length != 0;
        }
        case ExportMode::FromList:
            return list5_->count() > 0;
        default:
            return false;
    }
}

void Form1::UpdateExportStates() {
    const bool exportable = !busy_ && ModeHasSomethingToExport();
    mnuExpNow_->setEnabled(exportable && exportNowAllowed_);
    mnuExpAs_->setEnabled(exportable);
    mnuToSIF_->setEnabled(!busy_ && list1_->currentIndex() >= 0);
}

void Form1::ShowExportOutcome(const std::string& text) {
    exportNote_->setText(QString::fromLocal8Bit(text));
    exportNote_->setVisible(!text.empty());
}

bool Form1::ConfirmReplace(const std::vector<std::string>& paths, bool allowDontAsk) {
    if (allowDontAsk && !askBeforeReplacing_) return true;
    std::string existing;
    for (const std::string& path : paths) {
        std::error_code error;
        if (std::filesystem::exists(path, error)) existing += "\r\n" + path;
    }
    if (existing.empty()) return true;
    bool dontAskAgain = false;
    const MessageResult answer =
        dialogs_.AskReplace(this, "These files exist already:" + existing + "\r\n\r\nReplace them?",
                            allowDontAsk, &dontAskAgain);
    if (answer != MessageResult::Yes) return false;
    if (allowDontAsk && dontAskAgain) askBeforeReplacing_ = false;
    return true;
}

void Form1::mnuExpNow_Click() {
    ExportBitmaps(true);
}

void Form1::mnuExpAs_Click() {
    if (busy_) return;
    // The chosen name's extension is not what gets written (the sheet and its table are): the
    // question about replacing comes later, about those files.
    dialogs_.ConfirmOverwrite = false;
    const std::string path =
        dialogs_.FileDialog(this, kSaveMode, "Export As...", "*.BMP",
                            MakeFilter("Bitmap Images", "*.bmp"), settings_.ExportFolder, "bmp");
    dialogs_.ConfirmOverwrite = true;
    if (path.empty()) return;
    const SplitPath split = SplitExportPath(path);
    settings_.ExportName = split.Name;
    settings_.ExportFolder = split.Folder;
    // The name just chosen is asked about in ExportBitmaps with the files really written.
    ExportBitmaps(false);
}

void Form1::mnuExpTo_Click() {
    if (busy_) return;
    const std::string folder =
        dialogs_.BrowseFolder(this, "Export graphics to...", settings_.ExportFolder);
    if (!folder.empty()) settings_.ExportFolder = FolderWithSlash(folder);
    settings_.ExportName = "";
}

void Form1::mnuToSIF_Click() {
    if (busy_) return;
    const std::string path = dialogs_.FileDialog(this, kSaveMode, "Export to SIF...", "*.sif",
                                                 MakeFilter("Sprite Image Files", "*.sif"),
                                                 settings_.ExportFolder, "sif");
    if (path.empty()) return;
    const SplitPath split = SplitExportPath(path);
    settings_.ExportName = split.Name;
    settings_.ExportFolder = split.Folder;
    ExportSif();
}

void Form1::ExportBitmaps(bool allowDontAsk) {
    if (busy_) return;
    SetPlaying(false);
    SheetExportRequest request;
    request.Mode = static_cast<ExportMode>(settings_.ExportMode);
    request.Object = list1_->currentIndex();
    request.Action = list2_->currentIndex();
    request.Direction = list3_->currentIndex();
    request.DisplayedImage = hScroll1_->value();
    request.Sequence = SequenceImages();
    if (OfferReloadIfArchiveChanged()) return;
    const std::string base = settings_.ExportFolder + SheetExportName(model_, settings_, request);
    std::vector<std::string> files{base + ".bmp"};
    if (request.Mode != ExportMode::DisplayedImage &&
        IsOptionChecked(Option::GenerateLookupTable)) {
        files.push_back(base + ".dat");
    }
    if (!ConfirmReplace(files, allowDontAsk)) {
        ShowExportOutcome("Nothing written: the files exist already");
        return;
    }
    // Over the output budget the user decides; the tool refuses instead.
    OutputBudget budget;
    budget.ask = true;
    const QString caption = windowTitle();
    SheetExportResult result;
    try {
        const BusyScope busy(*this);
        result = pixhaul::ExportBitmaps(model_, settings_, *this, request, budget);
    } catch (const ArchiveChangedError&) {
        setWindowTitle(caption);
        UpdateExportStates();
        OfferReload();
        UpdateExportStates();
        return;
    }
    // The caption names the archive again; what happened stays in the status line.
    setWindowTitle(caption);
    ShowExportOutcome(SheetOutcomeText(result, request.Mode));
    UpdateExportStates();
    OfferReloadIfArchiveChanged();
    UpdateExportStates();
}

void Form1::mnuExpImages_Click() {
    if (busy_ || !model_.IsLoaded()) return;
    const std::string folder =
        dialogs_.BrowseFolder(this, "Export every image to...", settings_.ExportFolder);
    if (folder.empty() || OfferReloadIfArchiveChanged()) return;
    SetPlaying(false);
    ImageFilesRequest request;
    request.Folder = folder;
    request.Trans = settings_.TransColor;
    std::size_t existing = 0;
    for (std::size_t i = 0; i < model_.Images.size(); ++i) {
        std::error_code error;
        existing += std::filesystem::exists(ExportPath(folder, ImageFileName(i, false)), error);
    }
    if (existing > 0 && dialogs_.AskReplace(this,
                                            std::to_string(existing) +
                                                " files named image-NNNNN.png exist already in " +
                                                folder + ".\r\n\r\nReplace them?",
                                            false, nullptr) != MessageResult::Yes) {
        ShowExportOutcome("Nothing written: the files exist already");
        return;
    }
    OutputBudget budget;
    budget.ask = true;
    if (!ClearedByBudget(PlannedImageFiles(model_, request), budget, *this)) {
        ShowExportOutcome("Nothing written: over the output limit");
        return;
    }
    std::string outcome;
    try {
        const BusyScope busy(*this);
        const std::size_t problems = ExportImageFiles(
            model_, *this, request, [](std::size_t, ImageOutcome, const std::string&) {});
        outcome = "Written: the images, to " + folder;
        if (problems > 0) {
            outcome += " (" + std::to_string(problems) + " of them in part or not at all)";
        }
    } catch (const WorkCanceled&) {
        outcome = "Export stopped: the images written so far stay";
    } catch (const FileError& error) {
        ShowExportError(*this, error.Number(), error.Description(), error.Path());
        outcome = "Export failed";
    } catch (const std::bad_alloc&) {
        ShowExportError(*this, ENOMEM, std::generic_category().message(ENOMEM));
        outcome = "Export failed";
    } catch (const ArchiveChangedError&) {
        OfferReload();
    }
    ShowExportOutcome(outcome);
    UpdateExportStates();
}

void Form1::ExportSif() {
    if (busy_) return;
    const std::int32_t object = list1_->currentIndex();
    if (object < 0) return;
    if (OfferReloadIfArchiveChanged()) return;
    SetPlaying(false);
    OutputBudget budget;
    budget.ask = true;
    const QString caption = windowTitle();
    try {
        const BusyScope busy(*this);
        pixhaul::ExportSif(model_, settings_, *this, object, budget);
    } catch (const ArchiveChangedError&) {
        setWindowTitle(caption);
        OfferReload();
        UpdateExportStates();
        return;
    }
    // The caption names the archive again; the core's last word moves to the status line.
    const QString outcome = windowTitle();
    setWindowTitle(caption);
    ShowExportOutcome(outcome != caption ? outcome.toLocal8Bit().toStdString() : std::string());
    UpdateExportStates();
    OfferReloadIfArchiveChanged();
    UpdateExportStates();
}

}  // namespace pixhaul::viewer
