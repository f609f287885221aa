// Wordpop's tray icons, drawn at run time so that no image file is needed: a speech bubble with
// a "W", coloured while lessons come by themselves, grey and struck through while they do not.
#include "platform/Tray.h"

#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>

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

// Draws each size when it is first asked for: the notification area asks for one or two, and a
// start without one asks for none, where drawing every size at start cost a font and pixmaps.
class TrayIconEngine : public QIconEngine {
public:
    explicit TrayIconEngine(bool on) : m_on(on) {}

    QPixmap pixmap(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::max(1, std::min(size.width(), size.height()));
        auto it = m_drawn.constFind(side);
        if (it == m_drawn.constEnd())
            it = m_drawn.insert(side, drawIcon(side, m_on));
        return *it;
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
        painter->drawPixmap(rect, pixmap(rect.size() * ratio, mode, state));
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (int side : {16, 22, 24, 32, 48, 64})
            sizes.append(QSize(side, side));
        return sizes;
    }

    QIconEngine *clone() const override { return new TrayIconEngine(m_on); }
    QString key() const override { return QStringLiteral("WordpopTray"); }

private:
    bool m_on;
    QHash<int, QPixmap> m_drawn;
};

} // namespace

namespace TrayIcons {

QIcon lessonsOn() { return QIcon(new TrayIconEngine(true)); }
QIcon lessonsOff() { return QIcon(new TrayIconEngine(false)); }

} // namespace TrayIcons
