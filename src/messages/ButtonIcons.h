// The style's standard icons on the message windows' buttons, set when a button is first shown
// rather than when its window is made: the first icon asked of the style loads Qt's image
// plugins, which a start that shows no message has no use for.
#pragma once

#include <QStyle>

class QPushButton;

void SetStandardIconOnShow(QPushButton *button, QStyle::StandardPixmap icon);
