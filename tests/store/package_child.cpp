// Reads one vocabulary file the way the program does, reporting which of the package reader's
// libraries are mapped before and after: a process of its own, so that nothing else has loaded
// them (libzstd is not among them: Qt Core itself links it). Arguments: the file, and optionally another name for the package module.
#include "store/Vocabulary.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

static QString mapped()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return QStringLiteral("unreadable");
    const QByteArray text = maps.readAll();
    QStringList found;
    for (const char *lib : {"libzip", "libsqlite3", "wordpop-anki"})
        if (text.contains(lib))
            found << QLatin1String(lib);
    return found.isEmpty() ? QStringLiteral("none") : found.join(' ');
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2)
        return 2;
    if (args.size() > 2)
        Vocab::packageModuleFile = args[2];
    std::printf("start: %s\n", qPrintable(mapped()));
    try {
        const Vocabulary v = Vocab::read(args[1], {});
        std::printf("read: %zu\n", v.entryCount());
    } catch (const VocabularyError &e) {
        std::printf("error: %s\n", e.what());
    }
    std::printf("after: %s\n", qPrintable(mapped()));
    return 0;
}
