// Window placement on Qt widgets, kept on the desktop work area of the platform layer.
#include "settings/WindowPlacement.h"

#include "platform/WorkArea.h"

#include <QWidget>

#include <algorithm>

namespace {

// A saved rect holds the outer size of a framed window, as settings files from every
// installation do (a sizable frame with a caption: 4 pixels each side, 30 in all from top to
// bottom). The client area Qt sizes is that much smaller, whatever frame the window manager
// draws here, so a default 341 x 213 trainer shows its designed five answers.
QSize frameExtra(const QWidget *window)
{
    if (window->windowFlags() & Qt::FramelessWindowHint)
        return {0, 0};
    return {WindowFrameWidth, WindowFrameHeight};
}

} // namespace

void SaveWindowRect(const QWidget *window, WindowRect &rect)
{
    const QPoint p = window->pos();
    const QSize extra = frameExtra(window);
    rect.Left = p.x();
    rect.Top = p.y();
    rect.Width = window->width() + extra.width();
    rect.Height = window->height() + extra.height();
}

void RestoreWindowRect(QWidget *window, const WindowRect &rect, bool sizeOnly)
{
    const QSize extra = frameExtra(window);
    window->resize(std::max(0, rect.Width - extra.width()), std::max(0, rect.Height - extra.height()));
    if (!sizeOnly) {
        window->move(rect.Left, rect.Top);
        FitOnWorkArea(window);
    }
}

void FitOnWorkArea(QWidget *window)
{
    const QRect area = Desktop::workArea();
    if (area.isEmpty())
        return;
    // The frame counts once the window manager has given it one.
    const QSize size = window->frameGeometry().size();
    QPoint p = window->pos();
    // Measured from the work area's own corner, so a panel at the top or left is kept clear.
    if (p.x() + size.width() > area.x() + area.width())
        p.setX(area.x() + area.width() - size.width());
    if (p.x() < area.x())
        p.setX(area.x());
    if (p.y() + size.height() > area.y() + area.height())
        p.setY(area.y() + area.height() - size.height());
    if (p.y() < area.y())
        p.setY(area.y());
    if (p != window->pos())
        window->move(p);
}

void MoveAndFit(QWidget *window, int a, int b, bool resize)
{
    if (resize)
        window->resize(a, b);
    else
        window->move(a, b);
    FitOnWorkArea(window);
}

void PlaceNear(const QWidget *owner, QWidget *window, int mode)
{
    const QPoint o = owner->pos();
    if (mode == 0) {
        window->move(o.x() + 10, o.y() + 30);
    } else if (mode == 1) {
        window->move(o.x() + (owner->width() - window->width()) / 2,
                     o.y() + (owner->height() - window->height()) / 2);
    }
    FitOnWorkArea(window);
}
