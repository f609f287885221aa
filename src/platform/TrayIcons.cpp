// Wordpop's tray icons, drawn at run time so that no image file is needed: a speech bubble with
// a "W", coloured while lessons come by themselves, grey and struck through while they do not.
#include "platform/Tray.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

QPixmap drawIcon(int size, bool on)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 32.0;
    p.scale(s, s);

    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(2, 3, 28, 21), 6, 6);
    QPainterPath tail;
    tail.moveTo(8, 22);
    tail.lineTo(6, 30);
    tail.lineTo(15, 23);
    tail.closeSubpath();
    bubble = bubble.united(tail);

    const QColor fill = on ? QColor(0x2e, 0x7d, 0x32) : QColor(0x9e, 0x9e, 0x9e);
    p.setPen(QPen(on ? QColor(0x1b, 0x5e, 0x20) : QColor(0x61, 0x61, 0x61), 1.5));
    p.setBrush(fill);
    p.drawPath(bubble);

    QFont font;
    font.setBold(true);
    font.setPixelSize(16);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(2, 3, 28, 21), Qt::AlignCenter, QStringLiteral("W"));

    if (!on) {
        p.setPen(QPen(QColor(0xc6, 0x28, 0x28), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(5, 27), QPointF(27, 3));
    }
    return pm;
}

QIcon makeIcon(bool on)
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(drawIcon(size, on));
    return icon;
}

} // namespace

namespace TrayIcons {

// Drawn anew on every call (a few pixmaps): a cached copy would outlive the application.
QIcon lessonsOn() { return makeIcon(true); }
QIcon lessonsOff() { return makeIcon(false); }

} // namespace TrayIcons
