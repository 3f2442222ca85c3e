// Form1: Export > Export Animation..., the chosen direction as an animated WebP, GIF or PNG.
#include <QComboBox>

#include "archive/archive.h"
#include "export/anim_export.h"
#include "export/naming.h"
#include "form1.h"

namespace pixhaul::viewer {

void Form1::mnuExpAnim_Click() {
    if (busy_ || SelectedDirection() == nullptr) return;
    AnimExportRequest request;
    request.Object = list1_->currentIndex();
    request.Action = list2_->currentIndex();
    request.Direction = list3_->currentIndex();
    request.TransColor = settings_.TransColor;
    request.Fps = kDefaultAnimFps;
    const std::string name =
        AnimPreviewName(model_, request.Object, request.Action, request.Direction) + ".webp";
    request.Path =
        dialogs_.FileDialog(this, kSaveMode, "Export Animation...", name,
                            MakeFilter("Animation: WebP, GIF or PNG", "*.webp *.gif *.png"),
                            settings_.ExportFolder, "webp");
    if (request.Path.empty()) return;
    if (!AnimFormatFromPath(request.Path, request.Format)) {
        ShowMessage("Name the file .webp, .gif or .png: the name chooses the format.", kProgramName,
                    MessageIcon::Exclamation, MessageButtons::Ok);
        return;
    }
    settings_.ExportFolder = SplitExportPath(request.Path).Folder;
    if (OfferReloadIfArchiveChanged()) return;
    AnimExportResult result;
    {
        const BusyScope busy(*this);
        result = ExportAnimation(model_, *this, request);
    }
    if (result.status == AnimExportStatus::Written || result.status == AnimExportStatus::Canceled) {
        return;
    }
    ShowMessage(result.message, "Dammit!", MessageIcon::Critical, MessageButtons::Ok);
    OfferReloadIfArchiveChanged();
}

}  // namespace pixhaul::viewer
