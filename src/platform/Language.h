// The language the user reads. Russian texts are the source; English comes from translations.
// Only what is shown is translated: stored files, the settings record and file names never are.
#pragma once

#include <QStringList>

namespace Language {

enum class Ui { Russian, English };

// WORDPOP_LANG ("ru" or "en", any case) decides; otherwise the desktop's first interface
// language: Russian, Ukrainian and Belarusian read Russian, every other English.
Ui Choose(const QString &override, const QStringList &uiLanguages);

// Chosen once, from WORDPOP_LANG and the system locale.
Ui Current();
inline bool IsEnglish() { return Current() == Ui::English; }

// English: installs the embedded translations (":/i18n/*.qm") into the application; Russian:
// removes them, so the source texts show. Call before the windows it should reach are made;
// a window already shown keeps its texts. Needs a QCoreApplication.
void Install(Ui ui);

} // namespace Language
