// Form1: browsing keys, zoom commands, the info line, playback, recent files, remembered
// settings and the About box.
#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QScrollBar>
#include <QSettings>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <array>
#include <cmath>

#include "archive/archive.h"
#include "form1.h"
#include "picture_box.h"
#include "pixhaul_version.h"

namespace pixhaul::viewer {

void Form1::StepImage(int delta) {
    const std::int64_t target = static_cast<std::int64_t>(hScroll1_->value()) + delta;
    hScroll1_->setValue(static_cast<int>(
        std::clamp<std::int64_t>(target, hScroll1_->minimum(), hScroll1_->maximum())));
}

void Form1::StepFrame(int delta) {
    const int count = list4_->count();
    if (count <= 0) return;
    const int current = list4_->currentIndex();
    const int next =
        current < 0 ? (delta > 0 ? 0 : count - 1) : ((current + delta) % count + count) % count;
    list4_->setCurrentIndex(next);
}

void Form1::SetZoom(double zoom) {
    settings_.Zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    HScroll1_Change();
    SetLabel(ZoomLabel(settings_.Zoom));
}

void Form1::FitZoom() {
    const int index = hScroll1_->value();
    if (index < 0 || index >= static_cast<int>(model_.Images.size())) return;
    const ImageRecord& image = model_.Images[static_cast<std::size_t>(index)];
    if (image.Width <= 0 || image.Height <= 0) return;
    const double fit = std::min(static_cast<double>(picture1_->width()) / image.Width,
                                static_cast<double>(picture1_->height()) / image.Height);
    // The zoom moves in steps of kZoomStep: the largest step that still fits.
    SetZoom(std::max(kMinZoom, std::floor(fit / kZoomStep) * kZoomStep));
}

void Form1::IndexFrameUses() {
    frameUses_.clear();
    for (std::size_t o = 0; o < model_.Objects.size(); ++o) {
        const auto& actions = model_.Objects[o].Actions;
        for (std::size_t a = 0; a < actions.size(); ++a) {
            const auto& directions = actions[a].Directions;
            for (std::size_t d = 0; d < directions.size(); ++d) {
                const auto& frames = directions[d].Frames;
                for (std::size_t f = 0; f < frames.size(); ++f) {
                    frameUses_.push_back({frames[f].ImageIndex, static_cast<std::int32_t>(o),
                                          static_cast<std::int32_t>(a),
                                          static_cast<std::int32_t>(d),
                                          static_cast<std::int32_t>(f)});
                }
            }
        }
    }
    // Stable: the frames of one image stay in hierarchy order.
    std::stable_sort(frameUses_.begin(), frameUses_.end(),
                     [](const FrameUse& x, const FrameUse& y) { return x.image < y.image; });
}

void Form1::UpdateInfoLine(std::int32_t index) {
    if (!model_.IsLoaded() || index < 0 ||
        index >= static_cast<std::int32_t>(model_.Images.size())) {
        infoLine_->clear();
        infoLine_->setToolTip({});
        return;
    }
    const ImageRecord& image = model_.Images[static_cast<std::size_t>(index)];
    const auto [first, last] =
        std::equal_range(frameUses_.begin(), frameUses_.end(), FrameUse{index, 0, 0, 0, 0},
                         [](const FrameUse& x, const FrameUse& y) { return x.image < y.image; });
    constexpr std::ptrdiff_t kNamed = 3;  // frames named in full; the rest are counted
    std::string uses;
    for (auto use = first; use != last && use - first < kNamed; ++use) {
        uses.append(use == first ? " " : ", ");
        const std::array<std::int32_t, 4> parts{use->object, use->action, use->direction,
                                                use->frame};
        for (std::size_t p = 0; p < parts.size(); ++p) {
            if (p > 0) uses.push_back('/');
            uses.append(std::to_string(parts[p]));
        }
    }
    std::string text("#");
    text.append(std::to_string(static_cast<std::int64_t>(index) + 1));
    text.append("  ").append(std::to_string(image.Width)).append("x");
    text.append(std::to_string(image.Height)).append("  type ");
    text.append(std::to_string(image.eType)).append("  block ");
    text.append(std::to_string(image.PaletteIndex)).append("  ");
    if (first == last) {
        text += "no frame uses it";
    } else {
        text += "frames (object/action/direction/frame):" + uses;
        if (last - first > kNamed)
            text += " and " + std::to_string(last - first - kNamed) + " more";
    }
    // The line is cut off where the window is narrow; its tip shows all of it.
    infoLine_->setText(QString::fromStdString(text));
    infoLine_->setToolTip(infoLine_->text());
}

bool Form1::IsPlaying() const {
    return playTimer_->isActive();
}

void Form1::SetPlaying(bool playing) {
    if (playing && list4_->count() == 0) playing = false;  // no direction chosen
    if (playing) {
        playTimer_->start(1000 / fpsBox_->value());
    } else {
        playTimer_->stop();
    }
    playButton_->setChecked(playing);
    playButton_->setText(playing ? "Pause" : "Play");
}

void Form1::PlaybackTick() {
    if (busy_ || list4_->count() == 0) {
        SetPlaying(false);
        return;
    }
    StepFrame(1);
}

void Form1::SetRecentFiles(std::vector<std::string> paths) {
    std::vector<std::string> unique;
    for (std::string& path : paths) {
        if (path.empty() || std::find(unique.begin(), unique.end(), path) != unique.end()) continue;
        unique.push_back(std::move(path));
        if (static_cast<int>(unique.size()) == kRecentFileCount) break;
    }
    recentFiles_ = std::move(unique);
    RebuildRecentMenu();
}

void Form1::AddRecentFile(const std::string& path) {
    std::vector<std::string> paths{path};
    paths.insert(paths.end(), recentFiles_.begin(), recentFiles_.end());
    SetRecentFiles(std::move(paths));
}

void Form1::RebuildRecentMenu() {
    mnuRecent_->clear();
    for (std::size_t i = 0; i < recentFiles_.size(); ++i) {
        const std::string& path = recentFiles_[i];
        QAction* item = mnuRecent_->addAction(
            QStringLiteral("&%1 %2").arg(i + 1).arg(QString::fromLocal8Bit(path)));
        item->setObjectName(QStringLiteral("mnuRecent_%1").arg(i));
        connect(item, &QAction::triggered, this, [this, path] { OpenArchive(path); });
    }
    mnuRecent_->setEnabled(!recentFiles_.empty());
}

namespace {

constexpr const char* kKeyExportFolder = "export/folder";
constexpr const char* kKeyExportMode = "export/mode";
constexpr const char* kKeyTransColor = "view/transparentColour";
constexpr const char* kKeyZoom = "view/zoom";
constexpr const char* kKeyGeometry = "window/geometry";
constexpr const char* kKeyRecent = "file/recent";

}  // namespace

void Form1::RestorePreferences() {
    const QSettings prefs;
    const QString folder = prefs.value(kKeyExportFolder).toString();
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) {
        settings_.ExportFolder = folder.toLocal8Bit().toStdString();
        if (settings_.ExportFolder.back() != '/') settings_.ExportFolder += '/';
    }
    bool ok = false;
    const uint colour = prefs.value(kKeyTransColor).toUInt(&ok);
    if (ok && colour <= 0xFFFFFF) {
        settings_.TransColor = colour;
        picture1_->SetBackColor(colour);
    }
    const double zoom = prefs.value(kKeyZoom).toDouble(&ok);
    if (ok && zoom >= kMinZoom && zoom <= kMaxZoom) settings_.Zoom = zoom;
    const int mode = prefs.value(kKeyExportMode).toInt(&ok);
    if (ok && mode >= 0 && mode < static_cast<int>(mnuExportMode_.size()) &&
        mnuExportMode_[static_cast<std::size_t>(mode)]->isVisible()) {
        mnuExportMode_Click(mode);
    }
    restoreGeometry(prefs.value(kKeyGeometry).toByteArray());
    std::vector<std::string> recent;
    for (const QString& path : prefs.value(kKeyRecent).toStringList()) {
        recent.push_back(path.toLocal8Bit().toStdString());
    }
    SetRecentFiles(std::move(recent));
    HScroll1_Change();
}

void Form1::SavePreferences() const {
    QSettings prefs;
    prefs.setValue(kKeyExportFolder, QString::fromLocal8Bit(settings_.ExportFolder));
    prefs.setValue(kKeyTransColor, static_cast<uint>(settings_.TransColor));
    prefs.setValue(kKeyZoom, settings_.Zoom);
    prefs.setValue(kKeyExportMode, static_cast<int>(settings_.ExportMode));
    prefs.setValue(kKeyGeometry, saveGeometry());
    QStringList recent;
    for (const std::string& path : recentFiles_) recent.append(QString::fromLocal8Bit(path));
    prefs.setValue(kKeyRecent, recent);
}

void Form1::ShowAbout() {
    QMessageBox::about(this, QStringLiteral("About Pixhaul"),
                       QStringLiteral("<b>Pixhaul</b> %1<br>Gets sprites out of QXA sprite "
                                      "archives: browse them, export sheets and lookup tables.")
                           .arg(QStringLiteral(PIXHAUL_VERSION)));
}

}  // namespace pixhaul::viewer
