#include "shell/DownloadModule.h"

#include "platform/MessageBox.h"
#include "platform/Modules.h"

#include <QCoreApplication>

namespace DownloadModule {

QString fileName = QStringLiteral("wordpop-download.so");

Runner runner(QString *problem)
{
    static QString why;
    static const Runner loaded = [] {
        using Entry = Runner (*)(int version);
        auto entry = reinterpret_cast<Entry>(Modules::entry(fileName, DownloadEntry::Name, &why));
        Runner run = entry ? entry(DownloadEntry::Version) : nullptr;
        if (entry && !run)
            why = QStringLiteral("%1 belongs to another version of the program").arg(fileName);
        return run;
    }();
    if (!loaded && problem)
        *problem = why;
    return loaded;
}

bool Run(QWidget *parent)
{
    QString problem;
    if (Runner run = runner(&problem))
        return run(parent);
    MessageBox::show(QCoreApplication::translate("DownloadModule", "Загрузка словарей невозможна: не удалось загрузить модуль %1.\n%2")
                         .arg(fileName, problem));
    return false;
}

} // namespace DownloadModule
