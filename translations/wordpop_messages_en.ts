<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ru">
<context>
    <name>ShowError</name>
    <message>
        <source>Ошибка при попытке выделить память для %1 !</source>
        <translation>Could not allocate memory for %1!</translation>
    </message>
    <message>
        <source>Программе не удалось создать ярлык в папке Автозагрузка.</source>
        <translation>Wordpop could not create its entry in the autostart folder.</translation>
    </message>
    <message>
        <source>Программе не удалось создать файл Wordpop.opt 
 Настройки не будут сохраняться.</source>
        <translation>Wordpop could not create the file Wordpop.opt.
Options will not be saved.</translation>
    </message>
    <message>
        <source>Программе не удалось создать временный файл %1</source>
        <translation>Wordpop could not create the temporary file %1</translation>
    </message>
    <message>
        <source>Программе не удалось открыть файл %1</source>
        <translation>Wordpop could not open the file %1</translation>
    </message>
    <message>
        <source>Программе не удалось удалить файл %1</source>
        <translation>Wordpop could not delete the file %1</translation>
    </message>
    <message>
        <source>Не удается разрешить имя узла %1</source>
        <translation>Cannot resolve the host name %1</translation>
    </message>
    <message>
        <source>Программе не удалось загрузить библиотеку %1</source>
        <translation>Wordpop could not load the library %1</translation>
    </message>
    <message>
        <source>Не удается воспроизвести звук из файла %1</source>
        <translation>Cannot play the sound from the file %1</translation>
    </message>
</context>
<context>
    <name>TFInformation</name>
    <message>
        <source>Информация</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>Тренажёр для пополнения словарного запаса</source>
        <translation>A trainer that builds your vocabulary</translation>
    </message>
    <message>
        <source>Версия %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>Дата выпуска: %1</source>
        <translation>Release date: %1</translation>
    </message>
    <message>
        <source>Пауза и ожидание урока</source>
        <translation>Pause and lesson hold-back</translation>
    </message>
    <message>
        <source>Справка</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>TFLineInput</name>
    <message>
        <source>Текст</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>TFMessage</name>
    <message>
        <source>Да</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>Нет</source>
        <translation>No</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
</context>
</TS>
