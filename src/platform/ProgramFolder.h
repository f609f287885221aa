// The program folder (where settings, dictionaries and sounds live) and the data folder a new
// program folder is filled from. Computed once, before any window; always ends with "/".
#pragma once

#include <QString>

namespace ProgramFolder {

// Resolves the folder: $WORDPOP_HOME, else the executable's folder when it holds "langs.dat"
// and is writable, else $XDG_DATA_HOME/wordpop/. Creates the last one when missing.
// Call again after changing the environment (tests do); the program calls it once at start.
QString resolve();

// The folder resolve() chose last (empty before the first call).
QString path();

// Sets the folder directly (tests that need no resolution).
void set(const QString &folder);

// The installed data folder: data/ of the build when run from a build folder, else
// <prefix>/share/wordpop/ beside the executable's bin/, else the configured prefix's.
// Empty when none exists.
QString dataFolder();

// Copies from the data folder what the program folder lacks: "langs.dat", SOUND/ and the download
// server's settings "wordpop-server.ini" always; the sample dictionaries (BASE/) only when BASE/
// does not exist yet. Never overwrites these. The help files follow the data folder's.
void fillFromData(const QString &programFolder, const QString &dataFolder);

// A file that is not found under its exact name is looked up case-insensitively in its folder.
// Returns the existing path, or `path` unchanged when there is no match.
QString findCaseInsensitive(const QString &path);

} // namespace ProgramFolder
