// Transient-parent handling for the shared modal windows (see StayAbove.h).
#include "messages/StayAbove.h"

#include <QApplication>
#include <QWidget>
#include <QWindow>

void StayAbove(QWidget *dialog, QWidget *owner)
{
    QWidget *above = owner ? owner->window() : QApplication::activeWindow();
    if (!above || above == dialog || !above->windowHandle())
        return;
    dialog->winId();    // makes the native window, so that it has a handle to set
    if (QWindow *w = dialog->windowHandle())
        w->setTransientParent(above->windowHandle());
}
