// The autorun entry: an XDG autostart file that starts the running executable at log-on.
#pragma once

#include <QString>

namespace Autorun {

// $XDG_CONFIG_HOME/autostart/wordpop.desktop (default ~/.config/autostart/).
QString entryPath();

// Writes (or overwrites) the entry: Exec the executable, Path its folder, Name "Wordpop".
// Written to a temporary file and renamed, so a half-written entry never starts anything.
bool create(const QString &executable);

// Deletes the entry; a missing entry is no failure.
bool remove();

} // namespace Autorun
