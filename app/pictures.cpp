#include "app/pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace pictures {

QPixmap spade(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 48.0, size / 48.0);
    QPainterPath blade;
    blade.moveTo(24, 3);
    blade.cubicTo(34, 14, 44, 20, 40, 30);
    blade.cubicTo(37, 37, 29, 36, 26, 31);
    blade.lineTo(29, 44);
    blade.lineTo(19, 44);
    blade.lineTo(22, 31);
    blade.cubicTo(19, 36, 11, 37, 8, 30);
    blade.cubicTo(4, 20, 14, 14, 24, 3);
    QLinearGradient fill(0, 0, 48, 48);
    fill.setColorAt(0, QColor(46, 139, 87));
    fill.setColorAt(1, QColor(16, 78, 52));
    p.setPen(QPen(QColor(12, 52, 36), 1.5));
    p.setBrush(fill);
    p.drawPath(blade);
    return pixmap;
}

QIcon windowIcon()
{
    QIcon icon;
    for (int size : {48, 32, 24, 16})
        icon.addPixmap(spade(size));
    return icon;
}

QPixmap buttonFace()
{
    QPixmap pixmap(100, 47);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 0, 0, 47);
    fill.setColorAt(0, QColor(250, 252, 255));
    fill.setColorAt(0.5, QColor(214, 228, 246));
    fill.setColorAt(1, QColor(176, 200, 232));
    p.setPen(QPen(QColor(98, 130, 178), 1));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(0.5, 0.5, 99, 46), 6, 6);
    return pixmap;
}

QCursor handPointer()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // A pointing hand whose fingertip is the hot spot.
    QPainterPath hand;
    hand.moveTo(6, 0.5);
    hand.cubicTo(8, 0.5, 8.5, 2, 8.5, 3);
    hand.lineTo(8.5, 10);
    hand.lineTo(18, 11);
    hand.cubicTo(21, 11.5, 22, 13, 22, 15);
    hand.lineTo(21, 23);
    hand.cubicTo(20, 26, 18, 27, 15, 27);
    hand.lineTo(9, 27);
    hand.cubicTo(7, 27, 6, 26, 5, 24);
    hand.lineTo(1, 15);
    hand.cubicTo(0.5, 13, 2.5, 12, 3.5, 13.5);
    hand.lineTo(3.5, 3);
    hand.cubicTo(3.5, 2, 4, 0.5, 6, 0.5);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawPath(hand);
    return QCursor(pixmap, 6, 0);
}

QPixmap background()
{
    QImage image(2, 397, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        // Pale blue at the top fading to white, as behind a form.
        const double t = double(y) / (image.height() - 1);
        const QColor c(int(222 + 31 * t), int(233 + 22 * t), int(247 + 8 * t));
        for (int x = 0; x < image.width(); ++x)
            image.setPixelColor(x, y, c);
    }
    return QPixmap::fromImage(image);
}

} // namespace pictures
