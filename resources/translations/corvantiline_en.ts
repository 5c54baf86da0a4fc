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
<context>
    <name>Localized</name>
    <message>
        <source>TEMPLATE_NO_INDEX_FILE</source>
        <translation>The folder is not a template: it has no file named “index.html”.</translation>
    </message>
    <message>
        <source>TEMPLATE_NO_MESSAGE_TAG</source>
        <translation>The template’s “index.html” does not contain the marker “[[[message]]]” that shows where the message goes.</translation>
    </message>
</context>
</TS>
