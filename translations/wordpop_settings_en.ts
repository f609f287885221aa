<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ru">
<context>
    <name>OptionsEditor</name>
    <message>
        <source>Пароль не может быть пустым.</source>
        <translation>The password cannot be empty.</translation>
    </message>
    <message>
        <source>Пароль может содержать только русские и латинские буквы, цифры и знаки.</source>
        <translation>The password may contain only Russian and Latin letters, digits and punctuation.</translation>
    </message>
    <message>
        <source>Пароль не может быть длиннее 255 символов.</source>
        <translation>The password cannot be longer than 255 characters.</translation>
    </message>
    <message>
        <source>Порт proxy-сервера должен быть числом от 0 до %1.</source>
        <translation>The proxy port must be a number from 0 to %1.</translation>
    </message>
    <message>
        <source>Адрес proxy-сервера должен быть не длиннее 255 символов, из латинских букв, цифр и знаков.</source>
        <translation>The proxy address must be at most 255 characters long and consist of Latin letters, digits and punctuation.</translation>
    </message>
    <message>
        <source>при правильном ответе</source>
        <translation>for a right answer</translation>
    </message>
    <message>
        <source>при ошибке</source>
        <translation>for a mistake</translation>
    </message>
    <message>
        <source>Имя звукового файла %1 не может быть сохранено: оно длиннее 255 символов или содержит недопустимые знаки.</source>
        <translation>The name of the sound file %1 cannot be saved: it is longer than 255 characters or contains characters that are not allowed.</translation>
    </message>
    <message>
        <source>Новый пароль</source>
        <translation>New password</translation>
    </message>
    <message>
        <source>Подтвердите пароль</source>
        <translation>Confirm the password</translation>
    </message>
    <message>
        <source>Имя шрифта &quot;%1&quot; не может быть сохранено.</source>
        <translation>The font name &quot;%1&quot; cannot be saved.</translation>
    </message>
</context>
<context>
    <name>TFOptions</name>
    <message>
        <source>Настройки</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>Проверяемый перевод :</source>
        <translation>Translation to check:</translation>
    </message>
    <message>
        <source>Только прямой</source>
        <translation>Direct only</translation>
    </message>
    <message>
        <source>Только обратный</source>
        <translation>Reverse only</translation>
    </message>
    <message>
        <source>И прямой и обратный</source>
        <translation>Direct and reverse</translation>
    </message>
    <message>
        <source>Не проверять прямой перевод в режиме ввода с клавиатуры.</source>
        <translation>Don&apos;t check the direct translation when answers are typed.</translation>
    </message>
    <message>
        <source>В режиме ввода с клавиатура Вам придется набирать только иностранные слова (а не переводы).</source>
        <translation>When answers are typed, you will type only foreign words (not their translations).</translation>
    </message>
    <message>
        <source>Не показывать комментарий/транскрипцию при обратном переводе.</source>
        <translation>Don&apos;t show the comment/transcription in the reverse translation.</translation>
    </message>
    <message>
        <source>Повторять вопрос после ошибки.</source>
        <translation>Repeat the question after a mistake.</translation>
    </message>
    <message>
        <source>Считать верным любой вариант перевода.</source>
        <translation>Accept any variant of the translation as right.</translation>
    </message>
    <message>
        <source>Установите кол-во изучаемых слов (в процентах от общего объема базы)</source>
        <translation>Set the number of words to learn (as a percentage of all the words in the dictionaries)</translation>
    </message>
    <message>
        <source>минимум слов</source>
        <translation>fewest words</translation>
    </message>
    <message>
        <source>Положение ползунка определяет кол-во используемых программой слов.</source>
        <translation>The slider sets how many words the program uses.</translation>
    </message>
    <message>
        <source>все слова</source>
        <translation>all words</translation>
    </message>
    <message>
        <source>Процент изучаемых слов</source>
        <translation>Percentage of words to learn</translation>
    </message>
    <message>
        <source>Как учить</source>
        <translation>How to learn</translation>
    </message>
    <message>
        <source>Слово считается выученным после</source>
        <translation>A word counts as learned after</translation>
    </message>
    <message>
        <source>правильных выборов из списка</source>
        <translation>right choices from the list</translation>
    </message>
    <message>
        <source>правильных выборов из списка или</source>
        <translation>right choices from the list</translation>
    </message>
    <message>
        <source>или / и</source>
        <translation>or / and</translation>
    </message>
    <message>
        <source>или</source>
        <translation>or</translation>
    </message>
    <message>
        <source>и</source>
        <translation>and</translation>
    </message>
    <message>
        <source>правильных вводов с клавиатуры.</source>
        <translation>right typed answers.</translation>
    </message>
    <message>
        <source>Выученные слова</source>
        <translation>Learned words</translation>
    </message>
    <message>
        <source>переносятся в &quot;выученное&quot;.</source>
        <translation>are moved to &quot;Learned&quot;.</translation>
    </message>
    <message>
        <source>удаляются.</source>
        <translation>are deleted.</translation>
    </message>
    <message>
        <source>Повторять выученное спустя</source>
        <translation>Repeat learned words</translation>
    </message>
    <message>
        <source>Начинать повторять выученные слова спустя</source>
        <translation>Start repeating learned words after</translation>
    </message>
    <message>
        <source>дней.</source>
        <translation>days.</translation>
    </message>
    <message>
        <source>Уделять повторению</source>
        <translation>Share of repetition</translation>
    </message>
    <message>
        <source>0%
