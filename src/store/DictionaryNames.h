// The two rules every window that names a dictionary shares: whether a typed name can name one,
// and the first free name for a new one. A dictionary's name is its file name without ".wrd".
#pragma once

#include <QString>

// Why `name` cannot name a dictionary file, as a sentence for the user; empty when it can.
// Refused: an empty or blank name, "/" or "\", "." and "..", a leading ".", control characters,
// and a name whose file ("name.wrd", "name.cdx") would be too long for the file system.
// The name is checked as given: callers that trim do so first.
QString DictionaryNameProblem(const QString &name);

// The first of `name`, name + "0", name + "1", … that no dictionary in BASE/ON/ or BASE/OFF/ of
// the program folder holds, letter case ignored, so that a new dictionary never replaces one of
// the same name, ticked or not. `name` must have passed DictionaryNameProblem.
QString FirstFreeDictionaryName(const QString &name);
