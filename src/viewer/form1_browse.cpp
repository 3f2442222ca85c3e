// Form1: the browsing lists, the scroll bar, the frame display, and the File and View commands.
#include <QComboBox>
#include <QFileInfo>
#include <QListWidget>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>

#include "archive/archive.h"
#include "export/compose_image.h"
#include "form1.h"
#include "picture_box.h"

namespace pixhaul::viewer {
namespace {

// The model keeps its texts as UTF-8 (action names were read as Latin-1 by the loader).
QString ListText(const std::string& text) {
    return QString::fromStdString(text);
}

// Empties a list without telling its handler.
void ClearList(QComboBox* list) {
    const QSignalBlocker block(list);
    list->clear();
    list->setCurrentIndex(-1);
}

// Fills an emptied list; it stays without a selection, as a list of the window does until the
// user chooses an item.
template <typename TextOf>
void FillList(QComboBox* list, std::size_t count, TextOf textOf) {
    const QSignalBlocker block(list);
    for (std::size_t i = 0; i < count; ++i) list->addItem(ListText(textOf(i)));
    list->setCurrentIndex(-1);
}

}  // namespace

const ActionRecord* Form1::SelectedAction() const {
    const int object = list1_->currentIndex();
    const int action = list2_->currentIndex();
    if (object < 0 || action < 0 || object >= static_cast<int>(model_.Objects.size())) {
        return nullptr;
    }
    const auto& actions = model_.Objects[object].Actions;
    return action < static_cast<int>(actions.size()) ? &actions[action] : nullptr;
}

const DirectionRecord* Form1::SelectedDirection() const {
    const ActionRecord* action = SelectedAction();
    const int direction = list3_->currentIndex();
    if (action == nullptr || direction < 0 ||
        direction >= static_cast<int>(action->Directions.size())) {
        return nullptr;
    }
    return &action->Directions[direction];
}

void Form1::List1_Click() {
    const int object = list1_->currentIndex();
    if (object < 0 || object >= static_cast<int>(model_.Objects.size())) return;
    ClearList(list2_);
    ClearList(list3_);
    ClearList(list4_);
    const auto& actions = model_.Objects[object].Actions;
    FillList(list2_, actions.size(), [&](std::size_t a) { return ActionItemText(actions[a]); });
    SetPlaying(false);
    UpdateExportStates();
}

void Form1::List2_Click() {
    const ActionRecord* action = SelectedAction();
    if (action == nullptr) return;
    ClearList(list3_);
    ClearList(list4_);
    const auto& directions = action->Directions;
    FillList(list3_, directions.size(), [&](std::size_t d) {
        return DirectionItemText(directions[d], static_cast<std::int32_t>(d));
    });
    SetPlaying(false);
    UpdateExportStates();
}

void Form1::List3_Click() {
    const DirectionRecord* direction = SelectedDirection();
    if (direction == nullptr) return;
    ClearList(list4_);
    const auto& frames = direction->Frames;
    FillList(list4_, frames.size(),
             [&](std::size_t f) { return FrameItemText(frames[f], static_cast<std::int32_t>(f)); });
    UpdateExportStates();
}

void Form1::List4_Click() {
    const int frame = list4_->currentIndex();
    if (frame < 0) return;
    if (mnuExportMode_[7]->isChecked()) return;
    const DirectionRecord* direction = SelectedDirection();
    if (direction == nullptr) return;
    const auto& frames = direction->Frames;
    if (frame >= static_cast<int>(frames.size())) return;
    const std::int32_t image = frames[frame].ImageIndex;
    if (image < 0 || image >= static_cast<std::int32_t>(model_.Images.size())) {
        // The frame names an image the archive does not hold: there is nothing to show.
        ClearPicture();
        return;
    }
    hScroll1_->setValue(image);  // shows the image through HScroll1_Change unless already there
}

void Form1::HScroll1_Change() {
    const int value = hScroll1_->value();
    const int last = static_cast<int>(model_.Images.size()) - 1;
    if (value > last) {
        hScroll1_->setValue(last);
        return;
    }
    ShowImage(value);
}

void Form1::ClearPicture() {
    picture1_->Clear();
}

void Form1::ShowImage(std::int32_t Index) {
    const std::uint64_t serial = ++showSerial_;
    // The picture is composed at 1:1 and kept by Picture1, which scales it and pans over it
    // without decoding again. A size Render refuses takes no surface.
    std::int32_t width = 0, height = 0;
    if (ImageIsDecodable(model_, Index)) {
        width = model_.Images[static_cast<std::size_t>(Index)].Width;
        height = model_.Images[static_cast<std::size_t>(Index)].Height;
    }
    const ComposedImage shown = ComposeImage(model_, Index, settings_.TransColor, *this,
                                             {picture1_->StartPicture(width, height), 0, 0, 1.0});
    if (shown.paletteRead) ++stats_.paletteReads;
    if (shown.decoded) ++stats_.decodes;
    // A box about a corrupt image lets events run: if another image was chosen meanwhile, it
    // was shown (and named) by then, and this one must not overwrite it.
    if (serial != showSerial_) return;
    picture1_->ShowPicture(settings_.Zoom);
    UpdateInfoLine(Index);
    UpdateExportStates();
    if (shown.outcome == ImageOutcome::Missing || !model_.IsLoaded()) return;
    SetLabel("Viewing frame " + std::to_string(static_cast<std::int64_t>(Index) + 1) + " of " +
             std::to_string(static_cast<std::int64_t>(hScroll1_->maximum()) + 1));
}

void Form1::mnuLoad_Click() {
    if (busy_) return;
    const std::string path =
        dialogs_.FileDialog(this, kOpenMode, "Open QXA file", "*.QXA",
                            MakeFilter("QXA File", "*.qxa"), settings_.ExportFolder, "qxa");
    if (path.empty()) return;
    OpenArchive(path);
}

void Form1::OpenArchive(const std::string& path) {
    if (busy_ || path.empty()) return;
    SetPlaying(false);
    // The caption and the recent files name the archive wherever the program was started.
    settings_.ArchivePath =
        QFileInfo(QString::fromLocal8Bit(path)).absoluteFilePath().toLocal8Bit().toStdString();
    ShowExportOutcome("");
    RunLoad();
    if (model_.IsLoaded()) AddRecentFile(settings_.ArchivePath);
    UpdateExportStates();
}

bool Form1::Picture1_Drop(const std::string& path) {
    if (busy_) return false;
    // Load once the drop has finished, so the drag source is not kept waiting for the load.
    QTimer::singleShot(0, this, [this, path] { OpenArchive(path); });
    return true;
}

void Form1::mnuUnload_Click() {
    if (busy_ || settings_.ArchivePath.empty()) return;
    SetPlaying(false);
    ResetArchive(model_, *this);
    SetCaption(kCaptionUnloaded);
    ShowExportOutcome("");
    UpdateExportStates();
}

void Form1::mnuTransparent_Click() {
    const std::optional<COLORREF> colour = dialogs_.PickColor(this, settings_.TransColor);
    if (!colour) return;  // cancelled: the colour stays
    // Cached renders hold the old colour: kept, they would mix two key colours on the screen
    // and in exported sheets.
    if (*colour != settings_.TransColor) model_.ReleaseImageBitmaps();
    settings_.TransColor = *colour;
    picture1_->SetBackColor(*colour);
    HScroll1_Change();
}

void Form1::ArchiveReset() {
    SetPlaying(false);
    frameUses_.clear();
    ClearList(list1_);
    ClearList(list2_);
    ClearList(list3_);
    ClearList(list4_);
    {
        const QSignalBlocker block(hScroll1_);
        hScroll1_->setRange(0, 0);
        hScroll1_->setValue(0);
    }
    ClearPicture();
}

void Form1::ArchiveLoaded() {
    IndexFrameUses();
    ClearList(list1_);
    const auto& objects = model_.Objects;
    FillList(list1_, objects.size(),
             [&](std::size_t o) { return ObjectItemText(model_, static_cast<std::int32_t>(o)); });
    {
        const QSignalBlocker block(hScroll1_);
        hScroll1_->setRange(0, std::max<std::int32_t>(0, model_.LastImage));
        hScroll1_->setValue(0);
    }
    ShowImage(0);
}

}  // namespace pixhaul::viewer
