// Which language the interface speaks: the override first, then the desktop's interface language.
#include "platform/Language.h"

#include <gtest/gtest.h>

TEST(Language, OverrideThenDesktopLanguage)
{
    using Language::Ui;
    struct Case { const char *override; QStringList ui; Ui want; };
    const Case cases[] = {
        {"", {"ru-RU", "ru"}, Ui::Russian},
        {"", {"uk", "uk-UA", "en"}, Ui::Russian},
        {"", {"be-BY"}, Ui::Russian},
        {"", {"de-DE", "ru-RU"}, Ui::English}, // only the first language counts
        {"", {"en-US"}, Ui::English},
        {"", {"C"}, Ui::English},
        {"", {}, Ui::English},
        {"en", {"ru-RU"}, Ui::English},
        {" RU ", {"fr-FR"}, Ui::Russian},
        {"xx", {"ru-RU"}, Ui::Russian}, // an unknown override is no override
        {"xx", {"fr-FR"}, Ui::English},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Language::Choose(QString::fromUtf8(c.override), c.ui), c.want)
            << "override '" << c.override << "' ui " << c.ui.join(',').toStdString();
}
