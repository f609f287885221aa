#include "platform/Language.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QTranslator>

#include <memory>
#include <vector>

namespace Language {

Ui Choose(const QString &override, const QStringList &uiLanguages)
{
    const QString forced = override.trimmed().toLower();
    if (forced == u"ru")
        return Ui::Russian;
    if (forced == u"en")
        return Ui::English;
    if (uiLanguages.isEmpty())
        return Ui::English;
    switch (QLocale(uiLanguages.first()).language()) {
    case QLocale::Russian:
    case QLocale::Ukrainian:
    case QLocale::Belarusian:
        return Ui::Russian;
    default:
        return Ui::English;
    }
}

Ui Current()
{
    static const Ui chosen
        = Choose(qEnvironmentVariable("WORDPOP_LANG"), QLocale::system().uiLanguages());
    return chosen;
}

namespace {
// The translators installed for English, one per source folder's file.
std::vector<std::unique_ptr<QTranslator>> &installed()
{
    static std::vector<std::unique_ptr<QTranslator>> translators;
    return translators;
}
} // namespace

void Install(Ui ui)
{
    auto &translators = installed();
    for (const auto &t : translators)
        QCoreApplication::removeTranslator(t.get());
    translators.clear();
    if (ui != Ui::English)
        return;
    const QDir folder(QStringLiteral(":/i18n"));
    // Matched by hand: a name filter would compile a regular expression, loading PCRE at start.
    for (const QString &name : folder.entryList(QDir::Files, QDir::Name)) {
        if (!name.endsWith(QLatin1String(".qm")))
            continue;
        auto t = std::make_unique<QTranslator>();
        if (t->load(folder.filePath(name)) && QCoreApplication::installTranslator(t.get()))
            translators.push_back(std::move(t));
    }
}

} // namespace Language
