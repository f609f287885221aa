// The program's own dlopen'd modules ("wordpop-sound.so", "wordpop-anki.so" …): where they are
// looked for and how one is loaded. A module stays loaded for the life of the process.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace Modules {
// Folders looked in, in order: beside the executable, <exe>/../lib/wordpop, the installed
// library folder, and the build tree the program came from.
QStringList candidates(const QString &fileName);
// Loads the first candidate that opens and answers `entry`; returns that symbol, or null with
// the reason in `problem`. With `take`, the symbol goes through it and a candidate whose `take`
// gives null (a module of another version) is passed over; its result is returned.
void *entry(const QString &fileName, const char *entry, QString *problem,
            const std::function<void *(void *symbol)> &take = {});
} // namespace Modules
