// Numbered error messages: failures the user should know about but that do not stop the
// program. Only informs; what happens next is the caller's business.
#pragma once

#include <QString>

// The text for a code, with the detail spliced in where the text has a place for it;
// empty for a code without a text.
QString ErrorText(unsigned code, const QString &detail);

// Shows ErrorText in the standard message box and returns once it is closed. A code without
// a text shows nothing and returns at once.
void ShowError(unsigned code, const QString &detail = QString());
