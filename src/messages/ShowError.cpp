// The table of numbered messages, shown through the platform's standard message box.
#include "messages/ShowError.h"

#include "platform/MessageBox.h"

QString ErrorText(unsigned code, const QString &detail)
{
    switch (code) {
    case 2:
        return QStringLiteral("Ошибка при попытке выделить память для ") + detail + QStringLiteral(" !");
    case 5:
        return QStringLiteral("Программе не удалось создать ярлык в папке Автозагрузка.");
    case 6:
        return QStringLiteral("Программе не удалось создать файл Wordpop.opt \n Настройки не будут сохраняться.");
    case 8:
        return QStringLiteral("Программе не удалось создать временный файл ") + detail;
    case 9:
        return QStringLiteral("Программе не удалось открыть файл ") + detail;
    case 10:
        return QStringLiteral("Программе не удалось удалить файл ") + detail;
    case 11:
        return QStringLiteral("Не удается разрешить имя узла ") + detail;
    case 12:
        return QStringLiteral("Программе не удалось загрузить библиотеку ") + detail;
    case 13:
        return QStringLiteral("Не удается воспроизвести звук из файла ") + detail;
    default:
        return QString();
    }
}

void ShowError(unsigned code, const QString &detail)
{
    const QString text = ErrorText(code, detail);
    if (!text.isEmpty())
        MessageBox::show(text);
}
