// Asks for the download window the way the program does, reporting whether Qt Network and the
// download module are mapped before and after: a process of its own, of the program's shape
// (the download code is not linked in). Arguments: "load" or "open", and optionally another
// name for the module. "open" shows the window and closes it again once it is up.
#include "platform/MessageBox.h"
#include "shell/DownloadModule.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QTimer>

#include <cstdio>

static QString mapped()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return QStringLiteral("unreadable");
    const QByteArray text = maps.readAll();
    QStringList found;
    for (const char *lib : {"libQt6Network", "wordpop-download"})
        if (text.contains(lib))
            found << QLatin1String(lib);
    return found.isEmpty() ? QStringLiteral("none") : found.join(' ');
}

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2)
        return 2;
    if (args.size() > 2)
        DownloadModule::fileName = args[2];
    std::printf("start: %s\n", qPrintable(mapped()));
    if (args[1] == "load") {
        QString problem;
        if (DownloadModule::runner(&problem))
            std::printf("loaded\n");
        else
            std::printf("error: %s\n", qPrintable(problem));
    } else {
        MessageBox::TestHook messages;
        QString title;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto *window = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                title = window->windowTitle();
                window->reject();
            }
        });
        poll.start(20);
        const bool fetched = DownloadModule::Run(nullptr);
        std::printf("window: %s fetched: %d\n", qPrintable(title), int(fetched));
        for (const MessageBox::Shown &s : messages.shown())
            std::printf("message: %s\n", qPrintable(s.text));
    }
    std::printf("after: %s\n", qPrintable(mapped()));
    std::fflush(stdout);
    return 0;
}
