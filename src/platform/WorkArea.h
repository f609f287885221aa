// The desktop as window placement sees it: the primary screen, its size, its logical
// resolution and its work area (the screen minus panels and task bars).
#pragma once

#include <QRect>
#include <QSize>

namespace Desktop {

// The primary screen's available geometry; empty when there is no screen.
QRect workArea();

// The primary screen's size in (device-independent) pixels.
QSize screenSize();

// The primary screen's logical resolution in dots per inch, rounded; 96 when unknown.
int logicalDpi();

} // namespace Desktop
