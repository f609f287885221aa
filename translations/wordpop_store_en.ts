<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ru">
<context>
    <name>DictionaryNames</name>
    <message>
        <source>Имя словаря не может быть пустым.</source>
        <translation>A dictionary name cannot be empty.</translation>
    </message>
    <message>
        <source>Имя словаря не может содержать знаки &quot;/&quot; и &quot;\&quot;.</source>
        <translation>A dictionary name cannot contain the characters &quot;/&quot; and &quot;\&quot;.</translation>
    </message>
    <message>
        <source>Имя словаря не может начинаться с точки.</source>
        <translation>A dictionary name cannot begin with a dot.</translation>
    </message>
    <message>
        <source>Имя словаря не может содержать управляющие символы.</source>
        <translation>A dictionary name cannot contain control characters.</translation>
    </message>
    <message>
        <source>Имя словаря слишком длинное.</source>
        <translation>The dictionary name is too long.</translation>
    </message>
</context>
<context>
    <name>TAddWord</name>
    <message>
        <source>Пожалуйта, введите имя нового словаря</source>
        <translation>Please enter a name for the new dictionary</translation>
    </message>
    <message>
        <source>Слово</source>
        <translation>The word</translation>
    </message>
    <message>
        <source>Перевод</source>
        <translation>The translation</translation>
    </message>
    <message>
        <source>Транскрипция</source>
        <translation>The transcription</translation>
    </message>
    <message>
        <source>Имя звукового файла</source>
        <translation>The sound file name</translation>
    </message>
    <message>
        <source>%1 содержит знаки, которых нет в кодировке словаря (Windows-1251).</source>
        <translation>%1 contains characters that the dictionary encoding (Windows-1251) does not have.</translation>
    </message>
    <message numerus="yes">
        <source>%1 длиннее %n знаков.</source>
        <translation>
            <numerusform>%1 is longer than %n character.</numerusform>
            <numerusform>%1 is longer than %n characters.</numerusform>
        </translation>
    </message>
    <message>
        <source>Выбрать файл</source>
        <translation>Choose a Sound File</translation>
    </message>
</context>
<context>
    <name>TDictionariesLogic</name>
    <message>
        <source>Пожалуйта, введите имя нового словаря</source>
        <translation>Please enter a name for the new dictionary</translation>
    </message>
    <message>
        <source>Удаление словаря</source>
        <translation>Delete Dictionary</translation>
    </message>
    <message>
        <source>Удалить словарь &quot;%1&quot; со всеми его словами?</source>
        <translation>Delete the dictionary &quot;%1&quot; with all its words?</translation>
    </message>
    <message>
        <source>Обнуление статистики</source>
        <translation>Reset Statistics</translation>
    </message>
    <message>
        <source>Обнулить счётчики ответов во всех словах словаря &quot;%1&quot;?</source>
        <translation>Reset the answer counts of every word in the dictionary &quot;%1&quot;?</translation>
    </message>
    <message>
        <source>Выберите файл</source>
        <translation>Choose Files to Import</translation>
    </message>
    <message>
        <source>Текстовые файлы с разделителями (*.csv);;Текстовые файлы (*.txt);;Словари KVTML и Anki (*.kvtml *.apkg *.colpkg)</source>
        <translation>Semicolon-separated text files (*.csv);;Text files (*.txt);;KVTML and Anki vocabularies (*.kvtml *.apkg *.colpkg)</translation>
    </message>
</context>
<context>
    <name>TEditor</name>
    <message>
        <source>Редактирование словаря %1</source>
        <translation>Editing dictionary %1</translation>
    </message>
    <message>
        <source>Словарь не загружен</source>
        <translation>No dictionary loaded</translation>
    </message>
    <message numerus="yes">
        <source>В этом словаре %n слов</source>
        <translation>
            <numerusform>This dictionary has %n word</numerusform>
            <numerusform>This dictionary has %n words</numerusform>
        </translation>
    </message>
    <message>
        <source>Предупреждение</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>Вы хотите сохранить изменения?</source>
        <translation>Do you want to save the changes?</translation>
    </message>
    <message>
        <source>Открыть</source>
        <translation>Open Dictionary</translation>
    </message>
    <message>
        <source>Сохранить как</source>
        <translation>Save Dictionary As</translation>
    </message>
    <message>
        <source>Файл %1 доступен только для чтения.</source>
        <translation>The file %1 is read-only.</translation>
    </message>
    <message>
        <source>Рабочую копию словаря нельзя выбрать для сохранения.</source>
        <translation>The working copy of the dictionary cannot be chosen to save into.</translation>
    </message>
    <message>
        <source>Выбирите дополнительный словарь.</source>
        <translation>Choose Files to Import</translation>
    </message>
    <message>
        <source>Дополнительные словари (*.csv *.txt)</source>
        <translation>Text word lists (*.csv *.txt)</translation>
    </message>
    <message>
        <source>Загрузить блок</source>
        <translation>Load Block</translation>
    </message>
    <message>
        <source>Рабочую копию словаря нельзя загрузить как блок.</source>
        <translation>The working copy of the dictionary cannot be loaded as a block.</translation>
    </message>
    <message>
        <source>Сохранить блок</source>
        <translation>Save Block</translation>
    </message>
    <message>
        <source>Рабочую копию словаря нельзя выбрать для блока.</source>
        <translation>The working copy of the dictionary cannot be chosen for a block.</translation>
    </message>
    <message>
        <source>Поиск по словарю</source>
        <translation>Search the dictionary</translation>
    </message>
    <message>
        <source>Выбрать звуковой файл</source>
        <translation>Choose a Sound File</translation>
    </message>
    <message>
        <source>Имя звукового файла не помещается в словарь: %1</source>
        <translation>The sound file name does not fit in the dictionary: %1</translation>
    </message>
    <message>
        <source>Звуковой файл слишком велик.</source>
        <translation>The sound file is too large.</translation>
    </message>
