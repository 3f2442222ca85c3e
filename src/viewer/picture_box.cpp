#include "picture_box.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPainter>
#include <QUrl>

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

void PictureBox::Clear() {
    if (surface_.Width() != width() || surface_.Height() != height()) {
        surface_.Reset(width(), height());
    }
    surface_.Fill(backColor_);
}

void PictureBox::Refresh() {
    if (surface_.Width() <= 0 || surface_.Height() <= 0 || surface_.Bits() == nullptr) {
        shown_ = QImage();
    } else {
        // Rows are stored bottom-up: wrap, flip, and convert once so that repaints are cheap.
        const QImage wrapped(surface_.Bits(), surface_.Width(), surface_.Height(),
                             static_cast<qsizetype>(surface_.Stride()), QImage::Format_BGR888);
        shown_ = wrapped.mirrored(false, true).convertToFormat(QImage::Format_RGB32);
    }
    update();
}

void PictureBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), ToQColor(backColor_));
    if (!shown_.isNull()) painter.drawImage(0, 0, shown_);
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
