// Numbered error messages: the text of every code, how the detail is spliced in, and the box
// they are shown in.
#include "messages/ShowError.h"
#include "platform/MessageBox.h"

#include <gtest/gtest.h>

TEST(ShowError, ShowsEveryCodeOfTheTableWithItsDetail)
{
    struct Case { unsigned code; QString detail; QString text; };
    const Case cases[] = {
        {2, "FOptions", QString::fromUtf8("Ошибка при попытке выделить память для FOptions !")},
        {2, "", QString::fromUtf8("Ошибка при попытке выделить память для  !")},
        {5, "ignored", QString::fromUtf8("Программе не удалось создать ярлык в папке Автозагрузка.")},
        {6, "", QString::fromUtf8("Программе не удалось создать файл Wordpop.opt \n Настройки не будут сохраняться.")},
        {6, "whatever", QString::fromUtf8("Программе не удалось создать файл Wordpop.opt \n Настройки не будут сохраняться.")},
        {8, "/tmp/TEMP/a.wrd", QString::fromUtf8("Программе не удалось создать временный файл /tmp/TEMP/a.wrd")},
        {9, "/home/u/SOUND/слово.wav", QString::fromUtf8("Программе не удалось открыть файл /home/u/SOUND/слово.wav")},
        {10, "BASE/ON/a.cdx", QString::fromUtf8("Программе не удалось удалить файл BASE/ON/a.cdx")},
        {11, "ftp.example.org", QString::fromUtf8("Не удается разрешить имя узла ftp.example.org")},
        {12, "wordpop-hook.so", QString::fromUtf8("Программе не удалось загрузить библиотеку wordpop-hook.so")},
        {13, "a.wav", QString::fromUtf8("Не удается воспроизвести звук из файла a.wav")},
    };
    for (const Case &c : cases) {
        MessageBox::TestHook hook;
        ShowError(c.code, c.detail);
        ASSERT_EQ(hook.shown().size(), 1) << c.code;
        const MessageBox::Shown &s = hook.shown().front();
        EXPECT_EQ(s.text, c.text) << c.code;
        EXPECT_EQ(s.caption, "Wordpop");
        EXPECT_EQ(s.buttons.size(), 1);
    }
}

TEST(ShowError, CodesWithoutTextShowNothing)
{
    MessageBox::TestHook hook;
    for (unsigned code : {0u, 1u, 3u, 4u, 7u, 14u, 40u, 0xFFFFFFFFu})
        ShowError(code, "detail");
    EXPECT_TRUE(hook.shown().isEmpty()) << hook.texts().join('|').toStdString();
}

TEST(ShowError, SettingsFileTextShowsOnTwoLines)
{
    MessageBox::TestHook hook;
    ShowError(6);
    ASSERT_EQ(hook.shown().size(), 1);
    const QStringList lines = hook.shown().front().text.split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QString::fromUtf8("Программе не удалось создать файл Wordpop.opt "));
    EXPECT_EQ(lines[1], QString::fromUtf8(" Настройки не будут сохраняться."));
}