</context>
<context>
    <name>TFAddWord</name>
    <message>
        <source>Добавление нового слова в базу</source>
        <translation>Add a New Word</translation>
    </message>
    <message>
        <source>Введите новое слово</source>
        <translation>Enter a new word</translation>
    </message>
    <message>
        <source>Перевод</source>
        <translation>Translation</translation>
    </message>
    <message>
        <source>Транскрипция или комментарий</source>
        <translation>Transcription or comment</translation>
    </message>
    <message>
        <source>Звуковой файл</source>
        <translation>Sound file</translation>
    </message>
    <message>
        <source>Выбрать файл</source>
        <translation>Choose File</translation>
    </message>
    <message>
        <source>Воспроизвести</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>Начало</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Конец</source>
        <translation>End</translation>
    </message>
    <message>
        <source>Выберите словарь</source>
        <translation>Choose a dictionary</translation>
    </message>
    <message>
        <source>Создать словарь</source>
        <translation>New Dictionary</translation>
    </message>
    <message>
        <source>Проверять копии</source>
        <translation>Check for duplicates</translation>
    </message>
    <message>
        <source>Еще слово</source>
        <translation>Another Word</translation>
    </message>
    <message>
        <source>Добавить</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>Открывать на этом месте: да</source>
        <translation>Open at this position: yes</translation>
    </message>
    <message>
        <source>Открывать на этом месте: нет</source>
        <translation>Open at this position: no</translation>
    </message>
</context>
<context>
    <name>TFDictionaries</name>
    <message>
        <source>Словари</source>
        <translation>Dictionaries</translation>
    </message>
    <message>
        <source>Изучаемые</source>
        <translation>Studying</translation>
    </message>
    <message>
        <source>Выученные</source>
        <translation>Learned</translation>
    </message>
    <message>
        <source>Граница списков</source>
        <translation>Divider between the lists</translation>
    </message>
    <message>
        <source>Загрузить словари с %1</source>
        <translation>Download dictionaries from %1</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Создать</source>
        <translation>New</translation>
    </message>
    <message>
        <source>Редактировать</source>
        <translation>Edit</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>Переименовать</source>
        <translation>Rename</translation>
    </message>
    <message>
        <source>Импортировать</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>Обнулить статистику</source>
        <translation>Reset statistics</translation>
    </message>
    <message>
        <source>Окно открывается на своём месте</source>
        <translation>The window opens at its saved position</translation>
    </message>
    <message>
        <source>Запомнить место окна</source>
        <translation>Remember the window position</translation>
    </message>
    <message>
        <source>Загрузить словари с сервера</source>
        <translation>Download dictionaries from the server</translation>
    </message>
</context>
<context>
    <name>TFDuplicates</name>
    <message>
        <source>Найдены повторы</source>
        <translation>Duplicates Found</translation>
    </message>
    <message>
        <source>Вы ввели следующую пару слов:</source>
        <translation>You entered this pair of words:</translation>
    </message>
    <message>
        <source>Эти слова были найдены в том же словаре:</source>
        <translation>These words are already in the same dictionary:</translation>
    </message>
    <message>
        <source>Эти слова были найдены в том же словаре</source>
        <translation>These words are already in the same dictionary</translation>
    </message>
    <message>
        <source>Добавить</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>Заменить</source>
        <translation>Replace</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>TFEdit</name>
    <message>
        <source>Файл</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Создать</source>
        <translation>New</translation>
    </message>
    <message>
        <source>Открыть</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Сохранить</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Сохранить как</source>
        <translation>Save As</translation>
    </message>
    <message>
        <source>Импорт</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>Выход	Esc</source>
        <translation>Exit	Esc</translation>
    </message>
    <message>
        <source>Редактировать</source>
        <translation>Edit</translation>
    </message>
    <message>
        <source>Загрузить блок</source>
        <translation>Load Block</translation>
    </message>
    <message>
        <source>Сохранить блок</source>
        <translation>Save Block</translation>
    </message>
    <message>
        <source>Поиск</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>Помощь</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>Содержание</source>
        <translation>Contents</translation>
    </message>
    <message>
        <source>Слова словаря</source>
        <translation>Words of the dictionary</translation>
    </message>
    <message>
        <source>Комментарий / транскрипция</source>
        <translation>Comment / transcription</translation>
    </message>
    <message>
        <source>Звуковой файл</source>
        <translation>Sound file</translation>
    </message>
    <message>
        <source>Начало</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Конец</source>
        <translation>End</translation>
    </message>
    <message>
        <source>Выбрать звуковой файл</source>
        <translation>Choose a sound file</translation>
    </message>
    <message>
        <source>Проиграть звуковой файл</source>
        <translation>Play the sound file</translation>
    </message>
    <message>
        <source>Закрепить окно</source>
        <translation>Pin the window</translation>
    </message>
    <message>
        <source>Изменения</source>
        <translation>Changes</translation>
    </message>
    <message>
        <source>Число слов</source>
        <translation>Word count</translation>
    </message>
