<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ru">
<context>
    <name>ActivityMonitor</name>
    <message>
        <source>клавиатура и мышь не различаются</source>
        <translation>keyboard and mouse not told apart</translation>
    </message>
    <message>
        <source>монитор простоя GNOME (%1)</source>
        <translation>GNOME idle monitor (%1)</translation>
    </message>
    <message>
        <source>Пауза: %1. </source>
        <translation>Pause: %1. </translation>
    </message>
    <message>
        <source>не отслеживается</source>
        <translation>not watched</translation>
    </message>
    <message>
        <source> и </source>
        <comment>between two sources</comment>
        <translation> and </translation>
    </message>
    <message>
        <source>Уроки показываются поверх полноэкранных окон.</source>
        <translation>Lessons show over full-screen windows.</translation>
    </message>
    <message>
        <source>Урок ничем не задерживается.</source>
        <translation>Nothing holds a lesson back.</translation>
    </message>
    <message>
        <source>Урок ждёт, пока есть: %1.</source>
        <translation>A lesson waits while there is: %1.</translation>
    </message>
</context>
<context>
    <name>DownloadModule</name>
    <message>
        <source>Загрузка словарей невозможна: не удалось загрузить модуль %1.
%2</source>
        <translation>Dictionaries cannot be downloaded: the module %1 could not be loaded.
%2</translation>
    </message>
</context>
<context>
    <name>TFTrayMenu</name>
    <message>
        <source>Автопоказ</source>
        <translation>Show lessons</translation>
    </message>
    <message>
        <source>Добавить</source>
        <translation>Add word</translation>
    </message>
    <message>
        <source>Настройки</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>Выход</source>
        <translation>Quit</translation>
    </message>
</context>
<context>
    <name>THoldBack</name>
    <message>
        <source>запрет простоя (GNOME)</source>
        <translation>idle inhibitor (GNOME)</translation>
    </message>
    <message>
        <source>запрет простоя (PowerManagement)</source>
        <translation>idle inhibitor (PowerManagement)</translation>
    </message>
    <message>
        <source>запрет заставки (KDE)</source>
        <translation>screen saver inhibitor (KDE)</translation>
    </message>
    <message>
        <source>«не беспокоить»</source>
        <translation>“do not disturb”</translation>
    </message>
    <message>
        <source>«не беспокоить» (GNOME)</source>
        <translation>“do not disturb” (GNOME)</translation>
    </message>
    <message>
        <source>полноэкранное окно</source>
        <translation>a full-screen window</translation>
    </message>
</context>
</TS>
