#include "app/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace rm7 {

namespace {

// Paints the icon's 64-unit drawing at size x size pixels.
QPixmap PaintIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    auto pen = [](const char* color, double width) {
        QPen pen{QColor(QString::fromLatin1(color)), width};
        pen.setCapStyle(Qt::RoundCap);
        return pen;
    };
    auto fill = [&p](const char* color) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(QString::fromLatin1(color)));
    };

    // The signal: two arcs right of the antenna tip, as the SVG's arc paths.
    p.setBrush(Qt::NoBrush);
    p.setPen(pen("#2f8fd8", 2));
    p.drawArc(QRectF(53.15 - 4.5, 6 - 4.5, 9, 9), qRound(-41.8 * 16), qRound(83.6 * 16));
    p.drawArc(QRectF(52.89 - 8, 6 - 8, 16, 16), qRound(-34.2 * 16), qRound(68.4 * 16));

    p.setPen(pen("#56626c", 2.5));
    p.drawLine(QPointF(44, 22), QPointF(53, 6));
    fill("#56626c");
    p.drawEllipse(QPointF(53, 6), 2.2, 2.2);

    fill("#2e3942");
    p.drawRoundedRect(QRectF(4, 21, 56, 38), 6, 6);
    fill("#3a4752");
    p.drawRoundedRect(QRectF(6, 23, 52, 34), 4.5, 4.5);
    fill("#a6e8bb");
    p.drawRoundedRect(QRectF(10, 28, 28, 13), 2, 2);
    fill("#1f5a33");
    for (double x : {13.0, 18.0, 26.0, 31.0}) {
        p.drawRect(QRectF(x, 31, 3, 7));
    }
    p.drawRect(QRectF(23, 36, 1.6, 2));

    p.setPen(pen("#1b2228", 1.5));
    p.setBrush(QColor(0xcf, 0xd7, 0xdd));
    p.drawEllipse(QPointF(48, 40), 8.5, 8.5);
    fill("#9aa5ae");
    p.drawEllipse(QPointF(48, 40), 4, 4);
    p.setPen(pen("#1b2228", 1.8));
    p.drawLine(QPointF(48, 40), QPointF(53, 34.5));

    fill("#e8893a");
    p.drawRoundedRect(QRectF(10, 46, 7, 5), 1.2, 1.2);
    fill("#cfd7dd");
    p.drawRoundedRect(QRectF(20, 46, 7, 5), 1.2, 1.2);
    p.drawRoundedRect(QRectF(30, 46, 7, 5), 1.2, 1.2);
    return pixmap;
}

}  // namespace

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addPixmap(PaintIcon(size));
    }
    return icon;
}

}  // namespace rm7