</context>
<context>
    <name>TFWorking</name>
    <message>
        <source>Пожалуйста, подождите...</source>
        <translation>Please wait...</translation>
    </message>
    <message>
        <source>Добавляется словарь : %1</source>
        <translation>Adding dictionary: %1</translation>
    </message>
    <message>
        <source>Ход импорта</source>
        <translation>Import progress</translation>
    </message>
    <message>
        <source>Прервать</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Готово</source>
        <translation>Done</translation>
    </message>
</context>
<context>
    <name>TImportSummary</name>
    <message numerus="yes">
        <source>Добавлено %n слово.</source>
        <translation>
            <numerusform>Added %n word.</numerusform>
            <numerusform>Added %n words.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Добавлено %n слова.</source>
        <translation>
            <numerusform>Added %n word.</numerusform>
            <numerusform>Added %n words.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Добавлено %n слов.</source>
        <translation>
            <numerusform>Added %n word.</numerusform>
            <numerusform>Added %n words.</numerusform>
        </translation>
    </message>
    <message>
        <source>Импорт остановлен: %1</source>
        <translation>Import stopped: %1</translation>
    </message>
    <message>
        <source>Пропущены файлы:</source>
        <translation>Files skipped:</translation>
    </message>
    <message numerus="yes">
        <source>%n знака нет в кодировке словарей; вместо них записан знак &quot;?&quot;.</source>
        <translation>
            <numerusform>%n character is missing from the dictionary encoding; &quot;?&quot; was written in its place.</numerusform>
            <numerusform>%n characters are missing from the dictionary encoding; &quot;?&quot; was written in their place.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n знаков нет в кодировке словарей; вместо них записан знак &quot;?&quot;.</source>
        <translation>
            <numerusform>%n character is missing from the dictionary encoding; &quot;?&quot; was written in its place.</numerusform>
            <numerusform>%n characters are missing from the dictionary encoding; &quot;?&quot; was written in their place.</numerusform>
        </translation>
    </message>
    <message>
        <source>Последнее слово файла %1 без перевода: в файле нечётное число строк.</source>
        <translation>The last word of the file %1 has no translation: the file has an odd number of lines.</translation>
    </message>
    <message numerus="yes">
        <source>%n с пропусками (cloze)</source>
        <translation>
            <numerusform>%n with gaps (cloze)</numerusform>
            <numerusform>%n with gaps (cloze)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n с пустой стороной</source>
        <translation>
            <numerusform>%n with an empty side</numerusform>
            <numerusform>%n with an empty side</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n без нужных полей</source>
        <translation>
            <numerusform>%n without the needed fields</numerusform>
            <numerusform>%n without the needed fields</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>звуков не найдено: %n</source>
        <translation>
            <numerusform>sounds not found: %n</numerusform>
            <numerusform>sounds not found: %n</numerusform>
        </translation>
    </message>
    <message>
        <source>не взяты записи: %1</source>
        <translation>notes not taken: %1</translation>
    </message>
    <message>
        <source>нет таблицы слов</source>
        <translation>no word table</translation>
    </message>
    <message>
        <source>нет открытого словаря</source>
        <translation>no dictionary is open</translation>
    </message>
</context>
<context>
    <name>TWordsModel</name>
    <message>
        <source>Изучаемые слова</source>
        <translation>Words</translation>
    </message>
    <message>
        <source>Переводы</source>
        <translation>Translations</translation>
    </message>
    <message>
        <source>В тексте есть знаки, которых нет в кодировке Windows-1251; такой текст сохранить нельзя.</source>
        <translation>The text has characters that Windows-1251 lacks; such a text cannot be saved.</translation>
    </message>
    <message>
        <source>В тексте есть недопустимые знаки.</source>
        <translation>The text has characters that are not allowed.</translation>
    </message>
    <message numerus="yes">
        <source>Текст не помещается в поле: в нём можно хранить не больше %n знаков.</source>
        <translation>
            <numerusform>The text does not fit in the field: it holds at most %n character.</numerusform>
            <numerusform>The text does not fit in the field: it holds at most %n characters.</numerusform>
        </translation>
    </message>
</context>
</TS>
