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
    QWindow *w = dialog->windowHandle();
    if (!w)
        return;
    // The two shared windows follow each other as the active window: a chain that leads back
    // to the dialog would be a loop, in which the toolkit's modality check never ends.
    for (QWindow *p = above->windowHandle(); p; p = p->transientParent())
        if (p == w)
            return;
    w->setTransientParent(above->windowHandle());
}
