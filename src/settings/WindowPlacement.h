// Saved window placements and the placement rules every window shares. Left and Top are the
// window's position as move() takes it (its frame); Width and Height are the outer size of a
// framed window as every settings file stores it: the client size plus the classic frame below.
#pragma once

#include <cstdint>

class QWidget;

struct WindowRect {
    std::int32_t Left;
    std::int32_t Top;
    std::int32_t Width;
    std::int32_t Height;
};

// The classic sizable frame with a caption that saved sizes include (none for frameless windows).
constexpr int WindowFrameWidth = 8;
constexpr int WindowFrameHeight = 30;

// Copies the window's current placement into the rect.
void SaveWindowRect(const QWidget *window, WindowRect &rect);

// Applies the rect's size; unless sizeOnly, also its position, kept on the work area.
void RestoreWindowRect(QWidget *window, const WindowRect &rect, bool sizeOnly);

// Keeps the window inside the desktop work area: pulled back when it sticks out to the right
// or below, then moved in when it starts left of or above the area.
void FitOnWorkArea(QWidget *window);

// With resize: size a x b; otherwise position (a, b). Then FitOnWorkArea.
void MoveAndFit(QWidget *window, int a, int b, bool resize);

// Mode 0: 10 right of and 30 below the owner's top-left corner; mode 1: centred on the owner;
// any other mode moves nothing. Then FitOnWorkArea.
void PlaceNear(const QWidget *owner, QWidget *window, int mode);
