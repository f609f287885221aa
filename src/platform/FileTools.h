// Shared file and path helpers: folders under the program folder, the parts of a path, and the
// file-enumeration service of the hidden window. Used from every layer above the platform.
#pragma once

#include <QString>
#include <QStringList>

// Makes sure program folder + `relative` exists, creating one level only. When it cannot be
// made and `report` is set, says "Can't create <folder> directory." in the standard box.
bool EnsureFolder(const QString &relative, bool report);

// The folders every start makes sure of, relative to the program folder, in order: BASE/ and
// the four dictionary folders under it, TEMP/ and NEWS/. Each failure is reported; false when
// any failed (the program then ends).
bool EnsureProgramFolders();

// The folder part of a path (everything before its last separator), its name part, and the
// path without its extension (cut at the last "." only when it follows the last separator).
// Both "/" and "\" count as separators, since stored names keep the Windows form.
QString FolderPart(const QString &path);
QString NamePart(const QString &path);
QString WithoutExtension(const QString &path);

// The hidden window's file list: a folder relative to the program folder and a mask such as
// "*.wrd"; refresh() reads the matching file names (names only, in name order).
class TFileList {
public:
    void setFolder(const QString &relative) { m_folder = relative; }
    void setMask(const QString &mask) { m_mask = mask; }
    QString folder() const { return m_folder; }
    QString mask() const { return m_mask; }
    void refresh();
    const QStringList &names() const { return m_names; }

private:
    QString m_folder;
    QString m_mask = QStringLiteral("*.*");
    QStringList m_names;
};
