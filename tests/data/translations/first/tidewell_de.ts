<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>TranslationLoaderTest</name>
    <message>
        <source>Mark All Read</source>
        <translation>Alle als gelesen markieren</translation>
    </message>
</context>
</TS>
