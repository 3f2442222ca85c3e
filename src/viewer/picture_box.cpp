#include "picture_box.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPaintEvent>
#include <QPainter>
#include <QUrl>

#include "bgr_to_rgb32.h"

namespace pixhaul::viewer {
namespace {

QColor ToQColor(COLORREF colour) {
    return QColor(RedOf(colour), GreenOf(colour), BlueOf(colour));
}

}  // namespace

std::string FirstLocalFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) return "";
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty()) {
            return url.toLocalFile().toLocal8Bit().toStdString();
        }
    }
    return "";
}

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    setAcceptDrops(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::SetBackColor(COLORREF colour) {
    backColor_ = colour;
}

void PictureBox::SetCheckerboard(bool on) {
    checkerboard_ = on;
    update();
}

void PictureBox::Clear() {
    if (surface_.Width() != width() || surface_.Height() != height()) {
        surface_.Reset(width(), height());
        filledWith_.reset();
    }
    const PixelRect drawn = surface_.TakeChanges();
    drawn_.Unite(drawn);
    pending_.Unite(drawn);
    if (filledWith_ != backColor_) {
        surface_.Fill(backColor_);
        filledWith_ = backColor_;
    } else {
        surface_.FillRect(drawn_, backColor_);
    }
    pending_.Unite(surface_.TakeChanges());
    drawn_ = PixelRect{};
}

void PictureBox::Refresh() {
    const PixelRect drawn = surface_.TakeChanges();
    drawn_.Unite(drawn);
    pending_.Unite(drawn);
    if (surface_.Width() <= 0 || surface_.Height() <= 0) {
        shown_ = QImage();
        pending_ = PixelRect{};
        update();
        return;
    }
    if (shown_.width() != surface_.Width() || shown_.height() != surface_.Height()) {
        shown_ = QImage(surface_.Width(), surface_.Height(), QImage::Format_RGB32);
        pending_ = PixelRect{0, 0, surface_.Width(), surface_.Height()};
    }
    if (pending_.Empty()) return;
    // Rows are stored bottom-up: converted once here, so repaints are plain copies.
    ConvertSurfaceRect(surface_, pending_, shown_.bits(), shown_.bytesPerLine());
    update(QRect(pending_.left, pending_.top, pending_.Width(), pending_.Height()));
    pending_ = PixelRect{};
}

void PictureBox::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (shown_.isNull()) {
        painter.fillRect(event->rect(), ToQColor(backColor_));
    } else if (!checkerboard_) {
        painter.drawImage(event->rect(), shown_, event->rect());
    } else {
        // Background pixels become 8-pixel squares of two greys.
        constexpr int kSquare = 8;
        const QRect area = event->rect() & shown_.rect();
        QImage part = shown_.copy(area);
        const QRgb key = qRgb(RedOf(backColor_), GreenOf(backColor_), BlueOf(backColor_));
        for (int y = 0; y < part.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(part.scanLine(y));
            for (int x = 0; x < part.width(); ++x) {
                if ((row[x] | 0xFF000000u) != (key | 0xFF000000u)) continue;
                const bool dark = (((area.x() + x) / kSquare) + ((area.y() + y) / kSquare)) % 2;
                row[x] = dark ? qRgb(0xCC, 0xCC, 0xCC) : qRgb(0xFF, 0xFF, 0xFF);
            }
        }
        painter.drawImage(area.topLeft(), part);
    }
}

void PictureBox::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Clear();
    Refresh();
    if (onResized) onResized();
}

void PictureBox::dragEnterEvent(QDragEnterEvent* event) {
    if (!FirstLocalFile(event->mimeData()).empty()) event->acceptProposedAction();
}

void PictureBox::dragMoveEvent(QDragMoveEvent* event) {
    if (!FirstLocalFile(event->mimeData()).empty()) event->acceptProposedAction();
}

void PictureBox::dropEvent(QDropEvent* event) {
    const std::string path = FirstLocalFile(event->mimeData());
    if (path.empty() || !onFileDropped) return;
    if (onFileDropped(path)) event->acceptProposedAction();
}

}  // namespace pixhaul::viewer
