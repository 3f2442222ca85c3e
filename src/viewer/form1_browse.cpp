// Form1: the browsing lists, the scroll bar, the frame display, and the File and View commands.
#include <QComboBox>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>

#include "archive/archive.h"
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
}

void Form1::List3_Click() {
    const DirectionRecord* direction = SelectedDirection();
    if (direction == nullptr) return;
    ClearList(list4_);
    const auto& frames = direction->Frames;
    FillList(list4_, frames.size(),
             [&](std::size_t f) { return FrameItemText(frames[f], static_cast<std::int32_t>(f)); });
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
    picture1_->Refresh();
}

void Form1::ShowImage(std::int32_t Index) {
    picture1_->Clear();
    if (Index < 0 || Index >= static_cast<std::int32_t>(model_.Images.size())) {
        picture1_->Refresh();
        return;
    }
    ImageRecord& E = model_.Images[Index];
    if (E.Length == 0 || !E.Loaded) {
        picture1_->Refresh();
        return;
    }
    cBitMap& bitmap = model_.ImageBitmap(static_cast<std::size_t>(Index));
    const bool caching = IsOptionChecked(Option::CacheRenderedImages);
    if (!(caching && bitmap.IsRendered())) {
        if (E.eType == kPaletteType) {
            ++stats_.paletteReads;
            const auto palette = ReadBlockPalette(model_, E.PaletteIndex);
            bitmap.SetPalette(palette);
        }
        ++stats_.decodes;
        bitmap.Render(settings_.TransColor, *this);
    }
    bitmap.DrawTo(picture1_->hDC(), 0, 0, 0, 0, E.Width, E.Height, settings_.Zoom, settings_.Zoom,
                  SRCCOPY);
    if (!IsOptionChecked(Option::CacheRenderedImages)) bitmap.Purge();
    picture1_->Refresh();
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
    settings_.ArchivePath = path;
    RunLoad();
}

bool Form1::Picture1_Drop(const std::string& path) {
    if (busy_) return false;
    // Load once the drop has finished, so the drag source is not kept waiting for the load.
    QTimer::singleShot(0, this, [this, path] { OpenArchive(path); });
    return true;
}

void Form1::mnuUnload_Click() {
    if (busy_ || settings_.ArchivePath.empty()) return;
    ResetArchive(model_, *this);
    SetCaption(kCaptionUnloaded);
}

void Form1::mnuTransparent_Click() {
    const std::optional<COLORREF> colour = dialogs_.PickColor(this, settings_.TransColor);
    if (!colour) return;  // cancelled: the colour stays
    settings_.TransColor = *colour;
    picture1_->SetBackColor(*colour);
    HScroll1_Change();
}

void Form1::ArchiveReset() {
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
