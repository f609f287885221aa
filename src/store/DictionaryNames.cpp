// Dictionary names: the file-system limits of the name and the free-name search over the two
// folders of the studied dictionaries.
#include "store/DictionaryNames.h"

#include "platform/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QSet>

#include <climits>

namespace {

// The longest file name the folders take, in bytes (UTF-8 file names here).
constexpr int MaxFileNameBytes = NAME_MAX;

QSet<QString> takenNames()
{
    QSet<QString> taken;
    for (const char *folder : {"BASE/ON/", "BASE/OFF/"}) {
        QDir dir(ProgramFolder::path() + QLatin1String(folder));
        const QStringList files =
            dir.entryList(QStringList{QStringLiteral("*.wrd")}, QDir::Files | QDir::Hidden);
        for (const QString &f : files)
            taken.insert(f.left(f.size() - 4).toCaseFolded());
    }
    return taken;
}

} // namespace

QString DictionaryNameProblem(const QString &name)
{
    if (name.trimmed().isEmpty())
        return QCoreApplication::translate("DictionaryNames", "Имя словаря не может быть пустым.");
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return QCoreApplication::translate("DictionaryNames", "Имя словаря не может содержать знаки \"/\" и \"\\\".");
    if (name.startsWith(QLatin1Char('.')))
        return QCoreApplication::translate("DictionaryNames", "Имя словаря не может начинаться с точки.");
    for (QChar c : name) {
        if (c.category() == QChar::Other_Control || c == QChar(0x7f))
            return QCoreApplication::translate("DictionaryNames", "Имя словаря не может содержать управляющие символы.");
    }
    // "name.wrd" must fit, and so must the longest name the free-name search may add a number to.
    if (name.toUtf8().size() + 4 + 4 > MaxFileNameBytes)
        return QCoreApplication::translate("DictionaryNames", "Имя словаря слишком длинное.");
    return {};
}

QString FirstFreeDictionaryName(const QString &name)
{
    const QSet<QString> taken = takenNames();
    if (!taken.contains(name.toCaseFolded()))
        return name;
    for (int n = 0;; ++n) {
        const QString candidate = name + QString::number(n);
        if (!taken.contains(candidate.toCaseFolded()))
            return candidate;
    }
}
