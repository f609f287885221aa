<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ru">
<context>
    <name>TDownloadList</name>
    <message>
        <source>Сервер для загрузки словарей не указан: в файле %1 нет адреса (Host).</source>
        <translation>No server to download dictionaries from is set: the file %1 holds no address (Host).</translation>
    </message>
    <message>
        <source>Папка %1 не найдена.</source>
        <translation>Folder %1 not found.</translation>
    </message>
</context>
<context>
    <name>TDownloadRun</name>
    <message>
        <source>Соединяемся с %1</source>
        <translation>Connecting to %1</translation>
    </message>
    <message>
        <source>Опеределяется IP-адрес %1</source>
        <translation>Looking up the IP address of %1</translation>
    </message>
    <message>
        <source>Переходим в директорию %1</source>
        <translation>Changing to the folder %1</translation>
    </message>
    <message>
        <source>Загружается файл %1 ( %2/%3 )</source>
        <translation>Downloading %1 files ( %2/%3 )</translation>
    </message>
    <message>
        <source>Загружается файл %1</source>
        <translation>Downloading the file %1</translation>
    </message>
    <message>
        <source>Завершение связи</source>
        <translation>Closing the connection</translation>
    </message>
</context>
<context>
    <name>TFDownload</name>
    <message>
        <source>Доступные для загрузки словари</source>
        <translation>Dictionaries available for download</translation>
    </message>
    <message>
        <source>Словари</source>
        <translation>Dictionaries</translation>
    </message>
    <message>
        <source>все</source>
        <translation>all</translation>
    </message>
    <message>
        <source>ничего</source>
        <translation>none</translation>
    </message>
    <message>
        <source>Обновить список</source>
        <translation>Refresh list</translation>
    </message>
    <message>
        <source>Сохранить в:</source>
        <translation>Save to:</translation>
    </message>
    <message>
        <source>Загрузить</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>TFProgress</name>
    <message>
        <source>Идет загрузка</source>
        <translation>Downloading</translation>
    </message>
    <message>
        <source>Поиск сервера</source>
        <translation>Looking for the server</translation>
    </message>
    <message>
        <source>Загрузка</source>
        <translation>Downloading</translation>
    </message>
    <message>
        <source>Шаг</source>
        <translation>Step</translation>
    </message>
    <message>
        <source>Состояние</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Шаги загрузки</source>
        <translation>Download steps</translation>
    </message>
    <message>
        <source>Загружено байт</source>
        <translation>Bytes downloaded</translation>
    </message>
    <message>
        <source>Прервать</source>
        <translation>Stop</translation>
    </message>
</context>
</TS>
