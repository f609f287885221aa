<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ru">
<context>
    <name>TFWordpop</name>
    <message>
        <source>Выбор</source>
        <translation>Choose</translation>
    </message>
    <message>
        <source>Ввод</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>Статистика</source>
        <translation>Statistics</translation>
    </message>
    <message>
        <source>Введите перевод</source>
        <translation>Type the translation</translation>
    </message>
    <message>
        <source>Отображать первую букву</source>
        <translation>Show the first letter</translation>
    </message>
    <message>
        <source>Вы можете добавить новое слово (&quot;добавить слово&quot;), либо выбрать тему, содержащую новые слова (&quot;Словари&quot;).</source>
        <translation>You can add a new word (&quot;Add word&quot;) or choose a topic that has new words (&quot;Dictionaries&quot;).</translation>
    </message>
    <message>
        <source>переводится как</source>
        <translation>translates as</translation>
    </message>
    <message>
        <source>Запомню</source>
        <translation>I&apos;ll remember</translation>
    </message>
    <message>
        <source>Удалить это слово ?</source>
        <translation>Delete this word?</translation>
    </message>
    <message>
        <source>Да</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>Нет</source>
        <translation>No</translation>
    </message>
    <message>
        <source>Добавить слово</source>
        <translation>Add word</translation>
    </message>
    <message>
        <source>Изменить слово</source>
        <translation>Edit word</translation>
    </message>
    <message>
        <source>Воспроизвести звук</source>
        <translation>Play sound</translation>
    </message>
    <message>
        <source>Перенести слово в выученные</source>
        <translation>Move word to learned</translation>
    </message>
    <message>
        <source>Удалить слово</source>
        <translation>Delete word</translation>
    </message>
    <message>
        <source>Инфо</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>Словари</source>
        <translation>Dictionaries</translation>
    </message>
    <message>
        <source>Настройки</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>Выход</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>Показывать вопрос</source>
        <translation>Show the question</translation>
    </message>
    <message>
        <source>Показывать транскрипцию</source>
        <translation>Show the transcription</translation>
    </message>
    <message>
        <source>Ответ</source>
        <translation>Answer</translation>
    </message>
</context>
<context>
    <name>TLesson</name>
    <message>
        <source>Транкрипция не указана</source>
        <translation>No transcription given</translation>
    </message>
    <message>
        <source>нет невыученных слов</source>
        <translation>no words left to learn</translation>
    </message>
    <message>
        <source>Всего слов: %1
       Изучаемых: %2
       Выученных: %3
       Ошибок: %4
       Правильных ответов: %5</source>
        <translation>Total words: %1
       Learning: %2
       Learned: %3
       Mistakes: %4
       Right answers: %5</translation>
    </message>
</context>
</TS>
