#include "ui/qt/windowicon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tw {
namespace {

// Drawn on a 32-unit grid and scaled to the requested size.
QPixmap DrawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(24, 70, 140));
    painter.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 6, 6);

    QPainterPath bell;
    bell.moveTo(8, 22);
    bell.cubicTo(10, 20, 10, 16, 10, 13);
    bell.cubicTo(10, 8, 13, 6, 16, 6);
    bell.cubicTo(19, 6, 22, 8, 22, 13);
    bell.cubicTo(22, 16, 22, 20, 24, 22);
    bell.closeSubpath();
    painter.setBrush(QColor(255, 196, 40));
    painter.drawPath(bell);
    painter.drawEllipse(QPointF(16, 25), 2.5, 2.5);

    QPen arc(QColor(255, 255, 255), 1.8, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(arc);
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(3, 5, 8, 12), 120 * 16, 120 * 16);
    painter.drawArc(QRectF(21, 5, 8, 12), -60 * 16, 120 * 16);
    return pixmap;
}

}  // namespace

QIcon TellwickIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) {
        icon.addPixmap(DrawIcon(size));
    }
    return icon;
}

}  // namespace tw
