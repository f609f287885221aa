// Shared windows belong to no single owner, so each use tells the window system whose window
// they answer for: a message then stays above its caller instead of opening behind it.
#pragma once

class QWidget;

// Makes dialog transient for owner's window, or for the active window when owner is null.
void StayAbove(QWidget *dialog, QWidget *owner);
