// The table of numbered messages, shown through the platform's standard message box.
#include "messages/ShowError.h"

#include "platform/MessageBox.h"

#include <QCoreApplication>

QString ErrorText(unsigned code, const QString &detail)
{
    switch (code) {
    case 2:
        return QCoreApplication::translate("ShowError", "Ошибка при попытке выделить память для %1 !").arg(detail);
    case 5:
        return QCoreApplication::translate("ShowError", "Программе не удалось создать ярлык в папке Автозагрузка.");
    case 6:
        return QCoreApplication::translate("ShowError", "Программе не удалось создать файл Wordpop.opt \n Настройки не будут сохраняться.");
    case 8:
        return QCoreApplication::translate("ShowError", "Программе не удалось создать временный файл %1").arg(detail);
    case 9:
        return QCoreApplication::translate("ShowError", "Программе не удалось открыть файл %1").arg(detail);
    case 10:
        return QCoreApplication::translate("ShowError", "Программе не удалось удалить файл %1").arg(detail);
    case 11:
        return QCoreApplication::translate("ShowError", "Не удается разрешить имя узла %1").arg(detail);
    case 12:
        return QCoreApplication::translate("ShowError", "Программе не удалось загрузить библиотеку %1").arg(detail);
    case 13:
        return QCoreApplication::translate("ShowError", "Не удается воспроизвести звук из файла %1").arg(detail);
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
