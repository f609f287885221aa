// Desktop geometry from the primary QScreen.
#include "platform/WorkArea.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace Desktop {

QRect workArea()
{
    const QScreen *s = QGuiApplication::primaryScreen();
    return s ? s->availableGeometry() : QRect();
}

QSize screenSize()
{
    const QScreen *s = QGuiApplication::primaryScreen();
    return s ? s->geometry().size() : QSize();
}

int logicalDpi()
{
    const QScreen *s = QGuiApplication::primaryScreen();
    if (!s)
        return 96;
    return int(std::lround(s->logicalDotsPerInch()));
}

} // namespace Desktop
