#include "picture_box.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "bgr_to_rgb32.h"

namespace pixhaul::viewer {
namespace {

// Scroll bar steps in screen pixels: an arrow click, and one notch of the wheel.
constexpr int kScrollStep = 32;
constexpr int kWheelStep = 3 * kScrollStep;

PixelRect Intersect(const PixelRect& a, const PixelRect& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

// Fills area except keep with the colour: the bands above and below keep, and beside it.
void FillAround(const Rgb32Image& image, const PixelRect& area, const PixelRect& keep,
                COLORREF colour) {
    const PixelRect inside = Intersect(area, keep);
    if (inside.Empty()) {
        FillRgb32(image, area, colour);
        return;
    }
    FillRgb32(image, {area.left, area.top, area.right, inside.top}, colour);
    FillRgb32(image, {area.left, inside.bottom, area.right, area.bottom}, colour);
    FillRgb32(image, {area.left, inside.top, inside.left, inside.bottom}, colour);
    FillRgb32(image, {inside.right, inside.top, area.right, inside.bottom}, colour);
}

// The scaled size of a side, rounded as the surface stretch rounds it (halves to even).
std::int32_t Scaled(std::int32_t side, double zoom) {
    return static_cast<std::int32_t>(std::nearbyint(side * zoom));
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
    horizontal_ = new QScrollBar(Qt::Horizontal, this);
    horizontal_->setObjectName("PictureHScroll");
    vertical_ = new QScrollBar(Qt::Vertical, this);
    vertical_->setObjectName("PictureVScroll");
    for (QScrollBar* bar : {horizontal_, vertical_}) {
        bar->hide();
        bar->setRange(0, 0);
        bar->setSingleStep(kScrollStep);
        connect(bar, &QScrollBar::valueChanged, this, [this] { Present(); });
    }
}

void PictureBox::SetBackColor(COLORREF colour) {
    backColor_ = colour;
}

void PictureBox::SetCheckerboard(bool on) {
    checkerboard_ = on;
    update();
}

QPoint PictureBox::ScrollOffset() const {
    return {horizontal_->value(), vertical_->value()};
}

std::int32_t PictureBox::ScaledWidth() const {
    return hasPicture_ ? Scaled(picture_.Width(), zoom_) : 0;
}

std::int32_t PictureBox::ScaledHeight() const {
    return hasPicture_ ? Scaled(picture_.Height(), zoom_) : 0;
}

DeviceContext PictureBox::StartPicture(std::int32_t width, std::int32_t height) {
    if (picture_.Width() != width || picture_.Height() != height) picture_.Reset(width, height);
    picture_.TakeChanges();
    return &picture_;
}

void PictureBox::ShowPicture(double zoom) {
    const bool hadPicture = hasPicture_;
    const double oldZoom = zoom_;
    // The centre of the part of the picture in view.
    const QPointF centre(horizontal_->value() + std::min(shown_.width(), ScaledWidth()) / 2.0,
                         vertical_->value() + std::min(shown_.height(), ScaledHeight()) / 2.0);
    hasPicture_ = !picture_.TakeChanges().Empty();
    zoom_ = zoom;
    LayOut();
    if (hadPicture && hasPicture_ && zoom != oldZoom && oldZoom > 0) {
        const QSignalBlocker blockH(horizontal_);
        const QSignalBlocker blockV(vertical_);
        horizontal_->setValue(
            static_cast<int>(std::lround(centre.x() * zoom / oldZoom - shown_.width() / 2.0)));
        vertical_->setValue(
            static_cast<int>(std::lround(centre.y() * zoom / oldZoom - shown_.height() / 2.0)));
    }
    Present();
}

void PictureBox::Clear() {
    picture_.Reset(0, 0);
    picture_.TakeChanges();
    hasPicture_ = false;
    LayOut();
    Present();
}

void PictureBox::LayOut() {
    // The caller shows the result once: no drawing while the bars change.
    const QSignalBlocker blockH(horizontal_);
    const QSignalBlocker blockV(vertical_);
    const int barWidth = vertical_->sizeHint().width();
    const int barHeight = horizontal_->sizeHint().height();
    const int contentWidth = ScaledWidth();
    const int contentHeight = ScaledHeight();
    bool needH = contentWidth > width();
    bool needV = contentHeight > height();
    if (needH && !needV) needV = contentHeight > height() - barHeight;
    if (needV && !needH) needH = contentWidth > width() - barWidth;
    const int viewWidth = std::max(0, width() - (needV ? barWidth : 0));
    const int viewHeight = std::max(0, height() - (needH ? barHeight : 0));

    horizontal_->setGeometry(0, viewHeight, viewWidth, barHeight);
    horizontal_->setRange(0, needH ? contentWidth - viewWidth : 0);
    horizontal_->setPageStep(std::max(1, viewWidth));
    horizontal_->setVisible(needH);
    vertical_->setGeometry(viewWidth, 0, barWidth, viewHeight);
    vertical_->setRange(0, needV ? contentHeight - viewHeight : 0);
    vertical_->setPageStep(std::max(1, viewHeight));
    vertical_->setVisible(needV);

    if (shown_.width() != viewWidth || shown_.height() != viewHeight) {
        shown_ = viewWidth > 0 && viewHeight > 0
                     ? QImage(viewWidth, viewHeight, QImage::Format_RGB32)
                     : QImage();
        filledWith_.reset();
        drawn_ = PixelRect{};
        update();
    }
}

void PictureBox::Present() {
    if (shown_.isNull()) return;
    const Rgb32Image image{shown_.bits(), shown_.width(), shown_.height(), shown_.bytesPerLine()};
    // Only what the last picture covered differs from the background, unless the colour
    // changed or the area is new.
    const PixelRect stale =
        filledWith_ == backColor_ ? drawn_ : PixelRect{0, 0, image.width, image.height};
    const PixelRect now = hasPicture_
                              ? StretchToRgb32(picture_, image, -horizontal_->value(),
                                               -vertical_->value(), ScaledWidth(), ScaledHeight())
                              : PixelRect{};
    FillAround(image, stale, now, backColor_);
    filledWith_ = backColor_;
    drawn_ = now;
    PixelRect changed = stale;
    changed.Unite(now);
    if (!changed.Empty()) update(changed.left, changed.top, changed.Width(), changed.Height());
}

void PictureBox::ScrollTo(QPoint offset) {
    const QPoint before = ScrollOffset();
    {
        const QSignalBlocker blockH(horizontal_);
        const QSignalBlocker blockV(vertical_);
        horizontal_->setValue(offset.x());
        vertical_->setValue(offset.y());
    }
    if (ScrollOffset() != before) Present();
}

void PictureBox::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    // The corner between the two scroll bars.
    for (const QRect& rect : QRegion(event->rect()).subtracted(shown_.rect())) {
        painter.fillRect(rect, palette().window());
    }
    if (shown_.isNull()) return;
    if (!checkerboard_) {
        painter.drawImage(event->rect(), shown_, event->rect());
        return;
    }
    // Background pixels become 8-pixel squares of two greys, fixed to the picture as it pans.
    constexpr int kSquare = 8;
    const QRect area = event->rect() & shown_.rect();
    QImage part = shown_.copy(area);
    const QRgb key = qRgb(RedOf(backColor_), GreenOf(backColor_), BlueOf(backColor_));
    const QPoint origin = area.topLeft() + ScrollOffset();
    for (int y = 0; y < part.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(part.scanLine(y));
        for (int x = 0; x < part.width(); ++x) {
            if ((row[x] | 0xFF000000u) != (key | 0xFF000000u)) continue;
            const bool dark = (((origin.x() + x) / kSquare) + ((origin.y() + y) / kSquare)) % 2;
            row[x] = dark ? qRgb(0xCC, 0xCC, 0xCC) : qRgb(0xFF, 0xFF, 0xFF);
        }
    }
    painter.drawImage(area.topLeft(), part);
}

void PictureBox::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
    Present();
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::MiddleButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    dragFrom_ = event->position().toPoint();
    dragOffset_ = ScrollOffset();
    setCursor(Qt::ClosedHandCursor);
}

void PictureBox::mouseMoveEvent(QMouseEvent* event) {
    if (!dragFrom_ || !(event->buttons() & Qt::MiddleButton)) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    ScrollTo(dragOffset_ - (event->position().toPoint() - *dragFrom_));
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::MiddleButton || !dragFrom_) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    dragFrom_.reset();
    unsetCursor();
}

void PictureBox::wheelEvent(QWheelEvent* event) {
    // Shift or a sideways wheel pans across; the window takes Ctrl+wheel for the zoom first.
    const QPoint delta = event->angleDelta();
    const bool across = (event->modifiers() & Qt::ShiftModifier) || delta.x() != 0;
    QScrollBar* bar = across ? horizontal_ : vertical_;
    const int notches = across ? (delta.x() != 0 ? delta.x() : delta.y()) : delta.y();
    if (bar->isHidden() || notches == 0) {
        event->ignore();
        return;
    }
    QPoint offset = ScrollOffset();
    (across ? offset.rx() : offset.ry()) -= notches * kWheelStep / 120;
    ScrollTo(offset);
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
