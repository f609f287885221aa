// Sound file names as dictionaries and settings store them, and the paths they name here.
// Stored forms keep the Windows conventions so that dictionaries move between installations:
// "\" first means "relative to the program folder", written with backslashes. Relies on
// ProgramFolder for the folder and for the case-insensitive lookup.
#pragma once

#include <QString>

// "" stays ""; "\SOUND\a.wav" becomes <program folder>SOUND/a.wav, where "\" and "/" both
// separate parts and a part missing under its exact name is looked up case-insensitively;
// any other name (absolute, or relative to the current folder) is used as it is, except that an
// absolute one gets the case-insensitive lookup of its file name too.
QString ResolveProgramPath(const QString &stored);

// For a file inside the program folder, what follows the folder, with backslashes
// ("SOUND\a.wav"); the caller prepends "\". A path outside the folder comes back unchanged.
QString MakeProgramRelative(const QString &path);

// The name the editor and the add-word dialog store for a chosen file: "\" + the relative
// form inside the program folder, the full path anywhere else.
QString StoredSoundName(const QString &path);

// An answer-sound field (OkSoundFile, MistakeSoundFile, the options window's edits) is relative
// to the program folder without a leading separator; one that is absolute (begins with "/",
// as a file picker puts it) is used as it is. Empty stays empty.
QString AnswerSoundPath(const QString &field);
