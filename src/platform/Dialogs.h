// The common file and font dialogs: open one or several files, pick a folder, save as, choose a
// font. Every window reaches them through here, so that a test answers them through TestHook
// and never waits on a real dialog. Relies on Qt's QFileDialog and QFontDialog only.
#pragma once

#include "platform/ModalHook.h"

#include <QFont>
#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace Dialogs {

enum class FileDialogKind { OpenFile, OpenFiles, PickFolder, SaveFile };

// What a file dialog was asked to show.
struct FileRequest {
    FileDialogKind kind;
    QWidget *parent;
    QString title;
    QString start;          // the folder (or, for SaveFile, the path) it opens on
    QString filter;         // Qt's form: "Текстовые файлы (*.txt);;Все файлы (*)"; empty for folders
    QString defaultSuffix;  // added to a typed name without an ending ("csv", no dot)
};

// The chosen paths, absolute; empty when the dialog was cancelled. Name filters ignore letter
// case, as the dictionaries' own endings (".WRD", ".wrd") come in both.
QString openFile(QWidget *parent, const QString &title, const QString &start, const QString &filter,
                 const QString &defaultSuffix = QString());
QStringList openFiles(QWidget *parent, const QString &title, const QString &start,
                      const QString &filter, const QString &defaultSuffix = QString());
QString pickFolder(QWidget *parent, const QString &title, const QString &start);
// Asks before an existing file is replaced.
QString saveFile(QWidget *parent, const QString &title, const QString &start, const QString &filter,
                 const QString &defaultSuffix = QString());

// Tests: `Dialogs::FileHook hook; hook.answer({"/tmp/a.csv"});` -- every file dialog while it
// lives is recorded and answered without being shown (cancelled when nothing is queued). The
// answer is taken as the dialog would give it: one path for OpenFile, PickFolder and SaveFile.
using FileHook = ModalHook<FileRequest, QStringList>;

struct FontRequest {
    QWidget *parent;
    QString title;
    QFont initial;
};

// The chosen font, or nothing when the dialog was cancelled.
std::optional<QFont> chooseFont(QWidget *parent, const QFont &initial, const QString &title = QString());

// Tests: `Dialogs::FontHook hook; hook.answer(QFont("DejaVu Serif", 14));` -- every font dialog
// while it lives is recorded and answered without being shown (cancelled when nothing is queued).
using FontHook = ModalHook<FontRequest, std::optional<QFont>>;

} // namespace Dialogs
