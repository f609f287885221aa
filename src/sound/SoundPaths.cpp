// Stored sound names <-> paths. Relies on ProgramFolder for the folder and the lookup of names
// whose case differs from the file's (dictionaries made on Windows do not care about case).
#include "sound/SoundPaths.h"

#include "platform/ProgramFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// Follows the parts of `relative` down from `folder` (which ends with "/"). A part missing under
// its exact name is looked up case-insensitively; once one is missing altogether the rest is
// appended as written, so the caller gets the path it would expect and finds no file there.
QString resolveBelow(const QString &folder, const QString &relative)
{
    static const QRegularExpression separators(QStringLiteral("[\\\\/]"));
    const QStringList parts = relative.split(separators, Qt::SkipEmptyParts);
    QString current = folder;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        QString candidate = current + parts[i];
        if (!QFileInfo::exists(candidate)) {
            const QString found = ProgramFolder::findCaseInsensitive(candidate);
            if (found == candidate || !QFileInfo::exists(found))
                return candidate + (i + 1 < parts.size() ? "/" + parts.mid(i + 1).join('/') : QString());
            candidate = found;
        }
        current = candidate + (i + 1 < parts.size() ? "/" : "");
    }
    return current;
}

QString programFolder()
{
    QString folder = ProgramFolder::path();
    if (!folder.isEmpty() && !folder.endsWith('/'))
        folder += '/';
    return folder;
}

} // namespace

QString ResolveProgramPath(const QString &stored)
{
    if (stored.isEmpty())
        return stored;
    if (stored.startsWith('\\'))
        return resolveBelow(programFolder(), stored.mid(1));
    if (stored.startsWith('/'))
        return ProgramFolder::findCaseInsensitive(stored);
    return stored;
}

QString MakeProgramRelative(const QString &path)
{
    const QString folder = programFolder();
    if (folder.isEmpty() || path.isEmpty())
        return path;
    const QString clean = QDir::cleanPath(path);
    if (clean.startsWith(folder) && clean.size() > folder.size())
        return clean.mid(folder.size()).replace('/', '\\');
    // A file dialog may hand back the path through a symbolic link, or resolved past one.
    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    const QString canonical = QFileInfo(clean).canonicalFilePath();
    if (!canonicalFolder.isEmpty() && !canonical.isEmpty()
        && canonical.startsWith(canonicalFolder + '/'))
        return canonical.mid(canonicalFolder.size() + 1).replace('/', '\\');
    return path;
}

QString StoredSoundName(const QString &path)
{
    const QString relative = MakeProgramRelative(path);
    if (relative == path)
        return path;
    return '\\' + relative;
}

QString AnswerSoundPath(const QString &field)
{
    if (field.isEmpty())
        return field;
    if (field.startsWith('/'))
        return ProgramFolder::findCaseInsensitive(field);
    return resolveBelow(programFolder(), field);
}
