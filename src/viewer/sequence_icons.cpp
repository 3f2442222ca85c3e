#include "sequence_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace pixhaul::viewer {

QIcon MakeSequenceIcon(SequenceIcon kind, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    const double bar = s * 0.16;
    switch (kind) {
        case SequenceIcon::Add: {
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(0x2e, 0x8b, 0x3c));
            painter.drawRect(QRectF(s * 0.2, (s - bar) / 2, s * 0.6, bar));
            painter.drawRect(QRectF((s - bar) / 2, s * 0.2, bar, s * 0.6));
            break;
        }
        case SequenceIcon::MoveUp:
        case SequenceIcon::MoveDown: {
            const bool up = kind == SequenceIcon::MoveUp;
            const double tip = up ? s * 0.18 : s * 0.82;
            const double base = up ? s * 0.55 : s * 0.45;
            QPainterPath arrow;
            arrow.moveTo(s * 0.5, tip);
            arrow.lineTo(s * 0.8, base);
            arrow.lineTo(s * 0.2, base);
            arrow.closeSubpath();
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(0x2a, 0x5d, 0xb0));
            painter.drawPath(arrow);
            const double stemTop = up ? base : s * 0.18;
            const double stemBottom = up ? s * 0.82 : base;
            painter.drawRect(QRectF((s - bar) / 2, stemTop, bar, stemBottom - stemTop));
            break;
        }
        case SequenceIcon::Remove: {
            QPen pen(QColor(0xc0, 0x26, 0x26), bar, Qt::SolidLine, Qt::RoundCap);
            painter.setPen(pen);
            painter.drawLine(QPointF(s * 0.25, s * 0.25), QPointF(s * 0.75, s * 0.75));
            painter.drawLine(QPointF(s * 0.75, s * 0.25), QPointF(s * 0.25, s * 0.75));
            break;
        }
    }
    painter.end();
    return QIcon(pixmap);
}

}  // namespace pixhaul::viewer
