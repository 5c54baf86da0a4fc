<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB" sourcelanguage="en_GB">
<context>
    <name>Localized-Tags</name>
    <message>
        <source>Message Number Tag Name</source>
        <translation>Message number</translation>
    </message>
</context>
</TS>
