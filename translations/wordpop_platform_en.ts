<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ru">
<context>
    <name>ServerSite</name>
    <message>
        <source>сервера</source>
        <comment>download dictionaries from ...</comment>
        <translation>the server</translation>
    </message>
</context>
</TS>
