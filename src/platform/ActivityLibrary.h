// Where the activity library is looked for. The library is code, not data, so besides the
// program folder it may sit beside the executable or in the installed library folder.
#pragma once

#include <QString>
#include <QStringList>

namespace ActivityLibrary {

inline constexpr char FileName[] = "wordpop-hook.so";

// The places to try, in order: the program folder, the executable's folder, <prefix>/lib/wordpop/.
// Each appears once, even when two of them are the same folder.
QStringList candidates();

} // namespace ActivityLibrary
