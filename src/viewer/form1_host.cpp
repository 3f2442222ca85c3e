// Form1 as the host of core: captions, Label1, message boxes, options, yields and the progress
// of long work; and the guard that keeps the model still while a load or an export runs.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

#include "archive/archive.h"
#include "form1.h"

namespace pixhaul::viewer {

void Form1::SetCaption(const std::string& text) {
    setWindowTitle(QString::fromLocal8Bit(text));
}

void Form1::SetLabel(const std::string& text) {
    labelPending_ = false;
    label1_->setText(QString::fromLocal8Bit(text));
}

MessageResult Form1::ShowMessage(const std::string& text, const std::string& title,
                                 MessageIcon icon, MessageButtons buttons,
                                 const std::string& details) {
    // The bar shows where the work stands while the box waits, not where it last pumped.
    if (progressPending_) ShowProgress();
    return dialogs_.MessageBox(this, text, title, icon, buttons, details);
}

bool Form1::IsOptionChecked(Option option) {
    const int index = static_cast<int>(option);
    if (index < 0 || index >= static_cast<int>(mnuOpt_.size())) return false;
    return mnuOpt_[index]->isChecked();
}

void Form1::Yield() {
    // Pumping (and repainting the counters) costs far more than one image of a load: do it at a
    // steady pace instead of at every call, showing the latest counters when we do.
    const auto now = std::chrono::steady_clock::now();
    if (now - lastPump_ < kPumpInterval) return;
    lastPump_ = now;
    if (labelPending_) SetLabel(LoadingLabel(loadNumber_, loadTotal_));
    if (progressPending_) ShowProgress();
    QCoreApplication::processEvents();
}

void Form1::ImageLoaded(std::int64_t number, std::int64_t total) {
    loadNumber_ = number;
    loadTotal_ = total;
    labelPending_ = true;
    Progress(number, total);
    Yield();
}

void Form1::Progress(std::int64_t done, std::int64_t total) {
    progressDone_ = done;
    progressTotal_ = total;
    progressPending_ = true;
}

void Form1::ShowProgress() {
    progressPending_ = false;
    if (progressTotal_ <= 0) {
        progress_->setRange(0, 0);
        return;
    }
    // QProgressBar counts in int: scale counts beyond its range.
    const std::int64_t scale = progressTotal_ > 1'000'000 ? progressTotal_ / 1'000'000 + 1 : 1;
    progress_->setRange(0, static_cast<int>(progressTotal_ / scale));
    progress_->setValue(
        static_cast<int>(std::clamp<std::int64_t>(progressDone_, 0, progressTotal_) / scale));
}

void Form1::ThumbnailBlockLoaded(bool loaded) {
    // Exporting all thumbnails and icons needs block 0. Qt reports a hidden action as disabled
    // whatever it was told; the item's own state is kept beside it for whoever asks.
    mnuExportMode_[0]->setEnabled(loaded);
    mnuExportMode_[0]->setProperty(kItemEnabledProperty, loaded);
}

void Form1::ExportStarted() {
    exportNowAllowed_ = false;
    UpdateCommandStates();
}

void Form1::ExportFinished() {
    exportNowAllowed_ = true;
    UpdateCommandStates();
}

void Form1::RequestCancel() {
    if (busy_) cancelRequested_ = true;
}

void Form1::UpdateCommandStates() {
    mnuLoad_->setEnabled(!busy_);
    mnuUnload_->setEnabled(!busy_);
    mnuExpNow_->setEnabled(exportNowAllowed_ && !busy_);
    mnuExpAs_->setEnabled(!busy_);
    mnuExpTo_->setEnabled(!busy_);
    mnuToSIF_->setEnabled(!busy_);
}

Form1::BusyScope::BusyScope(Form1& form) : form_(form), wasBusy_(form.busy_) {
    form_.busy_ = true;
    if (!wasBusy_) form_.cancelRequested_ = false;
    form_.progressPending_ = false;
    form_.progress_->setRange(0, 0);
    form_.progress_->show();
    form_.cancel_->show();
    form_.UpdateCommandStates();
}

Form1::BusyScope::~BusyScope() {
    form_.busy_ = wasBusy_;
    if (wasBusy_) return;
    // Counters of the work that ended are not shown any more.
    form_.labelPending_ = false;
    form_.progressPending_ = false;
    form_.progress_->hide();
    form_.cancel_->hide();
    form_.cancelRequested_ = false;
    form_.UpdateCommandStates();
    form_.FinishPendingClose();
}

void Form1::FinishPendingClose() {
    if (!closePending_) return;
    closePending_ = false;
    QTimer::singleShot(0, this, [this] { close(); });
}

void Form1::RunLoad() {
    const BusyScope busy(*this);
    LoadArchive(model_, settings_.ArchivePath, *this);
}

bool Form1::OfferReloadIfArchiveChanged() {
    if (!ArchiveChangedOnDisk(model_)) return false;
    OfferReload();
    return true;
}

void Form1::OfferReload() {
    const std::string path = model_.File ? model_.File->Path() : settings_.ArchivePath;
    std::string text = kArchiveChangedMessage;
    text[0] = 'T';
    text += ":\r\n" + path + "\r\n\r\nReload it?";
    if (ShowMessage(text, kProgramName, MessageIcon::Exclamation, MessageButtons::YesNo) !=
        MessageResult::Yes) {
        return;
    }
    settings_.ArchivePath = path;
    RunLoad();
}

}  // namespace pixhaul::viewer
