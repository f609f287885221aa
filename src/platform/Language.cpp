#include "platform/Language.h"

#include <QLocale>

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

} // namespace Language