(не повторять)</source>
        <translation>0%
(no repetition)</translation>
    </message>
    <message>
        <source>100%
(только повторение)</source>
        <translation>100%
(repetition only)</translation>
    </message>
    <message>
        <source>Процент повторения</source>
        <translation>Percentage of repetition</translation>
    </message>
    <message>
        <source>Выученное</source>
        <translation>Learned</translation>
    </message>
    <message>
        <source>Автоматически переключать раскладку клавиатуры.</source>
        <translation>Switch the keyboard layout automatically.</translation>
    </message>
    <message>
        <source>Изучаемый язык </source>
        <translation>Studied language </translation>
    </message>
    <message>
        <source>Изучаемый язык шрифт</source>
        <translation>Studied language font</translation>
    </message>
    <message>
        <source>Изучаемый язык сменить шрифт</source>
        <translation>Change the studied language font</translation>
    </message>
    <message>
        <source>Изучаемый язык раскладка клавиатуры</source>
        <translation>Studied language keyboard layout</translation>
    </message>
    <message>
        <source>Родной язык </source>
        <translation>Native language </translation>
    </message>
    <message>
        <source>Родной язык шрифт</source>
        <translation>Native language font</translation>
    </message>
    <message>
        <source>Родной язык сменить шрифт</source>
        <translation>Change the native language font</translation>
    </message>
    <message>
        <source>Родной язык раскладка клавиатуры</source>
        <translation>Native language keyboard layout</translation>
    </message>
    <message>
        <source>Транскрипция </source>
        <translation>Transcription </translation>
    </message>
    <message>
        <source>Транскрипция шрифт</source>
        <translation>Transcription font</translation>
    </message>
    <message>
        <source>Транскрипция сменить шрифт</source>
        <translation>Change the transcription font</translation>
    </message>
    <message>
        <source>Транскрипция раскладка клавиатуры</source>
        <translation>Transcription keyboard layout</translation>
    </message>
    <message>
        <source>Шрифт</source>
        <translation>Font</translation>
    </message>
    <message>
        <source>Сменить</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>Раскладка клавиатуры</source>
        <translation>Keyboard layout</translation>
    </message>
    <message>
        <source>Языки</source>
        <translation>Languages</translation>
    </message>
    <message>
        <source>Запускать автоматически при включении компьютера.</source>
        <translation>Start automatically at login.</translation>
    </message>
    <message>
        <source>Создать ссылку в подменю Пуск\Программы\Автозагрузка</source>
        <translation>Add Wordpop to the programs the desktop starts at login</translation>
    </message>
    <message>
        <source>Начинать урок сразу после запуска программы</source>
        <translation>Start a lesson as soon as the program starts</translation>
    </message>
    <message>
        <source>Не показывать поверх полноэкранных окон</source>
        <translation>Don&apos;t show over full-screen windows</translation>
    </message>
    <message>
        <source>Интенсивность обучения </source>
        <translation>Learning intensity </translation>
    </message>
    <message>
        <source>Автопоказ каждые</source>
        <translation>Show a lesson every</translation>
    </message>
    <message>
        <source>Автопоказ каждые ... минут.</source>
        <translation>Show a lesson every ... minutes.</translation>
    </message>
    <message>
        <source>Промежуток времени (мин) между сеансами обучения.</source>
        <translation>Time (min) between lessons.</translation>
    </message>
    <message>
        <source>минут.</source>
        <translation>minutes.</translation>
    </message>
    <message>
        <source>Свернуть после</source>
        <translation>Hide after</translation>
    </message>
    <message>
        <source>Свернуть после ... правильных ответов.</source>
        <translation>Hide after ... right answers.</translation>
    </message>
    <message>
        <source>правильных ответов.</source>
        <translation>right answers.</translation>
    </message>
    <message>
        <source>Не прерывать</source>
        <translation>Don&apos;t interrupt</translation>
    </message>
    <message>
        <source>Работу с клавиатурой</source>
        <translation>Keyboard use</translation>
    </message>
    <message>
        <source>Работу с мышью</source>
        <translation>Mouse use</translation>
    </message>
    <message>
        <source>Разрешать автопоказ после</source>
        <translation>Allow a lesson after</translation>
    </message>
    <message>
        <source>Разрешать автопоказ после ... секунд бездействия.</source>
        <translation>Allow a lesson after ... seconds of inactivity.</translation>
    </message>
    <message>
        <source>Интервал между последней активностью и началом сеанса обучения.</source>
        <translation>Time between your last activity and the start of a lesson.</translation>
    </message>
    <message>
        <source>секунд бездействия.</source>
        <translation>seconds of inactivity.</translation>
    </message>
    <message>
        <source>Библиотека %1</source>
        <translation>Library %1</translation>
    </message>
    <message>
        <source>Состояние библиотеки</source>
        <translation>Library state</translation>
    </message>
    <message>
        <source>Уроки</source>
        <translation>Lessons</translation>
    </message>
    <message>
        <source>Автоматически проигрывать звуковой файл (произношение)</source>
        <translation>Play the sound file automatically (pronunciation)</translation>
    </message>
    <message>
        <source>Повторять спустя</source>
        <translation>Repeat after</translation>
    </message>
    <message>
        <source>Повторять спустя ... секунд</source>
        <translation>Repeat after ... seconds</translation>
    </message>
    <message>
        <source>секунд</source>
        <translation>seconds</translation>
    </message>
    <message>
        <source>Не проигрывать звук во время обратного перевода</source>
        <translation>Don&apos;t play the sound in the reverse translation</translation>
    </message>
    <message>
        <source>Воспроизвести</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>Выбрать файл</source>
        <translation>Choose a file</translation>
    </message>
    <message>
        <source>%1: файл</source>
        <translation>%1: file</translation>
    </message>
    <message>
        <source>Звук при правильном ответе</source>
        <translation>Sound for a right answer</translation>
    </message>
    <message>
        <source>Звук при ошибке</source>
        <translation>Sound for a mistake</translation>
    </message>
    <message>
        <source>Звуки</source>
        <translation>Sounds</translation>
    </message>
    <message>
        <source>Использовать proxy</source>
        <translation>Use a proxy</translation>
    </message>
    <message>
        <source>Адрес</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>Порт</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Разное</source>
        <translation>Other</translation>
    </message>
    <message>
        <source>Закрепить окно</source>
        <translation>Pin the window</translation>
    </message>
    <message>
        <source>Детский режим.</source>
        <translation>Children mode.</translation>
    </message>
    <message>
        <source>В этом режиме программа блокирует кнопки закрытия окна и выхода.</source>
        <translation>In this mode the program locks the buttons that close the window and quit.</translation>
    </message>
    <message>
        <source>Сохранить</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>загружена</source>
        <translation>loaded</translation>
    </message>
    <message>
        <source>не загружена</source>
        <translation>not loaded</translation>
    </message>
</context>
</TS>
