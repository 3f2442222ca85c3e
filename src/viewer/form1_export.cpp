// Form1: the Options and Export menus and the window's side of the two exports.
#include <QAction>
#include <QComboBox>
#include <QScrollBar>
#include <QWidget>

#include "archive/archive.h"
#include "export/naming.h"
#include "export/sheet_export.h"
#include "export/sif_export.h"
#include "form1.h"

namespace pixhaul::viewer {

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
}

void Form1::mnuExpNow_Click() {
    ExportBitmaps();
}

void Form1::mnuExpAs_Click() {
    if (busy_) return;
    const std::string path =
        dialogs_.FileDialog(this, kSaveMode, "Export As...", "*.BMP",
                            MakeFilter("Bitmap Images", "*.bmp"), settings_.ExportFolder, "bmp");
    if (path.empty()) return;
    const SplitPath split = SplitExportPath(path);
    settings_.ExportName = split.Name;
    settings_.ExportFolder = split.Folder;
    ExportBitmaps();
}

void Form1::mnuExpTo_Click() {
    if (busy_) return;
    const std::string folder =
        dialogs_.BrowseFolder(this, "Export graphics to...", settings_.ExportFolder);
    if (!folder.empty()) settings_.ExportFolder = folder.back() == '/' ? folder : folder + "/";
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

void Form1::ExportBitmaps() {
    if (busy_) return;
    SheetExportRequest request;
    request.Mode = static_cast<ExportMode>(settings_.ExportMode);
    request.Object = list1_->currentIndex();
    request.Action = list2_->currentIndex();
    request.Direction = list3_->currentIndex();
    request.DisplayedImage = hScroll1_->value();
    request.Sequence = SequenceImages();
    if (OfferReloadIfArchiveChanged()) return;
    // Over the output budget the user decides; the tool refuses instead.
    OutputBudget budget;
    budget.ask = true;
    try {
        const BusyScope busy(*this);
        pixhaul::ExportBitmaps(model_, settings_, *this, request, budget);
    } catch (const ArchiveChangedError&) {
        OfferReload();
        return;
    }
    OfferReloadIfArchiveChanged();
}

void Form1::ExportSif() {
    if (busy_) return;
    const std::int32_t object = list1_->currentIndex();
    if (object < 0) return;
    if (OfferReloadIfArchiveChanged()) return;
    OutputBudget budget;
    budget.ask = true;
    try {
        const BusyScope busy(*this);
        pixhaul::ExportSif(model_, settings_, *this, object, budget);
    } catch (const ArchiveChangedError&) {
        ExportFinished();
        OfferReload();
        return;
    }
    OfferReloadIfArchiveChanged();
}

}  // namespace pixhaul::viewer
