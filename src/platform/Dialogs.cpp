// The common dialogs over QFileDialog and QFontDialog, with the test hooks in front of them.
#include "platform/Dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>

namespace Dialogs {

namespace {

QStringList runFileDialog(const FileRequest &request)
{
    if (auto *hook = FileHook::current()) {
        QStringList answer = hook->take(request, QStringList());
        if (request.kind != FileDialogKind::OpenFiles && answer.size() > 1)
            answer = answer.mid(0, 1);
        return answer;
    }
    QFileDialog dialog(request.parent, request.title);
    dialog.setObjectName(QStringLiteral("FileDialog"));
    dialog.setAccessibleName(request.title);
    switch (request.kind) {
    case FileDialogKind::OpenFile:
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        break;
    case FileDialogKind::OpenFiles:
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        break;
    case FileDialogKind::PickFolder:
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        break;
    case FileDialogKind::SaveFile:
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        break;
    }
    // A start that names a file (save as) opens on its folder with the name filled in.
    const QFileInfo start(request.start);
    if (!request.start.isEmpty()) {
        if (start.isDir())
            dialog.setDirectory(start.absoluteFilePath());
        else {
            if (start.absoluteDir().exists())
                dialog.setDirectory(start.absolutePath());
            if (request.kind == FileDialogKind::SaveFile)
                dialog.selectFile(start.fileName());
        }
    }
    if (!request.filter.isEmpty())
        dialog.setNameFilters(request.filter.split(QStringLiteral(";;")));
    if (!request.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(request.defaultSuffix);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    QStringList files = dialog.selectedFiles();
    for (QString &f : files)
        f = QFileInfo(f).absoluteFilePath();
    return files;
}

QString first(const QStringList &files)
{
    return files.isEmpty() ? QString() : files.first();
}

} // namespace

QString openFile(QWidget *parent, const QString &title, const QString &start, const QString &filter,
                 const QString &defaultSuffix)
{
    return first(runFileDialog({FileDialogKind::OpenFile, parent, title, start, filter, defaultSuffix}));
}

QStringList openFiles(QWidget *parent, const QString &title, const QString &start,
                      const QString &filter, const QString &defaultSuffix)
{
    return runFileDialog({FileDialogKind::OpenFiles, parent, title, start, filter, defaultSuffix});
}

QString pickFolder(QWidget *parent, const QString &title, const QString &start)
{
    return first(runFileDialog({FileDialogKind::PickFolder, parent, title, start, QString(), QString()}));
}

QString saveFile(QWidget *parent, const QString &title, const QString &start, const QString &filter,
                 const QString &defaultSuffix)
{
    return first(runFileDialog({FileDialogKind::SaveFile, parent, title, start, filter, defaultSuffix}));
}

std::optional<QFont> chooseFont(QWidget *parent, const QFont &initial, const QString &title)
{
    const FontRequest request{parent, title, initial};
    if (auto *hook = FontHook::current())
        return hook->take(request, std::nullopt);
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, initial, parent, title);
    if (!ok)
        return std::nullopt;
    return font;
}

} // namespace Dialogs
